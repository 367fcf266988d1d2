// JSON text of an analysis result: one writer appending to one string, compact or indented.
#include "result/json.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

namespace qcn::result {

namespace {

// Shortest round-trip digits of a finite double: value = d1.d2...dn x 10^exponent.
struct Decimal {
  bool negative = false;
  std::array<char, 17> digits{};  // a double never needs more than 17
  int count = 0;
  int exponent = 0;
};

Decimal shortest_decimal(double value) {
  // to_chars without a precision gives the shortest round-trip form: "-1.2345e+300", "0e+00".
  char sci[32];
  const char* end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
  const char* p = sci;
  Decimal d;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  d.digits[d.count++] = *p++;
  if (*p == '.') {
    for (++p; *p != 'e'; ++p) d.digits[d.count++] = *p;
  }
  ++p;  // 'e'
  const bool negative_exponent = *p == '-';
  for (++p; p != end; ++p) d.exponent = d.exponent * 10 + (*p - '0');
  if (negative_exponent) d.exponent = -d.exponent;
  return d;
}

char* put_digits(char* out, const char* digits, int count) {
  for (int i = 0; i < count; ++i) *out++ = digits[i];
  return out;
}

char* put_zeros(char* out, int count) {
  for (int i = 0; i < count; ++i) *out++ = '0';
  return out;
}

// Positional layout of d; integral values get ".0" when with_point_zero is set.
char* put_positional(char* out, const Decimal& d, bool with_point_zero) {
  if (d.negative) *out++ = '-';
  if (d.count <= d.exponent + 1) {
    out = put_zeros(put_digits(out, d.digits.data(), d.count), d.exponent + 1 - d.count);
    if (with_point_zero) {
      *out++ = '.';
      *out++ = '0';
    }
  } else if (d.exponent < 0) {
    *out++ = '0';
    *out++ = '.';
    out = put_digits(put_zeros(out, -d.exponent - 1), d.digits.data(), d.count);
  } else {
    out = put_digits(out, d.digits.data(), d.exponent + 1);
    *out++ = '.';
    out = put_digits(out, d.digits.data() + d.exponent + 1, d.count - d.exponent - 1);
  }
  return out;
}

// 1e+16, 2.5e-7: the exponent always signed, never zero-padded.
char* put_scientific(char* out, const Decimal& d) {
  if (d.negative) *out++ = '-';
  *out++ = d.digits[0];
  if (d.count > 1) {
    *out++ = '.';
    out = put_digits(out, d.digits.data() + 1, d.count - 1);
  }
  *out++ = 'e';
  *out++ = d.exponent < 0 ? '-' : '+';
  return std::to_chars(out, out + 4, d.exponent < 0 ? -d.exponent : d.exponent).ptr;
}

// Bytes of a JSON string that cannot be copied as they are.
constexpr std::array<bool, 256> kNeedsEscape = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = true;
  table['"'] = true;
  table['\\'] = true;
  return table;
}();

void append_escape(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"': out.append("\\\""); return;
    case '\\': out.append("\\\\"); return;
    case '\b': out.append("\\b"); return;
    case '\t': out.append("\\t"); return;
    case '\n': out.append("\\n"); return;
    case '\f': out.append("\\f"); return;
    case '\r': out.append("\\r"); return;
    default: {
      const char code[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
      out.append(code, sizeof code);
    }
  }
}

enum class Layout : std::uint8_t { compact, indented };

/// Tokens of one JSON text. Keys and values are written in call order; the writer places the
/// separators, line feeds and indentation.
class Writer {
 public:
  Writer(std::string& out, Layout layout) : out_(out), indented_(layout == Layout::indented) {}

  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }

  void key(std::string_view name) {
    next_token();
    append_json_string(out_, name);
    if (indented_) {
      out_.append(": ");
    } else {
      out_.push_back(':');
    }
    after_key_ = true;
  }

  void real(double value) {
    next_token();
    append_json_real(out_, value);
  }
  void count(std::uint64_t value) {
    next_token();
    char digits[20];
    out_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
  }
  void text(std::string_view value) {
    next_token();
    append_json_string(out_, value);
  }
  void flag(bool value) {
    next_token();
    out_.append(value ? "true" : "false");
  }
  void null() {
    next_token();
    out_.append("null");
  }

 private:
  // A value after its key follows directly, as does the outermost value; any other token is a
  // new member or element.
  void next_token() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (level_ == 0) return;
    if (!first_in_container_) out_.push_back(',');
    first_in_container_ = false;
    new_line();
  }

  void open(char bracket) {
    next_token();
    out_.push_back(bracket);
    ++level_;
    first_in_container_ = true;
  }

  // The enclosing container holds at least this one, so its next token needs a comma.
  void close(char bracket) {
    --level_;
    if (!first_in_container_) new_line();
    first_in_container_ = false;
    out_.push_back(bracket);
  }

  void new_line() {
    if (!indented_) return;
    out_.push_back('\n');
    out_.append(2 * static_cast<std::size_t>(level_), ' ');
  }

  std::string& out_;
  bool indented_;
  bool first_in_container_ = true;
  bool after_key_ = false;
  int level_ = 0;
};

void encode(Writer& w, double value) { w.real(value); }
void encode(Writer& w, std::uint64_t value) { w.count(value); }
void encode(Writer& w, const std::string& value) { w.text(value); }
void encode(Writer& w, const FileInfo& info);
void encode(Writer& w, const QualityAssessment& quality);
void encode(Writer& w, const ResultSummary& summary);
void encode(Writer& w, const ConstellationStats& stats);
void encode(Writer& w, const SatelliteStats& stats);
void encode(Writer& w, const TimeseriesData& timeseries);
void encode(Writer& w, const SkyplotData& skyplot);
void encode(Writer& w, const SkyplotTrace& trace);
void encode(Writer& w, const HeatmapPoint& point);
void encode(Writer& w, const HeatmapData& heatmap);
void encode(Writer& w, const CN0Anomaly& anomaly);
void encode(Writer& w, const SystemVisibility& visibility);
void encode(Writer& w, const VisibilityAnomaly& anomaly);
void encode(Writer& w, const std::optional<VisibilityResult>& visibility);

template <typename Value>
void encode(Writer& w, const std::vector<Value>& list) {
  w.begin_array();
  for (const Value& element : list) encode(w, element);
  w.end_array();
}

template <typename Value>
void encode(Writer& w, const Map<Value>& map) {
  w.begin_object();
  for (const auto& [name, value] : map) {
    w.key(name);
    encode(w, value);
  }
  w.end_object();
}

template <typename Value>
void member(Writer& w, std::string_view name, const Value& value) {
  w.key(name);
  encode(w, value);
}

void encode(Writer& w, const FileInfo& info) {
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

void encode(Writer& w, const QualityAssessment& quality) {
  w.begin_object();
  member(w, "overall", quality.overall);
  member(w, "cn0_score", quality.cn0_score);
  member(w, "coverage_score", quality.coverage_score);
  member(w, "consistency_score", quality.consistency_score);
  member(w, "grade", quality.grade);
  member(w, "interpretation", quality.interpretation);
  w.end_object();
}

void encode(Writer& w, const ResultSummary& summary) {
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

void encode(Writer& w, const ConstellationStats& stats) {
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

void encode(Writer& w, const SatelliteStats& stats) {
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

// A point names its time by index; an index past the time points is written as an empty text.
void encode_series(Writer& w, const std::vector<TimeseriesPoint>& series, const std::vector<std::string>& timestamps) {
  w.begin_array();
  for (const TimeseriesPoint& point : series) {
    w.begin_object();
    w.key("timestamp");
    w.text(point.time < timestamps.size() ? std::string_view(timestamps[point.time]) : std::string_view());
    member(w, "cn0", point.cn0);
    member(w, "elevation", point.elevation);
    member(w, "azimuth", point.azimuth);
    w.end_object();
  }
  w.end_array();
}

void encode(Writer& w, const TimeseriesData& timeseries) {
  w.begin_object();
  member(w, "timestamps", timeseries.timestamps);
  member(w, "mean_cn0", timeseries.mean_cn0);
  member(w, "satellite_count", timeseries.satellite_count);
  w.key("satellite_timeseries");
  w.begin_object();
  for (const auto& [name, series] : timeseries.satellite_timeseries) {
    w.key(name);
    w.begin_object();
    member(w, "satellite", series.satellite);
    member(w, "system", series.system);
    member(w, "signal", series.signal);
    w.key("cn0_series");
    encode_series(w, series.cn0_series, timeseries.timestamps);
    w.end_object();
  }
  w.end_object();
  w.key("constellation_timeseries");
  w.begin_object();
  for (const auto& [name, series] : timeseries.constellation_timeseries) {
    w.key(name);
    encode_series(w, series, timeseries.timestamps);
  }
  w.end_object();
  w.end_object();
}

void encode(Writer& w, const SkyplotTrace& trace) {
  w.begin_object();
  member(w, "satellite", trace.satellite);
  member(w, "system", trace.system);
  w.key("points");
  w.begin_array();
  for (const SkyplotPoint& point : trace.points) {
    w.begin_object();
    member(w, "azimuth", point.azimuth);
    member(w, "elevation", point.elevation);
    member(w, "cn0", point.cn0);
    member(w, "satellite", trace.satellite);
    w.end_object();
  }
  w.end_array();
  w.end_object();
}

void encode(Writer& w, const HeatmapPoint& point) {
  w.begin_object();
  member(w, "azimuth_bin", point.azimuth_bin);
  member(w, "elevation_bin", point.elevation_bin);
  member(w, "mean_cn0", point.mean_cn0);
  member(w, "count", point.count);
  w.end_object();
}

void encode(Writer& w, const SkyplotData& skyplot) {
  w.begin_object();
  member(w, "traces", skyplot.traces);
  member(w, "heatmap_points", skyplot.heatmap_points);
  member(w, "coverage_percent", skyplot.coverage_percent);
  w.end_object();
}

void encode(Writer& w, const HeatmapData& heatmap) {
  w.begin_object();
  member(w, "azimuth_bins", heatmap.azimuth_bins);
  member(w, "elevation_bins", heatmap.elevation_bins);
  member(w, "cn0_matrix", heatmap.cn0_matrix);
  member(w, "count_matrix", heatmap.count_matrix);
  w.end_object();
}

void encode(Writer& w, const CN0Anomaly& anomaly) {
  w.begin_object();
  member(w, "timestamp", anomaly.timestamp);
  member(w, "severity", anomaly.severity);
  member(w, "event_type", anomaly.event_type);
  member(w, "description", anomaly.description);
  member(w, "cn0_drop", anomaly.cn0_drop);
  member(w, "affected_satellites", anomaly.affected_satellites);
  member(w, "affected_systems", anomaly.affected_systems);
  w.end_object();
}

void encode(Writer& w, const SystemVisibility& visibility) {
  w.begin_object();
  member(w, "system", visibility.system);
  member(w, "predicted_satellites", visibility.predicted_satellites);
  member(w, "observed_satellites", visibility.observed_satellites);
  member(w, "confirmation_rate", visibility.confirmation_rate);
  member(w, "missing_satellites", visibility.missing_satellites);
  member(w, "unexpected_satellites", visibility.unexpected_satellites);
  w.end_object();
}

void encode(Writer& w, const VisibilityAnomaly& anomaly) {
  w.begin_object();
  member(w, "start_time", anomaly.start_time);
  member(w, "end_time", anomaly.end_time);
  member(w, "duration_seconds", anomaly.duration_seconds);
  member(w, "anomaly_type", anomaly.anomaly_type);
  member(w, "severity", anomaly.severity);
  member(w, "affected_satellites", anomaly.affected_satellites);
  member(w, "affected_systems", anomaly.affected_systems);
  member(w, "description", anomaly.description);
  w.end_object();
}

void encode(Writer& w, const std::optional<VisibilityResult>& visibility) {
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

void encode(Writer& w, const AnalysisResult& result) {
  w.begin_object();
  member(w, "file_info", result.file_info);
  member(w, "quality_score", result.quality_score);
  member(w, "summary", result.summary);
  member(w, "constellation_stats", result.constellation_stats);
  member(w, "satellite_stats", result.satellite_stats);
  member(w, "timeseries", result.timeseries);
  member(w, "skyplot", result.skyplot);
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
  for (const SkyplotTrace& trace : result.skyplot.traces) points += trace.points.size();
  const std::size_t per_point = layout == Layout::compact ? 128 : 208;
  const std::size_t per_time_point = layout == Layout::compact ? 64 : 96;
  return 4096 + points * per_point + result.timeseries.timestamps.size() * per_time_point;
}

std::string encode_result(const AnalysisResult& result, Layout layout) {
  std::string out;
  out.reserve(estimated_size(result, layout));
  Writer writer(out, layout);
  encode(writer, result);
  return out;
}

}  // namespace

std::string to_json(const AnalysisResult& result) { return encode_result(result, Layout::compact); }

std::string to_json_pretty(const AnalysisResult& result) { return encode_result(result, Layout::indented); }

void append_json_real(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out.append("null");
    return;
  }
  const Decimal d = shortest_decimal(value);
  // Longest forms: "-0.0000" plus 17 digits, or "-d." plus 16 digits and "e-308".
  char text[32];
  const bool positional = d.exponent >= -5 && d.exponent <= 15;
  char* end = positional ? put_positional(text, d, true) : put_scientific(text, d);
  out.append(text, end);
}

void append_json_string(std::string& out, std::string_view text) {
  out.push_back('"');
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!kNeedsEscape[c]) continue;
    out.append(text.data() + run_start, i - run_start);
    append_escape(out, c);
    run_start = i + 1;
  }
  out.append(text.data() + run_start, text.size() - run_start);
  out.push_back('"');
}

std::string shortest_text(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const Decimal d = shortest_decimal(value);
  // The largest double has 309 integer digits; the smallest needs 323 zeros after the point.
  char text[340];
  return std::string(text, put_positional(text, d, false));
}

}  // namespace qcn::result
