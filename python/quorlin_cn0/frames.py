"""Columns of results and observation records as numpy arrays, pandas DataFrames and xarray Datasets.

The columns come from the module through the buffer protocol, so numpy wraps them in place; pandas
and xarray are optional (``pip install quorlin_cn0[pandas]``, ``quorlin_cn0[xarray]``).
"""
from __future__ import annotations

import importlib
from typing import Any

TABLES = ("samples", "epochs", "visibility", "anomalies", "visibility_anomalies", "episodes")


def require(module: str, extra: str, purpose: str) -> Any:
    """The module, or an ImportError that names the extra to install."""
    try:
        return importlib.import_module(module)
    except ImportError as error:
        raise ImportError(f"{purpose} needs {module}: pip install quorlin_cn0[{extra}]") from error


def column_array(column: Any) -> Any:
    """A read-only numpy array over a Column, without copying it."""
    np = require("numpy", "numpy", "Reading columns as arrays")
    return np.frombuffer(column, dtype=column.dtype)


def arrays(columns: dict) -> dict:
    """name -> numpy array for every column of a dict of columns."""
    return {name: column_array(column) for name, column in columns.items()}


def _frame_columns(pd: Any, columns: dict) -> dict:
    """Code columns become categoricals of their labels; the others stay arrays."""
    out = {}
    for name, column in columns.items():
        values = column_array(column)
        if column.labels is not None:
            values = pd.Categorical.from_codes(values.astype("int32"), categories=column.labels)
        out[name] = values
    return out


def _frame(columns: dict, purpose: str) -> Any:
    pd = require("pandas", "pandas", purpose)
    return pd.DataFrame(_frame_columns(pd, columns))


def _times(pd: Any, texts: Any) -> Any:
    """Timestamp texts such as 2020-06-25T00:00:30.000Z as datetime64[ns], like the columns."""
    return pd.to_datetime(texts, format="ISO8601").dt.tz_localize(None).astype("datetime64[ns]")


def _anomalies_frame(result: Any) -> Any:
    pd = require("pandas", "pandas", "AnalysisResult.to_pandas()")
    rows = result.get_anomalies()
    frame = pd.DataFrame(rows, columns=["start_time", "severity", "anomaly_type", "description", "cn0_drop",
                                        "affected_satellites", "affected_systems"])
    frame = frame.rename(columns={"start_time": "time"})
    frame["time"] = _times(pd, frame["time"])
    frame["cn0_drop"] = result.get_anomaly_cn0_drops()
    for name in ("affected_satellites", "affected_systems"):
        frame[name] = [text.split(",") if text else [] for text in frame[name]]
    return frame


def _visibility_anomalies_frame(result: Any) -> Any:
    pd = require("pandas", "pandas", "AnalysisResult.to_pandas()")
    frame = pd.DataFrame(result.get_visibility_anomalies(),
                         columns=["start_time", "end_time", "duration_seconds", "anomaly_type", "severity",
                                  "affected_satellites", "affected_systems", "description"])
    for name in ("start_time", "end_time"):
        frame[name] = _times(pd, frame[name])
    return frame


def episodes(result: Any) -> list:
    """The episodes of the result's interference assessment, where the module makes one."""
    assessment = getattr(result, "get_assessment", None)
    if assessment is None:
        return []
    found = assessment()
    if isinstance(found, dict):
        return list(found.get("episodes", []))
    return list(getattr(found, "episodes", []))


def result_to_pandas(result: Any, table: str = "samples") -> Any:
    """A pandas DataFrame of one table of an analysis result."""
    if table == "samples":
        return _frame(result.sample_columns(), "AnalysisResult.to_pandas()")
    if table == "epochs":
        return _frame(result.epoch_columns(), "AnalysisResult.to_pandas()")
    if table == "visibility":
        return _frame(result.visibility_columns(), "AnalysisResult.to_pandas()")
    if table == "anomalies":
        return _anomalies_frame(result)
    if table == "visibility_anomalies":
        return _visibility_anomalies_frame(result)
    if table == "episodes":
        pd = require("pandas", "pandas", "AnalysisResult.to_pandas()")
        return pd.DataFrame(episodes(result))
    raise ValueError(f"table must be one of {', '.join(TABLES)}, not {table!r}")


def obs_to_pandas(obs: Any) -> Any:
    """A pandas DataFrame of the C/N0 values of an observation record, one row per value."""
    return _frame(obs.cn0_columns(), "RinexObsData.to_pandas()")


def _cube(columns: dict, values: list, purpose: str, time_points: Any = None) -> Any:
    """An xarray Dataset of values over time x sv x signal (elevation and azimuth over time x sv),
    NaN where nothing was received."""
    xr = require("xarray", "xarray", purpose)
    np = require("numpy", "xarray", purpose)
    if time_points is not None:
        times, time_row = column_array(time_points), column_array(columns["time_index"])
    else:
        times, time_row = np.unique(column_array(columns["time"]), return_inverse=True)
    satellite, signal = columns["satellite"], columns["signal"]
    satellite_codes, signal_codes = column_array(satellite), column_array(signal)
    data = {}
    for name in values:
        if name in ("elevation", "azimuth"):
            cube = np.full((len(times), len(satellite.labels)), np.nan)
            cube[time_row, satellite_codes] = column_array(columns[name])
            data[name] = (("time", "sv"), cube)
        else:
            cube = np.full((len(times), len(satellite.labels), len(signal.labels)), np.nan)
            cube[time_row, satellite_codes, signal_codes] = column_array(columns[name])
            data[name] = (("time", "sv", "signal"), cube)
    systems = np.empty(len(satellite.labels), dtype=object)
    systems[satellite_codes] = np.asarray(columns["system"].labels, dtype=object)[column_array(columns["system"])]
    coords = {"time": times, "sv": list(satellite.labels), "signal": list(signal.labels), "system": ("sv", systems)}
    return xr.Dataset(data, coords=coords)


def result_to_xarray(result: Any) -> Any:
    """The samples of an analysis result as an xarray Dataset over time, sv and signal."""
    columns = result.sample_columns()
    names = [n for n in columns if n not in ("time", "time_index", "satellite", "system", "signal")]
    return _cube(columns, names, "AnalysisResult.to_xarray()", result.epoch_columns()["time"])


def obs_to_xarray(obs: Any) -> Any:
    """The C/N0 values of an observation record as an xarray Dataset over time, sv and signal."""
    return _cube(obs.cn0_columns(), ["cn0"], "RinexObsData.to_xarray()")
