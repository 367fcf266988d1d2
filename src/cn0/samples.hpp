// The accepted C/N0 values of one analysis and their groupings. Every analysis step works on
// indices into one list of samples, so no step copies them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rinex/epoch_time.hpp"
#include "rinex/satellite_id.hpp"

namespace qcn::cn0 {

/// Constellation name of a sample from its satellite's system letter; I (NavIC) and any other
/// letter give "Unknown".
std::string_view sample_system_name(char letter);

/// One satellite at one epoch, as far as it produced samples: where it was seen and when.
struct Sighting {
  double elevation = 45.0;   // degrees; 45 when no look angle was computed
  double azimuth = 0.0;      // degrees in [0, 360); 0 when none was computed
  std::uint32_t time = 0;    // index into SampleSet::timestamps
  std::uint32_t satellite : 31 = 0;  // index into SampleSet::satellites
  std::uint32_t has_look_angles : 1 = 0;  // elevation and azimuth were computed, not defaults
};

/// One accepted C/N0 value.
struct Cn0Sample {
  double cn0 = 0.0;              // dB-Hz
  std::uint32_t sighting = 0;    // index into SampleSet::sightings
  std::uint32_t signal = 0;      // index into SampleSet::signals
};

struct SampleSatellite {
  std::string id;                  // as stored in the observations, such as G05
  std::uint32_t constellation = 0;  // index into SampleSet::constellations
  std::uint32_t number = 0;        // the satellite's number in the observation record
};

/// Samples in extraction order (epochs in file order, satellites and codes in file order).
/// Satellites, constellations and timestamps are numbered in order of first appearance among
/// the samples, which is the order a map filled from the samples iterates in.
struct SampleSet {
  std::vector<Cn0Sample> samples;
  std::vector<Sighting> sightings;
  std::vector<SampleSatellite> satellites;
  std::vector<std::string_view> constellations;  // sample constellation names (static texts)
  std::vector<std::string> timestamps;           // distinct timestamp texts
  std::vector<rinex::EpochTime> times;           // the epoch of each timestamp text
  std::vector<std::uint32_t> sorted_times;       // timestamp indices, texts ascending byte-wise
  std::vector<std::string> signals;              // observation code texts

  std::size_t size() const { return samples.size(); }
  bool empty() const { return samples.empty(); }

  const Sighting& sighting_of(std::size_t i) const { return sightings[samples[i].sighting]; }
  double cn0(std::size_t i) const { return samples[i].cn0; }
  double elevation(std::size_t i) const { return sighting_of(i).elevation; }
  double azimuth(std::size_t i) const { return sighting_of(i).azimuth; }
  std::uint32_t time(std::size_t i) const { return sighting_of(i).time; }
  std::uint32_t satellite(std::size_t i) const { return sighting_of(i).satellite; }
  bool has_look_angles(std::size_t i) const { return sighting_of(i).has_look_angles != 0; }
  std::uint32_t constellation(std::size_t i) const { return satellites[satellite(i)].constellation; }

  const std::string& timestamp_text(std::size_t i) const { return timestamps[time(i)]; }
  const std::string& satellite_id(std::size_t i) const { return satellites[satellite(i)].id; }
  std::string_view constellation_name(std::size_t i) const { return constellations[constellation(i)]; }
  const std::string& signal_text(std::size_t i) const { return signals[samples[i].signal]; }
};

/// Calls visit(sighting, begin, end) for each run [begin, end) of samples of one sighting, in
/// sample order: the samples of a sighting follow one another, so what they share is read once.
template <typename Visit>
void for_each_sighting_run(const SampleSet& set, Visit&& visit) {
  const std::size_t n = set.size();
  for (std::size_t begin = 0; begin < n;) {
    const std::uint32_t sighting = set.samples[begin].sighting;
    std::size_t end = begin + 1;
    while (end < n && set.samples[end].sighting == sighting) ++end;
    visit(set.sightings[sighting], begin, end);
    begin = end;
  }
}

/// The samples of each time index, in sample order. Files list each epoch once, so the samples of
/// a time index are one run of the list; a time index that recurs apart (two epochs written with
/// one timestamp) has its samples gathered instead.
class TimeGroups {
 public:
  explicit TimeGroups(const SampleSet& set);

  /// Calls visit(i) for every sample i of time index t, in sample order.
  template <typename Visit>
  void for_each(std::uint32_t t, Visit&& visit) const {
    if (gathered_.empty()) {
      for (std::uint32_t i = begin_[t]; i < end_[t]; ++i) visit(i);
      return;
    }
    for (std::uint32_t k = begin_[t]; k < end_[t]; ++k) visit(gathered_[k]);
  }

  /// Number of samples of time index t.
  std::uint32_t count(std::uint32_t t) const { return end_[t] - begin_[t]; }

 private:
  std::vector<std::uint32_t> begin_;     // per time index: first sample, or first place in gathered_
  std::vector<std::uint32_t> end_;
  std::vector<std::uint32_t> gathered_;  // sample indices by time index, when runs recur
};

/// What every step shares, built once per analysis.
struct SampleGroups {
  TimeGroups by_time;
};

SampleGroups group_samples(const SampleSet& set);

/// Fills a SampleSet one epoch and one satellite at a time, numbering what it meets first.
class SampleSetBuilder {
 public:
  /// Room for at most this many samples, sightings and time points, so the arrays are not
  /// copied as they grow.
  void reserve(std::size_t samples, std::size_t sightings, std::size_t times);
  /// Starts an epoch; epochs with equal timestamp texts share one time point.
  void begin_epoch(const rinex::EpochTime& time);
  /// Starts an epoch given by its timestamp text, whose epoch is read back from it.
  void begin_epoch(std::string timestamp);
  /// Starts a satellite of the current epoch with its look angles: the satellite `number` of the
  /// observation record, whose identifier is `id`. has_look_angles tells computed angles from the
  /// defaults.
  void begin_satellite(std::uint32_t number, const rinex::SatelliteId& id, double elevation, double azimuth,
                       bool has_look_angles = false);
  /// The same for a satellite given by its identifier alone (at most three characters).
  void begin_satellite(std::string_view satellite, double elevation, double azimuth, bool has_look_angles = false);
  /// Adds a sample of the current satellite; signal indexes the signal texts.
  void add(std::uint32_t signal, double cn0);
  /// Adds a sample whose code is given as text (numbered on first use).
  void add(std::string_view signal, double cn0);

  /// The time index of the current epoch, or kNoTime while it has no sample.
  std::uint32_t epoch_time() const { return time_open_ ? time_ : kNoTime; }
  static constexpr std::uint32_t kNoTime = static_cast<std::uint32_t>(-1);

  /// The finished set, with sorted_times filled.
  SampleSet finish(std::vector<std::string> signals = {});

 private:
  SampleSet set_;
  std::unordered_map<std::string, std::uint32_t> time_index_;
  std::vector<std::uint32_t> satellite_index_;  // record satellite number -> index, or kNoIndex
  std::unordered_map<std::uint32_t, std::uint32_t> numbers_;  // identifiers given as text -> number
  std::unordered_map<std::string, std::uint32_t> signal_index_;
  std::vector<std::string> signal_texts_;
  std::string pending_timestamp_;
  rinex::EpochTime pending_time_;
  std::uint32_t time_ = 0;
  bool time_open_ = false;
  rinex::SatelliteId pending_id_;
  std::uint32_t pending_number_ = 0;
  double pending_elevation_ = 45.0;
  double pending_azimuth_ = 0.0;
  bool pending_has_angles_ = false;
  bool sighting_open_ = false;
};

}  // namespace qcn::cn0
