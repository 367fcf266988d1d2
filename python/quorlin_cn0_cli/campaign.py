"""The rows of a campaign: one per analysed file, and one per episode of degraded reception.

A row holds plain values only (text, numbers, flags, None), so that it can cross to another
process and be stored as CSV or Parquet. The episodes come from the interference assessment of a
result (`AnalysisResult.get_assessment()`); a module without it leaves the episode columns empty
and the episodes table without rows.
"""

from __future__ import annotations

import os
from dataclasses import dataclass, field
from pathlib import Path

import quorlin_cn0

from quorlin_cn0_cli.systems import SYSTEMS

# GPS, GLONASS, Galileo and BeiDou first, as the analysis takes them, then the regional systems.
USUAL_ORDER = "GRECJIS"
ORDERED_SYSTEMS = sorted(SYSTEMS, key=lambda system: (USUAL_ORDER + str(system["letter"])).index(str(system["letter"])))
SYSTEM_LETTERS = tuple(str(system["letter"]) for system in ORDERED_SYSTEMS)
CN0_COLUMNS = tuple(f"mean_cn0_{letter}" for letter in SYSTEM_LETTERS)

# Column name -> kind: "text", "int", "real" or "flag". Every row has every column, in this order.
FILE_COLUMNS: dict[str, str] = {
    "path": "text",
    "station": "text",
    "receiver": "text",
    "antenna": "text",
    "start": "text",
    "end": "text",
    "epochs": "int",
    "interval": "real",
    **{name: "real" for name in CN0_COLUMNS},
    "quality": "real",
    "grade": "text",
    "jamming": "flag",
    "spoofing": "flag",
    "interference": "flag",
    "episodes": "int",
    "outages": "int",
    "degraded_minutes": "real",
    "confirmation_rate": "real",
    "navigation": "text",
    "note": "text",
    "error": "text",
}

EPISODE_COLUMNS: dict[str, str] = {
    "path": "text",
    "station": "text",
    "kind": "text",
    "severity": "text",
    "start_time": "text",
    "end_time": "text",
    "duration_seconds": "real",
    "degraded_seconds": "real",
    "bands": "text",
    "systems": "text",
    "affected_satellites": "text",
    "lost_satellites": "text",
    "median_drop_db": "real",
    "max_drop_db": "real",
    "description": "text",
}

# Episode kinds whose time counts as degraded reception (outages and spoofing are told apart).
DEGRADED_KINDS = ("jamming", "interference", "obstruction")


@dataclass
class FileRecord:
    """The campaign's rows of one file: its row and the rows of its episodes."""

    row: dict[str, object]
    episodes: list[dict[str, object]] = field(default_factory=list)


def table_path(path: Path | str) -> str:
    """How a file is named in the table: its absolute path, symbolic links kept."""
    return os.path.abspath(os.fspath(path))


def empty_row(path: Path | str) -> dict[str, object]:
    row: dict[str, object] = dict.fromkeys(FILE_COLUMNS)
    row["path"] = table_path(path)
    return row


def failure_record(path: Path | str, error: str, navigation: str | None = None) -> FileRecord:
    row = empty_row(path)
    row["navigation"] = navigation
    row["error"] = error
    return FileRecord(row)


def _cn0_means(result: quorlin_cn0.AnalysisResult) -> dict[str, float | None]:
    means: dict[str, float | None] = {}
    for system, column in zip(ORDERED_SYSTEMS, CN0_COLUMNS):
        summary = None
        for name in (system["result_name"], system["raw_name"]):
            summary = summary or result.get_constellation_summary(str(name))
        # A system listed without accepted values (not analysed, or all below the mask) has no mean.
        counted = summary is not None and int(summary.get("observation_count", "0")) > 0
        means[column] = float(summary["mean_cn0"]) if counted else None
    return means


def assessment_of(result: quorlin_cn0.AnalysisResult) -> dict | None:
    """The interference assessment of a result, or None when the module has none or nothing could
    be assessed."""
    get_assessment = getattr(result, "get_assessment", None)
    return get_assessment() if get_assessment is not None else None


def _joined(value: object) -> object:
    """Lists as text with commas; empty text as None (a CSV cell cannot tell them apart)."""
    if isinstance(value, (list, tuple)):
        value = ",".join(str(item) for item in value)
    return None if value == "" else value


def episode_rows(assessment: dict | None, path: str, station: str | None) -> list[dict[str, object]]:
    if not assessment:
        return []
    rows = []
    for episode in assessment.get("episodes", []):
        row: dict[str, object] = {name: _joined(episode.get(name)) for name in EPISODE_COLUMNS}
        row["path"], row["station"] = path, station
        rows.append(row)
    return rows


def degraded_minutes(assessment: dict | None) -> float | None:
    """The minutes of the file in degraded reception: the assessment's degraded share of its time."""
    if not assessment or "degraded_share" not in assessment:
        return None
    seconds = assessment.get("epochs", 0) * assessment.get("interval_seconds", 0.0)
    return assessment["degraded_share"] * seconds / 60.0


def result_record(path: Path | str, result: quorlin_cn0.AnalysisResult, navigation: str | None = None,
                  note: str | None = None, epochs: int | None = None) -> FileRecord:
    """The rows of an analysed file; epochs, when given, are the file's (the result counts only
    the epochs with accepted values)."""
    row = empty_row(path)
    station = result.station_name or None
    quality = result.get_quality_assessment()
    assessment = assessment_of(result)
    episodes = episode_rows(assessment, str(row["path"]), station)
    row.update({
        "station": station,
        "receiver": result.receiver_type.strip() or None,
        "antenna": result.antenna_type.strip() or None,
        "start": result.start_time or None,
        "end": result.end_time or None,
        "epochs": result.total_epochs if epochs is None else epochs,
        "interval": result.interval,
        **_cn0_means(result),
        "quality": None if quality["grade"] == "N/A" else float(quality["overall"]),
        "grade": str(quality["grade"]),
        "jamming": result.jamming_detected,
        "spoofing": result.spoofing_detected,
        "interference": result.interference_detected,
        "episodes": None if assessment is None else len(episodes),
        "outages": None if assessment is None else sum(1 for e in episodes if e["kind"] == "outage"),
        "degraded_minutes": degraded_minutes(assessment),
        "confirmation_rate": result.visibility_confirmation_rate if result.has_visibility_prediction else None,
        "navigation": navigation,
        "note": note,
    })
    return FileRecord(row, episodes)
