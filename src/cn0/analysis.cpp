#include "cn0/analysis.hpp"

#include <algorithm>

#include "cn0/anomalies.hpp"
#include "cn0/quality.hpp"
#include "cn0/skyplot.hpp"
#include "cn0/statistics.hpp"
#include "cn0/timeseries.hpp"
#include "navigation/geodesy.hpp"
#include "rinex/epoch_time.hpp"

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

/// Which observation codes carry C/N0: those beginning with S.
std::vector<bool> cn0_codes(const rinex::RinexObsData& observations) {
  std::vector<bool> is_cn0(observations.obs_codes.size());
  for (std::size_t i = 0; i < is_cn0.size(); ++i) {
    const std::string& code = observations.obs_codes[i];
    is_cn0[i] = !code.empty() && code.front() == 'S';
  }
  return is_cn0;
}

}  // namespace

SampleSet extract_samples(const AnalysisInput& input) {
  const rinex::RinexObsData& observations = *input.observations;
  const std::vector<char>& letters = input.system_letters;
  std::vector<bool> is_cn0 = cn0_codes(observations);
  SampleSetBuilder builder;
  for (const rinex::ObservationEpoch& epoch : observations.epochs) {
    builder.begin_epoch(rinex::timestamp_text(epoch.time));
    for (const rinex::SatelliteObservations& satellite : rinex::satellites_of(observations, epoch)) {
      if (std::find(letters.begin(), letters.end(), satellite.satellite.system()) == letters.end()) continue;
      double elevation = 45.0;
      double azimuth = 0.0;
      if (input.min_elevation > elevation) continue;
      builder.begin_satellite(satellite.satellite.view(), elevation, azimuth);
      for (const rinex::Observation& observation : rinex::observations_of(observations, satellite)) {
        double value = observation.value;
        if (is_cn0[observation.code] && input.min_cn0 <= value && value <= input.max_cn0) {
          builder.add(static_cast<std::uint32_t>(observation.code), value);
        }
      }
    }
  }
  return builder.finish(observations.obs_codes);
}

result::AnalysisResult run_analysis(const AnalysisInput& input) {
  const rinex::RinexObsData& observations = *input.observations;
  result::AnalysisResult result;
  result.file_info = file_info_of(observations);
  if (observations.epochs.empty()) return result;

  SampleSet set = extract_samples(input);
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
