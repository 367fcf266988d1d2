"""A self-contained HTML report of an analysis result: file information, the quality headline, a
timeline of the events, the plots (inline PNG images, when matplotlib is installed), the table per
constellation and the visibility anomalies. Nothing in it needs the network. With several files,
one report per file and an index page linking them.
"""
from __future__ import annotations

import base64
import html
import io
import math
from pathlib import Path
from typing import Any, Iterable

from quorlin_cn0.frames import episodes

PLOT_SIZE = (5.6, 3.8)  # inches, at PLOT_DPI: two plots side by side
PLOT_DPI = 100
STYLE = """
body{font-family:system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;margin:0;background:#f4f5f7;color:#1d2329}
main{max-width:1200px;margin:0 auto;padding:16px 24px 48px}
h1{font-size:1.5em;margin:8px 0 4px}h2{font-size:1.15em;margin:28px 0 8px;border-bottom:1px solid #d0d4da}
.card{background:#fff;border:1px solid #d0d4da;border-radius:8px;padding:12px 16px;margin:8px 0}
.headline{display:flex;gap:24px;align-items:center;flex-wrap:wrap}
.score{font-size:2.6em;font-weight:700}.grade{font-size:1.6em;font-weight:700;padding:2px 12px;border-radius:6px}
.grade-A,.grade-B{background:#d6f0d9}.grade-C{background:#fdf2c4}.grade-D,.grade-F{background:#f8d3d0}
.grade-N{background:#e5e7ea}
table{border-collapse:collapse;font-size:.92em}td,th{padding:3px 10px;border-bottom:1px solid #e3e6ea;
text-align:right}th{background:#eef0f3}td:first-child,th:first-child{text-align:left}
.facts td{text-align:left}.facts td:first-child{color:#555;padding-right:18px}
.verdict-yes{color:#b3261e;font-weight:700}.verdict-no{color:#1e7b34}
.plots{display:flex;flex-wrap:wrap;gap:12px}.plots figure{margin:0;background:#fff;border:1px solid #d0d4da;
border-radius:8px;padding:6px}.plots img{display:block;max-width:100%;height:auto}
.muted{color:#666}svg text{font-size:11px;fill:#333}
"""
# The card's own rules, all under .quorlin-summary, so that a notebook's page keeps its style.
CARD_STYLE = """
.quorlin-summary{font-family:system-ui,sans-serif;background:#fff;border:1px solid #d0d4da;border-radius:8px;
padding:12px 16px;max-width:760px;color:#1d2329}
.quorlin-summary .headline{display:flex;gap:24px;align-items:center;flex-wrap:wrap}
.quorlin-summary .score{font-size:2.6em;font-weight:700}
.quorlin-summary .grade{font-size:1.6em;font-weight:700;padding:2px 12px;border-radius:6px}
.quorlin-summary .grade-A,.quorlin-summary .grade-B{background:#d6f0d9}.quorlin-summary .grade-C{background:#fdf2c4}
.quorlin-summary .grade-D,.quorlin-summary .grade-F{background:#f8d3d0}.quorlin-summary .grade-N{background:#e5e7ea}
.quorlin-summary table{border-collapse:collapse}.quorlin-summary td{padding:2px 10px;text-align:left;
border-bottom:1px solid #e3e6ea}.quorlin-summary .muted{color:#666}
.quorlin-summary .verdict-yes{color:#b3261e;font-weight:700}.quorlin-summary .verdict-no{color:#1e7b34}
"""


def _e(value: Any) -> str:
    return html.escape(str(value), quote=True)


def _number(value: float, decimals: int = 1) -> str:
    return "–" if value is None or (isinstance(value, float) and math.isnan(value)) else f"{value:.{decimals}f}"


def _facts(rows: Iterable[tuple[str, str, str]]) -> str:
    """A table of label, value pairs; each value cell names its figure for readers and tests."""
    cells = "".join(f'<tr><td>{_e(label)}</td><td data-figure="{_e(key)}">{_e(value)}</td></tr>'
                    for key, label, value in rows)
    return f'<table class="facts">{cells}</table>'


def _verdict(name: str, value: bool) -> str:
    return (f'<span data-figure="{name}" class="verdict-{"yes" if value else "no"}">'
            f'{"yes" if value else "no"}</span>')


def summary_card(result: Any, name: str = "", style: bool = True) -> str:
    """The result's summary as an HTML fragment: the notebook view of an AnalysisResult (with its
    own style sheet unless style is false, as inside the report)."""
    quality = result.get_quality_assessment()
    grade = quality["grade"]
    station = result.station_name or ""
    title = _e(name or station or "C/N0 analysis")
    sheet = f"<style>{CARD_STYLE}</style>" if style else ""
    assessment = _assessment_of(result)
    return f"""{sheet}<div class="card quorlin-summary">
<div class="headline"><div><div class="score" data-figure="overall">{_number(quality["overall"])}</div>
<div class="muted">quality score</div></div>
<div class="grade grade-{_e(grade[:1])}" data-figure="grade">{_e(grade)}</div>
<div><strong>{title}</strong><br><span data-figure="interpretation">{_e(quality["interpretation"])}</span></div></div>
{_facts([
        ("station", "station", station or "–"),
        ("period", "period", f"{result.start_time} – {result.end_time}" if result.start_time else "–"),
        ("total_epochs", "epochs", str(result.total_epochs)),
        ("total_satellites", "satellites", str(result.total_satellites)),
        ("total_observations", "C/N0 samples", str(result.total_observations)),
        ("mean_cn0", "mean C/N0 (dB-Hz)", _number(result.mean_cn0)),
        ("anomaly_count", "C/N0 anomalies", str(result.anomaly_count)),
        ("visibility_anomaly_count", "visibility anomalies", str(result.visibility_anomaly_count)),
    ])}
{_assessment_line(assessment)}
<p{' class="muted"' if assessment is not None else ""}>drop-event verdicts: jamming {_verdict("jamming_detected", result.jamming_detected)} ·
spoofing {_verdict("spoofing_detected", result.spoofing_detected)} ·
interference {_verdict("interference_detected", result.interference_detected)}</p>
</div>"""


def _assessment_of(result: Any) -> Any:
    get = getattr(result, "get_assessment", None)
    return get() if get is not None else None


def _assessment_line(assessment: Any) -> str:
    """The assessment's verdicts and the share of the file it found degraded, which lead the card."""
    if assessment is None:
        return ""
    verdicts = " · ".join(f'{kind} {_verdict(f"assessment_{kind}", assessment[f"{kind}_detected"])}'
                          for kind in ("jamming", "interference", "obstruction", "spoofing"))
    count = sum(1 for e in assessment["episodes"] if e["kind"] != "outage")
    share = _number(100.0 * assessment["degraded_share"])
    return (f'<p><strong>assessment:</strong> {verdicts} · degraded <span data-figure="degraded_share">{share}</span> % '
            f'of the file in <span data-figure="episode_count">{count}</span> episode{"" if count == 1 else "s"}</p>')


def _png(draw: Any, result: Any, polar: bool = False) -> str:
    """The plot drawn by draw(result, ax) as an inline PNG image."""
    from matplotlib.figure import Figure

    figure = Figure(figsize=PLOT_SIZE, dpi=PLOT_DPI, layout="constrained")
    ax = figure.add_subplot(projection="polar" if polar else None)
    draw(result, ax=ax)
    buffer = io.BytesIO()
    figure.savefig(buffer, format="png", dpi=PLOT_DPI)
    width, height = (round(x * PLOT_DPI) for x in PLOT_SIZE)
    data = base64.b64encode(buffer.getvalue()).decode("ascii")
    return f'<img width="{width}" height="{height}" alt="{_e(draw.__name__)}" src="data:image/png;base64,{data}">'


def _plots_section(result: Any) -> str:
    try:
        from quorlin_cn0 import plot
    except ImportError as error:
        return f'<p class="muted">No plots: {_e(error)}</p>'
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        return '<p class="muted">No plots: matplotlib is not installed (pip install quorlin_cn0[plot]).</p>'
    figures = []
    with plot._sharing_samples(result):
        for key, draw in plot.PLOTS.items():
            figures.append(f'<figure data-plot="{key}">{_png(draw, result, polar=key == "skyplot")}</figure>')
    return f'<div class="plots">{"".join(figures)}</div>'


def _seconds(text: str) -> float:
    """Seconds since 1970 of a timestamp text such as 2020-06-25T00:00:30.000Z."""
    from datetime import datetime, timezone

    return datetime.fromisoformat(text.rstrip("Z")).replace(tzinfo=timezone.utc).timestamp()


def timeline(result: Any, width: int = 1100) -> str:
    """An inline SVG of the observation period with the assessment's episodes, the visibility
    anomalies and the C/N0 anomaly events in three lanes."""
    if not result.start_time:
        return '<p class="muted">No epochs.</p>'
    start, end = _seconds(result.start_time), _seconds(result.end_time)
    span = max(end - start, 1.0)
    left, right = 150, width - 10

    def x(seconds: float) -> float:
        return left + (right - left) * min(max((seconds - start) / span, 0.0), 1.0)

    lanes = [("episodes", "assessment episodes", "#d62728"), ("visibility", "visibility anomalies", "#9467bd"),
             ("anomalies", "C/N0 drop events", "#ff7f0e")]
    parts = []
    for lane, (key, label, _) in enumerate(lanes):
        y = 14 + lane * 26
        parts.append(f'<text x="4" y="{y + 13}">{_e(label)}</text>'
                     f'<rect x="{left}" y="{y}" width="{right - left}" height="18" fill="#eef0f3"/>')
    marks = []
    for episode in episodes(result):
        if "start_time" in episode and "end_time" in episode:
            a, b = x(_seconds(str(episode["start_time"]))), x(_seconds(str(episode["end_time"])))
            marks.append((0, a, max(b - a, 2.0), f'{episode.get("kind", "episode")} {episode["start_time"]} to '
                          f'{episode["end_time"]}: {episode.get("description", "")}'))
    for anomaly in result.get_visibility_anomalies():
        a, b = x(_seconds(anomaly["start_time"])), x(_seconds(anomaly["end_time"]))
        marks.append((1, a, max(b - a, 2.0), anomaly["description"]))
    for anomaly in result.get_anomalies():
        marks.append((2, x(_seconds(anomaly["start_time"])) - 1, 2.0,
                      f'{anomaly["severity"]} {anomaly["start_time"]}: {anomaly["description"]}'))
    for lane, a, w, title in marks:
        y = 14 + lane * 26
        parts.append(f'<rect x="{a:.1f}" y="{y}" width="{w:.1f}" height="18" fill="{lanes[lane][2]}" '
                     f'data-lane="{lanes[lane][0]}"><title>{_e(title)}</title></rect>')
    height = 14 + len(lanes) * 26 + 16
    parts.append(f'<text x="{left}" y="{height - 2}">{_e(result.start_time)}</text>'
                 f'<text x="{right}" y="{height - 2}" text-anchor="end">{_e(result.end_time)}</text>')
    return (f'<svg class="timeline" width="{width}" height="{height}" viewBox="0 0 {width} {height}" '
            f'xmlns="http://www.w3.org/2000/svg">{"".join(parts)}</svg>')


def _constellation_table(result: Any) -> str:
    head = ("constellation", "satellites", "expected", "samples", "mean", "min", "max", "std", "cycle slips",
            "data gaps")
    rows = []
    for system in result.get_systems():
        s = result.get_constellation_summary(system)
        if s is None:
            continue
        cells = [s["system"], s["satellite_count"], s["satellites_expected"], s["observation_count"], s["mean_cn0"],
                 s["min_cn0"], s["max_cn0"], s["std_cn0"], s["cycle_slips"], s["data_gaps"]]
        rows.append(f'<tr data-system="{_e(system)}">' + "".join(f"<td>{_e(c)}</td>" for c in cells) + "</tr>")
    header = "".join(f"<th>{h}</th>" for h in head)
    return f'<table class="constellations"><tr>{header}</tr>{"".join(rows)}</table>'


def _rows_table(rows: list[dict], keys: list[tuple[str, str]], css: str, limit: int = 50) -> str:
    if not rows:
        return '<p class="muted">None.</p>'
    header = "".join(f"<th>{_e(label)}</th>" for _, label in keys)
    body = []
    for row in rows[:limit]:
        cells = []
        for key, _ in keys:
            value = row.get(key, "")
            if isinstance(value, list):
                value = ", ".join(map(str, value))
            elif isinstance(value, float):
                value = _number(value, 1)
            cells.append(f"<td>{_e(value)}</td>")
        body.append("<tr>" + "".join(cells) + "</tr>")
    more = f'<p class="muted">and {len(rows) - limit} more.</p>' if len(rows) > limit else ""
    return f'<table class="{css}"><tr>{header}</tr>{"".join(body)}</table>{more}'


def _visibility_section(result: Any) -> str:
    if not result.has_visibility_prediction:
        return '<p class="muted">No visibility prediction (no navigation data, or none for this period).</p>'
    facts = _facts([
        ("visibility_confirmation_rate", "confirmation rate (%)", _number(result.visibility_confirmation_rate)),
        ("visibility_mean_predicted", "predicted per epoch", _number(result.visibility_mean_predicted)),
        ("visibility_mean_observed", "received per epoch", _number(result.visibility_mean_observed)),
        ("visibility_mean_missing", "missing per epoch", _number(result.visibility_mean_missing)),
        ("visibility_mean_unexpected", "unexpected per epoch", _number(result.visibility_mean_unexpected)),
    ])
    anomalies = _rows_table(result.get_visibility_anomalies(),
                            [("start_time", "start"), ("end_time", "end"), ("duration_seconds", "seconds"),
                             ("anomaly_type", "type"), ("severity", "severity"),
                             ("affected_satellites", "satellites")], "visibility-anomalies")
    return facts + "<h3>Visibility anomalies</h3>" + anomalies


# The episode table's columns: the satellites are counted (a jamming episode can touch every
# satellite of the sky), the lists stay in the JSON and in the timeline's tooltips.
EPISODE_COLUMNS = [("kind", "kind"), ("severity", "severity"), ("start_time", "start"), ("end_time", "end"),
                   ("minutes", "minutes"), ("bands", "bands"), ("systems", "systems"),
                   ("affected", "satellites affected"), ("lost", "lost"), ("median_drop_db", "median drop (dB)"),
                   ("max_drop_db", "largest drop (dB)")]


def _episode_row(episode: dict) -> dict:
    row = dict(episode)
    row["minutes"] = float(episode.get("duration_seconds", 0.0)) / 60.0
    row["affected"] = str(len(episode.get("affected_satellites", [])))
    row["lost"] = str(len(episode.get("lost_satellites", [])))
    for key in ("median_drop_db", "max_drop_db"):
        if row.get(key) is None:
            row[key] = "–"
    return row


def _episodes_section(result: Any) -> str:
    if not hasattr(result, "get_assessment"):
        return ""
    rows = [_episode_row(e) for e in episodes(result)]
    return "<h2>Interference assessment</h2>" + _rows_table(rows, EPISODE_COLUMNS, "episodes")


def report_html(result: Any, name: str = "", plots: bool = True) -> str:
    """The whole report page of one result."""
    quality = result.get_quality_assessment()
    anomalies = sorted(result.get_anomalies(), key=lambda a: (-float(a["cn0_drop"]), a["start_time"]))
    for anomaly in anomalies:
        anomaly["cn0_drop"] = float(anomaly["cn0_drop"])
    info = _facts([
        ("filename", "file", name or "–"),
        ("station", "marker", result.station_name or "–"),
        ("receiver_type", "receiver", result.receiver_type or "–"),
        ("antenna_type", "antenna", result.antenna_type or "–"),
        ("start_time", "first epoch", result.start_time or "–"),
        ("end_time", "last epoch", result.end_time or "–"),
        ("duration_hours", "hours", _number(result.duration_hours, 2)),
        ("interval", "interval (s)", _number(result.interval, 1)),
        ("position", "position (lat, lon)", f"{result.position_lat:.5f}, {result.position_lon:.5f}"),
    ])
    scores = _facts([(k, k.replace("_", " "), _number(quality[k])) for k in
                     ("cn0_score", "coverage_score", "consistency_score")])
    title = _e(name or result.station_name or "C/N0 analysis")
    return f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>C/N0 report: {title}</title>
<meta name="viewport" content="width=device-width, initial-scale=1"><style>{STYLE}</style></head>
<body><main>
<h1>C/N0 report: {title}</h1>
{summary_card(result, name, style=False)}
<h2>File</h2><div class="card">{info}</div>
<h2>Quality</h2><div class="card">{scores}</div>
{_episodes_section(result)}
<h2>Timeline</h2><div class="card">{timeline(result)}</div>
<h2>Plots</h2>{_plots_section(result) if plots else '<p class="muted">Plots left out.</p>'}
<h2>Constellations</h2><div class="card">{_constellation_table(result)}</div>
<h2>C/N0 anomalies</h2><div class="card">{_rows_table(anomalies, [("start_time", "time"), ("severity", "severity"),
        ("cn0_drop", "drop (dB)"), ("affected_satellites", "satellites"), ("description", "description")],
        "anomalies", limit=20)}</div>
<h2>Visibility</h2><div class="card">{_visibility_section(result)}</div>
</main></body></html>
"""


def index_html(entries: list[tuple[str, str, Any]]) -> str:
    """The index page: one row per report (its file name, its link, its result)."""
    rows = []
    for name, link, result in entries:
        q = result.get_quality_assessment()
        rows.append(f'<tr><td><a href="{_e(link)}">{_e(name)}</a></td><td>{_e(result.station_name or "")}</td>'
                    f'<td>{_e(result.start_time)}</td><td>{_number(q["overall"])}</td><td>{_e(q["grade"])}</td>'
                    f'<td>{_number(result.mean_cn0)}</td><td>{result.anomaly_count}</td></tr>')
    header = "".join(f"<th>{h}</th>" for h in ("file", "marker", "first epoch", "score", "grade", "mean C/N0",
                                               "anomalies"))
    return f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>C/N0 reports</title><style>{STYLE}</style></head>
<body><main><h1>C/N0 reports</h1><div class="card"><table class="index"><tr>{header}</tr>{"".join(rows)}</table>
</div></main></body></html>
"""


def write_report(result: Any, path: str | Path, name: str = "", plots: bool = True) -> Path:
    """Writes the report of one result to path."""
    target = Path(path)
    target.write_text(report_html(result, name, plots), encoding="utf-8")
    return target
