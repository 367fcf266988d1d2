"""The quorlin-cn0 program: analysis report, JSON output, inspection, several files and errors."""
import datetime
import gzip
import json
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import quorlin_cn0 as q
from conftest import SHARED_DATA, run_cli as run, shared
from quorlin_cn0_cli.analysis import parse_systems
from quorlin_cn0_cli.main import main, sample_path
from quorlin_cn0_cli.report import most_severe

SAMPLE = sample_path()
ESBC_OBS = "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
CEDA_OBS = "CEDA00USA_R_20182100000_23H_15S_MO.rnx.gz"

# Three element sets: a GPS satellite with its PRN, a GLONASS one (never counted) and a
# Galileo one named only by its GSAT number.
TLE_TEXT = """\
GPS BIIR-2  (PRN 13)
1 24876U 97035A   21033.28537850  .00000065  00000-0  00000-0 0  9999
2 24876  55.4664 175.1841 0047263  57.7256 302.7000  2.00562330172632
COSMOS 2545 (756)
1 45358U 20018A   21033.17130637 -.00000048  00000-0  00000-0 0  9993
2 45358  64.8419 340.2208 0009276 253.5047 335.4069  2.13101787  6776
GSAT0101 (PRN E11)
1 37846U 11060A   21033.50049587  .00000031  00000-0  00000-0 0  9996
2 37846  57.0788  25.5815 0003520  10.6716 349.4045  1.70475709 58130
"""


def plain_copy(path, tmp_path):
    """The decompressed content of a .gz under its plain name, for analysing it directly."""
    target = tmp_path / path.name[:-3]
    target.write_bytes(gzip.decompress(path.read_bytes()))
    return target


def without_assessment(document):
    """The CLI's JSON document without its "assessment" key, which must come last."""
    data = json.loads(document)
    assert list(data)[-1] == "assessment"
    del data["assessment"]
    return data


def header_value(text, label):
    line = next(line for line in text.splitlines() if line[60:].strip() == label)
    return line[:60]


def table_row(report, name):
    return next(line.split() for line in report.splitlines() if line.split()[:1] == [name])


# --- analysis report -----------------------------------------------------------------------

def test_report_of_bundled_sample_shows_file_quality_constellations_and_verdicts(capsys):
    status, out, err = run(capsys)
    text = SAMPLE.read_text(errors="replace")
    epochs = sum(1 for line in text.splitlines() if line.startswith(">"))
    result = q.analyze_cn0(str(SAMPLE))
    assert status == 0 and err == ""
    assert f"Marker:         {header_value(text, 'MARKER NAME').strip()}" in out
    assert f"Epochs:         {epochs}\n" in out
    assert "interval not in header" in out  # the smartphone file has no INTERVAL line
    # One headline: the result's own score, grade and interpretation; the components of the other
    # score beneath it, without its rating, which may contradict the grade.
    assessment = result.get_quality_assessment()
    assert f"Quality:        {assessment['overall']:.1f} / 100, grade {assessment['grade']}: {result.summary}" in out
    assert result.quality_score.rating not in out
    assert f"continuity {result.quality_score.continuity:.1f}" in out
    for name in ("GPS", "GLONASS", "Galileo", "BeiDou"):
        stats = json.loads(result.to_json())["constellation_stats"][name]
        row = table_row(out, name)
        assert int(row[1]) == stats["satellite_count"]
        assert int(row[4]) == stats["observation_count"]
        assert float(row[5]) == pytest.approx(stats["mean_cn0"], abs=0.05)
    assert "C/N0 anomalies: none" in out
    assert "Visibility" not in out  # no navigation data
    assert re.search(r"jamming: +not detected", out) and re.search(r"interference: +not detected", out)


def test_report_of_gzip_file_reads_header_of_decompressed_content(capsys):
    path = shared("obs", CEDA_OBS)
    text = gzip.decompress(path.read_bytes()).decode("ascii", errors="replace")
    status, out, _ = run(capsys, path)
    assert status == 0
    assert f"Marker:         {header_value(text, 'MARKER NAME').strip()}" in out
    assert header_value(text, "REC # / TYPE / VERS")[20:40].strip() in out
    assert "interval 15 s" in out


def test_report_lists_most_severe_anomalies_by_drop(capsys, tmp_path):
    path = shared("obs", ESBC_OBS)
    result = q.analyze_cn0(str(plain_copy(path, tmp_path)))
    status, out, _ = run(capsys, path)
    assert status == 0 and result.anomaly_count > 5
    assert f"C/N0 anomalies: {result.anomaly_count} " in out
    shown = [float(m) for m in re.findall(r"critical +(\d+\.\d) dB-Hz drop", out)]
    assert shown == [round(d, 1) for d in sorted(result.get_anomaly_cn0_drops(), reverse=True)[:5]]
    assert re.search(r"interference: +DETECTED", out)  # 55 events in 2880 epochs


@pytest.mark.parametrize(
    "anomalies, expected",
    [
        ([("low", "30", "t1"), ("critical", "11", "t2"), ("high", "20", "t3")], ["t2", "t3", "t1"]),
        ([("critical", "12", "t1"), ("critical", "15.5", "t2"), ("critical", "12", "t0")], ["t2", "t0", "t1"]),
        ([("critical", str(10 + i), f"t{i}") for i in range(8)], ["t7", "t6", "t5", "t4", "t3"]),
    ],
)
def test_most_severe_orders_by_severity_then_drop_then_time(anomalies, expected):
    dicts = [{"severity": s, "cn0_drop": d, "start_time": t} for s, d, t in anomalies]
    assert [a["start_time"] for a in most_severe(dicts)] == expected


# --- JSON output and analysis options ----------------------------------------------------------

@pytest.mark.parametrize(
    "options, kwargs",
    [
        ([], {}),
        # without navigation data every sample sits at elevation 45, so a mask of 50 drops all
        (["--min-elevation", "50"], {"min_elevation": 50.0}),
        (["--systems", "Galileo,gps"], {"systems": ["E", "G"]}),
    ],
)
def test_json_equals_result_of_the_same_analysis(capsys, options, kwargs):
    status, out, _ = run(capsys, "--json", *options, SAMPLE)
    assert status == 0 and out.count("\n") == 1
    assert without_assessment(out) == json.loads(q.analyze_cn0(str(SAMPLE), **kwargs).to_json())


def test_systems_by_name_select_that_constellation_only(capsys):
    _, out, _ = run(capsys, "--json", "--systems", "Galileo", SAMPLE)
    stats = json.loads(out)["constellation_stats"]
    assert stats["Galileo"]["observation_count"] > 0
    assert stats["GPS"]["observation_count"] == 0  # "Galileo" must not be read as its first letter


@pytest.mark.parametrize(
    "text, letters",
    [("G,R,E", ["G", "R", "E"]), ("gps, BeiDou ,qzss", ["G", "C", "J"]), ("E,galileo", ["E"]), ("IRNSS", ["I"])],
)
def test_parse_systems(text, letters):
    assert parse_systems(text) == letters


@pytest.mark.parametrize("text", ["X", "G,Mars", "", ","])
def test_parse_systems_refuses_unknown_or_empty(text):
    with pytest.raises(ValueError):
        parse_systems(text)


def test_pretty_json_is_indented_and_equal(capsys):
    _, out, _ = run(capsys, "--pretty", SAMPLE)
    assert out.splitlines()[1].startswith('  "')
    assert without_assessment(out) == json.loads(q.analyze_cn0(str(SAMPLE)).to_json())


def test_output_writes_one_file_and_nothing_on_stdout(capsys, tmp_path):
    target = tmp_path / "result.json"
    status, out, _ = run(capsys, "-o", target, SAMPLE)
    assert status == 0 and out == ""
    assert without_assessment(target.read_text()) == json.loads(q.analyze_cn0(str(SAMPLE)).to_json())


def test_output_with_several_files_fills_a_folder_one_file_per_input(capsys, tmp_path):
    ceda = shared("obs", CEDA_OBS)
    folder = tmp_path / "out"
    status, _, _ = run(capsys, "-o", folder, SAMPLE, ceda, SAMPLE)
    assert status == 0
    names = sorted(p.name for p in folder.iterdir())
    assert names == sorted([f"{SAMPLE.name}.json", f"{SAMPLE.name}-2.json", f"{ceda.name[:-3]}.json"])
    ceda_json = json.loads((folder / f"{ceda.name[:-3]}.json").read_text())
    assert ceda_json["file_info"]["marker_name"] == "ceda"


# --- the assessment ------------------------------------------------------------------------------

@pytest.fixture(scope="module")
def jammed_day(tmp_path_factory):
    """cn000010 with L1 and L2 10 dB down from 08:00 for 20 minutes and nothing received from 12:00
    for 2 minutes, built by the evaluation tool."""
    sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
    import interference_eval as ev
    obs = ev.read_obs(shared("obs", "cn000010.21o"))
    day = obs.epochs[0].time
    hours = lambda h, m=0, s=0: day + datetime.timedelta(hours=h, minutes=m, seconds=s)
    jammed = ev.build(obs, ev.Scenario("drop", hours(8), hours(8, 19, 30), 10.0, frozenset(), 20))
    jammed = ev.build(jammed, ev.Scenario("empty", hours(12), hours(12, 1, 30), minutes=2))
    path = tmp_path_factory.mktemp("jammed") / "jammed0010.21o"
    ev.write_obs(jammed, path)
    return path


def test_report_leads_with_the_assessment_and_its_episodes(capsys, jammed_day):
    status, out, _ = run(capsys, jammed_day)
    assert status == 0
    sections = out.split("\n\n")
    assert sections[1].startswith("Assessment:     jamming DETECTED, interference not detected")
    assert "2 episodes; degraded 1.5 % of the file" in sections[1]
    lines = sections[1].splitlines()
    assert re.match(r"  2021-01-01T08:00:00.000Z to 08:19:30 +20 min +jamming +high +L1\+L2 +"
                    r"\d+\.\d dB-Hz below expectation \(largest \d+\.\d\); \d+ satellites affected, \d+ lost", lines[2])
    assert re.match(r"  2021-01-01T12:00:00.000Z to 12:01:30 +2 min +jamming +critical +L1\+L2 +no signal received; "
                    r"\d+ satellites affected, (\d+) lost \(G\d\d", lines[3])
    assert sections[-1].startswith("Verdicts:")


@pytest.mark.parametrize("pretty", [False, True], ids=["compact", "pretty"])
def test_json_carries_the_assessment_last_and_the_rest_byte_for_byte(capsys, jammed_day, pretty):
    _, out, _ = run(capsys, "--pretty" if pretty else "--json", jammed_day)
    result = q.analyze_cn0(str(jammed_day))
    rest = result.to_json_pretty()[:-2] if pretty else result.to_json()[:-1]
    assert out.startswith(rest)
    assert json.loads(out)["assessment"] == json.loads(result.assessment_json())
    if pretty:
        assert '\n  "assessment": {\n    "expectation": "baseline",' in out


@pytest.mark.parametrize("options, episodes", [([], 2), (["--drop-margin", "12"], 1), (["--min-episode", "1800"], 1),
                                               (["--min-episode", "1800", "--min-outage", "300"], 0),
                                               (["--min-satellites", "50", "--merge", "0"], 1)],
                         ids=["defaults", "margin", "episode", "episode-and-outage", "satellites"])
def test_assessment_options_reach_the_analysis(capsys, jammed_day, options, episodes):
    _, out, _ = run(capsys, "--json", *options, jammed_day)
    assert len(json.loads(out)["assessment"]["episodes"]) == episodes


# --- inspection ------------------------------------------------------------------------------

def nav_satellites(text, version):
    """Distinct satellites of a navigation file, from the first line of each record."""
    body = text.split("END OF HEADER", 1)[1].splitlines()[1:]
    if version == 2:
        return {line[:2].strip() for line in body if line[:2].strip()}
    return {line[:3] for line in body if re.match(r"[GRECJ]\d\d ", line)}


def test_inspect_rinex2_gps_navigation(capsys):
    path = shared("nav", "brdc0010.21n")
    status, out, _ = run(capsys, "--inspect", "--json", path)
    info = json.loads(out)
    expected = len(nav_satellites(path.read_text(), 2))
    assert status == 0 and info["kind"] == "nav"
    assert info["satellites_by_system"] == {"GPS": expected, "GLONASS": 0, "Galileo": 0, "BeiDou": 0}
    # 463 records, the first at 2020-12-31 22:00 and the last at 2021-01-02 0:00 (counted with awk).
    assert info["records_by_system"] == {"GPS": 463}
    assert (info["first_record"], info["last_record"]) == ("2020-12-31 22:00:00", "2021-01-02 00:00:00")


def test_inspect_rinex2_glonass_navigation_reads_glonass_records(capsys):
    status, out, _ = run(capsys, "--inspect", "--json", shared("nav", "amel0010.21g"))
    info = json.loads(out)
    assert status == 0 and info["records_by_system"] == {"GLONASS": 530}
    assert info["satellites_by_system"]["GLONASS"] == 24 and info["satellites_by_system"]["GPS"] == 0


def test_inspect_gzip_mixed_navigation_counts_each_system(capsys):
    path = shared("nav", "ESBC00DNK_R_20201770000_01D_MN.rnx.gz")
    sats = nav_satellites(gzip.decompress(path.read_bytes()).decode("ascii", "replace"), 3)
    status, out, _ = run(capsys, "--inspect", path)
    assert status == 0 and "MIXED" in out
    for system, letters in (("GPS", "GJ"), ("GLONASS", "R"), ("Galileo", "E"), ("BeiDou", "C")):
        expected = sum(1 for s in sats if s[0] in letters)
        assert re.search(rf"^{system} +{expected} +\d+$", out, re.MULTILINE)
    # Record first lines per system and the span of their times of clock, counted with awk;
    # SBAS records are counted though their ephemerides are not kept.
    for system, records in (("Galileo", 1602), ("GLONASS", 510), ("BeiDou", 357), ("GPS", 257), ("QZSS", 15), ("SBAS", 2130)):
        assert re.search(rf"^{system} +(\d+|-) +{records}$", out, re.MULTILINE), system
    assert "Records:    4871, 2020-06-24 19:50:00 to 2020-06-26 00:00:00" in out


def test_inspect_tle_counts_element_sets_and_gnss_satellites(capsys, tmp_path):
    path = tmp_path / "gnss.tle"
    path.write_text(TLE_TEXT.replace("\n", "\r\n"))
    status, out, _ = run(capsys, "--inspect", "--json", path)
    assert status == 0
    assert json.loads(out) == {"file": str(path), "kind": "tle", "element_sets": 3, "gnss_satellites": 2}


def test_inspect_real_tle_file(capsys):
    path = shared("tle", "gnss.txt")
    text = path.read_text()
    _, out, _ = run(capsys, "--inspect", path)
    assert f"Element sets:    {sum(1 for l in text.splitlines() if l.startswith('2 '))}" in out
    assert f"GNSS satellites: {q.parse_tle_content(text)} identified" in out


def test_inspect_observations_of_gzip_file_and_type_override(capsys):
    path = shared("obs", CEDA_OBS)
    status, out, _ = run(capsys, "--inspect", "--json", "--type", "obs", path)
    info = json.loads(out)
    assert status == 0 and info["marker_name"] == "ceda" and info["interval"] == 15.0
    assert set(info["systems"]) >= {"E", "R"}


# --- compressed files -------------------------------------------------------------------------

ESBC_CRX = "ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz"


def test_report_of_hatanaka_file_equals_report_of_its_plain_day(capsys, tmp_path):
    crx, plain = shared("compressed", ESBC_CRX), plain_copy(shared("obs", ESBC_OBS), tmp_path)
    status, from_crx, _ = run(capsys, crx)
    _, from_plain, _ = run(capsys, plain)
    assert status == 0 and "Marker:         ESBC00DNK" in from_crx
    assert from_crx.replace(str(crx), "FILE") == from_plain.replace(str(plain), "FILE")


@pytest.mark.parametrize("name", ["york0440.15d", "york0440.zip"])
def test_inspect_rinex_2_hatanaka_and_zip_files(capsys, name):
    status, out, _ = run(capsys, "--inspect", "--json", shared("compressed", name))
    info = json.loads(out)
    assert status == 0 and info["kind"] == "obs" and info["version"] == 2.11
    with_satellites = [letter for letter, system in info["systems"].items() if system["satellites"]]
    assert (info["marker_name"], info["epochs"], with_satellites) == ("YORK", 2880, ["G"])
    assert len(info["systems"]["G"]["satellites"]) == 30 and info["systems"]["G"]["has_cn0"]


def test_inspect_compressed_observations_equals_inspect_of_the_plain_file(capsys, tmp_path):
    crx, plain = shared("compressed", ESBC_CRX), plain_copy(shared("obs", ESBC_OBS), tmp_path)
    _, from_crx, _ = run(capsys, "--inspect", "--json", crx)
    _, from_plain, _ = run(capsys, "--inspect", "--json", plain)
    assert {**json.loads(from_crx), "file": ""} == {**json.loads(from_plain), "file": ""}


@pytest.mark.parametrize("tool", ["compress", "bzip2"])
def test_inspect_and_analysis_with_compressed_navigation(capsys, tmp_path, tool):
    if shutil.which(tool) is None:
        pytest.skip(f"{tool} is not installed")
    nav = shared("nav", "NMBUS_SAMSUNG_S20.20n")
    packed = tmp_path / (nav.name + (".Z" if tool == "compress" else ".bz2"))
    packed.write_bytes(subprocess.run([tool, "-c", nav], capture_output=True, check=True).stdout)
    _, plain_info, _ = run(capsys, "--inspect", "--json", nav)
    status, packed_info, _ = run(capsys, "--inspect", "--json", packed)
    assert status == 0 and {**json.loads(packed_info), "file": ""} == {**json.loads(plain_info), "file": ""}
    obs = shared("obs", "NMBUS_SAMSUNG_S20.20o")
    _, from_plain, _ = run(capsys, "--json", "--nav", nav, obs)
    status, from_packed, _ = run(capsys, "--json", "--nav", packed, obs)
    assert status == 0 and from_packed == from_plain


def test_output_names_leave_out_compression_suffixes(capsys, tmp_path):
    sources = []
    for suffix, packer in ((".gz", gzip.compress), (".Z", None)):
        path = tmp_path / f"site{len(sources)}.20o{suffix}"
        if packer is None:
            if shutil.which("compress") is None:
                continue
            packer = lambda data: subprocess.run(["compress", "-c"], input=data, capture_output=True).stdout
        path.write_bytes(packer(SAMPLE.read_bytes()))
        sources.append(path)
    status, _, _ = run(capsys, "-o", tmp_path / "out", *sources)
    assert status == 0
    assert sorted(p.name for p in (tmp_path / "out").iterdir()) == [f"site{i}.20o.json" for i in range(len(sources))]


# --- several files, progress and errors -------------------------------------------------------

def test_several_files_progress_and_continuation_after_errors(capsys, tmp_path):
    missing = tmp_path / "missing.20o"
    headerless = tmp_path / "bad.20o"
    headerless.write_text("not rinex\n")
    status, out, err = run(capsys, "--json", SAMPLE, missing, headerless, SAMPLE)
    assert status == 1
    assert len([json.loads(line) for line in out.splitlines()]) == 2
    lines = err.splitlines()
    assert re.fullmatch(rf"\[1/4\] {re.escape(str(SAMPLE))} \d+\.\d s", lines[0])
    assert f"quorlin-cn0: {missing}: No such file or directory" in lines
    assert f"quorlin-cn0: {headerless}: No END OF HEADER found" in lines
    assert lines[-1].startswith("[4/4] ")


def broken_gzip(tmp_path):
    path = tmp_path / "cut.20o.gz"
    path.write_bytes(gzip.compress(SAMPLE.read_bytes())[:500])
    return path


@pytest.mark.parametrize(
    "make_args, message",
    [
        (lambda tmp: [tmp], "Is a directory"),
        (lambda tmp: [broken_gzip(tmp)], "Corrupt gzip data: unexpected end of stream"),
        (lambda tmp: ["--nav", tmp / "none.20n", SAMPLE], "No such file or directory"),
        (lambda tmp: [shared("nav", "brdc0010.21n")], "a navigation file"),
        (lambda tmp: ["--inspect", tmp / "none.txt"], "No such file or directory"),
        (lambda tmp: ["--inspect", SAMPLE.parent / "README.md"], "neither a RINEX file nor TLE text"),
        (lambda tmp: ["-o", SAMPLE / "x.json", SAMPLE], "Not a directory"),
    ],
)
def test_failures_are_one_clean_line(capsys, tmp_path, make_args, message):
    status, out, err = run(capsys, *make_args(tmp_path))
    assert status == 1 and out == ""
    assert err.count("\n") == 1 and err.startswith("quorlin-cn0: ") and message in err


def console_script():
    found = shutil.which("quorlin-cn0", path=str(Path(sys.executable).parent))
    if found is None:
        pytest.skip("console script quorlin-cn0 not installed")
    return found


def test_console_script_runs_and_fails_cleanly(tmp_path):
    script = console_script()
    ok = subprocess.run([script, "--inspect"], capture_output=True, text=True, timeout=60)
    assert ok.returncode == 0 and "RINEX:      3.03 observation" in ok.stdout
    bad = subprocess.run([script, str(tmp_path / "nope.obs")], capture_output=True, text=True, timeout=60)
    assert bad.returncode == 1 and "Traceback" not in bad.stderr
    assert bad.stderr == f"quorlin-cn0: {tmp_path / 'nope.obs'}: No such file or directory\n"


def test_report_with_navigation_shows_the_visibility_summary(capsys):
    obs = shared("obs", "NMBUS_SAMSUNG_S20.20o")
    nav = shared("nav", "NMBUS_SAMSUNG_S20.20n")
    status, out, _ = run(capsys, "--nav", nav, obs)
    assert status == 0
    expected = q.analyze_cn0(str(obs), str(nav))
    assert f"Visibility ({expected.visibility_prediction_source}): confirmation rate " in out
    assert f"predicted {expected.visibility_mean_predicted:.1f}, observed {expected.visibility_mean_observed:.1f}" in out
    # Without navigation data the section is absent.
    _, plain, _ = run(capsys, obs)
    assert "Visibility (" not in plain


def test_configuration_options_reach_the_analysis(capsys):
    status, out, _ = run(capsys, "--json", "--min-cn0", "40", "--max-cn0", "45", SAMPLE)
    data = json.loads(out)
    assert status == 0 and data["summary"]["total_observations"] > 0
    for stats in data["satellite_stats"].values():
        assert 40.0 <= stats["min_cn0"] and stats["max_cn0"] <= 45.0
    # Thresholds and sensitivity as an AnalysisConfig would apply them: 1 - 0.5 * 1.0 halves 4 and 8.
    _, out, _ = run(capsys, "--json", "--thresholds", "4,8,12", "--sensitivity", "1", SAMPLE)
    expected = q.CN0Analyzer(q.AnalysisConfig(anomaly_threshold_low=2.0, anomaly_threshold_high=4.0,
                                              anomaly_threshold_critical=12.0, anomaly_sensitivity=0.0))
    assert without_assessment(out) == json.loads(expected.analyze_file(str(SAMPLE)).to_json())


@pytest.mark.parametrize("value", ["1,2", "6,3,10", "a,b,c"])
def test_thresholds_must_be_three_rising_numbers(capsys, value):
    with pytest.raises(SystemExit) as info:
        main(["--thresholds", value, str(SAMPLE)])
    assert info.value.code == 2 and "thresholds" in capsys.readouterr().err


def test_report_of_a_file_without_cn0_observations(capsys):
    # Three epochs whose observation types hold no S code.
    status, out, _ = run(capsys, shared("obs", "14601736.18o"))
    assert status == 0
    assert "Epochs:         3\n" in out
    assert "C/N0 values:    no C/N0 observations (the file declares no S observation code)" in out
    assert "Quality:        N/A (No data)" in out


def test_report_says_when_the_navigation_data_misses_the_observation_period(capsys, tmp_path):
    obs = shared("obs", "cn000010.21o")
    # brdc0010.21n covers 2020-12-31 22:00 to 2021-01-02 0:00: the whole day.
    _, out, _ = run(capsys, "--nav", shared("nav", "brdc0010.21n"), obs)
    assert "Navigation data covers" not in out
    # Records of the morning only: the afternoon lies beyond their reach.
    text = shared("nav", "brdc0010.21n").read_text()
    end = text.index("\n", text.index("END OF HEADER")) + 1
    lines = text[end:].splitlines(keepends=True)
    morning = [line for k in range(0, len(lines) - 7, 8) if lines[k][12:14].strip() in {"0", "1", "2", "3"}
               and lines[k][3:11] == "21  1  1" for line in lines[k:k + 8]]
    path = tmp_path / "morning.21n"
    path.write_text(text[:end] + "".join(morning))
    _, out, _ = run(capsys, "--nav", path, obs)
    assert "Navigation data covers only part of the observation period (records 2021-01-01 00:00 to 2021-01-01 " in out
    # Another day: nothing at all, and no visibility section.
    _, out, _ = run(capsys, "--nav", shared("nav", "amel0010.21g"), shared("obs", "NMBUS_SAMSUNG_S20.20o"))
    assert "Navigation data covers none of the observation period (records 2020-12-31 " in out
    assert "Visibility (" not in out


def test_report_lists_visibility_anomalies_with_their_times(capsys):
    obs, nav = shared("obs", "cn000010.21o"), shared("nav", "brdc0010.21n")
    status, out, _ = run(capsys, "--nav", nav, obs)
    anomalies = q.analyze_cn0(str(obs), str(nav)).get_visibility_anomalies()
    assert status == 0 and anomalies
    for anomaly in anomalies[:5]:
        assert f"    {anomaly['start_time']} to {anomaly['end_time']}  {anomaly['severity']:<8}  " \
               f"{anomaly['description']}" in out
