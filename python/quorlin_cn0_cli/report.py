"""The readable report of one analysis result."""

from __future__ import annotations

from collections import Counter

import quorlin_cn0

SEVERITY_RANK = {"critical": 0, "high": 1, "low": 2}
SHOWN_ANOMALIES = 5
# Constellation entries appear under the names of the observed systems; NavIC samples are
# kept under "Unknown" besides the raw "IRNSS" entry.
EXTRA_CONSTELLATIONS = ("Unknown",)
TABLE_COLUMNS = (
    ("Constellation", "system", "<13"),
    ("Sats", "satellite_count", ">4"),
    ("Exp", "satellites_expected", ">4"),
    ("Avail", "availability_ratio", ">6"),
    ("Values", "observation_count", ">8"),
    ("Mean", "mean_cn0", ">5"),
    ("Min", "min_cn0", ">5"),
    ("Max", "max_cn0", ">5"),
    ("Std", "std_cn0", ">6"),
    ("Slips", "cycle_slips", ">6"),
    ("Gaps", "data_gaps", ">6"),
)


def constellation_rows(result: quorlin_cn0.AnalysisResult) -> list[dict[str, str]]:
    """The per-constellation summaries of the result, in the order of the observed systems."""
    names = list(dict.fromkeys(result.constellations + list(EXTRA_CONSTELLATIONS)))
    summaries = (result.get_constellation_summary(name) for name in names)
    return [summary for summary in summaries if summary is not None]


def most_severe(anomalies: list[dict[str, str]], count: int = SHOWN_ANOMALIES) -> list[dict[str, str]]:
    """The `count` worst anomalies: by severity, then by the larger C/N0 drop, then by time."""

    def badness(anomaly: dict[str, str]):
        return (SEVERITY_RANK.get(anomaly["severity"], len(SEVERITY_RANK)), -float(anomaly["cn0_drop"]),
                anomaly["start_time"])

    return sorted(anomalies, key=badness)[:count]


def _file_section(result: quorlin_cn0.AnalysisResult, source: str) -> list[str]:
    interval = f"{result.interval:g} s" if result.interval > 0 else "not in header"
    antenna = f" (antenna {result.antenna_type})" if result.antenna_type else ""
    return [
        f"File:           {source}",
        f"Marker:         {result.station_name or '-'}",
        f"Receiver:       {result.receiver_type or '-'}{antenna}",
        f"Period:         {result.start_time or '-'} to {result.end_time or '-'} ({result.duration_hours:.2f} h)",
        f"Epochs:         {result.total_epochs}, interval {interval}",
        f"C/N0 values:    {result.total_observations} from {result.total_satellites} satellites",
        f"Mean C/N0:      {result.mean_cn0:.1f} dB-Hz (min {result.min_cn0:.1f}, max {result.max_cn0:.1f})",
    ]


def _quality_section(result: quorlin_cn0.AnalysisResult) -> list[str]:
    score = result.quality_score
    suitable = "suitable" if score.post_processing_suitable else "not suitable"
    return [
        f"Quality score:  {score.overall:.1f} / 100, {score.rating} ({suitable} for post-processing)",
        f"  C/N0 {score.cn0_quality:.1f}, availability {score.availability:.1f}, continuity "
        f"{score.continuity:.1f}, stability {score.stability:.1f}, diversity {score.diversity:.1f}",
        f"Interpretation: {result.summary}",
    ]


def _constellation_section(result: quorlin_cn0.AnalysisResult) -> list[str]:
    rows = constellation_rows(result)
    if not rows:
        return ["No constellation statistics."]
    header = " ".join(f"{title:{align}}" for title, _, align in TABLE_COLUMNS)
    lines = [header]
    for row in rows:
        lines.append(" ".join(f"{row[key]:{align}}" for _, key, align in TABLE_COLUMNS))
    lines.append("C/N0 in dB-Hz; Exp = satellites expected, Avail = seen / expected.")
    return lines


def _anomaly_section(result: quorlin_cn0.AnalysisResult) -> list[str]:
    anomalies = result.get_anomalies()
    if not anomalies:
        return ["C/N0 anomalies: none"]
    counts = Counter(anomaly["severity"] for anomaly in anomalies)
    by_severity = ", ".join(f"{counts[name]} {name}" for name in SEVERITY_RANK if counts[name])
    lines = [f"C/N0 anomalies: {len(anomalies)} ({by_severity}); most severe:"]
    for anomaly in most_severe(anomalies):
        lines.append(f"  {anomaly['start_time']}  {anomaly['severity']:<8}  {anomaly['description']}  "
                     f"[{anomaly['affected_satellites']}]")
    return lines


def _visibility_section(result: quorlin_cn0.AnalysisResult) -> list[str]:
    if not result.has_visibility_prediction:
        return []
    missing = ", ".join(result.get_frequently_missing_satellites()) or "-"
    unexpected = ", ".join(result.get_frequently_unexpected_satellites()) or "-"
    lines = [
        f"Visibility ({result.visibility_prediction_source}): confirmation rate "
        f"{result.visibility_confirmation_rate:.1f} %",
        f"  per epoch: predicted {result.visibility_mean_predicted:.1f}, observed "
        f"{result.visibility_mean_observed:.1f}, missing {result.visibility_mean_missing:.1f}, "
        f"unexpected {result.visibility_mean_unexpected:.1f}",
        f"  frequently missing:    {missing}",
        f"  frequently unexpected: {unexpected}",
        f"  visibility anomalies:  {result.visibility_anomaly_count}",
    ]
    kinds = result.get_visibility_anomaly_types()
    texts = result.get_visibility_anomaly_descriptions()
    lines.extend(f"    {kind}: {text}" for kind, text in list(zip(kinds, texts))[:SHOWN_ANOMALIES])
    return lines


def _verdict_section(result: quorlin_cn0.AnalysisResult) -> list[str]:
    def verdict(detected: bool) -> str:
        return "DETECTED" if detected else "not detected"

    spoofing_note = "" if result.has_visibility_prediction else " (needs a visibility prediction)"
    return [
        "Verdicts:",
        f"  jamming:      {verdict(result.jamming_detected)}",
        f"  spoofing:     {verdict(result.spoofing_detected)}{spoofing_note}",
        f"  interference: {verdict(result.interference_detected)}",
    ]


def format_report(result: quorlin_cn0.AnalysisResult, source: str) -> str:
    """The whole report: file, quality, constellations, anomalies, visibility and verdicts."""
    sections = [
        _file_section(result, source),
        _quality_section(result),
        _constellation_section(result),
        _anomaly_section(result),
        _visibility_section(result),
        _verdict_section(result),
    ]
    return "\n\n".join("\n".join(lines) for lines in sections if lines)
