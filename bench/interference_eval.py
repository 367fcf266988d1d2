#!/usr/bin/env python3
"""Evaluation of the interference assessment: episodes built into real observation files.

Each scenario takes a real RINEX observation file (version 2 or 3, 30 s or 1 s) and builds one
episode into it the way it happens at a receiver: every C/N0 value of the chosen frequency bands
falls by the same number of dB for a stretch of time, and values that fall under a tracking
threshold are removed (the signal lost lock; a satellite left without any C/N0 value leaves the
epoch); or every signal is lost (the epochs written without satellites, or left out of the file);
or from one epoch on every satellite shows one common C/N0 (a spoofer). The file is analysed with
and without its navigation file and the episodes the assessment reports are compared with the
truth: whether the episode is found, in the right bands, of the right kind, and how many epochs
its start and end lie off. The clean files are analysed too, and every episode found there is
false.

usage: interference_eval.py [--data DIR] [--work DIR] [--quick] [--markdown FILE]

With --quick only a few scenarios run (those of the tests). The 1-second file is built from the
ESBC day (GPS and Galileo, 06:00 to 18:00) the way make_dense_obs.py builds a whole day.
"""

from __future__ import annotations

import argparse
import dataclasses
import datetime
import gzip
import itertools
import shutil
import statistics
import sys
import tempfile
import time
from pathlib import Path

import quorlin_cn0

TRACKING_THRESHOLD_DBHZ = 25.0  # a value under it after the fall is lost
SPOOFED_CN0_DBHZ = 45.0

# Band of a C/N0 code by system and band digit: the frequency bands a jammer sees.
BAND_DIGITS = {
    "G": {"1": "L1", "2": "L2", "5": "L5"},
    "J": {"1": "L1", "2": "L2", "5": "L5", "6": "E6"},
    "S": {"1": "L1", "5": "L5"},
    "R": {"1": "L1", "4": "L1", "2": "L2", "6": "L2", "3": "L5"},
    "E": {"1": "L1", "5": "L5", "7": "L5", "8": "L5", "6": "E6"},
    "C": {"1": "L1", "2": "L1", "5": "L5", "7": "L5", "8": "L5", "6": "E6"},
    "I": {"1": "L1", "5": "L5", "9": "S"},
}
ANALYSED_SYSTEMS = "GREC"  # the analysis's default systems


def band_of(system: str, code: str) -> str | None:
    return BAND_DIGITS.get(system, {}).get(code[1:2]) if code.startswith("S") else None


# --- reading and writing observation files, epoch by epoch, as text


@dataclasses.dataclass
class Epoch:
    time: datetime.datetime
    lines: list[bytes]  # the epoch line(s) and the observation lines, as read


@dataclasses.dataclass
class ObsFile:
    header: bytes
    version: int  # 2 or 3
    codes: dict[str, list[str]]  # system letter -> observation codes (version 2: under "*")
    epochs: list[Epoch]

    def interval(self) -> float:
        spacings = [(b.time - a.time).total_seconds() for a, b in zip(self.epochs, self.epochs[1:])]
        return statistics.median(s for s in spacings if s > 0)

    def bands(self) -> set[str]:
        """Bands of the C/N0 codes of the analysed systems."""
        out = set()
        for system, codes in self.codes.items():
            for letter in (ANALYSED_SYSTEMS if system == "*" else system):
                if letter in ANALYSED_SYSTEMS:
                    out |= {band_of(letter, code) for code in codes} - {None}
        return out


def split_header(text: bytes) -> tuple[bytes, bytes]:
    end = text.index(b"END OF HEADER")
    end = text.index(b"\n", end) + 1
    return text[:end], text[end:]


def header_codes(header: bytes, version: int) -> dict[str, list[str]]:
    codes: dict[str, list[str]] = {}
    system = None
    for line in header.decode("latin-1").splitlines():
        label = line[60:].strip()
        if version >= 3 and label == "SYS / # / OBS TYPES":
            if line[0] != " ":
                system = line[0]
                codes[system] = []
            codes[system] += line[7:60].split()
        elif version < 3 and label == "# / TYPES OF OBSERV":
            # Version 2 writes S1, S2, ...: the band digit stands where version 3 has it.
            codes.setdefault("*", []).extend(line[6:60].split())
    return codes


def epoch_time_v3(line: bytes) -> datetime.datetime:
    second = float(line[19:29])
    return datetime.datetime(int(line[2:6]), int(line[7:9]), int(line[10:12]), int(line[13:15]),
                             int(line[16:18])) + datetime.timedelta(seconds=second)


def epoch_time_v2(line: bytes) -> datetime.datetime:
    year = int(line[1:3])
    second = float(line[15:26])
    return datetime.datetime(year + (2000 if year < 80 else 1900), int(line[4:6]), int(line[7:9]), int(line[10:12]),
                             int(line[13:15])) + datetime.timedelta(seconds=second)


def read_obs(path: Path) -> ObsFile:
    data = path.read_bytes()
    if data[:2] == b"\x1f\x8b":
        data = gzip.decompress(data)
    header, body = split_header(data)
    version = int(float(header[:9]))
    codes = header_codes(header, version)
    epochs: list[Epoch] = []
    lines = body.splitlines(keepends=True)
    if version >= 3:
        for line in lines:
            if line.startswith(b">"):
                epochs.append(Epoch(epoch_time_v3(line), [line]))
            elif epochs:
                epochs[-1].lines.append(line)
    else:
        per_satellite = (len(codes["*"]) + 4) // 5
        i = 0
        while i < len(lines):
            line = lines[i]
            count = int(line[29:32] or 0) if len(line) > 31 and line[28:29].strip() else 0
            time_ = epoch_time_v2(line)
            flag = int(line[28:29] or 0)
            head = 1 + max(0, (count - 1) // 12)
            block = lines[i:i + head + (count * per_satellite if flag <= 1 else count)]
            epochs.append(Epoch(time_, block))
            i += len(block)
    return ObsFile(header, version, codes, epochs)


def write_obs(obs: ObsFile, path: Path) -> None:
    with open(path, "wb") as out:
        out.write(obs.header)
        for epoch in obs.epochs:
            out.writelines(epoch.lines)


# --- changing the C/N0 of one epoch


def _field(line: bytes, start: int) -> float | None:
    text = line[start:start + 14].strip()
    try:
        return float(text) if text else None
    except ValueError:
        return None


def _set_field(line: bytes, start: int, value: float | None) -> bytes:
    line = line.rstrip(b"\r\n").ljust(start + 16)
    text = b" " * 16 if value is None else (b"%14.3f" % value) + line[start + 14:start + 16]
    return line[:start] + text + line[start + 16:] + b"\n"


def change_v3(epoch: Epoch, codes: dict[str, list[str]], change) -> Epoch:
    """change(system, code, value) -> new value or None (lost); satellites left without C/N0 leave."""
    kept = []
    for line in epoch.lines[1:]:
        system = chr(line[0])
        system_codes = codes.get(system, [])
        had, has = False, False
        for k, code in enumerate(system_codes):
            if not code.startswith("S"):
                continue
            start = 3 + 16 * k
            value = _field(line, start)
            if value is None:
                continue
            had = True
            new = change(system, code, value)
            if new != value:
                line = _set_field(line, start, new)
            has = has or new is not None
        if has or not had:
            kept.append(line)
    head = epoch.lines[0]
    head = head[:32] + b"%3d" % len(kept) + head[35:]
    return Epoch(epoch.time, [head] + kept)


def change_v2(epoch: Epoch, codes: dict[str, list[str]], change) -> Epoch:
    head = epoch.lines[0]
    count = int(head[29:32])
    head_lines = 1 + max(0, (count - 1) // 12)
    satellites = b"".join(line[32:68].rstrip(b"\r\n") for line in epoch.lines[:head_lines])
    satellites = [satellites[3 * k:3 * k + 3] for k in range(count)]
    all_codes = codes["*"]
    per_satellite = (len(all_codes) + 4) // 5
    kept = []
    for k, satellite in enumerate(satellites):
        system = chr(satellite[0]) if satellite[:1].strip() else "G"
        lines = epoch.lines[head_lines + k * per_satellite:head_lines + (k + 1) * per_satellite]
        had, has = False, False
        for index, code in enumerate(all_codes):
            if not code.startswith("S"):
                continue
            row, start = divmod(index, 5)
            start *= 16
            value = _field(lines[row], start)
            if value is None:
                continue
            had = True
            new = change(system, code, value)
            if new != value:
                lines[row] = _set_field(lines[row], start, new)
            has = has or new is not None
        if has or not had:
            kept.append((satellite, lines))
    listed = b"".join(s for s, _ in kept)
    first = head[:29] + b"%3d" % len(kept) + listed[:36] + b"\n"
    rest = [b" " * 32 + listed[p:p + 36] + b"\n" for p in range(36, len(listed), 36)]
    return Epoch(epoch.time, [first] + rest + [line for _, lines in kept for line in lines])


def empty_epoch(epoch: Epoch, version: int) -> Epoch:
    """The epoch written with no satellite: the receiver saw nothing."""
    head = epoch.lines[0]
    if version >= 3:
        return Epoch(epoch.time, [head[:32] + b"  0\n"])
    return Epoch(epoch.time, [head[:29] + b"  0\n"])


# --- scenarios


@dataclasses.dataclass(frozen=True)
class Scenario:
    kind: str  # "drop", "empty", "omitted", "spoofing"
    start: datetime.datetime
    end: datetime.datetime  # the last epoch of the episode (inclusive)
    drop_db: float = 0.0
    bands: frozenset[str] = frozenset()  # empty: all bands
    minutes: float = 0.0

    def label(self) -> str:
        minutes = self.minutes
        if self.kind == "drop":
            where = "+".join(sorted(self.bands)) if self.bands else "all"
            return f"drop {self.drop_db:g} dB {where} {minutes:g} min"
        return f"{self.kind} {minutes:g} min"


def build(obs: ObsFile, scenario: Scenario) -> ObsFile:
    """The file with the scenario's episode built in."""
    change = None
    if scenario.kind == "drop":
        def change(system, code, value):
            band = band_of(system, code)
            if band is None or (scenario.bands and band not in scenario.bands):
                return value
            new = value - scenario.drop_db
            return None if new < TRACKING_THRESHOLD_DBHZ else round(new, 3)
    elif scenario.kind == "spoofing":
        def change(system, code, value):
            return SPOOFED_CN0_DBHZ
    changer = change_v3 if obs.version >= 3 else change_v2
    epochs = []
    for epoch in obs.epochs:
        inside = scenario.start <= epoch.time <= scenario.end
        if not inside:
            epochs.append(epoch)
        elif scenario.kind == "omitted":
            continue
        elif scenario.kind == "empty":
            epochs.append(empty_epoch(epoch, obs.version))
        else:
            epochs.append(changer(epoch, obs.codes, change))
    return dataclasses.replace(obs, epochs=epochs)


def expected_kind(scenario: Scenario, file_bands: set[str]) -> str:
    if scenario.kind == "empty":
        return "jamming"
    if scenario.kind == "omitted":
        return "outage"
    if scenario.kind == "spoofing":
        return "spoofing"
    return "jamming" if not scenario.bands or len(scenario.bands) > 1 or scenario.bands == file_bands else "interference"


# --- analysis and comparison


def analyse(path: Path, nav: Path | None) -> dict:
    analyzer = quorlin_cn0.CN0Analyzer(quorlin_cn0.AnalysisConfig())
    result = analyzer.analyze_with_nav(str(path), str(nav)) if nav else analyzer.analyze_file(str(path))
    return result.get_assessment()


def parse_time(text: str) -> datetime.datetime:
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ")


@dataclasses.dataclass
class Outcome:
    found: bool
    right_bands: bool
    right_kind: bool
    start_error: float | None  # epochs; positive: found late
    end_error: float | None  # epochs; positive: found ending late
    pieces: int  # episodes overlapping the truth
    extra: int  # episodes elsewhere


def compare(assessment: dict, scenario: Scenario, interval: float, file_bands: set[str]) -> Outcome:
    episodes = assessment["episodes"] if assessment else []
    if scenario.kind == "spoofing":
        matching = [e for e in episodes if e["kind"] == "spoofing"]
    else:
        matching = [e for e in episodes if e["kind"] != "spoofing"]
    overlapping = [e for e in matching
                   if parse_time(e["start_time"]) <= scenario.end and parse_time(e["end_time"]) >= scenario.start]
    extra = len(episodes) - len(overlapping)
    if not overlapping:
        return Outcome(False, False, False, None, None, 0, extra)
    start = min(parse_time(e["start_time"]) for e in overlapping)
    end = max(parse_time(e["end_time"]) for e in overlapping)
    bands = set().union(*(e["bands"] for e in overlapping))
    truth_bands = set(scenario.bands) if scenario.bands else file_bands
    kinds = {e["kind"] for e in overlapping}
    return Outcome(True, scenario.kind == "spoofing" or bands == truth_bands,
                   kinds == {expected_kind(scenario, file_bands)},
                   (start - scenario.start).total_seconds() / interval,
                   (end - scenario.end).total_seconds() / interval, len(overlapping), extra)


# --- the files and the plan


@dataclasses.dataclass
class Subject:
    name: str
    obs: ObsFile
    nav: Path | None
    anchor: datetime.datetime  # where episodes start


def dense_excerpt(source: ObsFile, systems: bytes, first_hour: int, hours: int) -> ObsFile:
    """A 1-second file from a 30-second one: each epoch repeated at every second up to the next,
    with the satellites of `systems` only (as make_dense_obs.py builds a whole day)."""
    start = source.epochs[0].time.replace(hour=first_hour, minute=0, second=0)
    end = start + datetime.timedelta(hours=hours)
    epochs = []
    for epoch in source.epochs:
        if not start <= epoch.time < end:
            continue
        satellites = [line for line in epoch.lines[1:] if line[:1] in systems]
        for k in range(30):
            t = epoch.time + datetime.timedelta(seconds=k)
            seconds = t.second + t.microsecond / 1e6
            head = (b"> %04d %02d %02d %02d %02d %10.7f" % (t.year, t.month, t.day, t.hour, t.minute, seconds) +
                    epoch.lines[0][29:32] + b"%3d" % len(satellites) + epoch.lines[0][35:])
            epochs.append(Epoch(t, [head] + satellites))
    header = source.header.replace(b"    30.000                                                  INTERVAL",
                                   b"     1.000                                                  INTERVAL")
    return ObsFile(header, source.version, source.codes, epochs)


def load_subjects(data: Path, quick: bool) -> list[Subject]:
    esbc = read_obs(data / "obs" / "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")
    subjects = [Subject("ESBC 30 s (v3)", esbc, data / "nav" / "ESBC00DNK_R_20201770000_01D_MN.rnx.gz",
                        esbc.epochs[0].time + datetime.timedelta(hours=8))]
    cn00 = read_obs(data / "obs" / "cn000010.21o")
    subjects.append(Subject("cn000010 30 s (v2)", cn00, data / "nav" / "brdc0010.21n",
                            cn00.epochs[0].time + datetime.timedelta(hours=8)))
    if not quick:
        dense = dense_excerpt(esbc, b"GE", 6, 12)
        subjects.append(Subject("ESBC 1 s GE (v3)", dense, data / "nav" / "ESBC00DNK_R_20201770000_01D_MN.rnx.gz",
                                dense.epochs[0].time + datetime.timedelta(hours=3)))
    return subjects


DROPS_DB = (3, 6, 10, 15, 25)
DURATIONS_MIN = (1, 2, 20, 60, 240)
LOSS_MINUTES = (1, 2, 10, 60)


def scenarios_for(subject: Subject, quick: bool) -> list[Scenario]:
    interval = subject.obs.interval()
    durations = DURATIONS_MIN
    out = []
    def span(minutes):
        return subject.anchor, subject.anchor + datetime.timedelta(minutes=minutes, seconds=-interval)
    spoofed_minutes = (subject.obs.epochs[-1].time - subject.anchor).total_seconds() / 60.0 + interval / 60.0
    spoofing = Scenario("spoofing", subject.anchor, subject.obs.epochs[-1].time, minutes=spoofed_minutes)
    if quick:
        return [Scenario("drop", *span(20), 10.0, frozenset({"L1"}), 20), Scenario("empty", *span(2), minutes=2),
                Scenario("omitted", *span(2), minutes=2), spoofing]
    for drop, minutes, bands in itertools.product(DROPS_DB, durations, (frozenset({"L1"}), frozenset())):
        out.append(Scenario("drop", *span(minutes), float(drop), bands, minutes))
    for kind, minutes in itertools.product(("empty", "omitted"), LOSS_MINUTES):
        out.append(Scenario(kind, *span(minutes), minutes=minutes))
    out.append(spoofing)
    return out


def plain_nav(path: Path, folder: Path) -> Path:
    data = path.read_bytes()
    if data[:2] != b"\x1f\x8b":
        return path
    target = folder / path.name.removesuffix(".gz")
    if not target.exists():
        target.write_bytes(gzip.decompress(data))
    return target


def clean_files(data: Path, folder: Path) -> list[tuple[str, Path, Path | None]]:
    """Every real observation file with its navigation file (or None), decompressed."""
    pairs = {"ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz": "ESBC00DNK_R_20201770000_01D_MN.rnx.gz",
             "CEDA00USA_R_20182100000_23H_15S_MO.rnx.gz": "ELKO00USA_R_20182100000_01D_MN.rnx.gz",
             "cn000010.21o": "brdc0010.21n", "NMBUS_SAMSUNG_S20.20o": "NMBUS_SAMSUNG_S20.20n",
             "14601736.18o": "14601736.18n"}
    out = []
    for obs in sorted((data / "obs").iterdir()):
        plain = plain_nav(obs, folder)
        nav = data / "nav" / pairs[obs.name] if obs.name in pairs else None
        out.append((obs.name.removesuffix(".gz"), plain, plain_nav(nav, folder) if nav else None))
    return out


# --- the report


def summarise(rows: list[tuple[str, str, Scenario, Outcome]]) -> list[str]:
    """One line per group of scenarios: kind of episode, file, with or without navigation data."""
    groups: dict[tuple, list[Outcome]] = {}
    for subject, nav, scenario, outcome in rows:
        if scenario.kind == "drop":
            key = (f"drop {scenario.drop_db:g} dB " + ("L1" if scenario.bands else "all bands"), subject, nav)
        else:
            key = (scenario.kind, subject, nav)
        groups.setdefault(key, []).append(outcome)
    lines = ["| episode | file | nav | found | right bands | right kind | start error (epochs) | "
             "end error (epochs) | pieces | other episodes |", "|---|---|---|---|---|---|---|---|---|---|"]
    for (label, subject, nav), outcomes in groups.items():
        found = [o for o in outcomes if o.found]
        def span(values):
            values = [v for v in values if v is not None]
            return f"{min(values):+.0f} .. {max(values):+.0f}" if values else "-"
        lines.append(f"| {label} | {subject} | {nav} | {len(found)}/{len(outcomes)} | "
                     f"{sum(o.right_bands for o in found)}/{len(found)} | {sum(o.right_kind for o in found)}/{len(found)} | "
                     f"{span(o.start_error for o in found)} | {span(o.end_error for o in found)} | "
                     f"{max((o.pieces for o in found), default=0)} | {sum(o.extra for o in outcomes)} |")
    return lines


def detail_line(subject: str, nav: str, scenario: Scenario, o: Outcome) -> str:
    if not o.found:
        return f"{subject:<20} {nav:<4} {scenario.label():<32} not found  (other episodes {o.extra})"
    return (f"{subject:<20} {nav:<4} {scenario.label():<32} found bands={'ok' if o.right_bands else 'WRONG'} "
            f"kind={'ok' if o.right_kind else 'WRONG'} start {o.start_error:+.1f} end {o.end_error:+.1f} "
            f"pieces {o.pieces} other {o.extra}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=Path, default=Path(__file__).resolve().parents[2] / "shared" / "data")
    parser.add_argument("--work", type=Path, help="folder for the built files (default: a temporary one)")
    parser.add_argument("--quick", action="store_true", help="only the scenarios of the tests")
    parser.add_argument("--markdown", type=Path, help="write the summary table to this file too")
    parser.add_argument("--only", help="only the scenarios whose file and label contain this text")
    parser.add_argument("--show", action="store_true", help="print the episodes found in each scenario")
    parser.add_argument("--no-clean", action="store_true", help="skip the clean files")
    args = parser.parse_args()
    folder = Path(tempfile.mkdtemp(dir=args.work))
    try:
        report = ["False episodes on the clean files (kind: count; outages listed apart):", ""]
        for name, obs, nav in ([] if args.no_clean else clean_files(args.data, folder)):
            for label, nav_path in (("no", None), ("yes", nav)):
                if label == "yes" and nav_path is None:
                    continue
                assessment = analyse(obs, nav_path)
                episodes = assessment["episodes"] if assessment else []
                kinds = {}
                for e in episodes:
                    kinds[e["kind"]] = kinds.get(e["kind"], 0) + 1
                text = ", ".join(f"{k}: {n}" for k, n in sorted(kinds.items())) or "none"
                if assessment is None:
                    text = "not assessed (no C/N0)"
                report.append(f"  {name:<40} nav {label:<3} {text}")
        print("\n".join(report), flush=True)
        rows = []
        for subject in load_subjects(args.data, args.quick):
            interval = subject.obs.interval()
            file_bands = subject.obs.bands()
            nav = plain_nav(subject.nav, folder) if subject.nav else None
            for scenario in scenarios_for(subject, args.quick):
                if args.only and args.only not in f"{subject.name} {scenario.label()}":
                    continue
                path = folder / "built.obs"
                write_obs(build(subject.obs, scenario), path)
                for label, nav_path in (("no", None), ("yes", nav)):
                    started = time.monotonic()
                    assessment = analyse(path, nav_path)
                    outcome = compare(assessment, scenario, interval, file_bands)
                    if args.show:
                        for e in assessment["episodes"] if assessment else []:
                            print(f"    {e['kind']} {e['start_time']} .. {e['end_time']} {e['bands']} "
                                  f"{e['description']}")
                    rows.append((subject.name, label, scenario, outcome))
                    print(detail_line(subject.name, label, scenario, outcome) +
                          f"  ({time.monotonic() - started:.1f} s)", flush=True)
        table = summarise(rows)
        print("\n".join([""] + table))
        if args.markdown:
            args.markdown.write_text("\n".join(report + [""] + table) + "\n")
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
