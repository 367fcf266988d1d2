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
  input.config = config;
  input.observations = &observations;
  input.navigation = navigation;
  return input;
}

}  // namespace qcn::cn0
