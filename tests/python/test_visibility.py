"""Analyses with broadcast navigation data: look angles of the samples and the visibility prediction."""
import gzip
import json

import pytest

import quorlin_cn0 as q
from conftest import SHARED_DATA
from rinex_text import epoch_v3, header_v3

ESBC_OBS = "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
ESBC_NAV = "ESBC00DNK_R_20201770000_01D_MN.rnx.gz"


def shared(kind, name):
    path = SHARED_DATA / kind / name
    if not path.is_file():
        pytest.skip(f"shared data file missing: {path}")
    return path


@pytest.fixture(scope="module")
def esbc(tmp_path_factory):
    """The ESBC daily observations and the same day's mixed navigation file, decompressed."""
    folder = tmp_path_factory.mktemp("esbc")
    paths = []
    for kind, name in (("obs", ESBC_OBS), ("nav", ESBC_NAV)):
        path = folder / name[:-3]
        path.write_bytes(gzip.decompress(shared(kind, name).read_bytes()))
        paths.append(str(path))
    return paths


def records_of(body, letters):
    """The navigation records whose first line starts with one of the letters (RINEX 3 layout:
    a record's continuation lines begin with spaces)."""
    kept, keep = [], False
    for line in body.splitlines(keepends=True):
        if not line.startswith(" "):
            keep = line[:1] in letters
        if keep:
            kept.append(line)
    return "".join(kept)


@pytest.fixture(scope="module")
def gps_only_nav(esbc, tmp_path_factory):
    text = open(esbc[1], encoding="ascii").read()
    end = text.index("END OF HEADER")
    end = text.index("\n", end) + 1
    path = tmp_path_factory.mktemp("gps") / "gps_only.rnx"
    path.write_text(text[:end] + records_of(text[end:], {"G"}), encoding="ascii")
    return str(path)


@pytest.fixture(scope="module")
def esbc_with_nav(esbc):
    return q.analyze_cn0(esbc[0], esbc[1])


def test_mixed_navigation_confirms_the_received_satellites(esbc, esbc_with_nav):
    r = esbc_with_nav
    nav = q.read_navigation(esbc[1])
    assert r.has_visibility_prediction
    assert r.visibility_prediction_source == f"BRDC Navigation ({nav.satellite_count} satellites)"
    # Broadcast orbits and a surveyed station: nearly every predicted satellite is received.
    assert r.visibility_confirmation_rate > 95.0
    assert 30.0 < r.visibility_mean_predicted < 45.0
    assert r.visibility_mean_missing < 2.0
    assert not r.spoofing_detected
    data = json.loads(r.to_json())["visibility"]
    assert list(data["by_system"]) == ["GPS", "GLONASS", "Galileo", "BeiDou"]
    for name, system in data["by_system"].items():
        assert system["system"] == name and system["predicted_satellites"] > 0


def test_samples_carry_real_look_angles_above_the_mask(esbc, esbc_with_nav):
    data = json.loads(esbc_with_nav.to_json())
    elevations = [p["elevation"] for s in data["timeseries"]["satellite_timeseries"].values() for p in s["cn0_series"]]
    assert min(elevations) >= 5.0 and max(elevations) > 80.0
    assert len({round(e) for e in elevations}) > 70
    # Without navigation every sample sits at the default 45 degrees.
    plain = json.loads(q.analyze_cn0(esbc[0]).to_json())
    assert {p["elevation"] for s in plain["timeseries"]["satellite_timeseries"].values() for p in s["cn0_series"]} == {45.0}
    # A higher mask keeps fewer samples.
    assert q.analyze_cn0(esbc[0], esbc[1], min_elevation=30.0).total_observations < esbc_with_nav.total_observations


def test_gps_only_navigation_leaves_other_systems_out(esbc, gps_only_nav, esbc_with_nav):
    r = q.analyze_cn0(esbc[0], gps_only_nav)
    assert r.visibility_prediction_source.startswith("BRDC Navigation (")
    # About eleven GPS satellites above the mask; the GLONASS, Galileo and BeiDou satellites the
    # receiver tracks are not turned into "unexpected" ones.
    assert 8.0 < r.visibility_mean_predicted < 14.0
    assert r.visibility_mean_unexpected < 2.0
    assert r.visibility_mean_observed < esbc_with_nav.visibility_mean_observed / 2
    assert not r.spoofing_detected
    assert "unexpected" not in r.summary
    systems = json.loads(r.to_json())["visibility"]["by_system"]
    for name in ("GLONASS", "Galileo", "BeiDou"):
        assert systems[name]["observed_satellites"] == 0 and systems[name]["unexpected_satellites"] == []


def test_smartphone_pair():
    obs = shared("obs", "NMBUS_SAMSUNG_S20.20o")
    nav = shared("nav", "NMBUS_SAMSUNG_S20.20n")
    r = q.analyze_cn0(str(obs), str(nav))
    assert r.has_visibility_prediction and r.visibility_confirmation_rate > 90.0
    debug = r.visibility_debug()
    assert debug["_overall"]["source"] == r.visibility_prediction_source


def test_navigation_without_receiver_position(tmp_path, esbc):
    # A one-epoch file without APPROX POSITION: the record exists but predicts nothing.
    text = header_v3({"G": "S1C"}) + epoch_v3("2020 06 25 12 00  0.0000000", [("G05", [45.0])])
    path = tmp_path / "noposition.rnx"
    path.write_text(text)
    r = q.analyze_cn0(str(path), esbc[1])
    assert r.has_visibility_prediction
    assert r.visibility_prediction_source == ""
    assert r.visibility_mean_predicted == 0.0 and r.visibility_confirmation_rate == 0.0
    assert json.loads(r.to_json())["visibility"]["by_system"] == {}
