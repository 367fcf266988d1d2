"""A campaign batch of daily files: files per second with 1 and 2 workers, through a Dask
LocalCluster, and peak memory against that of one file.

The files are copies of one real day (30 s, gzip-compressed as archives hold them) with their
dates shifted one day each, made once into a folder and reused. Each batch runs in a fresh process
(`quorlin-cn0 --table DIR --table-format csv`, the whole product: reading, analysis, rows, tables);
its peak resident memory is the kernel's count for that process. Medians of --runs.

Usage: python bench/campaign_batch.py DAY.rnx.gz [--nav DAY_NAV] [--files 40] [--folder DIR] [--runs 3] [--no-dask]
"""

from __future__ import annotations

import argparse
import gzip
import os
import statistics
import subprocess
import sys
import tempfile
import time
from datetime import date, timedelta
from pathlib import Path

DASK_CHILD = """
import resource, sys, time
from distributed import Client, LocalCluster
from quorlin_cn0_cli.main import main
workers, table, files = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
started = time.perf_counter()
with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None) as cluster:
    ready = time.perf_counter()
    status = main(["--scheduler", cluster.scheduler_address, "--table", table] + files)
    done = time.perf_counter()
    with Client(cluster) as client:
        peaks = client.run(lambda: resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024)
    print(f"{done - ready} {ready - started} {max(peaks.values())}", file=sys.stderr)
"""


def shifted_copies(day: Path, folder: Path, count: int) -> list[Path]:
    """count copies of the day, the k-th k days later, as gzip files named as the archives do."""
    folder.mkdir(parents=True, exist_ok=True)
    plain = None
    paths = []
    for k in range(count):
        path = folder / f"day{k:03d}.rnx.gz"
        paths.append(path)
        if path.exists():
            continue
        if plain is None:
            plain = gzip.decompress(day.read_bytes())
            first = plain.index(b"\n> ") + 3
            year, month, dom = (int(field) for field in plain[first:first + 10].split())
            origin = date(year, month, dom)
        when = origin + timedelta(days=k)
        content = plain.replace(f"> {origin:%Y %m %d} ".encode(), f"> {when:%Y %m %d} ".encode())
        for label in (b"TIME OF FIRST OBS", b"TIME OF LAST OBS"):
            old = f"  {origin.year:4d}{origin.month:6d}{origin.day:6d}".encode()
            new = f"  {when.year:4d}{when.month:6d}{when.day:6d}".encode()
            at = content.find(label)
            line_start = content.rfind(b"\n", 0, at) + 1
            if at > 0 and content.startswith(old, line_start):
                content = content[:line_start] + new + content[line_start + len(old):]
        path.write_bytes(gzip.compress(content, compresslevel=6))
    return paths


def measured(command: list[str], env: dict[str, str]) -> tuple[float, float, str, float]:
    """Wall time, peak resident memory (MB), standard error and processor time of a fresh process."""
    started = time.perf_counter()
    child = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    err = child.stderr.read()
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    elapsed = time.perf_counter() - started
    if child.returncode not in (0, 1):
        raise SystemExit(f"{command[:4]} failed: {err}")
    return elapsed, usage.ru_maxrss / 1024, err, usage.ru_utime + usage.ru_stime


NAV_CHILD = """
import statistics, sys, time
import quorlin_cn0
obs, nav = sys.argv[1], sys.argv[2]
analyzer = quorlin_cn0.CN0Analyzer(quorlin_cn0.AnalysisConfig())
def timed(call):
    times = []
    for _ in range(3):
        started = time.process_time()
        call()
        times.append(time.process_time() - started)
    return statistics.median(times)
print(timed(lambda: analyzer.analyze_file(obs)), timed(lambda: analyzer.analyze_with_nav(obs, nav)))
"""


def load() -> str:
    return "load %.2f %.2f %.2f" % os.getloadavg()


def cli_batch(files: list[Path], jobs: int, env: dict[str, str]) -> tuple[float, float, float]:
    """Wall time, peak memory and processor time of a batch in a fresh process."""
    with tempfile.TemporaryDirectory(prefix="campaign-bench-") as folder:
        # CSV tables: Parquet ones would add pyarrow's constant (about 50 MB) to every figure.
        command = [sys.executable, "-m", "quorlin_cn0_cli", "-j", str(jobs), "--table", folder, "--table-format", "csv"]
        command += [str(f) for f in files]
        elapsed, peak, _, cpu = measured(command, env)
    return elapsed, peak, cpu


def dask_batch(files: list[Path], workers: int, env: dict[str, str]) -> tuple[float, float, float]:
    """The batch's time, the cluster's start and the largest peak memory of a worker process."""
    with tempfile.TemporaryDirectory(prefix="campaign-bench-") as folder:
        command = [sys.executable, "-c", DASK_CHILD, str(workers), folder] + [str(f) for f in files]
        _, _, err, _ = measured(command, env)
    batch, startup, worker_peak = (float(x) for x in err.strip().splitlines()[-1].split())
    return batch, startup, worker_peak


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("day", type=Path)
    parser.add_argument("--files", type=int, default=40)
    parser.add_argument("--folder", type=Path, default=Path(tempfile.gettempdir()) / "campaign-bench-days")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--nav", type=Path, help="the day's navigation file: how much longer a file takes with it")
    parser.add_argument("--no-dask", action="store_true")
    args = parser.parse_args()
    files = shifted_copies(args.day, args.folder, args.files)
    size = sum(f.stat().st_size for f in files) / 1e6
    env = dict(os.environ)
    env.pop("QUORLIN_CN0_THREADS", None)
    print(f"{len(files)} files, {size:.0f} MB gzip; medians of {args.runs} fresh processes; {load()}")

    # A worker is one processor: the one-worker batch runs each analysis on one thread, as the
    # two-worker batch does; "-j 1, module threads" lets the module use every processor per file.
    single = dict(env, QUORLIN_CN0_THREADS="1")
    _, one_peak, _ = cli_batch(files[:1], 1, single)
    _, base_peak, _, _ = measured([sys.executable, "-c", "import quorlin_cn0, quorlin_cn0_cli.main"], env)
    print(f"peak memory: interpreter and modules {base_peak:.0f} MB, a batch of one file "
          f"{one_peak:.0f} MB (the file's own {one_peak - base_peak:.0f} MB)")
    rates, cpus = {}, {}
    for label, jobs, environment in (("1 worker", 1, single), ("2 workers", 2, env),
                                     ("-j 1, module threads", 1, env)):
        runs = [cli_batch(files, jobs, environment) for _ in range(args.runs)]
        elapsed = statistics.median(r[0] for r in runs)
        peak = max(r[1] for r in runs)
        cpu = statistics.median(r[2] for r in runs) / len(files)
        rates[label], cpus[label] = len(files) / elapsed, cpu
        bound = base_peak + jobs * (one_peak - base_peak)
        print(f"{label:22s} {elapsed:6.2f} s, {rates[label]:.2f} files/s, {cpu:.3f} processor s per file, "
              f"peak {peak:.0f} MB (bound {jobs} x file + interpreter: {bound:.0f} MB); {load()}")
    speedup = rates["2 workers"] / rates["1 worker"]
    print(f"2 workers against 1: {speedup:.2f} x")
    if not args.no_dask and _has_dask():
        runs = [dask_batch(files, 2, env) for _ in range(args.runs)]
        batch = statistics.median(r[0] for r in runs)
        startup = statistics.median(r[1] for r in runs)
        worker_peak = max(r[2] for r in runs)
        print(f"Dask LocalCluster, 2 worker processes: {batch:6.2f} s, {len(files) / batch:.2f} files/s "
              f"(cluster start {startup:.1f} s not counted), worker peak {worker_peak:.0f} MB; {load()}")
    # Processor time per file with two side by side (their contention included) is what the
    # load of the shared machine moves least; a core of a busy 16-core machine does 1/that.
    per_core = 1 / cpus["2 workers"]
    print(f"processor time per file, 2 workers against 1: {cpus['2 workers'] / cpus['1 worker']:.2f} x")
    factor = 1.0
    if args.nav is not None:
        out = subprocess.run([sys.executable, "-c", NAV_CHILD, str(args.day), str(args.nav)], env=single, check=True,
                             capture_output=True, text=True).stdout.split()
        without, with_nav = float(out[0]), float(out[1])
        factor = with_nav / without
        print(f"one analysis on one thread: {without:.3f} processor s without navigation data, {with_nav:.3f} s "
              f"with it ({factor:.2f} x); {load()}")
    for machines in (1, 10):
        for label, rate in (("without", per_core), ("with", per_core / factor)):
            minutes = 100_000 / (rate * 16 * machines) / 60
            print(f"100,000 daily files on {machines} x 16 cores, {label} navigation data, at {rate:.2f} files/s "
                  f"per core: {minutes / 60:.2f} h ({minutes:.0f} min)")


def _has_dask() -> bool:
    try:
        import distributed  # noqa: F401
    except ImportError:
        print("Dask not installed: the cluster run is left out")
        return False
    return True


if __name__ == "__main__":
    main()
