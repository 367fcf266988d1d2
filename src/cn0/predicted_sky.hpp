// The satellites the navigation data puts above the elevation mask at each epoch of a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qcn::cn0 {

/// One row of bits per file epoch, indexed by the satellite's number in the observation record.
class PredictedSky {
 public:
  PredictedSky() = default;
  /// Rows wide enough for satellite numbers below satellite_count.
  explicit PredictedSky(std::size_t satellite_count) : words_((satellite_count + 63) / 64) {}

  /// Starts the row of the next epoch, with no satellite predicted.
  void add_epoch() {
    bits_.resize(bits_.size() + words_, 0);
    ++epochs_;
  }
  /// Marks a satellite predicted at the epoch added last; numbers beyond the rows are ignored.
  void mark(std::uint32_t number) {
    if (number / 64 < words_) bits_[(epochs_ - 1) * words_ + number / 64] |= std::uint64_t{1} << (number % 64);
  }
  /// Whether the satellite was predicted at the epoch; false for an epoch or number out of range.
  bool predicted(std::size_t epoch, std::uint32_t number) const {
    if (epoch >= epochs_ || number / 64 >= words_) return false;
    return (bits_[epoch * words_ + number / 64] >> (number % 64)) & 1u;
  }
  std::size_t epochs() const { return epochs_; }
  bool empty() const { return epochs_ == 0; }

 private:
  std::size_t words_ = 0;
  std::size_t epochs_ = 0;
  std::vector<std::uint64_t> bits_;
};

}  // namespace qcn::cn0
