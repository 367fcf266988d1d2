// An allocator for the record's large arrays: blocks of several megabytes are aligned to 2 MiB and
// offered to the kernel as huge pages, so filling the observations of a large file faults in one
// page per 2 MiB instead of one per 4 KiB. Smaller blocks come from the ordinary heap.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace qcn::rinex {

namespace large_array {
inline constexpr std::size_t kHugePage = std::size_t{2} << 20;
inline constexpr std::size_t kThreshold = std::size_t{4} << 20;

/// A block of at least `bytes` bytes; huge-page aligned and advised when large.
void* allocate(std::size_t bytes);
void deallocate(void* block) noexcept;
}  // namespace large_array

template <typename T>
struct LargeArrayAllocator {
  using value_type = T;

  LargeArrayAllocator() = default;
  template <typename U>
  LargeArrayAllocator(const LargeArrayAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(large_array::allocate(n * sizeof(T)));
  }
  void deallocate(T* block, std::size_t) noexcept { large_array::deallocate(block); }

  template <typename U>
  bool operator==(const LargeArrayAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace qcn::rinex
