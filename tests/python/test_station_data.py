"""What the analysis says about real, healthy stations: data gaps, navigation files of other days,
systems or periods, satellites tracked down to the horizon, and a receiver that loses every signal."""
import gzip
import json
import re

import pytest

import quorlin_cn0 as q
from conftest import REPO, shared

CEDA_OBS = "CEDA00USA_R_20182100000_23H_15S_MO.rnx.gz"
ELKO_NAV = "ELKO00USA_R_20182100000_01D_MN.rnx.gz"
OTHER_DAY_NAV = "BRD400DLR_S_20230710000_01D_MN.rnx.gz"


def plain(tmp_path, kind, name):
    path = tmp_path / name.removesuffix(".gz")
    path.write_bytes(gzip.decompress(shared(kind, name).read_bytes()))
    return str(path)


def data_gaps(result, name=None):
    """Data gaps of one constellation, or of all of them."""
    names = [name] if name else result.constellations
    summaries = (result.get_constellation_summary(n) for n in names)
    return sum(int(s["data_gaps"]) for s in summaries if s is not None)


@pytest.fixture(scope="module")
def esbc_with_nav(esbc):
    return q.analyze_cn0(esbc[0], esbc[1])


# --- data gaps ---------------------------------------------------------------------------------

@pytest.mark.parametrize("navigation", [False, True], ids=["default angles", "look angles"])
def test_hours_below_the_horizon_are_not_data_gaps(esbc, navigation):
    # A clean station at 30 s: satellites set and rise again many times a day.
    result = q.analyze_cn0(*(esbc if navigation else esbc[:1]))
    assert data_gaps(result) < 200
    assert result.quality_score.continuity > 99.0


def test_rinex2_station_day_keeps_its_continuity():
    result = q.analyze_cn0(str(shared("obs", "cn000010.21o")))
    assert data_gaps(result, "GPS") < 300
    assert result.quality_score.continuity > 90.0


# --- navigation files that describe nothing, or other systems --------------------------------

def test_navigation_of_another_day_predicts_nothing(esbc, tmp_path):
    result = q.analyze_cn0(esbc[0], plain(tmp_path, "nav", OTHER_DAY_NAV))
    assert not result.has_visibility_prediction
    assert not result.spoofing_detected
    assert "WARNING" not in result.summary
    # Exactly the result without navigation data: no ephemeris is within reach of any epoch.
    assert result.to_json() == q.analyze_cn0(esbc[0]).to_json()


def test_glonass_navigation_for_a_gps_receiver_predicts_nothing():
    result = q.analyze_cn0(str(shared("obs", "cn000010.21o")), str(shared("nav", "amel0010.21g")))
    assert not result.has_visibility_prediction


def test_gps_navigation_file_lacking_satellites(esbc, tmp_path):
    # A station navigation file without eight of the GPS satellites: the receiver's other
    # satellites have no orbit and are left out, never "unexpected".
    text = open(esbc[1], encoding="ascii").read()
    end = text.index("\n", text.index("END OF HEADER")) + 1
    dropped = {f"G{n:02d}" for n in range(1, 9)}
    kept, keep = [], False
    for line in text[end:].splitlines(keepends=True):
        if not line.startswith(" "):
            keep = line[:1] == "G" and line[:3] not in dropped
        if keep:
            kept.append(line)
    path = tmp_path / "gps_lacking.rnx"
    path.write_text(text[:end] + "".join(kept), encoding="ascii")
    result = q.analyze_cn0(esbc[0], str(path))
    assert result.has_visibility_prediction
    assert result.visibility_mean_unexpected == 0.0
    assert result.visibility_confirmation_rate > 95.0
    assert not result.spoofing_detected
    assert not set(result.get_frequently_unexpected_satellites()) & dropped


def test_only_the_systems_the_receiver_records_are_predicted(tmp_path):
    # This receiver records Galileo and GLONASS only; the mixed file also holds GPS and BeiDou.
    result = q.analyze_cn0(plain(tmp_path, "obs", CEDA_OBS), plain(tmp_path, "nav", ELKO_NAV))
    systems = json.loads(result.to_json())["visibility"]["by_system"]
    assert systems["GPS"]["predicted_satellites"] == 0 and systems["BeiDou"]["predicted_satellites"] == 0
    assert systems["Galileo"]["predicted_satellites"] > 0 and systems["GLONASS"]["predicted_satellites"] > 0
    assert not any(s.startswith(("G", "C")) for s in result.get_frequently_missing_satellites())


def test_rinex2_galileo_navigation_file_is_galileo():
    nav = q.read_navigation(str(REPO / "tests" / "data" / "nav" / "ceda2100_head.18e"))
    assert (nav.galileo_count, nav.gps_count, nav.satellite_count) == (5, 0, 5)


# --- low satellites of a geodetic receiver ------------------------------------------------------

def test_satellites_tracked_down_to_the_horizon_are_not_unexpected(esbc_with_nav):
    result = esbc_with_nav
    assert result.visibility_confirmation_rate > 95.0
    assert result.visibility_mean_unexpected < 0.1
    assert "unexpected_satellites" not in result.get_visibility_anomaly_types()
    assert result.get_frequently_unexpected_satellites() == []


# --- a receiver that loses every signal -------------------------------------------------------

def without_satellites(text, first, last):
    """The observation text with every satellite removed from the epochs from first to last
    (times as "hh mm ss" texts); their epoch lines stay, with a count of 0."""
    out, dropping = [], 0
    for line in text.splitlines(keepends=True):
        if line.startswith(">"):
            dropping = 0
            if first <= line[13:21] <= last:
                dropping = int(line[32:35])
                line = line[:32] + "  0" + line[35:]
        elif dropping:
            dropping -= 1
            continue
        out.append(line)
    return "".join(out)


@pytest.mark.parametrize("first,last,start,end", [
    ("12 00 00", "12 29 30", "2020-06-25T12:00:00.000Z", "2020-06-25T12:29:30.000Z"),
    ("23 30 00", "23 59 30", "2020-06-25T23:30:00.000Z", "2020-06-25T23:59:30.000Z"),
], ids=["half an hour at noon", "half an hour to the end of the file"])
def test_loss_of_every_signal_shows_the_missing_satellites(esbc, tmp_path, first, last, start, end):
    text = open(esbc[0], encoding="ascii").read()
    path = tmp_path / "outage.rnx"
    path.write_text(without_satellites(text, first, last), encoding="ascii")
    result = q.analyze_cn0(str(path), esbc[1])
    losses = [a for a in result.get_visibility_anomalies() if a["anomaly_type"] == "missing_satellites"]
    assert len(losses) == 1
    loss = losses[0]
    assert (loss["start_time"], loss["end_time"]) == (start, end)
    assert loss["duration_seconds"] == pytest.approx(1770.0, abs=1e-3)
    assert loss["severity"] == "critical" and len(loss["affected_satellites"]) > 30
    assert {"BeiDou", "GLONASS", "GPS", "Galileo"} <= set(loss["affected_systems"])
    assert re.fullmatch(r"\d+ satellites missing for 1770s - possible jamming or obstruction", loss["description"])
