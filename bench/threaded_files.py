"""CN0Analyzer.analyze_file over a batch of files: one after another against side by side in
threads, with the module's own threads left to the machine or held to one per call
(QUORLIN_CN0_THREADS=1, as a batch runner would set it). Medians of fresh processes.

Usage: python bench/threaded_files.py FILE [FILE ...] [--runs N] [--threads T]
"""

from __future__ import annotations

import argparse
import os
import statistics
import subprocess
import sys

CHILD = """
import sys, time, threading
import quorlin_cn0
threads, files = int(sys.argv[1]), sys.argv[2:]
analyzer = quorlin_cn0.CN0Analyzer(quorlin_cn0.AnalysisConfig())
totals = []
def work(share):
    for path in share:
        totals.append(analyzer.analyze_file(path).total_observations)
start = time.perf_counter()
workers = [threading.Thread(target=work, args=(files[k::threads],)) for k in range(threads)]
for worker in workers:
    worker.start()
for worker in workers:
    worker.join()
print(time.perf_counter() - start, sum(totals))
"""


def timed(files: list[str], threads: int, module_threads: str | None, runs: int) -> tuple[float, int]:
    env = dict(os.environ)
    env.pop("QUORLIN_CN0_THREADS", None)
    if module_threads is not None:
        env["QUORLIN_CN0_THREADS"] = module_threads
    times, total = [], 0
    for _ in range(runs):
        out = subprocess.run([sys.executable, "-c", CHILD, str(threads), *files], check=True, capture_output=True,
                             text=True, env=env).stdout.split()
        times.append(float(out[0]))
        total = int(out[1])
    return statistics.median(times), total


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("files", nargs="+")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--threads", type=int, default=2)
    args = parser.parse_args()
    print(f"{len(args.files)} files, {sum(os.path.getsize(f) for f in args.files) / 1e6:.0f} MB; "
          f"medians of {args.runs} fresh processes")
    for module_threads, label in ((None, "module threads: all processors"), ("1", "module threads: one per call")):
        one, total = timed(args.files, 1, module_threads, args.runs)
        many, total_many = timed(args.files, args.threads, module_threads, args.runs)
        assert total == total_many, (total, total_many)
        print(f"{label:32s} one after another {one:.3f} s, {args.threads} threads {many:.3f} s: "
              f"{one / many:.2f} x")


if __name__ == "__main__":
    main()
