// The signals of the samples: one series per satellite and observation code, never pooled, each
// in its frequency band and in the group of its system and code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cn0/frequency_bands.hpp"
#include "cn0/samples.hpp"

namespace qcn::cn0 {

inline constexpr std::uint32_t kNoSeries = static_cast<std::uint32_t>(-1);

struct SignalSeries {
  std::uint32_t satellite = 0;  // SampleSet satellite index
  std::uint32_t signal = 0;     // SampleSet signal index
  std::uint32_t group = 0;      // index of the (system, code) group
  Band band = Band::l1;
  std::uint64_t samples = 0;
  std::uint64_t located = 0;  // samples with look angles from the navigation data
};

/// The series of a sample set, numbered in order of first appearance.
struct SeriesTable {
  std::vector<SignalSeries> series;
  std::vector<std::uint32_t> by_pair;  // satellite * signal_count + signal -> series, or kNoSeries
  std::uint32_t signal_count = 0;
  std::uint32_t group_count = 0;

  /// The series of each signal of a satellite, indexed by signal (kNoSeries where none).
  const std::uint32_t* row(std::uint32_t satellite) const { return by_pair.data() + std::size_t{satellite} * signal_count; }
  std::uint32_t* row(std::uint32_t satellite) { return by_pair.data() + std::size_t{satellite} * signal_count; }
  /// The series of sample i, or kNoSeries for a code without a known band.
  std::uint32_t of(const SampleSet& set, std::size_t i) const { return row(set.satellite(i))[set.samples[i].signal]; }
  std::size_t size() const { return series.size(); }
};

/// Numbers the series in one pass over the samples.
SeriesTable number_series(const SampleSet& set);

/// Whether a sighting has look angles from navigation data: the extraction gives those without
/// exactly 45 degrees elevation and 0 azimuth.
inline bool has_look_angles(const Sighting& sighting) {
  return !(sighting.elevation == 45.0 && sighting.azimuth == 0.0);
}

}  // namespace qcn::cn0
