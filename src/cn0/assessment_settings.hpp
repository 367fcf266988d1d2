// The thresholds of the interference assessment.
#pragma once

#include <cstdint>

namespace qcn::cn0 {

struct AssessmentSettings {
  double min_drop_db = 4.0;      // common fall of a band's signals below expectation that counts, dB
  double noise_factor = 3.0;     // a signal is low when below expectation by this many times its noise
  double signal_share = 0.6;     // share of a band's signals that must be low or lost together
  double loss_share = 0.5;       // share of a band's signals whose loss at once degrades the band
  std::uint32_t min_satellites = 3;  // satellites that must be affected; fewer never degrade a band
  double min_episode_seconds = 120.0;  // degraded time without a break that makes an episode
  double min_outage_seconds = 60.0;    // time without any value (or left out of the file) that does
  double merge_seconds = 60.0;   // interruption within an episode that is tolerated
};

}  // namespace qcn::cn0
