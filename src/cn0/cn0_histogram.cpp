#include "cn0/cn0_histogram.hpp"

#include <algorithm>
#include <limits>

namespace qcn::cn0 {

double histogram_quantile(std::span<const std::uint32_t> counts, double q, double low_db) {
  std::uint64_t total = 0;
  for (std::uint32_t c : counts) total += c;
  if (total == 0) return std::numeric_limits<double>::quiet_NaN();
  const double target = q * static_cast<double>(total);
  std::uint64_t before = 0;
  for (std::uint32_t b = 0; b < counts.size(); ++b) {
    if (counts[b] == 0) continue;
    if (static_cast<double>(before + counts[b]) >= target) {
      const double within = (target - static_cast<double>(before)) / counts[b];
      return low_db + (b + std::clamp(within, 0.0, 1.0)) * kHistogramStepDb;
    }
    before += counts[b];
  }
  return histogram_value(static_cast<std::uint32_t>(counts.size() - 1), low_db);
}

void RunningMedian::add(std::uint32_t bin) {
  ++counts_[bin];
  ++count_;
  if (bin < cursor_) ++below_;
  settle();
}

void RunningMedian::remove(std::uint32_t bin) {
  --counts_[bin];
  --count_;
  if (bin < cursor_) --below_;
  settle();
}

void RunningMedian::clear() {
  std::fill(counts_.begin(), counts_.end(), 0);
  count_ = 0;
  cursor_ = 0;
  below_ = 0;
}

// Moves the cursor until the lower median, at rank (count - 1) / 2, lies in its bin.
void RunningMedian::settle() {
  if (count_ == 0) {
    cursor_ = 0;
    below_ = 0;
    return;
  }
  const std::uint32_t rank = (count_ - 1) / 2;
  while (rank < below_) {
    --cursor_;
    below_ -= counts_[cursor_];
  }
  while (rank >= below_ + counts_[cursor_]) {
    below_ += counts_[cursor_];
    ++cursor_;
  }
}

}  // namespace qcn::cn0
