"""Columns of results and observation records as numpy arrays, pandas DataFrames and xarray Datasets."""

from typing import Any

from quorlin_cn0 import AnalysisResult, Column, RinexObsData

TABLES: tuple[str, ...]

def require(module: str, extra: str, purpose: str) -> Any: ...
def column_array(column: Column) -> Any:
    """A read-only numpy array over a Column, without copying it."""
def arrays(columns: dict[str, Column]) -> dict[str, Any]:
    """name -> numpy array for every column of a dict of columns."""
def episodes(result: AnalysisResult) -> list[dict[str, Any]]:
    """The episodes of the result's interference assessment, where the module makes one."""
def result_to_pandas(result: AnalysisResult, table: str = "samples") -> Any: ...
def obs_to_pandas(obs: RinexObsData) -> Any: ...
def result_to_xarray(result: AnalysisResult) -> Any: ...
def obs_to_xarray(obs: RinexObsData) -> Any: ...
