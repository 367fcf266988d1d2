#!/usr/bin/env python3
"""Builds large RINEX observation files for the benchmarks by repeating the epochs of a real file
with times shifted by whole days, so every epoch stays a valid, distinct epoch.

usage: make_large_obs.py INPUT OUTPUT MIN_MEGABYTES
"""

import datetime
import re
import sys

V2_EPOCH = re.compile(rb"^ (\d\d) ([ \d]\d) ([ \d]\d)( [ \d]\d [ \d]\d [ \d.]{11}  \d.*)$", re.S)


def split_header(text: bytes) -> tuple[bytes, bytes]:
    end = text.index(b"END OF HEADER")
    end = text.index(b"\n", end) + 1
    return text[:end], text[end:]


def shift_v3(body: bytes, days: int) -> bytes:
    out = []
    for line in body.splitlines(keepends=True):
        if line.startswith(b">"):
            y, m, d = int(line[2:6]), int(line[7:9]), int(line[10:12])
            day = datetime.date(y, m, d) + datetime.timedelta(days=days)
            line = b"> %04d %02d %02d" % (day.year, day.month, day.day) + line[12:]
        out.append(line)
    return b"".join(out)


def shift_v2(body: bytes, days: int) -> bytes:
    out = []
    for line in body.splitlines(keepends=True):
        match = V2_EPOCH.match(line)
        if match:
            y, m, d = (int(g) for g in match.groups()[:3])
            day = datetime.date(2000 + y if y < 80 else 1900 + y, m, d) + datetime.timedelta(days=days)
            line = b" %02d %2d %2d" % (day.year % 100, day.month, day.day) + match.group(4)
        out.append(line)
    return b"".join(out)


def main() -> None:
    source, target, megabytes = sys.argv[1], sys.argv[2], float(sys.argv[3])
    with open(source, "rb") as f:
        header, body = split_header(f.read())
    version3 = float(header[:9].strip() or 0) >= 3.0
    shift = shift_v3 if version3 else shift_v2
    with open(target, "wb") as out:
        out.write(header)
        written, days = len(header), 0
        while written < megabytes * 1e6:
            chunk = shift(body, days)
            out.write(chunk)
            written += len(chunk)
            days += 1
    print(f"{target}: {written / 1e6:.1f} MB, {days} copies of the epochs")


if __name__ == "__main__":
    main()
