// Counting the GNSS satellites of two-line element sets in three-line form.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qcn::tle {

/// A GNSS satellite named by a TLE name line: system letter (G, E or J) and number.
struct GnssSatellite {
  char system = 'G';
  std::uint32_t number = 0;
};

/// The GPS, Galileo or QZSS satellite a name line denotes; nothing for GLONASS, BeiDou and others.
std::optional<GnssSatellite> identify_gnss_satellite(std::string_view name);

/// Number of element sets whose name identifies a GNSS satellite and whose mean motion is above 0.
std::uint64_t count_gnss_satellites(std::string_view text);

}  // namespace qcn::tle
