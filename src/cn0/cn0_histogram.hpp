// Histograms of C/N0 values in quarter-dB steps: quantiles without sorting, and a running median
// that follows a window one value at a time. C/N0 is written to a quarter or a tenth of a dB, so
// the step loses nothing that matters to a drop of several dB.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

namespace qcn::cn0 {

inline constexpr double kHistogramStepDb = 0.25;
inline constexpr std::uint32_t kHistogramBins = 256;  // 64 dB

/// The bin of a value in a histogram whose first bin starts at low_db; values outside the range
/// (and NaN) fall into the end bins.
inline std::uint32_t histogram_bin(double value_db, double low_db) {
  const double x = (value_db - low_db) / kHistogramStepDb;
  if (!(x >= 0.0)) return 0;
  if (x >= kHistogramBins - 1) return kHistogramBins - 1;
  return static_cast<std::uint32_t>(x);
}

/// The centre of a bin.
inline double histogram_value(std::uint32_t bin, double low_db) {
  return low_db + (bin + 0.5) * kHistogramStepDb;
}

/// The q-quantile (0 to 1) of the values counted in one histogram of quarter-dB bins, spread
/// evenly within their bin; NaN for an empty histogram.
double histogram_quantile(std::span<const std::uint32_t> counts, double q, double low_db);

/// The median of a window of values, kept as counts per bin with a cursor on the median's bin.
class RunningMedian {
 public:
  explicit RunningMedian(double low_db = 0.0) : low_db_(low_db) {}
  void add(std::uint32_t bin);
  void remove(std::uint32_t bin);  // a bin added before
  void clear();
  std::uint32_t count() const { return count_; }
  /// The centre of the lower median's bin; meaningless while empty.
  double median() const { return histogram_value(cursor_, low_db_); }

 private:
  void settle();

  double low_db_;
  std::array<std::uint16_t, kHistogramBins> counts_{};
  std::uint32_t count_ = 0;
  std::uint32_t cursor_ = 0;  // bin of the lower median
  std::uint32_t below_ = 0;   // values in bins below the cursor
};

}  // namespace qcn::cn0
