#include "cn0/analysis_config.hpp"

#include <utility>

namespace qcn::cn0 {

AnalysisConfig scaled_config(AnalysisConfig given) {
  double factor = 1.0 + (-0.5 * given.anomaly_sensitivity);
  given.anomaly_threshold_low *= factor;
  given.anomaly_threshold_high *= factor;
  return given;
}

AnalysisConfig quick_config(double min_elevation, std::optional<std::vector<std::string>> systems,
                            std::uint32_t time_bin_seconds) {
  AnalysisConfig config;
  config.systems = std::move(systems);
  config.min_elevation = min_elevation;
  config.time_bin_seconds = time_bin_seconds;
  return config;
}

std::vector<char> system_letters(const std::optional<std::vector<std::string>>& systems) {
  if (!systems) return {'G', 'R', 'E', 'C'};
  std::vector<char> letters;
  for (const std::string& entry : *systems) {
    if (!entry.empty()) letters.push_back(entry.front());
  }
  return letters;
}

AnalysisInput analysis_input(const AnalysisConfig& config, const rinex::RinexObsData& observations,
                             const navigation::NavigationData* navigation) {
  AnalysisInput input;
  input.observations = &observations;
  input.system_letters = system_letters(config.systems);
  input.min_elevation = config.min_elevation;
  input.min_cn0 = config.min_cn0;
  input.max_cn0 = config.max_cn0;
  input.time_bin_seconds = config.time_bin_seconds;
  input.anomaly_threshold_low = config.anomaly_threshold_low;
  input.anomaly_threshold_high = config.anomaly_threshold_high;
  input.anomaly_threshold_critical = config.anomaly_threshold_critical;
  input.spoofing_unexpected_threshold = config.spoofing_unexpected_threshold;
  input.spoofing_min_unexpected_count = config.spoofing_min_unexpected_count;
  input.navigation = navigation;
  return input;
}

}  // namespace qcn::cn0
