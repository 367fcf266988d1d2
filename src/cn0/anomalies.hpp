// Epochs at which several satellites lose C/N0 together against their own baselines.
#pragma once

#include "cn0/samples.hpp"
#include "result/analysis_result.hpp"

namespace qcn::cn0 {

struct AnomalyThresholds {
  double low = 3.0;        // multiplier of the noise floor
  double high = 6.0;       // dB-Hz
  double critical = 10.0;  // dB-Hz
};

/// Appends one event per affected epoch to result.anomalies and fills the summary's counts.
void detect_anomalies(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups,
                      const AnomalyThresholds& thresholds);

}  // namespace qcn::cn0
