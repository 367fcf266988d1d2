"""Input files as the module wants them: plain bytes, or a plain file on disk for path-only calls.

Gzip-compressed inputs are recognised by their magic bytes (not by the name) and decompressed.
"""

from __future__ import annotations

import contextlib
import gzip
import tempfile
from pathlib import Path
from typing import Iterator

GZIP_MAGIC = b"\x1f\x8b"
HEADER_LABEL = "RINEX VERSION / TYPE"


def is_gzip(path: Path) -> bool:
    with open(path, "rb") as file:
        return file.read(2) == GZIP_MAGIC


def plain_name(path: Path) -> str:
    """The file name a parser should see: the name without a trailing .gz."""
    name = path.name
    return name[:-3] if name.lower().endswith(".gz") and len(name) > 3 else name


def read_bytes(path: Path) -> bytes:
    """The whole content of a file, decompressed when it is gzip."""
    data = path.read_bytes()
    return gzip.decompress(data) if data[:2] == GZIP_MAGIC else data


def first_line(path: Path) -> str:
    """The first line of a (possibly compressed) file, for telling file kinds apart."""
    opener = gzip.open if is_gzip(path) else open
    with opener(path, "rb") as file:
        return file.readline(256).decode("ascii", errors="replace")


def rinex_file_type(path: Path) -> str | None:
    """The file type field (columns 21 to 40) of the RINEX VERSION / TYPE line, or None without that line.

    Observation files read "O" or "OBSERVATION DATA" there, navigation files "N: GPS NAV DATA",
    "G: GLONASS NAV DATA" or "NAVIGATION DATA".
    """
    line = first_line(path)
    if HEADER_LABEL not in line:
        return None
    return line[20:40].strip().upper()


def is_navigation_type(file_type: str) -> bool:
    return "NAV" in file_type or file_type[:1] in ("N", "G", "H", "L", "B")


@contextlib.contextmanager
def plain_file(path: Path) -> Iterator[Path]:
    """A path to the uncompressed content: the file itself, or a temporary copy removed afterwards.

    The copy keeps the original name without .gz, because the parser takes its default marker
    name from the file name.
    """
    if not is_gzip(path):
        yield path
        return
    with tempfile.TemporaryDirectory(prefix="quorlin-cn0-") as folder:
        target = Path(folder) / plain_name(path)
        with gzip.open(path, "rb") as source, open(target, "wb") as sink:
            while chunk := source.read(1 << 20):
                sink.write(chunk)
        yield target
