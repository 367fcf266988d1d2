"""Columns, frames and the HTML report of analysis results: medians of repeated calls, with the
machine's load beside them, after checking the columns against the result (row count, time order).

Usage: python bench/notebook_data.py OBS [NAV] [--runs N] [--no-report]
  python bench/notebook_data.py /tmp/esbc.rnx /tmp/esbc_mn.rnx
  python bench/notebook_data.py /tmp/dense_ge.rnx --runs 3
"""

from __future__ import annotations

import argparse
import os
import statistics
import tempfile
import time

import numpy as np

import quorlin_cn0
from quorlin_cn0 import frames, report


def median_seconds(work, runs: int) -> float:
    times = []
    for _ in range(runs):
        started = time.perf_counter()
        work()
        times.append(time.perf_counter() - started)
    return statistics.median(times)


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("obs")
    parser.add_argument("nav", nargs="?")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--no-report", action="store_true")
    args = parser.parse_args()
    started = time.perf_counter()
    result = quorlin_cn0.analyze_cn0(args.obs, args.nav)
    print(f"analysis {time.perf_counter() - started:.2f} s, {result.total_observations} samples, "
          f"load {os.getloadavg()[0]:.2f}")
    columns = result.sample_columns()
    time_column = frames.column_array(columns["time"])
    assert len(time_column) == result.total_observations and np.all(np.diff(time_column.astype(np.int64)) >= 0)
    steps = {
        "sample_columns()": result.sample_columns,
        "sample_columns() as numpy arrays": lambda: frames.arrays(result.sample_columns()),
        "epoch_columns()": result.epoch_columns,
        "to_pandas()": result.to_pandas,
        "to_xarray()": result.to_xarray,
    }
    for name, work in steps.items():
        runs = args.runs if "xarray" not in name else max(1, args.runs // 2)
        print(f"{name:34s} median {median_seconds(work, runs) * 1000:9.1f} ms  (load {os.getloadavg()[0]:.2f})")
    if not args.no_report:
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "report.html")
            seconds = median_seconds(lambda: report.write_report(result, path, os.path.basename(args.obs)),
                                     max(1, args.runs // 2))
            print(f"{'HTML report':34s} median {seconds * 1000:9.1f} ms  (load {os.getloadavg()[0]:.2f}), "
                  f"{os.path.getsize(path) / 1e6:.2f} MB")


if __name__ == "__main__":
    main()
