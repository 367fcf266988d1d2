#include "result/sample_columns.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "rinex/epoch_time.hpp"

namespace qcn::result {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

/// The nanoseconds of each time point: those the analysis kept, else read back from the texts.
std::vector<std::int64_t> time_point_ns(const TimeseriesData& series) {
  if (series.times_ns.size() == series.timestamps.size()) return series.times_ns;
  std::vector<std::int64_t> times;
  times.reserve(series.timestamps.size());
  for (const std::string& text : series.timestamps) {
    std::optional<rinex::EpochTime> time = rinex::epoch_from_timestamp(text);
    times.push_back(time ? rinex::nanoseconds_since_1970(*time).value_or(kNoTime) : kNoTime);
  }
  return times;
}

/// Where each time point's rows begin: a counting sort of the points by time point, the points
/// beyond the time points (never made by the analysis) last.
std::vector<std::size_t> row_starts(const TimeseriesData& series) {
  const std::size_t times = series.timestamps.size();
  std::vector<std::size_t> start(times + 2, 0);
  for (const auto& [id, satellite] : series.satellite_timeseries) {
    for (const TimeseriesPoint& p : satellite.cn0_series) ++start[std::min<std::size_t>(p.time, times) + 1];
  }
  for (std::size_t t = 1; t < start.size(); ++t) start[t] += start[t - 1];
  return start;
}

/// The code of a label among a few (systems), numbered on first use.
std::uint16_t code_of_label(rinex::CodedColumn& column, const std::string& label) {
  std::size_t code = 0;
  while (code < column.labels.size() && column.labels[code] != label) ++code;
  if (code == column.labels.size()) column.labels.push_back(label);
  return static_cast<std::uint16_t>(std::min<std::size_t>(code, 0xFFFF));
}

void resize_rows(SampleColumns& c, std::size_t rows) {
  c.time_ns.resize(rows);
  c.time_index.resize(rows);
  c.satellite.codes.resize(rows);
  c.system.codes.resize(rows);
  c.signal.codes.resize(rows);
  c.cn0.resize(rows);
  c.elevation.resize(rows);
  c.azimuth.resize(rows);
  c.residual.resize(rows);
}

}  // namespace

SampleColumns sample_columns(const AnalysisResult& result) {
  const TimeseriesData& series = result.timeseries;
  const std::vector<std::int64_t> times = time_point_ns(series);
  std::vector<std::size_t> next = row_starts(series);
  SampleColumns c;
  resize_rows(c, next.back());
  // Results made without the signal table name each series by its first signal.
  const bool signal_table = !series.signals.empty();
  if (signal_table) c.signal.labels = series.signals;
  std::uint16_t satellite_code = 0;
  for (const auto& [id, satellite] : series.satellite_timeseries) {
    if (c.satellite.labels.size() <= 0xFFFF) {
      satellite_code = static_cast<std::uint16_t>(c.satellite.labels.size());
      c.satellite.labels.push_back(id);
    }
    const std::uint16_t system_code = code_of_label(c.system, satellite.system);
    const std::uint16_t own_signal = signal_table ? 0 : code_of_label(c.signal, satellite.signal);
    const bool expected = satellite.expected_cn0.size() == satellite.cn0_series.size();
    for (std::size_t k = 0; k < satellite.cn0_series.size(); ++k) {
      const TimeseriesPoint& p = satellite.cn0_series[k];
      const std::size_t row = next[std::min<std::size_t>(p.time, times.size())]++;
      c.time_ns[row] = p.time < times.size() ? times[p.time] : kNoTime;
      c.time_index[row] = p.time;
      c.satellite.codes[row] = satellite_code;
      c.system.codes[row] = system_code;
      c.signal.codes[row] = signal_table ? p.signal : own_signal;
      c.cn0[row] = p.cn0;
      c.elevation[row] = p.has_look_angles ? p.elevation : kNaN;
      c.azimuth[row] = p.has_look_angles ? p.azimuth : kNaN;
      c.residual[row] = expected ? p.cn0 - static_cast<double>(satellite.expected_cn0[k]) : kNaN;
    }
  }
  return c;
}

EpochColumns epoch_columns(const AnalysisResult& result) {
  return {time_point_ns(result.timeseries), result.timeseries.mean_cn0, result.timeseries.satellite_count};
}

VisibilityColumns visibility_columns(const AnalysisResult& result) {
  VisibilityColumns c;
  if (!result.visibility) return c;
  for (const VisibilityEpoch& e : result.visibility->epochs) {
    c.time_ns.push_back(e.time_ns);
    c.predicted.push_back(e.predicted);
    c.observed.push_back(e.observed);
    c.confirmed.push_back(e.confirmed);
    c.missing.push_back(e.missing);
    c.unexpected.push_back(e.unexpected);
  }
  return c;
}

}  // namespace qcn::result
