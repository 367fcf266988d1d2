"""Pairing observation files with the navigation files of a folder: each observation file gets the
navigation files whose records cover its period, read from the files themselves, never from names.

A navigation file pairs with an observation file when the time of clock of its records (first to
last) overlaps the observation period. The one that overlaps most comes first; others are added
while the period is not yet covered within the reach of the records (4 hours for Keplerian
records, 1 hour for GLONASS). When no file's records fall within the period, the nearest file
whose reach still touches it is taken. Several files are analysed as one: their records after
the header of the earliest, in a temporary file.
"""

from __future__ import annotations

import errno
import os
import tempfile
from collections.abc import Iterator
from contextlib import contextmanager
from dataclasses import dataclass
from datetime import datetime, timedelta
from pathlib import Path

import quorlin_cn0

from quorlin_cn0_cli.coverage import NavigationSpan, navigation_span
from quorlin_cn0_cli.inputs import is_navigation_type, read_plain
from quorlin_cn0_cli.periods import leading_bytes, observation_period, parse_header

END_OF_HEADER = b"END OF HEADER"


@dataclass(frozen=True)
class NavigationFile:
    path: Path
    span: NavigationSpan  # the time of clock of its first and last record, and their reach
    version: int  # the major RINEX version
    file_type: str  # the type letter of the RINEX VERSION / TYPE line: N, G, M, ...
    systems: frozenset[str]  # the systems it has records of

    def mergeable_with(self, other: NavigationFile) -> bool:
        """Whether the records of both can follow one header: version 3 and later records name their
        system, version 2 files hold one system each."""
        return self.version == other.version and (self.version >= 3 or self.file_type == other.file_type)


@dataclass(frozen=True)
class Pairing:
    """The navigation files of one observation file, and a note when none or not all of its period
    is covered."""

    files: tuple[NavigationFile, ...]
    note: str | None = None

    @property
    def span(self) -> NavigationSpan | None:
        if not self.files:
            return None
        return NavigationSpan(min(f.span.first for f in self.files), max(f.span.last for f in self.files),
                              max(f.span.reach for f in self.files))

    @property
    def names(self) -> str:
        return ";".join(f.path.name for f in self.files)


def _reach(file: NavigationFile) -> tuple[datetime, datetime]:
    return file.span.first - file.span.reach, file.span.last + file.span.reach


def _overlap(file: NavigationFile, start: datetime, end: datetime) -> timedelta:
    return min(file.span.last, end) - max(file.span.first, start)


def uncovered(files: list[NavigationFile], start: datetime, end: datetime) -> timedelta:
    """How much of [start, end] lies outside the reach of every file."""
    missing, cursor = timedelta(0), start
    for low, high in sorted(_reach(f) for f in files):
        if low > cursor:
            missing += min(low, end) - cursor
        cursor = max(cursor, high)
        if cursor >= end:
            return missing
    return missing + max(end - cursor, timedelta(0))


def _period_text(start: datetime, end: datetime) -> str:
    return f"{start:%Y-%m-%d %H:%M} to {end:%Y-%m-%d %H:%M}"


@dataclass(frozen=True)
class NavigationIndex:
    """The navigation files of a folder (and its subfolders) with the period of their records."""

    folder: Path
    files: tuple[NavigationFile, ...]

    @classmethod
    def scan(cls, folder: Path) -> NavigationIndex:
        """Reads every navigation file under folder; other files (observations, notes, files that
        cannot be read) are passed over. A missing folder raises FileNotFoundError."""
        if not folder.exists():
            raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), str(folder))
        if not folder.is_dir():
            raise NotADirectoryError(errno.ENOTDIR, os.strerror(errno.ENOTDIR), str(folder))
        found = []
        for path in sorted(p for p in folder.rglob("*") if p.is_file()):
            entry = _navigation_file(path)
            if entry is not None:
                found.append(entry)
        return cls(folder, tuple(found))

    def pair(self, start: datetime, end: datetime, systems: frozenset[str] | None = None) -> Pairing:
        """The files that cover [start, end] (see the module's description) with records of the
        given systems (of any system when None)."""
        usable = [f for f in self.files if systems is None or f.systems & systems]

        def rank(f: NavigationFile) -> tuple:
            shared = len(f.systems & systems) if systems is not None else len(f.systems)
            return (-_overlap(f, start, end), -shared, f.span.first, str(f.path))

        overlapping = sorted((f for f in usable if _overlap(f, start, end) > timedelta(0)), key=rank)
        if not overlapping:
            near = [f for f in usable if _reach(f)[0] <= end and start <= _reach(f)[1]]
            if not near:
                return Pairing((), f"no navigation file in {self.folder} covers {_period_text(start, end)}: "
                                   "analysed without navigation data")
            overlapping = [min(near, key=rank)]
        chosen = [overlapping[0]]
        for candidate in overlapping[1:]:
            missing = uncovered(chosen, start, end)
            if missing == timedelta(0):
                break
            if candidate.mergeable_with(chosen[0]) and uncovered(chosen + [candidate], start, end) < missing:
                chosen.append(candidate)
        chosen.sort(key=lambda f: (f.span.first, str(f.path)))
        note = None
        if uncovered(chosen, start, end) > timedelta(0):
            note = (f"the navigation files of {self.folder} cover only part of {_period_text(start, end)}")
        return Pairing(tuple(chosen), note)

    def pair_file(self, path: Path) -> Pairing:
        period = observation_period(path)
        if period is None:
            return Pairing((), "the observation period could not be read from the file: "
                               "analysed without navigation data")
        return self.pair(period.first, period.last, period.systems)


def _navigation_file(path: Path) -> NavigationFile | None:
    try:
        header = parse_header(leading_bytes(path, 4096))
        if header is None or not is_navigation_type(header.file_type) or header.file_type.startswith("O"):
            return None
        navigation = quorlin_cn0.read_navigation(path)
    except (OSError, ValueError, EOFError):
        return None
    span = navigation_span(navigation)
    if span is None:
        return None
    systems = frozenset(letter for letter, count in navigation.records_by_system.items() if count)
    return NavigationFile(path, span, int(header.version), header.file_type[:1], systems)


def _body_start(content: bytes) -> int:
    """The offset just after the END OF HEADER line."""
    label = content.find(END_OF_HEADER)
    if label < 0:
        raise ValueError("No END OF HEADER found")
    line_end = content.find(b"\n", label)
    return len(content) if line_end < 0 else line_end + 1


@contextmanager
def navigation_path(pairing: Pairing) -> Iterator[Path | None]:
    """The path to analyse the observation file with: the one paired file as it is, the records of
    several after the header of the earliest in a temporary file (removed afterwards), or None."""
    if len(pairing.files) <= 1:
        yield pairing.files[0].path if pairing.files else None
        return
    handle, name = tempfile.mkstemp(prefix="quorlin-cn0-nav-", suffix=".rnx")
    try:
        with os.fdopen(handle, "wb") as merged:
            for position, file in enumerate(pairing.files):
                content = read_plain(file.path)[0]
                body = _body_start(content)
                if position == 0:
                    merged.write(content[:body])
                merged.write(content[body:])
                if not content.endswith(b"\n"):
                    merged.write(b"\n")
        yield Path(name)
    finally:
        os.unlink(name)
