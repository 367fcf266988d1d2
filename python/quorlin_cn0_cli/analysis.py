"""Running the C/N0 analysis of one observation file with the options of the command line."""

from __future__ import annotations

import contextlib
from dataclasses import dataclass
from pathlib import Path

import quorlin_cn0

from quorlin_cn0_cli.inputs import is_navigation_type, plain_file, rinex_file_type

# Letters and names accepted by --systems; names map to their letter, because the analysis
# reads only the first character of each entry (so "Galileo" would otherwise select GPS).
SYSTEM_LETTERS = {
    "G": "G", "GPS": "G",
    "R": "R", "GLONASS": "R",
    "E": "E", "GALILEO": "E",
    "C": "C", "BEIDOU": "C", "BDS": "C",
    "J": "J", "QZSS": "J",
    "S": "S", "SBAS": "S",
    "I": "I", "NAVIC": "I", "IRNSS": "I",
}


def parse_systems(text: str) -> list[str]:
    """Comma-separated letters or names (G,R,E or gps,galileo) as the system letters of the analysis."""
    letters = []
    for item in text.split(","):
        key = item.strip().upper()
        if not key:
            continue
        if key not in SYSTEM_LETTERS:
            raise ValueError(f"unknown system {item.strip()!r} (use G, R, E, C, J, S, I or their names)")
        if SYSTEM_LETTERS[key] not in letters:
            letters.append(SYSTEM_LETTERS[key])
    if not letters:
        raise ValueError("no system given")
    return letters


@dataclass(frozen=True)
class AnalysisOptions:
    min_elevation: float = 5.0
    systems: list[str] | None = None
    nav_file: Path | None = None


def analyze_file(path: Path, options: AnalysisOptions, nav_path: Path | None = None) -> quorlin_cn0.AnalysisResult:
    """Analyse one observation file; `nav_path` is the already decompressed navigation file."""
    file_type = rinex_file_type(path)
    if file_type is not None and is_navigation_type(file_type):
        raise ValueError("a navigation file, not observations (give it with --nav, or use --inspect)")
    with plain_file(path) as obs_path:
        return quorlin_cn0.analyze_cn0(
            str(obs_path),
            nav_path=str(nav_path) if nav_path else None,
            min_elevation=options.min_elevation,
            systems=options.systems,
        )


@contextlib.contextmanager
def prepared_navigation(options: AnalysisOptions):
    """The navigation file of the run, decompressed once for all observation files (or None)."""
    if options.nav_file is None:
        yield None
        return
    with plain_file(options.nav_file) as nav_path:
        yield nav_path
