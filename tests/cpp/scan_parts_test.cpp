// The parts the epoch-by-epoch scan is built from: the per-epoch sign sums, the time baseline and
// the numbering of the signal series.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "cn0/epoch_list.hpp"
#include "cn0/epoch_timeline.hpp"
#include "cn0/samples.hpp"
#include "cn0/sign_sums.hpp"
#include "cn0/signal_series.hpp"
#include "cn0/time_baseline.hpp"

namespace {

using qcn::cn0::SignSums;

struct SignCase {
  const char* name;
  std::vector<double> cn0;
  std::vector<double> expected;  // empty: no expectation
  double spread_db;              // NaN: not measured
  double dependence;             // NaN: not measured
};

TEST(SignSums, SpreadAndDependenceOfOneGroup) {
  const double nan = std::nan("");
  const std::vector<SignCase> cases = {
      {"too few satellites", {40, 42, 44, 46}, {40, 42, 44, 46}, nan, nan},
      {"all alike", {45, 45, 45, 45, 45}, {40, 42, 44, 46, 48}, 0.0, 0.0},
      {"follows expectation", {38, 40, 42, 44, 46}, {40, 42, 44, 46, 48}, std::sqrt(8.0), 1.0},
      {"against expectation", {46, 44, 42, 40, 38}, {40, 42, 44, 46, 48}, std::sqrt(8.0), -1.0},
      {"no expectation", {38, 40, 42, 44, 46}, {}, std::sqrt(8.0), nan},
  };
  for (const SignCase& c : cases) {
    SCOPED_TRACE(c.name);
    SignSums sums(3);
    for (std::size_t i = 0; i < c.cn0.size(); ++i) {
      sums.add(1, c.cn0[i]);
      if (!c.expected.empty()) sums.add_expected(1, c.cn0[i], c.expected[i]);
    }
    const qcn::cn0::EpochSigns signs = sums.finish();
    if (std::isnan(c.spread_db)) {
      EXPECT_TRUE(std::isnan(signs.spread_db));
    } else {
      EXPECT_NEAR(signs.spread_db, c.spread_db, 1e-5);
    }
    if (std::isnan(c.dependence)) {
      EXPECT_TRUE(std::isnan(signs.dependence));
    } else {
      EXPECT_NEAR(signs.dependence, c.dependence, 1e-5);
    }
  }
}

TEST(SignSums, GroupsWeighByTheirSatellitesAndEachEpochStartsAfresh) {
  SignSums sums(2);
  for (double v : {40.0, 40.0, 40.0, 40.0, 40.0}) sums.add(0, v);              // spread 0, five
  for (double v : {36.0, 44.0, 36.0, 44.0, 36.0, 44.0, 36.0, 44.0, 36.0, 44.0}) sums.add(1, v);  // 4, ten
  EXPECT_NEAR(sums.finish().spread_db, (5 * 0.0 + 10 * 4.0) / 15, 1e-5);
  // Nothing carried over: three values of the next epoch are too few.
  for (double v : {40.0, 41.0, 42.0}) sums.add(0, v);
  EXPECT_TRUE(std::isnan(sums.finish().spread_db));
}

TEST(EpochList, KeepsAtMostItsRoomAndClears) {
  qcn::cn0::EpochList<int> list;
  list.resize(2);
  for (int v : {1, 2, 3}) list.push(v);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list.values()[1], 2);
  list.clear();
  list.push(7);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.values()[0], 7);
}

TEST(EpochTimeline, VisitsTimesInOrderOnlyWhenEveryTimeComesOnceInAscendingOrder) {
  constexpr std::uint32_t none = qcn::cn0::kNoTimeIndex;
  struct Case {
    const char* name;
    std::vector<std::uint32_t> visited;  // time index of each epoch of the timeline
    std::vector<std::uint32_t> sorted;   // time indices in ascending time
    bool in_order;
  };
  const std::vector<Case> cases = {
      {"in order", {0, 1, 2}, {0, 1, 2}, true},
      {"empty epochs between", {0, none, 1, none, 2}, {0, 1, 2}, true},
      {"indices not in time order", {2, 0, 1}, {2, 0, 1}, true},
      {"a time visited early", {0, 2, 1}, {0, 1, 2}, false},
      {"a time never visited", {0, 1}, {0, 1, 2}, false},
      {"a time visited twice", {0, 1, 1, 2}, {0, 1, 2}, false},
      {"an index beyond the times", {0, 5}, {0, 1}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qcn::cn0::EpochTimeline timeline;
    timeline.time_index = c.visited;
    EXPECT_EQ(qcn::cn0::visits_times_in_order(timeline, c.sorted), c.in_order);
  }
}

// One series fed every 30 s.
struct Fed {
  qcn::cn0::TimeBaseline baseline{1, 30.0, {1200.0, 30.0, 300.0}};
  double seconds = 0.0;
  void feed(double cn0) {
    if (baseline.due(0, seconds)) baseline.feed(0, seconds, cn0);
    seconds += 30.0;
  }
};

TEST(TimeBaseline, ReadyAfterItsHistoryThenFollowsASlowRise) {
  Fed fed;
  for (int k = 0; k < 10; ++k) fed.feed(40.0);
  EXPECT_FALSE(fed.baseline.ready(0));  // 270 s of history
  fed.feed(40.0);
  ASSERT_TRUE(fed.baseline.ready(0));
  EXPECT_NEAR(fed.baseline.expected(0), 40.0, 1e-6);
  // A pass rising 0.05 dB per epoch: the level keeps up within a dB.
  double value = 40.0;
  for (int k = 0; k < 120; ++k) fed.feed(value += 0.05);
  EXPECT_NEAR(fed.baseline.expected(0), value, 1.0);
}

TEST(TimeBaseline, ASuddenDropMovesTheLevelLittleAndForgettingStartsAfresh) {
  Fed fed;
  for (int k = 0; k < 60; ++k) fed.feed(k % 2 == 0 ? 44.5 : 45.5);
  ASSERT_TRUE(fed.baseline.ready(0));
  const double noise = fed.baseline.noise(0);
  EXPECT_GT(noise, 0.4);
  EXPECT_LT(noise, 1.5);
  // Values enter clipped to a few times the noise: a 20 dB drop is not learnt at once.
  for (int k = 0; k < 3; ++k) fed.feed(25.0);
  EXPECT_GT(fed.baseline.expected(0), 40.0);
  fed.baseline.forget(0);
  EXPECT_FALSE(fed.baseline.ready(0));
  EXPECT_TRUE(fed.baseline.due(0, fed.seconds));
}

TEST(NumberSeries, OneSeriesPerSatelliteAndCodeInOrderOfFirstAppearance) {
  qcn::cn0::SampleSetBuilder builder;
  builder.begin_epoch("2020 06 25 00 00 00.0000000");
  builder.begin_satellite("G05", 30.0, 120.0, true);
  builder.add("S1C", 44.0);
  builder.add("S2W", 30.0);
  builder.add("S9X", 30.0);  // no known band
  builder.begin_satellite("E11", 45.0, 0.0);
  builder.add("S1C", 41.0);
  builder.begin_epoch("2020 06 25 00 00 30.0000000");
  builder.begin_satellite("G05", 31.0, 121.0, true);
  builder.add("S2W", 31.0);
  builder.add("S1C", 45.0);
  const qcn::cn0::SampleSet set = builder.finish();
  const qcn::cn0::SeriesTable table = qcn::cn0::number_series(set);
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(set.signals[table.series[0].signal], "S1C");
  EXPECT_EQ(set.signals[table.series[1].signal], "S2W");
  EXPECT_EQ(set.satellites[table.series[2].satellite].id, "E11");
  EXPECT_EQ(table.series[0].band, qcn::cn0::Band::l1);
  EXPECT_EQ(table.series[1].band, qcn::cn0::Band::l2);
  // GPS and Galileo S1C are different groups; the same code of one system shares one.
  EXPECT_NE(table.series[0].group, table.series[2].group);
  EXPECT_EQ(table.series[0].samples, 2u);
  EXPECT_EQ(table.series[0].located, 2u);
  EXPECT_EQ(table.series[2].located, 0u);
  EXPECT_EQ(table.of(set, 2), qcn::cn0::kNoSeries);
  EXPECT_EQ(table.of(set, 5), 0u);
}

}  // namespace
