// How strong a band's signals are across the whole sky, without navigation data: for each group
// of one system and code, the upper quartile of the C/N0 of every satellite received at an epoch.
// Satellites rise and set all the time, but the mix of elevations in the sky changes slowly, so
// the quartile stays within a dB or two for hours while each satellite's own level moves by ten.
// It tells whether a band is still down long after the levels held from before an episode have
// lost track of the passes; it never starts an episode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cn0/frequency_bands.hpp"

namespace qcn::cn0 {

class SkyLevel {
 public:
  // One quartile per group enters the usual level per period.
  static constexpr double kLearnPeriodS = 120.0;

  SkyLevel() = default;
  /// group_band: the band of each group.
  explicit SkyLevel(std::vector<Band> group_band);

  /// A value received at the current epoch.
  void add(std::uint32_t group, float cn0_dbhz) {
    std::vector<float>& values = values_[group];
    if (values.empty()) touched_.push_back(group);
    values.push_back(cn0_dbhz);
  }

  /// How far the band's groups lie below their usual level at the current epoch (dB, the median
  /// over the groups with a usual level and enough satellites); NaN when none can tell.
  double deficit_db(Band band);

  /// Whether the groups learn at this epoch (once per learning period): their values are wanted
  /// then, and at the epochs a band is judged against them.
  bool learns_at(double seconds) const { return seconds - last_learnt_s_ >= kLearnPeriodS - 1e-3; }

  /// Ends the epoch: when it is one to learn at, the groups of the settled bands (band_bit mask)
  /// teach their usual level.
  void end_epoch(double seconds, std::uint8_t settled_bands);

 private:
  double quartile(std::uint32_t group);

  std::vector<Band> group_band_;
  std::vector<std::vector<float>> values_;  // per group: this epoch's values
  std::vector<std::uint32_t> touched_;      // groups with values at this epoch
  std::vector<float> level_db_;             // per group: its usual upper quartile
  std::vector<std::uint32_t> lessons_;      // per group: quartiles it learnt from
  double last_learnt_s_ = -1e300;
  std::vector<double> deficits_;
};

}  // namespace qcn::cn0
