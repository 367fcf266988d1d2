// The signs a spoofer leaves in C/N0: from one epoch on, the satellites' C/N0 alike (their
// spread across satellites collapsing) and no longer following elevation (or, without navigation
// data, each signal's own expectation).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "cn0/assessment_settings.hpp"
#include "cn0/degradation.hpp"
#include "cn0/episodes.hpp"
#include "result/assessment.hpp"

namespace qcn::cn0 {

/// Per epoch of the timeline, which signs it shows.
struct SpoofingFlags {
  std::vector<std::uint8_t> collapsed;    // spread below 1.5 dB and a quarter of the usual spread
  std::vector<std::uint8_t> independent;  // C/N0 not following its expectation
  std::vector<std::uint8_t> spoofed;      // both
  double usual_spread_db = 0.0;           // the spread 80 % of the epochs stay under
};

/// The flags of every epoch from its signs.
SpoofingFlags spoofing_flags(std::span<const EpochSigns> signs);

/// Episodes of epochs showing both signs, merged as degradation episodes are.
std::vector<result::Episode> spoofing_episodes(const SpoofingFlags& flags, std::span<const EpochSigns> signs,
                                               const EpisodeInput& input);

}  // namespace qcn::cn0
