// The JSON layout of an analysis result: keys in field order, maps in insertion order.
#include "result/json.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "result/json_points.hpp"

namespace qcn::result {

namespace {

void encode(JsonWriter& w, double value) { w.real(value); }
void encode(JsonWriter& w, std::uint64_t value) { w.count(value); }
void encode(JsonWriter& w, const std::string& value) { w.text(value); }
void encode(JsonWriter& w, const FileInfo& info);
void encode(JsonWriter& w, const QualityAssessment& quality);
void encode(JsonWriter& w, const ResultSummary& summary);
void encode(JsonWriter& w, const ConstellationStats& stats);
void encode(JsonWriter& w, const SatelliteStats& stats);
void encode(JsonWriter& w, const HeatmapPoint& point);
void encode(JsonWriter& w, const HeatmapData& heatmap);
void encode(JsonWriter& w, const CN0Anomaly& anomaly);
void encode(JsonWriter& w, const SystemVisibility& visibility);
void encode(JsonWriter& w, const VisibilityAnomaly& anomaly);
void encode(JsonWriter& w, const std::optional<VisibilityResult>& visibility);

template <typename Value>
void encode(JsonWriter& w, const std::vector<Value>& list) {
  w.begin_array();
  for (const Value& element : list) encode(w, element);
  w.end_array();
}

template <typename Value>
void encode(JsonWriter& w, const Map<Value>& map) {
  w.begin_object();
  for (const auto& [name, value] : map) {
    w.key(name);
    encode(w, value);
  }
  w.end_object();
}

template <typename Value>
void member(JsonWriter& w, std::string_view name, const Value& value) {
  w.key(name);
  encode(w, value);
}

void encode(JsonWriter& w, const FileInfo& info) {
  w.begin_object();
  member(w, "filename", info.filename);
  member(w, "marker_name", info.marker_name);
  member(w, "receiver_type", info.receiver_type);
  member(w, "antenna_type", info.antenna_type);
  member(w, "start_time", info.start_time);
  member(w, "end_time", info.end_time);
  member(w, "duration_hours", info.duration_hours);
  member(w, "interval", info.interval);
  member(w, "position_lat", info.position_lat);
  member(w, "position_lon", info.position_lon);
  member(w, "position_height", info.position_height);
  w.end_object();
}

void encode(JsonWriter& w, const QualityAssessment& quality) {
  w.begin_object();
  member(w, "overall", quality.overall);
  member(w, "cn0_score", quality.cn0_score);
  member(w, "coverage_score", quality.coverage_score);
  member(w, "consistency_score", quality.consistency_score);
  member(w, "grade", quality.grade);
  member(w, "interpretation", quality.interpretation);
  w.end_object();
}

void encode(JsonWriter& w, const ResultSummary& summary) {
  w.begin_object();
  member(w, "total_observations", summary.total_observations);
  member(w, "total_satellites", summary.total_satellites);
  member(w, "total_epochs", summary.total_epochs);
  member(w, "systems_observed", summary.systems_observed);
  member(w, "mean_cn0", summary.mean_cn0);
  member(w, "min_cn0", summary.min_cn0);
  member(w, "max_cn0", summary.max_cn0);
  member(w, "anomaly_count", summary.anomaly_count);
  member(w, "critical_count", summary.critical_count);
  member(w, "high_count", summary.high_count);
  member(w, "low_count", summary.low_count);
  w.end_object();
}

void encode(JsonWriter& w, const ConstellationStats& stats) {
  w.begin_object();
  member(w, "system", stats.system);
  member(w, "satellite_count", stats.satellite_count);
  member(w, "observation_count", stats.observation_count);
  member(w, "mean_cn0", stats.mean_cn0);
  member(w, "min_cn0", stats.min_cn0);
  member(w, "max_cn0", stats.max_cn0);
  member(w, "std_cn0", stats.std_cn0);
  member(w, "satellites_expected", stats.satellites_expected);
  member(w, "availability_ratio", stats.availability_ratio);
  member(w, "cycle_slips", stats.cycle_slips);
  member(w, "data_gaps", stats.data_gaps);
  w.end_object();
}

void encode(JsonWriter& w, const SatelliteStats& stats) {
  w.begin_object();
  member(w, "satellite", stats.satellite);
  member(w, "system", stats.system);
  member(w, "observation_count", stats.observation_count);
  member(w, "mean_cn0", stats.mean_cn0);
  member(w, "min_cn0", stats.min_cn0);
  member(w, "max_cn0", stats.max_cn0);
  member(w, "std_cn0", stats.std_cn0);
  member(w, "mean_elevation", stats.mean_elevation);
  w.end_object();
}

/// Writes the arrays of points: blocks of a few thousand points are put side by side on the
/// pool's threads, a few blocks at a time, and placed in order; the text is the one of writing
/// the points in turn.
class PointArrays {
 public:
  PointArrays(Layout layout, parallel::Pool* pool)
      : layout_(layout), pool_(pool), texts_(pool == nullptr ? 1 : 2 * static_cast<std::size_t>(pool->size())) {}

  /// put_block(text, first, last, shape) writes the points [first, last) as elements.
  template <typename PutBlock>
  void write(JsonWriter& w, std::span<const std::string_view> keys, std::size_t count, PutBlock put_block) {
    w.begin_array();
    const ElementShape shape(keys, layout_, w.level());
    const std::size_t blocks = (count + kBlockPoints - 1) / kBlockPoints;
    for (std::size_t first = 0; first < blocks; first += texts_.size()) {
      const std::size_t n = std::min(texts_.size(), blocks - first);
      parallel::run_tasks(n == 1 ? nullptr : pool_, n, [&](std::size_t k) {
        const std::size_t begin = (first + k) * kBlockPoints;
        texts_[k].clear();
        put_block(texts_[k], begin, std::min(count, begin + kBlockPoints), shape);
      });
      for (std::size_t k = 0; k < n; ++k) w.raw_elements(texts_[k].view());
    }
    w.end_array();
  }

 private:
  static constexpr std::size_t kBlockPoints = 8192;
  Layout layout_;
  parallel::Pool* pool_;
  std::vector<TextBlock> texts_;
};

// A point names its time by index; an index past the time points is written as an empty text.
void encode_series(JsonWriter& w, PointArrays& arrays, const std::vector<TimeseriesPoint>& series,
                   const std::vector<std::string>& timestamps) {
  const std::span<const TimeseriesPoint> points(series);
  arrays.write(w, kSeriesPointKeys, points.size(),
               [&](TextBlock& text, std::size_t begin, std::size_t end, const ElementShape& shape) {
                 put_series_points(text, points.subspan(begin, end - begin), begin == 0, timestamps, shape);
               });
}

void encode_satellite_series(JsonWriter& w, PointArrays& arrays, const SatelliteTimeseries& series,
                             const std::vector<std::string>& timestamps) {
  w.begin_object();
  member(w, "satellite", series.satellite);
  member(w, "system", series.system);
  member(w, "signal", series.signal);
  w.key("cn0_series");
  encode_series(w, arrays, series.cn0_series, timestamps);
  w.end_object();
}

void encode_timeseries(JsonWriter& w, PointArrays& arrays, const TimeseriesData& timeseries) {
  w.begin_object();
  member(w, "timestamps", timeseries.timestamps);
  member(w, "mean_cn0", timeseries.mean_cn0);
  member(w, "satellite_count", timeseries.satellite_count);
  w.key("satellite_timeseries");
  w.begin_object();
  for (const auto& [name, series] : timeseries.satellite_timeseries) {
    w.key(name);
    encode_satellite_series(w, arrays, series, timeseries.timestamps);
  }
  w.end_object();
  w.key("constellation_timeseries");
  w.begin_object();
  for (const auto& [name, series] : timeseries.constellation_timeseries) {
    w.key(name);
    encode_series(w, arrays, series, timeseries.timestamps);
  }
  w.end_object();
  w.end_object();
}

/// The points of a trace, held by the trace or by its satellite's time series.
template <typename Point>
void encode_trace_points(JsonWriter& w, PointArrays& arrays, std::span<const Point> points,
                         std::string_view quoted_satellite) {
  arrays.write(w, kTracePointKeys, points.size(),
               [&](TextBlock& text, std::size_t begin, std::size_t end, const ElementShape& shape) {
                 put_trace_points(text, points.subspan(begin, end - begin), begin == 0, quoted_satellite, shape);
               });
}

void encode_trace(JsonWriter& w, PointArrays& arrays, const AnalysisResult& result, const SkyplotTrace& trace) {
  w.begin_object();
  member(w, "satellite", trace.satellite);
  member(w, "system", trace.system);
  w.key("points");
  std::string quoted_satellite;
  append_json_string(quoted_satellite, trace.satellite);
  const SatelliteTimeseries* series =
      trace.points_in_series ? result.timeseries.satellite_timeseries.find(trace.satellite) : nullptr;
  if (series != nullptr) {
    encode_trace_points(w, arrays, std::span<const TimeseriesPoint>(series->cn0_series), quoted_satellite);
  } else {
    const std::span<const SkyplotPoint> own = trace.points_in_series ? std::span<const SkyplotPoint>() : trace.points;
    encode_trace_points(w, arrays, own, quoted_satellite);
  }
  w.end_object();
}

void encode(JsonWriter& w, const HeatmapPoint& point) {
  w.begin_object();
  member(w, "azimuth_bin", point.azimuth_bin);
  member(w, "elevation_bin", point.elevation_bin);
  member(w, "mean_cn0", point.mean_cn0);
  member(w, "count", point.count);
  w.end_object();
}

void encode_skyplot(JsonWriter& w, PointArrays& arrays, const AnalysisResult& result) {
  const SkyplotData& skyplot = result.skyplot;
  w.begin_object();
  w.key("traces");
  w.begin_array();
  for (const SkyplotTrace& trace : skyplot.traces) encode_trace(w, arrays, result, trace);
  w.end_array();
  member(w, "heatmap_points", skyplot.heatmap_points);
  member(w, "coverage_percent", skyplot.coverage_percent);
  w.end_object();
}

void encode(JsonWriter& w, const HeatmapData& heatmap) {
  w.begin_object();
  member(w, "azimuth_bins", heatmap.azimuth_bins);
  member(w, "elevation_bins", heatmap.elevation_bins);
  member(w, "cn0_matrix", heatmap.cn0_matrix);
  member(w, "count_matrix", heatmap.count_matrix);
  w.end_object();
}

void encode(JsonWriter& w, const CN0Anomaly& anomaly) {
  w.begin_object();
  member(w, "timestamp", anomaly.timestamp);
  w.key("severity");
  w.text(severity_text(anomaly.severity));
  w.key("event_type");
  w.text(drop_kind_text(anomaly.event_type));
  member(w, "description", anomaly.description);
  member(w, "cn0_drop", anomaly.cn0_drop);
  member(w, "affected_satellites", anomaly.affected_satellites);
  member(w, "affected_systems", anomaly.affected_systems);
  w.end_object();
}

void encode(JsonWriter& w, const SystemVisibility& visibility) {
  w.begin_object();
  member(w, "system", visibility.system);
  member(w, "predicted_satellites", visibility.predicted_satellites);
  member(w, "observed_satellites", visibility.observed_satellites);
  member(w, "confirmation_rate", visibility.confirmation_rate);
  member(w, "missing_satellites", visibility.missing_satellites);
  member(w, "unexpected_satellites", visibility.unexpected_satellites);
  w.end_object();
}

void encode(JsonWriter& w, const VisibilityAnomaly& anomaly) {
  w.begin_object();
  member(w, "start_time", anomaly.start_time);
  member(w, "end_time", anomaly.end_time);
  member(w, "duration_seconds", anomaly.duration_seconds);
  w.key("anomaly_type");
  w.text(visibility_anomaly_kind_text(anomaly.anomaly_type));
  w.key("severity");
  w.text(severity_text(anomaly.severity));
  member(w, "affected_satellites", anomaly.affected_satellites);
  member(w, "affected_systems", anomaly.affected_systems);
  member(w, "description", anomaly.description);
  w.end_object();
}

void encode(JsonWriter& w, const std::optional<VisibilityResult>& visibility) {
  if (!visibility) {
    w.null();
    return;
  }
  w.begin_object();
  w.key("has_prediction");
  w.flag(visibility->has_prediction);
  member(w, "prediction_source", visibility->prediction_source);
  member(w, "confirmation_rate", visibility->confirmation_rate);
  member(w, "mean_predicted", visibility->mean_predicted);
  member(w, "mean_observed", visibility->mean_observed);
  member(w, "mean_missing", visibility->mean_missing);
  member(w, "mean_unexpected", visibility->mean_unexpected);
  member(w, "frequently_missing", visibility->frequently_missing);
  member(w, "frequently_unexpected", visibility->frequently_unexpected);
  member(w, "by_system", visibility->by_system);
  member(w, "anomalies", visibility->anomalies);
  w.end_object();
}

void encode(JsonWriter& w, const AnalysisResult& result, Layout layout, parallel::Pool* pool) {
  w.begin_object();
  member(w, "file_info", result.file_info);
  member(w, "quality_score", result.quality_score);
  member(w, "summary", result.summary);
  member(w, "constellation_stats", result.constellation_stats);
  member(w, "satellite_stats", result.satellite_stats);
  PointArrays arrays(layout, pool);
  w.key("timeseries");
  encode_timeseries(w, arrays, result.timeseries);
  w.key("skyplot");
  encode_skyplot(w, arrays, result);
  member(w, "heatmap", result.heatmap);
  member(w, "anomalies", result.anomalies);
  member(w, "visibility", result.visibility);
  member(w, "spoofing_unexpected_threshold", result.spoofing_unexpected_threshold);
  member(w, "spoofing_min_unexpected_count", result.spoofing_min_unexpected_count);
  w.end_object();
}

// The series points dominate the text: a compact point takes up to about 110 bytes, an indented
// one about 180 at its depth. Reserving a little more costs only address space, growing past the
// reserve copies everything written so far.
std::size_t estimated_size(const AnalysisResult& result, Layout layout) {
  std::size_t points = 0;
  for (const auto& entry : result.timeseries.satellite_timeseries) points += entry.second.cn0_series.size();
  for (const auto& entry : result.timeseries.constellation_timeseries) points += entry.second.size();
  for (const SkyplotTrace& trace : result.skyplot.traces) points += trace_point_count(result, trace);
  const std::size_t per_point = layout == Layout::compact ? 128 : 208;
  const std::size_t per_time_point = layout == Layout::compact ? 64 : 96;
  return 4096 + points * per_point + result.timeseries.timestamps.size() * per_time_point;
}

std::string encode_result(const AnalysisResult& result, Layout layout, parallel::Pool* pool) {
  std::string out;
  out.reserve(estimated_size(result, layout));
  JsonWriter writer(out, layout);
  encode(writer, result, layout, pool);
  (void)writer.finish();
  return out;
}

/// Pieces written to an open file; the first failure's error number is kept.
class FileSink : public JsonSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  bool write(std::string_view piece) override {
    if (std::fwrite(piece.data(), 1, piece.size(), file_) == piece.size()) return true;
    error_ = errno;
    return false;
  }
  int error() const { return error_; }

 private:
  std::FILE* file_;
  int error_ = 0;
};

std::string os_error_text(int error) {
  return std::string(std::strerror(error)) + " (os error " + std::to_string(error) + ")";
}

}  // namespace

std::string to_json(const AnalysisResult& result, parallel::Pool* pool) {
  return encode_result(result, Layout::compact, pool);
}

std::string to_json_pretty(const AnalysisResult& result, parallel::Pool* pool) {
  return encode_result(result, Layout::indented, pool);
}

std::string write_json_file(const AnalysisResult& result, Layout layout, const std::string& path,
                            parallel::Pool* pool) {
  if (path.find('\0') != std::string::npos) return "file name contained an unexpected NUL byte";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return os_error_text(errno);
  FileSink sink(file);
  const bool written = write_json(result, layout, sink, pool);
  int error = written ? 0 : sink.error();
  if (std::fclose(file) != 0 && error == 0) error = errno;
  if (!written && error == 0) error = EIO;
  return error == 0 ? std::string() : os_error_text(error);
}

bool write_json(const AnalysisResult& result, Layout layout, JsonSink& sink, parallel::Pool* pool) {
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  std::string buffer;
  buffer.reserve(kChunk + 4096);
  JsonWriter writer(buffer, layout, &sink, kChunk);
  encode(writer, result, layout, pool);
  return writer.finish();
}

}  // namespace qcn::result
