// Values gathered over one epoch, at most a known number of them: room for them all is made once,
// so gathering never allocates.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace qcn::cn0 {

template <typename T>
class EpochList {
 public:
  /// Room for `capacity` values; more are not kept.
  void resize(std::size_t capacity) {
    values_.resize(capacity);
    capacity_ = capacity;
  }
  void push(T value) {
    if (count_ < capacity_) values_[count_++] = value;
  }
  void clear() { count_ = 0; }
  std::size_t size() const { return count_; }
  std::span<T> values() { return {values_.data(), count_}; }

 private:
  std::vector<T> values_;
  std::size_t capacity_ = 0;
  std::size_t count_ = 0;
};

}  // namespace qcn::cn0
