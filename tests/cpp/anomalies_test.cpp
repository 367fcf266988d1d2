// Simultaneous C/N0 drops against per-satellite baselines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cn0/anomalies.hpp"

namespace {

using qcn::cn0::AnomalyThresholds;
using qcn::result::AnalysisResult;

/// One satellite's values by epoch; tracks of the same satellite side by side are its signals.
struct Track {
  std::string satellite;
  std::vector<double> cn0;
  std::string signal = "S1C";
};

/// Values of `drops` epochs at 45 - drop, then one epoch at 46 per dB of drop: mean exactly 45.0,
/// noise floor sqrt(drop), below 5 for drops up to 25.
std::vector<double> dropping(double drop, int drops = 1) {
  std::vector<double> values(drops, 45.0 - drop);
  values.insert(values.end(), static_cast<std::size_t>(drop) * drops, 46.0);
  return values;
}

std::string minute(int m) { return "2024-03-01T00:" + std::string(m < 10 ? "0" : "") + std::to_string(m) + ":00.000Z"; }

AnalysisResult detect(const std::vector<Track>& tracks, AnomalyThresholds thresholds = {2.25, 4.5, 10.0},
                      std::vector<std::string> times = {}) {
  qcn::cn0::SampleSetBuilder builder;
  for (std::size_t epoch = 0; epoch < 60; ++epoch) {
    builder.begin_epoch(epoch < times.size() ? times[epoch] : minute(static_cast<int>(epoch)));
    const Track* open = nullptr;
    for (const Track& track : tracks) {
      if (epoch >= track.cn0.size()) continue;
      if (!open || open->satellite != track.satellite) builder.begin_satellite(track.satellite, 45.0, 0.0);
      open = &track;
      builder.add(track.signal, track.cn0[epoch]);
    }
  }
  const qcn::cn0::SampleSet set = builder.finish();
  AnalysisResult result;
  qcn::cn0::detect_anomalies(result, set, qcn::cn0::group_samples(set), thresholds);
  return result;
}

TEST(AnomaliesTest, TwoSatellitesDroppingTogetherMakeOneEvent) {
  const AnalysisResult result = detect({{"G01", dropping(15)}, {"G02", dropping(14)}});
  ASSERT_EQ(result.anomalies.size(), 1u);
  const auto& event = result.anomalies[0];
  EXPECT_EQ(event.timestamp, minute(0));
  EXPECT_EQ(qcn::result::severity_text(event.severity), "critical");
  EXPECT_EQ(qcn::result::drop_kind_text(event.event_type), "Multi-satellite CN0 drop");
  EXPECT_EQ(event.description, "15.0 dB-Hz drop affecting 2 satellite(s)");
  EXPECT_EQ(event.cn0_drop, 15.0);
  EXPECT_EQ(event.affected_satellites, (std::vector<std::string>{"G01", "G02"}));
  EXPECT_EQ(event.affected_systems, (std::vector<std::string>{"GPS"}));
  EXPECT_EQ(result.summary.anomaly_count, 1u);
  EXPECT_EQ(result.summary.critical_count, 1u);
  EXPECT_EQ(result.summary.high_count + result.summary.low_count, 0u);
}

TEST(AnomaliesTest, SeverityFollowsTheLargestDrop) {
  struct Case {
    double drop;
    const char* severity;
  };
  static constexpr Case kCases[] = {{12, "low"}, {15, "high"}, {16, "high"}, {20, "critical"}, {25, "critical"}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.drop);
    const AnalysisResult result = detect({{"G01", dropping(12)}, {"G02", dropping(c.drop)}}, {2.25, 15.0, 20.0});
    ASSERT_EQ(result.anomalies.size(), 1u);
    EXPECT_EQ(qcn::result::severity_text(result.anomalies[0].severity), c.severity);
    EXPECT_EQ(result.anomalies[0].cn0_drop, c.drop);
    const std::string severity = c.severity;
    EXPECT_EQ(result.summary.critical_count, severity == "critical" ? 1u : 0u);
    EXPECT_EQ(result.summary.high_count, severity == "high" ? 1u : 0u);
    EXPECT_EQ(result.summary.low_count, severity == "low" ? 1u : 0u);
  }
}

TEST(AnomaliesTest, EventTypeCountsSystemsAndSatellites) {
  struct Case {
    std::vector<std::string> satellites;
    const char* event_type;
    std::vector<std::string> systems;
  };
  const Case cases[] = {
      {{"G01", "E01"}, "Multi-system CN0 drop", {"GPS", "Galileo"}},
      {{"E05", "G01", "E07"}, "Multi-system CN0 drop", {"Galileo", "GPS"}},
      {{"G01", "G02", "G03"}, "Multi-satellite CN0 drop", {"GPS"}},
      {{"G01", "G02", "G03", "G04"}, "Multi-system CN0 drop", {"GPS"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.satellites.size());
    std::vector<Track> tracks;
    for (const std::string& satellite : c.satellites) tracks.push_back({satellite, dropping(15)});
    const AnalysisResult result = detect(tracks);
    ASSERT_EQ(result.anomalies.size(), 1u);
    EXPECT_EQ(qcn::result::drop_kind_text(result.anomalies[0].event_type), c.event_type);
    EXPECT_EQ(result.anomalies[0].affected_satellites, c.satellites);
    EXPECT_EQ(result.anomalies[0].affected_systems, c.systems);
  }
}

TEST(AnomaliesTest, DropMustExceedTenAndTheScaledNoiseFloor) {
  // Mean 45 and standard deviation exactly 8: the threshold is 8 x 2.25 = 18.
  std::vector<double> drop18 = {27, 63, 45, 45};
  std::vector<double> drop19 = {26, 64, 45, 45, 45, 45, 45, 45};
  for (int pair = 0; pair < 7; ++pair) {
    drop18.insert(drop18.end(), {51, 39});
    drop19.insert(drop19.end(), {52, 38});
  }
  std::vector<double> nine = {30, 45, 45, 45, 45, 45, 45, 45, 45};
  std::vector<double> ten = {30, 45, 45, 45, 45, 45, 45, 45, 45, 45};  // mean 43.5, floor 4.5: drop 13.5
  std::vector<double> tie(50, 45.25);  // with 32.75 first: mean 45, floor 1.75, drop 12.25
  tie[0] = 32.75;
  struct Case {
    std::vector<double> values;
    double low_threshold;
    const char* description;  // null: no event
  };
  const Case cases[] = {
      {drop18, 2.25, nullptr},
      {drop19, 2.25, "19.0 dB-Hz drop affecting 2 satellite(s)"},
      {nine, 2.25, nullptr},
      {ten, 2.25, "13.5 dB-Hz drop affecting 2 satellite(s)"},
      {tie, 2.25, "12.2 dB-Hz drop affecting 2 satellite(s)"},
      {dropping(10), 1.0, nullptr},
      {dropping(11), 1.0, "12.0 dB-Hz drop affecting 2 satellite(s)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.values.size() << " samples, first " << c.values[0]);
    const AnalysisResult result = detect({{"G01", c.values}, {"G02", dropping(12)}}, {c.low_threshold, 4.5, 10.0});
    ASSERT_EQ(result.anomalies.size(), c.description ? 1u : 0u);
    if (c.description) {
      EXPECT_EQ(result.anomalies[0].description, c.description);
    }
  }
}

TEST(AnomaliesTest, TwoSignalsOfOneSatelliteCountOnce) {
  const std::vector<Track> one = {{"G01", dropping(15), "S1C"}, {"G01", dropping(15), "S2W"}, {"G02", dropping(0)}};
  EXPECT_TRUE(detect(one).anomalies.empty());
  const std::vector<Track> two = {{"G01", dropping(15), "S1C"}, {"G01", dropping(15), "S2W"}, {"G02", dropping(13)}};
  const AnalysisResult result = detect(two);
  ASSERT_EQ(result.anomalies.size(), 1u);
  EXPECT_EQ(result.anomalies[0].affected_satellites, (std::vector<std::string>{"G01", "G02"}));
  EXPECT_EQ(result.anomalies[0].description, "15.0 dB-Hz drop affecting 2 satellite(s)");
}

TEST(AnomaliesTest, EventsComeInTimestampOrderOnePerEpoch) {
  // The file lists minute 59 before minute 58.
  const AnalysisResult result =
      detect({{"G01", dropping(15, 2)}, {"E01", dropping(15, 2)}}, {2.25, 4.5, 10.0}, {minute(59), minute(58)});
  ASSERT_EQ(result.anomalies.size(), 2u);
  EXPECT_EQ(result.anomalies[0].timestamp, minute(58));
  EXPECT_EQ(result.anomalies[1].timestamp, minute(59));
  EXPECT_EQ(result.summary.anomaly_count, 2u);
}

}  // namespace
