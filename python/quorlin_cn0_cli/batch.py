"""Batches of files analysed side by side: in threads of this process (the module reads, parses and
analyses without the interpreter lock, so the threads run at once on as many processors), or on
the workers of a Dask cluster.

At most `window` files are in flight at a time (running, or done and not yet handed on), so the
memory of a batch is that of its workers' files, whatever its length.
"""

from __future__ import annotations

import os
import time
from collections.abc import Callable, Iterable, Iterator
from concurrent.futures import FIRST_COMPLETED, Future, ThreadPoolExecutor, wait
from dataclasses import dataclass
from pathlib import Path
from typing import Any

THREADS_VARIABLE = "QUORLIN_CN0_THREADS"

Task = Callable[[Path], Any]


@dataclass
class Done:
    """One file of a batch, done."""

    index: int  # the file's position in the batch
    path: Path
    value: Any  # what the task returned; None when it failed
    error: BaseException | None
    seconds: float  # the task's own time


def default_workers() -> int:
    """The processors this process may run on."""
    try:
        return max(1, len(os.sched_getaffinity(0)))
    except AttributeError:
        return max(1, os.cpu_count() or 1)


def one_thread_per_call() -> None:
    """Lets each analysis of this process run on its calling thread alone, unless the user chose
    otherwise: the files of a batch already keep the processors busy side by side. The module reads
    the setting when it makes its pool, at the first analysis of the process, so this is for
    processes that run batches only (the command line, a cluster's workers)."""
    os.environ.setdefault(THREADS_VARIABLE, "1")


def timed_call(task: Task, path: Path, single_thread: bool = False) -> tuple[Any, BaseException | None, float]:
    """Runs task(path), catching what it raises, and times it."""
    if single_thread:
        one_thread_per_call()
    started = time.perf_counter()
    try:
        value, error = task(path), None
    except Exception as failure:  # noqa: BLE001 - handed to the caller with its file
        value, error = None, failure
    return value, error, time.perf_counter() - started


class _Order:
    """Hands on done files in the order of the batch, or as they come."""

    def __init__(self, ordered: bool):
        self.ordered = ordered
        self.waiting: dict[int, Done] = {}
        self.next = 0
        self.handed = 0

    def add(self, done: Done) -> list[Done]:
        if not self.ordered:
            self.handed += 1
            return [done]
        self.waiting[done.index] = done
        ready = []
        while self.next in self.waiting:
            ready.append(self.waiting.pop(self.next))
            self.next += 1
        self.handed += len(ready)
        return ready


def _in_turn(paths: list[Path], task: Task) -> Iterator[Done]:
    for index, path in enumerate(paths):
        value, error, seconds = timed_call(task, path)
        yield Done(index, path, value, error, seconds)


def _in_threads(paths: list[Path], task: Task, workers: int, ordered: bool, window: int) -> Iterator[Done]:
    order = _Order(ordered)
    pending: dict[Future, int] = {}
    submitted = 0
    with ThreadPoolExecutor(workers, thread_name_prefix="quorlin-cn0") as pool:
        try:
            while True:
                while submitted < len(paths) and submitted - order.handed < window:
                    pending[pool.submit(timed_call, task, paths[submitted])] = submitted
                    submitted += 1
                if not pending:
                    return
                finished, _ = wait(pending, return_when=FIRST_COMPLETED)
                for future in finished:
                    index = pending.pop(future)
                    value, error, seconds = future.result()
                    yield from order.add(Done(index, paths[index], value, error, seconds))
        finally:
            # Stopped early (an interruption, or the consumer left): files not yet started are dropped.
            for future in pending:
                future.cancel()


def _on_cluster(paths: list[Path], task: Task, client: Any, ordered: bool, window: int) -> Iterator[Done]:
    from distributed import as_completed  # an optional extra, imported only for a cluster

    order = _Order(ordered)
    indexes: dict[str, int] = {}
    submitted = 0
    # The task (options, the navigation index) goes to every worker once, not with every file.
    [shared_task] = client.scatter([task], broadcast=True, hash=False)

    def submit() -> Any:
        nonlocal submitted
        future = client.submit(timed_call, shared_task, paths[submitted], True, pure=False)
        indexes[future.key] = submitted
        submitted += 1
        return future

    first = []
    while submitted < len(paths) and submitted < window:
        first.append(submit())
    running = as_completed(first)
    try:
        for future in running:
            index = indexes.pop(future.key)
            try:
                value, error, seconds = future.result()
            except Exception as failure:  # noqa: BLE001 - a lost worker fails its file, not the batch
                value, error, seconds = None, failure, 0.0
            future.release()
            yield from order.add(Done(index, paths[index], value, error, seconds))
            while submitted < len(paths) and submitted - order.handed < window:
                running.add(submit())
    finally:
        running.clear()


def cluster_threads(client: Any) -> int:
    """The threads of all workers of a Dask cluster (at least 1)."""
    return max(1, sum(client.nthreads().values()))


def run_batch(paths: Iterable[Path], task: Task, workers: int = 1, client: Any = None, ordered: bool = False,
              window: int | None = None) -> Iterator[Done]:
    """Runs task on every file and yields each as it is done (in the batch's order when ordered).

    With one worker and no client the files run in turn in the calling thread; with several, in as
    many threads; with a Dask client, on the cluster's workers, each analysis on its worker's thread
    alone (task must then be picklable, and the files readable there under the same paths). A
    file's exception is its Done's error and the batch goes on.
    """
    paths = list(paths)
    if client is not None:
        limit = window or 2 * cluster_threads(client)
        return _on_cluster(paths, task, client, ordered, max(1, limit))
    if workers <= 1 or len(paths) <= 1:
        return _in_turn(paths, task)
    return _in_threads(paths, task, workers, ordered, max(workers, window or 2 * workers))


# --- the batch as a Python function ----------------------------------------------------------

@dataclass
class BatchResult:
    """One observation file of analyze_many."""

    path: Path
    index: int  # the file's position among the paths
    value: Any  # the AnalysisResult, or what summarise made of it; None when the file failed
    error: BaseException | None  # what the file raised (OSError, ValueError), else None
    navigation: str | None  # the navigation files the analysis used, ";" between
    note: str | None  # when the navigation data misses the file's period, or none was found for it
    seconds: float


def _analyze_one(path: Path, fields: Any, source: Any, summarise: Callable[[Any], Any] | None,
                 campaign: bool) -> tuple:
    from quorlin_cn0_cli.analysis import analyze_paired
    from quorlin_cn0_cli.campaign import result_record

    analysis = analyze_paired(path, fields, source)
    if summarise is not None:
        value = summarise(analysis.result)
    elif campaign:
        value = result_record(path, analysis.result, analysis.navigation, analysis.coverage, analysis.epochs)
    else:
        value = analysis.result
    return value, analysis.navigation, analysis.coverage


def analyze_many(paths: Iterable[str | os.PathLike], *, nav: str | os.PathLike | None = None,
                 nav_dir: str | os.PathLike | None = None, config: Any = None, workers: int | None = None,
                 client: Any = None, ordered: bool = False,
                 summarise: Callable[[Any], Any] | None = None) -> Iterator[BatchResult]:
    """Analyses observation files side by side and yields each as it is done (in the order of
    paths when ordered).

    nav is one navigation file for every observation file; nav_dir a folder whose navigation
    files are paired with each observation file by the period of their records. config is an
    AnalysisConfig (the defaults without). workers threads run at once (default: the processors);
    with a dask.distributed Client the files run on its cluster instead, where the results stay:
    each value is then what summarise returns on the worker (picklable), by default the file's
    campaign record (FileRecord: its table row and episode rows). A file that fails is yielded with its error; the batch goes on.
    """
    from quorlin_cn0_cli.analysis import ConfigFields, NavigationSource, PreparedNavigation
    from quorlin_cn0_cli.coverage import navigation_span
    from quorlin_cn0_cli.pairing import NavigationIndex

    if nav is not None and nav_dir is not None:
        raise TypeError("analyze_many() takes nav or nav_dir, not both")
    prepared = None
    if nav is not None:
        import quorlin_cn0

        prepared = PreparedNavigation(Path(nav), navigation_span(quorlin_cn0.read_navigation(nav)))
    index = NavigationIndex.scan(Path(nav_dir)) if nav_dir is not None else None
    task = _TaskOf(ConfigFields.of(config), NavigationSource(prepared, index), summarise, client is not None)
    for done in run_batch([Path(p) for p in paths], task, workers or default_workers(), client, ordered):
        value, navigation, note = done.value if done.error is None else (None, None, None)
        yield BatchResult(done.path, done.index, value, done.error, navigation, note, done.seconds)


@dataclass(frozen=True)
class _TaskOf:
    """The work of analyze_many on one file, picklable for a cluster."""

    fields: Any
    source: Any
    summarise: Callable[[Any], Any] | None
    campaign: bool  # without summarise, the campaign record instead of the result

    def __call__(self, path: Path) -> tuple:
        return _analyze_one(path, self.fields, self.source, self.summarise, self.campaign)
