"""The readable report of one analysis result."""

from __future__ import annotations

from collections import Counter

import quorlin_cn0

from quorlin_cn0_cli.analysis import FileAnalysis

SEVERITY_RANK = {"critical": 0, "high": 1, "low": 2}
SHOWN_ANOMALIES = 5
SHOWN_EPISODES = 12
EXPECTATIONS = {"elevation": "an elevation model learnt from the file (navigation data)",
                "baseline": "each signal's own running baseline (no navigation data)"}
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


def _values_lines(analysis: FileAnalysis) -> list[str]:
    result = analysis.result
    if analysis.epochs is None:
        return [
            f"Epochs:         {result.total_epochs}",
            f"C/N0 values:    {result.total_observations} from {result.total_satellites} satellites",
            f"Mean C/N0:      {result.mean_cn0:.1f} dB-Hz (min {result.min_cn0:.1f}, max {result.max_cn0:.1f})",
        ]
    if not analysis.records_cn0:
        why = "no C/N0 observations (the file declares no S observation code)"
    else:
        why = "none accepted (every value is 0, outside the C/N0 range, of other systems or below the mask)"
    return [f"Epochs:         {analysis.epochs}", f"C/N0 values:    {why}"]


def _file_section(analysis: FileAnalysis, source: str) -> list[str]:
    result = analysis.result
    interval = f"interval {result.interval:g} s" if result.interval > 0 else "interval not in header"
    antenna = f" (antenna {result.antenna_type})" if result.antenna_type else ""
    lines = [
        f"File:           {source}",
        f"Marker:         {result.station_name or '-'}",
        f"Receiver:       {result.receiver_type or '-'}{antenna}",
        f"Period:         {result.start_time or '-'} to {result.end_time or '-'} ({result.duration_hours:.2f} h), "
        f"{interval}",
    ]
    return lines + _values_lines(analysis)


def duration_text(seconds: float) -> str:
    if seconds < 120:
        return f"{seconds:.0f} s"
    if seconds < 7200:
        return f"{seconds / 60:.0f} min"
    return f"{seconds / 3600:.1f} h"


def episode_line(episode: dict) -> str:
    """One episode: times, length, kind, severity, bands, the fall and the satellites."""
    end = episode["end_time"][11:19] if episode["end_time"][:10] == episode["start_time"][:10] else episode["end_time"]
    if episode["kind"] == "outage":
        what = "no epochs recorded"
    elif episode["kind"] == "spoofing":
        what = episode["description"]
    else:
        drop = episode["median_drop_db"]
        fall = "no signal received" if drop is None else (
            f"{drop:.1f} dB-Hz below expectation (largest {episode['max_drop_db']:.1f})")
        what = (f"{fall}; {len(episode['affected_satellites'])} satellites affected, "
                f"{len(episode['lost_satellites'])} lost")
        if episode["lost_satellites"]:
            what += f" ({', '.join(episode['lost_satellites'])})"
    return (f"  {episode['start_time']} to {end}  {duration_text(episode['duration_seconds']):>7}  "
            f"{episode['kind']:<12} {episode['severity']:<8} {'+'.join(episode['bands']) or '-':<11} {what}")


def _assessment_section(result: quorlin_cn0.AnalysisResult) -> list[str]:
    assessment = result.get_assessment()
    if assessment is None:
        return ["Assessment:     nothing to assess (no epochs, or no C/N0 of the analysed systems)"]

    def verdict(name: str) -> str:
        return f"{name} {'DETECTED' if assessment[name + '_detected'] else 'not detected'}"

    count = len(assessment["episodes"])
    lines = [
        "Assessment:     " + ", ".join(verdict(n) for n in ("jamming", "interference", "spoofing", "obstruction")),
        f"  {count} episode{'' if count == 1 else 's'}; degraded {100 * assessment['degraded_share']:.1f} % of the file"
        f", outages {duration_text(assessment['outage_seconds'])}; bands {', '.join(assessment['bands'])}; "
        f"expectation from {EXPECTATIONS[assessment['expectation']]}",
    ]
    indicators = [name.replace("_", " ") for name, shown in assessment["spoofing_indicators"].items() if shown]
    if indicators:
        lines.append(f"  spoofing indicators: {', '.join(indicators)}")
    episodes = assessment["episodes"]
    lines += [episode_line(e) for e in episodes[:SHOWN_EPISODES]]
    if len(episodes) > SHOWN_EPISODES:
        lines.append(f"  ... and {len(episodes) - SHOWN_EPISODES} more")
    return lines


def _quality_section(result: quorlin_cn0.AnalysisResult) -> list[str]:
    assessment = result.get_quality_assessment()
    if assessment["grade"] == "N/A":
        return [f"Quality:        N/A ({assessment['interpretation']})"]
    score = result.quality_score
    return [
        f"Quality:        {assessment['overall']:.1f} / 100, grade {assessment['grade']}: "
        f"{assessment['interpretation']}",
        f"  C/N0 {assessment['cn0_score']:.1f}, sky coverage {assessment['coverage_score']:.1f}, consistency "
        f"{assessment['consistency_score']:.1f}; availability {score.availability:.1f}, continuity "
        f"{score.continuity:.1f}, stability {score.stability:.1f}, diversity {score.diversity:.1f}",
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


def _visibility_section(analysis: FileAnalysis) -> list[str]:
    result = analysis.result
    lines = [analysis.coverage] if analysis.coverage else []
    if not result.has_visibility_prediction:
        return lines
    missing = ", ".join(result.get_frequently_missing_satellites()) or "-"
    unexpected = ", ".join(result.get_frequently_unexpected_satellites()) or "-"
    lines += [
        f"Visibility ({result.visibility_prediction_source}): confirmation rate "
        f"{result.visibility_confirmation_rate:.1f} %",
        f"  per epoch: predicted {result.visibility_mean_predicted:.1f}, observed "
        f"{result.visibility_mean_observed:.1f}, missing {result.visibility_mean_missing:.1f}, "
        f"unexpected {result.visibility_mean_unexpected:.1f}",
        f"  frequently missing:    {missing}",
        f"  frequently unexpected: {unexpected}",
        f"  visibility anomalies:  {result.visibility_anomaly_count}",
    ]
    for anomaly in result.get_visibility_anomalies()[:SHOWN_ANOMALIES]:
        lines.append(f"    {anomaly['start_time']} to {anomaly['end_time']}  {anomaly['severity']:<8}  "
                     f"{anomaly['description']}")
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


def format_report(analysis: FileAnalysis, source: str) -> str:
    """The whole report: file, the assessment, quality, constellations, anomalies, visibility and
    the verdicts of the anomaly counts."""
    result = analysis.result
    sections = [
        _file_section(analysis, source),
        _assessment_section(result),
        _quality_section(result),
        _constellation_section(result),
        _anomaly_section(result),
        _visibility_section(analysis),
        _verdict_section(result),
    ]
    return "\n\n".join("\n".join(lines) for lines in sections if lines)
