"""The interference assessment on real files: quiet on the clean ones, and episodes built into them
(by bench/interference_eval.py) found where they are, in the right bands, of the right kind."""
import datetime
import gzip
import json
import sys

import pytest

import quorlin_cn0 as q
from conftest import REPO, shared

sys.path.insert(0, str(REPO / "bench"))
import interference_eval as ev  # noqa: E402  (the evaluation tool builds the episodes)

CLEAN = [("ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", "ESBC00DNK_R_20201770000_01D_MN.rnx.gz"),
         ("CEDA00USA_R_20182100000_23H_15S_MO.rnx.gz", "ELKO00USA_R_20182100000_01D_MN.rnx.gz"),
         ("cn000010.21o", "brdc0010.21n")]
FALSE_KINDS = {"jamming", "interference", "obstruction", "spoofing"}


def plain(path, folder):
    if path.suffix != ".gz":
        return path
    target = folder / path.name[:-3]
    if not target.exists():
        target.write_bytes(gzip.decompress(path.read_bytes()))
    return target


def analyse(obs, nav=None, **config):
    analyzer = q.CN0Analyzer(q.AnalysisConfig(**config))
    return analyzer.analyze_with_nav(str(obs), str(nav)) if nav else analyzer.analyze_file(str(obs))


@pytest.fixture(scope="module")
def folder(tmp_path_factory):
    return tmp_path_factory.mktemp("assessment")


@pytest.mark.parametrize("obs, nav, with_nav", [(o, n, w) for o, n in CLEAN for w in (False, True)],
                         ids=[f"{o.split('.')[0][:8]}-{'nav' if w else 'no-nav'}" for o, _ in CLEAN for w in (False, True)])
def test_clean_geodetic_files_have_no_episode_but_outages(obs, nav, with_nav, folder):
    obs_path = plain(shared("obs", obs), folder)
    nav_path = plain(shared("nav", nav), folder) if with_nav else None
    assessment = analyse(obs_path, nav_path).get_assessment()
    assert assessment["expectation"] == ("elevation" if with_nav else "baseline")
    assert [e for e in assessment["episodes"] if e["kind"] in FALSE_KINDS] == []
    assert not (assessment["jamming_detected"] or assessment["interference_detected"] or assessment["spoofing_detected"])
    assert assessment["degraded_share"] == 0.0


@pytest.fixture(scope="module")
def cn00():
    return ev.read_obs(shared("obs", "cn000010.21o"))


def scenario(obs, kind, minutes, drop_db=0.0, bands=(), hours_in=8):
    start = obs.epochs[0].time + datetime.timedelta(hours=hours_in)
    end = start + datetime.timedelta(minutes=minutes, seconds=-obs.interval())
    if kind == "spoofing":
        end = obs.epochs[-1].time
    return ev.Scenario(kind, start, end, drop_db, frozenset(bands), minutes)


# The four-hour ones outlast the passes of the satellites that saw them begin.
SCENARIOS = [("drop", 20, 10.0, ("L1",)), ("drop", 2, 6.0, ()), ("drop", 60, 25.0, ("L1",)), ("empty", 2, 0.0, ()),
             ("omitted", 2, 0.0, ()), ("spoofing", 0, 0.0, ()), ("drop", 240, 6.0, ()), ("drop", 240, 15.0, ("L1",)),
             ("drop", 240, 25.0, ("L1",)), ("drop", 240, 25.0, ())]


@pytest.mark.parametrize("with_nav", [False, True], ids=["no-nav", "nav"])
@pytest.mark.parametrize("kind, minutes, drop_db, bands", SCENARIOS,
                         ids=[f"{k}-{m}min-{d:g}dB-{'+'.join(b) or 'all'}" for k, m, d, b in SCENARIOS])
def test_episodes_built_into_a_rinex2_day_are_found_to_the_epoch(cn00, folder, kind, minutes, drop_db, bands, with_nav):
    built = scenario(cn00, kind, minutes, drop_db, bands)
    path = folder / f"cn00_{kind}_{minutes}_{drop_db:g}.21o"
    ev.write_obs(ev.build(cn00, built), path)
    nav = shared("nav", "brdc0010.21n") if with_nav else None
    outcome = ev.compare(analyse(path, nav).get_assessment(), built, cn00.interval(), cn00.bands())
    assert outcome.found and outcome.right_bands and outcome.right_kind, outcome
    assert (outcome.start_error, outcome.end_error, outcome.pieces, outcome.extra) == (0.0, 0.0, 1, 0)


def test_hour_of_jamming_in_every_band_of_a_rinex3_day(esbc, folder):
    obs = ev.read_obs(shared("obs", "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"))
    built = scenario(obs, "drop", 60, 15.0)
    path = folder / "esbc_jammed.rnx"
    ev.write_obs(ev.build(obs, built), path)
    for nav in (None, esbc[1]):
        assessment = analyse(path, nav).get_assessment()
        outcome = ev.compare(assessment, built, 30.0, obs.bands())
        assert outcome.found and outcome.right_bands and outcome.right_kind, (nav, outcome)
        assert (outcome.start_error, outcome.end_error, outcome.extra) == (0.0, 0.0, 0)
        episode = assessment["episodes"][0]
        assert episode["bands"] == ["L1", "L2", "L5", "E6"] and episode["severity"] == "critical"
        assert episode["median_drop_db"] == pytest.approx(15.0, abs=1.0)
        assert episode["systems"] == ["BeiDou", "GLONASS", "GPS", "Galileo"]
        assert assessment["degraded_share"] == pytest.approx(60 / 1440)


@pytest.mark.parametrize("with_nav", [False, True], ids=["no-nav", "nav"])
def test_four_hours_of_jamming_in_a_one_second_file_are_one_episode(esbc, folder, with_nav):
    """Four hours outlast the passes the levels held from before them were learnt on: the episode
    still ends where it ends, to the second, not when the passes have moved on. (Ten hours of file:
    the elevation model learns from the file, and a file jammed most of the time teaches it that
    jammed is normal.)"""
    path = folder / "esbc_1s_jammed.rnx"
    obs = ev.read_obs(shared("obs", "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"))
    dense = ev.dense_excerpt(obs, b"GE", 6, 10)
    start = dense.epochs[0].time + datetime.timedelta(hours=3)
    built = ev.Scenario("drop", start, start + datetime.timedelta(hours=4, seconds=-1), 6.0, frozenset(), 240)
    if not path.exists():
        ev.write_obs(ev.build(dense, built), path)
    assessment = analyse(path, esbc[1] if with_nav else None).get_assessment()
    outcome = ev.compare(assessment, built, 1.0, dense.bands())
    assert outcome.found and outcome.right_bands and outcome.right_kind, outcome
    assert (outcome.start_error, outcome.end_error, outcome.pieces, outcome.extra) == (0.0, 0.0, 1, 0)


def residuals_by_moment(result, start, end):
    """The finite residuals of the samples inside [start, end] and of the others."""
    columns = result.sample_columns()
    times = memoryview(columns["time"]).tolist()
    first, last = (int(t.replace(tzinfo=datetime.timezone.utc).timestamp()) * 10**9 for t in (start, end))
    inside, outside, missing = [], [], 0
    for time, residual in zip(times, memoryview(columns["residual"]).tolist()):
        if residual != residual:
            missing += 1
        else:
            (inside if first <= time <= last else outside).append(residual)
    return sorted(inside), sorted(outside), missing / len(times)


def test_residuals_show_the_fall_against_what_was_expected(esbc, folder):
    """The per-sample residual column: near zero on clean stretches, the drop of the built episode
    inside it, with and without navigation data, and a value for nearly every sample."""
    obs = ev.read_obs(shared("obs", "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"))
    built = scenario(obs, "drop", 60, 15.0)
    path = folder / "esbc_jammed_residual.rnx"
    ev.write_obs(ev.build(obs, built), path)
    for nav in (None, esbc[1]):
        inside, outside, missing_share = residuals_by_moment(analyse(path, nav), built.start, built.end)
        assert inside[len(inside) // 2] == pytest.approx(-15.0, abs=1.5), nav
        assert abs(outside[len(outside) // 2]) < 1.0, nav
        assert missing_share < 0.1, nav
    clean = q.analyze_cn0(str(esbc[0]))
    columns = clean.sample_columns()
    assert len(memoryview(columns["residual"])) == clean.total_observations
    # A result without an assessment (a file without C/N0) has no residual to give.
    assert memoryview(q.analyze_cn0(str(shared("obs", "14601736.18o"))).sample_columns()["residual"]).tolist() == []


def test_assessment_json_is_the_dictionary_with_null_for_missing_drops(cn00, folder):
    path = folder / "cn00_lost.21o"
    ev.write_obs(ev.build(cn00, scenario(cn00, "empty", 5)), path)
    result = analyse(path)
    assessment = result.get_assessment()
    episode = assessment["episodes"][0]
    assert episode["median_drop_db"] is None and episode["max_drop_db"] is None
    assert episode["kind"] == "jamming" and len(episode["lost_satellites"]) > 5
    for pretty in (False, True):
        text = result.assessment_json(pretty=pretty)
        assert json.loads(text) == assessment
        assert list(json.loads(text)) == list(assessment)
        assert ("\n" in text) == pretty
    assert isinstance(assessment["epochs"], int) and isinstance(assessment["interval_seconds"], float)
    assert "assessment" not in json.loads(result.to_json())


def test_a_file_without_cn0_has_nothing_to_assess():
    result = q.analyze_cn0(str(shared("obs", "14601736.18o")))
    assert result.get_assessment() is None
    assert result.assessment_json() == "null"


def test_a_receiver_that_receives_nothing_all_file_is_jammed_not_empty(tmp_path):
    from rinex_text import header_v3
    text = header_v3({"G": "C1C S1C"}, interval=30.0)
    for minute in range(20):
        text += f"> 2024 03 01 00 {minute:02d} 00.0000000  0  0\n"
    path = tmp_path / "nothing.rnx"
    path.write_text(text)
    result = q.analyze_cn0(str(path))
    assert result.summary == "No data"  # the figures have nothing to say ...
    assessment = result.get_assessment()  # ... the assessment has
    assert assessment["jamming_detected"] and assessment["degraded_share"] == 1.0
    [episode] = assessment["episodes"]
    assert (episode["start_time"], episode["end_time"]) == ("2024-03-01T00:00:00.000Z", "2024-03-01T00:19:00.000Z")
    assert episode["bands"] == ["L1"] and episode["duration_seconds"] == 1200.0  # epochs a minute apart


@pytest.mark.parametrize("config", [{"assessment_min_drop_db": 12.0}, {"assessment_min_episode_seconds": 1800.0},
                                    {"assessment_min_satellites": 40}],
                         ids=["margin", "length", "satellites"])
def test_thresholds_reach_the_assessment(cn00, folder, config):
    path = folder / "cn00_10dB.21o"
    if not path.exists():
        ev.write_obs(ev.build(cn00, scenario(cn00, "drop", 20, 10.0, ("L1",))), path)
    assert len(analyse(path).get_assessment()["episodes"]) == 1
    assert analyse(path, **config).get_assessment()["episodes"] == []


def test_record_kept_or_freed_gives_one_assessment(cn00, folder):
    # analyze_file frees the record once the samples are taken; from_obs keeps it shared.
    path = folder / "cn00_kept.21o"
    ev.write_obs(ev.build(cn00, scenario(cn00, "drop", 20, 10.0, ("L1",))), path)
    nav = shared("nav", "brdc0010.21n")
    freed = analyse(path, nav).get_assessment()
    analyzer = q.CN0Analyzer.from_obs(q.read_rinex_obs(str(path)))
    analyzer.set_navigation(q.read_navigation(str(nav)))
    kept = analyzer.analyze().get_assessment()
    assert kept == freed and len(kept["episodes"]) == 1 and kept["expectation"] == "elevation"


@pytest.mark.parametrize("pretty", [False, True], ids=["compact", "pretty"])
def test_write_json_with_the_assessment_adds_it_last(cn00, folder, tmp_path, pretty):
    path = folder / "cn00_written.21o"
    ev.write_obs(ev.build(cn00, scenario(cn00, "empty", 5)), path)
    result = analyse(path)
    target = tmp_path / "out.json"
    result.write_json(target, pretty=pretty, with_assessment=True)
    text = target.read_text()
    plain = result.to_json_pretty() if pretty else result.to_json()
    assert text.startswith(plain[:-2] if pretty else plain[:-1])
    document = json.loads(text)
    assert list(document)[-1] == "assessment" and document["assessment"] == result.get_assessment()
    assert {k: v for k, v in document.items() if k != "assessment"} == json.loads(plain)
    chunks = []

    class Collector:
        def write(self, data):
            chunks.append(bytes(data))

    result.write_json(Collector(), pretty=pretty, with_assessment=True)
    assert b"".join(chunks).decode() == text
    with pytest.raises(TypeError):
        result.write_json(target, with_assessment=1)
