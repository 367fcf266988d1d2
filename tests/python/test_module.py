"""The module surface: attributes, registration order, documentation, argument errors,
exceptions, reference counts and the one-interpreter rule."""
import os
import subprocess
import sys
import textwrap
import types

import pytest

import quorlin_cn0 as q
from rinex_text import END, header, header_v3, epoch_v3

ATTRIBUTES = ["VERSION", "__version__"]
CLASSES = ["RinexObsData", "NavigationData", "AnalysisConfig", "CN0Analyzer", "AnalysisResult", "QualityScore",
           "Column"]
FUNCTIONS = {
    "read_rinex_obs": ("(path)", "Read RINEX observation file from path"),
    "read_rinex_obs_bytes": ("(data, filename)", "Read RINEX observation file from bytes"),
    "parse_rinex": ("(data, filename)", "Alias for read_rinex_obs_bytes - parse RINEX from bytes"),
    "read_navigation": ("(path)", "Read navigation file from path"),
    "read_navigation_bytes": ("(data)", "Read navigation file from bytes"),
    "analyze_cn0": ("(obs_path, nav_path=None, min_elevation=5.0, systems=None)", "Quick analysis function"),
    "version": ("()", "Get library version"),
    "download_tle": ("()", "Download GNSS TLE from CelesTrak"),
    "parse_tle_content": ("(content)", "Parse TLE content and return satellite count"),
    "decompress": ("(data, filename='')", "Decode gzip, Unix compress, bzip2, zip and compact RINEX data, also "
                   "nested: returns the plain bytes (plain data unchanged) and the file name without its "
                   "compression suffixes"),
    "get_decompression_limit": ("()", "The most bytes one decoded layer of a compressed input may take"),
    "set_decompression_limit": ("(max_bytes)", "Set the most bytes one decoded layer of a compressed input may "
                                "take (4 GiB unless set); larger inputs raise ValueError"),
    "satellite_systems": ("()", "The satellite systems as dictionaries: letter, name (as the command line shows "
                          "it), result_name, raw_name and skyplot_name (as results name it), alias and "
                          "expected_satellites"),
}

SMALL_V3 = (header_v3({"G": "C1C S1C"}) + epoch_v3("2024 03 01 00 00 30.0000000", [("G01", [2.0e7, 45.0])])).encode()


def test_version_everywhere():
    assert q.VERSION == "0.4.2"
    assert q.__version__ == "0.4.2"
    assert q.version() == "0.4.2"


def test_registration_order():
    expected = ATTRIBUTES + CLASSES + list(FUNCTIONS)
    # Submodules of the Python part (quorlin_cn0.frames, .plot, .report) appear once imported.
    public = [name for name, value in vars(q).items()
              if (name in expected or not name.startswith("_")) and not isinstance(value, types.ModuleType)]
    # Whatever exists so far appears in the order attributes, classes, functions.
    assert public == [name for name in expected if name in public]
    for required in ATTRIBUTES + ["RinexObsData", "read_rinex_obs", "read_rinex_obs_bytes", "parse_rinex", "version"]:
        assert required in public


@pytest.mark.parametrize("name", list(FUNCTIONS), ids=list(FUNCTIONS))
def test_function_documentation(name):
    if not hasattr(q, name):
        pytest.skip(f"{name} not yet in the module")
    signature, description = FUNCTIONS[name]
    function = getattr(q, name)
    assert function.__text_signature__ == signature
    assert function.__doc__ == description


METHODS = {
    "satellites_by_system": "Get satellites grouped by constellation system\n"
    "Returns dict like {'G': ['G01', 'G02', ...], 'R': ['R01', ...], ...}",
    "obs_types_by_system": "Get observation types by constellation system\n"
    "Returns dict like {'G': ['C1C', 'L1C', 'S1C', ...], 'C': ['C1I', 'L1I', 'S1I', ...], ...}",
    "snr_availability": "Check if S (SNR) observations exist for each system",
    "debug_info": "Get detailed debug info about parsing",
    "snr_stats_by_satellite": "Get SNR statistics per satellite\n"
    "Returns HashMap with satellite ID as key, stats dict as value",
    "cn0_columns": "The C/N0 values (codes beginning with S) as columns: a dict of read-only Column objects time, "
    "satellite, system, signal and cn0, one row per value, for numpy.asarray",
    "to_pandas": "The C/N0 values as a pandas DataFrame, one row per value (needs pandas)",
    "to_xarray": "The C/N0 values as an xarray Dataset over time, satellite and signal (needs xarray)",
}
PROPERTIES = {
    "num_epochs": "Get number of epochs",
    "num_satellites": "Get number of satellites",
    "version": "Get RINEX version",
    "marker_name": "Get marker name",
    "receiver_type": "Get receiver type",
    "interval": "Get interval",
}


@pytest.mark.parametrize("name", list(METHODS), ids=list(METHODS))
def test_method_documentation(name):
    method = getattr(q.RinexObsData, name)
    assert method.__text_signature__ == "($self)"
    assert method.__doc__ == METHODS[name]
    bound = getattr(q.read_rinex_obs_bytes(SMALL_V3, "x"), name)
    assert bound.__doc__ == METHODS[name]


def test_class_and_property_documentation():
    assert q.RinexObsData.__doc__ == "Python wrapper for RinexObsData"
    for name, doc in PROPERTIES.items():
        assert getattr(q.RinexObsData, name).__doc__ == doc, name
    public = {n for n in dir(q.RinexObsData) if not n.startswith("_")}
    assert public == set(METHODS) | set(PROPERTIES)


def test_no_constructor_and_no_setters():
    with pytest.raises(TypeError) as info:
        q.RinexObsData()
    assert str(info.value) == "No constructor defined for RinexObsData"
    obs = q.read_rinex_obs_bytes(SMALL_V3, "x")
    with pytest.raises(AttributeError):
        obs.num_epochs = 3
    with pytest.raises(AttributeError):
        obs.extra = 1
    with pytest.raises(TypeError):

        class Sub(q.RinexObsData):
            pass


B = b""
ARGUMENT_ERRORS = [
    ("missing one", lambda: q.read_rinex_obs(),
     "read_rinex_obs() missing 1 required positional argument: 'path'"),
    ("missing two", lambda: q.read_rinex_obs_bytes(),
     "read_rinex_obs_bytes() missing 2 required positional arguments: 'data' and 'filename'"),
    ("missing second", lambda: q.parse_rinex(B),
     "parse_rinex() missing 1 required positional argument: 'filename'"),
    ("missing by keyword", lambda: q.parse_rinex(filename="x"),
     "parse_rinex() missing 1 required positional argument: 'data'"),
    ("too many", lambda: q.read_rinex_obs("a", "b"),
     "read_rinex_obs() takes 1 positional arguments but 2 were given"),
    ("too many of two", lambda: q.read_rinex_obs_bytes(B, "x", 3),
     "read_rinex_obs_bytes() takes 2 positional arguments but 3 were given"),
    ("none taken", lambda: q.version(1),
     "version() takes 0 positional arguments but 1 was given"),
    ("unexpected keyword", lambda: q.read_rinex_obs(path="a", mode="r"),
     "read_rinex_obs() got an unexpected keyword argument 'mode'"),
    ("keyword to none", lambda: q.version(x=1),
     "version() got an unexpected keyword argument 'x'"),
    ("keyword with NUL", lambda: q.read_rinex_obs(**{"path\0x": "a"}),
     "read_rinex_obs() got an unexpected keyword argument 'path\0x'"),
    ("multiple values", lambda: q.read_rinex_obs_bytes(B, "x", data=B),
     "read_rinex_obs_bytes() got multiple values for argument 'data'"),
    ("path not str", lambda: q.read_rinex_obs(b"/tmp/x"),
     "argument 'path': 'bytes' object cannot be converted to 'str'"),
    ("data str", lambda: q.read_rinex_obs_bytes("text", "x"),
     "argument 'data': 'str' object cannot be converted to 'bytes'"),
    ("data bytearray", lambda: q.parse_rinex(bytearray(SMALL_V3), "x"),
     "argument 'data': 'bytearray' object cannot be converted to 'bytes'"),
    ("data memoryview", lambda: q.parse_rinex(memoryview(SMALL_V3), "x"),
     "argument 'data': 'memoryview' object cannot be converted to 'bytes'"),
    ("filename None", lambda: q.read_rinex_obs_bytes(B, None),
     "argument 'filename': 'NoneType' object cannot be converted to 'str'"),
    ("method positional", lambda: q.read_rinex_obs_bytes(SMALL_V3, "x").debug_info(1),
     "RinexObsData.debug_info() takes 0 positional arguments but 1 was given"),
    ("method keyword", lambda: q.read_rinex_obs_bytes(SMALL_V3, "x").snr_availability(system="G"),
     "RinexObsData.snr_availability() got an unexpected keyword argument 'system'"),
]


@pytest.mark.parametrize("call, message", [c[1:] for c in ARGUMENT_ERRORS], ids=[c[0] for c in ARGUMENT_ERRORS])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_arguments_by_keyword_and_position_agree():
    a = q.read_rinex_obs_bytes(SMALL_V3, "x")
    b = q.read_rinex_obs_bytes(filename="x", data=SMALL_V3)
    c = q.parse_rinex(SMALL_V3, filename="x")
    assert repr(a) == repr(b) == repr(c) == "RinexObsData(version=3.04, epochs=1, satellites=1)"
    assert a.debug_info() == b.debug_info() == c.debug_info()

    class Bytes(bytes):
        pass

    assert q.parse_rinex(Bytes(SMALL_V3), "x").num_epochs == 1


def test_missing_file_is_an_os_error(tmp_path):
    with pytest.raises(IOError) as info:
        q.read_rinex_obs(str(tmp_path / "absent.obs"))
    assert str(info.value) == f"{os.strerror(2)} (os error 2)"
    assert str(info.value) == "No such file or directory (os error 2)"
    with pytest.raises(OSError) as info:
        q.read_rinex_obs(str(tmp_path))
    assert str(info.value) == "Is a directory (os error 21)"


def test_nul_in_path(tmp_path):
    with pytest.raises(OSError) as info:
        q.read_rinex_obs(str(tmp_path) + "/a\0b")
    assert str(info.value) == "file name contained an unexpected NUL byte"


@pytest.mark.parametrize("function", [q.read_rinex_obs_bytes, q.parse_rinex], ids=["read_rinex_obs_bytes", "parse_rinex"])
@pytest.mark.parametrize("data", [b"abc", b"", b"\xff\xfe\x00" * 100, SMALL_V3.replace(b"END OF HEADER", b"END OF HEADEr")],
                         ids=["abc", "empty", "binary", "no end"])
def test_no_end_of_header(function, data):
    with pytest.raises(ValueError) as info:
        function(data, "x")
    assert str(info.value) == "No END OF HEADER found"


def test_no_end_of_header_from_file(tmp_path):
    path = tmp_path / "bad.obs"
    path.write_bytes(b"abc\n")
    with pytest.raises(ValueError, match="^No END OF HEADER found$"):
        q.read_rinex_obs(str(path))


def test_marker_name_from_the_file_name(tmp_path):
    data = (header("     3.04", "RINEX VERSION / TYPE") + END).encode()
    path = tmp_path / "site0010.24o"
    path.write_bytes(data)
    assert q.read_rinex_obs(str(path)).marker_name == "site0010.24o"
    assert q.read_rinex_obs_bytes(data, "x").marker_name == "x"
    assert q.read_rinex_obs_bytes(data, "").marker_name == ""
    assert q.read_rinex_obs_bytes(data, "Zürich").marker_name == "Zürich"
    sub = tmp_path / "sub"
    sub.mkdir()
    assert q.read_rinex_obs(str(sub / ".." / "site0010.24o")).marker_name == "site0010.24o"


def test_path_and_bytes_agree(tmp_path, shared_obs):
    path = shared_obs("14601736.18o")
    from_path = q.read_rinex_obs(str(path))
    from_bytes = q.read_rinex_obs_bytes(path.read_bytes(), path.name)
    for name in ["satellites_by_system", "obs_types_by_system", "snr_availability", "debug_info", "snr_stats_by_satellite"]:
        assert getattr(from_path, name)() == getattr(from_bytes, name)(), name
    assert repr(from_path) == repr(from_bytes)
    assert from_path.marker_name == from_bytes.marker_name


def test_invalid_utf8_input_reads_as_question_marks():
    # One '?' per byte of 0x80 and above, in identifiers and header texts alike.
    obs = q.read_rinex_obs_bytes(SMALL_V3.replace(b"G01", b"G0\xff", 1), "x")
    assert obs.satellites_by_system() == {"G": ["G0?"]}
    marker = header("Station X", "MARKER NAME").encode().replace(b"X", b"\xc3\xa9")
    assert q.read_rinex_obs_bytes(marker + SMALL_V3, "x").marker_name == "Station ??"
    # A satellite whose system letter is not ASCII has no codes.
    assert q.read_rinex_obs_bytes(SMALL_V3.replace(b"G01", b"\xc3\xa91", 1), "x").num_epochs == 0


def test_no_reference_leaks():
    data = bytes(SMALL_V3)
    name = "leak-check-name"
    bad = b"no header here"
    before = (sys.getrefcount(data), sys.getrefcount(name), sys.getrefcount(bad))
    for _ in range(1000):
        obs = q.read_rinex_obs_bytes(data, name)
        obs.debug_info()
        obs.snr_stats_by_satellite()
        q.parse_rinex(data=data, filename=name)
        with pytest.raises(ValueError):
            q.parse_rinex(bad, name)
        with pytest.raises(TypeError):
            q.parse_rinex(data, name, data)
    del obs
    assert (sys.getrefcount(data), sys.getrefcount(name), sys.getrefcount(bad)) == before


def test_reimport_returns_the_same_module():
    original = sys.modules.pop("quorlin_cn0")
    try:
        import quorlin_cn0 as again

        assert again is original
        assert again.read_rinex_obs_bytes(SMALL_V3, "x").num_epochs == 1
    finally:
        sys.modules["quorlin_cn0"] = original


def test_sub_interpreter_import_fails(tmp_path):
    # In a fresh process: the main interpreter imports first, then a sub-interpreter tries.
    out = tmp_path / "result.txt"
    sub_code = textwrap.dedent(f"""
        try:
            import quorlin_cn0
            result = "imported"
        except BaseException as e:
            result = type(e).__name__ + ": " + str(e)
        with open({str(out)!r}, "w") as f:
            f.write(result)
    """)
    script = textwrap.dedent(f"""
        import sys
        try:
            import _testcapi
        except ImportError:
            sys.exit(77)
        if not hasattr(_testcapi, "run_in_subinterp"):
            sys.exit(77)
        import quorlin_cn0
        _testcapi.run_in_subinterp({sub_code!r})
        print(quorlin_cn0.version())
    """)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, cwd=tmp_path, timeout=60)
    if run.returncode == 77:
        pytest.skip("_testcapi.run_in_subinterp is not available")
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == "0.4.2"
    result = out.read_text()
    assert result.startswith("ImportError: ")
    assert "sub-interpreter" in result
