"""Record counts and time span of a RINEX navigation file, read from the records' first lines.

The module's NavigationData tells how many satellites each system has; for an inspection we also
want how many records the file holds and which period they cover. Every record begins with a
line that names the satellite and its time of clock; the lines that continue a record begin with
spaces. RINEX 3 and later write "G05 2020 06 25 00 00 00", RINEX 2 " 5 20  6 25  0  0  0.0"
(the system then comes from the file type letter: N or blank for GPS, G for GLONASS, E for
Galileo; files of other letters, such as H for SBAS, hold records the module does not keep).
"""

from __future__ import annotations

from dataclasses import dataclass, field

SYSTEM_NAMES = {"G": "GPS", "R": "GLONASS", "E": "Galileo", "C": "BeiDou", "J": "QZSS", "S": "SBAS", "I": "NavIC"}
RINEX2_SYSTEMS = {"N": "G", " ": "G", "G": "R", "E": "E"}


@dataclass
class RecordSummary:
    records_by_system: dict[str, int] = field(default_factory=dict)
    first: str = ""  # time of clock of the earliest record, "2020-06-25 00:00:00"
    last: str = ""
    first_time: tuple | None = None  # (year, month, day, hour, minute, second) of the earliest record
    last_time: tuple | None = None


def _time_text(year: int, month: int, day: int, hour: int, minute: int, second: float) -> str:
    return f"{year:04d}-{month:02d}-{day:02d} {hour:02d}:{minute:02d}:{second:02.0f}"


def _record_start_v3(line: str) -> tuple[str, tuple] | None:
    if len(line) < 23 or not line[0].isalpha() or not line[1:3].strip().isdigit():
        return None
    fields = line[4:23].split()
    try:
        year, month, day, hour, minute = (int(v) for v in fields[:5])
        second = float(fields[5])
    except (ValueError, IndexError):
        return None
    return line[0], (year, month, day, hour, minute, second)


def _record_start_v2(line: str, letter: str) -> tuple[str, tuple] | None:
    if len(line) < 22 or line[:3].strip() == "" or not line[:2].strip().isdigit():
        return None
    fields = line[2:22].split()
    try:
        year, month, day, hour, minute = (int(v) for v in fields[:5])
        second = float(fields[5])
    except (ValueError, IndexError):
        return None
    year += 2000 if year < 80 else 1900
    return letter, (year, month, day, hour, minute, second)


def summarize_records(text: str) -> RecordSummary:
    """Records per system name in order of first appearance, and the earliest and latest time of clock."""
    summary = RecordSummary()
    lines = text.splitlines()
    end = next((i for i, line in enumerate(lines) if line[60:].strip() == "END OF HEADER"), None)
    if end is None or not lines:
        return summary
    version_text = lines[0][:9].strip()
    try:
        version = float(version_text)
    except ValueError:
        version = 3.0
    type_letter = lines[0][20:21] if "RINEX VERSION" in lines[0] else " "
    rinex2_letter = RINEX2_SYSTEMS.get(type_letter or " ")
    if version < 3.0 and rinex2_letter is None:
        return summary
    earliest = latest = None
    for line in lines[end + 1:]:
        start = _record_start_v3(line) if version >= 3.0 else _record_start_v2(line, rinex2_letter)
        if start is None:
            continue
        letter, time = start
        name = SYSTEM_NAMES.get(letter, letter)
        summary.records_by_system[name] = summary.records_by_system.get(name, 0) + 1
        earliest = time if earliest is None or time < earliest else earliest
        latest = time if latest is None or time > latest else latest
    if earliest is not None:
        summary.first, summary.last = _time_text(*earliest), _time_text(*latest)
        summary.first_time, summary.last_time = earliest, latest
    return summary
