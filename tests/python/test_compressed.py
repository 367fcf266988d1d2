"""Compressed input wherever the module reads files: every real file, compressed with the standard
tools in each format, gives the record and the analysis of its plain content; the Hatanaka decoder
against the format author's tool; cut and damaged archives; the output limit; file names."""
import gzip
import os
import pathlib
import shutil
import subprocess
import zipfile

import pytest

import quorlin_cn0 as q
from conftest import REPO, SHARED_DATA
from rinex_text import epoch_v2, header, header_v2

ARCHIVE_DATA = REPO / "tests" / "data" / "archive"
# Copies made with the command-line tools are kept between runs and interpreter versions.
COPIES = REPO / "build" / "compressed-copies"

OBS_FILES = ["14601736.18o", "cn000010.21o", "NMBUS_SAMSUNG_S20.20o",
             "CEDA00USA_R_20182100000_23H_15S_MO.rnx.gz", "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"]
NAV_FILES = ["14601736.18n", "brdc0010.21n", "amel0010.21g", "NMBUS_SAMSUNG_S20.20n",
             "ESBC00DNK_R_20201770000_01D_MN.rnx.gz", "ELKO00USA_R_20182100000_01D_MN.rnx.gz",
             "BRD400DLR_S_20230710000_01D_MN.rnx.gz"]
# Each format: the program that makes it (Debian package in brackets) and its command.
FORMATS = {
    "gz": ("gzip", lambda src, dst: ["gzip", "-c", "-6", src]),
    "bz2": ("bzip2", lambda src, dst: ["bzip2", "-c", "-9", src]),
    "Z": ("compress (ncompress)", lambda src, dst: ["compress", "-c", src]),
    "zip": ("zip", lambda src, dst: ["zip", "-q", "-j", dst, src]),
}
FAILURE_PREFIX = {"gz": "Corrupt gzip data: ", "bz2": "Corrupt bzip2 data: ", "zip": "Corrupt zip archive: ",
                  "Z": "Corrupt Unix compress data: "}


def shared(kind, name):
    path = SHARED_DATA / kind / name
    if not path.is_file():
        pytest.skip(f"shared data file missing: {path}")
    return path


def plain_name(name):
    return name[:-3] if name.endswith(".gz") else name


def plain_content(kind, name):
    """The plain bytes of a shared file, gzip files opened by Python's own gzip module."""
    data = shared(kind, name).read_bytes()
    return gzip.decompress(data) if name.endswith(".gz") else data


def plain_file(kind, name, folder):
    """The plain content under its plain name, in folder."""
    target = folder / plain_name(name)
    if not target.exists():
        target.write_bytes(plain_content(kind, name))
    return target


def compressed_copy(kind, name, fmt):
    """The plain content of a shared file compressed by the standard tool of fmt (cached)."""
    tool, command = FORMATS[fmt]
    if shutil.which(command("x", "y")[0]) is None:
        pytest.skip(f"{tool} is not installed")
    content = plain_content(kind, name)
    folder = COPIES / fmt / str(len(content))
    target = folder / f"{plain_name(name)}.{fmt}"
    if not target.exists():
        folder.mkdir(parents=True, exist_ok=True)
        source = plain_file(kind, name, folder)
        partial = folder / f"partial-{os.getpid()}.{fmt}"
        if fmt == "zip":  # zip writes the archive itself, the others to standard output
            subprocess.run(command(str(source), str(partial)), check=True)
        else:
            with open(partial, "wb") as out:
                subprocess.run(command(str(source), str(partial)), stdout=out, check=True)
        partial.replace(target)
        source.unlink()
    return target


def obs_digest(obs):
    return (obs.version, obs.num_epochs, obs.num_satellites, obs.marker_name, obs.receiver_type, obs.interval,
            obs.satellites_by_system(), obs.obs_types_by_system(), obs.snr_availability(), obs.debug_info(),
            obs.snr_stats_by_satellite())


def nav_digest(nav):
    return (nav.satellite_count, nav.gps_count, nav.glonass_count, nav.galileo_count, nav.beidou_count, nav.has_data())


@pytest.mark.parametrize("fmt", list(FORMATS))
@pytest.mark.parametrize("name", OBS_FILES, ids=[plain_name(n) for n in OBS_FILES])
def test_compressed_observations_give_the_record_of_their_plain_content(name, fmt, tmp_path):
    plain = q.read_rinex_obs(plain_file("obs", name, tmp_path))
    copy = compressed_copy("obs", name, fmt)
    assert obs_digest(q.read_rinex_obs(copy)) == obs_digest(plain)
    if copy.stat().st_size < 1 << 20:  # the bytes route too, where it costs little
        assert obs_digest(q.read_rinex_obs_bytes(copy.read_bytes(), copy.name)) == obs_digest(plain)


@pytest.mark.parametrize("fmt", list(FORMATS))
@pytest.mark.parametrize("name", NAV_FILES, ids=[plain_name(n) for n in NAV_FILES])
def test_compressed_navigation_gives_the_record_of_its_plain_content(name, fmt):
    plain = q.read_navigation_bytes(plain_content("nav", name))
    copy = compressed_copy("nav", name, fmt)
    assert nav_digest(q.read_navigation(copy)) == nav_digest(plain)
    assert nav_digest(q.read_navigation_bytes(copy.read_bytes())) == nav_digest(plain)


@pytest.mark.parametrize("fmt", ["bz2", "Z", "zip"])
def test_analysis_with_compressed_files_gives_the_json_of_the_plain_files(fmt, tmp_path):
    obs, nav = "NMBUS_SAMSUNG_S20.20o", "NMBUS_SAMSUNG_S20.20n"
    plain = q.analyze_cn0(plain_file("obs", obs, tmp_path), plain_file("nav", nav, tmp_path))
    obs_copy, nav_copy = compressed_copy("obs", obs, fmt), compressed_copy("nav", nav, fmt)
    assert q.analyze_cn0(obs_copy, nav_copy).to_json() == plain.to_json()
    configured = q.CN0Analyzer(q.AnalysisConfig(nav_file=str(tmp_path / nav))).analyze_file(tmp_path / obs).to_json()
    analyzer = q.CN0Analyzer(q.AnalysisConfig(nav_file=nav_copy))
    assert analyzer.analyze_file(obs_copy).to_json() == configured
    assert analyzer.analyze_with_nav(obs_copy, nav_copy).to_json() == configured


def test_real_hatanaka_day_gives_the_record_and_json_of_the_plain_day(tmp_path):
    crx = shared("compressed", "ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz")
    rnx = plain_file("obs", "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", tmp_path)
    nav = shared("nav", "ESBC00DNK_R_20201770000_01D_MN.rnx.gz")
    assert obs_digest(q.read_rinex_obs(crx)) == obs_digest(q.read_rinex_obs(rnx))
    assert q.analyze_cn0(crx, nav).to_json() == q.analyze_cn0(rnx, nav).to_json()


def test_real_hatanaka_and_zip_of_one_rinex_2_day_agree():
    crx, archive = shared("compressed", "york0440.15d"), shared("compressed", "york0440.zip")
    from_crx, from_zip = q.read_rinex_obs(crx), q.read_rinex_obs(archive)
    assert obs_digest(from_crx) == obs_digest(from_zip)
    assert (from_crx.num_epochs, from_crx.marker_name, sorted(from_crx.satellites_by_system())) == (2880, "YORK", ["G"])
    assert q.analyze_cn0(crx).to_json() == q.analyze_cn0(archive).to_json()


def hatanaka():
    return pytest.importorskip("hatanaka", reason="the hatanaka package (the reference decoder) is not installed")


def crinex_files():
    files = sorted(ARCHIVE_DATA.glob("*.crx")) + sorted(ARCHIVE_DATA.glob("*.[0-9][0-9][dD]"))
    for name in ("york0440.15d", "ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz"):
        if (SHARED_DATA / "compressed" / name).is_file():
            files.append(SHARED_DATA / "compressed" / name)
    return files


@pytest.mark.parametrize("path", crinex_files(), ids=lambda p: p.name)
def test_compact_rinex_decodes_byte_for_byte_as_the_reference_tool(path):
    reference = hatanaka().decompress(path.read_bytes())
    assert q.decompress(path.read_bytes(), path.name)[0] == reference


@pytest.mark.parametrize("name", OBS_FILES[:4], ids=[plain_name(n) for n in OBS_FILES[:4]])
def test_every_plain_file_through_the_reference_compressor_decodes_as_the_reference_tool(name):
    tool = hatanaka()
    plain = plain_content("obs", name)
    for every in (None, 7):  # also with all differences started again every 7 epochs
        crx = tool.rnx2crx(plain, reinit_every_nth=every)
        assert q.decompress(crx)[0] == tool.crx2rnx(crx)


def test_rinex_4_through_the_reference_compressor_decodes_as_the_reference_tool():
    tool = hatanaka()
    day = plain_content("obs", "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")
    head = day[:day.index(b"\n>", 150000) + 1]  # the header and the first epochs
    rinex_4 = head.replace(b"     3.05           OBSERVATION DATA", b"     4.01           OBSERVATION DATA", 1)
    crx = tool.rnx2crx(rinex_4)
    assert crx.startswith(b"3.0 ")  # compact RINEX 3 serves RINEX 4 too
    assert q.decompress(crx)[0] == tool.crx2rnx(crx)
    assert q.read_rinex_obs_bytes(crx, "x").version == 4.01


def tool_output(*commands, stdin=None):
    for command in commands:
        if shutil.which(command[0]) is None:
            pytest.skip(f"{command[0]} is not installed")
    return b"".join(subprocess.run(c, input=stdin, capture_output=True, check=True).stdout for c in commands)


def test_members_and_streams_in_a_row():
    first, second = plain_content("obs", "14601736.18o"), b"more text\n"
    for compressor in ("gzip", "bzip2"):
        data = tool_output([compressor, "-c"], stdin=first) + tool_output([compressor, "-c"], stdin=second)
        assert q.decompress(data)[0] == first + second


def test_zip_archives_of_several_members_give_their_rinex_member(tmp_path):
    rinex = plain_content("obs", "14601736.18o")
    (tmp_path / "README.txt").write_text("station logs\n")
    (tmp_path / "site1730.18o").write_bytes(rinex)
    made_by_zip = tmp_path / "made_by_zip.zip"
    if shutil.which("zip") is None:
        pytest.skip("zip is not installed")
    subprocess.run(["zip", "-q", "-j", made_by_zip, tmp_path / "README.txt", tmp_path / "site1730.18o"], check=True)

    class Unseekable:  # zipfile writes sizes and CRC after the data when it cannot seek back
        def __init__(self):
            self.data = bytearray()

        def write(self, piece):
            self.data += piece
            return len(piece)

        def flush(self):
            pass

    streamed = Unseekable()
    with zipfile.ZipFile(streamed, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("docs/notes.txt", "notes\n")
        with archive.open("data/site1730.18o", "w") as member:
            member.write(rinex)
    for data in (made_by_zip.read_bytes(), bytes(streamed.data)):
        assert q.decompress(data, "bundle.zip") == (rinex, "site1730.18o")
        assert q.read_rinex_obs_bytes(data, "bundle.zip").num_epochs == q.read_rinex_obs_bytes(rinex, "x").num_epochs


@pytest.mark.parametrize("fmt", list(FORMATS))
def test_cut_archives_raise_value_error_naming_format_and_problem(fmt):
    data = compressed_copy("obs", "14601736.18o", fmt).read_bytes()
    full = q.read_rinex_obs_bytes(data, "x")
    for size in range(12, len(data), max(1, len(data) // 60)):
        try:
            cut = q.read_rinex_obs_bytes(data[:size], "x")
        except ValueError as error:
            assert str(error).startswith(FAILURE_PREFIX[fmt]) or (fmt == "Z" and str(error) == "No END OF HEADER found")
        else:
            # Unix compress records no length: cut between codes, it reads as a shorter file.
            assert fmt == "Z" and cut.num_epochs <= full.num_epochs


@pytest.mark.parametrize("fmt, problem", [
    ("gz", "Corrupt gzip data: "), ("bz2", "Corrupt bzip2 data: invalid compressed data or checksum"),
    ("zip", "Corrupt zip archive: "),
], ids=["gz", "bz2", "zip"])
def test_damaged_archives_raise_value_error(fmt, problem):
    data = bytearray(compressed_copy("obs", "14601736.18o", fmt).read_bytes())
    data[len(data) // 2] ^= 0x55
    with pytest.raises(ValueError, match="^" + problem):
        q.read_rinex_obs_bytes(bytes(data), "x")


def test_cut_gzip_and_hatanaka_files_say_what_broke(tmp_path):
    data = gzip.compress(plain_content("obs", "14601736.18o"))
    with pytest.raises(ValueError, match="^Corrupt gzip data: unexpected end of stream$"):
        q.read_rinex_obs_bytes(data[:len(data) // 2], "x")
    path = tmp_path / "cut.18d"
    path.write_bytes((ARCHIVE_DATA / "14601736.18d").read_bytes()[:3000])
    with pytest.raises(ValueError, match=r"^Corrupt compact RINEX: unexpected end of data at line \d+$"):
        q.read_rinex_obs(path)
    with pytest.raises(ValueError, match=r"^Corrupt compact RINEX: unexpected end of data at line \d+$"):
        q.CN0Analyzer(q.AnalysisConfig()).analyze_file(path)


@pytest.fixture
def limit():
    saved = q.get_decompression_limit()
    yield
    q.set_decompression_limit(saved)


def test_decompression_limit_bounds_every_layer(limit, tmp_path):
    assert q.get_decompression_limit() == 4 << 30
    data = gzip.compress(plain_content("obs", "14601736.18o"))
    q.set_decompression_limit(1000)
    assert q.get_decompression_limit() == 1000
    message = ("Decompressed gzip data exceed the limit of 1000 bytes "
               "(quorlin_cn0.set_decompression_limit raises it)")
    with pytest.raises(ValueError) as raised:
        q.read_rinex_obs_bytes(data, "x")
    assert str(raised.value) == message
    path = tmp_path / "site.18o.gz"
    path.write_bytes(data)
    for call in (lambda: q.read_rinex_obs(path), lambda: q.analyze_cn0(path), lambda: q.decompress(data),
                 lambda: q.CN0Analyzer(q.AnalysisConfig()).analyze_file(path)):
        with pytest.raises(ValueError, match="exceed the limit of 1000 bytes"):
            call()
    # Plain files are never limited.
    assert q.read_rinex_obs_bytes(plain_content("obs", "14601736.18o"), "x").num_epochs > 0


def test_a_small_bomb_stops_at_the_limit(limit):
    bomb = tool_output(["compress", "-c"], stdin=bytes(64 << 20))
    assert len(bomb) < 1 << 20
    q.set_decompression_limit(1 << 20)
    with pytest.raises(ValueError, match="^Decompressed Unix compress data exceed the limit of 1048576 bytes"):
        q.read_rinex_obs_bytes(bomb, "bomb.Z")


@pytest.mark.parametrize("value, message", [
    ("1000", "argument 'max_bytes': 'str' object cannot be interpreted as an integer"),
    (-1, "argument 'max_bytes': out of range integral type conversion attempted"),
    (1 << 64, "argument 'max_bytes': out of range integral type conversion attempted"),
], ids=["str", "negative", "too-large"])
def test_decompression_limit_argument_errors(limit, value, message):
    with pytest.raises(TypeError) as raised:
        q.set_decompression_limit(value)
    assert str(raised.value) == message


def small_rinex_2():
    """Observations without a MARKER NAME line, so the file name becomes the marker name."""
    text = header_v2(["C1", "S1"]) + epoch_v2("24 1 1 0 0 0.0", [("G01", [2.1e7, 45.0])], 2)
    return text.encode()


def test_compressed_files_name_their_marker_like_their_plain_file(tmp_path):
    rinex = small_rinex_2()
    tool = hatanaka()
    crx = tool.rnx2crx(rinex)
    cases = {"site0010.24o.gz": (gzip.compress(rinex), rinex), "site0010.24d": (crx, tool.crx2rnx(crx)),
             "site0010.24d.gz": (gzip.compress(crx), tool.crx2rnx(crx))}
    for name, (data, plain) in cases.items():
        path = tmp_path / name
        path.write_bytes(data)
        assert q.read_rinex_obs(path).marker_name == "site0010.24o", name
        assert q.read_rinex_obs_bytes(data, name).marker_name == "site0010.24o", name
        assert q.decompress(data, name) == (plain, "site0010.24o")
    # Plain bytes keep the name they are given, suffix and all.
    assert q.read_rinex_obs_bytes(rinex, "site0010.24o.gz").marker_name == "site0010.24o.gz"


def test_decompress_returns_plain_data_unchanged():
    rinex = small_rinex_2()
    plain, name = q.decompress(rinex)
    assert plain is rinex and name == ""
    assert q.decompress(gzip.compress(rinex), filename="a.gz") == (rinex, "a")
    with pytest.raises(TypeError, match="^argument 'data': 'bytearray' object cannot be converted to 'bytes'$"):
        q.decompress(bytearray(rinex))


class FsPath:
    """An os.PathLike that is not a pathlib.Path."""

    def __init__(self, path, raw=False):
        self.path = os.fsencode(path) if raw else str(path)

    def __fspath__(self):
        return self.path


class BrokenPath:
    def __fspath__(self):
        raise RuntimeError("no path today")


def test_path_arguments_accept_path_like_objects(tmp_path):
    obs = plain_file("obs", "NMBUS_SAMSUNG_S20.20o", tmp_path)
    nav = plain_file("nav", "NMBUS_SAMSUNG_S20.20n", tmp_path)
    expected = q.analyze_cn0(str(obs), str(nav)).to_json()
    configured = q.CN0Analyzer(q.AnalysisConfig(nav_file=str(nav))).analyze_file(str(obs)).to_json()
    for wrap in (pathlib.Path, FsPath, lambda p: FsPath(p, raw=True)):
        assert q.read_rinex_obs(wrap(obs)).num_epochs == q.read_rinex_obs(str(obs)).num_epochs
        assert q.read_navigation(wrap(nav)).satellite_count == q.read_navigation(str(nav)).satellite_count
        assert q.analyze_cn0(wrap(obs), wrap(nav)).to_json() == expected
        analyzer = q.CN0Analyzer(q.AnalysisConfig(nav_file=wrap(nav)))
        assert analyzer.analyze_file(wrap(obs)).to_json() == configured
        assert analyzer.analyze_with_nav(wrap(obs), wrap(nav)).to_json() == configured
    assert q.AnalysisConfig(nav_file=pathlib.Path("/data/x.rnx")).nav_file == "/data/x.rnx"


@pytest.mark.parametrize("call, name", [
    (lambda v: q.read_rinex_obs(v), "path"), (lambda v: q.read_navigation(v), "path"),
    (lambda v: q.analyze_cn0(v), "obs_path"), (lambda v: q.analyze_cn0("x.obs", v), "nav_path"),
    (lambda v: q.CN0Analyzer(q.AnalysisConfig()).analyze_file(v), "obs_path"),
    (lambda v: q.CN0Analyzer(q.AnalysisConfig()).analyze_with_nav("x.obs", v), "nav_path"),
    (lambda v: q.AnalysisConfig(nav_file=v), "nav_file"),
], ids=["read_rinex_obs", "read_navigation", "analyze_cn0", "analyze_cn0-nav", "analyze_file", "analyze_with_nav",
        "AnalysisConfig"])
@pytest.mark.parametrize("value, message", [
    (3, "'int' object cannot be converted to 'str'"),
    (b"site.obs", "'bytes' object cannot be converted to 'str'"),
    (BrokenPath(), "no path today"),
], ids=["int", "bytes", "broken-fspath"])
def test_other_path_types_keep_their_type_errors(call, name, value, message):
    with pytest.raises(TypeError) as raised:
        call(value)
    assert str(raised.value) == f"argument '{name}': {message}"
