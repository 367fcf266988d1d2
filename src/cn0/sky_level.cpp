#include "cn0/sky_level.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace qcn::cn0 {

namespace {

// A group's quartile says something with this many satellites received.
constexpr std::size_t kMinValues = 4;
// The level follows the slow change of the sky's mix over about an hour and is usable after a few
// lessons.
constexpr double kLearnTimeS = 3600.0;
constexpr std::uint32_t kReadyLessons = 5;
// A lesson moves the level by at most this much: a moment of unnoticed degradation teaches little.
constexpr double kMaxStepDb = 3.0;

}  // namespace

SkyLevel::SkyLevel(std::vector<Band> group_band)
    : group_band_(std::move(group_band)),
      values_(group_band_.size()),
      level_db_(group_band_.size(), 0.0f),
      lessons_(group_band_.size(), 0) {}

double SkyLevel::quartile(std::uint32_t group) {
  std::vector<float>& values = values_[group];
  const auto upper = values.begin() + static_cast<std::ptrdiff_t>((3 * values.size()) / 4);
  std::nth_element(values.begin(), upper, values.end());
  return *upper;
}

double SkyLevel::deficit_db(Band band) {
  deficits_.clear();
  for (std::uint32_t group : touched_) {
    if (group_band_[group] != band || values_[group].size() < kMinValues || lessons_[group] < kReadyLessons) continue;
    deficits_.push_back(level_db_[group] - quartile(group));
  }
  if (deficits_.empty()) return std::numeric_limits<double>::quiet_NaN();
  const auto middle = deficits_.begin() + static_cast<std::ptrdiff_t>(deficits_.size() / 2);
  std::nth_element(deficits_.begin(), middle, deficits_.end());
  return *middle;
}

void SkyLevel::end_epoch(double seconds, std::uint8_t settled_bands) {
  const bool learning = learns_at(seconds);
  if (learning) last_learnt_s_ = seconds;
  for (std::uint32_t group : touched_) {
    const auto bit = static_cast<std::uint8_t>(1u << static_cast<unsigned>(group_band_[group]));
    if (learning && (settled_bands & bit) && values_[group].size() >= kMinValues) {
      const double value = quartile(group);
      std::uint32_t& lessons = lessons_[group];
      ++lessons;
      // The first lessons average; later ones follow slowly and never jump.
      const double weight = std::max(1.0 / lessons, kLearnPeriodS / kLearnTimeS);
      const double step = lessons == 1 ? value - level_db_[group]
                                       : std::clamp(value - level_db_[group], -kMaxStepDb, kMaxStepDb);
      level_db_[group] = static_cast<float>(level_db_[group] + weight * step);
    }
    values_[group].clear();
  }
  touched_.clear();
}

}  // namespace qcn::cn0
