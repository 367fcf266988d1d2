// The JSON layout of an analysis result: keys in field order, maps in insertion order.
#include "result/json.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "result/fields.hpp"
#include "result/json_points.hpp"

namespace qcn::result {

namespace {

void encode(JsonWriter& w, double value) { w.real(value); }
void encode(JsonWriter& w, std::uint64_t value) { w.count(value); }
void encode(JsonWriter& w, bool value) { w.flag(value); }
void encode(JsonWriter& w, const std::string& value) { w.text(value); }
template <typename Value>
  requires std::is_enum_v<Value>
void encode(JsonWriter& w, Value value);
template <typename Value>
void encode(JsonWriter& w, const std::vector<Value>& list);
template <typename Value>
void encode(JsonWriter& w, const Map<Value>& map);
template <DeclaredRecord Record>
void encode(JsonWriter& w, const Record& record);
template <typename Record>
void encode(JsonWriter& w, const std::optional<Record>& record);

template <typename Value>
  requires std::is_enum_v<Value>
void encode(JsonWriter& w, Value value) {
  w.text(enum_text(value));
}

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

/// A record as an object of its declared fields.
template <DeclaredRecord Record>
void encode(JsonWriter& w, const Record& record) {
  w.begin_object();
  visit_fields(record, [&](std::string_view name, const auto& value) {
    w.key(name);
    encode(w, value);
  });
  w.end_object();
}

/// A record that may be absent: null then.
template <typename Record>
void encode(JsonWriter& w, const std::optional<Record>& record) {
  if (record) {
    encode(w, *record);
  } else {
    w.null();
  }
}

template <typename Value>
void member(JsonWriter& w, std::string_view name, const Value& value) {
  w.key(name);
  encode(w, value);
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

void encode(JsonWriter& w, const AnalysisResult& result, Layout layout, parallel::Pool* pool,
            Sections sections = Sections::result) {
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
  if (sections == Sections::with_assessment) member(w, "assessment", result.assessment);
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

std::string encode_result(const AnalysisResult& result, Layout layout, parallel::Pool* pool,
                          Sections sections = Sections::result) {
  std::string out;
  out.reserve(estimated_size(result, layout));
  JsonWriter writer(out, layout);
  encode(writer, result, layout, pool, sections);
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

std::string assessment_json(const std::optional<Assessment>& assessment, Layout layout) {
  std::string out;
  JsonWriter writer(out, layout);
  encode(writer, assessment);
  (void)writer.finish();
  return out;
}

std::string write_json_file(const AnalysisResult& result, Layout layout, const std::string& path,
                            parallel::Pool* pool, Sections sections) {
  if (path.find('\0') != std::string::npos) return "file name contained an unexpected NUL byte";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return os_error_text(errno);
  FileSink sink(file);
  const bool written = write_json(result, layout, sink, pool, sections);
  int error = written ? 0 : sink.error();
  if (std::fclose(file) != 0 && error == 0) error = errno;
  if (!written && error == 0) error = EIO;
  return error == 0 ? std::string() : os_error_text(error);
}

bool write_json(const AnalysisResult& result, Layout layout, JsonSink& sink, parallel::Pool* pool,
                Sections sections) {
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  std::string buffer;
  buffer.reserve(kChunk + 4096);
  JsonWriter writer(buffer, layout, &sink, kChunk);
  encode(writer, result, layout, pool, sections);
  return writer.finish();
}

}  // namespace qcn::result
