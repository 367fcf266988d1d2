// Epoch by epoch and band by band, whether reception is degraded: most of a band's signals fall
// together below what they should show, well beyond their own scatter, or many are lost at once.
// One or two satellites (rising, setting, behind an obstacle) never degrade a band.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "cn0/assessment_settings.hpp"
#include "cn0/epoch_timeline.hpp"
#include "cn0/expectation.hpp"
#include "cn0/frequency_bands.hpp"
#include "cn0/predicted_sky.hpp"
#include "cn0/samples.hpp"
#include "cn0/signal_series.hpp"

namespace qcn::cn0 {

/// What one band showed at one epoch.
struct BandTally {
  std::uint32_t measured = 0;  // received signals with an expectation
  std::uint32_t falling = 0;   // of those, below expectation by half the margin
  std::uint32_t low = 0;       // of those, below expectation by the margin and by their noise
  std::uint32_t lost = 0;      // signals held steadily until a moment ago, not received now
  std::uint32_t bad_satellites = 0;   // satellites with a low or lost signal
  double median_drop_db = std::numeric_limits<double>::quiet_NaN();   // over the measured signals
  double typical_noise_db = std::numeric_limits<double>::quiet_NaN();  // their mean noise
  std::uint32_t steady_before = 0;  // signals held steadily and received at the previous epoch
  std::uint32_t lost_at_once = 0;   // of those, not received now
  std::uint32_t lost_at_once_satellites = 0;
  std::uint32_t compared = 0;  // signals received at this epoch and the one before
  double median_rise_db = std::numeric_limits<double>::quiet_NaN();  // their change since, over the band
};

/// Whether most of the band's signals fall together (below expectation by half the margin, or
/// lost), their median by the margin and by noise_factor times the scatter of such a median, with
/// min_satellites satellites at least low or lost. A band mixing quiet and noisy signals (L2
/// tracked as L2C and semi-codeless) falls as a whole though its noisy signals are not low.
bool falls_together(const BandTally& tally, const AssessmentSettings& settings);

/// Whether the band's signals still received, if any, fall with the lost ones: by half the margin.
bool survivors_fall(const BandTally& tally, const AssessmentSettings& settings);

/// Whether a large share of the signals received steadily at the previous epoch, on at least
/// min_satellites satellites, is lost at this one, the survivors falling with them.
bool loses_at_once(const BandTally& tally, const AssessmentSettings& settings);

/// Whether a loss goes on: of the `members` signals lost at once, `still_lost` (on
/// `still_lost_satellites` satellites) are still not received.
bool loss_goes_on(std::uint32_t members, std::uint32_t still_lost, std::uint32_t still_lost_satellites,
                  const AssessmentSettings& settings);

/// Whether a band judged falling goes on falling: its signals still lie below expectation by half
/// the margin. Without navigation data the expectation held through a long stretch drifts away
/// from the passes; the end of an episode shows as a common rise, which ends it at once.
bool keeps_falling(const BandTally& tally, const AssessmentSettings& settings);

/// Whether a band judged falling is still down across the sky (its groups' usual strength less
/// this epoch's, deficit_db; NaN when unknown) once the levels held from before the fall no longer
/// tell: by three quarters of the margin and by half the drop it began with.
bool sky_stays_down(double deficit_db, double onset_drop_db, const AssessmentSettings& settings);

/// Whether the band's signals rose together from the previous epoch, by half the margin.
bool rises_together(const BandTally& tally, const AssessmentSettings& settings);

inline std::uint8_t band_bit(Band band) { return static_cast<std::uint8_t>(1u << static_cast<unsigned>(band)); }

/// A satellite at a degraded epoch.
enum class SatelliteState : std::uint8_t { clear, affected, lost };

struct SatelliteMark {
  std::uint32_t satellite = 0;  // SampleSet satellite index
  float azimuth_deg = 0.0f;     // where it was last seen; NaN when never
  SatelliteState state = SatelliteState::clear;
};

/// An epoch with at least one degraded band. Its marks cover every satellite received or expected.
struct DegradedEpoch {
  std::uint32_t position = 0;  // in the timeline
  std::uint8_t bands = 0;      // band_bit of each degraded band
  bool nothing_received = false;
  std::array<float, kBandCount> drop_db{};  // median drop of each degraded band; NaN without values
  std::uint32_t expected_satellites = 0;    // satellites with an expected signal
  std::uint32_t lost_satellites = 0;        // of those, satellites with no signal received
  std::uint32_t first_mark = 0;
  std::uint32_t mark_count = 0;
};

/// The signs a spoofer leaves at an epoch: within each group of one system and L1 code, the spread
/// of C/N0 across satellites and how closely C/N0 follows its expectation (correlation, over the
/// signals that have one), averaged over the groups with enough satellites; NaN when none has.
struct EpochSigns {
  float spread_db = std::numeric_limits<float>::quiet_NaN();
  float dependence = std::numeric_limits<float>::quiet_NaN();
  std::uint8_t bands = 0;  // bands of the groups measured
};

struct Degradation {
  std::vector<std::uint8_t> bands;  // per timeline epoch: band_bit of each degraded band
  std::vector<DegradedEpoch> epochs;
  std::vector<SatelliteMark> marks;
  std::vector<EpochSigns> signs;  // per timeline epoch
  // The C/N0 each sample was judged against, NaN without an expectation (when asked for): per
  // satellite in the order of its points where the file lists its epochs in time order, else per
  // sample and expected_by_satellite empty.
  std::vector<std::vector<float>> expected_by_satellite;
  std::vector<float> expected_db;
};

struct ScanInput {
  const SampleSet* set = nullptr;
  const TimeGroups* by_time = nullptr;
  const SeriesTable* table = nullptr;
  const EpochTimeline* timeline = nullptr;
  const PredictedSky* sky = nullptr;  // rows by file epoch; empty without navigation data
  AssessmentSettings settings;
  std::uint8_t recorded_bands = 0;  // bands the receiver records: all lost when nothing is received
  bool keep_expected = false;       // the values each sample was judged against are wanted
};

/// Judges every epoch of the timeline in time order, feeding the time baselines as it goes with
/// the values of bands it did not judge degraded. A band is degraded while its signals fall
/// together (and keep falling), and from a loss at once for as long as the lost signals stay lost,
/// either until its signals rise together; at an epoch without any value every recorded band is.
Degradation scan_degradation(const ScanInput& input, Expectation& expectation);

}  // namespace qcn::cn0
