// Summary figures, satellite statistics and constellation statistics of a sample set.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "cn0/samples.hpp"
#include "cn0/statistics.hpp"

namespace {

using qcn::cn0::SampleSet;
using qcn::cn0::SampleSetBuilder;
using qcn::result::AnalysisResult;
using qcn::result::ConstellationStats;
using qcn::rinex::RinexObsData;

using Ids = std::vector<std::string_view>;

/// Observation data that lists the given satellites at each epoch (no observation values: only
/// the identifiers are read).
RinexObsData observations_of(const std::vector<Ids>& epochs) {
  RinexObsData data;
  for (const Ids& ids : epochs) {
    qcn::rinex::ObservationEpoch epoch;
    epoch.first_satellite = data.satellites.size();
    epoch.satellite_count = static_cast<std::uint32_t>(ids.size());
    for (std::string_view id : ids) data.satellites.push_back({qcn::rinex::SatelliteId::from(id), 0, 0});
    data.epochs.push_back(epoch);
  }
  qcn::rinex::number_satellites(data);
  return data;
}

std::string timestamp(int second) {
  char text[48];
  std::snprintf(text, sizeof text, "2024-03-01T00:%02d:%02d.000Z", second / 60, second % 60);
  return text;
}

/// One sample of S1C per listed satellite and value, one epoch per entry.
struct EpochSamples {
  int second;
  std::vector<std::pair<std::string_view, double>> values;
};

SampleSet samples_of(const std::vector<EpochSamples>& epochs) {
  SampleSetBuilder builder;
  for (const EpochSamples& epoch : epochs) {
    builder.begin_epoch(timestamp(epoch.second));
    for (const auto& [satellite, cn0] : epoch.values) {
      builder.begin_satellite(satellite, 45.0, 0.0);
      builder.add("S1C", cn0);
    }
  }
  return builder.finish();
}

AnalysisResult statistics_of(const SampleSet& set, const RinexObsData& observations,
                             const AnalysisResult& start = {}) {
  AnalysisResult result = start;
  qcn::cn0::SampleGroups groups = qcn::cn0::group_samples(set);
  const qcn::cn0::ObservationFigures figures = qcn::cn0::observation_figures(observations);
  qcn::cn0::fill_summary_and_satellite_stats(result, set, groups, figures);
  qcn::cn0::fill_constellation_stats(result, set, groups, figures);
  return result;
}

std::vector<std::string> keys_of(const auto& map) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : map) keys.push_back(key);
  return keys;
}

TEST(StatisticsTest, NamesAndExpectedCountsOfSystems) {
  struct Case {
    char letter;
    std::string_view name;
    std::uint64_t expected;
  };
  static constexpr Case kCases[] = {
      {'C', "BeiDou", 15}, {'E', "Galileo", 10}, {'G', "GPS", 12}, {'I', "IRNSS", 7},
      {'J', "QZSS", 4},    {'R', "GLONASS", 9},  {'S', "SBAS", 3}, {'X', "X", 10},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.letter);
    EXPECT_EQ(qcn::cn0::raw_system_name(c.letter), c.name);
    EXPECT_EQ(qcn::cn0::default_expected_satellites(c.name), c.expected);
  }
  EXPECT_EQ(qcn::cn0::default_expected_satellites("Unknown"), 10u);
}

TEST(StatisticsTest, SummaryCountsRawSatellitesAndSkipsNaNInExtremes) {
  // R01 and J01 yield no samples, yet count among the satellites and systems.
  RinexObsData observations = observations_of({{"R01", "G01", "J01"}, {"G01", "I05", "G02"}, {"G02"}});
  double nan = std::numeric_limits<double>::quiet_NaN();
  SampleSet set = samples_of({{0, {{"G01", 40.0}, {"G02", nan}}}, {30, {{"G01", 35.5}, {"G02", 47.0}}}});

  AnalysisResult result = statistics_of(set, observations);
  const auto& summary = result.summary;
  EXPECT_EQ(summary.total_observations, 4u);
  EXPECT_EQ(summary.total_epochs, 3u);
  EXPECT_EQ(summary.total_satellites, 5u);
  EXPECT_EQ(summary.systems_observed, (std::vector<std::string>{"GLONASS", "GPS", "QZSS", "IRNSS"}));
  EXPECT_TRUE(std::isnan(summary.mean_cn0));
  EXPECT_EQ(summary.min_cn0, 35.5);
  EXPECT_EQ(summary.max_cn0, 47.0);

  SampleSet plain = samples_of({{0, {{"G01", 40.0}, {"G02", 41.0}}}, {30, {{"G01", 35.5}}}});
  EXPECT_DOUBLE_EQ(statistics_of(plain, observations).summary.mean_cn0, 116.5 / 3.0);
}

TEST(StatisticsTest, SatelliteStatisticsOverAllSignals) {
  SampleSetBuilder builder;
  builder.begin_epoch(timestamp(0));
  builder.begin_satellite("E11", 20.0, 100.0);
  builder.add("S1C", 40.0);
  builder.add("S5Q", 44.0);
  builder.begin_satellite("G07", 60.0, 10.0);
  builder.add("S1C", 50.0);
  builder.begin_epoch(timestamp(30));
  builder.begin_satellite("E11", 26.0, 100.0);
  builder.add("S1C", 42.0);
  builder.add("S5Q", 38.0);
  SampleSet set = builder.finish();

  AnalysisResult result = statistics_of(set, observations_of({{"E11", "G07"}, {"E11"}}));
  EXPECT_EQ(keys_of(result.satellite_stats), (std::vector<std::string>{"E11", "G07"}));
  const auto& e11 = *result.satellite_stats.find("E11");
  EXPECT_EQ(e11.satellite, "E11");
  EXPECT_EQ(e11.system, "Galileo");
  EXPECT_EQ(e11.observation_count, 4u);
  EXPECT_EQ(e11.mean_cn0, 41.0);
  EXPECT_EQ(e11.min_cn0, 38.0);
  EXPECT_EQ(e11.max_cn0, 44.0);
  // Deviations -1, 3, 1, -3: population variance 20 / 4.
  EXPECT_EQ(e11.std_cn0, std::sqrt(5.0));
  EXPECT_EQ(e11.mean_elevation, 23.0);
  const auto& g07 = *result.satellite_stats.find("G07");
  EXPECT_EQ(g07.observation_count, 1u);
  EXPECT_EQ(g07.std_cn0, 0.0);
  EXPECT_EQ(g07.mean_elevation, 60.0);
}

TEST(StatisticsTest, CycleSlipsAreJumpsOfMoreThanTenBetweenSortedValues) {
  struct Case {
    std::vector<double> values;
    std::uint64_t slips;
  };
  const Case cases[] = {
      {{40, 41, 52, 53}, 1}, {{30, 45}, 1}, {{30, 40}, 0}, {{52, 30, 45}, 1}, {{45}, 0}, {{10, 30, 50}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.values));
    std::vector<EpochSamples> epochs;
    for (std::size_t k = 0; k < c.values.size(); ++k) {
      epochs.push_back({static_cast<int>(30 * k), {{"G01", c.values[k]}, {"G02", 45.0}}});
    }
    AnalysisResult result = statistics_of(samples_of(epochs), observations_of({{"G01", "G02"}}));
    EXPECT_EQ(result.constellation_stats.find("GPS")->cycle_slips, c.slips);
  }
  // Slips add up over the satellites of a constellation.
  SampleSet two = samples_of({{0, {{"G01", 30.0}, {"G02", 30.0}}}, {30, {{"G01", 45.0}, {"G02", 45.0}}}});
  EXPECT_EQ(statistics_of(two, observations_of({{"G01", "G02"}})).constellation_stats.find("GPS")->cycle_slips, 2u);
}

// The count must equal the plain one over the sorted values, whatever the values: gaps of exactly
// 10 (quarter steps make them frequent), values far apart, infinities.
TEST(StatisticsTest, CycleSlipsEqualTheCountOverSortedValues) {
  std::mt19937_64 random(7);
  const double inf = std::numeric_limits<double>::infinity();
  for (int round = 0; round < 300; ++round) {
    const int count = 1 + static_cast<int>(random() % 60);
    const double width = round % 3 == 0 ? 1e9 : 80.0;
    std::vector<double> values;
    for (int k = 0; k < count; ++k) values.push_back(std::floor(std::uniform_real_distribution<double>(-width, width)(random)) / 4.0);
    if (round % 7 == 0) values.push_back(round % 2 == 0 ? inf : -inf);
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    std::uint64_t expected = 0;
    for (std::size_t k = 1; k < sorted.size(); ++k) expected += sorted[k] - sorted[k - 1] > 10.0;
    std::vector<EpochSamples> epochs;
    for (std::size_t k = 0; k < values.size(); ++k) epochs.push_back({static_cast<int>(30 * k), {{"G01", values[k]}}});
    AnalysisResult result = statistics_of(samples_of(epochs), observations_of({{"G01"}}));
    ASSERT_EQ(result.constellation_stats.find("GPS")->cycle_slips, expected) << "round " << round;
  }
}

TEST(StatisticsTest, DataGapsCountMissedTimePointsOfTheConstellation) {
  // The file lists the epochs out of order; gaps follow the sorted timestamps. G01 is seen at
  // 1, 2, 5, 6 of 1..6; G03 only at 3 and 4 (nothing before or after counts); the GLONASS-only
  // epoch at 7 is not a GPS time point, so G02 at 1..6 and 8 has no gap.
  std::vector<EpochSamples> epochs = {
      {90, {{"G03", 40.0}, {"G02", 40.0}}},  {0, {{"G01", 40.0}, {"G02", 40.0}}},
      {30, {{"G01", 40.0}, {"G02", 40.0}}},  {60, {{"G03", 40.0}, {"G02", 40.0}}},
      {120, {{"G01", 40.0}, {"G02", 40.0}}}, {150, {{"G01", 40.0}, {"G02", 40.0}}},
      {180, {{"R01", 40.0}}},                {210, {{"G02", 40.0}}},
  };
  AnalysisResult result = statistics_of(samples_of(epochs), observations_of({{"G01", "G02", "G03", "R01"}}));
  EXPECT_EQ(result.constellation_stats.find("GPS")->data_gaps, 2u);
  EXPECT_EQ(result.constellation_stats.find("GLONASS")->data_gaps, 0u);

  // Two epochs with one timestamp text are one time point: G01 at 0 (twice) and 60 misses 30.
  SampleSet repeated = samples_of({{0, {{"G01", 40.0}}}, {0, {{"G01", 41.0}}}, {30, {{"G02", 40.0}}},
                                   {60, {{"G01", 40.0}}}});
  EXPECT_EQ(statistics_of(repeated, observations_of({{"G01", "G02"}})).constellation_stats.find("GPS")->data_gaps, 1u);
}

// A break of more than 600 s is a satellite setting and rising again, not missing data: G01 back
// after exactly 600 s misses 19 time points, G03 back after 630 s none, G04 one.
TEST(StatisticsTest, DataGapsCountOnlyBreaksOfTenMinutesAtMost) {
  std::vector<EpochSamples> epochs;
  for (int second = 0; second <= 1200; second += 30) {
    EpochSamples epoch{second, {{"G02", 40.0}}};
    for (const char* satellite : {"G01", "G03", "G04"}) {
      const std::string_view id(satellite);
      const bool g01 = id == "G01" && (second == 0 || second == 600);
      const bool g03 = id == "G03" && (second == 0 || second == 630);
      const bool g04 = id == "G04" && (second == 0 || second == 30 || second == 90);
      if (g01 || g03 || g04) epoch.values.emplace_back(id, 40.0);
    }
    epochs.push_back(epoch);
  }
  const auto set = samples_of(epochs);
  AnalysisResult result = statistics_of(set, observations_of({{"G01", "G02", "G03", "G04"}}));
  EXPECT_EQ(result.constellation_stats.find("GPS")->data_gaps, 20u);
  // Times are compared exactly from the written fields, across midnight too.
  SampleSetBuilder builder;
  for (qcn::rinex::EpochTime time : {qcn::rinex::EpochTime{2024, 3, 1, 23, 55, 0.0}, {2024, 3, 1, 23, 55, 30.0},
                                     {2024, 3, 2, 0, 5, 0.0}, {2024, 3, 2, 0, 5, 30.0}}) {
    builder.begin_epoch(time);
    builder.begin_satellite("G02", 45.0, 0.0);
    builder.add("S1C", 40.0);
    if (time.second == 0.0) {
      builder.begin_satellite("G01", 45.0, 0.0);
      builder.add("S1C", 40.0);
    }
  }
  EXPECT_EQ(statistics_of(builder.finish(), observations_of({{"G01", "G02"}})).constellation_stats.find("GPS")->data_gaps,
            1u);
}

TEST(StatisticsTest, ExpectedSatellitesAndAvailability) {
  std::vector<std::string> ids;
  for (int prn = 1; prn <= 14; ++prn) {
    char id[8];
    std::snprintf(id, sizeof id, "G%02d", prn % 100);
    ids.emplace_back(id);
  }
  EpochSamples epoch{0, {}};
  for (const std::string& id : ids) epoch.values.push_back({id, 40.0});
  SampleSet set = samples_of({epoch});
  RinexObsData observations = observations_of({Ids(ids.begin(), ids.end())});

  AnalysisResult result = statistics_of(set, observations);
  const ConstellationStats& plain = *result.constellation_stats.find("GPS");
  EXPECT_EQ(plain.satellite_count, 14u);
  EXPECT_EQ(plain.satellites_expected, 12u);
  EXPECT_EQ(plain.availability_ratio, 1.1666666666666667);

  struct Case {
    std::uint64_t predicted, observed, expected;
  };
  static constexpr Case kCases[] = {{9, 11, 11}, {11, 9, 11}, {0, 0, 12}, {16, 0, 16}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.predicted << "/" << c.observed);
    AnalysisResult start;
    start.visibility.emplace();
    start.visibility->by_system["GPS"] = {"GPS", c.predicted, c.observed, 0.0, {}, {}};
    AnalysisResult predicted = statistics_of(set, observations, start);
    const ConstellationStats& gps = *predicted.constellation_stats.find("GPS");
    EXPECT_EQ(gps.satellites_expected, c.expected);
    EXPECT_EQ(gps.availability_ratio, 14.0 / static_cast<double>(c.expected));
  }
  // A visibility record without the system falls back to the table.
  AnalysisResult other;
  other.visibility.emplace();
  other.visibility->by_system["Galileo"] = {"Galileo", 20, 20, 0.0, {}, {}};
  EXPECT_EQ(statistics_of(set, observations, other).constellation_stats.find("GPS")->satellites_expected, 12u);
}

TEST(StatisticsTest, RawOnlyConstellationGetsAnEntryWithoutSampleFigures) {
  // QZSS is observed but not among the analysed systems, so it has no samples.
  RinexObsData observations = observations_of({{"G01", "J01", "J02"}, {"J03", "G01"}});
  SampleSet set = samples_of({{0, {{"G01", 30.0}, {"G02", 50.0}}}});
  AnalysisResult result = statistics_of(set, observations);

  EXPECT_EQ(keys_of(result.constellation_stats), (std::vector<std::string>{"GPS", "QZSS"}));
  const ConstellationStats& qzss = *result.constellation_stats.find("QZSS");
  EXPECT_EQ(qzss.system, "QZSS");
  EXPECT_EQ(qzss.satellite_count, 3u);
  EXPECT_EQ(qzss.observation_count, 0u);
  EXPECT_EQ(qzss.mean_cn0, 0.0);
  EXPECT_EQ(qzss.min_cn0, 0.0);
  EXPECT_EQ(qzss.max_cn0, 0.0);
  EXPECT_EQ(qzss.std_cn0, 0.0);
  EXPECT_EQ(qzss.satellites_expected, 4u);
  EXPECT_EQ(qzss.availability_ratio, 0.75);

  // G02 has samples but is missing from the raw data: the larger of the two counts wins.
  const ConstellationStats& gps = *result.constellation_stats.find("GPS");
  EXPECT_EQ(gps.satellite_count, 2u);
  EXPECT_EQ(gps.observation_count, 2u);
  EXPECT_EQ(gps.mean_cn0, 40.0);
  EXPECT_EQ(gps.min_cn0, 30.0);
  EXPECT_EQ(gps.max_cn0, 50.0);
  EXPECT_EQ(gps.std_cn0, 10.0);
}

TEST(StatisticsTest, NavicAppearsAsIrnssInRawFiguresAndUnknownInSamples) {
  RinexObsData observations = observations_of({{"I02", "I05"}, {"I02"}});
  SampleSet set = samples_of({{0, {{"I02", 41.0}, {"I05", 43.0}}}, {30, {{"I02", 42.0}}}});
  AnalysisResult result = statistics_of(set, observations);

  EXPECT_EQ(result.summary.systems_observed, (std::vector<std::string>{"IRNSS"}));
  EXPECT_EQ(keys_of(result.constellation_stats), (std::vector<std::string>{"IRNSS", "Unknown"}));
  const ConstellationStats& irnss = *result.constellation_stats.find("IRNSS");
  EXPECT_EQ(irnss.satellite_count, 2u);
  EXPECT_EQ(irnss.observation_count, 0u);
  EXPECT_EQ(irnss.satellites_expected, 7u);
  const ConstellationStats& unknown = *result.constellation_stats.find("Unknown");
  EXPECT_EQ(unknown.system, "Unknown");
  EXPECT_EQ(unknown.satellite_count, 2u);
  EXPECT_EQ(unknown.observation_count, 3u);
  EXPECT_EQ(unknown.mean_cn0, 42.0);
  EXPECT_EQ(unknown.satellites_expected, 10u);
  EXPECT_EQ(unknown.availability_ratio, 0.2);
  EXPECT_EQ(result.satellite_stats.find("I02")->system, "Unknown");
}

}  // namespace
