// The record one C/N0 analysis produces. Field names are the JSON keys and field order is the
// JSON key order; maps iterate in insertion order, so every rendering is reproducible.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "result/assessment.hpp"
#include "result/severity.hpp"
#include "rinex/ordered_map.hpp"

namespace qcn::result {

template <typename Value>
using Map = rinex::OrderedMap<Value>;

/// What a C/N0 anomaly affects; written as "Multi-satellite CN0 drop" or "Multi-system CN0 drop".
enum class DropKind : std::uint8_t { multi_satellite, multi_system };

/// What a visibility anomaly shows; written as "missing_satellites" or "unexpected_satellites".
enum class VisibilityAnomalyKind : std::uint8_t { missing_satellites, unexpected_satellites };

/// The texts the enumerations are written as.
std::string_view drop_kind_text(DropKind kind);
std::string_view visibility_anomaly_kind_text(VisibilityAnomalyKind kind);

struct FileInfo {
  std::string filename;  // no entry point fills it
  std::string marker_name;
  std::string receiver_type;
  std::string antenna_type;
  std::string start_time;  // timestamp text of the first epoch, empty without epochs
  std::string end_time;
  double duration_hours = 0.0;
  double interval = 0.0;  // seconds
  double position_lat = 0.0;  // degrees, 0 without an approximate position
  double position_lon = 0.0;
  double position_height = 0.0;  // metres
};

struct QualityAssessment {
  double overall = 0.0;
  double cn0_score = 0.0;
  double coverage_score = 0.0;
  double consistency_score = 0.0;
  std::string grade = "N/A";
  std::string interpretation = "No data";
};

struct ResultSummary {
  std::uint64_t total_observations = 0;
  std::uint64_t total_satellites = 0;
  std::uint64_t total_epochs = 0;
  std::vector<std::string> systems_observed;
  double mean_cn0 = 0.0;
  double min_cn0 = 0.0;
  double max_cn0 = 0.0;
  std::uint64_t anomaly_count = 0;
  std::uint64_t critical_count = 0;
  std::uint64_t high_count = 0;
  std::uint64_t low_count = 0;
};

struct ConstellationStats {
  std::string system;
  std::uint64_t satellite_count = 0;
  std::uint64_t observation_count = 0;
  double mean_cn0 = 0.0;
  double min_cn0 = 0.0;
  double max_cn0 = 0.0;
  double std_cn0 = 0.0;
  std::uint64_t satellites_expected = 0;
  double availability_ratio = 0.0;
  std::uint64_t cycle_slips = 0;
  std::uint64_t data_gaps = 0;
};

struct SatelliteStats {
  std::string satellite;
  std::string system;
  std::uint64_t observation_count = 0;
  double mean_cn0 = 0.0;
  double min_cn0 = 0.0;
  double max_cn0 = 0.0;
  double std_cn0 = 0.0;
  double mean_elevation = 0.0;
};

/// The timestamp is held as the index of its text in TimeseriesData::timestamps (every sample
/// timestamp is a time point), which keeps the per-sample series small; it is written as text.
/// A satellite's points also tell their signal and whether their look angles were computed (the
/// JSON writes neither: it keeps the placeholders 45 and 0 and the satellite's first signal).
struct TimeseriesPoint {
  std::uint32_t time = 0;
  std::uint16_t signal = 0;  // index into TimeseriesData::signals
  bool has_look_angles = false;
  double cn0 = 0.0;
  double elevation = 0.0;
  double azimuth = 0.0;
};

struct SatelliteTimeseries {
  std::string satellite;
  std::string system;
  std::string signal;  // code of the satellite's first sample
  std::vector<TimeseriesPoint> cn0_series;
  // Not written: per point, the C/N0 the interference assessment expected (NaN where it had no
  // expectation); empty without an assessment.
  std::vector<float> expected_cn0;
};

/// The three leading lists are parallel: element i of each describes time point i. times_ns and
/// signals are not written: the nanoseconds since 1970 of each time point (kNoTime where the time
/// is out of range, empty where the result was not made by the analysis) and the codes the
/// points' signal indices name.
struct TimeseriesData {
  std::vector<std::string> timestamps;
  std::vector<double> mean_cn0;
  std::vector<std::uint64_t> satellite_count;
  Map<SatelliteTimeseries> satellite_timeseries;
  Map<std::vector<TimeseriesPoint>> constellation_timeseries;
  std::vector<std::int64_t> times_ns;
  std::vector<std::string> signals;
};

/// A time that nanoseconds since 1970 cannot hold (numpy's NaT).
inline constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();

/// Written with a last key `satellite`: the identifier of its trace, which is not repeated in
/// every point.
struct SkyplotPoint {
  double azimuth = 0.0;
  double elevation = 0.0;
  double cn0 = 0.0;
};

/// A satellite's points in sample order. Where they are the points of its time series in the same
/// order (always, unless the file lists its epochs out of time order), they are not held twice:
/// points stays empty and points_in_series is set (see for_each_trace_point).
struct SkyplotTrace {
  std::string satellite;
  std::string system;
  std::vector<SkyplotPoint> points;
  bool points_in_series = false;
};

struct HeatmapPoint {
  double azimuth_bin = 0.0;
  double elevation_bin = 0.0;
  double mean_cn0 = 0.0;
  std::uint64_t count = 0;
};

struct SkyplotData {
  std::vector<SkyplotTrace> traces;
  std::vector<HeatmapPoint> heatmap_points;
  double coverage_percent = 0.0;
};

/// Matrices are indexed [elevation row][azimuth column].
struct HeatmapData {
  std::vector<double> azimuth_bins;
  std::vector<double> elevation_bins;
  std::vector<std::vector<double>> cn0_matrix;
  std::vector<std::vector<std::uint64_t>> count_matrix;
};

struct CN0Anomaly {
  std::string timestamp;
  Severity severity = Severity::low;
  DropKind event_type = DropKind::multi_satellite;
  std::string description;
  double cn0_drop = 0.0;
  std::vector<std::string> affected_satellites;
  std::vector<std::string> affected_systems;
};

struct SystemVisibility {
  std::string system;
  std::uint64_t predicted_satellites = 0;
  std::uint64_t observed_satellites = 0;
  double confirmation_rate = 0.0;  // percent
  std::vector<std::string> missing_satellites;
  std::vector<std::string> unexpected_satellites;
};

/// Note the order: the description comes last.
struct VisibilityAnomaly {
  std::string start_time;
  std::string end_time;
  double duration_seconds = 0.0;
  VisibilityAnomalyKind anomaly_type = VisibilityAnomalyKind::missing_satellites;
  Severity severity = Severity::low;
  std::vector<std::string> affected_satellites;
  std::vector<std::string> affected_systems;
  std::string description;
};

/// The comparison of one epoch in numbers; not written.
struct VisibilityEpoch {
  std::int64_t time_ns = kNoTime;  // nanoseconds since 1970
  std::uint32_t predicted = 0;
  std::uint32_t observed = 0;
  std::uint32_t confirmed = 0;
  std::uint32_t missing = 0;
  std::uint32_t unexpected = 0;
};

struct VisibilityResult {
  bool has_prediction = false;
  std::string prediction_source;
  double confirmation_rate = 0.0;  // percent
  double mean_predicted = 0.0;
  double mean_observed = 0.0;
  double mean_missing = 0.0;
  double mean_unexpected = 0.0;
  std::vector<std::string> frequently_missing;
  std::vector<std::string> frequently_unexpected;
  Map<SystemVisibility> by_system;
  std::vector<VisibilityAnomaly> anomalies;
  std::vector<VisibilityEpoch> epochs;  // every compared epoch in file order; not written
};

struct AnalysisResult;

/// Calls visit(point) for every point of the trace, a SkyplotPoint, wherever it is held.
template <typename Visit>
void for_each_trace_point(const AnalysisResult& result, const SkyplotTrace& trace, Visit&& visit);

/// The number of points of the trace.
std::size_t trace_point_count(const AnalysisResult& result, const SkyplotTrace& trace);

struct AnalysisResult {
  FileInfo file_info;
  QualityAssessment quality_score;
  ResultSummary summary;
  Map<ConstellationStats> constellation_stats;
  Map<SatelliteStats> satellite_stats;
  TimeseriesData timeseries;
  SkyplotData skyplot;
  HeatmapData heatmap;
  std::vector<CN0Anomaly> anomalies;
  std::optional<VisibilityResult> visibility;
  double spoofing_unexpected_threshold = 0.4;
  double spoofing_min_unexpected_count = 8.0;
  // Left out of the result's JSON, whose text stays as it was: written apart, or added at the end
  // of the document on request.
  std::optional<Assessment> assessment;
};

template <typename Visit>
void for_each_trace_point(const AnalysisResult& result, const SkyplotTrace& trace, Visit&& visit) {
  if (!trace.points_in_series) {
    for (const SkyplotPoint& point : trace.points) visit(point);
    return;
  }
  if (const SatelliteTimeseries* series = result.timeseries.satellite_timeseries.find(trace.satellite)) {
    for (const TimeseriesPoint& point : series->cn0_series) visit(SkyplotPoint{point.azimuth, point.elevation, point.cn0});
  }
}

}  // namespace qcn::result
