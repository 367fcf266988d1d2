// The satellite systems: their letters, the names each part of the analysis reports them under,
// and how many satellites a receiver is expected to see of each. The one table of them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qcn::rinex {

struct SatelliteSystem {
  char letter;
  std::string_view name;          // of samples and visibility records; NavIC is "Unknown" there
  std::string_view raw_name;      // of the raw satellite lists of an observation file
  std::string_view skyplot_name;  // skyplot traces tell only the four global systems apart
  std::uint64_t expected_satellites;  // seen at once without a visibility prediction
  std::string_view display_name;  // what the command line shows
  std::string_view alias;         // another name a user may give it, or empty
};

inline constexpr std::array<SatelliteSystem, 7> kSatelliteSystems{{
    {'C', "BeiDou", "BeiDou", "BeiDou", 15, "BeiDou", "BDS"},
    {'E', "Galileo", "Galileo", "Galileo", 10, "Galileo", ""},
    {'G', "GPS", "GPS", "GPS", 12, "GPS", ""},
    {'I', "Unknown", "IRNSS", "Other", 7, "NavIC", "IRNSS"},
    {'J', "QZSS", "QZSS", "Other", 4, "QZSS", ""},
    {'R', "GLONASS", "GLONASS", "GLONASS", 9, "GLONASS", ""},
    {'S', "SBAS", "SBAS", "Other", 3, "SBAS", ""},
}};

/// Names and counts of a letter outside the table.
inline constexpr std::string_view kUnknownSystemName = "Unknown";
inline constexpr std::string_view kOtherSkyplotName = "Other";
inline constexpr std::uint64_t kDefaultExpectedSatellites = 10;

/// The row of a letter, or null.
constexpr const SatelliteSystem* satellite_system(char letter) {
  for (const SatelliteSystem& system : kSatelliteSystems) {
    if (system.letter == letter) return &system;
  }
  return nullptr;
}

/// The row whose raw name is `name`, or null.
constexpr const SatelliteSystem* system_by_raw_name(std::string_view name) {
  for (const SatelliteSystem& system : kSatelliteSystems) {
    if (system.raw_name == name) return &system;
  }
  return nullptr;
}

}  // namespace qcn::rinex
