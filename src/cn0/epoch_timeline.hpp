// The epochs of an observation file in time: those with samples, those recorded without any
// value, and the stretches a file leaves out, measured in its nominal epoch spacing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rinex/epoch_time.hpp"

namespace qcn::cn0 {

inline constexpr std::uint32_t kNoTimeIndex = static_cast<std::uint32_t>(-1);

/// Every epoch of the file in file order, as the sample extraction met it.
struct FileEpochs {
  std::vector<rinex::EpochTime> times;
  std::vector<std::uint32_t> time_index;  // the SampleSet time index, or kNoTimeIndex without samples
};

/// The file's epochs in file order, each once: a later epoch with the time index of an earlier
/// one (the same timestamp written twice) is left out.
struct EpochTimeline {
  std::vector<double> seconds;            // from the first epoch
  std::vector<std::uint32_t> time_index;  // the SampleSet time index, or kNoTimeIndex
  std::vector<std::size_t> file_epoch;    // index into FileEpochs of each epoch
  std::vector<std::uint32_t> position_of_time;  // per SampleSet time index: its epoch here
  std::vector<std::uint32_t> missing_after;     // epochs the file leaves out after each epoch
  double interval_s = 1.0;  // nominal spacing: the median spacing, else the header's interval

  std::size_t size() const { return seconds.size(); }
};

/// The timeline of a file; time_count is the number of SampleSet time indices and
/// header_interval_s the header's interval (0 when absent).
EpochTimeline make_timeline(const FileEpochs& epochs, std::size_t time_count, double header_interval_s);

/// Whether the timeline visits every time index once, in ascending time: sorted_times lists the
/// time indices in ascending time (a file in time order passes).
bool visits_times_in_order(const EpochTimeline& timeline, std::span<const std::uint32_t> sorted_times);

/// The nominal spacing of epochs: the median of the positive spacings, else the header's
/// interval, else 1 s.
double nominal_interval(const std::vector<double>& seconds, double header_interval_s);

}  // namespace qcn::cn0
