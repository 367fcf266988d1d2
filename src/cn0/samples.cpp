#include "cn0/samples.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace qcn::cn0 {

std::string_view sample_system_name(char letter) { return rinex::constellation_name(letter); }

namespace {

constexpr std::uint32_t kNoIndex = std::numeric_limits<std::uint32_t>::max();

}  // namespace

TimeGroups::TimeGroups(const SampleSet& set)
    : begin_(set.timestamps.size(), kNoIndex), end_(set.timestamps.size(), 0) {
  // Runs of one time index in sample order; a second run of an index means it recurs apart.
  bool recurs = false;
  const auto n = static_cast<std::uint32_t>(set.size());
  for (std::uint32_t i = 0; i < n;) {
    const std::uint32_t t = set.time(i);
    std::uint32_t j = i + 1;
    while (j < n && set.time(j) == t) ++j;
    if (begin_[t] != kNoIndex) recurs = true;
    begin_[t] = i;
    end_[t] = j;
    i = j;
  }
  if (!recurs) return;
  // A counting sort of the sample indices by time index: linear, and stable within each group.
  std::fill(begin_.begin(), begin_.end(), 0);
  std::fill(end_.begin(), end_.end(), 0);
  for (std::uint32_t i = 0; i < n; ++i) ++end_[set.time(i)];
  std::uint32_t at = 0;
  for (std::size_t t = 0; t < begin_.size(); ++t) {
    begin_[t] = at;
    at += end_[t];
    end_[t] = begin_[t];
  }
  gathered_.resize(n);
  for (std::uint32_t i = 0; i < n; ++i) gathered_[end_[set.time(i)]++] = i;
}

SampleGroups group_samples(const SampleSet& set) { return SampleGroups{TimeGroups(set)}; }

void SampleSetBuilder::reserve(std::size_t samples, std::size_t sightings, std::size_t times) {
  set_.samples.reserve(samples);
  set_.sightings.reserve(sightings);
  set_.timestamps.reserve(times);
  set_.times.reserve(times);
  time_index_.reserve(times);
}

void SampleSetBuilder::begin_epoch(const rinex::EpochTime& time) {
  pending_timestamp_.clear();
  rinex::append_timestamp_text(pending_timestamp_, time);
  pending_time_ = time;
  time_open_ = false;
  sighting_open_ = false;
}

void SampleSetBuilder::begin_epoch(std::string timestamp) {
  pending_time_ = rinex::epoch_from_timestamp(timestamp).value_or(rinex::EpochTime{});
  pending_timestamp_ = std::move(timestamp);
  time_open_ = false;
  sighting_open_ = false;
}

void SampleSetBuilder::begin_satellite(std::uint32_t number, const rinex::SatelliteId& id, double elevation,
                                       double azimuth, bool has_look_angles) {
  pending_number_ = number;
  pending_id_ = id;
  pending_elevation_ = elevation;
  pending_azimuth_ = azimuth;
  pending_has_angles_ = has_look_angles;
  sighting_open_ = false;
}

void SampleSetBuilder::begin_satellite(std::string_view satellite, double elevation, double azimuth,
                                       bool has_look_angles) {
  const rinex::SatelliteId id = rinex::SatelliteId::from(satellite);
  auto [it, added] = numbers_.try_emplace(id.key(), static_cast<std::uint32_t>(numbers_.size()));
  begin_satellite(it->second, id, elevation, azimuth, has_look_angles);
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
    if (pending_number_ >= satellite_index_.size()) satellite_index_.resize(pending_number_ + 1, kNoIndex);
    std::uint32_t& index = satellite_index_[pending_number_];
    if (index == kNoIndex) {
      index = static_cast<std::uint32_t>(set_.satellites.size());
      std::string_view name = sample_system_name(pending_id_.system());
      auto known = std::find(set_.constellations.begin(), set_.constellations.end(), name);
      auto constellation = static_cast<std::uint32_t>(known - set_.constellations.begin());
      if (known == set_.constellations.end()) set_.constellations.push_back(name);
      set_.satellites.push_back({std::string(pending_id_.view()), constellation, pending_number_});
    }
    set_.sightings.push_back({pending_elevation_, pending_azimuth_, time_, index, pending_has_angles_ ? 1u : 0u});
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
