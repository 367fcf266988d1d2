// Quality score, the five-component rating and the jamming, spoofing and interference verdicts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "cn0/quality.hpp"

namespace {

using qcn::result::AnalysisResult;
using qcn::result::VisibilityResult;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

VisibilityResult visibility(double confirmation_rate, double mean_predicted, double mean_observed,
                            double mean_unexpected) {
  VisibilityResult v;
  v.has_prediction = true;
  v.confirmation_rate = confirmation_rate;
  v.mean_predicted = mean_predicted;
  v.mean_observed = mean_observed;
  v.mean_unexpected = mean_unexpected;
  return v;
}

TEST(QualityTest, ScoreGradeAndInterpretation) {
  struct Case {
    double mean_cn0, coverage;
    std::uint64_t epochs, anomalies;
    std::optional<VisibilityResult> visibility;
    double cn0_score, coverage_score, consistency_score, overall;
    const char* grade;
    std::string interpretation;
  };
  const std::string low_confirmation = " - WARNING: Low satellite confirmation rate";
  const Case cases[] = {
      {45, 50, 100, 0, {}, 100, 50, 100, 87.5, "B", "Good GNSS signal quality"},
      {45, 50, 1000, 5, {}, 100, 50, 95, 85.5, "B", "Good GNSS signal quality"},
      {45, 50, 1000, 100, {}, 100, 50, 0, 47.5, "F",
       "Very poor GNSS signal quality - significant interference suspected"},
      {45, 50, 1000, 5, visibility(40, 12, 10, 2), 100, 50, 55, 69.5, "D",
       "Poor GNSS signal quality" + low_confirmation},
      {45, 50, 1000, 5, visibility(40, 12, 10, 6), 100, 50, 45, 65.5, "D",
       "Poor GNSS signal quality - WARNING: Many unexpected satellites detected"},
      {45, 50, 1000, 5, visibility(40, 12, 10, 5), 100, 50, 45, 65.5, "D",
       "Poor GNSS signal quality" + low_confirmation},
      {45, 50, 100, 0, VisibilityResult{}, 100, 50, 70, 75.5, "C", "Fair GNSS signal quality with some issues"},
      {25, 150, 0, 0, {}, 0, 100, 100, 65, "D", "Poor GNSS signal quality"},
      {kNaN, 50, 10, 0, {}, 0, 50, 100, 52.5, "F",
       "Very poor GNSS signal quality - significant interference suspected"},
      {45, 60, 10, 0, {}, 100, 60, 100, 90, "A", "Excellent GNSS signal quality"},
      {45, 59.96, 10, 0, {}, 100, 59.96, 100, 89.99000000000001, "B", "Good GNSS signal quality"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mean_cn0 << " " << c.coverage << " " << c.anomalies << "/" << c.epochs
                                    << (c.visibility ? " with visibility" : ""));
    AnalysisResult result;
    result.summary.mean_cn0 = c.mean_cn0;
    result.summary.total_epochs = c.epochs;
    result.summary.anomaly_count = c.anomalies;
    result.skyplot.coverage_percent = c.coverage;
    result.visibility = c.visibility;
    qcn::cn0::fill_quality_score(result);
    const auto& score = result.quality_score;
    EXPECT_EQ(score.cn0_score, c.cn0_score);
    EXPECT_EQ(score.coverage_score, c.coverage_score);
    EXPECT_EQ(score.consistency_score, c.consistency_score);
    EXPECT_EQ(score.overall, c.overall);
    EXPECT_EQ(score.grade, c.grade);
    EXPECT_EQ(score.interpretation, c.interpretation);
  }
}

struct Constellation {
  std::uint64_t seen, expected;
  double std_cn0;
  std::uint64_t gaps;
};

TEST(QualityTest, RatingFromConstellationFigures) {
  struct Case {
    std::vector<Constellation> constellations;
    std::uint64_t epochs, systems;
    double cn0_score;
    double availability, stability, continuity, diversity, overall;
    const char* rating;
    bool suitable;
  };
  const Case cases[] = {
      {{}, 0, 0, 0, 50, 62.5, 100, 0, 41.875, "F - Very Poor", false},
      {{{10, 0, 5.0, 0}}, 10, 1, 80, 50, 62.5, 100, 25, 68.375, "D - Poor", true},
      {{{14, 12, 12.0, 0}}, 10, 5, 100, 100, 0, 100, 100, 85, "B - Good", true},
      {{{9, 12, 6.0, 10}, {6, 8, 6.0, 0}}, 50, 2, 60, 75, 50, 90, 50, 67.25, "D - Poor", true},
      {{{10, 10, 1.0, 500}}, 10, 1, 100, 100, 100, 0, 25, 72.5, "C - Fair", true},
      {{{12, 12, 2.0, 0}}, 10, 0, 100, 100, 100, 100, 0, 90, "A - Excellent", true},
      {{{12, 12, 2.0, 0}}, 10, 0, 59.9, 100, 100, 100, 0, 77.97, "C - Fair", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.constellations.size() << " constellations, overall " << c.overall);
    AnalysisResult result;
    const char* names[] = {"GPS", "Galileo"};
    for (std::size_t i = 0; i < c.constellations.size(); ++i) {
      auto& stats = result.constellation_stats[names[i]];
      stats.satellite_count = c.constellations[i].seen;
      stats.satellites_expected = c.constellations[i].expected;
      stats.std_cn0 = c.constellations[i].std_cn0;
      stats.data_gaps = c.constellations[i].gaps;
    }
    result.summary.total_epochs = c.epochs;
    result.summary.systems_observed.assign(c.systems, "GPS");
    result.quality_score.cn0_score = c.cn0_score;
    const qcn::cn0::QualityRating rating = qcn::cn0::to_quality_score(result);
    EXPECT_EQ(rating.cn0_quality, c.cn0_score);
    EXPECT_EQ(rating.availability, c.availability);
    EXPECT_EQ(rating.stability, c.stability);
    EXPECT_EQ(rating.continuity, c.continuity);
    EXPECT_EQ(rating.diversity, c.diversity);
    EXPECT_EQ(rating.overall, c.overall);
    EXPECT_EQ(rating.rating, c.rating);
    EXPECT_EQ(rating.post_processing_suitable, c.suitable);
  }
}

TEST(QualityTest, NaNRatesVeryPoorAndUnsuitable) {
  AnalysisResult result;
  result.quality_score.cn0_score = kNaN;
  const qcn::cn0::QualityRating rating = qcn::cn0::to_quality_score(result);
  EXPECT_TRUE(std::isnan(rating.overall));
  EXPECT_EQ(rating.rating, "F - Very Poor");
  EXPECT_FALSE(rating.post_processing_suitable);
}

/// A result with `points` epoch-series points and the given events.
AnalysisResult with_events(std::size_t points, int critical_single, int critical_multi = 0, int high_multi = 0,
                           int low = 0, double mean_cn0 = 40.0) {
  AnalysisResult result;
  result.timeseries.timestamps.assign(points, "2024-03-01T00:00:00.000Z");
  result.summary.mean_cn0 = mean_cn0;
  auto add = [&](int count, qcn::result::Severity severity, std::vector<std::string> systems) {
    for (int i = 0; i < count; ++i) {
      result.anomalies.push_back({"", severity, qcn::result::DropKind::multi_satellite, "", 15.0, {}, systems});
    }
  };
  add(critical_multi, qcn::result::Severity::critical, {"GPS", "Galileo"});
  add(critical_single, qcn::result::Severity::critical, {"GPS"});
  add(high_multi, qcn::result::Severity::high, {"GPS", "Galileo"});
  add(low, qcn::result::Severity::low, {"GPS"});
  result.summary.critical_count = static_cast<std::uint64_t>(critical_single + critical_multi);
  result.summary.anomaly_count = result.anomalies.size();
  return result;
}

TEST(ThreatTest, Jamming) {
  EXPECT_TRUE(qcn::cn0::jamming_detected(with_events(100, 5, 1)));
  EXPECT_FALSE(qcn::cn0::jamming_detected(with_events(100, 6, 0, 0, 0, 38.0)));
  EXPECT_TRUE(qcn::cn0::jamming_detected(with_events(100, 6, 0, 0, 0, 34.0)));
  // A multi-system event that is not critical does not count.
  EXPECT_FALSE(qcn::cn0::jamming_detected(with_events(100, 6, 0, 1, 0, 38.0)));
  EXPECT_FALSE(qcn::cn0::jamming_detected(with_events(100, 4, 1, 0, 0, 30.0)));
  EXPECT_FALSE(qcn::cn0::jamming_detected(with_events(0, 0, 0, 0, 0, 20.0)));
}

TEST(ThreatTest, Interference) {
  struct Case {
    std::size_t events, points;
    bool interference;
  };
  static constexpr Case kCases[] = {{2, 10, false}, {3, 400, false}, {3, 200, true}, {3, 0, true}, {0, 0, false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.events << " in " << c.points);
    EXPECT_EQ(qcn::cn0::interference_detected(with_events(c.points, 0, 0, 0, static_cast<int>(c.events))),
              c.interference);
  }
}

TEST(ThreatTest, Spoofing) {
  struct Case {
    const char* name;
    double observed, unexpected;
    const char* anomaly_type;  // null: no visibility anomaly
    double duration_s;
    double ratio_threshold, count_threshold;
    bool spoofing;
  };
  EXPECT_FALSE(qcn::cn0::spoofing_detected(AnalysisResult{}));
  static constexpr Case kCases[] = {
      {"ratio 0.45, no lasting anomaly", 20, 9, nullptr, 0, 0.4, 8, false},
      {"ratio 0.45, unexpected for 301 s", 20, 9, "unexpected_satellites", 301, 0.4, 8, true},
      {"ratio 0.45, unexpected for 300 s", 20, 9, "unexpected_satellites", 300, 0.4, 8, false},
      {"ratio 0.45, missing for 900 s", 20, 9, "missing_satellites", 900, 0.4, 8, false},
      {"ratio 0.65", 20, 13, nullptr, 0, 0.4, 8, true},
      {"ratio 0.8 but only 8 unexpected", 10, 8, nullptr, 0, 0.4, 8, false},
      {"nothing observed", 0, 13, "unexpected_satellites", 900, 0.4, 8, false},
      {"ratio 0.45 under a threshold of 0.5", 20, 9, "unexpected_satellites", 900, 0.5, 8, false},
      {"9 unexpected under a count of 10", 20, 9, "unexpected_satellites", 900, 0.4, 10, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    AnalysisResult result;
    result.visibility = visibility(50, 20, c.observed, c.unexpected);
    if (c.anomaly_type) {
      qcn::result::VisibilityAnomaly anomaly;
      anomaly.anomaly_type = std::string_view(c.anomaly_type) == "unexpected_satellites"
                                 ? qcn::result::VisibilityAnomalyKind::unexpected_satellites
                                 : qcn::result::VisibilityAnomalyKind::missing_satellites;
      anomaly.duration_seconds = c.duration_s;
      result.visibility->anomalies.push_back(anomaly);
    }
    result.spoofing_unexpected_threshold = c.ratio_threshold;
    result.spoofing_min_unexpected_count = c.count_threshold;
    EXPECT_EQ(qcn::cn0::spoofing_detected(result), c.spoofing);
  }
}

}  // namespace
