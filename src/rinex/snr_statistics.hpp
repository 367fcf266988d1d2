// Counts and mean of the signal-strength (S) values of each satellite of an observation file.
#pragma once

#include <cstdint>

#include "rinex/obs_data.hpp"
#include "rinex/ordered_map.hpp"

namespace qcn::rinex {

struct SnrFigures {
  std::uint64_t count = 0;  // stored S values
  std::uint64_t valid = 0;  // those above 0 and below 100
  double valid_sum = 0.0;   // their sum, in file order
};

/// Per satellite with at least one S value, in order of its first S value: the counts and sum.
OrderedMap<SnrFigures> snr_figures_by_satellite(const RinexObsData& data);

}  // namespace qcn::rinex
