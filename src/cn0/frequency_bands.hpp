// The frequency bands a jammer sees: signals of different systems that share a band suffer
// together, so the assessment judges reception band by band.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qcn::cn0 {

/// L1: GPS/QZSS/SBAS L1, Galileo E1, BeiDou B1I and B1C, GLONASS G1 and G1a (1559-1610 MHz).
/// L2: GPS/QZSS L2, GLONASS G2 and G2a (1215-1254 MHz). L5: GPS/QZSS/SBAS/NavIC L5, Galileo
/// E5a/E5b/E5, BeiDou B2a/B2b/B2, GLONASS G3 (1164-1215 MHz). E6: Galileo E6, BeiDou B3, QZSS
/// L6 (1260-1300 MHz). S: NavIC S band (2492 MHz).
enum class Band : std::uint8_t { l1, l2, l5, e6, s };

inline constexpr std::size_t kBandCount = 5;
inline constexpr std::array<Band, kBandCount> kBands{Band::l1, Band::l2, Band::l5, Band::e6, Band::s};

/// "L1", "L2", "L5", "E6" or "S".
std::string_view band_name(Band band);

/// The band of an observation code of a system, by the code's band digit, whose meaning depends
/// on the system (BeiDou's 2 is B1I at 1561 MHz, GLONASS's 3 is G3 at 1202 MHz); false for a
/// code without a known band (a digit the system does not use, or a code shorter than two).
bool band_of(char system, std::string_view code, Band& band);

}  // namespace qcn::cn0
