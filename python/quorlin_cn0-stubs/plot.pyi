"""Plots of an analysis result with matplotlib; each returns the Axes it drew on."""

from collections.abc import Callable, Iterable
from typing import Any

from quorlin_cn0 import AnalysisResult

MAX_POINTS: int
SYSTEM_COLOURS: dict[str, str]
PLOTS: dict[str, Callable[..., Any]]

def skyplot(result: AnalysisResult, ax: Any = None, max_points: int = 20000) -> Any: ...
def heatmap(result: AnalysisResult, ax: Any = None, azimuth_step: float = 10.0,
            elevation_step: float = 5.0) -> Any: ...
def cn0_timeseries(result: AnalysisResult, satellites: Iterable[str] | None = None,
                   signals: Iterable[str] | None = None, ax: Any = None, max_points: int = 2000) -> Any: ...
def cn0_vs_elevation(result: AnalysisResult, ax: Any = None, max_points: int = 20000,
                     bin_width: float = 5.0) -> Any: ...
def visibility(result: AnalysisResult, ax: Any = None) -> Any: ...
