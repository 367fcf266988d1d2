// The texts of the result's enumerations.
#include "result/analysis_result.hpp"

// The record is plain data; its defaults are the values of an analysis that found nothing.
static_assert(sizeof(qcn::result::TimeseriesPoint) == 32);
static_assert(sizeof(qcn::result::SkyplotPoint) == 24);

namespace qcn::result {

std::size_t trace_point_count(const AnalysisResult& result, const SkyplotTrace& trace) {
  if (!trace.points_in_series) return trace.points.size();
  const SatelliteTimeseries* series = result.timeseries.satellite_timeseries.find(trace.satellite);
  return series ? series->cn0_series.size() : 0;
}

std::string_view severity_text(Severity severity) {
  switch (severity) {
    case Severity::low: return "low";
    case Severity::high: return "high";
    case Severity::critical: return "critical";
  }
  return "";
}

std::string_view drop_kind_text(DropKind kind) {
  return kind == DropKind::multi_system ? "Multi-system CN0 drop" : "Multi-satellite CN0 drop";
}

std::string_view episode_kind_text(EpisodeKind kind) {
  switch (kind) {
    case EpisodeKind::jamming: return "jamming";
    case EpisodeKind::interference: return "interference";
    case EpisodeKind::obstruction: return "obstruction";
    case EpisodeKind::outage: return "outage";
    case EpisodeKind::spoofing: return "spoofing";
  }
  return "";
}

std::string_view expectation_source_text(ExpectationSource source) {
  return source == ExpectationSource::elevation ? "elevation" : "baseline";
}

std::string_view visibility_anomaly_kind_text(VisibilityAnomalyKind kind) {
  return kind == VisibilityAnomalyKind::unexpected_satellites ? "unexpected_satellites" : "missing_satellites";
}

}  // namespace qcn::result
