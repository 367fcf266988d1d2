"""NavigationData, navigation reading, TLE counting and TLE download through the module."""

import gzip
import os
import stat
import textwrap
from pathlib import Path

import pytest

import quorlin_cn0

SHARED = Path(__file__).resolve().parents[2].parent / "shared" / "data"
needs_shared = pytest.mark.skipif(not SHARED.is_dir(), reason="shared data not present")

HEADER = (
    "     3.04           N: GNSS NAV DATA    M: MIXED            RINEX VERSION / TYPE\n"
    "                                                            END OF HEADER\n"
)


def kepler_record(system_prn: str) -> str:
    """A RINEX 3 Keplerian record of 8 lines with D exponents."""
    first = f"{system_prn} 2020 06 25 00 00 00" + " 1.000000000000D-04" * 3
    data = "    " + " 1.000000000000D+00" * 4
    return first + "\n" + "\n".join([data] * 7) + "\n"


def glonass_record(slot: int, channel: int) -> str:
    first = f"R{slot:02d} 2020 06 25 00 15 00" + " 1.000000000000D-04" * 3
    line = "    " + " 1.000000000000D+03" * 3
    third = "    " + " 1.000000000000D+03" * 3 + f"{float(channel):19.12E}".replace("E", "D")
    return "\n".join([first, line + " 0.000000000000D+00", third, line + " 0.000000000000D+00"]) + "\n"


def test_counts_and_repr_from_bytes():
    text = HEADER + kepler_record("G01") + kepler_record("G01") + kepler_record("J02") + kepler_record("E11")
    text += glonass_record(7, -7) + "S20 2020 06 25 00 00 00\n     continuation\n"
    nav = quorlin_cn0.read_navigation_bytes(text.encode())
    assert (nav.gps_count, nav.galileo_count, nav.beidou_count, nav.glonass_count) == (2, 1, 0, 1)
    assert nav.satellite_count == 4
    assert nav.has_data() is True
    assert repr(nav) == "NavigationData(GPS=2, GLONASS=1, Galileo=1, BeiDou=0)"


def test_header_only_file_has_no_data():
    nav = quorlin_cn0.read_navigation_bytes(HEADER.encode())
    assert nav.has_data() is False
    assert repr(nav) == "NavigationData(GPS=0, GLONASS=0, Galileo=0, BeiDou=0)"


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: quorlin_cn0.read_navigation_bytes(b"no header end"), ValueError, "No END OF HEADER found"),
        (lambda: quorlin_cn0.read_navigation("/nonexistent/x.nav"), OSError,
         "No such file or directory (os error 2)"),
        (lambda: quorlin_cn0.read_navigation_bytes("text"), TypeError,
         "argument 'data': 'str' object cannot be converted to 'bytes'"),
        (lambda: quorlin_cn0.NavigationData(), TypeError, "No constructor defined for NavigationData"),
        (lambda: quorlin_cn0.parse_tle_content(b"x"), TypeError,
         "argument 'content': 'bytes' object cannot be converted to 'str'"),
        (lambda: quorlin_cn0.download_tle(1), TypeError,
         "download_tle() takes 0 positional arguments but 1 was given"),
    ],
    ids=["no-header", "missing-file", "str-data", "constructor", "tle-bytes", "download-args"],
)
def test_errors(call, error, message):
    with pytest.raises(error) as info:
        call()
    assert str(info.value) == message


def test_docstrings():
    assert quorlin_cn0.read_navigation.__doc__ == "Read navigation file from path"
    assert quorlin_cn0.read_navigation.__text_signature__ == "(path)"
    assert quorlin_cn0.read_navigation_bytes.__text_signature__ == "(data)"
    assert quorlin_cn0.download_tle.__doc__ == "Download GNSS TLE from CelesTrak"
    assert quorlin_cn0.parse_tle_content.__doc__ == "Parse TLE content and return satellite count"
    assert quorlin_cn0.NavigationData.has_data.__doc__ == "Check if navigation data is available"
    assert quorlin_cn0.NavigationData.gps_count.__doc__ == "Get GPS satellite count"
    assert quorlin_cn0.NavigationData.__doc__ == "Python wrapper for NavigationData"


@needs_shared
@pytest.mark.parametrize("name", ["brdc0010.21n", "amel0010.21g", "ESBC00DNK_R_20201770000_01D_MN.rnx.gz"])
def test_real_files_count_distinct_satellites(name):
    raw = (SHARED / "nav" / name).read_bytes()
    if name.endswith(".gz"):
        raw = gzip.decompress(raw)
    nav = quorlin_cn0.read_navigation_bytes(raw)
    # Count the distinct satellites of the record first lines independently.
    text = raw.decode("ascii", "replace").splitlines()
    body = text[next(i for i, line in enumerate(text) if "END OF HEADER" in line[60:]) + 1:]
    if name.endswith("n"):
        expected = {"G": {line[:2].strip() for line in body[::8] if line.strip()}}
        assert nav.gps_count == len(expected["G"])
        assert nav.glonass_count == 0
    elif name.endswith("g"):
        slots = {line[:2].strip() for line in body[::4] if line.strip()}
        assert nav.glonass_count == len(slots)
        assert nav.gps_count == 0
    else:
        firsts = {line[:3] for line in body if line[:1] in "GJECR" and line[1:3].isdigit()}
        assert nav.gps_count == len({s for s in firsts if s[0] in "GJ"})
        assert nav.galileo_count == len({s for s in firsts if s[0] == "E"})
        assert nav.beidou_count == len({s for s in firsts if s[0] == "C"})
        assert nav.glonass_count == len({s for s in firsts if s[0] == "R"})


@needs_shared
def test_tle_group_file_counts_gnss_sets():
    content = (SHARED / "tle" / "gnss.txt").read_text()
    lines = [line.strip() for line in content.splitlines()]
    # Independent count: names with a GPS PRN, a Galileo (Exx) tag or a QZS name, over valid groups.
    expected = 0
    i = 0
    while i + 2 < len(lines):
        name, first, second = lines[i], lines[i + 1], lines[i + 2]
        if first.startswith("1") and second.startswith("2"):
            upper = name.upper()
            gps = ("GPS" in upper or "NAVSTAR" in upper) and "PRN" in upper
            galileo = ("GALILEO" in upper or "GSAT" in upper) and ("(E" in upper or "GSAT0" in upper)
            qzss = "QZS" in upper or "MICHIBIKI" in upper
            if (gps or galileo or qzss) and float(second[52:63].strip() or 0) > 0:
                expected += 1
            i += 3
        else:
            i += 1
    assert quorlin_cn0.parse_tle_content(content) == expected > 0


VALID_TLE = "GPS BIIR-2 (PRN 13)\n1 24876U 97035A   24001.00000000  .00000000  00000-0  00000-0 0  9990\n" \
            "2 24876  55.5000 100.0000 0040000 100.0000 260.0000  2.00561000000000\n"


def fake_curl(tmp_path: Path, script: str) -> dict:
    """Puts a curl first on PATH that runs script; every run appends its arguments to a log."""
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    log = tmp_path / "runs.log"
    curl = bin_dir / "curl"
    curl.write_text("#!/bin/sh\n" f'echo "$*" >> "{log}"\n' + textwrap.dedent(script))
    curl.chmod(curl.stat().st_mode | stat.S_IEXEC)
    return {"PATH": f"{bin_dir}:{os.environ['PATH']}", "log": log}


def runs(log: Path) -> list[str]:
    return log.read_text().splitlines() if log.exists() else []


@pytest.fixture
def with_path(monkeypatch):
    def apply(env):
        monkeypatch.setenv("PATH", env["PATH"])
        return env["log"]

    return apply


def test_download_first_source_wins(tmp_path, with_path):
    log = with_path(fake_curl(tmp_path, f"printf '%s' '{VALID_TLE}'\n"))
    text = quorlin_cn0.download_tle()
    assert text == VALID_TLE
    (run,) = runs(log)
    assert run.startswith("-sL --connect-timeout 10 https://")
    assert run.endswith("/NORAD/elements/gp.php?GROUP=gnss&FORMAT=tle")
    assert quorlin_cn0.parse_tle_content(text) == 1


def test_download_falls_through_to_third_source(tmp_path, with_path):
    count = tmp_path / "count"
    script = f"""
        n=$(cat "{count}" 2>/dev/null || echo 0); n=$((n + 1)); echo $n > "{count}"
        if [ $n -lt 3 ]; then echo '1 2 partial'; exit 22; fi
        printf '%s' '{VALID_TLE}'
    """
    log = with_path(fake_curl(tmp_path, script))
    assert quorlin_cn0.download_tle() == VALID_TLE
    urls = [run.split()[-1] for run in runs(log)]
    assert len(urls) == 3
    assert urls[1].endswith("/NORAD/elements/gnss.txt") and urls[2].endswith("/NORAD/elements/gnss.txt")
    assert urls[1] != urls[2]


@pytest.mark.parametrize(
    "script",
    ["echo 'no element lines 1 here'\n", "printf '\\377\\376 1 2 '\n", "exit 6\n"],
    ids=["no-line-2", "not-utf8", "exit-status"],
)
def test_download_fails_after_three_sources(tmp_path, with_path, script):
    log = with_path(fake_curl(tmp_path, script))
    with pytest.raises(OSError) as info:
        quorlin_cn0.download_tle()
    assert str(info.value) == "Failed to download TLE from all sources"
    assert len(runs(log)) == 3


def test_download_without_curl(tmp_path, monkeypatch):
    monkeypatch.setenv("PATH", str(tmp_path))
    with pytest.raises(OSError, match="^Failed to download TLE from all sources$"):
        quorlin_cn0.download_tle()
