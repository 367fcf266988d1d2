"""Builders of small RINEX observation files, and a plain reference reader of their records.

Fields are placed at their columns by `columns`, so a wrong column is visible in the tests.
"""


def columns(*pieces):
    """A line with each (column, text) piece written at its column, blanks in between."""
    line = ""
    for col, text in pieces:
        line = line.ljust(col + len(text))
        line = line[:col] + text + line[col + len(text):]
    return line


def header(content, label):
    return columns((0, content), (60, label)) + "\n"


END = header("", "END OF HEADER")


def header_v3(systems, version="3.04", marker=None, receiver=None, interval=None):
    """systems: {letter: "C1C L1C S1C"}."""
    text = header(f"{version:>9}           OBSERVATION DATA    M", "RINEX VERSION / TYPE")
    if marker is not None:
        text += header(marker, "MARKER NAME")
    if receiver is not None:
        text += header(columns((0, "12345"), (20, receiver), (40, "1.0")), "REC # / TYPE / VERS")
    if interval is not None:
        text += header(f"{interval:10.3f}", "INTERVAL")
    for letter, codes in systems.items():
        text += header(columns((0, letter), (3, f"{len(codes.split()):3d}"), (7, codes)), "SYS / # / OBS TYPES")
    return text + END


def header_v2(codes, version="2.11"):
    text = header(f"{version:>9}           OBSERVATION DATA    M", "RINEX VERSION / TYPE")
    for first in range(0, len(codes), 9):
        count = f"{len(codes):6d}" if first == 0 else " " * 6
        text += header(count + "".join(f"{c:>6}" for c in codes[first:first + 9]), "# / TYPES OF OBSERV")
    return text + END


def field(value):
    """A 16-column observation field; None is blank."""
    return " " * 16 if value is None else f"{value:14.3f}  "


def epoch_v3(date, satellites, flag=0):
    """satellites: [(id, [values])]."""
    text = f"> {date}  {flag}{len(satellites):3d}\n"
    for sat, values in satellites:
        text += f"{sat:<3}" + "".join(field(v) for v in values) + "\n"
    return text


def epoch_v2(date, satellites, ncodes, flag=0):
    """date: "yy mm dd hh mm ss.sss" as numbers; satellites: [(id, [values])], at most 12."""
    yy, mo, dd, hh, mi, ss = date.split()
    line = f" {int(yy):02d} {int(mo):2d} {int(dd):2d} {int(hh):2d} {int(mi):2d}{float(ss):11.7f}"
    line += f"  {flag}{len(satellites):3d}" + "".join(f"{s:>3}" for s, _ in satellites) + "\n"
    for _, values in satellites:
        values = list(values) + [None] * (ncodes - len(values))
        for first in range(0, ncodes, 5):
            line += "".join(field(v) for v in values[first:first + 5]).rstrip() + "\n"
    return line


def reference_read(text):
    """Epochs of a file as lists of (satellite, {code: value}), non-zero values only.

    A straightforward reading of the record layout of both versions, for checking totals of
    real files: version 3 lines after '>' epoch lines, version 2 fixed-column epoch lines with
    continuation lines of satellites and five 16-column fields per observation line.
    """
    lines = text.replace("\r\n", "\n").split("\n")
    codes, version, i = {}, 0.0, 0
    current = None
    while i < len(lines) and "END OF HEADER" not in lines[i][60:]:
        line, label = lines[i], lines[i][60:]
        if "RINEX VERSION" in label:
            version = float(line[:9])
        elif "SYS / # / OBS TYPES" in label:
            if line[0] != " ":
                current = line[0]
            codes.setdefault(current, []).extend(line[6:60].split())
        elif "# / TYPES OF OBSERV" in label:
            for c in line[:60].split():
                if len(c) >= 2 and not c[0].isdigit():
                    for s in "GREC":
                        codes.setdefault(s, []).append(c)
        i += 1
    i += 1

    def values_of(data, code_list, step=16):
        out = {}
        for f, code in enumerate(code_list):
            piece = data[step * f:step * f + 14].strip()
            try:
                v = float(piece)
            except ValueError:
                continue
            if v != 0.0:
                out[code] = v
        return out

    epochs = []
    if version >= 3:
        while i < len(lines):
            parts = lines[i][1:].split()
            i += 1
            if not lines[i - 1].startswith(">") or len(parts) < 8 or int(parts[6]) > 1:
                continue
            sats = []
            for _ in range(int(parts[7])):
                line = lines[i]
                i += 1
                sat = line[:3].strip()
                vals = values_of(line[3:], codes.get(sat[:1] or "G", []))
                if vals:
                    sats.append((sat, vals))
            if sats:
                epochs.append(sats)
        return epochs
    g = codes.get("G", [])
    nlines = (len(g) + 4) // 5
    while i < len(lines):
        line = lines[i]
        i += 1
        if len(line) < 32 or not line[1:3].strip() or line[28] not in "01":
            continue
        count = int(line[29:32])
        ids = line[32:68]
        while len(ids) < 3 * count:
            ids += lines[i][32:68]
            i += 1
        sats = []
        for k in range(count):
            sat = ids[3 * k:3 * k + 3].strip()
            sat = sat if len(sat) == 3 else f"G{int(sat):02d}"
            block = lines[i:i + nlines]
            i += nlines
            vals = {}
            for n, obs_line in enumerate(block):
                vals.update(values_of(obs_line, g[5 * n:5 * n + 5]))
            if vals:
                sats.append((sat, vals))
        if sats:
            epochs.append(sats)
    return epochs


V2_RENAMES = {"C1": "C1C", "P1": "C1P", "L1": "L1C", "S1": "S1C", "C2": "C2C", "P2": "C2P",
              "L2": "L2C", "S2": "S2C", "C5": "C5Q", "L5": "L5Q", "S5": "S5Q"}
