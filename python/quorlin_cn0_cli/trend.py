"""quorlin-cn0 trend: the campaign tables per station and day, as text or as an HTML page.

A day's C/N0 of a system is the mean over the day's files of their mean C/N0 (a file counts once,
whatever its length); its quality the mean of their quality; episodes and degraded minutes add
up. A day is marked when a system's C/N0 lies DROP_DBHZ or more below the station's median day,
when episodes were found or a verdict was raised.
"""

from __future__ import annotations

import argparse
import statistics
import sys
from dataclasses import dataclass, field
from pathlib import Path

from quorlin_cn0_cli.campaign import CN0_COLUMNS, SYSTEM_LETTERS
from quorlin_cn0_cli.systems import system_name
from quorlin_cn0_cli.tables import CampaignTables

PROG = "quorlin-cn0 trend"
DROP_DBHZ = 3.0
VERDICTS = ("jamming", "spoofing", "interference")


@dataclass
class Day:
    date: str
    files: int = 0
    failed: int = 0
    cn0: dict[str, list[float]] = field(default_factory=dict)  # system letter -> the files' means
    quality: list[float] = field(default_factory=list)
    episodes: int | None = None
    outages: int = 0  # of the episodes, those that are time without values
    degraded_minutes: float | None = None
    verdicts: dict[str, int] = field(default_factory=dict)

    def mean_cn0(self, letter: str) -> float | None:
        values = self.cn0.get(letter)
        return statistics.fmean(values) if values else None

    def add(self, row: dict) -> None:
        self.files += 1
        if row.get("error"):
            self.failed += 1
            return
        for letter, column in zip(SYSTEM_LETTERS, CN0_COLUMNS):
            if row.get(column) is not None:
                self.cn0.setdefault(letter, []).append(float(row[column]))
        if row.get("quality") is not None:
            self.quality.append(float(row["quality"]))
        if row.get("episodes") is not None:
            self.episodes = (self.episodes or 0) + int(row["episodes"])
        if row.get("outages") is not None:
            self.outages += int(row["outages"])
        if row.get("degraded_minutes") is not None:
            self.degraded_minutes = (self.degraded_minutes or 0.0) + float(row["degraded_minutes"])
        for verdict in VERDICTS:
            if row.get(verdict):
                self.verdicts[verdict] = self.verdicts.get(verdict, 0) + 1


@dataclass
class Station:
    name: str
    days: dict[str, Day] = field(default_factory=dict)

    def systems(self) -> list[str]:
        return [letter for letter in SYSTEM_LETTERS if any(letter in day.cn0 for day in self.days.values())]

    def median(self, letter: str) -> float | None:
        values = [m for m in (day.mean_cn0(letter) for day in self.days.values()) if m is not None]
        return statistics.median(values) if values else None

    def marks(self, day: Day) -> list[str]:
        marks = []
        for letter in self.systems():
            mean, median = day.mean_cn0(letter), self.median(letter)
            if mean is not None and median is not None and mean <= median - DROP_DBHZ:
                marks.append(f"{system_name(letter)} {mean - median:+.1f} dB-Hz")
        # Gaps in the files are told apart from episodes of degraded reception.
        degraded = (day.episodes or 0) - day.outages
        if degraded:
            marks.append(f"{degraded} episode{'s' if degraded > 1 else ''}")
        if day.outages:
            marks.append(f"{day.outages} outage{'s' if day.outages > 1 else ''}")
        marks += [verdict for verdict in VERDICTS if day.verdicts.get(verdict)]
        if day.failed:
            marks.append(f"{day.failed} failed")
        return marks


def stations_of(rows: list[dict]) -> list[Station]:
    """The rows by station (files without a station under "-") and day, both in order."""
    stations: dict[str, Station] = {}
    for row in rows:
        name = row.get("station") or "-"
        date = str(row.get("start") or "")[:10] or "-"
        station = stations.setdefault(name, Station(name))
        station.days.setdefault(date, Day(date)).add(row)
    for station in stations.values():
        station.days = dict(sorted(station.days.items()))
    return [stations[name] for name in sorted(stations)]


def _number(value: float | None, width: int, digits: int = 1) -> str:
    return f"{'-':>{width}}" if value is None else f"{value:>{width}.{digits}f}"


def station_text(station: Station) -> str:
    systems = station.systems()
    days = list(station.days.values())
    files = sum(day.files for day in days)
    failed = sum(day.failed for day in days)
    lines = [f"{station.name}: {files} file{'s' if files != 1 else ''} on {len(days)} day"
             f"{'s' if len(days) != 1 else ''}, {days[0].date} to {days[-1].date}"
             + (f", {failed} failed" if failed else "")]
    names = [system_name(letter) for letter in systems]
    widths = [max(7, len(name)) for name in names]
    lines.append("  " + " ".join([f"{'day':<10}", f"{'files':>5}"] + [f"{n:>{w}}" for n, w in zip(names, widths)]
                                 + [f"{'quality':>7}", f"{'episodes':>8}", f"{'degraded':>8}", " marks"]))
    for day in days:
        cn0 = [_number(day.mean_cn0(letter), width) for letter, width in zip(systems, widths)]
        quality = statistics.fmean(day.quality) if day.quality else None
        episodes = f"{'-':>8}" if day.episodes is None else f"{day.episodes:>8}"
        lines.append("  " + " ".join([f"{day.date:<10}", f"{day.files:>5}"] + cn0 +
                                     [_number(quality, 7), episodes, _number(day.degraded_minutes, 8),
                                      " " + ", ".join(station.marks(day))]).rstrip())
    medians = ", ".join(f"{system_name(letter)} {station.median(letter):.1f}" for letter in systems)
    if medians:
        lines.append(f"  median day C/N0 (dB-Hz): {medians}")
    return "\n".join(lines)


def trend_text(rows: list[dict]) -> str:
    stations = stations_of(rows)
    if not stations:
        return "The table holds no files."
    legend = (f"C/N0: the day's mean over its files, dB-Hz; degraded: minutes; marks: a system {DROP_DBHZ:g} dB-Hz "
              "or more below the station's median day, episodes, verdicts, failures.")
    return "\n\n".join([station_text(station) for station in stations] + [legend])


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog=PROG, description="The campaign tables written by quorlin-cn0 --table, "
                                     "per station and day: mean C/N0 per system, quality, episodes.")
    parser.add_argument("table", type=Path, metavar="TABLE", help="the folder given to --table")
    parser.add_argument("--station", action="append", metavar="NAME", help="only this station (repeatable)")
    parser.add_argument("--html", type=Path, metavar="PAGE", help="also write a self-contained HTML page with plots")
    return parser


def trend_main(argv: list[str]) -> int:
    args = build_parser().parse_args(argv)
    tables = CampaignTables(args.table)
    if tables.existing_format() is None:
        print(f"{PROG}: {args.table}: no campaign table (files/ or files.csv) found", file=sys.stderr)
        return 1
    rows, _ = tables.load()
    if args.station:
        rows = [row for row in rows if (row.get("station") or "-") in args.station]
    print(trend_text(rows))
    if args.html is not None:
        from quorlin_cn0_cli.trend_html import trend_page

        args.html.write_text(trend_page(stations_of(rows)), encoding="utf-8")
    return 0
