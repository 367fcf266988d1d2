"""Input files through the module: their plain content, decoded by the module whatever the
compression (gzip, Unix compress, bzip2, zip, compact RINEX, nested too, recognised by content),
and the RINEX file type of their first line."""

from __future__ import annotations

import re
from pathlib import Path

import quorlin_cn0

HEADER_LABEL = "RINEX VERSION / TYPE"
# Suffixes the name of an analysis' JSON file leaves out (compared without case).
COMPRESSION_SUFFIXES = (".gz", ".z", ".bz2", ".zip")


def read_plain(path: Path) -> tuple[bytes, str]:
    """The plain content of a file and its plain name (site.crx.gz gives site.rnx)."""
    return quorlin_cn0.decompress(path.read_bytes(), path.name)


def first_line(content: bytes) -> str:
    return content[:256].split(b"\n", 1)[0].decode("ascii", errors="replace")


def rinex_file_type(content: bytes) -> str | None:
    """The file type field (columns 21 to 40) of the RINEX VERSION / TYPE line, or None without that line.

    Observation files read "O" or "OBSERVATION DATA" there, navigation files "N: GPS NAV DATA",
    "G: GLONASS NAV DATA" or "NAVIGATION DATA".
    """
    line = first_line(content)
    if HEADER_LABEL not in line:
        return None
    return line[20:40].strip().upper()


def is_navigation_type(file_type: str) -> bool:
    return "NAV" in file_type or file_type[:1] in ("N", "G", "H", "L", "B")


def output_stem(path: Path) -> str:
    """The file name without a compression suffix, for naming what is written about the file."""
    name = path.name
    for suffix in COMPRESSION_SUFFIXES:
        if name.lower().endswith(suffix) and len(name) > len(suffix):
            return name[: -len(suffix)]
    return name


def error_text(error: BaseException) -> str:
    """One line for a failure: the system text of an OS error, otherwise the exception's message."""
    if isinstance(error, OSError) and error.strerror:
        return error.strerror
    # The module's OS errors carry the system text and the error number: "... (os error 2)".
    return re.sub(r" \(os error \d+\)$", "", str(error)) or type(error).__name__
