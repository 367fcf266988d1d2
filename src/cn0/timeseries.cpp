// The epoch series, the per-satellite and the per-constellation C/N0 series.
#include "cn0/timeseries.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace qcn::cn0 {

namespace {

using Members = std::span<const std::uint32_t>;

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

/// Position of each time index among the timestamps in ascending order: the time index the
/// result's points carry.
std::vector<std::uint32_t> time_points_of(const SampleSet& set) {
  std::vector<std::uint32_t> point(set.timestamps.size());
  for (std::uint32_t p = 0; p < set.sorted_times.size(); ++p) point[set.sorted_times[p]] = p;
  return point;
}

void fill_epoch_series(result::TimeseriesData& series, const SampleSet& set, const SampleGroups& groups) {
  // Per satellite, the last time index it was counted at.
  std::vector<std::uint32_t> counted_at(set.satellites.size(), kNone);
  for (std::uint32_t t : set.sorted_times) {
    Members members = groups.by_time.group(t);
    double sum = 0.0;
    std::uint64_t satellites = 0;
    for (std::uint32_t i : members) {
      sum += set.cn0(i);
      std::uint32_t s = set.satellite(i);
      if (counted_at[s] != t) {
        counted_at[s] = t;
        ++satellites;
      }
    }
    series.timestamps.push_back(set.timestamps[t]);
    series.mean_cn0.push_back(sum / static_cast<double>(members.size()));
    series.satellite_count.push_back(satellites);
  }
}

/// The satellite's points in sample order, then stably by time point: the signals of one epoch
/// keep their order.
result::SatelliteTimeseries satellite_series(const SampleSet& set, std::uint32_t satellite, Members members,
                                             const std::vector<std::uint32_t>& point) {
  result::SatelliteTimeseries series;
  series.satellite = set.satellites[satellite].id;
  series.system = std::string(set.constellations[set.satellites[satellite].constellation]);
  series.signal = set.signal_text(members.front());
  series.cn0_series.reserve(members.size());
  for (std::uint32_t i : members) {
    series.cn0_series.push_back({point[set.time(i)], set.cn0(i), set.elevation(i), set.azimuth(i)});
  }
  auto by_time = [](const result::TimeseriesPoint& a, const result::TimeseriesPoint& b) { return a.time < b.time; };
  if (!std::is_sorted(series.cn0_series.begin(), series.cn0_series.end(), by_time)) {
    std::stable_sort(series.cn0_series.begin(), series.cn0_series.end(), by_time);
  }
  return series;
}

/// Sums of one constellation's samples at one time index.
struct PointSums {
  double cn0 = 0.0;
  double elevation = 0.0;
  double azimuth = 0.0;
  std::uint32_t count = 0;
};

/// One point per time index of the constellation, holding the means of its samples, in
/// ascending time. sums is indexed by time index and is left zeroed.
std::vector<result::TimeseriesPoint> constellation_series(const SampleSet& set, Members members,
                                                          std::vector<PointSums>& sums) {
  for (std::uint32_t i : members) {
    PointSums& at = sums[set.time(i)];
    at.cn0 += set.cn0(i);
    at.elevation += set.elevation(i);
    at.azimuth += set.azimuth(i);
    ++at.count;
  }
  std::vector<result::TimeseriesPoint> points;
  for (std::uint32_t p = 0; p < set.sorted_times.size(); ++p) {
    PointSums& at = sums[set.sorted_times[p]];
    if (at.count == 0) continue;
    const auto n = static_cast<double>(at.count);
    points.push_back({p, at.cn0 / n, at.elevation / n, at.azimuth / n});
    at = PointSums{};
  }
  return points;
}

}  // namespace

void fill_timeseries(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups) {
  result::TimeseriesData series;
  fill_epoch_series(series, set, groups);

  std::vector<std::uint32_t> point = time_points_of(set);
  for (std::uint32_t s = 0; s < set.satellites.size(); ++s) {
    Members members = groups.by_satellite.group(s);
    if (!members.empty()) {
      series.satellite_timeseries.insert_or_assign(set.satellites[s].id, satellite_series(set, s, members, point));
    }
  }

  std::vector<PointSums> sums(set.timestamps.size());
  for (std::uint32_t c = 0; c < set.constellations.size(); ++c) {
    Members members = groups.by_constellation.group(c);
    if (!members.empty()) {
      series.constellation_timeseries.insert_or_assign(set.constellations[c], constellation_series(set, members, sums));
    }
  }
  result.timeseries = std::move(series);
}

double cn0_std_dev(const result::TimeseriesData& timeseries) {
  const std::vector<double>& values = timeseries.mean_cn0;
  if (values.empty()) return 0.0;
  const auto n = static_cast<double>(values.size());
  double sum = -0.0;
  for (double v : values) sum += v;
  double mean = sum / n;
  double squares = 0.0;
  for (double v : values) {
    double d = v - mean;
    squares += d * d;
  }
  return std::sqrt(squares / n);
}

}  // namespace qcn::cn0
