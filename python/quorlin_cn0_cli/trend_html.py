"""The trend of a campaign as one self-contained HTML page: per station a plot of the daily mean
C/N0 per system (inline SVG, no script, nothing fetched) and the table of the text report."""

from __future__ import annotations

import html
import statistics

from quorlin_cn0.report import STYLE as REPORT_STYLE
from quorlin_cn0_cli.systems import system_name
from quorlin_cn0_cli.trend import Station, station_text

WIDTH, HEIGHT, MARGIN = 720, 240, 40
COLOURS = ("#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2")
# The reports' page style, and the few rules of the trend's own plots.
STYLE = REPORT_STYLE + """pre{background:#fff;padding:1em;overflow-x:auto;border:1px solid #d0d4da;border-radius:8px}
svg{background:#fff}.axis{stroke:#888;stroke-width:1}svg text.label{font-size:11px;fill:#444}"""


def _scale(value: float, low: float, high: float, start: float, end: float) -> float:
    return start if high == low else start + (value - low) * (end - start) / (high - low)


def station_plot(station: Station) -> str:
    """Daily mean C/N0 per system against the day, one line per system."""
    days = list(station.days.values())
    series = {letter: [(i, day.mean_cn0(letter)) for i, day in enumerate(days)] for letter in station.systems()}
    values = [v for points in series.values() for _, v in points if v is not None]
    if not values:
        return "<p>No C/N0 values.</p>"
    low, high = min(values) - 1.0, max(values) + 1.0
    parts = [f'<svg width="{WIDTH}" height="{HEIGHT}" viewBox="0 0 {WIDTH} {HEIGHT}" role="img" '
             f'aria-label="daily mean C/N0 of {html.escape(station.name)}">',
             f'<line class="axis" x1="{MARGIN}" y1="{HEIGHT - MARGIN}" x2="{WIDTH - 10}" y2="{HEIGHT - MARGIN}"/>',
             f'<line class="axis" x1="{MARGIN}" y1="10" x2="{MARGIN}" y2="{HEIGHT - MARGIN}"/>',
             f'<text class="label" x="4" y="14">{high:.0f}</text>',
             f'<text class="label" x="4" y="{HEIGHT - MARGIN}">{low:.0f}</text>',
             f'<text class="label" x="{MARGIN}" y="{HEIGHT - 22}">{html.escape(days[0].date)}</text>',
             f'<text class="label" x="{WIDTH - 80}" y="{HEIGHT - 22}">{html.escape(days[-1].date)}</text>']
    for number, (letter, points) in enumerate(series.items()):
        colour = COLOURS[number % len(COLOURS)]
        xy = [(_scale(i, 0, max(1, len(days) - 1), MARGIN, WIDTH - 10), _scale(v, low, high, HEIGHT - MARGIN, 10))
              for i, v in points if v is not None]
        path = " ".join(f"{x:.1f},{y:.1f}" for x, y in xy)
        parts.append(f'<polyline fill="none" stroke="{colour}" stroke-width="1.5" points="{path}"/>')
        parts += [f'<circle cx="{x:.1f}" cy="{y:.1f}" r="2" fill="{colour}"/>' for x, y in xy]
        parts.append(f'<text class="label" x="{MARGIN + 10 + 80 * number}" y="{HEIGHT - 6}" fill="{colour}">'
                     f'{html.escape(system_name(letter))}</text>')
    parts.append("</svg>")
    return "".join(parts)


def trend_page(stations: list[Station]) -> str:
    sections = []
    for station in stations:
        qualities = [q for day in station.days.values() for q in day.quality]
        quality = f", mean quality {statistics.fmean(qualities):.1f}" if qualities else ""
        sections.append(f"<h2>{html.escape(station.name)}</h2><p>{len(station.days)} days{quality}</p>"
                        f'<div class="card">{station_plot(station)}</div><pre>{html.escape(station_text(station))}</pre>')
    body = "".join(sections) or "<p>The table holds no files.</p>"
    return (f'<!DOCTYPE html><html lang="en"><head><meta charset="utf-8"><title>C/N0 trend</title>'
            f"<style>{STYLE}</style></head><body><main><h1>C/N0 trend per station</h1>{body}</main></body></html>\n")
