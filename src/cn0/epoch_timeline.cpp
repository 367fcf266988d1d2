#include "cn0/epoch_timeline.hpp"

#include <algorithm>
#include <cmath>

namespace qcn::cn0 {

bool visits_times_in_order(const EpochTimeline& timeline, std::span<const std::uint32_t> sorted_times) {
  std::vector<std::uint32_t> rank(sorted_times.size(), kNoTimeIndex);
  for (std::uint32_t r = 0; r < sorted_times.size(); ++r) {
    if (sorted_times[r] < rank.size()) rank[sorted_times[r]] = r;
  }
  std::uint32_t next = 0;
  for (std::uint32_t t : timeline.time_index) {
    if (t == kNoTimeIndex) continue;
    if (t >= rank.size() || rank[t] != next) return false;
    ++next;
  }
  return next == sorted_times.size();
}

double nominal_interval(const std::vector<double>& seconds, double header_interval_s) {
  std::vector<double> spacings;
  spacings.reserve(seconds.size());
  for (std::size_t k = 1; k < seconds.size(); ++k) {
    const double spacing = seconds[k] - seconds[k - 1];
    if (spacing > 0.0) spacings.push_back(spacing);
  }
  if (!spacings.empty()) {
    auto middle = spacings.begin() + static_cast<std::ptrdiff_t>(spacings.size() / 2);
    std::nth_element(spacings.begin(), middle, spacings.end());
    return *middle;
  }
  return header_interval_s > 0.0 ? header_interval_s : 1.0;
}

EpochTimeline make_timeline(const FileEpochs& epochs, std::size_t time_count, double header_interval_s) {
  EpochTimeline timeline;
  timeline.position_of_time.assign(time_count, kNoTimeIndex);
  const std::size_t n = epochs.times.size();
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint32_t t = epochs.time_index[k];
    if (t != kNoTimeIndex) {
      if (t >= time_count || timeline.position_of_time[t] != kNoTimeIndex) continue;
      timeline.position_of_time[t] = static_cast<std::uint32_t>(timeline.size());
    }
    timeline.seconds.push_back(rinex::exact_seconds_between(epochs.times[k], epochs.times.front()));
    timeline.time_index.push_back(t);
    timeline.file_epoch.push_back(k);
  }
  timeline.interval_s = nominal_interval(timeline.seconds, header_interval_s);
  timeline.missing_after.assign(timeline.size(), 0);
  // A spacing of more than one and a half intervals leaves out the epochs that would fill it.
  for (std::size_t k = 0; k + 1 < timeline.size(); ++k) {
    const double spacing = timeline.seconds[k + 1] - timeline.seconds[k];
    if (spacing > 1.5 * timeline.interval_s) {
      timeline.missing_after[k] = static_cast<std::uint32_t>(std::lround(spacing / timeline.interval_s) - 1);
    }
  }
  return timeline;
}

}  // namespace qcn::cn0
