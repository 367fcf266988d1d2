// The C/N0 a signal should have at an elevation, learned from the file itself: a shape over
// elevation shared by the satellites of one system and code, raised or lowered by each
// satellite's own offset (both medians) and bent by the satellite's own departure from the shape
// (a clipped mean per elevation bin: satellites of one system differ in transmit power and
// antenna pattern, most of all under semi-codeless tracking). A jammer lowers every signal of a band by the same amount
// at once; that common fall is measured epoch by epoch and taken back out before the model learns
// again, so even hours of jamming do not become the norm. Epochs whose signals are all alike (a
// spoofer's) teach it nothing.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "cn0/epoch_timeline.hpp"
#include "cn0/samples.hpp"
#include "cn0/signal_series.hpp"

namespace qcn::cn0 {

/// Which samples teach the model: those of every stride-th epoch of the timeline.
struct ModelSamples {
  const SampleSet* set = nullptr;
  const TimeGroups* by_time = nullptr;
  const SeriesTable* table = nullptr;
  const EpochTimeline* timeline = nullptr;
  std::size_t stride = 1;
};

class ElevationModel {
 public:
  static constexpr std::size_t kElevationBins = 18;  // 5 degrees each
  static constexpr double kBinDeg = 5.0;

  /// Learns shapes, offsets and noise from the samples of the series with look angles.
  void fit(const ModelSamples& samples);

  /// The common fall of each band at each teaching epoch, dB, 0 where it is below 2 dB: indexed
  /// (epoch / stride) * kBandCount + band; empty when there is none.
  std::span<const float> common_falls() const { return common_fall_db_; }

  /// Whether the series has an expectation: enough samples with look angles.
  bool ready(std::uint32_t series) const { return series < offset_db_.size() && !std::isnan(offset_db_[series]); }
  /// The expected C/N0 of a ready series at an elevation, dB-Hz.
  double expected(std::uint32_t series, double elevation_deg) const;
  /// The series' scatter around its expectation (robust standard deviation), dB.
  double noise(std::uint32_t series) const { return noise_db_[series]; }

  /// The shape of a group over elevation bins; NaN where the group has no samples anywhere.
  std::span<const double> shape(std::uint32_t group) const {
    return std::span(shape_db_).subspan(group * kElevationBins, kElevationBins);
  }

 private:
  /// One teaching sample, with where its elevation falls among the bins.
  struct Lesson {
    float cn0_dbhz = 0.0f;
    float fraction = 0.0f;    // between the centres of bins `low` and `low + 1`
    std::uint32_t series = 0;
    std::uint32_t row = 0;    // teaching epoch
    std::uint8_t bin = 0;     // the elevation bin
    std::uint8_t low = 0;
    std::uint8_t band = 0;
  };

  void gather_lessons(const ModelSamples& samples);
  void drop_spoofed_lessons();
  void fit_shapes();
  void fit_offsets(bool with_noise);
  bool measure_common_falls();
  void fit_series_bends();
  double bend_at(std::uint32_t series, double elevation_deg) const;
  // Read for every lesson in every pass: kept inline.
  [[gnu::always_inline]] double expected(const Lesson& lesson) const;
  [[gnu::always_inline]] double corrected(const Lesson& lesson) const;
  double shape_at(std::uint32_t group, double elevation_deg) const;

  std::vector<Lesson> lessons_;
  std::size_t rows_ = 0;  // teaching epochs
  std::size_t groups_ = 0;
  std::vector<std::uint32_t> series_group_;
  std::vector<double> shape_db_;   // group * kElevationBins + bin
  std::vector<double> offset_db_;  // per series; NaN when not ready
  std::vector<double> bend_db_;    // series * kElevationBins + bin; empty until fitted
  std::vector<double> noise_db_;
  std::vector<float> common_fall_db_;
};

/// Fills the bins that have no value from their nearest neighbours with one: linearly between
/// two, flat beyond the last. All stay NaN when none has a value.
void fill_empty_bins(std::span<double> bins);

}  // namespace qcn::cn0
