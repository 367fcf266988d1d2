// Per-epoch comparison of predicted and received satellites, and the whole-file prediction.
#include "visibility/predictor.hpp"

#include <algorithm>
#include <cmath>

#include "visibility/satellite_system.hpp"

namespace qcn::visibility {

namespace {

// Earth-centre distances outside this band are not orbits of navigation satellites.
constexpr double kMinOrbitDistance = 2e7;  // m
constexpr double kMaxOrbitDistance = 5e7;  // m
// A received satellite is unexpected only this far below the horizon: refraction, antenna height
// and orbit errors put satellites a little under 0 degrees within reach of a receiver.
constexpr double kUnexpectedBelowDeg = -1.0;

// A position that the orbits vouch for: within the band of navigation orbits, with a real elevation.
// A NaN distance passes the band test; its elevation is NaN too and fails after it.
bool is_credible(const SatelliteGeometry& geometry) {
  if (!geometry.has_position) return false;
  if (geometry.distance_m < kMinOrbitDistance || geometry.distance_m > kMaxOrbitDistance) return false;
  const double elevation = geometry.elevation_deg;
  return !std::isnan(elevation) && std::fabs(elevation) <= 90.0;
}

bool is_below_horizon(const SatelliteGeometry& geometry) {
  return is_credible(geometry) && geometry.elevation_deg < kUnexpectedBelowDeg;
}

}  // namespace

std::string_view status_text(VisibilityStatus status) {
  switch (status) {
    case VisibilityStatus::confirmed: return "confirmed";
    case VisibilityStatus::missing: return "missing";
    case VisibilityStatus::unexpected: return "unexpected";
  }
  return "";
}

ObservedReader::ObservedReader(const rinex::RinexObsData& data)
    : data_(&data), is_cn0_code_(rinex::cn0_code_table(data)) {}

std::span<const ObservedSatellite> ObservedReader::of(const rinex::ObservationEpoch& epoch) {
  observed_.clear();
  for (const rinex::SatelliteObservations& satellite : rinex::satellites_of(*data_, epoch)) {
    for (const rinex::Observation& observation : rinex::observations_of(*data_, satellite)) {
      // A NaN fails the comparison and does not count.
      if (is_cn0_code_[observation.code] && observation.value > 0.0) {
        observed_.push_back({satellite.satellite, observation.value, satellite.number});
        break;
      }
    }
  }
  return observed_;
}

VisibilityPredictor::VisibilityPredictor(const PredictionInput& input)
    : source_(input.source), elevation_mask_(input.elevation_mask), listed_(input.satellites.size()) {
  for (const std::string& satellite : input.satellites) {
    add_satellite(tally_, satellite);
    listed_system_.push_back(summary_system_index(satellite));
    const bool predictable = !satellite.empty() && !input.unrecorded_systems[static_cast<unsigned char>(satellite.front())];
    listed_predictable_.push_back(predictable);
  }
  observed_at_.assign(listed_, 0);
  predicted_at_.assign(listed_, 0);
  observed_cn0_.assign(listed_, 0.0);
  listed_by_number_ = input.listed_by_number;
}

std::int64_t VisibilityPredictor::number_of(const rinex::SatelliteId& satellite) {
  auto [it, inserted] = numbers_.try_emplace(satellite.key(), -1);
  if (inserted) it->second = sorted_index(std::span(tally_.satellites).first(listed_), satellite.view());
  return it->second;
}

bool VisibilityPredictor::is_predicted(std::uint32_t satellite, const SatelliteGeometry& geometry) const {
  return listed_predictable_[satellite] && is_credible(geometry) && geometry.elevation_deg >= elevation_mask_;
}

void VisibilityPredictor::mark_predicted(const EpochGeometry& geometry, std::uint64_t stamp) {
  const std::size_t count = std::min(listed_, geometry.satellites.size());
  for (std::uint32_t k = 0; k < count; ++k) {
    if (is_predicted(k, geometry.satellites[k])) predicted_at_[k] = stamp;
  }
}

void VisibilityPredictor::collect_observed(const EpochGeometry& geometry,
                                           std::span<const ObservedSatellite> observed, std::uint64_t stamp) {
  observed_now_.clear();
  for (const ObservedSatellite& o : observed) {
    const std::int64_t number = o.number < listed_by_number_.size() ? listed_by_number_[o.number] : number_of(o.satellite);
    if (number < 0 || static_cast<std::size_t>(number) >= geometry.satellites.size()) continue;
    const auto n = static_cast<std::uint32_t>(number);
    if (observed_at_[n] == stamp) continue;  // listed twice: the first counts
    if (predicted_at_[n] != stamp && !is_below_horizon(geometry.satellites[n])) continue;
    observed_at_[n] = stamp;
    observed_cn0_[n] = o.cn0_dbhz;
    observed_now_.push_back(n);
  }
}

void VisibilityPredictor::compare_predicted(const EpochGeometry& geometry, std::uint64_t stamp) {
  const std::size_t count = std::min(listed_, geometry.satellites.size());
  for (std::uint32_t k = 0; k < count; ++k) {
    if (predicted_at_[k] != stamp) continue;
    const SatelliteGeometry& g = geometry.satellites[k];
    ++last_.predicted_count;
    if (listed_system_[k] >= 0) ++tally_.predicted_by_system[static_cast<std::size_t>(listed_system_[k])];
    if (observed_at_[k] == stamp) {
      last_.satellites.push_back({k, VisibilityStatus::confirmed, observed_cn0_[k], g.azimuth_deg, g.elevation_deg});
      ++last_.confirmed_count;
      count_confirmed(tally_, k);
    } else {
      last_.satellites.push_back({k, VisibilityStatus::missing, 0.0, g.azimuth_deg, g.elevation_deg});
      ++last_.missing_count;
      count_missing(tally_, k);
    }
  }
}

void VisibilityPredictor::compare_unexpected(const EpochGeometry& geometry, std::uint64_t stamp) {
  for (std::uint32_t n : observed_now_) {
    if (predicted_at_[n] == stamp) continue;
    const SatelliteGeometry& g = geometry.satellites[n];
    last_.satellites.push_back({n, VisibilityStatus::unexpected, observed_cn0_[n], g.azimuth_deg, g.elevation_deg});
    ++last_.unexpected_count;
    count_unexpected(tally_, n);
  }
}

void VisibilityPredictor::add_epoch(const rinex::EpochTime& time, const EpochGeometry& geometry,
                                    std::span<const ObservedSatellite> observed) {
  const std::uint64_t stamp = tally_.epochs + 1;
  last_.timestamp.clear();
  rinex::append_timestamp_text(last_.timestamp, time);
  last_.satellites.clear();
  last_.predicted_count = last_.observed_count = last_.confirmed_count = 0;
  last_.missing_count = last_.unexpected_count = 0;

  mark_predicted(geometry, stamp);
  collect_observed(geometry, observed, stamp);
  last_.observed_count = observed_now_.size();
  compare_predicted(geometry, stamp);
  compare_unexpected(geometry, stamp);

  ++tally_.epochs;
  tally_.predicted += last_.predicted_count;
  tally_.observed += last_.observed_count;
  tally_.confirmed += last_.confirmed_count;
  tally_.missing += last_.missing_count;
  tally_.unexpected += last_.unexpected_count;
  epochs_.push_back({rinex::nanoseconds_since_1970(time).value_or(result::kNoTime),
                     static_cast<std::uint32_t>(last_.predicted_count), static_cast<std::uint32_t>(last_.observed_count),
                     static_cast<std::uint32_t>(last_.confirmed_count), static_cast<std::uint32_t>(last_.missing_count),
                     static_cast<std::uint32_t>(last_.unexpected_count)});
  scan_anomalies();
}

void VisibilityPredictor::scan_anomalies() {
  for (VisibilityStatus status : {VisibilityStatus::missing, VisibilityStatus::unexpected}) {
    flagged_.clear();
    for (const SatelliteOutcome& s : last_.satellites) {
      if (s.status == status) flagged_.push_back(tally_.satellites[s.satellite]);
    }
    AnomalyScan& scan = status == VisibilityStatus::missing ? missing_scan_ : unexpected_scan_;
    scan.add_epoch(last_.timestamp, last_.predicted_count, flagged_);
  }
}

result::VisibilityResult VisibilityPredictor::finish() {
  // Anomalies need two epochs at least; a single epoch never makes one.
  if (tally_.epochs >= 2) {
    missing_scan_.finish();
    unexpected_scan_.finish();
  }
  result::VisibilityResult out;
  out.prediction_source = source_;
  summarize(tally_, out);
  out.anomalies = missing_scan_.take_anomalies();
  for (result::VisibilityAnomaly& anomaly : unexpected_scan_.take_anomalies()) {
    out.anomalies.push_back(std::move(anomaly));
  }
  out.epochs = std::move(epochs_);
  return out;
}

EpochVisibility epoch_visibility(const VisibilityPredictor& predictor) {
  const EpochComparison& epoch = predictor.last_epoch();
  EpochVisibility record;
  record.timestamp = epoch.timestamp;
  record.satellites.reserve(epoch.satellites.size());
  for (const SatelliteOutcome& s : epoch.satellites) {
    const std::string& name = predictor.satellite_name(s.satellite);
    std::optional<double> cn0;
    if (s.status != VisibilityStatus::missing) cn0 = s.cn0_dbhz;
    record.satellites.push_back(
        {name, constellation_name(name), status_text(s.status), cn0, s.azimuth_deg, s.elevation_deg});
  }
  record.predicted_count = epoch.predicted_count;
  record.observed_count = epoch.observed_count;
  record.confirmed_count = epoch.confirmed_count;
  record.missing_count = epoch.missing_count;
  record.unexpected_count = epoch.unexpected_count;
  return record;
}

VisibilityOutcome predict_visibility(const PredictionInput& input, const rinex::RinexObsData& observations) {
  VisibilityOutcome outcome;
  if (!observations.approx_position) return outcome;
  const navigation::ReceiverFrame receiver = navigation::receiver_frame(*observations.approx_position);
  VisibilityPredictor predictor(input);
  ObservedReader reader(observations);
  EpochGeometry geometry;
  outcome.epochs.reserve(observations.epochs.size());
  auto compare = [&](const rinex::EpochTime& time, std::span<const ObservedSatellite> observed) {
    geometry_at(input, receiver, time, geometry);
    predictor.add_epoch(time, geometry, observed);
    outcome.epochs.push_back(epoch_visibility(predictor));
  };
  rinex::visit_epochs_in_file_order(
      observations, [&](const rinex::ObservationEpoch& epoch) { compare(epoch.time, reader.of(epoch)); },
      [&](const rinex::EpochTime& time) { compare(time, {}); });
  outcome.summary = predictor.finish();
  return outcome;
}

}  // namespace qcn::visibility
