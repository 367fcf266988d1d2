"""CN0Analyzer: construction, the object and file styles, errors, the parser's file name, the
interpreter lock released during file analyses and the borrow error of an overlapping change."""
import gc
import gzip
import os
import subprocess
import sys
import threading
import time

import pytest

import quorlin_cn0 as q
from conftest import SHARED_DATA
from rinex_text import END, epoch_v3, header, header_v3

NAV_HEADER = (header("     3.04           N: GNSS NAV DATA    M: MIXED", "RINEX VERSION / TYPE") + END).encode()
METHODS = {
    "set_navigation": ("($self, nav_data)", "Set navigation data for satellite position computation (old API)"),
    "analyze": ("($self)", "Run CN0 analysis (old API - requires obs_data set via from_obs)"),
    "analyze_file": ("($self, obs_path)", "Analyze RINEX observation file from path (new API)"),
    "analyze_with_nav": ("($self, obs_path, nav_path)", "Analyze with separate navigation file (new API)"),
}


def small_obs(marker="SITE"):
    """G01 and E01 over two epochs: G01 at 40 then 46 dB-Hz, E01 at 50 then 44."""
    text = header_v3({"G": "C1C S1C", "E": "C1C S1C"}, marker=marker, interval=30.0)
    text += epoch_v3("2024 03 01 00 00  0.0000000", [("G01", [2e7, 40.0]), ("E01", [2e7, 50.0])])
    text += epoch_v3("2024 03 01 00 00 30.0000000", [("G01", [2e7, 46.0]), ("E01", [2e7, 44.0])])
    return text.encode()


@pytest.fixture
def files(tmp_path):
    """Paths of a small observation file, a header-only navigation file and two unparsable files."""
    paths = {"obs": tmp_path / "small.obs", "nav": tmp_path / "small.nav", "bad": tmp_path / "bad.obs",
             "bad_nav": tmp_path / "bad.nav"}
    paths["obs"].write_bytes(small_obs())
    paths["nav"].write_bytes(NAV_HEADER)
    paths["bad"].write_bytes(b"no header end\n")
    paths["bad_nav"].write_bytes(b"     3.04           N: GNSS NAV DATA\n")
    paths["missing"] = tmp_path / "absent.obs"
    return {name: str(path) for name, path in paths.items()}


def shared_file(tmp_path_factory, folder, name):
    """A gzip file of the shared data, decompressed once per session."""
    source = SHARED_DATA / folder / name
    if not source.is_file():
        pytest.skip(f"shared data file missing: {source}")
    target = tmp_path_factory.getbasetemp() / name.removesuffix(".gz")
    if not target.exists():
        with gzip.open(source) as compressed:
            target.write_bytes(compressed.read())
    return str(target)


@pytest.fixture(scope="session")
def esbc_obs(tmp_path_factory):
    """A full day at 30 s from six constellations, about 33 MB."""
    return shared_file(tmp_path_factory, "obs", "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz")


@pytest.fixture(scope="session")
def esbc_nav(tmp_path_factory):
    return shared_file(tmp_path_factory, "nav", "ESBC00DNK_R_20201770000_01D_MN.rnx.gz")


def test_class_surface():
    cls = q.CN0Analyzer
    assert cls.__doc__ == "Python wrapper for CN0Analyzer - supports both config-based and direct API"
    assert cls.__text_signature__ == "(config)"
    assert isinstance(cls.__dict__["from_obs"], staticmethod)
    assert cls.from_obs.__text_signature__ == "(obs_data, min_elevation=5.0, time_bin_seconds=60, systems=None)"
    assert cls.from_obs.__doc__ == "Alternative constructor from observation data (legacy API)"
    for name, (signature, doc) in METHODS.items():
        assert getattr(cls, name).__text_signature__ == signature, name
        assert getattr(cls, name).__doc__ == doc, name
    assert {n for n in dir(cls) if not n.startswith("_")} == {"from_obs", *METHODS}
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


def argument_cases():
    obs = q.read_rinex_obs_bytes(small_obs(), "x")
    config = q.AnalysisConfig()
    analyzer = q.CN0Analyzer(config)
    A = q.CN0Analyzer
    return [
        (lambda: A(), "CN0Analyzer.__new__() missing 1 required positional argument: 'config'"),
        (lambda: A(1), "argument 'config': 'int' object cannot be converted to 'AnalysisConfig'"),
        (lambda: A(config=obs), "argument 'config': 'RinexObsData' object cannot be converted to 'AnalysisConfig'"),
        (lambda: A(config, config), "CN0Analyzer.__new__() takes 1 positional arguments but 2 were given"),
        (lambda: A(configuration=config), "CN0Analyzer.__new__() got an unexpected keyword argument 'configuration'"),
        (lambda: A.from_obs(config),
         "argument 'obs_data': 'AnalysisConfig' object cannot be converted to 'RinexObsData'"),
        (lambda: A.from_obs(obs, min_elevation="5"), "argument 'min_elevation': must be real number, not str"),
        (lambda: A.from_obs(obs, time_bin_seconds=-1),
         "argument 'time_bin_seconds': out of range integral type conversion attempted"),
        (lambda: A.from_obs(obs, time_bin_seconds=2**32),
         "argument 'time_bin_seconds': out of range integral type conversion attempted"),
        (lambda: A.from_obs(obs, time_bin_seconds=30.0),
         "argument 'time_bin_seconds': 'float' object cannot be interpreted as an integer"),
        (lambda: A.from_obs(obs, systems="GPS"), "argument 'systems': Can't extract `str` to `Vec`"),
        (lambda: A.from_obs(obs, systems=["G", 1]),
         "argument 'systems': 'int' object cannot be converted to 'str'"),
        (lambda: A.from_obs(obs, 5.0, 60, None, 1),
         "CN0Analyzer.from_obs() takes from 1 to 4 positional arguments but 5 were given"),
        (lambda: analyzer.set_navigation(obs),
         "argument 'nav_data': 'RinexObsData' object cannot be converted to 'NavigationData'"),
        (lambda: analyzer.analyze(1), "CN0Analyzer.analyze() takes 0 positional arguments but 1 was given"),
        (lambda: analyzer.analyze_file(b"x.obs"), "argument 'obs_path': 'bytes' object cannot be converted to 'str'"),
        (lambda: analyzer.analyze_with_nav("x.obs"),
         "CN0Analyzer.analyze_with_nav() missing 1 required positional argument: 'nav_path'"),
        (lambda: analyzer.analyze_with_nav("x.obs", None),
         "argument 'nav_path': 'NoneType' object cannot be converted to 'str'"),
    ]


@pytest.mark.parametrize("index", range(len(argument_cases())))
def test_argument_errors(index):
    call, message = argument_cases()[index]
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_analyze_needs_observations():
    analyzer = q.CN0Analyzer(q.AnalysisConfig())
    analyzer.set_navigation(q.read_navigation_bytes(NAV_HEADER))
    with pytest.raises(ValueError) as info:
        analyzer.analyze()
    assert str(info.value) == "No observation data. Use analyze_file() or CN0Analyzer.from_obs()"


def test_from_obs_arguments_reach_the_analysis():
    obs = q.read_rinex_obs_bytes(small_obs(), "x")
    # Without navigation every sample sits at 45 degrees: a mask of 45.0 keeps all, 45.1 none.
    assert q.CN0Analyzer.from_obs(obs, 45).analyze().total_observations == 4
    assert q.CN0Analyzer.from_obs(obs, min_elevation=45.1).analyze().total_observations == 0
    galileo = q.CN0Analyzer.from_obs(obs, systems=("E",)).analyze()
    assert (galileo.total_observations, galileo.mean_cn0) == (2, 47.0)
    # Only the first character of each entry counts (Galileo selects G); empty entries are dropped.
    assert q.CN0Analyzer.from_obs(obs, systems=["", "Galileo"]).analyze().mean_cn0 == 43.0
    assert q.CN0Analyzer.from_obs(obs, systems=[]).analyze().total_observations == 0
    assert q.CN0Analyzer.from_obs(obs, time_bin_seconds=4294967295).analyze().total_observations == 4


def test_config_reaches_file_analysis(files):
    def run(**options):
        return q.CN0Analyzer(q.AnalysisConfig(**options)).analyze_file(files["obs"])

    gps = run(systems=["G"])
    assert (gps.total_observations, gps.mean_cn0) == (2, 43.0)
    in_range = run(min_cn0=44.0, max_cn0=46.0)  # both ends inclusive: 46 of G01, 44 of E01
    assert (in_range.total_observations, in_range.min_cn0, in_range.max_cn0) == (2, 44.0, 46.0)
    assert run(min_elevation=45.1).total_observations == 0


def test_analyzer_holds_copies_not_references(files):
    config = q.AnalysisConfig(systems=["E"])
    obs = q.read_rinex_obs(files["obs"])
    nav = q.read_navigation(files["nav"])
    counts = (sys.getrefcount(config), sys.getrefcount(obs), sys.getrefcount(nav))
    analyzers = [q.CN0Analyzer(config) for _ in range(50)] + [q.CN0Analyzer.from_obs(obs) for _ in range(50)]
    for analyzer in analyzers:
        analyzer.set_navigation(nav)
    assert (sys.getrefcount(config), sys.getrefcount(obs), sys.getrefcount(nav)) == counts
    del config, obs, nav
    gc.collect()
    assert analyzers[0].analyze_file(files["obs"]).mean_cn0 == 47.0
    first, second = analyzers[-1].analyze(), analyzers[-1].analyze()
    assert first is not second and first.to_json() == second.to_json()
    assert first.total_observations == 4


def test_from_obs_default_analyze_equals_analyze_cn0(esbc_obs):
    analyzer = q.CN0Analyzer.from_obs(q.read_rinex_obs(esbc_obs))
    result = analyzer.analyze()
    assert result.total_epochs == 2880 and result.filename == ""
    assert result.to_json() == q.analyze_cn0(esbc_obs).to_json()
    chosen = q.CN0Analyzer.from_obs(q.read_rinex_obs(esbc_obs), 7.5, 30, ["E", "C"]).analyze()
    assert chosen.to_json() == q.analyze_cn0(esbc_obs, min_elevation=7.5, systems=["E", "C"]).to_json()


def test_file_analysis_uses_the_configuration(esbc_obs):
    # A sensitivity of 0 keeps the thresholds 3 and 6, those of analyze_cn0.
    unscaled = q.CN0Analyzer(q.AnalysisConfig(anomaly_sensitivity=0.0)).analyze_file(esbc_obs)
    assert unscaled.to_json() == q.analyze_cn0(esbc_obs).to_json()
    # The default sensitivity lowers them to 2.25 and 4.5: more drops count as anomalies.
    scaled = q.CN0Analyzer(q.AnalysisConfig()).analyze_file(esbc_obs)
    assert scaled.anomaly_count > unscaled.anomaly_count


def test_stored_navigation_serves_analyze_only(esbc_obs, esbc_nav, files):
    analyzer = q.CN0Analyzer.from_obs(q.read_rinex_obs(esbc_obs))
    assert analyzer.set_navigation(q.read_navigation(esbc_nav)) is None
    with_nav = q.analyze_cn0(esbc_obs, esbc_nav)
    without_nav = q.analyze_cn0(esbc_obs)
    assert analyzer.analyze().to_json() == with_nav.to_json()
    # analyze_file reads its own file and neither the stored navigation nor the observations.
    assert analyzer.analyze_file(esbc_obs).to_json() == without_nav.to_json()
    assert analyzer.analyze_with_nav(esbc_obs, esbc_nav).to_json() == with_nav.to_json()
    assert analyzer.analyze().has_visibility_prediction is True and with_nav.to_json() != without_nav.to_json()
    assert analyzer.analyze_file(esbc_obs).has_visibility_prediction is False
    # A later set_navigation replaces the earlier one.
    analyzer.set_navigation(q.read_navigation(files["nav"]))
    assert analyzer.analyze().to_json() == q.analyze_cn0(esbc_obs, files["nav"]).to_json()


def test_navigation_file_of_the_configuration(files):
    def analyzer(nav_file):
        return q.CN0Analyzer(q.AnalysisConfig(nav_file=nav_file))

    assert analyzer(files["nav"]).analyze_file(files["obs"]).total_observations == 4
    with pytest.raises(OSError) as info:
        analyzer(files["missing"]).analyze_file(files["obs"])
    assert str(info.value) == "No such file or directory (os error 2)"
    with pytest.raises(ValueError, match="^No END OF HEADER found$"):
        analyzer(files["bad_nav"]).analyze_file(files["obs"])
    # analyze_with_nav reads its argument, never the configured file.
    assert analyzer(files["missing"]).analyze_with_nav(files["obs"], files["nav"]).total_observations == 4


@pytest.mark.parametrize("obs, nav, error, message", [
    ("missing", None, OSError, "No such file or directory (os error 2)"),
    ("bad", None, ValueError, "No END OF HEADER found"),
    ("obs", "missing", OSError, "No such file or directory (os error 2)"),
    ("obs", "bad_nav", ValueError, "No END OF HEADER found"),
    ("bad", "missing", ValueError, "No END OF HEADER found"),  # the observations come first
    ("missing", "bad_nav", OSError, "No such file or directory (os error 2)"),
    ("obs", "obs_dir", OSError, "Is a directory (os error 21)"),
])
def test_file_errors(files, tmp_path, obs, nav, error, message):
    files["obs_dir"] = str(tmp_path)
    analyzer = q.CN0Analyzer(q.AnalysisConfig())
    with pytest.raises(error) as info:
        if nav is None:
            analyzer.analyze_file(files[obs])
        else:
            analyzer.analyze_with_nav(files[obs], files[nav])
    assert type(info.value) is error and str(info.value) == message


@pytest.mark.parametrize("suffix, message", [
    ("/sub/..", "Is a directory (os error 21)"),  # no last name: the directory itself
    ("/site.obs/", "Not a directory (os error 20)"),
    ("/a\0b", "file name contained an unexpected NUL byte"),
])
def test_unreadable_paths(tmp_path, suffix, message):
    (tmp_path / "sub").mkdir()
    (tmp_path / "site.obs").write_bytes(small_obs())
    with pytest.raises(OSError) as info:
        q.CN0Analyzer(q.AnalysisConfig()).analyze_file(str(tmp_path) + suffix)
    assert str(info.value) == message


def test_parser_gets_the_last_path_component(tmp_path, files, monkeypatch):
    unnamed = header_v3({"G": "S1C"}) + epoch_v3("2024 03 01 00 00  0.0000000", [("G01", [45.0])])
    (tmp_path / "sub").mkdir()
    (tmp_path / "site.obs").write_text(unnamed)
    analyzer = q.CN0Analyzer(q.AnalysisConfig())
    for path in [tmp_path / "site.obs", tmp_path / "sub" / ".." / "site.obs", tmp_path / "." / "site.obs"]:
        result = analyzer.analyze_file(str(path))
        assert (result.station_name, result.filename) == ("site.obs", ""), path
        assert analyzer.analyze_with_nav(str(path), files["nav"]).station_name == "site.obs"
    monkeypatch.chdir(tmp_path)
    assert analyzer.analyze_file("site.obs").station_name == "site.obs"
    # A marker name in the header wins over the file name.
    assert analyzer.analyze_file(files["obs"]).station_name == "SITE"


@pytest.mark.parametrize("compressed", [False, True], ids=["plain", "hatanaka-gzip"])
def test_other_threads_run_during_analyze_file(esbc_obs, compressed):
    if compressed:  # decompression runs without the lock too
        esbc_obs = SHARED_DATA / "compressed" / "ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz"
        if not esbc_obs.is_file():
            pytest.skip(f"shared data file missing: {esbc_obs}")
    analyzer = q.CN0Analyzer(q.AnalysisConfig())
    ticks, calls = [], []
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            ticks.append(time.perf_counter())
            time.sleep(0.0005)

    def analyse():
        for _ in range(2):
            start = time.perf_counter()
            analyzer.analyze_file(esbc_obs)
            calls.append((start, time.perf_counter()))

    threads = [threading.Thread(target=ticker), threading.Thread(target=analyse)]
    for thread in threads:
        thread.start()
    threads[1].join()
    stop.set()
    threads[0].join()
    for start, end in calls:
        # Holding the lock, the ticker would stand still for the whole call.
        inside = [t for t in ticks if start < t < end]
        gaps = [b - a for a, b in zip([start] + inside, inside + [end])]
        assert len(inside) > 10 and max(gaps) < (end - start) / 2, (end - start, max(gaps), len(inside))


def overlap_scenario(method, obs_path, nav_path, pipe):
    """set_navigation while another thread's file analysis is in progress; run in a child process.

    The call blocks on opening a named pipe, with the lock released, until this thread opens the
    pipe for writing: from then on the call is certainly in progress.
    """
    os.mkfifo(pipe)
    arguments, content = ((pipe,), small_obs()) if method == "analyze_file" else ((obs_path, pipe), NAV_HEADER)
    analyzer = q.CN0Analyzer.from_obs(q.read_rinex_obs(obs_path), systems=["G"])
    nav = q.read_navigation(nav_path)
    outcome = {}

    def run():
        try:
            outcome["result"] = getattr(analyzer, method)(*arguments)
        except BaseException as error:  # reported by the assertions below
            outcome["error"] = error

    thread = threading.Thread(target=run)
    thread.start()
    with open(pipe, "wb") as writer:
        try:
            analyzer.set_navigation(nav)
            raise AssertionError("set_navigation succeeded during the file analysis")
        except RuntimeError as error:
            assert str(error) == "Already borrowed", error
        # Reading calls may overlap with the running one.
        assert analyzer.analyze().mean_cn0 == 43.0
        assert analyzer.analyze_file(obs_path).total_observations == 2
        writer.write(content)
    thread.join()
    assert "error" not in outcome, outcome
    assert outcome["result"].total_observations == 2  # G01 only
    assert analyzer.set_navigation(nav) is None  # the borrow ended with the call


@pytest.mark.skipif(not hasattr(os, "mkfifo"), reason="needs named pipes")
@pytest.mark.parametrize("method", ["analyze_file", "analyze_with_nav"])
def test_set_navigation_during_file_analysis(tmp_path, files, method):
    # In a child process: a call that kept the lock while blocked would hang it, not this run.
    here = os.path.dirname(os.path.abspath(__file__))
    code = (f"import sys; sys.path.insert(0, {here!r}); import test_analyzer; "
            f"test_analyzer.overlap_scenario({method!r}, {files['obs']!r}, {files['nav']!r}, "
            f"{str(tmp_path / 'pipe')!r})")
    try:
        run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    except subprocess.TimeoutExpired:
        pytest.fail(f"{method} kept the interpreter lock while waiting for its file")
    assert run.returncode == 0, run.stderr
