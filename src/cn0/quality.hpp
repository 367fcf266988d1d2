// The quality score of an analysis, its rating view, and the threat verdicts.
#pragma once

#include <string>

#include "result/analysis_result.hpp"

namespace qcn::cn0 {

/// Fills result.quality_score from the summary, coverage, anomaly count and visibility.
void fill_quality_score(result::AnalysisResult& result);

/// The five-component rating derived from a finished result.
struct QualityRating {
  double overall = 0.0;
  std::string rating;
  double cn0_quality = 0.0;
  double availability = 0.0;
  double continuity = 0.0;
  double stability = 0.0;
  double diversity = 0.0;
  bool post_processing_suitable = false;
};

QualityRating to_quality_score(const result::AnalysisResult& result);

bool jamming_detected(const result::AnalysisResult& result);
bool spoofing_detected(const result::AnalysisResult& result);
bool interference_detected(const result::AnalysisResult& result);

}  // namespace qcn::cn0
