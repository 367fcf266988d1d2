"""Analyses with broadcast navigation data: look angles of the samples and the visibility prediction."""
import json

import pytest

import quorlin_cn0 as q
from conftest import shared
from rinex_text import epoch_v3, header_v3


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
    # A one-epoch file without APPROX POSITION: nothing can be predicted, so the result is the one
    # without navigation data (no rate of 0 % reaches the quality score).
    text = header_v3({"G": "S1C"}) + epoch_v3("2020 06 25 12 00  0.0000000", [("G05", [45.0])])
    path = tmp_path / "noposition.rnx"
    path.write_text(text)
    r = q.analyze_cn0(str(path), esbc[1])
    assert not r.has_visibility_prediction
    assert r.to_json() == q.analyze_cn0(str(path)).to_json()
