// The number of heap allocations made so far by the program that links allocation_count.cpp,
// which replaces the global operator new to count them.
#pragma once

#include <cstddef>

namespace qcn::bench {

std::size_t allocation_count();

}  // namespace qcn::bench
