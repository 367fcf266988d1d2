"""analyze_cn0 and the AnalysisResult and QualityScore classes, on crafted and real files."""
import gzip
import json
import math

import pytest

import quorlin_cn0 as q
from rinex_text import columns, header, header_v3, epoch_v3

RESULT_PROPERTIES = {
    "filename": "Get filename",
    "rinex_version": "Get RINEX version (placeholder)",
    "station_name": "Get station name (marker name)",
    "receiver_type": "Get receiver type",
    "antenna_type": "Get antenna type",
    "start_time": "Get start time",
    "end_time": "Get end time",
    "duration_hours": "Get duration in hours",
    "interval": "Get observation interval",
    "total_observations": "Get total observations",
    "total_satellites": "Get total satellites",
    "total_epochs": "Get total epochs (alias: epoch_count)",
    "epoch_count": "Get epoch count (alias for total_epochs)",
    "constellations": "Get constellations observed",
    "mean_cn0": "Get mean CN0 (alias: avg_cn0)",
    "avg_cn0": "Get average CN0 (alias for mean_cn0)",
    "min_cn0": "Get min CN0",
    "max_cn0": "Get max CN0",
    "cn0_std_dev": "Get CN0 standard deviation (computed from timeseries)",
    "anomaly_count": "Get anomaly count",
    "critical_count": "Get critical anomaly count",
    "jamming_detected": "Check if jamming detected\nReal jamming causes: severe CN0 drops (>10dB) across MULTIPLE "
                        "satellites simultaneously\nAND low average CN0 (<35 dB-Hz) or high percentage of critical "
                        "anomalies",
    "spoofing_detected": "Check if spoofing detected\nReal spoofing indicators:\n1. Many unexpected satellites (>40% "
                         "not in ephemeris) with GOOD signals\n2. Satellites appearing with impossible geometry "
                         "(wrong hemisphere, etc.)\nNote: Low CN0 std deviation is NOT a spoofing indicator - it's "
                         "actually good data!",
    "interference_detected": "Check if interference detected\nRequires meaningful anomaly count - not just isolated "
                             "events",
    "quality_score": "Get quality score object with all metrics",
    "score": "Get quality score value (alias for overall)",
    "quality_grade": "Get quality grade",
    "summary": "Get summary interpretation",
    "skyplot_coverage": "Get skyplot coverage percent",
    "skyplot_trace_count": "Get number of skyplot traces",
    "visibility_prediction_source": "Get visibility prediction source",
    "visibility_confirmation_rate": "Get visibility confirmation rate",
    "visibility_mean_predicted": "Get mean predicted satellites",
    "visibility_mean_observed": "Get mean observed satellites",
    "visibility_mean_missing": "Get mean missing satellites per epoch",
    "visibility_mean_unexpected": "Get mean unexpected satellites per epoch (seen but not predicted)",
    "has_visibility_prediction": "Check if visibility prediction is available",
    "visibility_anomaly_count": "Get visibility anomaly count",
    "position_lat": "Get receiver latitude",
    "position_lon": "Get receiver longitude",
}
RESULT_METHODS = {
    "to_json": "Convert to JSON string",
    "to_json_pretty": "Convert to pretty JSON string",
    "get_anomalies": "Get anomalies list",
    "get_constellation_summary": "Get constellation summary by name",
    "get_systems": "Get systems observed",
    "get_timeseries_data": "Get timeseries data as dict",
    "get_timestamps": "Get timeseries timestamps",
    "get_timeseries_cn0": "Get timeseries mean CN0 values",
    "get_skyplot_data": "Get skyplot data as list of trace dicts",
    "get_frequently_missing_satellites": "Get frequently missing satellites (possible obstructions)",
    "get_frequently_unexpected_satellites": "Get frequently unexpected satellites (possible spoofing)",
    "get_visibility_anomaly_types": "Get visibility anomaly types",
    "get_visibility_anomaly_descriptions": "Get visibility anomaly descriptions",
    "visibility_debug": "Get detailed visibility debug info per system",
    "get_mean_cn0_series": "Get timeseries mean CN0 values",
    "get_satellite_count_series": "Get timeseries satellite counts",
    "get_satellite_ids": "Get satellite IDs",
    "get_anomaly_timestamps": "Get anomaly timestamps",
    "get_anomaly_severities": "Get anomaly severities",
    "get_anomaly_cn0_drops": "Get anomaly CN0 drops",
    "get_quality_assessment":
        "Get the quality assessment: overall, its three scores, grade and interpretation, as numbers and texts",
    "get_visibility_anomalies":
        "Get visibility anomalies as dicts with start and end times, duration in seconds and satellites",
    "write_json": "Write the JSON (as to_json, or to_json_pretty with pretty=True) to a path or a binary stream "
                  "without building it in memory; with with_assessment=True the document ends with the interference "
                  "assessment under \"assessment\"",
    "sample_columns": "The C/N0 samples as columns, one row per satellite, signal and epoch in time order: a dict "
                      "of read-only Column objects time, time_index, satellite, system, signal, cn0, elevation, "
                      "azimuth (NaN where no look angle was computed) and residual (dB-Hz against the C/N0 the "
                      "interference assessment expected; NaN where it expected none), for numpy.asarray",
    "epoch_columns": "The epoch series as columns: time, mean_cn0 and satellite_count",
    "visibility_columns": "The visibility comparison per epoch as columns: time, predicted, observed, confirmed, "
                          "missing and unexpected (no rows without a prediction)",
    "to_pandas": "A pandas DataFrame of one table: samples, epochs, visibility, anomalies or visibility_anomalies "
                 "(needs pandas)",
    "to_xarray": "The samples as an xarray Dataset over time, satellite and signal (needs xarray)",
    "get_assessment": "Get the interference assessment: verdicts, spoofing indicators, degraded share and episodes "
                      "of degraded reception, as native values (None when nothing could be assessed)",
    "assessment_json": "The interference assessment as JSON text (indented with pretty=True); null when nothing "
                       "could be assessed",
}
SIGNATURES = {"get_constellation_summary": "($self, name)",
              "write_json": "($self, target, pretty=False, with_assessment=False)",
              "assessment_json": "($self, pretty=False)", "to_pandas": "($self, table='samples')"}
QUALITY_ATTRIBUTES = ["overall", "rating", "cn0_quality", "availability", "continuity", "stability", "diversity",
                      "post_processing_suitable"]


def time_of(i, step=30):
    seconds = i * step
    return f"2024 03 01 {seconds // 3600:02d} {seconds // 60 % 60:02d} {seconds % 60:02d}.0000000"


def write_obs(tmp_path, epochs, systems=None, name="site0610.24o", extra_header=""):
    """epochs: list of [(satellite, [values])] in the code order of systems."""
    systems = systems or {"G": "C1C S1C", "E": "C1C S1C"}
    text = header_v3(systems, marker="SITE", receiver="RX-1", interval=30.0)
    text = text.replace(header("", "END OF HEADER"), extra_header + header("", "END OF HEADER"))
    for i, satellites in enumerate(epochs):
        text += epoch_v3(time_of(i), satellites)
    path = tmp_path / name
    path.write_text(text)
    return str(path)


def fade_epochs():
    """G01, G02 and E01 at 45 dB-Hz for 12 epochs; at the last one G01 and G02 drop to 20 and 21."""
    epochs = [[("G01", [2e7, 45.0]), ("G02", [2e7, 45.0]), ("E01", [2e7, 45.0])] for _ in range(11)]
    epochs.append([("G01", [2e7, 20.0]), ("G02", [2e7, 21.0]), ("E01", [2e7, 45.0])])
    return epochs


# G01's baseline: mean 42.9167 and noise floor 6.91, so its drop of 22.92 exceeds 3 x 6.91; G02's
# drop of 22 exceeds 3 x 6.63.
G01_DROP = sum([45.0] * 11 + [20.0]) / 12 - 20.0


def test_class_surface():
    assert q.AnalysisResult.__doc__ == "Python wrapper for AnalysisResult"
    assert q.QualityScore.__doc__ == "Python wrapper for QualityScore with notebook-compatible attributes"
    for name, doc in RESULT_PROPERTIES.items():
        assert getattr(q.AnalysisResult, name).__doc__ == doc, name
    for name, doc in RESULT_METHODS.items():
        method = getattr(q.AnalysisResult, name)
        assert method.__doc__ == doc, name
        assert method.__text_signature__ == SIGNATURES.get(name, "($self)"), name
    public = [n for n in dir(q.AnalysisResult) if not n.startswith("_")]
    assert sorted(public) == sorted(list(RESULT_PROPERTIES) + list(RESULT_METHODS))
    assert sorted(n for n in dir(q.QualityScore) if not n.startswith("_")) == sorted(QUALITY_ATTRIBUTES)
    for cls in (q.AnalysisResult, q.QualityScore):
        with pytest.raises(TypeError) as info:
            cls()
        assert str(info.value) == f"No constructor defined for {cls.__name__}"


def test_fade_analysis_by_hand(tmp_path):
    r = q.analyze_cn0(write_obs(tmp_path, fade_epochs()))
    assert (r.total_observations, r.total_satellites, r.total_epochs, r.epoch_count) == (36, 3, 12, 12)
    assert r.mean_cn0 == r.avg_cn0 == pytest.approx((34 * 45.0 + 20.0 + 21.0) / 36, abs=1e-12)
    assert (r.min_cn0, r.max_cn0) == (20.0, 45.0)
    assert r.constellations == r.get_systems() == ["GPS", "Galileo"]
    assert (r.station_name, r.receiver_type, r.filename, r.rinex_version) == ("SITE", "RX-1", "", "3.05")
    assert (r.start_time, r.end_time) == ("2024-03-01T00:00:00.000Z", "2024-03-01T00:05:30.000Z")
    # Julian-day arithmetic: good to some ten microseconds.
    assert r.duration_hours == pytest.approx(330.0 / 3600, abs=1e-8) and r.interval == 30.0
    assert r.get_timestamps()[:2] == ["2024-03-01T00:00:00.000Z", "2024-03-01T00:00:30.000Z"]
    assert r.get_timeseries_cn0() == r.get_mean_cn0_series() == [45.0] * 11 + [(20.0 + 21.0 + 45.0) / 3]
    assert r.get_satellite_count_series() == [3] * 12
    assert r.get_satellite_ids() == ["G01", "G02", "E01"]
    assert r.anomaly_count == r.critical_count == 1
    assert r.get_anomaly_timestamps() == ["2024-03-01T00:05:30.000Z"]
    assert r.get_anomaly_severities() == ["critical"]
    assert r.get_anomaly_cn0_drops() == [G01_DROP]
    [anomaly] = r.get_anomalies()
    assert anomaly == {
        "start_time": "2024-03-01T00:05:30.000Z", "end_time": "2024-03-01T00:05:30.000Z", "severity": "critical",
        "anomaly_type": "Multi-satellite CN0 drop", "description": "22.9 dB-Hz drop affecting 2 satellite(s)",
        "cn0_drop": repr(G01_DROP), "affected_satellites": "G01,G02", "affected_systems": "GPS"}
    assert repr(r) == "AnalysisResult(observations=36, satellites=3, epochs=12, mean_cn0=43.6, anomalies=1)"
    # Everything sits at the default look angles: one cell of 648.
    assert r.skyplot_coverage == 100 / 648 and r.skyplot_trace_count == 3
    series = r.get_timeseries_data()
    assert series["hours"] == [i * 30.0 / 3600 for i in range(12)]
    assert series["satellite_count"] == [3.0] * 12


def test_constellation_summary_texts(tmp_path):
    r = q.analyze_cn0(write_obs(tmp_path, fade_epochs()))
    gps = r.get_constellation_summary("GPS")
    mean = (22 * 45.0 + 20.0 + 21.0) / 24
    std = math.sqrt((22 * (45.0 - mean) ** 2 + (20.0 - mean) ** 2 + (21.0 - mean) ** 2) / 24)
    assert gps == {
        "system": "GPS", "constellation": "GPS", "satellite_count": "2", "satellites_observed": "2",
        "satellites_expected": "12", "observation_count": "24", "mean_cn0": f"{mean:.1f}", "cn0_mean": f"{mean:.1f}",
        "min_cn0": "20.0", "max_cn0": "45.0", "std_cn0": f"{std:.2f}", "cn0_std": f"{std:.2f}",
        "availability_ratio": f"{2 / 12:.3f}", "cycle_slips": "2", "data_gaps": "0"}
    assert r.get_constellation_summary("gps") is None
    assert r.get_constellation_summary(name="BeiDou") is None
    with pytest.raises(TypeError) as info:
        r.get_constellation_summary(1)
    assert str(info.value) == "argument 'name': 'int' object cannot be converted to 'str'"


def test_skyplot_dictionaries(tmp_path):
    r = q.analyze_cn0(write_obs(tmp_path, fade_epochs()[:2]))
    traces = r.get_skyplot_data()
    assert [t["satellite"] for t in traces] == ["G01", "G02", "E01"]
    assert traces[0] == {"satellite": "G01", "system": "GPS", "azimuths": "0.0,0.0", "elevations": "45.0,45.0",
                         "cn0_values": "45.0,45.0"}


def test_quality_score_object(tmp_path):
    r = q.analyze_cn0(write_obs(tmp_path, fade_epochs()))
    s = r.quality_score
    assert type(s) is q.QualityScore and s is not r.quality_score
    # Two GPS of 12 expected and one Galileo of 10: availability (3 / 22) * 100.
    assert s.availability == (3 / 22) * 100
    assert s.diversity == 50.0 and s.continuity == 100.0
    mean = (34 * 45.0 + 20.0 + 21.0) / 36
    assert s.cn0_quality == min(100.0, max(0.0, (mean - 30.0) / 15.0 * 100.0))
    assert s.overall == r.score
    assert r.quality_grade == s.rating[0]
    assert repr(s) == f"QualityScore(overall={s.overall:.0f}, rating='{s.rating}')"
    assert s.post_processing_suitable == (s.overall >= 65.0)


def test_empty_results(tmp_path):
    no_epochs = q.analyze_cn0(write_obs(tmp_path, []))
    assert (no_epochs.start_time, no_epochs.end_time, no_epochs.duration_hours) == ("", "", 0.0)
    assert no_epochs.quality_grade == "N/A" and no_epochs.summary == "No data"
    assert no_epochs.station_name == "SITE"
    no_samples = q.analyze_cn0(write_obs(tmp_path, [[("G01", [2e7])], [("G01", [2e7])]], {"G": "C1C"}))
    assert no_samples.start_time == "2024-03-01T00:00:00.000Z" and no_samples.total_observations == 0
    for r in (no_epochs, no_samples):
        assert r.total_epochs == 0 and r.cn0_std_dev == 0.0 and r.get_anomalies() == []
        assert not (r.jamming_detected or r.spoofing_detected or r.interference_detected)
        assert r.visibility_prediction_source == "None" and r.has_visibility_prediction is False
        assert r.visibility_debug() == {} and r.get_frequently_missing_satellites() == []
        assert r.visibility_confirmation_rate == 0.0 and r.visibility_anomaly_count == 0
        data = json.loads(r.to_json())
        assert data["visibility"] is None and data["quality_score"]["grade"] == "N/A"
        assert data["spoofing_unexpected_threshold"] == 0.4 and data["spoofing_min_unexpected_count"] == 8.0


def test_json_forms_agree(tmp_path):
    r = q.analyze_cn0(write_obs(tmp_path, fade_epochs()))
    compact, pretty = r.to_json(), r.to_json_pretty()
    assert pretty.startswith('{\n  "file_info": {\n    "filename": ""')
    assert '"visibility":null' in compact and '"visibility": null' in pretty
    assert json.loads(compact) == json.loads(pretty)
    data = json.loads(compact)
    assert list(data) == ["file_info", "quality_score", "summary", "constellation_stats", "satellite_stats",
                          "timeseries", "skyplot", "heatmap", "anomalies", "visibility",
                          "spoofing_unexpected_threshold", "spoofing_min_unexpected_count"]
    assert list(data["skyplot"]["traces"][0]["points"][0]) == ["azimuth", "elevation", "cn0", "satellite"]
    assert data["skyplot"]["traces"][0]["points"][0]["satellite"] == "G01"
    assert data["timeseries"]["satellite_timeseries"]["G01"]["cn0_series"][11]["timestamp"] == \
        "2024-03-01T00:05:30.000Z"
    assert data["heatmap"]["count_matrix"][9][0] == 36
    assert data["anomalies"][0]["cn0_drop"] == G01_DROP


def test_systems_selection_and_elevation_mask(tmp_path):
    path = write_obs(tmp_path, fade_epochs())
    assert q.analyze_cn0(path, systems=["GPS", "Galileo"]).constellations == ["GPS", "Galileo"]
    gps_only = q.analyze_cn0(path, systems=["GPS", "Galileo"])
    assert gps_only.total_observations == 24  # first characters: G twice
    assert q.analyze_cn0(path, systems=("E",)).total_observations == 12
    assert q.analyze_cn0(path, systems=[]).total_observations == 0
    assert q.analyze_cn0(path, systems=[""]).total_observations == 0
    assert q.analyze_cn0(path, min_elevation=45).total_observations == 36
    assert q.analyze_cn0(path, None, 45.1).total_observations == 0


ANALYZE_ERRORS = [
    (lambda p: q.analyze_cn0(p, systems="GPS"), "argument 'systems': Can't extract `str` to `Vec`"),
    (lambda p: q.analyze_cn0(), "analyze_cn0() missing 1 required positional argument: 'obs_path'"),
    (lambda p: q.analyze_cn0(p, None, "x"), "argument 'min_elevation': must be real number, not str"),
    (lambda p: q.analyze_cn0(p, nav_path=3), "argument 'nav_path': 'int' object cannot be converted to 'str'"),
    (lambda p: q.analyze_cn0(p, None, 5.0, None, 1),
     "analyze_cn0() takes from 1 to 4 positional arguments but 5 were given"),
]


@pytest.mark.parametrize("call, message", ANALYZE_ERRORS, ids=[m for _, m in ANALYZE_ERRORS])
def test_analyze_argument_errors(tmp_path, call, message):
    with pytest.raises(TypeError) as info:
        call(write_obs(tmp_path, fade_epochs()[:1]))
    assert str(info.value) == message


def test_analyze_file_errors(tmp_path):
    missing = str(tmp_path / "absent.obs")
    with pytest.raises(IOError) as info:
        q.analyze_cn0(missing)
    assert str(info.value) == "Cannot read obs file: No such file or directory (os error 2)"
    garbage = tmp_path / "garbage.obs"
    garbage.write_bytes(b"abc")
    with pytest.raises(ValueError) as info:
        q.analyze_cn0(str(garbage), nav_path=missing)  # the observations fail first
    assert str(info.value) == "No END OF HEADER found"
    good = write_obs(tmp_path, fade_epochs()[:1])
    with pytest.raises(IOError) as info:
        q.analyze_cn0(good, nav_path=missing)
    assert str(info.value) == "Cannot read nav file: No such file or directory (os error 2)"
    with pytest.raises(ValueError) as info:
        q.analyze_cn0(good, nav_path=str(garbage))
    assert str(info.value) == "No END OF HEADER found"


def test_position_from_the_header(tmp_path):
    position = header("  3513649.6300   778954.5300  5248201.8000", "APPROX POSITION XYZ")
    r = q.analyze_cn0(write_obs(tmp_path, fade_epochs()[:1], extra_header=position))
    assert r.position_lat == pytest.approx(55.739, abs=1e-3) and r.position_lon == pytest.approx(12.49996, abs=1e-5)
    assert q.analyze_cn0(write_obs(tmp_path, fade_epochs()[:1])).position_lat == 0.0


@pytest.fixture(scope="module")
def esbc_path(tmp_path_factory):
    from conftest import SHARED_DATA
    source = SHARED_DATA / "obs" / "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"
    if not source.is_file():
        pytest.skip(f"shared data file missing: {source}")
    path = tmp_path_factory.mktemp("esbc") / "ESBC00DNK_R_20201770000_01D_30S_MO.rnx"
    path.write_bytes(gzip.decompress(source.read_bytes()))
    return str(path)


def test_real_daily_file(esbc_path):
    r = q.analyze_cn0(esbc_path)
    assert r.total_epochs == 2880 and r.station_name == "ESBC00DNK"
    assert set(r.constellations) >= {"GPS", "GLONASS", "Galileo", "BeiDou"}
    assert 30.0 < r.mean_cn0 < 50.0 and r.min_cn0 >= 0.0 and r.max_cn0 <= 60.0
    assert len(r.get_timestamps()) == 2880 and r.duration_hours == pytest.approx(23.99166, abs=1e-4)
    assert r.position_lat == pytest.approx(55.5, abs=0.5)
    assert r.quality_grade in "ABCDF"
    assert r.summary.startswith(("Excellent", "Good", "Fair", "Poor", "Very poor"))
    gps = r.get_constellation_summary("GPS")
    assert int(gps["satellite_count"]) >= 20
    data = json.loads(r.to_json())
    assert sum(s["observation_count"] for s in data["satellite_stats"].values()) == r.total_observations
    assert sum(data["timeseries"]["satellite_count"]) <= r.total_observations


def test_two_runs_give_identical_json(esbc_path):
    first, second = q.analyze_cn0(esbc_path), q.analyze_cn0(esbc_path)
    assert first.to_json() == second.to_json()
    assert first.to_json_pretty() == second.to_json_pretty()


# --- streamed JSON ----------------------------------------------------------------------------------

@pytest.fixture(scope="module")
def station_result(esbc):
    return q.analyze_cn0(esbc[0], esbc[1])


@pytest.mark.parametrize("pretty", [False, True], ids=["compact", "indented"])
def test_write_json_to_paths_and_streams_equals_the_text(station_result, tmp_path, pretty):
    import io

    expected = (station_result.to_json_pretty() if pretty else station_result.to_json()).encode()
    path = tmp_path / "result.json"
    station_result.write_json(path, pretty=pretty)  # os.PathLike
    assert path.read_bytes() == expected
    station_result.write_json(str(path), pretty)  # str, and an existing file is emptied first
    assert path.read_bytes() == expected
    stream = io.BytesIO()
    assert station_result.write_json(stream, pretty=pretty) is None
    assert stream.getvalue() == expected
    # Written in pieces of about a megabyte, not at once.
    pieces = []

    class Collector:
        def write(self, piece):
            pieces.append(bytes(piece))

    station_result.write_json(Collector(), pretty=pretty)
    assert b"".join(pieces) == expected and len(pieces) > 10


def test_write_json_failures(station_result, tmp_path):
    class Broken:
        def write(self, piece):
            raise RuntimeError("disk full")

    with pytest.raises(RuntimeError, match="disk full"):
        station_result.write_json(Broken())
    with pytest.raises(OSError, match="Is a directory"):
        station_result.write_json(tmp_path)
    with pytest.raises(OSError, match="No such file or directory"):
        station_result.write_json(tmp_path / "missing" / "result.json")
    with pytest.raises(TypeError, match="argument 'target': expected a path"):
        station_result.write_json(42)
    with pytest.raises(TypeError):
        station_result.write_json(tmp_path / "x.json", pretty="yes")
