// The interference assessment: every epoch judged band by band against what the receiver should
// have seen, the degraded epochs merged into episodes, and the signs of spoofing.
#pragma once

#include <optional>
#include <cstdint>
#include <vector>

#include "cn0/analysis_config.hpp"
#include "cn0/assessment_settings.hpp"
#include "cn0/epoch_timeline.hpp"
#include "cn0/predicted_sky.hpp"
#include "cn0/samples.hpp"
#include "result/analysis_result.hpp"
#include "rinex/obs_data.hpp"

namespace qcn::cn0 {

/// What the assessment needs of the observation header, taken before the record may be freed.
struct AssessmentHeader {
  std::uint8_t bands = 0;         // bands of the C/N0 codes declared for the analysed systems
  double interval_seconds = 0.0;  // the header's interval; 0 when absent
};

AssessmentHeader assessment_header(const rinex::RinexObsData& observations, const AnalysisConfig& config);

struct AssessmentInput {
  const SampleSet* set = nullptr;
  const TimeGroups* by_time = nullptr;
  const FileEpochs* epochs = nullptr;
  const PredictedSky* sky = nullptr;  // empty without navigation data
  AssessmentHeader header;
  const result::VisibilityResult* visibility = nullptr;  // null without a prediction
  AssessmentSettings settings;
};

/// The assessment, or nothing for a file without epochs or without any C/N0 code of the
/// analysed systems. expected, when given, receives per satellite of the samples the C/N0 each of
/// its points was judged against, in the order of its points (NaN where it had no expectation
/// yet), or nothing without an assessment.
std::optional<result::Assessment> assess_reception(const AssessmentInput& input,
                                                   std::vector<std::vector<float>>* expected = nullptr);

}  // namespace qcn::cn0
