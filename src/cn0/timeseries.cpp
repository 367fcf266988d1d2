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
  series.timestamps.reserve(set.sorted_times.size());
  series.mean_cn0.reserve(set.sorted_times.size());
  series.satellite_count.reserve(set.sorted_times.size());
  for (std::uint32_t t : set.sorted_times) {
    double sum = 0.0;
    std::uint64_t satellites = 0;
    groups.by_time.for_each(t, [&](std::uint32_t i) {
      sum += set.cn0(i);
      std::uint32_t s = set.satellite(i);
      if (counted_at[s] != t) {
        counted_at[s] = t;
        ++satellites;
      }
    });
    series.timestamps.push_back(set.timestamps[t]);
    series.mean_cn0.push_back(sum / static_cast<double>(groups.by_time.count(t)));
    series.satellite_count.push_back(satellites);
  }
}

/// The signal index each sample's code gets among the result's signals, numbered in order of
/// first appearance; the codes go to `signals`. Codes beyond the 65535th share the last index.
std::vector<std::uint16_t> signal_numbers(const SampleSet& set, std::vector<std::string>& signals) {
  constexpr std::uint16_t kUnnumbered = std::numeric_limits<std::uint16_t>::max();
  std::vector<std::uint16_t> number(set.signals.size(), kUnnumbered);
  for (const Cn0Sample& sample : set.samples) {
    std::uint16_t& n = number[sample.signal];
    if (n != kUnnumbered || signals.size() == kUnnumbered) continue;
    n = static_cast<std::uint16_t>(signals.size());
    signals.push_back(set.signals[sample.signal]);
  }
  return number;
}

/// One value per sample, gathered per satellite in the order of the satellite's points: in sample
/// order, then stably by time point where the file did not list its epochs in time order, so the
/// signals of one epoch keep their order. append(values, begin, end) appends the values of the
/// samples [begin, end), all of one sighting.
template <typename Value, typename Append>
std::vector<std::vector<Value>> in_point_order(const SampleSet& set, const std::vector<std::uint32_t>& point,
                                               Append&& append) {
  const std::size_t satellites = set.satellites.size();
  std::vector<std::vector<Value>> values(satellites);
  std::vector<std::uint32_t> counts(satellites, 0);
  for (std::size_t i = 0; i < set.size(); ++i) ++counts[set.satellite(i)];
  for (std::size_t s = 0; s < satellites; ++s) values[s].reserve(counts[s]);
  std::vector<std::uint32_t> last_point(satellites, 0);
  std::vector<char> unsorted(satellites, 0);
  for_each_sighting_run(set, [&](const Sighting& sighting, std::size_t begin, std::size_t end) {
    const std::uint32_t s = sighting.satellite;
    const std::uint32_t p = point[sighting.time];
    // Values of one time point keep their sample order: only a step back in time reorders.
    if (p < last_point[s]) unsorted[s] = 1;
    last_point[s] = p;
    append(values[s], begin, end);
  });
  if (std::find(unsorted.begin(), unsorted.end(), 1) == unsorted.end()) return values;
  // The time points of the unsorted satellites' samples, in sample order, order their values.
  std::vector<std::vector<std::uint32_t>> points(satellites);
  for (std::size_t i = 0; i < set.size(); ++i) {
    if (unsorted[set.satellite(i)] != 0) points[set.satellite(i)].push_back(point[set.time(i)]);
  }
  for (std::size_t s = 0; s < satellites; ++s) {
    if (unsorted[s] == 0) continue;
    std::vector<std::uint32_t> order(values[s].size());
    for (std::uint32_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t x, std::uint32_t y) { return points[s][x] < points[s][y]; });
    std::vector<Value> sorted;
    sorted.reserve(order.size());
    for (std::uint32_t k : order) sorted.push_back(std::move(values[s][k]));
    values[s] = std::move(sorted);
  }
  return values;
}

std::vector<result::SatelliteTimeseries> satellite_series(const SampleSet& set, const std::vector<std::uint32_t>& point,
                                                          const std::vector<std::uint16_t>& signal) {
  std::vector<result::SatelliteTimeseries> series(set.satellites.size());
  std::vector<char> labelled(series.size(), 0);
  std::vector<std::vector<result::TimeseriesPoint>> points =
      in_point_order<result::TimeseriesPoint>(set, point, [&](std::vector<result::TimeseriesPoint>& out,
                                                               std::size_t begin, std::size_t end) {
        const Sighting& sighting = set.sighting_of(begin);
        // A satellite is labelled with the code of its first sample in file order.
        if (labelled[sighting.satellite] == 0) {
          labelled[sighting.satellite] = 1;
          series[sighting.satellite].signal = set.signal_text(begin);
        }
        for (std::size_t i = begin; i < end; ++i) {
          out.push_back({point[sighting.time], signal[set.samples[i].signal], sighting.has_look_angles != 0,
                         set.samples[i].cn0, sighting.elevation, sighting.azimuth});
        }
      });
  for (std::size_t s = 0; s < series.size(); ++s) {
    series[s].satellite = set.satellites[s].id;
    series[s].system = std::string(set.constellations[set.satellites[s].constellation]);
    series[s].cn0_series = std::move(points[s]);
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

/// Per constellation, one point per time index at which it has samples, holding the means of its
/// samples, in ascending time.
std::vector<std::vector<result::TimeseriesPoint>> constellation_series(const SampleSet& set) {
  const std::size_t times = set.timestamps.size();
  std::vector<PointSums> sums(set.constellations.size() * times);
  for (std::size_t i = 0; i < set.size(); ++i) {
    PointSums& at = sums[set.constellation(i) * times + set.time(i)];
    at.cn0 += set.cn0(i);
    at.elevation += set.elevation(i);
    at.azimuth += set.azimuth(i);
    ++at.count;
  }
  std::vector<std::vector<result::TimeseriesPoint>> series(set.constellations.size());
  for (std::size_t c = 0; c < series.size(); ++c) {
    for (std::uint32_t p = 0; p < set.sorted_times.size(); ++p) {
      const PointSums& at = sums[c * times + set.sorted_times[p]];
      if (at.count == 0) continue;
      const auto n = static_cast<double>(at.count);
      series[c].push_back({p, 0, false, at.cn0 / n, at.elevation / n, at.azimuth / n});
    }
  }
  return series;
}

}  // namespace

void fill_timeseries(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups) {
  result::TimeseriesData series;
  fill_epoch_series(series, set, groups);

  series.times_ns.reserve(set.sorted_times.size());
  for (std::uint32_t t : set.sorted_times) {
    series.times_ns.push_back(rinex::nanoseconds_since_1970(set.times[t]).value_or(result::kNoTime));
  }
  std::vector<std::uint32_t> point = time_points_of(set);
  const std::vector<std::uint16_t> signal = signal_numbers(set, series.signals);
  std::vector<result::SatelliteTimeseries> satellites = satellite_series(set, point, signal);
  for (std::uint32_t s = 0; s < satellites.size(); ++s) {
    if (!satellites[s].cn0_series.empty()) {
      series.satellite_timeseries.insert_or_assign(set.satellites[s].id, std::move(satellites[s]));
    }
  }
  std::vector<std::vector<result::TimeseriesPoint>> constellations = constellation_series(set);
  for (std::uint32_t c = 0; c < constellations.size(); ++c) {
    if (!constellations[c].empty()) {
      series.constellation_timeseries.insert_or_assign(set.constellations[c], std::move(constellations[c]));
    }
  }
  result.timeseries = std::move(series);
}

std::vector<std::vector<float>> expected_by_point(const SampleSet& set, std::span<const float> expected_db) {
  if (expected_db.size() != set.size()) return std::vector<std::vector<float>>(set.satellites.size());
  return in_point_order<float>(set, time_points_of(set), [&](std::vector<float>& out, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) out.push_back(expected_db[i]);
  });
}

void attach_expected_cn0(result::TimeseriesData& timeseries, const SampleSet& set,
                         std::vector<std::vector<float>> expected) {
  for (std::size_t s = 0; s < set.satellites.size() && s < expected.size(); ++s) {
    result::SatelliteTimeseries* series = timeseries.satellite_timeseries.find(set.satellites[s].id);
    if (series != nullptr && expected[s].size() == series->cn0_series.size()) series->expected_cn0 = std::move(expected[s]);
  }
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
