"""Fingerprints of the JSON of every real observation file, with and without each navigation file.

Usage: python tools/json_fingerprints.py [--data DIR] (--write FILE | --check FILE)

Each line holds the observation file, the navigation file (or "-"), and the SHA-256 of to_json()
and of to_json_pretty(). --write records them; --check compares and lists every difference, so a
change meant to keep every output byte for byte can prove it.
"""

from __future__ import annotations

import argparse
import gzip
import hashlib
import sys
import tempfile
from pathlib import Path

import quorlin_cn0


def plain(path: Path, folder: Path) -> Path:
    data = path.read_bytes()
    if data[:2] != b"\x1f\x8b":
        return path
    target = folder / path.name.removesuffix(".gz")
    target.write_bytes(gzip.decompress(data))
    return target


def fingerprints(data: Path) -> list[str]:
    lines = []
    with tempfile.TemporaryDirectory() as folder:
        folder = Path(folder)
        observations = sorted((data / "obs").iterdir())
        navigations = [None] + sorted((data / "nav").iterdir())
        for obs in observations:
            obs_path = plain(obs, folder)
            for nav in navigations:
                nav_path = plain(nav, folder) if nav else None
                args = [str(obs_path)] + ([str(nav_path)] if nav_path else [])
                result = quorlin_cn0.analyze_cn0(*args)
                compact = hashlib.sha256(result.to_json().encode()).hexdigest()
                pretty = hashlib.sha256(result.to_json_pretty().encode()).hexdigest()
                lines.append(f"{obs.name} {nav.name if nav else '-'} {compact} {pretty}")
                print(lines[-1], file=sys.stderr)
    return lines


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=Path, default=Path(__file__).resolve().parents[2] / "shared" / "data")
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument("--write", type=Path)
    mode.add_argument("--check", type=Path)
    args = parser.parse_args()
    lines = fingerprints(args.data)
    if args.write:
        args.write.write_text("\n".join(lines) + "\n")
        return 0
    expected = args.check.read_text().splitlines()
    differing = [f"expected {e}\n     got {g}" for e, g in zip(expected, lines) if e != g]
    if len(expected) != len(lines):
        differing.append(f"{len(expected)} fingerprints expected, {len(lines)} made")
    print("\n".join(differing) if differing else f"all {len(lines)} fingerprints equal")
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
