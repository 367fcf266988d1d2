"""Compressed input: read_rinex_obs of compressed days against the plain day, the decoders'
throughput against the standard tools on the same bytes, peak memory, and every compact RINEX
file at hand decoded byte for byte as crx2rnx decodes it.

    python bench/compressed_input.py [RUNS]

Needs the installed module (the environment of tools/install or tools/run-tests), the shared data
beside the repository, and for the comparisons gzip, bzip2, zip/unzip, compress (ncompress) and the
hatanaka package (its crx2rnx). Every decoded output is first checked against the plain day (the
compact RINEX one against crx2rnx's, byte for byte); times are medians of RUNS runs (default 7).
"""

from __future__ import annotations

import gzip
import os
import pathlib
import platform
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import quorlin_cn0 as q

DATA = pathlib.Path(__file__).resolve().parents[2] / "shared" / "data"
PLAIN_GZ = DATA / "obs" / "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
CRX_GZ = DATA / "compressed" / "ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz"

# Peak memory of one read, measured in a fresh interpreter: the growth of its resident maximum
# (VmHWM, which starts afresh with the program, unlike ru_maxrss, which a child inherits).
PEAK_PROBE = """
import sys
import quorlin_cn0 as q
def high_water():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) * 1024 for line in status if line.startswith("VmHWM:"))
before = high_water()
obs = q.read_rinex_obs(sys.argv[1])
print(high_water() - before, obs.num_epochs)
"""


def median_time(work, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return statistics.median(times), min(times), max(times)


def paired_times(work, baseline, runs):
    """Medians of work and of baseline timed in turn, so that both meet the same machine load."""
    ours, theirs = [], []
    for _ in range(runs):
        for times, job in ((ours, work), (theirs, baseline)):
            start = time.perf_counter()
            job()
            times.append(time.perf_counter() - start)
    return statistics.median(ours), statistics.median(theirs)


def peak_growth(path):
    out = subprocess.run([sys.executable, "-c", PEAK_PROBE, str(path)], capture_output=True, text=True, check=True)
    return int(out.stdout.split()[0])


def crx2rnx_binary():
    try:
        import hatanaka
    except ImportError:
        return None
    binary = pathlib.Path(hatanaka.__file__).parent / "bin" / "crx2rnx"
    return str(binary) if binary.exists() else None


def tool_command(name, path):
    """A shell command of the standard tools decoding path to /dev/null, or None without them."""
    file = shlex.quote(str(path))
    crx2rnx = crx2rnx_binary()
    commands = {"gzip": ("gzip", f"gzip -dc {file}"), "bzip2": ("bzip2", f"bzip2 -dc {file}"),
                "zip": ("unzip", f"unzip -p {file}"), "compress": ("uncompress", f"uncompress -c {file}"),
                "crx2rnx": (crx2rnx, f"{crx2rnx} - < {file}"),
                "gzip | crx2rnx": (crx2rnx, f"gzip -dc {file} | {crx2rnx} -")}
    program, command = commands[name]
    if program is None or shutil.which(program) is None:
        return None
    return command


def run_tool(command):
    subprocess.run(command + " > /dev/null", shell=True, check=True)


def make_copies(plain, folder):
    """The plain day in each format the standard tools write: {label: (path, tool)}."""
    copies = {"gzip (real file)": (PLAIN_GZ, "gzip"), "compact RINEX + gzip (real file)": (CRX_GZ, "gzip | crx2rnx")}
    plain_path = folder / "ESBC00DNK_R_20201770000_01D_30S_MO.rnx"
    plain_path.write_bytes(plain)
    crx = folder / "ESBC00DNK_R_20201770000_01D_30S_MO.crx"
    crx.write_bytes(gzip.decompress(CRX_GZ.read_bytes()))
    copies["compact RINEX"] = (crx, "crx2rnx")
    for label, tool, command, suffix in (("bzip2 -9", "bzip2", ["bzip2", "-c", "-9"], ".bz2"),
                                         ("compress (LZW, 16 bits)", "compress", ["compress", "-c"], ".Z")):
        if shutil.which(command[0]):
            target = folder / (plain_path.name + suffix)
            with open(target, "wb") as out:
                subprocess.run(command + [str(plain_path)], stdout=out, check=True)
            copies[label] = (target, tool)
    if shutil.which("zip"):
        target = folder / (plain_path.name + ".zip")
        subprocess.run(["zip", "-q", "-j", str(target), str(plain_path)], check=True)
        copies["zip (deflate)"] = (target, "zip")
    return plain_path, copies


def crinex_files(folder):
    """Every compact RINEX file at hand: the test data, the shared real files, and each plain real
    observation file compressed by the reference compressor (rnx2crx of the hatanaka package)."""
    repo = pathlib.Path(__file__).resolve().parents[1]
    archive = repo / "tests" / "data" / "archive"
    files = sorted(archive.glob("*.crx")) + sorted(archive.glob("*.[0-9][0-9][dD]"))
    files += [DATA / "compressed" / "york0440.15d", CRX_GZ]
    import hatanaka
    for plain in sorted((DATA / "obs").iterdir()):
        content = gzip.decompress(plain.read_bytes()) if plain.suffix == ".gz" else plain.read_bytes()
        target = folder / (plain.name.removesuffix(".gz") + ".crx")
        target.write_bytes(hatanaka.rnx2crx(content))
        files.append(target)
    return [f for f in files if f.is_file()]


def compare_crinex(folder, runs):
    """Each compact RINEX file decoded by the module and by crx2rnx: identical bytes, and speeds."""
    binary = crx2rnx_binary()
    if binary is None:
        print("\nthe hatanaka package is not installed: no comparison with crx2rnx")
        return
    print(f"\ncompact RINEX against crx2rnx, MB/s of plain output (files over 1 MB timed)")
    print(f"{'file':44} {'plain MB':>9} {'module':>8} {'crx2rnx':>8}")
    for path in crinex_files(folder):
        data = path.read_bytes()
        ours = q.decompress(data, path.name)[0]
        crx = gzip.decompress(data) if data[:2] == b"\x1f\x8b" else data
        theirs = subprocess.run([binary, "-"], input=crx, capture_output=True, check=True).stdout
        assert ours == theirs, f"{path.name}: output differs from crx2rnx's"
        speeds = ""
        if len(ours) > 1 << 20:
            module = median_time(lambda: q.decompress(crx), runs)[0]
            tool = median_time(lambda: subprocess.run([binary, "-"], input=crx, capture_output=True), runs)[0]
            speeds = f"{len(ours) / module / 1e6:8.0f} {len(ours) / tool / 1e6:8.0f}"
        print(f"{path.name:44} {len(ours) / 1e6:9.2f} {speeds}")
    print("every output identical to crx2rnx's, byte for byte")


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 7
    if not PLAIN_GZ.is_file() or not CRX_GZ.is_file():
        sys.exit(f"shared data missing: {PLAIN_GZ}, {CRX_GZ}")
    print(f"machine: {platform.processor() or platform.machine()}, {os.cpu_count()} cores; "
          f"Python {platform.python_version()}; runs: {runs} (median, min-max)")
    plain = gzip.decompress(PLAIN_GZ.read_bytes())
    with tempfile.TemporaryDirectory(prefix="qcn-bench-") as temp:
        plain_path, copies = make_copies(plain, pathlib.Path(temp))
        reference = q.read_rinex_obs(plain_path)
        base, low, high = median_time(lambda: q.read_rinex_obs(plain_path), runs)
        base_peak = peak_growth(plain_path)
        print(f"\nread_rinex_obs, ESBC day: plain {len(plain) / 1e6:.1f} MB, {base * 1e3:.0f} ms "
              f"({low * 1e3:.0f}-{high * 1e3:.0f}); peak growth {base_peak / 1e6:.1f} MB")
        print(f"{'input':34} {'size MB':>8} {'read ms':>8} {'x plain':>8} {'peak MB':>8} {'bound MB':>9}"
              "   (x plain: against plain reads timed in turn)")
        for label, (path, _) in copies.items():
            obs = q.read_rinex_obs(path)
            assert (obs.num_epochs, obs.snr_stats_by_satellite()) == (reference.num_epochs,
                                                                      reference.snr_stats_by_satellite()), label
            median, plain_median = paired_times(lambda: q.read_rinex_obs(path), lambda: q.read_rinex_obs(plain_path),
                                                runs)
            size = path.stat().st_size
            # Allowed: the plain size plus the compressed size plus the parsed record, that is the
            # plain read's own peak growth plus the compressed size.
            peak, bound = peak_growth(path), base_peak + size
            print(f"{label:34} {size / 1e6:8.1f} {median * 1e3:8.0f} {median / plain_median:8.2f} {peak / 1e6:8.1f} "
                  f"{bound / 1e6:9.1f}{'' if peak <= bound else '  OVER'}")

        print("\ndecoders, MB/s of plain output (module in process; tools writing to /dev/null)")
        print(f"{'input':34} {'module':>8} {'tool':>8}  tool")
        checked_crx = False
        for label, (path, tool) in copies.items():
            data = path.read_bytes()
            output = q.decompress(data, path.name)[0]
            command = tool_command(tool, path)
            if "crx2rnx" in tool and command:
                expected = subprocess.run(command, shell=True, capture_output=True, check=True).stdout
                assert output == expected, f"{label}: output differs from crx2rnx's"
                checked_crx = True
            elif "crx2rnx" not in tool:
                assert output == plain, label
            ours, _, _ = median_time(lambda: q.decompress(data, path.name), runs)
            theirs = median_time(lambda: run_tool(command), runs)[0] if command else None
            tool_speed = f"{len(output) / theirs / 1e6:8.0f}" if theirs else "       -"
            print(f"{label:34} {len(output) / ours / 1e6:8.0f} {tool_speed}  {tool if command else '-'}")
        if checked_crx:
            print("\ncompact RINEX output identical to crx2rnx's, byte for byte")
        compare_crinex(pathlib.Path(temp), runs)


if __name__ == "__main__":
    main()
