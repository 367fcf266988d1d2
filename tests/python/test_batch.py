"""Batches of files: threads against one after another, campaign tables and resume, navigation
files paired from a folder, analyze_many, and the same batch on a Dask cluster."""
import csv
import shutil
from datetime import datetime, timedelta
from pathlib import Path

import pytest

import quorlin_cn0 as q
from conftest import SHARED_DATA, run_cli as run, shared
from quorlin_cn0_cli.batch import analyze_many
from quorlin_cn0_cli.campaign import EPISODE_COLUMNS, FILE_COLUMNS, result_record, table_path
from quorlin_cn0_cli.coverage import NavigationSpan
from quorlin_cn0_cli.main import main, sample_path
from quorlin_cn0_cli.pairing import NavigationFile, NavigationIndex
from quorlin_cn0_cli.periods import observation_period
from quorlin_cn0_cli.tables import CampaignTables, pyarrow_installed

SAMPLE = sample_path()
FORMATS = ["csv", pytest.param("parquet", marks=pytest.mark.skipif(not pyarrow_installed(),
                                                                      reason="pyarrow is not installed"))]


def headerless(tmp_path, name="bad.20o"):
    path = tmp_path / name
    path.write_text("not rinex\n")
    return path


def batch_files(tmp_path):
    """Three real files, a file without a header in the middle and a missing one."""
    return [SAMPLE, shared("obs", "cn000010.21o"), headerless(tmp_path), shared("obs", "14601736.18o"),
            tmp_path / "missing.21o"]


def rows_of(folder):
    files, episodes = CampaignTables(folder).load()
    return files, episodes


# --- threads against one after another --------------------------------------------------------

@pytest.mark.parametrize("table_format", FORMATS)
def test_parallel_and_sequential_batches_give_identical_tables(capsys, tmp_path, table_format):
    files = batch_files(tmp_path)
    results = {}
    for jobs in ("1", "2"):
        folder = tmp_path / f"table-{jobs}"
        status, out, err = run(capsys, "-j", jobs, "--table", folder, "--table-format", table_format, *files)
        assert status == 1
        assert out == f"5 files analysed, 2 failed, 0 already in the table; tables in {folder} ({table_format})\n"
        assert f"quorlin-cn0: {files[2]}: No END OF HEADER found" in err.splitlines()
        results[jobs] = rows_of(folder)
    assert results["1"] == results["2"]
    rows = {Path(row["path"]).name: row for row in results["1"][0]}
    assert [row["path"] for row in results["1"][0]] == sorted(table_path(f) for f in files)
    assert rows["bad.20o"]["error"] == "No END OF HEADER found" and rows["bad.20o"]["station"] is None
    assert rows["missing.21o"]["error"] == "No such file or directory"
    cn00 = rows["cn000010.21o"]
    result = q.CN0Analyzer(q.AnalysisConfig(anomaly_sensitivity=0.0)).analyze_file(files[1])
    assert (cn00["station"], cn00["epochs"], cn00["start"], cn00["grade"]) == (
        "CN00", 2880, result.start_time, result.get_quality_assessment()["grade"])
    assert cn00["mean_cn0_G"] == float(result.get_constellation_summary("GPS")["mean_cn0"])
    assert cn00["mean_cn0_R"] is None and cn00["error"] is None
    # A file without C/N0 values still tells its epochs.
    assert rows["14601736.18o"]["epochs"] == q.read_rinex_obs(files[3]).num_epochs > 0
    if table_format == "csv":
        header = (tmp_path / "table-1" / "files.csv").read_text().splitlines()[0]
        assert header.split(",") == list(FILE_COLUMNS)


def test_json_of_several_files_keeps_their_order_with_threads(capsys, tmp_path):
    files = [shared("obs", "cn000010.21o"), headerless(tmp_path), SAMPLE, shared("obs", "14601736.18o")]
    one = run(capsys, "-j", "1", "--json", *files)
    two = run(capsys, "-j", "3", "--json", *files)
    assert one[0] == two[0] == 1 and one[1] == two[1]
    strip_time = lambda err: [line.rsplit(" ", 2)[0] for line in err.splitlines()]  # noqa: E731
    assert strip_time(one[2]) == strip_time(two[2])
    assert len(one[1].splitlines()) == 3


# --- resume ----------------------------------------------------------------------------------

def edit_csv(path, change):
    with open(path, newline="") as file:
        rows = list(csv.DictReader(file))
    for row in rows:
        change(row)
    with open(path, "w", newline="") as file:
        writer = csv.DictWriter(file, fieldnames=list(rows[0]), lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)


def test_resume_skips_files_done_and_retries_failed_ones(capsys, tmp_path):
    folder = tmp_path / "table"
    late = tmp_path / "late.20o"
    status, out, _ = run(capsys, "--table", folder, "--table-format", "csv", SAMPLE, late)
    assert status == 1 and out.startswith("2 files analysed, 1 failed, 0 already")
    # A value only the stored row has shows whether the file was analysed again.
    edit_csv(folder / "files.csv", lambda row: row.update(quality="-1.0") if row["error"] == "" else None)
    shutil.copy(SAMPLE, late)
    status, out, _ = run(capsys, "--table", folder, SAMPLE, late)
    assert status == 0 and out.startswith("1 files analysed, 0 failed, 1 already in the table")
    rows = {Path(row["path"]).name: row for row in rows_of(folder)[0]}
    assert rows[SAMPLE.name]["quality"] == -1.0
    assert rows["late.20o"]["error"] is None and rows["late.20o"]["quality"] > 0
    status, out, _ = run(capsys, "--table", folder, "--force", SAMPLE)
    assert out.startswith("1 files analysed, 0 failed, 0 already")
    rows = {Path(row["path"]).name: row for row in rows_of(folder)[0]}
    assert rows[SAMPLE.name]["quality"] == rows["late.20o"]["quality"] and len(rows) == 2


@pytest.mark.parametrize("table_format", FORMATS)
def test_tables_keep_every_kind_of_value(tmp_path, table_format):
    files = [dict.fromkeys(FILE_COLUMNS) for _ in range(3)]
    files[0].update(path="/a/x.rnx", station="SITE 1/B", epochs=2880, interval=30.0, mean_cn0_G=41.25,
                    jamming=True, spoofing=False, episodes=0, quality=0.1 + 0.2, note="a, \"quoted\"\nnote")
    files[1].update(path="/a/y.rnx", error="No END OF HEADER found")
    files[2].update(path="/a/w.rnx", station="SITE 1/B", degraded_minutes=12.5)
    episode = {"path": "/a/x.rnx", "station": "SITE 1/B", "kind": "jamming", "start_time": "2020-06-25T08:06:00.000Z",
               "bands": "L1,L2", "max_drop_db": 15.5, "median_drop_db": None}
    tables = CampaignTables(tmp_path / "t", table_format)
    tables.save(files, [episode])
    stored_files, stored_episodes = CampaignTables(tmp_path / "t").load()
    assert stored_files == sorted(files, key=lambda row: row["path"])
    assert stored_episodes[0] == {name: episode.get(name) for name in stored_episodes[0]}


@pytest.mark.skipif(not pyarrow_installed(), reason="pyarrow is not installed")
def test_parquet_tables_of_a_network_with_more_than_1024_stations(tmp_path):
    files = [dict(dict.fromkeys(FILE_COLUMNS), path=f"/a/{k:04d}.rnx", station=f"S{k:04d}") for k in range(1030)]
    CampaignTables(tmp_path / "t", "parquet").save(files, [])
    assert CampaignTables(tmp_path / "t").load()[0] == files


# --- navigation files of several days --------------------------------------------------------

def split_navigation(source, folder, at):
    """A RINEX 2 GPS navigation file as two files: the records before the time `at` (yy mm dd hh as
    text) and those from it on, each with the whole header."""
    lines = source.read_text().splitlines(keepends=True)
    body = next(i for i, line in enumerate(lines) if "END OF HEADER" in line) + 1
    records = [lines[i:i + 8] for i in range(body, len(lines), 8)]
    key = lambda record: tuple(int(field) for field in record[0][3:14].split())  # noqa: E731
    early = [r for r in records if key(r) < at]
    late = [r for r in records if key(r) >= at]
    assert early and late
    for name, part in (("early.21n", early), ("late.21n", late)):
        (folder / name).write_text("".join(lines[:body] + [line for record in part for line in record]))


def test_navigation_of_several_days_is_paired_and_merged(capsys, tmp_path):
    folder = tmp_path / "nav"
    folder.mkdir()
    split_navigation(shared("nav", "brdc0010.21n"), folder, (21, 1, 1, 12))
    # Other days, another system and a file that is not navigation data are passed over.
    for kind, name in (("nav", "amel0010.21g"), ("nav", "ESBC00DNK_R_20201770000_01D_MN.rnx.gz"),
                       ("obs", "14601736.18o")):
        shutil.copy(shared(kind, name), folder)
    obs = shared("obs", "cn000010.21o")
    status, paired, _ = run(capsys, "--json", "--nav-dir", folder, obs)
    status_one, whole, _ = run(capsys, "--json", "--nav", shared("nav", "brdc0010.21n"), obs)
    assert status == status_one == 0
    assert paired == whole  # the two halves merged give back the day's records
    table = tmp_path / "table"
    status, _, err = run(capsys, "--table", table, "--nav-dir", folder, obs, SAMPLE)
    rows = {Path(row["path"]).name: row for row in rows_of(table)[0]}
    assert rows["cn000010.21o"]["navigation"] == "early.21n;late.21n" and rows["cn000010.21o"]["note"] is None
    note = f"no navigation file in {folder} covers 2020-10-30 13:22 to 2020-10-30 13:34: analysed without navigation data"
    assert rows[SAMPLE.name]["navigation"] is None and rows[SAMPLE.name]["note"] == note
    assert f"quorlin-cn0: {SAMPLE}: {note}" in err.splitlines()
    assert rows[SAMPLE.name]["confirmation_rate"] is None and rows["cn000010.21o"]["confirmation_rate"] > 0


def test_missing_navigation_folder_fails_the_run(capsys, tmp_path):
    status, out, err = run(capsys, "--nav-dir", tmp_path / "none", SAMPLE)
    assert (status, out, err) == (1, "", f"quorlin-cn0: {tmp_path / 'none'}: No such file or directory\n")


@pytest.mark.parametrize(
    "argv, message",
    [
        (["--scheduler", "tcp://127.0.0.1:1", "x.rnx"], "--scheduler needs --table"),
        (["--inspect", "--table", "t", "x.rnx"], "do not go with --inspect"),
        (["--nav", "a.nav", "--nav-dir", "n", "x.rnx"], "not allowed with argument"),
        (["-j", "0", "x.rnx"], "give a whole number of 1 or more"),
    ],
)
def test_batch_options_that_do_not_go_together(capsys, argv, message):
    with pytest.raises(SystemExit) as exit_info:
        main(argv)
    assert exit_info.value.code == 2 and message in capsys.readouterr().err


# --- analyze_many ----------------------------------------------------------------------------

def test_analyze_many_yields_every_file_with_the_configuration_given(tmp_path):
    config = q.AnalysisConfig(min_elevation=10.0, systems=["G"], anomaly_sensitivity=1.0)
    files = [shared("obs", "cn000010.21o"), tmp_path / "missing.21o", SAMPLE]
    items = list(analyze_many(files, config=config, workers=2, ordered=True))
    assert [item.index for item in items] == [0, 1, 2] and [item.path for item in items] == files
    assert isinstance(items[1].error, OSError) and items[1].value is None
    for item in (items[0], items[2]):
        assert item.error is None
        assert item.value.to_json() == q.CN0Analyzer(config).analyze_file(item.path).to_json()
    unordered = list(analyze_many(files, nav=shared("nav", "brdc0010.21n"), workers=2))
    assert sorted(item.index for item in unordered) == [0, 1, 2]
    by_index = {item.index: item for item in unordered}
    assert by_index[0].value.has_visibility_prediction and by_index[0].navigation == "brdc0010.21n"
    assert "covers none" in by_index[2].note


def test_analyze_many_summarises_on_the_worker(tmp_path):
    items = list(analyze_many([SAMPLE, SAMPLE], workers=2, summarise=lambda result: result.total_epochs))
    assert [item.value for item in items] == [q.analyze_cn0(SAMPLE).total_epochs] * 2


# --- Dask --------------------------------------------------------------------------------------

def test_dask_cluster_gives_the_tables_of_one_machine(capsys, tmp_path):
    distributed = pytest.importorskip("distributed", reason="dask.distributed is not installed (pip install "
                                                            "'dask[distributed]'): the cluster run is not tested")
    files = batch_files(tmp_path)[:4]
    status_local, _, _ = run(capsys, "-j", "2", "--table", tmp_path / "local", *files)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  worker_dashboard_address=None) as cluster:
        status, out, _ = run(capsys, "--scheduler", cluster.scheduler_address, "--table", tmp_path / "cluster", *files)
    assert status == status_local == 1 and out.startswith("4 files analysed, 1 failed")
    assert rows_of(tmp_path / "cluster") == rows_of(tmp_path / "local")
    if pyarrow_installed():
        assert sorted(p.name for p in (tmp_path / "cluster" / "files").iterdir()) == sorted(
            p.name for p in (tmp_path / "local" / "files").iterdir())


def test_unreachable_scheduler_fails_cleanly(capsys, tmp_path, monkeypatch):
    pytest.importorskip("distributed", reason="dask.distributed is not installed")
    import quorlin_cn0_cli.campaign_run as campaign_run

    def refuse(address):
        raise OSError(111, "Connection refused")

    monkeypatch.setattr(campaign_run, "connect", refuse)
    status, out, err = run(capsys, "--scheduler", "tcp://127.0.0.1:9", "--table", tmp_path / "t", SAMPLE)
    assert status == 1 and out == ""
    assert err == "quorlin-cn0: cannot reach the Dask scheduler at tcp://127.0.0.1:9: Connection refused\n"


# --- periods and pairing rules -----------------------------------------------------------------

@pytest.mark.parametrize(
    "kind, name",
    [
        ("obs", "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"),
        ("compressed", "ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz"),
        ("compressed", "york0440.15d"),
        ("compressed", "york0440.zip"),
        ("obs", "cn000010.21o"),  # no TIME OF LAST OBS: its last epoch line tells
        ("obs", "NMBUS_SAMSUNG_S20.20o"),
    ],
)
def test_observation_period_is_that_of_the_analysis(kind, name):
    path = shared(kind, name)
    period = observation_period(path)
    result = q.analyze_cn0(path, systems=["G", "R", "E", "C", "J", "S"])
    assert (period.first.isoformat(timespec="seconds"), period.last.isoformat(timespec="seconds")) == (
        result.start_time[:19], result.end_time[:19])
    received = {letter for letter, satellites in q.read_rinex_obs(path).satellites_by_system().items() if satellites}
    assert period.systems is None or set(period.systems) >= received


def test_observation_period_of_a_bzip2_copy_without_last_time(tmp_path):
    import bz2

    text = shared("obs", "cn000010.21o").read_bytes()
    path = tmp_path / "cn000010.21o.bz2"
    path.write_bytes(bz2.compress(text))
    assert observation_period(path) == observation_period(shared("obs", "cn000010.21o"))
    assert observation_period(headerless(tmp_path)) is None


def nav(name, first, last, systems="G", version=3, file_type="N", reach_hours=4):
    span = NavigationSpan(datetime(2021, 1, 1) + timedelta(hours=first), datetime(2021, 1, 1) + timedelta(hours=last),
                          timedelta(hours=reach_hours))
    return NavigationFile(Path(name), span, version, file_type, frozenset(systems))


DAY = (0, 23.99)
PAIRING_CASES = [
    # (files, observation period in hours of 2021-01-01, systems, the names paired, a note expected)
    ([nav("d0", -24, 0), nav("d1", 0, 23.99), nav("d2", 24, 47.99)], DAY, "G", "d1", False),
    ([nav("d1", 0, 23.99), nav("d1-hourly", 5, 6)], DAY, "G", "d1", False),
    ([nav("a", 0, 11.99), nav("b", 12, 23.99), nav("far", 100, 110)], DAY, "G", "a;b", False),
    ([nav("today", 0, 23.99), nav("tomorrow", 24, 47.99)], (12, 36), "G", "today;tomorrow", False),
    ([nav("early", -6, -1)], (0, 2), "G", "early", False),  # no record inside, but in reach
    ([nav("early", -6, -1)], (0, 6), "G", "early", True),
    ([nav("old", -48, -30)], DAY, "G", "", True),
    ([nav("glonass", 0, 23.99, "R", 2, "G"), nav("gps", 0, 23.99, "G", 2, "N")], DAY, "G", "gps", False),
    ([nav("glonass", 0, 23.99, "R", 2, "G"), nav("gps", 0, 11.99, "G", 2, "N")], DAY, None, "glonass", False),
    # Version 2 files of different systems cannot share a header: the second is left out.
    ([nav("gps", 0, 11.99, "G", 2, "N"), nav("glo", 12, 23.99, "R", 2, "G")], DAY, None, "gps", True),
]


@pytest.mark.parametrize("files, hours, systems, names, noted", PAIRING_CASES)
def test_pairing_rules(files, hours, systems, names, noted):
    index = NavigationIndex(Path("navdir"), tuple(files))
    start, end = (datetime(2021, 1, 1) + timedelta(hours=h) for h in hours)
    pairing = index.pair(start, end, None if systems is None else frozenset(systems))
    assert pairing.names == names
    assert (pairing.note is not None) == noted


# --- the interference assessment's columns -----------------------------------------------------

class WithAssessment:
    """A result whose module gives the interference assessment: the shape get_assessment() returns."""

    def __init__(self, result, assessment):
        self._result, self._assessment = result, assessment

    def __getattr__(self, name):
        return getattr(self._result, name)

    def get_assessment(self):
        return self._assessment


def test_assessment_fills_the_episode_columns_and_table(tmp_path):
    result = q.analyze_cn0(SAMPLE)
    episode = {"kind": "jamming", "severity": "critical", "start_time": "2020-10-30T13:25:00.000Z",
               "end_time": "2020-10-30T13:27:00.000Z", "duration_seconds": 121.0, "degraded_seconds": 120.0,
               "bands": ["L1", "L5"], "systems": ["G", "E"], "affected_satellites": ["G05", "E11"],
               "lost_satellites": [], "median_drop_db": 12.5, "max_drop_db": None, "description": "L1, L5 down"}
    assessment = {"degraded_share": 0.25, "epochs": 300, "interval_seconds": 2.0, "episodes": [episode, episode]}
    with_episodes = result_record(SAMPLE, WithAssessment(result, assessment))
    assert with_episodes.row["episodes"] == 2 and with_episodes.row["degraded_minutes"] == 2.5
    first = with_episodes.episodes[0]
    assert (first["path"], first["station"], first["bands"], first["lost_satellites"], first["max_drop_db"]) == (
        table_path(SAMPLE), result.station_name, "L1,L5", None, None)
    assert list(first) == list(EPISODE_COLUMNS)
    CampaignTables(tmp_path / "t", "csv").save([with_episodes.row], with_episodes.episodes)
    assert CampaignTables(tmp_path / "t").load()[1] == with_episodes.episodes
    nothing_assessed = result_record(SAMPLE, WithAssessment(result, None))
    assert nothing_assessed.row["episodes"] is None and nothing_assessed.episodes == []
    # The module's own assessment fills the same columns; the rest of the row does not depend on it.
    plain = result_record(SAMPLE, result)
    real = result.get_assessment()
    assert plain.row["episodes"] == len(real["episodes"]) and len(plain.episodes) == len(real["episodes"])
    assert plain.row["degraded_minutes"] == pytest.approx(
        real["degraded_share"] * real["epochs"] * real["interval_seconds"] / 60.0)
    assert plain.row["outages"] == sum(1 for e in real["episodes"] if e["kind"] == "outage")
    rest = [name for name in plain.row if name not in ("episodes", "outages", "degraded_minutes")]
    assert [plain.row[n] for n in rest] == [nothing_assessed.row[n] for n in rest]
