"""Running the C/N0 analysis of one observation file with the options of the command line."""

from __future__ import annotations

from dataclasses import dataclass, field, replace
from pathlib import Path
from typing import Any, Protocol

import quorlin_cn0

from quorlin_cn0_cli.campaign import FileRecord, failure_record, result_record
from quorlin_cn0_cli.coverage import NavigationSpan, coverage_note, navigation_span
from quorlin_cn0_cli.inputs import error_text, is_navigation_type, read_plain, rinex_file_type
from quorlin_cn0_cli.pairing import NavigationIndex, navigation_path
from quorlin_cn0_cli.systems import SYSTEM_LETTERS


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


def parse_thresholds(text: str) -> tuple[float, float, float]:
    """Three C/N0 drop thresholds in dB-Hz, low,high,critical, each above the one before."""
    try:
        values = tuple(float(item) for item in text.split(","))
    except ValueError:
        raise ValueError(f"thresholds must be numbers: {text!r}") from None
    if len(values) != 3 or not values[0] < values[1] < values[2]:
        raise ValueError(f"give three rising thresholds low,high,critical: {text!r}")
    return values


@dataclass(frozen=True)
class AnalysisOptions:
    min_elevation: float = 5.0
    systems: list[str] | None = None
    nav_file: Path | None = None
    min_cn0: float = 0.0
    max_cn0: float = 60.0
    thresholds: tuple[float, float, float] = (3.0, 6.0, 10.0)
    sensitivity: float = 0.0
    assessment: dict[str, float] = field(default_factory=dict)  # AnalysisConfig's assessment_* keywords

    def config(self) -> quorlin_cn0.AnalysisConfig:
        """The analysis configuration; with the defaults it analyses exactly as analyze_cn0 does
        (sensitivity 0 keeps the thresholds as given)."""
        low, high, critical = self.thresholds
        return quorlin_cn0.AnalysisConfig(
            min_elevation=self.min_elevation, min_cn0=self.min_cn0, max_cn0=self.max_cn0, systems=self.systems,
            anomaly_threshold_low=low, anomaly_threshold_high=high, anomaly_threshold_critical=critical,
            anomaly_sensitivity=self.sensitivity, **self.assessment)


class MakesConfig(Protocol):
    def config(self) -> quorlin_cn0.AnalysisConfig: ...


@dataclass(frozen=True)
class ConfigFields:
    """An analysis configuration as plain values, to carry it to other threads and processes
    (configuration objects cannot be pickled)."""

    fields: tuple[tuple[str, object], ...] = ()

    @classmethod
    def of(cls, config: quorlin_cn0.AnalysisConfig | None) -> ConfigFields:
        if config is None:
            return cls()
        kind = type(config)
        names = sorted(name for name in dir(kind) if not name.startswith("_") and
                       type(getattr(kind, name)).__name__ == "getset_descriptor")
        fields = {name: getattr(config, name) for name in names}
        # The stored thresholds already carry the sensitivity: rebuilt with 0 they stay as they are.
        fields["anomaly_sensitivity"] = 0.0
        return cls(tuple(fields.items()))

    def config(self) -> quorlin_cn0.AnalysisConfig:
        fields: dict[str, Any] = dict(self.fields)
        return quorlin_cn0.AnalysisConfig(**fields)


@dataclass(frozen=True)
class PreparedNavigation:
    path: Path  # the navigation file, compressed or not
    span: NavigationSpan | None  # the period of its records


@dataclass(frozen=True)
class FileAnalysis:
    """The result of one file, with what the report says beside it."""

    result: quorlin_cn0.AnalysisResult
    epochs: int | None = None  # the file's epochs when no C/N0 value was accepted (else in the result)
    records_cn0: bool = True  # whether the file declares any C/N0 (S) observation code
    coverage: str | None = None  # a note when the navigation data misses the observation period
    navigation: str | None = None  # the names of the navigation files paired with the file, ";" between


def _without_values(path: Path) -> tuple[int, bool]:
    """Epochs and whether any system declares S codes, read again for a file without accepted values."""
    observations = quorlin_cn0.read_rinex_obs(path)
    return observations.num_epochs, any(observations.snr_availability().values())


def analyze_file(path: Path, options: MakesConfig, navigation: PreparedNavigation | None = None) -> FileAnalysis:
    """Analyse one observation file, compressed or not, with the prepared navigation file if any."""
    analyzer = quorlin_cn0.CN0Analyzer(options.config())
    if navigation is None:
        result = analyzer.analyze_file(path)
    else:
        result = analyzer.analyze_with_nav(path, navigation.path)
    epochs, records_cn0 = None, True
    if result.total_epochs == 0:
        # A file without epochs may be navigation data given in place of observations: say so
        # rather than report an empty analysis. Only then is its header looked at.
        file_type = rinex_file_type(read_plain(path)[0])
        if file_type is not None and is_navigation_type(file_type):
            raise ValueError("a navigation file, not observations (give it with --nav, or use --inspect)")
        if result.start_time:
            epochs, records_cn0 = _without_values(path)
    coverage = None
    if navigation is not None:
        coverage = coverage_note(navigation.span, result.start_time, result.end_time)
    return FileAnalysis(result, epochs, records_cn0, coverage)


def prepared_navigation(options: AnalysisOptions) -> PreparedNavigation | None:
    """The navigation file of the run with the period of its records, read once before the first
    observation file, so that a bad navigation file fails the run as a whole instead of every file."""
    if options.nav_file is None:
        return None
    navigation = quorlin_cn0.read_navigation(options.nav_file)
    return PreparedNavigation(options.nav_file, navigation_span(navigation))


@dataclass(frozen=True)
class NavigationSource:
    """The navigation data of a batch: one file for every observation file, or a folder whose files
    are paired with each observation file by their periods."""

    prepared: PreparedNavigation | None = None
    index: NavigationIndex | None = None


def analyze_paired(path: Path, options: MakesConfig, source: NavigationSource | None = None) -> FileAnalysis:
    """Analyse one observation file with the navigation data the source gives it."""
    if source is None or source.index is None:
        prepared = source.prepared if source else None
        analysis = analyze_file(path, options, prepared)
        return analysis if prepared is None else replace(analysis, navigation=prepared.path.name)
    pairing = source.index.pair_file(path)
    with navigation_path(pairing) as nav_path:
        navigation = None if nav_path is None else PreparedNavigation(nav_path, pairing.span)
        analysis = analyze_file(path, options, navigation)
    return replace(analysis, coverage=analysis.coverage or pairing.note, navigation=pairing.names or None)


def campaign_record(path: Path, options: MakesConfig, source: NavigationSource | None = None) -> FileRecord:
    """The campaign rows of one observation file; a file that cannot be read or analysed gives a
    row with its error."""
    try:
        analysis = analyze_paired(path, options, source)
    except (OSError, ValueError) as error:
        return failure_record(path, error_text(error))
    return result_record(path, analysis.result, analysis.navigation, analysis.coverage, analysis.epochs)
