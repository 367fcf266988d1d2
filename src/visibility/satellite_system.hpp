// Constellation names of the satellites in visibility records.
#pragma once

#include <string_view>

namespace qcn::visibility {

/// The constellation of an identifier by its first letter; NavIC, any other letter and an empty
/// identifier are "Unknown".
constexpr std::string_view constellation_name(std::string_view satellite) {
  if (satellite.empty()) return "Unknown";
  switch (satellite.front()) {
    case 'C': return "BeiDou";
    case 'E': return "Galileo";
    case 'G': return "GPS";
    case 'J': return "QZSS";
    case 'R': return "GLONASS";
    case 'S': return "SBAS";
    default: return "Unknown";
  }
}

}  // namespace qcn::visibility
