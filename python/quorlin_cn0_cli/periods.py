"""The period a RINEX file covers, read from its header and, when the header leaves it out, its last
epoch; and the header lines themselves, read from the start of the file without decoding all of it."""

from __future__ import annotations

import bz2
import gzip
import io
import re
import zipfile
from dataclasses import dataclass
from datetime import datetime, timedelta
from pathlib import Path
from typing import IO, Any

from quorlin_cn0_cli.inputs import HEADER_LABEL, read_plain

HEAD_BYTES = 64 * 1024  # a header longer than this is read whole by the module
TAIL_BYTES = 256 * 1024  # the end of the plain content searched for the last epoch
GZIP_MAGIC = b"\x1f\x8b"
BZIP2_MAGIC = b"BZh"
ZIP_MAGIC = b"PK\x03\x04"
# Epoch lines: "> 2020 06 25 23 59 30.0000000  0 36" (version 3 and later) and
# " 21  1  1 23 59 30.0000000  0 12G..." (version 2).
EPOCH_V3 = re.compile(rb"^> *(\d{4}) +(\d{1,2}) +(\d{1,2}) +(\d{1,2}) +(\d{1,2}) +(\d+\.\d*)", re.MULTILINE)
EPOCH_V2 = re.compile(rb"^ ([ \d]\d) ([ \d]\d) ([ \d]\d) ([ \d]\d) ([ \d]\d) ([ \d]\d\.\d+) +[0-6]", re.MULTILINE)


@dataclass(frozen=True)
class Header:
    """The header lines of a RINEX file: the first value of each label, and the version and type."""

    values: dict[str, str]  # label -> the 60 columns before it, of its first line
    version: float
    file_type: str  # columns 21 to 40 of the RINEX VERSION / TYPE line, stripped and upper case
    system_field: str  # column 41 of the RINEX VERSION / TYPE line: G, R, E, S, M or blank
    observed_systems: frozenset[str]  # of observation files: the letters of SYS / # / OBS TYPES

    def get(self, label: str) -> str | None:
        return self.values.get(label)

    def systems(self) -> frozenset[str] | None:
        """The systems an observation file records, or None when its header does not tell (a
        version 2 file of mixed systems)."""
        if self.version >= 3:
            return self.observed_systems or None
        letter = self.system_field or "G"  # a blank system is GPS
        return None if letter == "M" else frozenset(letter)


def _stream(raw: IO[bytes]) -> Any:
    """The stream of a file's plain content through its gzip, bzip2 and zip layers, in any nesting."""
    stream: Any = raw
    for _ in range(4):
        magic = stream.peek(4)[:4] if hasattr(stream, "peek") else b""
        if magic.startswith(GZIP_MAGIC):
            stream = gzip.GzipFile(fileobj=stream)
        elif magic.startswith(BZIP2_MAGIC):
            stream = bz2.BZ2File(stream)
        elif magic.startswith(ZIP_MAGIC):
            archive = zipfile.ZipFile(io.BytesIO(stream.read()))
            members = [info for info in archive.infolist() if not info.is_dir()]
            if not members:
                raise ValueError("empty zip archive")
            stream = archive.open(members[0])
        else:
            return stream
    return stream


def leading_bytes(path: Path, size: int = HEAD_BYTES) -> bytes:
    """The first `size` bytes of a file's plain content (compact RINEX stays compact: its header
    lines are those of the RINEX file). Gzip, bzip2 and zip are read as streams; other compressions
    (Unix compress) are decoded whole by the module."""
    with open(path, "rb") as raw:
        stream = _stream(raw)
        head = stream.read(size)
    if head[:2] == b"\x1f\x9d":
        head = read_plain(path)[0][:size]
    return head


def parse_header(content: bytes) -> Header | None:
    """The header of a RINEX file (also the RINEX header inside compact RINEX), or None when the
    content has no RINEX VERSION / TYPE line among its first lines."""
    values: dict[str, str] = {}
    systems = set()
    for raw_line in content.split(b"\n"):
        line = raw_line.rstrip(b"\r").decode("ascii", errors="replace")
        label = line[60:].strip()
        values.setdefault(label, line[:60])
        if label == "SYS / # / OBS TYPES" and line[:1].strip():
            systems.add(line[:1])
        if label == "END OF HEADER":
            break
    version_line = values.get(HEADER_LABEL)
    if version_line is None:
        return None
    try:
        version = float(version_line[:9])
    except ValueError:
        version = 0.0
    return Header(values, version, version_line[20:40].strip().upper(), version_line[40:41].strip().upper(),
                  frozenset(systems))


def header_time(value: str | None) -> datetime | None:
    """The time of a TIME OF FIRST OBS or TIME OF LAST OBS value: year month day hour minute second."""
    if value is None:
        return None
    fields = value[:43].split()
    if len(fields) < 6:
        return None
    try:
        year, month, day, hour, minute = (int(field) for field in fields[:5])
        return datetime(year, month, day, hour, minute) + timedelta(seconds=float(fields[5]))
    except (ValueError, OverflowError):
        return None


def _epoch_time(groups: tuple[bytes, ...]) -> datetime | None:
    try:
        year, month, day, hour, minute = (int(field) for field in groups[:5])
        if year < 100:
            year += 2000 if year < 80 else 1900
        return datetime(year, month, day, hour, minute) + timedelta(seconds=float(groups[5]))
    except (ValueError, OverflowError):
        return None


def last_epoch(content: bytes, version: float) -> datetime | None:
    """The time of the last epoch line of plain observation content."""
    pattern = EPOCH_V3 if version >= 3 else EPOCH_V2
    start = max(0, len(content) - TAIL_BYTES)
    while True:
        found = None
        for found in pattern.finditer(content, start):
            pass
        if found is not None:
            return _epoch_time(found.groups())
        if start == 0:
            return None
        start = max(0, start - 16 * TAIL_BYTES)


@dataclass(frozen=True)
class ObservationPeriod:
    first: datetime
    last: datetime
    systems: frozenset[str] | None  # the systems recorded, None when the header does not tell


def observation_period(path: Path) -> ObservationPeriod | None:
    """The first and last epoch of an observation file: TIME OF FIRST OBS and TIME OF LAST OBS of
    its header, or its last epoch line when the header has no TIME OF LAST OBS; and its systems.
    None when the file cannot tell (unreadable, not RINEX, no first time)."""
    try:
        header = parse_header(leading_bytes(path))
        if header is None:
            return None
        first = header_time(header.get("TIME OF FIRST OBS"))
        if first is None:
            return None
        last = header_time(header.get("TIME OF LAST OBS"))
        if last is None:
            last = last_epoch(read_plain(path)[0], header.version)
    except (OSError, ValueError, EOFError, zipfile.BadZipFile):
        return None
    if last is None or last < first:
        last = first
    return ObservationPeriod(first, last, header.systems())
