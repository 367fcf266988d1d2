"""analyze_cn0 through the module, as a user calls it: medians of fresh processes, and the peak
memory of each process against the file's size.

Usage: python bench/python_analysis.py OBS [NAV] [RUNS]
Run it under `taskset -c 0` for one core; the module's threads follow the processors allowed.
"""

from __future__ import annotations

import os
import statistics
import subprocess
import sys

CHILD = """
import resource, sys, time
import quorlin_cn0
start = time.perf_counter()
result = quorlin_cn0.analyze_cn0(*sys.argv[1:])
elapsed = time.perf_counter() - start
print(elapsed, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024, result.total_observations)
"""


def main() -> None:
    obs = sys.argv[1]
    nav = sys.argv[2] if len(sys.argv) > 2 and sys.argv[2] != "-" else None
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    size = os.path.getsize(obs)
    times, peaks = [], []
    for _ in range(runs):
        args = [sys.executable, "-c", CHILD, obs] + ([nav] if nav else [])
        elapsed, peak, samples = subprocess.run(args, check=True, capture_output=True, text=True).stdout.split()
        times.append(float(elapsed))
        peaks.append(int(peak))
    print(f"{os.path.basename(obs)}{' + nav' if nav else ''}: analyze_cn0 median {statistics.median(times):.3f} s "
          f"(min {min(times):.3f}, max {max(times):.3f}) over {runs} fresh processes, {samples} samples")
    print(f"peak memory {statistics.median(peaks) / 1e6:.0f} MB = {statistics.median(peaks) / size:.2f} x file "
          f"({size / 1e6:.1f} MB)")


if __name__ == "__main__":
    main()
