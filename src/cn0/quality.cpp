// The quality score of an analysis, its rating view, and the threat verdicts.
#include "cn0/quality.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace qcn::cn0 {

namespace {

/// Limits a partial score to 0..100; NaN scores 0.
double clamp_score(double score) { return std::fmin(100.0, std::fmax(0.0, score)); }

double cn0_score_of(double mean_cn0_dbhz) { return clamp_score((mean_cn0_dbhz - 30.0) / 15.0 * 100.0); }

double consistency_score_of(const result::AnalysisResult& result) {
  const std::uint64_t epochs = result.summary.total_epochs == 0 ? 1 : result.summary.total_epochs;
  // An anomaly event in a tenth of the epochs leaves nothing.
  double score = clamp_score(
      (static_cast<double>(result.summary.anomaly_count) / static_cast<double>(epochs) * (-10.0) + 1.0) * 100.0);
  if (result.visibility) {
    const result::VisibilityResult& visibility = *result.visibility;
    const double confirmation_penalty = std::fmin(std::fmax(0.0, (100.0 - visibility.confirmation_rate) * 0.5), 30.0);
    const double unexpected_penalty = std::fmin(std::fmax(0.0, visibility.mean_unexpected * 5.0), 20.0);
    score = clamp_score(score - confirmation_penalty - unexpected_penalty);
  }
  return score;
}

std::string grade_of(double overall) {
  if (overall >= 90.0) return "A";
  if (overall >= 80.0) return "B";
  if (overall >= 70.0) return "C";
  if (overall >= 60.0) return "D";
  return "F";
}

const char* interpretation_of(double overall) {
  if (overall >= 90.0) return "Excellent GNSS signal quality";
  if (overall >= 80.0) return "Good GNSS signal quality";
  if (overall >= 70.0) return "Fair GNSS signal quality with some issues";
  if (overall >= 60.0) return "Poor GNSS signal quality";
  return "Very poor GNSS signal quality - significant interference suspected";
}

/// The visibility warning appended to the interpretation; empty without a prediction.
const char* visibility_warning(const result::AnalysisResult& result) {
  if (!result.visibility) return "";
  const result::VisibilityResult& visibility = *result.visibility;
  if (visibility.mean_observed > 0.0 && visibility.mean_unexpected > 5.0 &&
      visibility.mean_unexpected / visibility.mean_observed > 0.3) {
    return " - WARNING: Many unexpected satellites detected";
  }
  if (visibility.mean_predicted > 10.0 && visibility.confirmation_rate < 50.0) {
    return " - WARNING: Low satellite confirmation rate";
  }
  return "";
}

double availability_of(const result::AnalysisResult& result) {
  std::uint64_t seen = 0;
  std::uint64_t expected = 0;
  for (const auto& [name, stats] : result.constellation_stats) {
    seen += stats.satellite_count;
    expected += stats.satellites_expected;
  }
  // Without any expectation to measure against, availability is neither good nor bad.
  if (expected == 0) return 50.0;
  return std::min(static_cast<double>(seen) / static_cast<double>(expected) * 100.0, 100.0);
}

double stability_of(const result::AnalysisResult& result) {
  double mean_std_db = 5.0;
  if (!result.constellation_stats.empty()) {
    double sum = 0.0;
    for (const auto& [name, stats] : result.constellation_stats) sum += stats.std_cn0;
    mean_std_db = sum / static_cast<double>(result.constellation_stats.size());
  }
  return std::clamp((10.0 - mean_std_db) * 0.125 * 100.0, 0.0, 100.0);
}

double continuity_of(const result::AnalysisResult& result) {
  std::uint64_t gaps = 0;
  for (const auto& [name, stats] : result.constellation_stats) gaps += stats.data_gaps;
  const std::uint64_t epochs = result.summary.total_epochs == 0 ? 1 : result.summary.total_epochs;
  const std::size_t systems = result.constellation_stats.empty() ? 1 : result.constellation_stats.size();
  const double share =
      std::min(static_cast<double>(gaps) / (static_cast<double>(systems) * static_cast<double>(epochs)), 1.0);
  return std::clamp((1.0 - share) * 100.0, 0.0, 100.0);
}

double diversity_of(const result::AnalysisResult& result) {
  return std::min(static_cast<double>(result.summary.systems_observed.size()) * 0.25 * 100.0, 100.0);
}

const char* rating_of(double overall) {
  if (overall >= 90.0) return "A - Excellent";
  if (overall >= 80.0) return "B - Good";
  if (overall >= 70.0) return "C - Fair";
  if (overall >= 60.0) return "D - Poor";
  return "F - Very Poor";
}

/// Number of epoch-series points, at least 1, as the divisor of the event rates.
double epoch_points(const result::AnalysisResult& result) {
  const std::size_t points = result.timeseries.timestamps.size();
  return static_cast<double>(points == 0 ? 1 : points);
}

}  // namespace

void fill_quality_score(result::AnalysisResult& result) {
  result::QualityAssessment& score = result.quality_score;
  score.cn0_score = cn0_score_of(result.summary.mean_cn0);
  score.coverage_score = clamp_score(result.skyplot.coverage_percent);
  score.consistency_score = consistency_score_of(result);
  score.overall = score.consistency_score * 0.4 + (score.coverage_score * 0.25 + score.cn0_score * 0.35);
  score.grade = grade_of(score.overall);
  score.interpretation = std::string(interpretation_of(score.overall)) + visibility_warning(result);
}

QualityRating to_quality_score(const result::AnalysisResult& result) {
  QualityRating rating;
  rating.cn0_quality = result.quality_score.cn0_score;
  rating.availability = availability_of(result);
  rating.continuity = continuity_of(result);
  rating.stability = stability_of(result);
  rating.diversity = diversity_of(result);
  rating.overall = (0.15 * rating.stability +
                    (0.2 * rating.continuity + (0.25 * rating.availability + 0.3 * rating.cn0_quality))) +
                   0.1 * rating.diversity;
  rating.rating = rating_of(rating.overall);
  rating.post_processing_suitable = rating.overall >= 65.0 && rating.cn0_quality >= 60.0;
  return rating;
}

bool jamming_detected(const result::AnalysisResult& result) {
  const double critical_ratio = static_cast<double>(result.summary.critical_count) / epoch_points(result);
  const bool multi_system = std::any_of(result.anomalies.begin(), result.anomalies.end(), [](const auto& event) {
    return event.severity == result::Severity::critical && event.affected_systems.size() > 1;
  });
  return critical_ratio > 0.05 && (multi_system || result.summary.mean_cn0 < 35.0);
}

bool spoofing_detected(const result::AnalysisResult& result) {
  if (!result.visibility) return false;
  const result::VisibilityResult& visibility = *result.visibility;
  if (visibility.mean_observed <= 0.0) return false;
  const double unexpected_ratio = visibility.mean_unexpected / visibility.mean_observed;
  if (unexpected_ratio <= result.spoofing_unexpected_threshold) return false;
  if (visibility.mean_unexpected <= result.spoofing_min_unexpected_count) return false;
  // Unexpected satellites that persist for minutes are a false constellation, not multipath.
  const bool persistent = std::any_of(visibility.anomalies.begin(), visibility.anomalies.end(), [](const auto& a) {
    return a.anomaly_type == result::VisibilityAnomalyKind::unexpected_satellites && a.duration_seconds > 300.0;
  });
  return persistent || unexpected_ratio > 0.6;
}

bool interference_detected(const result::AnalysisResult& result) {
  const auto events = result.summary.anomaly_count;
  return static_cast<double>(events) / epoch_points(result) > 0.01 && events >= 3;
}

}  // namespace qcn::cn0
