#!/usr/bin/env python3
"""Builds a 1-second RINEX 3 observation file from a 30-second one: every real epoch is written
again at each second up to the next epoch (the observations are the real ones, repeated), and
optionally only the satellites of some systems are kept, so the size of a 1-second receiver of
those constellations comes out.

usage: make_dense_obs.py INPUT OUTPUT [SYSTEM_LETTERS]   (for example GE for GPS and Galileo)
"""

import datetime
import sys


def split_header(text: bytes) -> tuple[bytes, bytes]:
    end = text.index(b"END OF HEADER")
    end = text.index(b"\n", end) + 1
    return text[:end], text[end:]


def keep_system_types(header: bytes, systems: bytes) -> bytes:
    """The header with the SYS / # / OBS TYPES lines (and their continuations) of other systems
    left out, as a receiver of those systems alone writes it."""
    out, keep = [], True
    for line in header.splitlines(keepends=True):
        if line[60:].startswith(b"SYS / # / OBS TYPES"):
            if line[:1] != b" ":
                keep = line[:1] in systems
            if not keep:
                continue
        out.append(line)
    return b"".join(out)


def epoch_blocks(body: bytes):
    """(epoch line, satellite lines) pairs in file order."""
    block = None
    for line in body.splitlines(keepends=True):
        if line.startswith(b">"):
            if block:
                yield block
            block = (line, [])
        elif block:
            block[1].append(line)
    if block:
        yield block


def epoch_time(line: bytes) -> datetime.datetime:
    second = float(line[19:29])
    return datetime.datetime(int(line[2:6]), int(line[7:9]), int(line[10:12]), int(line[13:15]),
                             int(line[16:18])) + datetime.timedelta(seconds=second)


def epoch_line(line: bytes, t: datetime.datetime, count: int) -> bytes:
    seconds = t.second + t.microsecond / 1e6
    return b"> %04d %02d %02d %02d %02d %10.7f" % (t.year, t.month, t.day, t.hour, t.minute, seconds) + \
        line[29:32] + b"%3d" % count + line[35:]


def main() -> None:
    source, target = sys.argv[1], sys.argv[2]
    systems = sys.argv[3].encode() if len(sys.argv) > 3 else None
    with open(source, "rb") as f:
        header, body = split_header(f.read())
    header = header.replace(b"    30.000                                                  INTERVAL",
                            b"     1.000                                                  INTERVAL")
    if systems is not None:
        header = keep_system_types(header, systems)
    with open(target, "wb") as out:
        out.write(header)
        written = len(header)
        epochs = 0
        for line, satellites in epoch_blocks(body):
            if systems is not None:
                satellites = [s for s in satellites if s[:1] in systems]
            start = epoch_time(line)
            block = b"".join(satellites)
            for k in range(30):
                text = epoch_line(line, start + datetime.timedelta(seconds=k), len(satellites))
                out.write(text)
                out.write(block)
                written += len(text) + len(block)
                epochs += 1
    print(f"{target}: {written / 1e6:.1f} MB, {epochs} epochs")


if __name__ == "__main__":
    main()
