"""The campaign tables in a folder: `files` (one row per observation file) and `episodes` (one row
per episode of degraded reception), as Parquet datasets partitioned by station when pyarrow is
installed, else as `files.csv` and `episodes.csv`.

Rows are kept in the order of their path (episodes: path, then start), so that a table is the
same whatever order the files were done in. Saving replaces the tables as a whole: each is
written beside the old one and then moved into its place.
"""

from __future__ import annotations

import csv
import importlib.util
import math
import os
import shutil
from pathlib import Path

from quorlin_cn0_cli.campaign import EPISODE_COLUMNS, FILE_COLUMNS, FileRecord

FORMATS = ("parquet", "csv")
PARTITION = "station"

Row = dict[str, object]


def pyarrow_installed() -> bool:
    return importlib.util.find_spec("pyarrow") is not None


def _file_key(row: Row) -> tuple:
    return (str(row["path"]),)


def _episode_key(row: Row) -> tuple:
    return (str(row["path"]), str(row.get("start_time") or ""), str(row.get("end_time") or ""),
            str(row.get("kind") or ""))


# --- CSV -------------------------------------------------------------------------------------

def _csv_text(value: object) -> str:
    if value is None:
        return ""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, float):
        return repr(value) if math.isfinite(value) else ""
    return str(value)


def _csv_value(text: str, kind: str) -> object:
    if text == "":
        return None
    if kind == "int":
        return int(text)
    if kind == "real":
        return float(text)
    if kind == "flag":
        return text == "true"
    return text


def _write_csv(path: Path, columns: dict[str, str], rows: list[Row]) -> None:
    temporary = path.with_name(path.name + ".part")
    with open(temporary, "w", newline="", encoding="utf-8") as file:
        writer = csv.writer(file, lineterminator="\n")
        writer.writerow(columns)
        for row in rows:
            writer.writerow(_csv_text(row.get(name)) for name in columns)
    os.replace(temporary, path)


def _read_csv(path: Path, columns: dict[str, str]) -> list[Row]:
    with open(path, newline="", encoding="utf-8") as file:
        reader = csv.DictReader(file)
        return [{name: _csv_value(record.get(name) or "", kind) for name, kind in columns.items()}
                for record in reader]


# --- Parquet ---------------------------------------------------------------------------------

def _arrow_schema(columns: dict[str, str]):
    import pyarrow as pa

    kinds = {"text": pa.string(), "int": pa.int64(), "real": pa.float64(), "flag": pa.bool_()}
    return pa.schema([(name, kinds[kind]) for name, kind in columns.items()])


def _write_parquet(folder: Path, columns: dict[str, str], rows: list[Row]) -> None:
    import pyarrow as pa
    import pyarrow.dataset as ds

    schema = _arrow_schema(columns)
    table = pa.Table.from_pylist([{name: row.get(name) for name in columns} for row in rows], schema=schema)
    temporary = folder.with_name(folder.name + ".part")
    shutil.rmtree(temporary, ignore_errors=True)
    partitioning = ds.partitioning(pa.schema([(PARTITION, pa.string())]), flavor="hive")
    # One partition per station: a network has hundreds, more than pyarrow's default limit of 1024.
    stations = max(1, len(set(table.column(PARTITION).to_pylist())))
    ds.write_dataset(table, temporary, format="parquet", partitioning=partitioning,
                     basename_template="part-{i}.parquet", existing_data_behavior="error",
                     max_partitions=stations, max_open_files=min(stations, 1024) + 1)
    temporary.mkdir(exist_ok=True)  # an empty table leaves no file: the folder still says it exists
    old = folder.with_name(folder.name + ".old")
    shutil.rmtree(old, ignore_errors=True)
    if folder.exists():
        folder.rename(old)
    temporary.rename(folder)
    shutil.rmtree(old, ignore_errors=True)


def _read_parquet(folder: Path, columns: dict[str, str]) -> list[Row]:
    import pyarrow as pa
    import pyarrow.dataset as ds

    partitioning = ds.partitioning(pa.schema([(PARTITION, pa.string())]), flavor="hive")
    dataset = ds.dataset(folder, format="parquet", partitioning=partitioning, schema=_arrow_schema(columns))
    return dataset.to_table().to_pylist()


# --- the tables ------------------------------------------------------------------------------

class CampaignTables:
    """The files and episodes tables of one folder."""

    def __init__(self, folder: Path, table_format: str | None = None):
        self.folder = folder
        self.format = table_format or self.existing_format() or ("parquet" if pyarrow_installed() else "csv")
        if self.format not in FORMATS:
            raise ValueError(f"unknown table format {self.format!r} (use parquet or csv)")
        if self.format == "parquet" and not pyarrow_installed():
            raise ValueError("Parquet tables need pyarrow (pip install pyarrow); use --table-format csv")

    def existing_format(self) -> str | None:
        if (self.folder / "files").is_dir():
            return "parquet"
        if (self.folder / "files.csv").is_file():
            return "csv"
        return None

    def _location(self, name: str) -> Path:
        return self.folder / (name if self.format == "parquet" else f"{name}.csv")

    def load(self) -> tuple[list[Row], list[Row]]:
        """The rows stored so far (none when the folder holds no tables)."""
        found: list[list[Row]] = []
        for name, columns in (("files", FILE_COLUMNS), ("episodes", EPISODE_COLUMNS)):
            location = self._location(name)
            if not location.exists():
                found.append([])
            elif self.format == "parquet":
                found.append(_read_parquet(location, columns))
            else:
                found.append(_read_csv(location, columns))
        files, episodes = found
        return sorted(files, key=_file_key), sorted(episodes, key=_episode_key)

    def save(self, files: list[Row], episodes: list[Row]) -> None:
        self.folder.mkdir(parents=True, exist_ok=True)
        for name, columns, rows, key in (("files", FILE_COLUMNS, files, _file_key),
                                         ("episodes", EPISODE_COLUMNS, episodes, _episode_key)):
            ordered = sorted(rows, key=key)
            if self.format == "parquet":
                _write_parquet(self._location(name), columns, ordered)
            else:
                _write_csv(self._location(name), columns, ordered)


class Campaign:
    """The rows of a batch, joined with the rows its tables already hold.

    A file already in the tables without an error is done: `pending` leaves it out unless forced.
    A file done again replaces its row and its episodes."""

    def __init__(self, tables: CampaignTables, force: bool = False):
        self.tables = tables
        files, episodes = tables.load()
        self.files: dict[str, Row] = {str(row["path"]): row for row in files}
        self.episodes: dict[str, list[Row]] = {}
        for row in episodes:
            self.episodes.setdefault(str(row["path"]), []).append(row)
        self.force = force
        self.changed = False

    def is_done(self, path: str) -> bool:
        row = self.files.get(path)
        return row is not None and not row.get("error")

    def pending(self, paths: list[Path], key) -> list[Path]:
        if self.force:
            return list(paths)
        return [path for path in paths if not self.is_done(key(path))]

    def add(self, record: FileRecord) -> None:
        path = str(record.row["path"])
        self.files[path] = record.row
        self.episodes[path] = list(record.episodes)
        self.changed = True

    def save(self) -> None:
        self.tables.save(list(self.files.values()), [row for rows in self.episodes.values() for row in rows])
        self.changed = False
