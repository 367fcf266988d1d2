#include "cn0/analysis.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "cn0/anomalies.hpp"
#include "cn0/quality.hpp"
#include "cn0/skyplot.hpp"
#include "cn0/statistics.hpp"
#include "cn0/timeseries.hpp"
#include "navigation/geodesy.hpp"
#include "rinex/epoch_time.hpp"
#include "visibility/geometry.hpp"
#include "visibility/predictor.hpp"

namespace qcn::cn0 {

result::FileInfo file_info_of(const rinex::RinexObsData& observations) {
  result::FileInfo info;
  info.marker_name = observations.marker_name;
  info.receiver_type = observations.receiver_type;
  info.antenna_type = observations.antenna_type;
  info.interval = observations.interval;
  if (!observations.epochs.empty()) {
    const rinex::EpochTime& first = observations.epochs.front().time;
    const rinex::EpochTime& last = observations.epochs.back().time;
    info.start_time = rinex::timestamp_text(first);
    info.end_time = rinex::timestamp_text(last);
    info.duration_hours = rinex::seconds_between(last, first) / 3600.0;
  }
  if (observations.approx_position) {
    navigation::Geodetic position = navigation::geodetic_from_ecef(*observations.approx_position);
    info.position_lat = position.lat_deg;
    info.position_lon = position.lon_deg;
    info.position_height = position.height_m;
  }
  return info;
}

namespace {

/// The navigation-aided part of the pass over the epochs: each epoch's satellite geometry, the
/// look angles it gives the samples, and the visibility prediction fed with it.
class NavigationAid {
 public:
  NavigationAid(const AnalysisInput& input, const rinex::Ecef& receiver)
      : prediction_(visibility::make_prediction_input(*input.navigation, *input.observations, input.min_elevation)),
        receiver_(navigation::receiver_frame(receiver)),
        observed_(*input.observations),
        predictor_(prediction_) {}

  void begin_epoch(const rinex::ObservationEpoch& epoch) {
    visibility::geometry_at(prediction_, receiver_, epoch.time, geometry_);
    predictor_.add_epoch(epoch.time, geometry_, observed_.of(epoch));
  }

  /// An epoch the file lists without any value: every predicted satellite is missing.
  void empty_epoch(const rinex::EpochTime& time) {
    visibility::geometry_at(prediction_, receiver_, time, geometry_);
    predictor_.add_epoch(time, geometry_, {});
  }

  /// The satellite's look angles at the current epoch. A position whose angles are not finite
  /// (a record whose fields read 0) counts as none, so the sample keeps the defaults rather than
  /// passing the elevation mask with a NaN.
  void look_angles(std::string_view satellite, double& elevation, double& azimuth) const {
    const visibility::SatelliteGeometry* at = visibility::find_geometry(prediction_, geometry_, satellite);
    if (at == nullptr || !at->has_position) return;
    if (!std::isfinite(at->elevation_deg) || !std::isfinite(at->azimuth_deg)) return;
    elevation = at->elevation_deg;
    azimuth = at->azimuth_deg;
  }

  /// The visibility result, or nothing when no satellite was predicted at any epoch: navigation
  /// data of another day, or of systems the receiver does not record, describes nothing here.
  std::optional<result::VisibilityResult> finish() {
    if (!predictor_.has_predicted()) return std::nullopt;
    result::VisibilityResult visibility = predictor_.finish();
    visibility.has_prediction = true;
    return visibility;
  }

 private:
  visibility::PredictionInput prediction_;
  navigation::ReceiverFrame receiver_;
  visibility::ObservedReader observed_;
  visibility::VisibilityPredictor predictor_;
  visibility::EpochGeometry geometry_;
};

}  // namespace

Extraction extract_samples(const AnalysisInput& input) {
  const rinex::RinexObsData& observations = *input.observations;
  const std::vector<char>& letters = input.system_letters;
  const std::vector<char> is_cn0 = rinex::cn0_code_table(observations);
  std::optional<NavigationAid> aid;
  if (input.navigation != nullptr && observations.approx_position) aid.emplace(input, *observations.approx_position);
  SampleSetBuilder builder;
  auto empty_epoch = [&](const rinex::EpochTime& time) {
    if (aid) aid->empty_epoch(time);
  };
  auto stored_epoch = [&](const rinex::ObservationEpoch& epoch) {
    builder.begin_epoch(epoch.time);
    if (aid) aid->begin_epoch(epoch);
    for (const rinex::SatelliteObservations& satellite : rinex::satellites_of(observations, epoch)) {
      if (std::find(letters.begin(), letters.end(), satellite.satellite.system()) == letters.end()) continue;
      double elevation = 45.0;
      double azimuth = 0.0;
      if (aid) aid->look_angles(satellite.satellite.view(), elevation, azimuth);
      if (input.min_elevation > elevation) continue;
      builder.begin_satellite(satellite.satellite.view(), elevation, azimuth);
      for (const rinex::Observation& observation : rinex::observations_of(observations, satellite)) {
        double value = observation.value;
        if (is_cn0[observation.code] && input.min_cn0 <= value && value <= input.max_cn0) {
          builder.add(static_cast<std::uint32_t>(observation.code), value);
        }
      }
    }
  };
  rinex::visit_epochs_in_file_order(observations, stored_epoch, empty_epoch);
  Extraction extraction{builder.finish(observations.obs_codes), std::nullopt};
  // Without a receiver position nothing can be predicted, and the result has no prediction.
  if (aid) extraction.visibility = aid->finish();
  return extraction;
}

result::AnalysisResult run_analysis(const AnalysisInput& input) {
  const rinex::RinexObsData& observations = *input.observations;
  result::AnalysisResult result;
  result.file_info = file_info_of(observations);
  // Epochs listed without any value still tell what the receiver should have seen.
  if (observations.epochs.empty() && observations.empty_epochs.empty()) return result;

  Extraction extraction = extract_samples(input);
  const SampleSet& set = extraction.samples;
  // A receiver that lost every signal has no samples, but the satellites it should have seen
  // are still reported as missing.
  result.visibility = std::move(extraction.visibility);
  if (set.empty()) return result;
  SampleGroups groups = group_samples(set);

  fill_summary_and_satellite_stats(result, set, groups, observations);
  fill_constellation_stats(result, set, groups, observations);
  fill_timeseries(result, set, groups);
  fill_skyplot(result, set, groups);
  detect_anomalies(result, set, groups,
                   {input.anomaly_threshold_low, input.anomaly_threshold_high, input.anomaly_threshold_critical});
  fill_quality_score(result);
  result.spoofing_unexpected_threshold = input.spoofing_unexpected_threshold;
  result.spoofing_min_unexpected_count = input.spoofing_min_unexpected_count;
  return result;
}

}  // namespace qcn::cn0
