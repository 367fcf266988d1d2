"""quorlin-cn0: inspect RINEX observation files from the command line."""

from __future__ import annotations

import argparse
import json
import sys
import time
from importlib import resources
from pathlib import Path

import quorlin_cn0

SAMPLE_NAME = "NMBUS_SAMSUNG_S20.20o"
SYSTEM_NAMES = {
    "G": "GPS",
    "R": "GLONASS",
    "E": "Galileo",
    "J": "QZSS",
    "C": "BeiDou",
    "I": "NavIC",
    "S": "SBAS",
}


def sample_path() -> Path:
    """The real observation file bundled with the package."""
    return Path(str(resources.files("quorlin_cn0_cli") / "data" / SAMPLE_NAME))


def inspect_observations(path: Path) -> dict:
    """What a parsed observation file holds, as plain data."""
    obs = quorlin_cn0.read_rinex_obs(str(path))
    satellites = obs.satellites_by_system()
    codes = obs.obs_types_by_system()
    snr = obs.snr_availability()
    systems = {}
    for letter in list(codes) + [s for s in satellites if s not in codes]:
        systems[letter] = {
            "name": SYSTEM_NAMES.get(letter, letter),
            "satellites": sorted(satellites.get(letter, [])),
            "obs_codes": codes.get(letter, []),
            "has_cn0": snr.get(letter, False),
        }
    return {
        "file": str(path),
        "version": obs.version,
        "marker_name": obs.marker_name,
        "receiver_type": obs.receiver_type,
        "interval": obs.interval,
        "epochs": obs.num_epochs,
        "satellites": obs.num_satellites,
        "systems": systems,
    }


def format_inspection(info: dict) -> str:
    """A readable table of an inspection."""
    lines = [
        f"File:       {info['file']}",
        f"RINEX:      {info['version']:.2f}",
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
    return "\n".join(lines)


def parse_arguments(argv: list[str] | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog="quorlin-cn0",
        description="Inspect RINEX observation files: version, marker, receiver, interval, epochs, "
        "satellites per system, observation codes and C/N0 (S) codes. Without a file, the "
        "bundled real sample is inspected.",
    )
    parser.add_argument("files", nargs="*", type=Path, help="RINEX observation files")
    parser.add_argument("--json", action="store_true", help="write JSON instead of a table")
    parser.add_argument("--version", action="version", version=f"%(prog)s {quorlin_cn0.version()}")
    return parser.parse_args(argv)


def main(argv: list[str] | None = None) -> int:
    args = parse_arguments(argv)
    files = args.files or [sample_path()]
    reports = []
    failures = 0
    started = time.monotonic()
    for index, path in enumerate(files, 1):
        if len(files) > 1 and time.monotonic() - started > 2.0:
            print(f"[{index}/{len(files)}] {path}", file=sys.stderr)
        try:
            reports.append(inspect_observations(path))
        except (OSError, ValueError) as error:
            failures += 1
            print(f"quorlin-cn0: {path}: {error}", file=sys.stderr)
    if args.json:
        print(json.dumps(reports if len(files) > 1 else (reports[0] if reports else None), indent=2))
    else:
        print("\n\n".join(format_inspection(r) for r in reports))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
