// The fields of each result record, declared once, by name and in the order the JSON writes
// them: the JSON encoder and the interpreter's dictionaries both walk these declarations.
// visit(name, value) is called for every field; values are numbers, texts, flags, enumerations,
// lists, maps and nested records.
#pragma once

#include <string_view>

#include "result/analysis_result.hpp"

namespace qcn::result {

/// Whether a record type declares its fields here.
template <typename Record>
concept DeclaredRecord = requires(const Record& record) {
  visit_fields(record, [](std::string_view, const auto&) {});
};

template <typename Visit>
void visit_fields(const FileInfo& r, Visit&& visit) {
  visit("filename", r.filename);
  visit("marker_name", r.marker_name);
  visit("receiver_type", r.receiver_type);
  visit("antenna_type", r.antenna_type);
  visit("start_time", r.start_time);
  visit("end_time", r.end_time);
  visit("duration_hours", r.duration_hours);
  visit("interval", r.interval);
  visit("position_lat", r.position_lat);
  visit("position_lon", r.position_lon);
  visit("position_height", r.position_height);
}

template <typename Visit>
void visit_fields(const QualityAssessment& r, Visit&& visit) {
  visit("overall", r.overall);
  visit("cn0_score", r.cn0_score);
  visit("coverage_score", r.coverage_score);
  visit("consistency_score", r.consistency_score);
  visit("grade", r.grade);
  visit("interpretation", r.interpretation);
}

template <typename Visit>
void visit_fields(const ResultSummary& r, Visit&& visit) {
  visit("total_observations", r.total_observations);
  visit("total_satellites", r.total_satellites);
  visit("total_epochs", r.total_epochs);
  visit("systems_observed", r.systems_observed);
  visit("mean_cn0", r.mean_cn0);
  visit("min_cn0", r.min_cn0);
  visit("max_cn0", r.max_cn0);
  visit("anomaly_count", r.anomaly_count);
  visit("critical_count", r.critical_count);
  visit("high_count", r.high_count);
  visit("low_count", r.low_count);
}

template <typename Visit>
void visit_fields(const ConstellationStats& r, Visit&& visit) {
  visit("system", r.system);
  visit("satellite_count", r.satellite_count);
  visit("observation_count", r.observation_count);
  visit("mean_cn0", r.mean_cn0);
  visit("min_cn0", r.min_cn0);
  visit("max_cn0", r.max_cn0);
  visit("std_cn0", r.std_cn0);
  visit("satellites_expected", r.satellites_expected);
  visit("availability_ratio", r.availability_ratio);
  visit("cycle_slips", r.cycle_slips);
  visit("data_gaps", r.data_gaps);
}

template <typename Visit>
void visit_fields(const SatelliteStats& r, Visit&& visit) {
  visit("satellite", r.satellite);
  visit("system", r.system);
  visit("observation_count", r.observation_count);
  visit("mean_cn0", r.mean_cn0);
  visit("min_cn0", r.min_cn0);
  visit("max_cn0", r.max_cn0);
  visit("std_cn0", r.std_cn0);
  visit("mean_elevation", r.mean_elevation);
}

template <typename Visit>
void visit_fields(const HeatmapPoint& r, Visit&& visit) {
  visit("azimuth_bin", r.azimuth_bin);
  visit("elevation_bin", r.elevation_bin);
  visit("mean_cn0", r.mean_cn0);
  visit("count", r.count);
}

template <typename Visit>
void visit_fields(const HeatmapData& r, Visit&& visit) {
  visit("azimuth_bins", r.azimuth_bins);
  visit("elevation_bins", r.elevation_bins);
  visit("cn0_matrix", r.cn0_matrix);
  visit("count_matrix", r.count_matrix);
}

template <typename Visit>
void visit_fields(const CN0Anomaly& r, Visit&& visit) {
  visit("timestamp", r.timestamp);
  visit("severity", r.severity);
  visit("event_type", r.event_type);
  visit("description", r.description);
  visit("cn0_drop", r.cn0_drop);
  visit("affected_satellites", r.affected_satellites);
  visit("affected_systems", r.affected_systems);
}

template <typename Visit>
void visit_fields(const SystemVisibility& r, Visit&& visit) {
  visit("system", r.system);
  visit("predicted_satellites", r.predicted_satellites);
  visit("observed_satellites", r.observed_satellites);
  visit("confirmation_rate", r.confirmation_rate);
  visit("missing_satellites", r.missing_satellites);
  visit("unexpected_satellites", r.unexpected_satellites);
}

template <typename Visit>
void visit_fields(const VisibilityAnomaly& r, Visit&& visit) {
  visit("start_time", r.start_time);
  visit("end_time", r.end_time);
  visit("duration_seconds", r.duration_seconds);
  visit("anomaly_type", r.anomaly_type);
  visit("severity", r.severity);
  visit("affected_satellites", r.affected_satellites);
  visit("affected_systems", r.affected_systems);
  visit("description", r.description);
}

template <typename Visit>
void visit_fields(const VisibilityResult& r, Visit&& visit) {
  visit("has_prediction", r.has_prediction);
  visit("prediction_source", r.prediction_source);
  visit("confirmation_rate", r.confirmation_rate);
  visit("mean_predicted", r.mean_predicted);
  visit("mean_observed", r.mean_observed);
  visit("mean_missing", r.mean_missing);
  visit("mean_unexpected", r.mean_unexpected);
  visit("frequently_missing", r.frequently_missing);
  visit("frequently_unexpected", r.frequently_unexpected);
  visit("by_system", r.by_system);
  visit("anomalies", r.anomalies);
}

template <typename Visit>
void visit_fields(const Episode& r, Visit&& visit) {
  visit("kind", r.kind);
  visit("severity", r.severity);
  visit("start_time", r.start_time);
  visit("end_time", r.end_time);
  visit("duration_seconds", r.duration_seconds);
  visit("degraded_seconds", r.degraded_seconds);
  visit("bands", r.bands);
  visit("systems", r.systems);
  visit("affected_satellites", r.affected_satellites);
  visit("lost_satellites", r.lost_satellites);
  visit("median_drop_db", r.median_drop_db);
  visit("max_drop_db", r.max_drop_db);
  visit("description", r.description);
}

template <typename Visit>
void visit_fields(const SpoofingIndicators& r, Visit&& visit) {
  visit("visibility", r.visibility);
  visit("cn0_spread_collapse", r.cn0_spread_collapse);
  visit("elevation_dependence_lost", r.elevation_dependence_lost);
}

template <typename Visit>
void visit_fields(const Assessment& r, Visit&& visit) {
  visit("expectation", r.expectation);
  visit("jamming_detected", r.jamming_detected);
  visit("interference_detected", r.interference_detected);
  visit("obstruction_detected", r.obstruction_detected);
  visit("spoofing_detected", r.spoofing_detected);
  visit("spoofing_indicators", r.spoofing_indicators);
  visit("degraded_share", r.degraded_share);
  visit("outage_seconds", r.outage_seconds);
  visit("epochs", r.epochs);
  visit("interval_seconds", r.interval_seconds);
  visit("bands", r.bands);
  visit("episodes", r.episodes);
}

/// The texts enumerations are written as.
inline std::string_view enum_text(Severity value) { return severity_text(value); }
inline std::string_view enum_text(DropKind value) { return drop_kind_text(value); }
inline std::string_view enum_text(VisibilityAnomalyKind value) { return visibility_anomaly_kind_text(value); }
inline std::string_view enum_text(EpisodeKind value) { return episode_kind_text(value); }
inline std::string_view enum_text(ExpectationSource value) { return expectation_source_text(value); }

}  // namespace qcn::result
