// Whole-file summary figures, per-satellite and per-constellation C/N0 statistics.
#include "cn0/statistics.hpp"

#include "cn0/sample_figures.hpp"
#include "rinex/satellite_systems.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qcn::cn0 {

namespace {

using Members = std::span<const std::uint32_t>;

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr double kCycleSlipJumpDbHz = 10.0;
// A satellite absent for longer than this has left the sky and come back: the break is not data
// missing from a pass.
constexpr double kLongestGapSeconds = 600.0;
constexpr double kSlipBinDbHz = 5.0;  // half the jump, so that no rounding lets a bin hold a jump

/// The smallest and largest C/N0 that fell into one bin of the cycle-slip count.
struct ValueBin {
  double low = 0.0;
  double high = 0.0;
  bool used = false;
};
/// The system letter of a raw system name; a name outside the table stands for itself.
std::string raw_letter(std::string_view name) {
  const rinex::SatelliteSystem* system = rinex::system_by_raw_name(name);
  return system ? std::string(1, system->letter) : std::string(name);
}

}  // namespace

std::string raw_system_name(char letter) {
  const rinex::SatelliteSystem* system = rinex::satellite_system(letter);
  return system ? std::string(system->raw_name) : std::string(1, letter);
}

std::uint64_t default_expected_satellites(std::string_view constellation) {
  // By raw name: NavIC's raw name IRNSS is in the table, its sample name Unknown is not.
  const rinex::SatelliteSystem* system = rinex::system_by_raw_name(constellation);
  return system ? system->expected_satellites : rinex::kDefaultExpectedSatellites;
}

namespace {

result::SatelliteStats satellite_stats(const SampleSet& set, std::uint32_t satellite, const Cn0Figures& figures,
                                       double elevation_sum) {
  result::SatelliteStats stats;
  stats.satellite = set.satellites[satellite].id;
  stats.system = std::string(set.constellations[set.satellites[satellite].constellation]);
  stats.observation_count = figures.count;
  stats.mean_cn0 = figures.mean;
  stats.min_cn0 = figures.min;
  stats.max_cn0 = figures.max;
  stats.std_cn0 = figures.std_dev;
  stats.mean_elevation = elevation_sum / static_cast<double>(figures.count);
  return stats;
}

/// Raw system names first, then the sample constellations not yet named.
std::vector<std::string> constellation_names(const rinex::OrderedMap<std::vector<std::string>>& raw,
                                             const SampleSet& set) {
  std::vector<std::string> names;
  auto add = [&](std::string name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
  };
  for (const auto& [letter, satellites] : raw) add(raw_system_name(letter.front()));
  for (std::string_view name : set.constellations) add(std::string(name));
  return names;
}

std::uint64_t expected_satellites(const result::AnalysisResult& result, std::string_view name) {
  if (result.visibility) {
    if (const result::SystemVisibility* seen = result.visibility->by_system.find(name)) {
      std::uint64_t expected = std::max(seen->predicted_satellites, seen->observed_satellites);
      if (expected > 0) return expected;
    }
  }
  return default_expected_satellites(name);
}

/// Jumps of more than 10 dB-Hz between neighbours of the sorted values, by sorting them.
std::uint64_t slips_by_sorting(std::vector<double>& values) {
  std::sort(values.begin(), values.end());
  std::uint64_t slips = 0;
  for (std::size_t k = 1; k < values.size(); ++k) slips += std::abs(values[k] - values[k - 1]) > kCycleSlipJumpDbHz;
  return slips;
}

/// Where each satellite's bins of the cycle-slip count lie; satellites whose values are too few,
/// infinite or spread too widely are counted by sorting instead.
struct SlipBins {
  std::vector<std::size_t> first;   // per satellite: its first bin, kNoBins when not binned
  std::vector<double> low;          // per satellite: its smallest value
  std::vector<ValueBin> bins;
  static constexpr std::size_t kNoBins = std::numeric_limits<std::size_t>::max();
};

/// Jumps of more than 10 dB-Hz between neighbours of each satellite's sorted values. Without
/// sorting: the values fall into bins 5 dB-Hz wide, two values of one bin are never a jump apart,
/// so only the largest value of a bin and the smallest of the next occupied bin can be neighbours
/// that jump, and their difference is the one the sorted sequence would show. Infinite values or
/// a range far wider than the number of values fall back to sorting.
std::vector<std::uint64_t> cycle_slips_by_satellite(const SampleSet& set, const std::vector<Cn0Figures>& figures) {
  const std::size_t satellites = set.satellites.size();
  std::vector<std::uint64_t> valid(satellites, 0);
  for (std::size_t i = 0; i < set.size(); ++i) valid[set.satellite(i)] += !std::isnan(set.cn0(i));
  SlipBins slip;
  slip.first.assign(satellites, SlipBins::kNoBins);
  slip.low.assign(satellites, 0.0);
  std::vector<char> sorted_path(satellites, 0);
  std::size_t bin_count = 0;
  for (std::size_t s = 0; s < satellites; ++s) {
    if (valid[s] < 2) continue;
    const double span = (figures[s].max - figures[s].min) / kSlipBinDbHz;
    if (!std::isfinite(span) || span > 4.0 * static_cast<double>(valid[s]) + 64.0) {
      sorted_path[s] = 1;
      continue;
    }
    slip.first[s] = bin_count;
    slip.low[s] = figures[s].min;
    bin_count += static_cast<std::size_t>(span) + 1;
  }
  slip.bins.assign(bin_count, ValueBin{});
  std::vector<std::vector<double>> sorted_values(satellites);
  for (std::size_t i = 0; i < set.size(); ++i) {
    const double value = set.cn0(i);
    const std::uint32_t s = set.satellite(i);
    if (std::isnan(value)) continue;
    if (sorted_path[s]) {
      sorted_values[s].push_back(value);
    } else if (slip.first[s] != SlipBins::kNoBins) {
      ValueBin& bin = slip.bins[slip.first[s] + static_cast<std::size_t>((value - slip.low[s]) / kSlipBinDbHz)];
      if (!bin.used || value < bin.low) bin.low = value;
      if (!bin.used || value > bin.high) bin.high = value;
      bin.used = true;
    }
  }
  std::vector<std::uint64_t> slips(satellites, 0);
  for (std::size_t s = 0; s < satellites; ++s) {
    if (sorted_path[s]) {
      slips[s] = slips_by_sorting(sorted_values[s]);
      continue;
    }
    if (slip.first[s] == SlipBins::kNoBins) continue;
    const ValueBin* previous = nullptr;
    const double span = (figures[s].max - figures[s].min) / kSlipBinDbHz;
    const std::size_t count = static_cast<std::size_t>(span) + 1;
    for (std::size_t b = slip.first[s]; b < slip.first[s] + count; ++b) {
      const ValueBin& bin = slip.bins[b];
      if (!bin.used) continue;
      if (previous != nullptr) slips[s] += std::abs(bin.low - previous->high) > kCycleSlipJumpDbHz;
      previous = &bin;
    }
  }
  return slips;
}

/// Missing places between consecutive samples of each satellite on its constellation's timeline
/// (the constellation's own distinct timestamps, ascending), counted across breaks of at most
/// 600 s only: a longer break is the satellite leaving the sky and coming back.
std::vector<std::uint64_t> data_gaps_by_satellite(const SampleSet& set) {
  const std::size_t constellations = set.constellations.size();
  const std::size_t times = set.timestamps.size();
  // Per constellation: the place of each time index on its timeline, and the time of each place.
  std::vector<std::vector<std::uint32_t>> place(constellations, std::vector<std::uint32_t>(times, kNone));
  std::vector<std::vector<std::uint32_t>> timeline(constellations);
  for (const Sighting& sighting : set.sightings) place[set.satellites[sighting.satellite].constellation][sighting.time] = 0;
  for (std::size_t c = 0; c < constellations; ++c) {
    for (std::uint32_t t : set.sorted_times) {
      if (place[c][t] == kNone) continue;
      place[c][t] = static_cast<std::uint32_t>(timeline[c].size());
      timeline[c].push_back(t);
    }
  }
  // Each satellite's places in sighting order, then ascending and once each.
  std::vector<std::vector<std::uint32_t>> places(set.satellites.size());
  for (const Sighting& sighting : set.sightings) {
    places[sighting.satellite].push_back(place[set.satellites[sighting.satellite].constellation][sighting.time]);
  }
  std::vector<std::uint64_t> gaps(set.satellites.size(), 0);
  for (std::size_t s = 0; s < places.size(); ++s) {
    std::vector<std::uint32_t>& own = places[s];
    // Epochs in file order are almost always in time order already.
    if (!std::is_sorted(own.begin(), own.end())) std::sort(own.begin(), own.end());
    const std::vector<std::uint32_t>& line = timeline[set.satellites[s].constellation];
    for (std::size_t k = 1; k < own.size(); ++k) {
      const std::uint32_t before = own[k - 1];
      const std::uint32_t after = own[k];
      if (after - before < 2) continue;
      const rinex::EpochTime& from = set.times[line[before]];
      const rinex::EpochTime& to = set.times[line[after]];
      if (rinex::exact_seconds_between(to, from) <= kLongestGapSeconds) gaps[s] += after - before - 1;
    }
  }
  return gaps;
}

}  // namespace

ObservationFigures observation_figures(const rinex::RinexObsData& observations) {
  return {observations.epochs.size(), rinex::unique_satellite_count(observations),
          rinex::satellites_by_system(observations)};
}

void fill_summary_and_satellite_stats(result::AnalysisResult& result, const SampleSet& set,
                                      const SampleGroups& groups, const ObservationFigures& observations) {
  (void)groups;
  result::ResultSummary& summary = result.summary;
  summary.total_observations = set.size();
  summary.total_epochs = observations.total_epochs;
  summary.total_satellites = observations.total_satellites;
  summary.systems_observed.clear();
  for (const auto& [letter, satellites] : observations.satellites_by_system) {
    std::string name = raw_system_name(letter.front());
    auto& observed = summary.systems_observed;
    if (std::find(observed.begin(), observed.end(), name) == observed.end()) observed.push_back(std::move(name));
  }
  const Cn0Figures all = cn0_figures_by(set, 1, [](std::size_t) { return 0; }).front();
  summary.mean_cn0 = all.mean;
  summary.min_cn0 = all.min;
  summary.max_cn0 = all.max;

  const std::vector<Cn0Figures> figures =
      cn0_figures_by(set, set.satellites.size(), [&](std::size_t i) { return set.satellite(i); });
  std::vector<double> elevations(set.satellites.size(), 0.0);
  for (std::size_t i = 0; i < set.size(); ++i) elevations[set.satellite(i)] += set.elevation(i);
  result::Map<result::SatelliteStats> by_satellite;
  for (std::uint32_t s = 0; s < set.satellites.size(); ++s) {
    if (figures[s].count > 0) {
      by_satellite.insert_or_assign(set.satellites[s].id, satellite_stats(set, s, figures[s], elevations[s]));
    }
  }
  result.satellite_stats = std::move(by_satellite);
}

void fill_constellation_stats(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups,
                              const ObservationFigures& observations) {
  (void)groups;
  const rinex::OrderedMap<std::vector<std::string>>& raw = observations.satellites_by_system;
  const std::vector<Cn0Figures> by_constellation_figures =
      cn0_figures_by(set, set.constellations.size(), [&](std::size_t i) { return set.constellation(i); });
  const std::vector<Cn0Figures> satellite_figures =
      cn0_figures_by(set, set.satellites.size(), [&](std::size_t i) { return set.satellite(i); });
  const std::vector<std::uint64_t> slips = cycle_slips_by_satellite(set, satellite_figures);
  const std::vector<std::uint64_t> gaps = data_gaps_by_satellite(set);
  result::Map<result::ConstellationStats> by_constellation;
  for (std::string& name : constellation_names(raw, set)) {
    const std::vector<std::string>* raw_satellites = raw.find(raw_letter(name));
    std::uint64_t raw_count = raw_satellites ? raw_satellites->size() : 0;
    auto known = std::find(set.constellations.begin(), set.constellations.end(), name);
    auto constellation = static_cast<std::uint32_t>(known - set.constellations.begin());
    bool has_samples = known != set.constellations.end() && by_constellation_figures[constellation].count > 0;
    if (raw_count == 0 && !has_samples) continue;

    result::ConstellationStats stats;
    stats.satellite_count = raw_count;
    if (has_samples) {
      const Cn0Figures& figures = by_constellation_figures[constellation];
      stats.observation_count = figures.count;
      stats.mean_cn0 = figures.mean;
      stats.min_cn0 = figures.min;
      stats.max_cn0 = figures.max;
      stats.std_cn0 = figures.std_dev;
      std::uint64_t distinct = 0;
      for (std::uint32_t s = 0; s < set.satellites.size(); ++s) {
        if (set.satellites[s].constellation != constellation) continue;
        ++distinct;
        stats.cycle_slips += slips[s];
        stats.data_gaps += gaps[s];
      }
      stats.satellite_count = std::max(stats.satellite_count, distinct);
    }
    stats.satellites_expected = expected_satellites(result, name);
    stats.availability_ratio =
        static_cast<double>(stats.satellite_count) / static_cast<double>(stats.satellites_expected);
    stats.system = name;
    by_constellation.insert_or_assign(name, std::move(stats));
  }
  result.constellation_stats = std::move(by_constellation);
}

}  // namespace qcn::cn0
