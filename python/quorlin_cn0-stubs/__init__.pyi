"""Types of the quorlin_cn0 extension module: C/N0 signal-quality analysis of GNSS receivers."""

from collections.abc import Sequence
from os import PathLike
from typing import Any, BinaryIO, Final, Literal, SupportsFloat, SupportsIndex, TypeAlias, TypedDict, final

# Anything the module converts to a float: float, int, objects with __float__ or __index__.
_FloatLike: TypeAlias = SupportsFloat | SupportsIndex
# A file path: str or an os.PathLike such as pathlib.Path. Files may be compressed (gzip, Unix
# compress, bzip2, zip, compact RINEX, nested too); the content tells, not the name.
_Path: TypeAlias = str | PathLike[str] | PathLike[bytes]

VERSION: Final[str]
__version__: Final[str]

@final
class RinexObsData:
    """Python wrapper for RinexObsData"""

    @property
    def num_epochs(self) -> int: ...
    @property
    def num_satellites(self) -> int: ...
    @property
    def version(self) -> float: ...
    @property
    def marker_name(self) -> str: ...
    @property
    def receiver_type(self) -> str: ...
    @property
    def interval(self) -> float: ...
    def satellites_by_system(self) -> dict[str, list[str]]: ...
    def obs_types_by_system(self) -> dict[str, list[str]]: ...
    def snr_availability(self) -> dict[str, bool]: ...
    def debug_info(self) -> dict[str, str]: ...
    def snr_stats_by_satellite(self) -> dict[str, dict[str, float]]: ...
    def cn0_columns(self) -> dict[str, Column]:
        """The C/N0 values (codes beginning with S) as columns: time, satellite, system, signal and cn0, one row
        per value"""
    def to_pandas(self) -> Any:
        """The C/N0 values as a pandas DataFrame, one row per value (needs pandas)"""
    def to_xarray(self) -> Any:
        """The C/N0 values as an xarray Dataset over time, sv and signal (needs xarray)"""

@final
class NavigationData:
    """Python wrapper for NavigationData"""

    @property
    def satellite_count(self) -> int: ...
    @property
    def gps_count(self) -> int: ...
    @property
    def glonass_count(self) -> int: ...
    @property
    def galileo_count(self) -> int: ...
    @property
    def beidou_count(self) -> int: ...
    @property
    def records_by_system(self) -> dict[str, int]: ...
    @property
    def first_record(self) -> tuple[int, int, int, int, int, float] | None: ...
    @property
    def last_record(self) -> tuple[int, int, int, int, int, float] | None: ...
    def has_data(self) -> bool: ...

@final
class AnalysisConfig:
    """Python wrapper for AnalysisConfig"""

    def __init__(
        self,
        min_elevation: _FloatLike = 5.0,
        min_cn0: _FloatLike = 0.0,
        max_cn0: _FloatLike = 60.0,
        time_bin_seconds: SupportsIndex | None = None,
        time_bin: SupportsIndex | None = None,
        systems: Sequence[str] | None = None,
        anomaly_threshold_low: _FloatLike = 3.0,
        anomaly_threshold_high: _FloatLike = 6.0,
        anomaly_threshold_critical: _FloatLike = 10.0,
        detect_anomalies: bool = True,
        anomaly_sensitivity: _FloatLike = 0.5,
        interference_threshold_db: _FloatLike = 6.0,
        verbose: bool = False,
        nav_file: _Path | None = None,
        spoofing_unexpected_threshold: _FloatLike = 0.40,
        spoofing_min_unexpected_count: _FloatLike = 8.0,
        *,
        assessment_min_drop_db: _FloatLike = 4.0,
        assessment_noise_factor: _FloatLike = 3.0,
        assessment_signal_share: _FloatLike = 0.6,
        assessment_loss_share: _FloatLike = 0.5,
        assessment_min_satellites: SupportsIndex = 3,
        assessment_min_episode_seconds: _FloatLike = 120.0,
        assessment_min_outage_seconds: _FloatLike = 60.0,
        assessment_merge_seconds: _FloatLike = 60.0,
    ) -> None: ...
    @property
    def min_elevation(self) -> float: ...
    @property
    def min_cn0(self) -> float: ...
    @property
    def max_cn0(self) -> float: ...
    @property
    def time_bin_seconds(self) -> int: ...
    @property
    def systems(self) -> list[str] | None: ...
    @property
    def anomaly_threshold_low(self) -> float: ...
    @property
    def anomaly_threshold_high(self) -> float: ...
    @property
    def anomaly_threshold_critical(self) -> float: ...
    @property
    def detect_anomalies(self) -> bool: ...
    @property
    def anomaly_sensitivity(self) -> float: ...
    @property
    def interference_threshold_db(self) -> float: ...
    @property
    def verbose(self) -> bool: ...
    @property
    def nav_file(self) -> str | None: ...
    @property
    def spoofing_unexpected_threshold(self) -> float: ...
    @property
    def spoofing_min_unexpected_count(self) -> float: ...
    @property
    def assessment_min_drop_db(self) -> float:
        """Common fall below expectation, dB, that degrades a band when most of its signals share it"""
    @property
    def assessment_noise_factor(self) -> float:
        """A signal is low when below expectation by this many times its own scatter (and the fall)"""
    @property
    def assessment_signal_share(self) -> float:
        """Share of a band's signals that must be low or lost together"""
    @property
    def assessment_loss_share(self) -> float:
        """Share of a band's steadily received signals whose loss at once degrades the band"""
    @property
    def assessment_min_satellites(self) -> int:
        """Satellites that must be affected; fewer never degrade a band"""
    @property
    def assessment_min_episode_seconds(self) -> float:
        """Degraded time without a break that makes an episode, seconds"""
    @property
    def assessment_min_outage_seconds(self) -> float:
        """Time without any value received, or left out of the file, that makes an episode, seconds"""
    @property
    def assessment_merge_seconds(self) -> float:
        """Interruption tolerated within an episode, seconds"""

@final
class CN0Analyzer:
    """Python wrapper for CN0Analyzer - supports both config-based and direct API"""

    def __init__(self, config: AnalysisConfig) -> None: ...
    @staticmethod
    def from_obs(
        obs_data: RinexObsData,
        min_elevation: _FloatLike = 5.0,
        time_bin_seconds: SupportsIndex = 60,
        systems: Sequence[str] | None = None,
    ) -> CN0Analyzer:
        """Alternative constructor from observation data (legacy API)"""
    def set_navigation(self, nav_data: NavigationData) -> None:
        """Set navigation data for satellite position computation (old API)"""
    def analyze(self) -> AnalysisResult:
        """Run CN0 analysis (old API - requires obs_data set via from_obs)"""
    def analyze_file(self, obs_path: _Path) -> AnalysisResult:
        """Analyze RINEX observation file from path (new API)"""
    def analyze_with_nav(self, obs_path: _Path, nav_path: _Path) -> AnalysisResult:
        """Analyze with separate navigation file (new API)"""

class _Episode(TypedDict):
    """A stretch of degraded reception. kind: "jamming" (several bands, or most satellites lost),
    "interference" (one band, partly), "obstruction" (the affected satellites in one part of the
    sky; with navigation data), "outage" (the file leaves epochs out: every signal lost, or the
    recording interrupted) or "spoofing"."""

    kind: str
    severity: str  # "low", "high" or "critical"
    start_time: str  # timestamp of the first epoch, such as 2020-06-25T08:06:00.000Z
    end_time: str  # of the last
    duration_seconds: float  # start to end plus one epoch interval
    degraded_seconds: float  # of that, the epochs judged degraded or left out
    bands: list[str]  # "L1", "L2", "L5", "E6", "S"
    systems: list[str]
    affected_satellites: list[str]
    lost_satellites: list[str]
    median_drop_db: float | None  # the bands' common fall below expectation; None without values
    max_drop_db: float | None
    description: str

class _SpoofingIndicators(TypedDict):
    visibility: bool  # received satellites the orbits put below the horizon, for over 5 minutes
    cn0_spread_collapse: bool  # C/N0 alike across satellites
    elevation_dependence_lost: bool  # alike and no longer following its expectation

class _Assessment(TypedDict):
    expectation: str  # "elevation" (navigation data) or "baseline"
    jamming_detected: bool
    interference_detected: bool
    obstruction_detected: bool
    spoofing_detected: bool
    spoofing_indicators: _SpoofingIndicators
    degraded_share: float  # of the file's time, in jamming, interference and obstruction episodes
    outage_seconds: float
    epochs: int  # of the file, left-out ones included
    interval_seconds: float
    bands: list[str]  # bands the receiver records
    episodes: list[_Episode]

@final
class AnalysisResult:
    """Python wrapper for AnalysisResult"""

    @property
    def filename(self) -> str: ...
    @property
    def rinex_version(self) -> str: ...
    @property
    def station_name(self) -> str | None: ...
    @property
    def receiver_type(self) -> str: ...
    @property
    def antenna_type(self) -> str: ...
    @property
    def start_time(self) -> str: ...
    @property
    def end_time(self) -> str: ...
    @property
    def duration_hours(self) -> float: ...
    @property
    def interval(self) -> float: ...
    @property
    def total_observations(self) -> int: ...
    @property
    def total_satellites(self) -> int: ...
    @property
    def total_epochs(self) -> int: ...
    @property
    def epoch_count(self) -> int: ...
    @property
    def constellations(self) -> list[str]: ...
    @property
    def mean_cn0(self) -> float: ...
    @property
    def avg_cn0(self) -> float: ...
    @property
    def min_cn0(self) -> float: ...
    @property
    def max_cn0(self) -> float: ...
    @property
    def cn0_std_dev(self) -> float: ...
    @property
    def anomaly_count(self) -> int: ...
    @property
    def critical_count(self) -> int: ...
    @property
    def jamming_detected(self) -> bool: ...
    @property
    def spoofing_detected(self) -> bool: ...
    @property
    def interference_detected(self) -> bool: ...
    @property
    def quality_score(self) -> QualityScore: ...
    @property
    def score(self) -> float: ...
    @property
    def quality_grade(self) -> str: ...
    @property
    def summary(self) -> str: ...
    @property
    def skyplot_coverage(self) -> float: ...
    @property
    def skyplot_trace_count(self) -> int: ...
    @property
    def visibility_prediction_source(self) -> str: ...
    @property
    def visibility_confirmation_rate(self) -> float: ...
    @property
    def visibility_mean_predicted(self) -> float: ...
    @property
    def visibility_mean_observed(self) -> float: ...
    @property
    def visibility_mean_missing(self) -> float: ...
    @property
    def visibility_mean_unexpected(self) -> float: ...
    @property
    def has_visibility_prediction(self) -> bool: ...
    @property
    def visibility_anomaly_count(self) -> int: ...
    @property
    def position_lat(self) -> float: ...
    @property
    def position_lon(self) -> float: ...
    def to_json(self) -> str: ...
    def to_json_pretty(self) -> str: ...
    def write_json(self, target: _Path | BinaryIO, pretty: bool = False, with_assessment: bool = False) -> None:
        """The JSON of to_json (or to_json_pretty), streamed; with_assessment=True adds the
        interference assessment as the last key, "assessment"."""
    def get_anomalies(self) -> list[dict[str, str]]: ...
    def get_constellation_summary(self, name: str) -> dict[str, str] | None: ...
    def get_systems(self) -> list[str]: ...
    def get_timeseries_data(self) -> dict[str, list[float]]: ...
    def get_timestamps(self) -> list[str]: ...
    def get_timeseries_cn0(self) -> list[float]: ...
    def get_skyplot_data(self) -> list[dict[str, str]]: ...
    def get_frequently_missing_satellites(self) -> list[str]: ...
    def get_frequently_unexpected_satellites(self) -> list[str]: ...
    def get_visibility_anomaly_types(self) -> list[str]: ...
    def get_visibility_anomaly_descriptions(self) -> list[str]: ...
    def visibility_debug(self) -> dict[str, dict[str, str]]: ...
    def get_quality_assessment(self) -> dict[str, float | str]: ...
    def get_visibility_anomalies(self) -> list[dict[str, str | float | list[str]]]: ...
    def get_mean_cn0_series(self) -> list[float]: ...
    def get_satellite_count_series(self) -> list[int]: ...
    def get_satellite_ids(self) -> list[str]: ...
    def get_anomaly_timestamps(self) -> list[str]: ...
    def get_anomaly_severities(self) -> list[str]: ...
    def get_anomaly_cn0_drops(self) -> list[float]: ...
    def sample_columns(self) -> dict[str, Column]:
        """The C/N0 samples as columns, one row per satellite, signal and epoch in time order: time, time_index,
        satellite, system, signal, cn0, elevation, azimuth (NaN where no look angle was computed) and residual
        (dB-Hz against the C/N0 the interference assessment expected; NaN where it expected none)"""
    def epoch_columns(self) -> dict[str, Column]:
        """The epoch series as columns: time, mean_cn0 and satellite_count"""
    def visibility_columns(self) -> dict[str, Column]:
        """The visibility comparison per epoch as columns: time, predicted, observed, confirmed, missing and
        unexpected (no rows without a prediction)"""
    def to_pandas(self, table: Literal["samples", "epochs", "visibility", "anomalies", "visibility_anomalies",
                                       "episodes"] = "samples") -> Any:
        """A pandas DataFrame of one table (needs pandas)"""
    def to_xarray(self) -> Any:
        """The samples as an xarray Dataset over time, sv and signal (needs xarray)"""
    def _repr_html_(self) -> str: ...
    def get_assessment(self) -> _Assessment | None:
        """The interference assessment: every epoch judged band by band against what the receiver
        should have seen (with navigation data an elevation model learned from the file, without
        it each signal's own held baseline), degraded epochs merged into episodes, and the signs
        of spoofing. None for a file without epochs or without C/N0 of the analysed systems."""
    def assessment_json(self, pretty: bool = False) -> str:
        """The assessment as JSON text, the keys of get_assessment(); "null" without one."""

@final
class QualityScore:
    """Python wrapper for QualityScore with notebook-compatible attributes"""

    @property
    def overall(self) -> float: ...
    @property
    def rating(self) -> str: ...
    @property
    def cn0_quality(self) -> float: ...
    @property
    def availability(self) -> float: ...
    @property
    def continuity(self) -> float: ...
    @property
    def stability(self) -> float: ...
    @property
    def diversity(self) -> float: ...
    @property
    def post_processing_suitable(self) -> bool: ...

@final
class Column:
    """A read-only column exported through the buffer protocol: numpy.asarray or memoryview read it in place"""

    @property
    def name(self) -> str: ...
    @property
    def dtype(self) -> str:
        """The numpy dtype of its items, such as float64 or datetime64[ns]"""
    @property
    def labels(self) -> list[str] | None:
        """For a column of codes: the labels the codes index; None otherwise"""
    def __len__(self) -> int: ...
    def __buffer__(self, flags: int, /) -> memoryview: ...

def read_rinex_obs(path: _Path) -> RinexObsData:
    """Read RINEX observation file from path"""

def read_rinex_obs_bytes(data: bytes, filename: str) -> RinexObsData:
    """Read RINEX observation file from bytes"""

def parse_rinex(data: bytes, filename: str) -> RinexObsData:
    """Alias for read_rinex_obs_bytes - parse RINEX from bytes"""

def read_navigation(path: _Path) -> NavigationData:
    """Read navigation file from path"""

def read_navigation_bytes(data: bytes) -> NavigationData:
    """Read navigation file from bytes"""

def analyze_cn0(
    obs_path: _Path,
    nav_path: _Path | None = None,
    min_elevation: _FloatLike = 5.0,
    systems: Sequence[str] | None = None,
) -> AnalysisResult:
    """Quick analysis function"""

def version() -> str:
    """Get library version"""


def download_tle() -> str:
    """Download GNSS TLE from CelesTrak"""

def parse_tle_content(content: str) -> int:
    """Parse TLE content and return satellite count"""

def decompress(data: bytes, filename: str = "") -> tuple[bytes, str]:
    """Decode gzip, Unix compress, bzip2, zip and compact RINEX data, also nested: returns the plain bytes
    (plain data unchanged) and the file name without its compression suffixes"""

def get_decompression_limit() -> int:
    """The most bytes one decoded layer of a compressed input may take"""

def set_decompression_limit(max_bytes: SupportsIndex) -> None:
    """Set the most bytes one decoded layer of a compressed input may take (4 GiB unless set); larger inputs
    raise ValueError"""

def satellite_systems() -> list[dict[str, str | int]]:
    """The satellite systems as dictionaries: letter, name (as the command line shows it), result_name, raw_name
    and skyplot_name (as results name it), alias and expected_satellites"""
