"""Inspection of observation, navigation and TLE files: what a file holds, as plain data and as text."""

from __future__ import annotations

from pathlib import Path

import quorlin_cn0

from quorlin_cn0_cli.inputs import HEADER_LABEL, first_line, is_navigation_type, read_plain, rinex_file_type
from quorlin_cn0_cli.systems import system_name

KINDS = ("obs", "nav", "tle")


def detect_kind(content: bytes) -> str:
    """obs or nav from the RINEX VERSION / TYPE line, tle for anything that is not RINEX."""
    file_type = rinex_file_type(content)
    if file_type is None:
        return "tle"
    if file_type.startswith("O"):
        return "obs"
    if is_navigation_type(file_type):
        return "nav"
    raise ValueError(f"unsupported RINEX file type {file_type!r}")


def inspect_observations(path: Path, content: bytes, name: str) -> dict:
    obs = quorlin_cn0.read_rinex_obs_bytes(content, name)
    satellites = obs.satellites_by_system()
    codes = obs.obs_types_by_system()
    snr = obs.snr_availability()
    systems = {}
    for letter in list(codes) + [s for s in satellites if s not in codes]:
        systems[letter] = {
            "name": system_name(letter),
            "satellites": sorted(satellites.get(letter, [])),
            "obs_codes": codes.get(letter, []),
            "has_cn0": snr.get(letter, False),
        }
    return {
        "file": str(path),
        "kind": "obs",
        "version": obs.version,
        "marker_name": obs.marker_name,
        "receiver_type": obs.receiver_type,
        "interval": obs.interval,
        "epochs": obs.num_epochs,
        "satellites": obs.num_satellites,
        "systems": systems,
    }


def time_text(time: tuple | None) -> str:
    """A time of clock as 2020-06-25 00:00:00, seconds rounded; empty without one."""
    if time is None:
        return ""
    year, month, day, hour, minute, second = time
    return f"{year:04d}-{month:02d}-{day:02d} {hour:02d}:{minute:02d}:{second:02.0f}"


def inspect_navigation(path: Path, content: bytes, name: str) -> dict:
    """Satellites with broadcast ephemerides per system (QZSS counted with GPS, SBAS not read)."""
    line = first_line(content)
    nav = quorlin_cn0.read_navigation_bytes(content)
    return {
        "file": str(path),
        "kind": "nav",
        "header": line[:60].rstrip() if HEADER_LABEL in line else "",
        "has_data": nav.has_data(),
        "satellites": nav.satellite_count,
        "satellites_by_system": {
            "GPS": nav.gps_count,
            "GLONASS": nav.glonass_count,
            "Galileo": nav.galileo_count,
            "BeiDou": nav.beidou_count,
        },
        "records_by_system": {system_name(letter): count for letter, count in nav.records_by_system.items()},
        "first_record": time_text(nav.first_record),
        "last_record": time_text(nav.last_record),
    }


def count_element_sets(lines: list[str]) -> int:
    """Element-line pairs: a line beginning with "1 " directly followed by one beginning with "2 "."""
    stripped = [line.strip() for line in lines]
    return sum(1 for first, second in zip(stripped, stripped[1:]) if first.startswith("1 ") and second.startswith("2 "))


def inspect_tle(path: Path, content: bytes, name: str) -> dict:
    text = content.decode("utf-8", errors="replace")
    element_sets = count_element_sets(text.splitlines())
    if element_sets == 0:
        raise ValueError("neither a RINEX file nor TLE text")
    return {
        "file": str(path),
        "kind": "tle",
        "element_sets": element_sets,
        "gnss_satellites": quorlin_cn0.parse_tle_content(text),
    }


INSPECTORS = {"obs": inspect_observations, "nav": inspect_navigation, "tle": inspect_tle}


def inspect_file(path: Path, kind: str = "auto") -> dict:
    """What a file holds; compressed files are decoded by the module first."""
    content, name = read_plain(path)
    return INSPECTORS[detect_kind(content) if kind == "auto" else kind](path, content, name)


def _format_observations(info: dict) -> list[str]:
    lines = [
        f"File:       {info['file']}",
        f"RINEX:      {info['version']:.2f} observation",
        f"Marker:     {info['marker_name'] or '-'}",
        f"Receiver:   {info['receiver_type'] or '-'}",
        f"Interval:   {info['interval']:g} s",
        f"Epochs:     {info['epochs']}",
        f"Satellites: {info['satellites']}",
        "",
        f"{'System':<8} {'Name':<8} {'Sats':>4}  {'C/N0':<4}  Observation codes",
    ]
    for letter, system in info["systems"].items():
        cn0 = "yes" if system["has_cn0"] else "no"
        codes = " ".join(system["obs_codes"]) or "-"
        lines.append(f"{letter:<8} {system['name']:<8} {len(system['satellites']):>4}  {cn0:<4}  {codes}")
    return lines


def _format_navigation(info: dict) -> list[str]:
    lines = [
        f"File:       {info['file']}",
        f"Header:     {' '.join(info['header'].split()) or '-'}",
        f"Satellites: {info['satellites']} with broadcast ephemerides"
        + ("" if info["has_data"] else " (no GPS, GLONASS, Galileo or BeiDou records)"),
        f"Records:    {sum(info['records_by_system'].values())}"
        + (f", {info['first_record']} to {info['last_record']}" if info["first_record"] else ""),
        "",
        f"{'System':<8} {'Sats':>4} {'Records':>8}",
    ]
    names = list(info["satellites_by_system"]) + [n for n in info["records_by_system"] if n not in info["satellites_by_system"]]
    for name in names:
        satellites = info["satellites_by_system"].get(name)
        lines.append(f"{name:<8} {'-' if satellites is None else satellites:>4} {info['records_by_system'].get(name, 0):>8}")
    return lines


def _format_tle(info: dict) -> list[str]:
    return [
        f"File:            {info['file']}",
        f"Element sets:    {info['element_sets']}",
        f"GNSS satellites: {info['gnss_satellites']} identified (GPS, Galileo, QZSS)",
    ]


FORMATTERS = {"obs": _format_observations, "nav": _format_navigation, "tle": _format_tle}


def format_inspection(info: dict) -> str:
    return "\n".join(FORMATTERS[info["kind"]](info))
