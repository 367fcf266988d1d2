#include "rinex/large_array_allocator.hpp"

#include <sys/mman.h>

namespace qcn::rinex::large_array {

void* allocate(std::size_t bytes) {
  if (bytes < kThreshold) {
    if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
    throw std::bad_alloc();
  }
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* block = std::aligned_alloc(kHugePage, rounded);
  if (block == nullptr) throw std::bad_alloc();
  // Only advice: where the kernel offers no huge pages the block is ordinary memory.
  ::madvise(block, rounded, MADV_HUGEPAGE);
  return block;
}

void deallocate(void* block) noexcept { std::free(block); }

}  // namespace qcn::rinex::large_array
