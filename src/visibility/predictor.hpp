// Which satellites ought to be above the mask at each epoch, against those actually received.
// The predictor takes one epoch at a time, so the analysis can feed it while it reads the
// samples; predict_visibility runs it over a whole observation file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "result/analysis_result.hpp"
#include "rinex/obs_data.hpp"
#include "visibility/geometry.hpp"
#include "visibility/summary.hpp"
#include "visibility/visibility_anomalies.hpp"

namespace qcn::visibility {

enum class VisibilityStatus : std::uint8_t { confirmed, missing, unexpected };

/// "confirmed", "missing" or "unexpected".
std::string_view status_text(VisibilityStatus status);

/// A satellite that delivered C/N0 at an epoch.
struct ObservedSatellite {
  rinex::SatelliteId satellite;
  double cn0_dbhz = 0.0;
  std::uint32_t number = kUnnumbered;  // the satellite's number in the observation record
  static constexpr std::uint32_t kUnnumbered = static_cast<std::uint32_t>(-1);
};

/// The received satellites of each epoch: those with a positive value under a code beginning
/// with S, the first such value in storage order being the C/N0.
class ObservedReader {
 public:
  explicit ObservedReader(const rinex::RinexObsData& data);
  ObservedReader(rinex::RinexObsData&&) = delete;

  /// The received satellites of the epoch in file order; valid until the next call.
  std::span<const ObservedSatellite> of(const rinex::ObservationEpoch& epoch);

 private:
  const rinex::RinexObsData* data_;
  std::vector<char> is_cn0_code_;  // by code index
  std::vector<ObservedSatellite> observed_;
};

/// One satellite of the last compared epoch, by its number (VisibilityPredictor::satellite_name).
struct SatelliteOutcome {
  std::uint32_t satellite = 0;
  VisibilityStatus status = VisibilityStatus::missing;
  double cn0_dbhz = 0.0;  // 0 for a missing satellite
  double azimuth_deg = 0.0;
  double elevation_deg = 0.0;
};

/// The comparison of one epoch: predicted satellites (confirmed or missing) in list order, then
/// the unexpected ones in file order.
struct EpochComparison {
  std::string timestamp;
  std::vector<SatelliteOutcome> satellites;
  std::uint64_t predicted_count = 0;
  std::uint64_t observed_count = 0;
  std::uint64_t confirmed_count = 0;
  std::uint64_t missing_count = 0;
  std::uint64_t unexpected_count = 0;
};

/// Compares epoch after epoch and gathers what the visibility result needs.
///
/// A satellite is predicted when its broadcast position stands at or above the mask and the
/// receiver records its system. A received satellite takes part in the comparison only where the
/// orbits say something about it: predicted (confirmed), or more than 1 degree below the horizon
/// (unexpected: the receiver should not see it). One without a position at the epoch (no
/// ephemeris in reach, or none at all, as for SBAS) and one between -1 degree and the mask (low
/// satellites that a geodetic receiver tracks down to the horizon) are neither observed nor
/// unexpected at that epoch.
class VisibilityPredictor {
 public:
  explicit VisibilityPredictor(const PredictionInput& input);

  /// Compares one epoch: geometry is the epoch's geometry of the input's satellites, observed the
  /// epoch's received satellites.
  void add_epoch(const rinex::EpochTime& time, const EpochGeometry& geometry,
                 std::span<const ObservedSatellite> observed);

  /// The comparison of the epoch added last; overwritten by the next add_epoch.
  const EpochComparison& last_epoch() const { return last_; }

  /// The identifier of a satellite number: its place in the prediction list.
  const std::string& satellite_name(std::uint32_t satellite) const { return tally_.satellites[satellite]; }

  /// Whether any satellite was predicted at any epoch so far.
  bool has_predicted() const { return tally_.predicted > 0; }

  /// The visibility result of all epochs so far; an event still open after the last epoch ends
  /// there. has_prediction is left for the caller to set. Call once, after the last epoch.
  result::VisibilityResult finish();

 private:
  std::int64_t number_of(const rinex::SatelliteId& satellite);
  bool is_predicted(std::uint32_t satellite, const SatelliteGeometry& geometry) const;
  void mark_predicted(const EpochGeometry& geometry, std::uint64_t stamp);
  void collect_observed(const EpochGeometry& geometry, std::span<const ObservedSatellite> observed,
                        std::uint64_t stamp);
  void compare_predicted(const EpochGeometry& geometry, std::uint64_t stamp);
  void compare_unexpected(const EpochGeometry& geometry, std::uint64_t stamp);
  void scan_anomalies();

  std::string source_;
  double elevation_mask_ = 0.0;
  std::size_t listed_ = 0;            // satellites numbered 0 .. listed_ - 1 are the prediction list
  std::vector<char> listed_predictable_;  // whether the receiver records the satellite's system
  std::vector<int> listed_system_;    // summary constellation of each listed satellite, or -1
  VisibilityTally tally_;
  std::unordered_map<std::uint32_t, std::int64_t> numbers_;  // SatelliteId::key -> number, -1 unlisted
  std::vector<std::int32_t> listed_by_number_;  // record satellite number -> number, -1 unlisted
  // Per satellite number: 1 + index of the last epoch that saw it, and its last C/N0.
  std::vector<std::uint64_t> observed_at_;
  std::vector<std::uint64_t> predicted_at_;
  std::vector<double> observed_cn0_;
  std::vector<std::uint32_t> observed_now_;  // numbers taking part at the current epoch, file order
  EpochComparison last_;
  std::vector<result::VisibilityEpoch> epochs_;  // each epoch's counts, for the result
  std::vector<std::string_view> flagged_;
  AnomalyScan missing_scan_{AnomalyKind::missing_satellites};
  AnomalyScan unexpected_scan_{AnomalyKind::unexpected_satellites};
};

/// One satellite of an epoch record.
struct SatelliteVisibility {
  std::string satellite;
  std::string_view system;  // constellation name, a static text
  std::string_view status;  // status_text, a static text
  std::optional<double> cn0;  // dB-Hz; absent for a missing satellite
  double azimuth = 0.0;       // degrees; 0 for an unexpected satellite without a position
  double elevation = 0.0;
};

/// The comparison of one epoch, with identifiers and texts.
struct EpochVisibility {
  std::string timestamp;
  std::vector<SatelliteVisibility> satellites;  // predicted first, then unexpected
  std::uint64_t predicted_count = 0;
  std::uint64_t observed_count = 0;
  std::uint64_t confirmed_count = 0;
  std::uint64_t missing_count = 0;
  std::uint64_t unexpected_count = 0;
};

/// Every epoch's comparison and the visibility result. summary.prediction_source is the input's
/// source text, empty when no prediction could be made.
struct VisibilityOutcome {
  std::vector<EpochVisibility> epochs;
  result::VisibilityResult summary;
};

/// The last epoch of the predictor as an epoch record.
EpochVisibility epoch_visibility(const VisibilityPredictor& predictor);

/// Predicts and compares every epoch of the observations. Without an approximate receiver
/// position the outcome is empty (no epochs, no source text, zero figures).
VisibilityOutcome predict_visibility(const PredictionInput& input, const rinex::RinexObsData& observations);

}  // namespace qcn::visibility
