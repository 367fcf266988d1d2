// The C/N0 a signal should have now, without navigation data: the recent level of the signal
// itself, the mean of a long window pushed forward along its trend (the difference of the
// window's two halves), so it follows the slow rise and fall of a pass but not a sudden drop.
// Values enter clipped to a few times the signal's scatter around its level, so a spike moves it
// little, and values of epochs judged degraded are kept out: the level held through an episode is
// the one from before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qcn::cn0 {

struct BaselineTiming {
  double window_s = 1200.0;      // history the level is taken from
  double feed_period_s = 120.0;  // at most one value per series in this time enters the window
  double ready_after_s = 300.0;  // history a series needs before it has an expectation
};

class TimeBaseline {
 public:
  TimeBaseline() = default;
  /// Baselines for series_count series of a file whose epochs are interval_s apart.
  TimeBaseline(std::size_t series_count, double interval_s, const BaselineTiming& timing = {});

  /// Whether the series has enough history for an expectation.
  bool ready(std::uint32_t series) const { return levels_[series].ready; }
  /// The expected C/N0 of a ready series, dB-Hz.
  double expected(std::uint32_t series) const { return levels_[series].level_db; }
  /// The series' scatter around its expectation, dB.
  double noise(std::uint32_t series) const { return levels_[series].noise_db; }

  /// Whether a value of the series at this time (seconds from the file's start) would enter its
  /// history: one per feed period.
  bool due(std::uint32_t series, double seconds) const {
    return seconds - levels_[series].last_fed_s >= feed_period_s_ - kEarlyS;
  }
  /// Adds a value to the history of the series (values in time order).
  void feed(std::uint32_t series, double seconds, double cn0_dbhz);
  /// Forgets the series' history: a new pass, or a level held through a long stretch of
  /// degradation that no longer holds.
  void forget(std::uint32_t series);

 private:
  // A small tolerance keeps epochs written a hair early (0.999999 s apart) in step.
  static constexpr double kEarlyS = 1e-3;

  /// The history of one series: the sums of the window's two halves over a ring of values.
  struct Window {
    double older_sum = 0.0;
    double newer_sum = 0.0;
    std::uint32_t head = 0;    // ring position of the next value
    std::uint32_t stored = 0;  // values in the ring
    double first_fed_s = 0.0;
  };

  /// What every sample reads of a series, together.
  struct Level {
    double last_fed_s = -1e300;
    float level_db = 0.0f;
    float noise_db = 0.0f;
    float mean_deviation_db = 0.0f;  // running mean of |value - level|
    bool ready = false;
  };

  void push(Window& window, float* ring, float value) const;
  void update_level(Level& level, const Window& window, double seconds) const;

  BaselineTiming timing_;
  double feed_period_s_ = 120.0;
  std::uint32_t capacity_ = 2;  // ring size, even: two halves
  std::vector<Window> windows_;
  std::vector<float> rings_;  // capacity_ values per series
  std::vector<Level> levels_;  // kept apart from the windows
};

}  // namespace qcn::cn0
