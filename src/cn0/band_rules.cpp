// The rules that judge a band at one epoch from its tally: a common fall, a loss at once, and
// whether either goes on or ends.
#include <cmath>
#include <cstdint>

#include "cn0/degradation.hpp"

namespace qcn::cn0 {

namespace {

// Signals lost to interference take the rest of their band down with them: the signals still
// received must fall by this share of the margin at least.
constexpr double kSurvivorDropShare = 0.5;
// A fall goes on while the band stays below expectation by this share of the margin, and ends
// when its signals rise together by as much.
constexpr double kRiseShareOfMargin = 0.5;
constexpr std::uint32_t kFewestStillJudged = 2;
// The sky's usual strength wanders by a dB or two over hours: a band stays down by more.
constexpr double kSkyShareOfMargin = 0.75;
constexpr double kSkyShareOfOnset = 0.5;

}  // namespace

bool falls_together(const BandTally& tally, const AssessmentSettings& settings) {
  const std::uint32_t considered = tally.measured + tally.lost;
  if (tally.measured == 0 || tally.bad_satellites < settings.min_satellites) return false;
  if (tally.falling + tally.lost < settings.signal_share * considered) return false;
  // The median of n values scatters about 1.25 / sqrt(n) times as much as one of them.
  const double median_noise = 1.2533 * tally.typical_noise_db / std::sqrt(static_cast<double>(tally.measured));
  return tally.median_drop_db >= settings.min_drop_db && tally.median_drop_db >= settings.noise_factor * median_noise;
}

bool survivors_fall(const BandTally& tally, const AssessmentSettings& settings) {
  return tally.measured == 0 || tally.median_drop_db >= kSurvivorDropShare * settings.min_drop_db;
}

bool loses_at_once(const BandTally& tally, const AssessmentSettings& settings) {
  if (tally.steady_before == 0 || tally.lost_at_once_satellites < settings.min_satellites) return false;
  return tally.lost_at_once >= settings.loss_share * tally.steady_before && survivors_fall(tally, settings);
}

bool loss_goes_on(std::uint32_t members, std::uint32_t still_lost, std::uint32_t still_lost_satellites,
                  const AssessmentSettings& settings) {
  if (members == 0 || still_lost_satellites < settings.min_satellites) return false;
  return still_lost >= settings.loss_share * members;
}

bool keeps_falling(const BandTally& tally, const AssessmentSettings& settings) {
  // Late in a long fall few signals keep the level from before it (the others set, and passes that
  // began during it have no level): the fall goes on while two or more of them are all still down.
  // One alone says nothing: its own level from before may no longer hold.
  if (tally.measured < kFewestStillJudged) return false;
  if (tally.measured < settings.min_satellites && tally.falling < tally.measured) return false;
  return tally.median_drop_db >= kRiseShareOfMargin * settings.min_drop_db;
}

bool sky_stays_down(double deficit_db, double onset_drop_db, const AssessmentSettings& settings) {
  return deficit_db >= kSkyShareOfMargin * settings.min_drop_db && deficit_db >= kSkyShareOfOnset * onset_drop_db;
}

bool rises_together(const BandTally& tally, const AssessmentSettings& settings) {
  if (tally.compared < settings.min_satellites) return false;
  return tally.median_rise_db >= kRiseShareOfMargin * settings.min_drop_db;
}

}  // namespace qcn::cn0
