"""Visibility and verdict figures of the real observation/navigation pairs, as a station operator sees them.

Usage: python bench/station_pairs.py [DATA_DIR]   (DATA_DIR defaults to ../shared/data)

For every same-day pair of the shared data, and for the ESBC day with a navigation file of
another day and with a GPS-only navigation file built from its own, prints: confirmation rate,
mean unexpected satellites, visibility anomalies by kind, continuity, and the three verdicts.
"""

from __future__ import annotations

import collections
import gzip
import json
import sys
import tempfile
from pathlib import Path

import quorlin_cn0

PAIRS = [
    ("ESBC + ESBC MN", "obs/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", "nav/ESBC00DNK_R_20201770000_01D_MN.rnx.gz"),
    ("ESBC + 2023 nav (BRD400DLR)", "obs/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz",
     "nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz"),
    ("ESBC + GPS-only nav", "obs/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", "gps-only"),
    ("CEDA + ELKO MN", "obs/CEDA00USA_R_20182100000_23H_15S_MO.rnx.gz", "nav/ELKO00USA_R_20182100000_01D_MN.rnx.gz"),
    ("cn000010.21o + brdc0010.21n", "obs/cn000010.21o", "nav/brdc0010.21n"),
    ("cn000010.21o + amel0010.21g", "obs/cn000010.21o", "nav/amel0010.21g"),
    ("NMBUS + NMBUS nav", "obs/NMBUS_SAMSUNG_S20.20o", "nav/NMBUS_SAMSUNG_S20.20n"),
    ("14601736.18o + .18n", "obs/14601736.18o", "nav/14601736.18n"),
]


def plain(path: Path, folder: Path) -> Path:
    """The file itself, or its gzip content written into folder."""
    if path.read_bytes()[:2] != b"\x1f\x8b":
        return path
    target = folder / path.name.removesuffix(".gz")
    target.write_bytes(gzip.decompress(path.read_bytes()))
    return target


def gps_only(mixed: Path, target: Path) -> Path:
    """The GPS records (8 lines each) of a RINEX 3 mixed navigation file, with its header."""
    lines = mixed.read_text(errors="replace").splitlines(keepends=True)
    out, i = [], 0
    while i < len(lines):
        out.append(lines[i])
        i += 1
        if "END OF HEADER" in out[-1]:
            break
    while i < len(lines):
        line = lines[i]
        if line.startswith("G"):
            out.extend(lines[i:i + 8])
            i += 8
        else:
            i += 1
    target.write_text("".join(out))
    return target


def figures(obs: Path, nav: Path) -> dict:
    result = quorlin_cn0.analyze_cn0(str(obs), str(nav))
    kinds = collections.Counter(result.get_visibility_anomaly_types())
    data = json.loads(result.to_json())
    gaps = sum(c["data_gaps"] for c in data["constellation_stats"].values())
    return {
        "prediction": result.has_visibility_prediction,
        "rate": result.visibility_confirmation_rate,
        "unexpected": result.visibility_mean_unexpected,
        "missing": result.visibility_mean_missing,
        "anomalies": dict(kinds),
        "continuity": result.quality_score.continuity,
        "gaps": gaps,
        "verdicts": (result.jamming_detected, result.spoofing_detected, result.interference_detected),
        "overall": result.quality_score.overall,
    }


def main() -> None:
    data = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[2] / "shared" / "data")
    print("| pair | prediction | confirmation % | mean unexpected | mean missing | anomalies (missing/unexpected) "
          "| data gaps | continuity | jamming/spoofing/interference |")
    print("|---|---|---|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as folder:
        folder = Path(folder)
        for name, obs_rel, nav_rel in PAIRS:
            obs = plain(data / obs_rel, folder)
            if nav_rel == "gps-only":
                nav = gps_only(plain(data / "nav/ESBC00DNK_R_20201770000_01D_MN.rnx.gz", folder), folder / "gps.rnx")
            else:
                nav = plain(data / nav_rel, folder)
            f = figures(obs, nav)
            kinds = f"{f['anomalies'].get('missing_satellites', 0)}/{f['anomalies'].get('unexpected_satellites', 0)}"
            verdicts = "/".join("yes" if v else "no" for v in f["verdicts"])
            print(f"| {name} | {'yes' if f['prediction'] else 'no'} | {f['rate']:.2f} | {f['unexpected']:.2f} "
                  f"| {f['missing']:.2f} | {kinds} | {f['gaps']} | {f['continuity']:.1f} | {verdicts} |")


if __name__ == "__main__":
    main()
