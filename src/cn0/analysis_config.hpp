// The options of one C/N0 analysis, and the subset of them the analysis reads.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cn0/assessment_settings.hpp"
#include "navigation/nav_data.hpp"
#include "parallel/thread_pool.hpp"
#include "rinex/obs_data.hpp"

namespace qcn::cn0 {

/// A configuration does not change once built.
struct AnalysisConfig {
  std::optional<std::vector<std::string>> systems;  // each entry's first character is a system letter
  std::optional<std::string> nav_file;
  double min_elevation = 5.0;  // degrees
  double min_cn0 = 0.0;        // dB-Hz, inclusive
  double max_cn0 = 60.0;       // dB-Hz, inclusive
  double anomaly_threshold_low = 3.0;       // multiplier of the noise floor
  double anomaly_threshold_high = 6.0;      // dB-Hz
  double anomaly_threshold_critical = 10.0;  // dB-Hz
  double anomaly_sensitivity = 0.5;
  double interference_threshold_db = 6.0;  // carried, not read
  double spoofing_unexpected_threshold = 0.4;
  double spoofing_min_unexpected_count = 8.0;
  std::uint32_t time_bin_seconds = 60;  // carried: the series are per epoch
  bool detect_anomalies = true;         // carried: detection always runs
  bool verbose = false;                 // carried: the analysis writes nothing
  AssessmentSettings assessment;        // thresholds of the interference assessment
};

/// A configuration built as the class constructor builds it: the low and high thresholds are
/// scaled by 1 - 0.5 * sensitivity, the critical one is not.
AnalysisConfig scaled_config(AnalysisConfig given);

/// The fixed configuration of the quick analysis and the analyzer built from observations.
AnalysisConfig quick_config(double min_elevation, std::optional<std::vector<std::string>> systems,
                            std::uint32_t time_bin_seconds = 60);

/// The first character of each non-empty entry, in order; G, R, E, C without a filter.
std::vector<char> system_letters(const std::optional<std::vector<std::string>>& systems);

/// What the analysis reads: the configuration as given, and the observations and navigation
/// data, lent, not copied.
struct AnalysisInput {
  AnalysisConfig config;
  const rinex::RinexObsData* observations = nullptr;
  const navigation::NavigationData* navigation = nullptr;
  parallel::Pool* pool = nullptr;  // the threads the independent steps run on; none: one after another
  // Called once the observations are no longer read, when the caller may free them early.
  std::function<void()> release_observations;
};

AnalysisInput analysis_input(const AnalysisConfig& config, const rinex::RinexObsData& observations,
                             const navigation::NavigationData* navigation);

}  // namespace qcn::cn0
