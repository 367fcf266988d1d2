#include "cn0/time_baseline.hpp"

#include <algorithm>
#include <cmath>

namespace qcn::cn0 {

namespace {

// The trend pushes the level forward by at most this much: a setting or rising satellite moves
// a few dB in a quarter window, a window that straddles a drop must not throw the level far.
constexpr double kMaxTrendDb = 3.0;
constexpr double kMinNoiseDb = 0.5;
constexpr float kStartDeviationDb = 1.0f;
// Values enter at most this many times the current noise away from the level, and count for the
// noise as much: outliers move neither far.
constexpr double kClip = 4.0;
constexpr double kDeviationWeight = 1.0 / 16.0;
// The mean absolute deviation of a normal distribution is 0.798 standard deviations.
constexpr double kDeviationToNoise = 1.2533;
constexpr std::uint32_t kMinValues = 4;

}  // namespace

TimeBaseline::TimeBaseline(std::size_t series_count, double interval_s, const BaselineTiming& timing)
    : timing_(timing), feed_period_s_(std::max(timing.feed_period_s, interval_s)) {
  const double slots = std::ceil(timing_.window_s / feed_period_s_);
  capacity_ = std::max<std::uint32_t>(2, static_cast<std::uint32_t>(slots) & ~1u);
  windows_.resize(series_count);
  rings_.assign(series_count * capacity_, 0.0f);
  Level start;
  start.noise_db = static_cast<float>(kStartDeviationDb * kDeviationToNoise);
  start.mean_deviation_db = kStartDeviationDb;
  levels_.assign(series_count, start);
}

void TimeBaseline::forget(std::uint32_t series) {
  windows_[series] = Window{};
  levels_[series].last_fed_s = -1e300;
  levels_[series].ready = false;
}

void TimeBaseline::push(Window& window, float* ring, float value) const {
  const std::uint32_t half = capacity_ / 2;
  // The value half a window back moves to the older half; the one a window back leaves.
  if (window.stored == capacity_) window.older_sum -= ring[window.head];
  if (window.stored >= half) {
    const std::uint32_t middle = window.head + half < capacity_ ? window.head + half : window.head + half - capacity_;
    window.older_sum += ring[middle];
    window.newer_sum -= ring[middle];
  }
  ring[window.head] = value;
  window.newer_sum += value;
  window.head = window.head + 1 < capacity_ ? window.head + 1 : 0;
  if (window.stored < capacity_) ++window.stored;
}

void TimeBaseline::update_level(Level& out, const Window& window, double seconds) const {
  const std::uint32_t half = capacity_ / 2;
  const std::uint32_t newer_count = std::min(window.stored, half);
  const std::uint32_t older_count = window.stored - newer_count;
  const double newer = window.newer_sum / newer_count;
  double level = newer;
  if (older_count >= kMinValues / 2) {
    // The halves' centres lie half a window apart and the newer one a quarter window back.
    level += std::clamp(0.5 * (newer - window.older_sum / older_count), -kMaxTrendDb, kMaxTrendDb);
  }
  out.level_db = static_cast<float>(level);
  out.ready = window.stored >= kMinValues && seconds - window.first_fed_s >= timing_.ready_after_s;
}

void TimeBaseline::feed(std::uint32_t series, double seconds, double cn0_dbhz) {
  if (!std::isfinite(cn0_dbhz)) return;
  Window& window = windows_[series];
  Level& level = levels_[series];
  double value = cn0_dbhz;
  if (window.stored > 0) {
    const double limit = kClip * level.noise_db;
    const double deviation = std::clamp(cn0_dbhz - level.level_db, -limit, limit);
    value = level.level_db + deviation;
    if (level.ready) {
      level.mean_deviation_db += static_cast<float>((std::fabs(deviation) - level.mean_deviation_db) * kDeviationWeight);
      level.noise_db = static_cast<float>(std::max(level.mean_deviation_db * kDeviationToNoise, kMinNoiseDb));
    }
  } else {
    window.first_fed_s = seconds;
  }
  level.last_fed_s = seconds;
  push(window, rings_.data() + std::size_t{series} * capacity_, static_cast<float>(value));
  update_level(level, window, seconds);
}

}  // namespace qcn::cn0
