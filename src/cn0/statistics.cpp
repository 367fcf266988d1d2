// Whole-file summary figures, per-satellite and per-constellation C/N0 statistics.
#include "cn0/statistics.hpp"

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
constexpr std::uint64_t kDefaultExpected = 10;  // for a name outside the table

struct RawSystem {
  std::string_view letter;
  std::string_view name;
  std::uint64_t expected_satellites;
};

constexpr RawSystem kRawSystems[] = {
    {"C", "BeiDou", 15}, {"E", "Galileo", 10}, {"G", "GPS", 12},    {"I", "IRNSS", 7},
    {"J", "QZSS", 4},    {"R", "GLONASS", 9},  {"S", "SBAS", 3},
};

/// The system letter of a raw system name; a name outside the table stands for itself.
std::string_view raw_letter(std::string_view name) {
  for (const RawSystem& system : kRawSystems) {
    if (system.name == name) return system.letter;
  }
  return name;
}

}  // namespace

std::string raw_system_name(char letter) {
  for (const RawSystem& system : kRawSystems) {
    if (system.letter.front() == letter) return std::string(system.name);
  }
  return std::string(1, letter);
}

std::uint64_t default_expected_satellites(std::string_view constellation) {
  for (const RawSystem& system : kRawSystems) {
    if (system.name == constellation) return system.expected_satellites;
  }
  return kDefaultExpected;
}

namespace {

/// The indices 0 .. count-1 as a range (clang cannot use libstdc++ 12's iota_view).
struct IndexRange {
  struct Iterator {
    std::size_t value;
    std::size_t operator*() const { return value; }
    Iterator& operator++() {
      ++value;
      return *this;
    }
    bool operator==(const Iterator&) const = default;
  };
  std::size_t count;
  Iterator begin() const { return {0}; }
  Iterator end() const { return {count}; }
  bool empty() const { return count == 0; }
  std::size_t size() const { return count; }
};

struct Cn0Figures {
  double mean = 0.0;
  double min = 0.0;
  double max = 0.0;
  double std_dev = 0.0;
};

/// Smallest and largest value; NaN values are skipped, and NaN stays when there is no other.
void widen(double value, double& min, double& max) {
  if (std::isnan(value)) return;
  if (std::isnan(min) || value < min) min = value;
  if (std::isnan(max) || value > max) max = value;
}

/// Mean, extremes and population standard deviation of the samples' C/N0, summed in sample
/// order; all 0 when there are none.
template <typename Indices>
Cn0Figures cn0_figures(const SampleSet& set, const Indices& members) {
  Cn0Figures figures;
  if (members.empty()) return figures;
  const auto n = static_cast<double>(members.size());
  double sum = 0.0;
  figures.min = figures.max = std::numeric_limits<double>::quiet_NaN();
  for (auto i : members) {
    sum += set.cn0(i);
    widen(set.cn0(i), figures.min, figures.max);
  }
  figures.mean = sum / n;
  double squares = 0.0;
  for (auto i : members) {
    double d = set.cn0(i) - figures.mean;
    squares += d * d;
  }
  figures.std_dev = std::sqrt(squares / n);
  return figures;
}

result::SatelliteStats satellite_stats(const SampleSet& set, std::uint32_t satellite, Members members) {
  result::SatelliteStats stats;
  stats.satellite = set.satellites[satellite].id;
  stats.system = std::string(set.constellations[set.satellites[satellite].constellation]);
  stats.observation_count = members.size();
  Cn0Figures figures = cn0_figures(set, members);
  stats.mean_cn0 = figures.mean;
  stats.min_cn0 = figures.min;
  stats.max_cn0 = figures.max;
  stats.std_cn0 = figures.std_dev;
  double elevations = 0.0;
  for (std::uint32_t i : members) elevations += set.elevation(i);
  stats.mean_elevation = elevations / static_cast<double>(members.size());
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

/// Scratch space of the per-satellite counts, allocated once per analysis.
struct SatelliteScratch {
  std::vector<double> values;
  std::vector<ValueBin> bins;
  std::vector<std::uint32_t> place;     // per time index: place on the constellation's timeline
  std::vector<std::uint32_t> timeline;  // per place: its time index
  std::vector<std::uint32_t> places;    // one satellite's places
  std::vector<std::uint32_t> seen_by;
};

/// Jumps of more than 10 dB-Hz between neighbours of the satellite's sorted values. Without
/// sorting: the values fall into bins 5 dB-Hz wide, two values of one bin are never a jump apart,
/// so only the largest value of a bin and the smallest of the next occupied bin can be neighbours
/// that jump, and their difference is the one the sorted sequence would show. Infinite values or
/// a range far wider than the number of values fall back to sorting.
std::uint64_t cycle_slips_of(const SampleSet& set, Members members, SatelliteScratch& scratch) {
  std::vector<double>& values = scratch.values;
  values.clear();
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (std::uint32_t i : members) {
    double value = set.cn0(i);
    if (std::isnan(value)) continue;
    values.push_back(value);
    low = std::min(low, value);
    high = std::max(high, value);
  }
  if (values.size() < 2) return 0;
  const double span = (high - low) / kSlipBinDbHz;
  if (!std::isfinite(span) || span > 4.0 * static_cast<double>(values.size()) + 64.0) return slips_by_sorting(values);
  std::vector<ValueBin>& bins = scratch.bins;
  bins.assign(static_cast<std::size_t>(span) + 1, ValueBin{});
  for (double value : values) {
    ValueBin& bin = bins[static_cast<std::size_t>((value - low) / kSlipBinDbHz)];
    if (!bin.used || value < bin.low) bin.low = value;
    if (!bin.used || value > bin.high) bin.high = value;
    bin.used = true;
  }
  std::uint64_t slips = 0;
  const ValueBin* previous = nullptr;
  for (const ValueBin& bin : bins) {
    if (!bin.used) continue;
    if (previous != nullptr) slips += std::abs(bin.low - previous->high) > kCycleSlipJumpDbHz;
    previous = &bin;
  }
  return slips;
}

/// Per time index, its place among the constellation's own timestamps in ascending order, or
/// kNone where the constellation has no sample; and per place, its time index.
void timeline_of(const SampleSet& set, Members members, SatelliteScratch& scratch) {
  std::vector<std::uint32_t>& place = scratch.place;
  place.assign(set.timestamps.size(), kNone);
  for (std::uint32_t i : members) place[set.time(i)] = 0;
  scratch.timeline.clear();
  for (std::uint32_t t : set.sorted_times) {
    if (place[t] == kNone) continue;
    place[t] = static_cast<std::uint32_t>(scratch.timeline.size());
    scratch.timeline.push_back(t);
  }
}

/// Missing places between consecutive samples of the satellite on the constellation's timeline,
/// counted across breaks of at most 600 s only. seen_by holds, per time index, the last
/// satellite counted there.
std::uint64_t data_gaps_of(const SampleSet& set, std::uint32_t satellite, Members members,
                           SatelliteScratch& scratch) {
  std::vector<std::uint32_t>& places = scratch.places;
  places.clear();
  for (std::uint32_t i : members) {
    std::uint32_t t = set.time(i);
    if (scratch.seen_by[t] == satellite) continue;
    scratch.seen_by[t] = satellite;
    places.push_back(scratch.place[t]);
  }
  // Epochs in file order are almost always in time order already.
  if (!std::is_sorted(places.begin(), places.end())) std::sort(places.begin(), places.end());
  std::uint64_t gaps = 0;
  for (std::size_t k = 1; k < places.size(); ++k) {
    const std::uint32_t before = places[k - 1];
    const std::uint32_t after = places[k];
    if (after - before < 2) continue;
    const rinex::EpochTime& from = set.times[scratch.timeline[before]];
    const rinex::EpochTime& to = set.times[scratch.timeline[after]];
    if (rinex::exact_seconds_between(to, from) <= kLongestGapSeconds) gaps += after - before - 1;
  }
  return gaps;
}

void add_sample_figures(result::ConstellationStats& stats, const SampleSet& set, const SampleGroups& groups,
                        std::uint32_t constellation, SatelliteScratch& scratch) {
  Members members = groups.by_constellation.group(constellation);
  stats.observation_count = members.size();
  Cn0Figures figures = cn0_figures(set, members);
  stats.mean_cn0 = figures.mean;
  stats.min_cn0 = figures.min;
  stats.max_cn0 = figures.max;
  stats.std_cn0 = figures.std_dev;
  timeline_of(set, members, scratch);
  std::uint64_t distinct = 0;
  for (std::uint32_t s = 0; s < set.satellites.size(); ++s) {
    if (set.satellites[s].constellation != constellation) continue;
    ++distinct;
    Members own = groups.by_satellite.group(s);
    stats.cycle_slips += cycle_slips_of(set, own, scratch);
    stats.data_gaps += data_gaps_of(set, s, own, scratch);
  }
  stats.satellite_count = std::max(stats.satellite_count, distinct);
}

}  // namespace

void fill_summary_and_satellite_stats(result::AnalysisResult& result, const SampleSet& set,
                                      const SampleGroups& groups, const rinex::RinexObsData& observations) {
  result::ResultSummary& summary = result.summary;
  summary.total_observations = set.size();
  summary.total_epochs = observations.epochs.size();
  summary.total_satellites = rinex::unique_satellite_count(observations);
  summary.systems_observed.clear();
  for (const auto& [letter, satellites] : rinex::satellites_by_system(observations)) {
    std::string name = raw_system_name(letter.front());
    auto& observed = summary.systems_observed;
    if (std::find(observed.begin(), observed.end(), name) == observed.end()) observed.push_back(std::move(name));
  }
  Cn0Figures figures = cn0_figures(set, IndexRange{set.size()});
  summary.mean_cn0 = figures.mean;
  summary.min_cn0 = figures.min;
  summary.max_cn0 = figures.max;

  result::Map<result::SatelliteStats> by_satellite;
  for (std::uint32_t s = 0; s < set.satellites.size(); ++s) {
    Members members = groups.by_satellite.group(s);
    if (!members.empty()) by_satellite.insert_or_assign(set.satellites[s].id, satellite_stats(set, s, members));
  }
  result.satellite_stats = std::move(by_satellite);
}

void fill_constellation_stats(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups,
                              const rinex::RinexObsData& observations) {
  rinex::OrderedMap<std::vector<std::string>> raw = rinex::satellites_by_system(observations);
  SatelliteScratch scratch;
  scratch.seen_by.assign(set.timestamps.size(), kNone);
  result::Map<result::ConstellationStats> by_constellation;
  for (std::string& name : constellation_names(raw, set)) {
    const std::vector<std::string>* raw_satellites = raw.find(raw_letter(name));
    std::uint64_t raw_count = raw_satellites ? raw_satellites->size() : 0;
    auto known = std::find(set.constellations.begin(), set.constellations.end(), name);
    auto constellation = static_cast<std::uint32_t>(known - set.constellations.begin());
    bool has_samples = known != set.constellations.end() && !groups.by_constellation.group(constellation).empty();
    if (raw_count == 0 && !has_samples) continue;

    result::ConstellationStats stats;
    stats.satellite_count = raw_count;
    if (has_samples) add_sample_figures(stats, set, groups, constellation, scratch);
    stats.satellites_expected = expected_satellites(result, name);
    stats.availability_ratio =
        static_cast<double>(stats.satellite_count) / static_cast<double>(stats.satellites_expected);
    stats.system = name;
    by_constellation.insert_or_assign(name, std::move(stats));
  }
  result.constellation_stats = std::move(by_constellation);
}

}  // namespace qcn::cn0
