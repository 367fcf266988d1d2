"""Plots of an analysis result with matplotlib: sky plot, sky heatmap, C/N0 over time, C/N0 against
elevation and predicted against received satellites. Each function draws on the given Axes (or a
new figure's) and returns it, so that it can be restyled. Needs ``pip install quorlin_cn0[plot]``.

Display only is thinned: scatter plots draw at most ``max_points`` samples and time series at
most ``max_points`` points per line (the lowest value of each span kept, so drops stay visible);
every statistic is computed from all samples.
"""
from __future__ import annotations

import contextlib
from typing import Any, Iterable, Iterator

from quorlin_cn0.frames import arrays, episodes, require

MAX_POINTS = 20000
SYSTEM_COLOURS = {"GPS": "#1f77b4", "GLONASS": "#d62728", "Galileo": "#2ca02c", "BeiDou": "#ff7f0e",
                  "QZSS": "#9467bd", "SBAS": "#8c564b", "Unknown": "#7f7f7f"}
CN0_RANGE = (20.0, 55.0)


def _modules() -> tuple[Any, Any]:
    np = require("numpy", "plot", "quorlin_cn0.plot")
    plt = require("matplotlib.pyplot", "plot", "quorlin_cn0.plot")
    return np, plt


def _axes(ax: Any, polar: bool = False) -> Any:
    if ax is not None:
        return ax
    _, plt = _modules()
    figure = plt.figure(figsize=(6.4, 4.8))
    return figure.add_subplot(projection="polar" if polar else None)


def _thin(np: Any, count: int, max_points: int) -> Any:
    """Evenly spread indices of at most max_points of count rows (all when fewer)."""
    if count <= max_points:
        return np.arange(count)
    return np.linspace(0, count - 1, max_points).astype(np.int64)


_shared: dict = {}  # the samples of the result being drawn by several plots in a row


@contextlib.contextmanager
def _sharing_samples(result: Any) -> Iterator[None]:
    """Lets the plots drawn inside share one copy of the result's sample columns."""
    columns = result.sample_columns()
    _shared["result"], _shared["samples"] = result, (columns, arrays(columns))
    try:
        yield
    finally:
        _shared.clear()


def _samples(result: Any) -> tuple[dict, dict]:
    if _shared.get("result") is result:
        return _shared["samples"]
    columns = result.sample_columns()
    return columns, arrays(columns)


def _with_angles(np: Any, data: dict) -> Any:
    return ~(np.isnan(data["elevation"]) | np.isnan(data["azimuth"]))


def _no_data(ax: Any, text: str) -> Any:
    ax.text(0.5, 0.5, text, transform=ax.transAxes, ha="center", va="center", color="#555555")
    return ax


def skyplot(result: Any, ax: Any = None, max_points: int = MAX_POINTS) -> Any:
    """Satellite tracks on a polar sky plot (north up, east right), coloured by C/N0."""
    np, _ = _modules()
    ax = _axes(ax, polar=True)
    ax.set_theta_zero_location("N")
    ax.set_theta_direction(-1)
    ax.set_rlim(0, 90)
    ax.set_rticks([0, 30, 60, 90])
    ax.set_yticklabels(["90°", "60°", "30°", "0°"])
    ax.set_rlabel_position(112.5)
    ax.set_title("Sky plot: C/N0 (dB-Hz)")
    _, data = _samples(result)
    keep = _with_angles(np, data)
    if not keep.any():
        return _no_data(ax, "no look angles\n(analyse with navigation data)")
    rows = np.flatnonzero(keep)
    rows = rows[_thin(np, len(rows), max_points)]
    points = ax.scatter(np.radians(data["azimuth"][rows]), 90.0 - data["elevation"][rows], c=data["cn0"][rows],
                        s=2, cmap="viridis", vmin=CN0_RANGE[0], vmax=CN0_RANGE[1], linewidths=0)
    ax.figure.colorbar(points, ax=ax, pad=0.1, label="C/N0 (dB-Hz)")
    return ax


def heatmap(result: Any, ax: Any = None, azimuth_step: float = 10.0, elevation_step: float = 5.0) -> Any:
    """Mean C/N0 in azimuth x elevation cells, from every sample with a look angle."""
    np, _ = _modules()
    ax = _axes(ax)
    ax.set_title("Mean C/N0 by azimuth and elevation (dB-Hz)")
    ax.set_xlabel("azimuth (°)")
    ax.set_ylabel("elevation (°)")
    _, data = _samples(result)
    keep = _with_angles(np, data)
    if not keep.any():
        return _no_data(ax, "no look angles\n(analyse with navigation data)")
    azimuth_edges = np.arange(0.0, 360.0 + azimuth_step, azimuth_step)
    elevation_edges = np.arange(0.0, 90.0 + elevation_step, elevation_step)
    columns, rows = len(azimuth_edges) - 1, len(elevation_edges) - 1
    column = np.clip((data["azimuth"][keep] // azimuth_step).astype(np.int64), 0, columns - 1)
    row = np.clip((data["elevation"][keep] // elevation_step).astype(np.int64), 0, rows - 1)
    cell = row * columns + column
    sums = np.bincount(cell, weights=data["cn0"][keep], minlength=rows * columns)
    counts = np.bincount(cell, minlength=rows * columns)
    with np.errstate(invalid="ignore", divide="ignore"):
        mean = np.where(counts > 0, sums / counts, np.nan).reshape(rows, columns)
    cells = ax.pcolormesh(azimuth_edges, elevation_edges, mean, cmap="viridis", vmin=CN0_RANGE[0],
                          vmax=CN0_RANGE[1], shading="flat")
    ax.figure.colorbar(cells, ax=ax, label="C/N0 (dB-Hz)")
    ax.set_xlim(0, 360)
    ax.set_ylim(0, 90)
    return ax


def _times(np: Any, texts: Iterable[str]) -> Any:
    return np.array([t.rstrip("Z") for t in texts], dtype="datetime64[ns]")


def _shade_events(ax: Any, result: Any) -> None:
    """C/N0 anomaly events as lines, visibility anomalies and assessment episodes as spans."""
    np, _ = _modules()
    for time, severity in zip(result.get_anomaly_timestamps(), result.get_anomaly_severities()):
        ax.axvline(_times(np, [time])[0], color="#d62728" if severity == "critical" else "#ff7f0e", lw=0.8,
                   alpha=0.7)
    for anomaly in result.get_visibility_anomalies():
        start, end = _times(np, [anomaly["start_time"], anomaly["end_time"]])
        ax.axvspan(start, max(end, start + np.timedelta64(30, "s")), color="#9467bd", alpha=0.15, lw=0)
    for episode in episodes(result):
        if "start_time" in episode and "end_time" in episode:
            start, end = _times(np, [episode["start_time"], episode["end_time"]])
            ax.axvspan(start, end, color="#d62728", alpha=0.2, lw=0)


def _thinned(np: Any, times: Any, values: Any, max_points: int) -> tuple[Any, Any]:
    """At most max_points points, keeping the lowest value of each span so that drops stay visible."""
    if len(values) <= max_points:
        return times, values
    step = -(-len(values) // max_points)
    cut = len(values) // step * step
    lows = values[:cut].reshape(-1, step).argmin(axis=1) + np.arange(0, cut, step)
    return times[lows], values[lows]


def _pieces(np: Any, times: Any, values: Any, gap: Any, max_points: int) -> list:
    """The (time, value) pieces of a line, cut where consecutive times lie more than `gap` apart
    (between passes), as arrays of points in matplotlib's date numbers."""
    mdates = require("matplotlib.dates", "plot", "quorlin_cn0.plot")
    step = max(1, -(-len(values) // max_points))
    times, values = _thinned(np, times, values, max_points)
    # Thinned points lie up to `step` epochs apart: only a longer gap cuts the line.
    breaks = np.flatnonzero(np.diff(times) > gap * step) + 1
    points = np.column_stack([mdates.date2num(times), values])
    return np.split(points, breaks)


def cn0_timeseries(result: Any, satellites: Iterable[str] | None = None, signals: Iterable[str] | None = None,
                   ax: Any = None, max_points: int = 2000) -> Any:
    """C/N0 against time per satellite and signal (coloured by constellation when there are many),
    with the epoch mean, the C/N0 anomaly events, the visibility anomalies and the assessment's
    episodes shaded."""
    np, _ = _modules()
    collections = require("matplotlib.collections", "plot", "quorlin_cn0.plot")
    ax = _axes(ax)
    columns, data = _samples(result)
    ax.set_title("C/N0 over time")
    ax.set_ylabel("C/N0 (dB-Hz)")
    if len(data["cn0"]) == 0:
        return _no_data(ax, "no C/N0 samples")
    wanted = np.ones(len(data["cn0"]), dtype=bool)
    satellite_labels, signal_labels = columns["satellite"].labels, columns["signal"].labels
    if satellites is not None:
        wanted &= np.isin(data["satellite"], [satellite_labels.index(s) for s in satellites if s in satellite_labels])
    if signals is not None:
        wanted &= np.isin(data["signal"], [signal_labels.index(s) for s in signals if s in signal_labels])
    key = data["satellite"].astype(np.int64) * len(signal_labels) + data["signal"]
    if len(satellite_labels) * len(signal_labels) <= 0xFFFF:
        key = key.astype(np.uint16)  # sorted by counting, in linear time
    rows = np.flatnonzero(wanted)
    rows = rows[np.argsort(key[rows], kind="stable")]
    groups = np.split(rows, np.flatnonzero(np.diff(key[rows])) + 1) if len(rows) else []
    interval = result.interval if result.interval > 0 else 30.0
    gap = np.timedelta64(int(interval * 3e9), "ns")
    many = len(groups) > 12
    by_system: dict = {}
    for group in groups:
        pieces = _pieces(np, data["time"][group], data["cn0"][group], gap, max_points)
        system = columns["system"].labels[data["system"][group[0]]]
        label = f"{satellite_labels[data['satellite'][group[0]]]} {signal_labels[data['signal'][group[0]]]}"
        if many:
            by_system.setdefault(system, []).extend(pieces)
        else:
            ax.add_collection(collections.LineCollection(pieces, lw=1.0, label=label,
                                                         color=f"C{len(ax.collections) % 10}"))
    for system, pieces in by_system.items():
        ax.add_collection(collections.LineCollection(pieces, lw=0.5, alpha=0.45, label=system,
                                                     color=SYSTEM_COLOURS.get(system, "#7f7f7f")))
    epochs = arrays(result.epoch_columns())
    ax.add_collection(collections.LineCollection(_pieces(np, epochs["time"], epochs["mean_cn0"], gap, max_points),
                                                 color="black", lw=1.2, label="epoch mean"))
    ax.autoscale_view()
    ax.xaxis_date()
    _shade_events(ax, result)
    ax.legend(fontsize="small", loc="lower left")
    ax.figure.autofmt_xdate()
    return ax


def cn0_vs_elevation(result: Any, ax: Any = None, max_points: int = MAX_POINTS, bin_width: float = 5.0) -> Any:
    """C/N0 against elevation per signal: a thinned scatter and each signal's median per elevation bin."""
    np, _ = _modules()
    ax = _axes(ax)
    ax.set_title("C/N0 against elevation")
    ax.set_xlabel("elevation (°)")
    ax.set_ylabel("C/N0 (dB-Hz)")
    columns, data = _samples(result)
    keep = _with_angles(np, data)
    if not keep.any():
        return _no_data(ax, "no look angles\n(analyse with navigation data)")
    rows = np.flatnonzero(keep)
    shown = rows[_thin(np, len(rows), max_points)]
    ax.scatter(data["elevation"][shown], data["cn0"][shown], s=1, color="#999999", alpha=0.4, linewidths=0)
    edges = np.arange(0.0, 90.0 + bin_width, bin_width)
    centres = (edges[:-1] + edges[1:]) / 2
    bins = len(centres)
    cell = np.clip((data["elevation"][rows] // bin_width).astype(np.int64), 0, bins - 1)
    key = data["signal"][rows].astype(np.int64) * bins + cell
    order = np.argsort(key.astype(np.uint16) if key.max() <= 0xFFFF else key, kind="stable")
    values, key = data["cn0"][rows][order], key[order]
    starts = np.flatnonzero(np.diff(key)) + 1
    medians = np.full((len(columns["signal"].labels), bins), np.nan)
    counts = np.zeros(len(columns["signal"].labels), dtype=np.int64)
    for group_key, group in zip(key[np.r_[0, starts]], np.split(values, starts)):
        medians[group_key // bins, group_key % bins] = np.median(group)
        counts[group_key // bins] += len(group)
    for code, signal in enumerate(columns["signal"].labels):
        if counts[code] >= 100:
            ax.plot(centres, medians[code], lw=1.2, label=signal)
    ax.set_xlim(0, 90)
    ax.legend(fontsize="small", ncol=2, loc="lower right")
    return ax


def visibility(result: Any, ax: Any = None) -> Any:
    """Predicted against received satellites per epoch, with the missing and the unexpected ones and
    the visibility anomalies shaded."""
    _, _ = _modules()
    ax = _axes(ax)
    ax.set_title("Predicted and received satellites")
    ax.set_ylabel("satellites")
    data = arrays(result.visibility_columns())
    if len(data["time"]) == 0:
        return _no_data(ax, "no visibility prediction\n(analyse with navigation data)")
    for name, colour in (("predicted", "#1f77b4"), ("observed", "#2ca02c"), ("missing", "#d62728"),
                         ("unexpected", "#9467bd")):
        label = "received (compared)" if name == "observed" else name
        ax.step(data["time"], data[name], where="post", lw=1.0, color=colour, label=label)
    _shade_events(ax, result)
    ax.legend(fontsize="small", loc="upper right")
    ax.set_ylim(bottom=0)
    ax.figure.autofmt_xdate()
    return ax


PLOTS = {"skyplot": skyplot, "heatmap": heatmap, "cn0_timeseries": cn0_timeseries,
         "cn0_vs_elevation": cn0_vs_elevation, "visibility": visibility}
