"""AnalysisConfig: construction, the sensitivity factor, the time_bin alias, conversion errors."""
import pytest

import quorlin_cn0 as q

ATTRIBUTES = ["min_elevation", "min_cn0", "max_cn0", "time_bin_seconds", "systems", "anomaly_threshold_low",
              "anomaly_threshold_high", "anomaly_threshold_critical", "detect_anomalies", "anomaly_sensitivity",
              "interference_threshold_db", "verbose", "nav_file", "spoofing_unexpected_threshold",
              "spoofing_min_unexpected_count", "assessment_min_drop_db", "assessment_noise_factor",
              "assessment_signal_share", "assessment_loss_share", "assessment_min_satellites",
              "assessment_min_episode_seconds", "assessment_min_outage_seconds", "assessment_merge_seconds"]
ASSESSMENT_DEFAULTS = {"assessment_min_drop_db": 4.0, "assessment_noise_factor": 3.0, "assessment_signal_share": 0.6,
                       "assessment_loss_share": 0.5, "assessment_min_satellites": 3,
                       "assessment_min_episode_seconds": 120.0, "assessment_min_outage_seconds": 60.0,
                       "assessment_merge_seconds": 60.0}


def test_documentation_and_attributes():
    assert q.AnalysisConfig.__doc__ == "Python wrapper for AnalysisConfig"
    assert q.AnalysisConfig.__text_signature__ == (
        "(min_elevation=5.0, min_cn0=0.0, max_cn0=60.0, time_bin_seconds=None, time_bin=None, systems=None, "
        "anomaly_threshold_low=3.0, anomaly_threshold_high=6.0, anomaly_threshold_critical=10.0, "
        "detect_anomalies=True, anomaly_sensitivity=0.5, interference_threshold_db=6.0, verbose=False, "
        "nav_file=None, spoofing_unexpected_threshold=0.40, spoofing_min_unexpected_count=8.0, *, "
        "assessment_min_drop_db=4.0, assessment_noise_factor=3.0, assessment_signal_share=0.6, "
        "assessment_loss_share=0.5, assessment_min_satellites=3, assessment_min_episode_seconds=120.0, "
        "assessment_min_outage_seconds=60.0, assessment_merge_seconds=60.0)")
    assert [n for n in dir(q.AnalysisConfig) if not n.startswith("_")] == sorted(ATTRIBUTES)
    for name in ATTRIBUTES:
        assert getattr(q.AnalysisConfig, name).__doc__ == "", name
    config = q.AnalysisConfig()
    with pytest.raises(AttributeError):
        config.min_cn0 = 1.0


def test_defaults():
    c = q.AnalysisConfig()
    assert (c.min_elevation, c.min_cn0, c.max_cn0) == (5.0, 0.0, 60.0)
    assert (c.anomaly_threshold_low, c.anomaly_threshold_high, c.anomaly_threshold_critical) == (2.25, 4.5, 10.0)
    assert c.time_bin_seconds == 60 and type(c.time_bin_seconds) is int
    assert c.systems is None and c.nav_file is None
    assert c.detect_anomalies is True and c.verbose is False
    assert (c.anomaly_sensitivity, c.interference_threshold_db) == (0.5, 6.0)
    assert (c.spoofing_unexpected_threshold, c.spoofing_min_unexpected_count) == (0.4, 8.0)
    assert {name: getattr(c, name) for name in ASSESSMENT_DEFAULTS} == ASSESSMENT_DEFAULTS
    assert type(c.assessment_min_satellites) is int


def test_assessment_thresholds_are_keywords():
    given = {"assessment_min_drop_db": 4.5, "assessment_noise_factor": 2, "assessment_signal_share": 0.7,
             "assessment_loss_share": 0.8, "assessment_min_satellites": 5, "assessment_min_episode_seconds": 300,
             "assessment_min_outage_seconds": 30, "assessment_merge_seconds": 0}
    c = q.AnalysisConfig(**given)
    assert {name: getattr(c, name) for name in given} == {k: float(v) if k != "assessment_min_satellites" else v
                                                          for k, v in given.items()}
    with pytest.raises(TypeError) as info:
        q.AnalysisConfig(*range(16), 3.0)
    assert str(info.value) == "AnalysisConfig.__new__() takes from 0 to 16 positional arguments but 17 were given"


@pytest.mark.parametrize("sensitivity, low, high", [(0.0, 3.0, 6.0), (1.0, 1.5, 3.0), (2.0, 0.0, 0.0),
                                                    (3.0, -1.5, -3.0)])
def test_sensitivity_scales_low_and_high_only(sensitivity, low, high):
    c = q.AnalysisConfig(anomaly_sensitivity=sensitivity)
    assert (c.anomaly_threshold_low, c.anomaly_threshold_high, c.anomaly_threshold_critical) == (low, high, 10.0)


@pytest.mark.parametrize("kwargs, expected", [
    ({"time_bin": 30}, 30), ({"time_bin_seconds": 10, "time_bin": 30}, 10), ({"time_bin_seconds": 0}, 0),
    ({"time_bin": 4294967295}, 4294967295), ({"time_bin_seconds": None, "time_bin": None}, 60)])
def test_time_bin_resolution(kwargs, expected):
    assert q.AnalysisConfig(**kwargs).time_bin_seconds == expected


def test_given_values_are_stored():
    c = q.AnalysisConfig(10, 20.0, 50.0, systems=("G", "E"), nav_file="brdc.nav", detect_anomalies=False,
                         verbose=True, spoofing_unexpected_threshold=0.5, spoofing_min_unexpected_count=3)
    assert c.min_elevation == 10.0 and type(c.min_elevation) is float
    assert (c.min_cn0, c.max_cn0) == (20.0, 50.0)
    assert c.systems == ["G", "E"]
    assert c.nav_file == "brdc.nav"
    assert (c.detect_anomalies, c.verbose) == (False, True)
    assert (c.spoofing_unexpected_threshold, c.spoofing_min_unexpected_count) == (0.5, 3.0)
    first = c.systems
    first.append("R")
    assert c.systems == ["G", "E"]


OUT_OF_RANGE = "out of range integral type conversion attempted"
ERRORS = [
    ({"time_bin_seconds": -1}, f"argument 'time_bin_seconds': {OUT_OF_RANGE}"),
    ({"time_bin": 4294967296}, f"argument 'time_bin': {OUT_OF_RANGE}"),
    ({"time_bin": 1.5}, "argument 'time_bin': 'float' object cannot be interpreted as an integer"),
    ({"systems": "G"}, "argument 'systems': Can't extract `str` to `Vec`"),
    ({"systems": 3}, "argument 'systems': 'int' object cannot be converted to 'Sequence'"),
    ({"systems": ["G", 1]}, "argument 'systems': 'int' object cannot be converted to 'str'"),
    ({"detect_anomalies": 1}, "argument 'detect_anomalies': 'int' object cannot be converted to 'bool'"),
    ({"verbose": None}, "argument 'verbose': 'NoneType' object cannot be converted to 'bool'"),
    ({"min_cn0": "x"}, "argument 'min_cn0': must be real number, not str"),
    ({"nav_file": 1}, "argument 'nav_file': 'int' object cannot be converted to 'str'"),
    ({"colour": 1}, "AnalysisConfig.__new__() got an unexpected keyword argument 'colour'"),
    ({"assessment_min_drop_db": "x"}, "argument 'assessment_min_drop_db': must be real number, not str"),
    ({"assessment_min_satellites": -1}, f"argument 'assessment_min_satellites': {OUT_OF_RANGE}"),
]


@pytest.mark.parametrize("kwargs, message", ERRORS, ids=[m for _, m in ERRORS])
def test_conversion_errors(kwargs, message):
    with pytest.raises(TypeError) as info:
        q.AnalysisConfig(**kwargs)
    assert str(info.value) == message


def test_first_failing_argument_wins_and_positions_count():
    with pytest.raises(TypeError) as info:
        q.AnalysisConfig(min_cn0="x", systems="G")
    assert "min_cn0" in str(info.value)
    with pytest.raises(TypeError) as info:
        q.AnalysisConfig(*range(17))
    assert str(info.value) == "AnalysisConfig.__new__() takes from 0 to 16 positional arguments but 17 were given"
    with pytest.raises(TypeError) as info:
        q.AnalysisConfig(5.0, min_elevation=6.0)
    assert str(info.value) == "AnalysisConfig.__new__() got multiple values for argument 'min_elevation'"
