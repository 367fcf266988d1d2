#include "cn0/analysis.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "cn0/anomalies.hpp"
#include "cn0/assessment.hpp"
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
      : prediction_(visibility::make_prediction_input(*input.navigation, *input.observations, input.config.min_elevation)),
        receiver_(navigation::receiver_frame(receiver)),
        observed_(*input.observations),
        predictor_(prediction_) {
    for (std::size_t number = 0; number < prediction_.listed_by_number.size(); ++number) {
      const std::int32_t k = prediction_.listed_by_number[number];
      if (k < 0) continue;
      const auto listed = static_cast<std::size_t>(k);
      if (number_of_listed_.size() <= listed) number_of_listed_.resize(listed + 1, kUnrecorded);
      number_of_listed_[listed] = static_cast<std::uint32_t>(number);
    }
  }

  /// Computes the geometry of the next epochs, on the pool's threads: geometry k is that of times[k].
  void prepare(std::span<const rinex::EpochTime> times, parallel::Pool* pool) {
    if (block_.size() < times.size()) block_.resize(times.size());
    visibility::geometry_of_epochs(prediction_, receiver_, times, std::span(block_).first(times.size()), steps_, pool);
  }

  /// Compares the epoch whose geometry was prepared at place k.
  void begin_epoch(std::size_t k, const rinex::ObservationEpoch& epoch) {
    current_ = &block_[k];
    predictor_.add_epoch(epoch.time, *current_, observed_.of(epoch));
  }

  /// An epoch the file lists without any value: every predicted satellite is missing.
  void empty_epoch(std::size_t k, const rinex::EpochTime& time) {
    current_ = &block_[k];
    predictor_.add_epoch(time, *current_, {});
  }

  /// The look angles at the current epoch of the satellite with this number in the observation
  /// record. A position whose angles are not finite (a record whose fields read 0) counts as none,
  /// so the sample keeps the defaults rather than passing the elevation mask with a NaN.
  /// Whether they were found.
  bool look_angles(std::uint32_t number, double& elevation, double& azimuth) const {
    const std::int32_t k = number < prediction_.listed_by_number.size() ? prediction_.listed_by_number[number] : -1;
    if (k < 0 || static_cast<std::size_t>(k) >= current_->satellites.size()) return false;
    const visibility::SatelliteGeometry* at = &current_->satellites[static_cast<std::size_t>(k)];
    if (!at->has_position) return false;
    if (!std::isfinite(at->elevation_deg) || !std::isfinite(at->azimuth_deg)) return false;
    elevation = at->elevation_deg;
    azimuth = at->azimuth_deg;
    return true;
  }

  /// Adds a row for the epoch compared last, with the recorded satellites it predicted.
  void mark_predicted(PredictedSky& sky) const {
    sky.add_epoch();
    for (const visibility::SatelliteOutcome& s : predictor_.last_epoch().satellites) {
      if (s.status == visibility::VisibilityStatus::unexpected) continue;
      if (s.satellite < number_of_listed_.size() && number_of_listed_[s.satellite] != kUnrecorded) {
        sky.mark(number_of_listed_[s.satellite]);
      }
    }
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
  std::vector<visibility::EpochGeometry> block_;  // the geometry of the epochs being read
  std::vector<navigation::GlonassSteps> steps_;  // per satellite of the prediction list
  const visibility::EpochGeometry* current_ = nullptr;
  static constexpr std::uint32_t kUnrecorded = static_cast<std::uint32_t>(-1);
  std::vector<std::uint32_t> number_of_listed_;  // per prediction-list satellite: its record number
};

/// An epoch in file order: a stored one, or the time of an empty one.
struct FileEpoch {
  const rinex::ObservationEpoch* stored = nullptr;
  rinex::EpochTime time;
};

// Epochs whose geometry is computed together, side by side on the pool.
constexpr std::size_t kGeometryBlock = 128;

}  // namespace

Extraction extract_samples(const AnalysisInput& input) {
  const rinex::RinexObsData& observations = *input.observations;
  const std::vector<char> letters = system_letters(input.config.systems);
  const std::vector<char> is_cn0 = rinex::cn0_code_table(observations);
  std::optional<NavigationAid> aid;
  if (input.navigation != nullptr && observations.approx_position) aid.emplace(input, *observations.approx_position);
  SampleSetBuilder builder;
  // Every sample is a stored C/N0 value, every sighting a stored satellite of an epoch.
  std::size_t cn0_values = 0;
  for (const rinex::Observation& observation : observations.observations) cn0_values += is_cn0[observation.code] != 0;
  builder.reserve(cn0_values, observations.satellites.size(), observations.epochs.size());
  auto stored_epoch = [&](std::size_t k, const rinex::ObservationEpoch& epoch) {
    builder.begin_epoch(epoch.time);
    if (aid) aid->begin_epoch(k, epoch);
    for (const rinex::SatelliteObservations& satellite : rinex::satellites_of(observations, epoch)) {
      if (std::find(letters.begin(), letters.end(), satellite.satellite.system()) == letters.end()) continue;
      double elevation = 45.0;
      double azimuth = 0.0;
      const bool has_angles = aid && aid->look_angles(satellite.number, elevation, azimuth);
      if (input.config.min_elevation > elevation) continue;
      builder.begin_satellite(satellite.number, satellite.satellite, elevation, azimuth, has_angles);
      for (const rinex::Observation& observation : rinex::observations_of(observations, satellite)) {
        double value = observation.value;
        if (is_cn0[observation.code] && input.config.min_cn0 <= value && value <= input.config.max_cn0) {
          builder.add(static_cast<std::uint32_t>(observation.code), value);
        }
      }
    }
  };
  std::vector<FileEpoch> epochs;
  epochs.reserve(observations.epochs.size() + observations.empty_epochs.size());
  rinex::visit_epochs_in_file_order(
      observations, [&](const rinex::ObservationEpoch& epoch) { epochs.push_back({&epoch, epoch.time}); },
      [&](const rinex::EpochTime& time) { epochs.push_back({nullptr, time}); });
  std::vector<rinex::EpochTime> times;
  FileEpochs file_epochs;
  file_epochs.times.reserve(epochs.size());
  file_epochs.time_index.reserve(epochs.size());
  PredictedSky sky(aid ? observations.satellite_ids.size() : 0);
  for (std::size_t first = 0; first < epochs.size(); first += kGeometryBlock) {
    const std::size_t count = std::min(kGeometryBlock, epochs.size() - first);
    if (aid) {
      times.clear();
      for (std::size_t k = 0; k < count; ++k) times.push_back(epochs[first + k].time);
      aid->prepare(times, input.pool);
    }
    for (std::size_t k = 0; k < count; ++k) {
      const FileEpoch& epoch = epochs[first + k];
      std::uint32_t time_index = kNoTimeIndex;
      if (epoch.stored != nullptr) {
        stored_epoch(k, *epoch.stored);
        time_index = builder.epoch_time();
      } else if (aid) {
        aid->empty_epoch(k, epoch.time);
      }
      if (aid) aid->mark_predicted(sky);
      file_epochs.times.push_back(epoch.time);
      file_epochs.time_index.push_back(time_index);
    }
  }
  Extraction extraction{builder.finish(observations.obs_codes), std::nullopt, std::move(file_epochs), std::move(sky)};
  // Without a receiver position nothing can be predicted, and the result has no prediction.
  if (aid) extraction.visibility = aid->finish();
  return extraction;
}

namespace {

AssessmentInput assessment_input(const AnalysisInput& input, const Extraction& extraction, const SampleGroups& groups,
                                 const AssessmentHeader& header, const result::AnalysisResult& result) {
  return {&extraction.samples, &groups.by_time, &extraction.epochs, &extraction.sky, header,
          result.visibility ? &*result.visibility : nullptr, input.config.assessment};
}

}  // namespace

result::AnalysisResult run_analysis(const AnalysisInput& input) {
  const rinex::RinexObsData& observations = *input.observations;
  result::AnalysisResult result;
  result.file_info = file_info_of(observations);
  // Epochs listed without any value still tell what the receiver should have seen.
  if (observations.epochs.empty() && observations.empty_epochs.empty()) return result;

  Extraction extraction = extract_samples(input);
  const SampleSet& set = extraction.samples;
  // A receiver that lost every signal has no samples, but the satellites it should have seen
  // are still reported as missing, and the assessment tells the loss.
  result.visibility = std::move(extraction.visibility);
  const AssessmentHeader header = assessment_header(observations, input.config);
  if (set.empty()) {
    const SampleGroups no_groups = group_samples(set);
    result.assessment = assess_reception(assessment_input(input, extraction, no_groups, header, result));
    return result;
  }
  const ObservationFigures figures = observation_figures(observations);
  // Nothing reads the record any more: an owner that lent it for this analysis alone gets its
  // memory back before the result grows.
  if (input.release_observations) input.release_observations();
  const SampleGroups groups = group_samples(set);
  const AssessmentInput assessment = assessment_input(input, extraction, groups, header, result);

  // The steps read the samples and fill separate parts of the result, so they may run side by
  // side; the anomaly events fill a record of their own, whose summary counts are copied after.
  result::AnalysisResult events;
  const AnomalyThresholds thresholds{input.config.anomaly_threshold_low, input.config.anomaly_threshold_high,
                                     input.config.anomaly_threshold_critical};
  std::optional<result::Assessment> assessed;
  std::vector<std::vector<float>> expected;
  parallel::run_tasks(input.pool, 6, [&](std::size_t step) {
    switch (step) {
      case 0: assessed = assess_reception(assessment, &expected); break;
      case 1: fill_summary_and_satellite_stats(result, set, groups, figures); break;
      case 2: fill_constellation_stats(result, set, groups, figures); break;
      case 3: fill_timeseries(result, set, groups); break;
      case 4: fill_skyplot(result, set, groups); break;
      default: detect_anomalies(events, set, groups, thresholds); break;
    }
  });
  result.assessment = std::move(assessed);
  attach_expected_cn0(result.timeseries, set, std::move(expected));
  result.anomalies = std::move(events.anomalies);
  result.summary.anomaly_count = events.summary.anomaly_count;
  result.summary.critical_count = events.summary.critical_count;
  result.summary.high_count = events.summary.high_count;
  result.summary.low_count = events.summary.low_count;
  fill_quality_score(result);
  result.spoofing_unexpected_threshold = input.config.spoofing_unexpected_threshold;
  result.spoofing_min_unexpected_count = input.config.spoofing_min_unexpected_count;
  return result;
}

}  // namespace qcn::cn0
