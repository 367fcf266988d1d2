"""Columns of results and observation records: the same values as the JSON and the parsed record,
handed over through the buffer protocol; frames and datasets built from them when pandas and
xarray are installed."""
import json
import math
import sys
from collections import Counter

import pytest

import quorlin_cn0 as q
from conftest import optional
from rinex_text import header_v3, epoch_v3


def values(column):
    """The items of a column, read through the buffer protocol alone."""
    return memoryview(column).tolist()


def rows(columns, names):
    lists = [values(columns[n]) for n in names]
    return list(zip(*lists))


def labelled(columns, name):
    labels = columns[name].labels
    return [labels[code] for code in values(columns[name])]


def ns_of(timestamp):
    """Nanoseconds since 1970 of a timestamp text such as 2020-06-25T00:00:30.000Z."""
    import datetime
    day, clock = timestamp.rstrip("Z").split("T")
    whole, _, fraction = clock.partition(".")
    moment = datetime.datetime.fromisoformat(f"{day}T{whole}").replace(tzinfo=datetime.timezone.utc)
    return int(moment.timestamp()) * 10**9 + int((fraction or "0").ljust(9, "0"))


@pytest.fixture(scope="module")
def esbc_results(esbc):
    obs, nav = esbc
    return {"without": q.analyze_cn0(obs), "with": q.analyze_cn0(obs, nav)}


@pytest.mark.parametrize("navigation", ["without", "with"])
def test_sample_columns_hold_the_json_series(esbc_results, navigation):
    result = esbc_results[navigation]
    columns = result.sample_columns()
    document = json.loads(result.to_json())
    timestamps = document["timeseries"]["timestamps"]
    expected = Counter()
    for satellite, series in document["timeseries"]["satellite_timeseries"].items():
        for p in series["cn0_series"]:
            expected[(ns_of(p["timestamp"]), satellite, p["cn0"], p["elevation"], p["azimuth"])] += 1
    found = Counter()
    placeholders = 0
    for time, satellite, cn0, elevation, azimuth in zip(values(columns["time"]), labelled(columns, "satellite"),
                                                         values(columns["cn0"]), values(columns["elevation"]),
                                                         values(columns["azimuth"])):
        if math.isnan(elevation):
            # Where no look angle was computed the JSON holds the placeholders, the columns NaN.
            assert math.isnan(azimuth)
            elevation, azimuth = 45.0, 0.0
            placeholders += 1
        found[(time, satellite, cn0, elevation, azimuth)] += 1
    assert found == expected
    assert len(values(columns["cn0"])) == document["summary"]["total_observations"]
    # Every satellite of the four systems has an orbit in the day's navigation file.
    assert placeholders == (len(values(columns["cn0"])) if navigation == "without" else 0)
    # Rows in time order, each naming its time point.
    times = values(columns["time"])
    assert times == sorted(times)
    assert [ns_of(timestamps[i]) for i in values(columns["time_index"])] == times


def test_no_look_angles_without_an_orbit(esbc, gps_only_nav):
    """With GPS orbits alone only GPS samples have look angles; the others are NaN, not 45 and 0."""
    columns = q.analyze_cn0(esbc[0], gps_only_nav).sample_columns()
    angles = Counter((system, math.isnan(e), math.isnan(a)) for system, e, a in
                     zip(labelled(columns, "system"), values(columns["elevation"]), values(columns["azimuth"])))
    assert {key[0] for key in angles} == {"GPS", "GLONASS", "Galileo", "BeiDou"}
    assert all(key[1] == key[2] == (key[0] != "GPS") for key in angles)


def test_samples_keep_their_own_signal(esbc_results, esbc):
    """Each sample row carries its own code: the rows are the record's C/N0 values of the four
    default systems, not a satellite's values under its first code."""
    result = esbc_results["without"]
    sample_rows = Counter(zip(values(result.sample_columns()["time"]), labelled(result.sample_columns(), "satellite"),
                              labelled(result.sample_columns(), "signal"), values(result.sample_columns()["cn0"])))
    obs = q.read_rinex_obs(esbc[0])
    columns = obs.cn0_columns()
    observed = Counter(r for r in zip(values(columns["time"]), labelled(columns, "satellite"),
                                      labelled(columns, "signal"), values(columns["cn0"]))
                       if r[1][0] in "GREC" and 0.0 <= r[3] <= 60.0)
    assert sample_rows == observed
    # G05 is tracked on four signals; the JSON names its series after one of them.
    g05 = {s for s, sat in zip(labelled(result.sample_columns(), "signal"),
                               labelled(result.sample_columns(), "satellite")) if sat == "G05"}
    assert len(g05) == 4


def test_observation_columns_against_the_record(esbc):
    obs = q.read_rinex_obs(esbc[0])
    columns = obs.cn0_columns()
    assert list(columns) == ["time", "satellite", "system", "signal", "cn0"]
    systems = dict(zip(labelled(columns, "satellite"), labelled(columns, "system")))
    names = {"G": "GPS", "R": "GLONASS", "E": "Galileo", "C": "BeiDou", "J": "QZSS", "S": "SBAS"}
    assert all(names[sat[0]] == system for sat, system in systems.items())
    assert set(systems) == {s for sats in obs.satellites_by_system().values() for s in sats}
    assert all(code.startswith("S") for code in columns["signal"].labels)
    stats = obs.snr_stats_by_satellite()
    counts = Counter(labelled(columns, "satellite"))
    for satellite, entry in list(stats.items())[:10]:
        assert counts[satellite] == int(entry["obs_count"]), satellite


def test_epoch_and_visibility_columns(esbc_results):
    result = esbc_results["with"]
    epochs = result.epoch_columns()
    assert [ns_of(t) for t in result.get_timestamps()] == values(epochs["time"])
    assert values(epochs["mean_cn0"]) == result.get_timeseries_cn0()
    assert values(epochs["satellite_count"]) == result.get_satellite_count_series()
    visibility = result.visibility_columns()
    n = len(visibility["time"])
    assert n == 2880
    for name, mean in (("predicted", result.visibility_mean_predicted), ("observed", result.visibility_mean_observed),
                       ("missing", result.visibility_mean_missing),
                       ("unexpected", result.visibility_mean_unexpected)):
        assert sum(values(visibility[name])) / n == pytest.approx(mean, rel=1e-12), name
    confirmed = sum(values(visibility["confirmed"])) / n
    assert confirmed / result.visibility_mean_predicted * 100 == pytest.approx(result.visibility_confirmation_rate)
    without = esbc_results["without"].visibility_columns()
    assert list(without) == list(visibility) and all(len(c) == 0 for c in without.values())


def test_columns_are_read_only_buffers_that_outlive_their_result(tmp_path):
    text = header_v3({"G": "C1C S1C S2W"}) + epoch_v3("2024 03 01 00 00 30.0000000", [("G01", [2.0e7, 45.0, 39.5])])
    path = tmp_path / "one.rnx"
    path.write_text(text)
    columns = q.analyze_cn0(str(path)).sample_columns()
    view = memoryview(columns["cn0"])
    assert (view.readonly, view.format, view.itemsize, view.shape, view.tolist()) == (True, "d", 8, (2,), [45.0, 39.5])
    assert [memoryview(columns[n]).format for n in ("time", "time_index", "satellite", "signal")] == ["q", "I", "H", "H"]
    assert values(columns["time"]) == [ns_of("2024-03-01T00:00:30.000Z")] * 2
    assert labelled(columns, "signal") == ["S1C", "S2W"] and columns["cn0"].labels is None
    with pytest.raises(TypeError):
        view[0] = 1.0
    with pytest.raises(TypeError):
        q.Column()
    assert repr(columns["cn0"]) == "Column(name='cn0', dtype='float64', length=2)"
    del view
    survivor = columns["cn0"]
    del columns
    assert values(survivor) == [45.0, 39.5]


def test_empty_columns(tmp_path):
    path = tmp_path / "no_cn0.rnx"
    path.write_text(header_v3({"G": "C1C"}) + epoch_v3("2024 03 01 00 00 30.0000000", [("G01", [2.0e7])]))
    result = q.analyze_cn0(str(path))
    for columns in (result.sample_columns(), result.epoch_columns(), q.read_rinex_obs(str(path)).cn0_columns()):
        assert all(len(c) == 0 and values(c) == [] for c in columns.values())


# --- numpy, pandas and xarray, when installed


def test_numpy_wraps_columns_without_copying(esbc_results):
    np = optional("numpy", "numpy")
    from quorlin_cn0 import frames

    columns = esbc_results["with"].sample_columns()
    cn0 = frames.column_array(columns["cn0"])
    assert cn0.dtype == np.float64 and not cn0.flags.writeable and not cn0.flags.owndata
    assert np.shares_memory(cn0, frames.column_array(columns["cn0"]))
    assert np.asarray(columns["cn0"]).dtype == np.float64
    time = frames.column_array(columns["time"])
    assert time.dtype == np.dtype("datetime64[ns]") and str(time[0]) == "2020-06-25T00:00:00.000000000"


def test_pandas_tables(esbc_results, esbc):
    optional("pandas", "pandas")
    result = esbc_results["with"]
    frame = result.to_pandas()
    assert list(frame.columns) == ["time", "time_index", "satellite", "system", "signal", "cn0", "elevation",
                                   "azimuth", "residual"]
    assert len(frame) == result.total_observations
    assert str(frame["time"].dtype) == "datetime64[ns]"
    assert all(str(frame[c].dtype) == "category" for c in ("satellite", "system", "signal"))
    assert frame.groupby("satellite", observed=True)["cn0"].mean()["G05"] == \
        pytest.approx(json.loads(result.to_json())["satellite_stats"]["G05"]["mean_cn0"])
    epochs = result.to_pandas("epochs")
    assert list(epochs.columns) == ["time", "mean_cn0", "satellite_count"] and len(epochs) == len(result.get_timestamps())
    visibility = result.to_pandas(table="visibility")
    assert len(visibility) == 2880 and visibility["missing"].mean() == pytest.approx(result.visibility_mean_missing)
    anomalies = result.to_pandas("anomalies")
    assert len(anomalies) == result.anomaly_count and str(anomalies["time"].dtype) == "datetime64[ns]"
    assert list(anomalies["cn0_drop"]) == result.get_anomaly_cn0_drops()
    visibility_anomalies = result.to_pandas("visibility_anomalies")
    assert len(visibility_anomalies) == result.visibility_anomaly_count
    observed = q.read_rinex_obs(esbc[0]).to_pandas()
    assert list(observed.columns) == ["time", "satellite", "system", "signal", "cn0"]
    assert observed.groupby("signal", observed=True).size()["S1C"] > 0
    with pytest.raises(ValueError, match="table must be one of"):
        result.to_pandas("nothing")


def test_xarray_dataset(esbc_results, esbc):
    optional("xarray", "xarray")
    np = optional("numpy", "numpy")
    result = esbc_results["with"]
    dataset = result.to_xarray()
    columns = result.sample_columns()
    assert dict(dataset.sizes) == {"time": len(result.get_timestamps()), "sv": len(columns["satellite"].labels),
                                   "signal": len(columns["signal"].labels)}
    assert dataset["cn0"].dims == ("time", "sv", "signal") and dataset["elevation"].dims == ("time", "sv")
    assert dataset["residual"].dims == ("time", "sv", "signal")
    # A residual only where there is a sample.
    assert not bool(np.any(np.isnan(dataset["cn0"].values) & ~np.isnan(dataset["residual"].values)))
    assert int(np.count_nonzero(~np.isnan(dataset["cn0"].values))) == result.total_observations
    assert str(dataset["system"].sel(sv="E11").item()) == "Galileo"
    assert float(dataset["cn0"].sel(sv="G05").mean()) == \
        pytest.approx(json.loads(result.to_json())["satellite_stats"]["G05"]["mean_cn0"])
    observed = q.read_rinex_obs(esbc[0]).to_xarray()
    assert observed["cn0"].dims == ("time", "sv", "signal") and observed.sizes["time"] == 2880


@pytest.mark.parametrize("method, extra", [("to_pandas", "pandas"), ("to_xarray", "xarray")])
def test_missing_library_names_the_extra(monkeypatch, esbc_results, method, extra):
    monkeypatch.setitem(sys.modules, extra, None)  # import of it fails
    with pytest.raises(ImportError, match=rf"pip install quorlin_cn0\[{extra}\]"):
        getattr(esbc_results["without"], method)()
