#include "cn0/samples.hpp"

#include <algorithm>
#include <utility>

namespace qcn::cn0 {

std::string_view sample_system_name(char letter) { return rinex::constellation_name(letter); }

namespace {

/// Counting sort of the sample indices by key: linear, and stable within each group.
template <typename KeyOf>
Grouping group_by(std::size_t sample_count, std::size_t group_count, KeyOf key_of) {
  Grouping grouping;
  grouping.offsets.assign(group_count + 1, 0);
  for (std::size_t i = 0; i < sample_count; ++i) ++grouping.offsets[key_of(i) + 1];
  for (std::size_t g = 0; g < group_count; ++g) grouping.offsets[g + 1] += grouping.offsets[g];
  grouping.members.resize(sample_count);
  std::vector<std::uint32_t> next(grouping.offsets.begin(), grouping.offsets.end() - 1);
  for (std::size_t i = 0; i < sample_count; ++i) {
    grouping.members[next[key_of(i)]++] = static_cast<std::uint32_t>(i);
  }
  return grouping;
}

}  // namespace

SampleGroups group_samples(const SampleSet& set) {
  SampleGroups groups;
  groups.by_satellite = group_by(set.size(), set.satellites.size(), [&](std::size_t i) { return set.satellite(i); });
  groups.by_time = group_by(set.size(), set.timestamps.size(), [&](std::size_t i) { return set.time(i); });
  groups.by_constellation =
      group_by(set.size(), set.constellations.size(), [&](std::size_t i) { return set.constellation(i); });
  return groups;
}

void SampleSetBuilder::begin_epoch(const rinex::EpochTime& time) {
  pending_timestamp_.clear();
  rinex::append_timestamp_text(pending_timestamp_, time);
  pending_time_ = time;
  time_open_ = false;
  sighting_open_ = false;
  pending_satellite_ = {};
}

void SampleSetBuilder::begin_epoch(std::string timestamp) {
  pending_time_ = rinex::epoch_from_timestamp(timestamp).value_or(rinex::EpochTime{});
  pending_timestamp_ = std::move(timestamp);
  time_open_ = false;
  sighting_open_ = false;
  pending_satellite_ = {};
}

void SampleSetBuilder::begin_satellite(std::string_view satellite, double elevation, double azimuth) {
  pending_satellite_ = satellite;
  pending_elevation_ = elevation;
  pending_azimuth_ = azimuth;
  sighting_open_ = false;
}

void SampleSetBuilder::add(std::uint32_t signal, double cn0) {
  if (!time_open_) {
    // Only timestamps that carry samples become time points.
    auto [it, added] = time_index_.try_emplace(pending_timestamp_, static_cast<std::uint32_t>(set_.timestamps.size()));
    if (added) {
      set_.timestamps.push_back(it->first);
      set_.times.push_back(pending_time_);
    }
    time_ = it->second;
    time_open_ = true;
  }
  if (!sighting_open_) {
    // The satellite is numbered and its sighting made only once it yields a sample.
    rinex::SatelliteId id = rinex::SatelliteId::from(pending_satellite_);
    auto [it, added] = satellite_index_.try_emplace(id.key(), static_cast<std::uint32_t>(set_.satellites.size()));
    if (added) {
      std::string_view name = sample_system_name(id.system());
      auto known = std::find(set_.constellations.begin(), set_.constellations.end(), name);
      auto constellation = static_cast<std::uint32_t>(known - set_.constellations.begin());
      if (known == set_.constellations.end()) set_.constellations.push_back(name);
      set_.satellites.push_back({std::string(id.view()), constellation});
    }
    set_.sightings.push_back({pending_elevation_, pending_azimuth_, time_, it->second});
    sighting_open_ = true;
  }
  set_.samples.push_back({cn0, static_cast<std::uint32_t>(set_.sightings.size() - 1), signal});
}

void SampleSetBuilder::add(std::string_view signal, double cn0) {
  auto [it, added] = signal_index_.try_emplace(std::string(signal), static_cast<std::uint32_t>(signal_index_.size()));
  if (added) signal_texts_.push_back(it->first);
  add(it->second, cn0);
}

SampleSet SampleSetBuilder::finish(std::vector<std::string> signals) {
  set_.signals = signal_texts_.empty() ? std::move(signals) : std::move(signal_texts_);
  set_.sorted_times.resize(set_.timestamps.size());
  for (std::uint32_t t = 0; t < set_.sorted_times.size(); ++t) set_.sorted_times[t] = t;
  std::sort(set_.sorted_times.begin(), set_.sorted_times.end(),
            [&](std::uint32_t a, std::uint32_t b) { return set_.timestamps[a] < set_.timestamps[b]; });
  return std::move(set_);
}

}  // namespace qcn::cn0
