// Constellation names of the satellites in visibility records.
#pragma once

#include <string_view>

#include "rinex/satellite_id.hpp"

namespace qcn::visibility {

/// The constellation of an identifier by its first letter; NavIC, any other letter and an empty
/// identifier are "Unknown".
constexpr std::string_view constellation_name(std::string_view satellite) {
  return satellite.empty() ? "Unknown" : rinex::constellation_name(satellite.front());
}

}  // namespace qcn::visibility
