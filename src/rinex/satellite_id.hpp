// Satellite identifier of an observation file: up to three characters as written (G05, R12, E01).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "rinex/satellite_systems.hpp"

namespace qcn::rinex {

/// The constellation name of a system letter as the analysis reports it; NavIC (I) and any
/// other letter are "Unknown".
constexpr std::string_view constellation_name(char letter) {
  const SatelliteSystem* system = satellite_system(letter);
  return system ? system->name : kUnknownSystemName;
}

/// Identifiers are compared as whole texts: "G 1" and "G01" are different satellites.
struct SatelliteId {
  std::array<char, 3> chars{};
  std::uint8_t size = 0;

  /// The identifier text; at most three characters.
  std::string_view view() const { return {chars.data(), size}; }

  /// The system letter: the first character, G for an empty identifier.
  char system() const { return size == 0 ? 'G' : chars[0]; }

  /// Builds an identifier from text, keeping at most its first three characters.
  static SatelliteId from(std::string_view text) {
    SatelliteId id;
    id.size = static_cast<std::uint8_t>(text.size() < 3 ? text.size() : 3);
    for (std::uint8_t i = 0; i < id.size; ++i) {
      char c = text[i];
      id.chars[i] = static_cast<unsigned char>(c) >= 0x80 ? '?' : c;
    }
    return id;
  }

  /// A key that is equal exactly when the texts are equal.
  std::uint32_t key() const {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(chars[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(chars[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(chars[2])) << 16 |
           static_cast<std::uint32_t>(size) << 24;
  }

  friend bool operator==(const SatelliteId& a, const SatelliteId& b) { return a.key() == b.key(); }
};

}  // namespace qcn::rinex
