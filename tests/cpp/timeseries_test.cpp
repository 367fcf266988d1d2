// The epoch series, the satellite and constellation series, and the spread of the epoch means.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "cn0/samples.hpp"
#include "cn0/timeseries.hpp"

namespace {

using qcn::cn0::SampleSet;
using qcn::cn0::SampleSetBuilder;
using qcn::result::TimeseriesData;
using qcn::result::TimeseriesPoint;

const std::string kT0 = "2024-03-01T00:00:00.000Z";
const std::string kT1 = "2024-03-01T00:00:30.000Z";
const std::string kT2 = "2024-03-01T00:01:00.000Z";

TimeseriesData series_of(const SampleSet& set) {
  qcn::result::AnalysisResult result;
  qcn::cn0::fill_timeseries(result, set, qcn::cn0::group_samples(set));
  return result.timeseries;
}

/// A point as "timestamp cn0 elevation azimuth", with the time index resolved.
std::string point_text(const TimeseriesData& series, const TimeseriesPoint& point) {
  return series.timestamps.at(point.time) + " " + testing::PrintToString(point.cn0) + " " +
         testing::PrintToString(point.elevation) + " " + testing::PrintToString(point.azimuth);
}

std::vector<std::string> points_text(const TimeseriesData& series, const std::vector<TimeseriesPoint>& points) {
  std::vector<std::string> texts;
  for (const TimeseriesPoint& p : points) texts.push_back(point_text(series, p));
  return texts;
}

TEST(TimeseriesTest, EpochSeriesIsSortedByTimestamp) {
  // The same three epochs, in file order and shuffled, give the same series.
  const std::vector<std::vector<std::string>> orders = {{kT0, kT1, kT2}, {kT2, kT0, kT1}};
  for (const auto& order : orders) {
    SCOPED_TRACE(order.front());
    SampleSetBuilder builder;
    for (const std::string& t : order) {
      builder.begin_epoch(t);
      if (t == kT0) {
        builder.begin_satellite("G01", 45.0, 0.0);
        builder.add("S1C", 40.0);
        builder.begin_satellite("G02", 45.0, 0.0);
        builder.add("S1C", 44.0);
      } else if (t == kT1) {
        builder.begin_satellite("G01", 45.0, 0.0);
        builder.add("S1C", 42.0);
      } else {
        builder.begin_satellite("E03", 45.0, 0.0);
        builder.add("S1C", 30.0);
        builder.begin_satellite("G02", 45.0, 0.0);
        builder.add("S1C", 50.0);
      }
    }
    TimeseriesData series = series_of(builder.finish());
    EXPECT_EQ(series.timestamps, (std::vector<std::string>{kT0, kT1, kT2}));
    EXPECT_EQ(series.mean_cn0, (std::vector<double>{42.0, 42.0, 40.0}));
    EXPECT_EQ(series.satellite_count, (std::vector<std::uint64_t>{2, 1, 2}));
    ASSERT_NE(series.satellite_timeseries.find("G02"), nullptr);
    EXPECT_EQ(points_text(series, series.satellite_timeseries.find("G02")->cn0_series),
              (std::vector<std::string>{kT0 + " 44 45 0", kT2 + " 50 45 0"}));
    EXPECT_NEAR(qcn::cn0::cn0_std_dev(series), 0.9428090415820634, 1e-15);
  }
}

TEST(TimeseriesTest, TwoSignalsOfOneSatelliteShareOneTimePoint) {
  SampleSetBuilder builder;
  builder.begin_epoch(kT1);
  builder.begin_satellite("G05", 30.0, 120.0);
  builder.add("S2W", 39.0);
  builder.begin_epoch(kT0);
  builder.begin_satellite("G05", 31.0, 121.0);
  builder.add("S1C", 45.0);
  builder.add("S2W", 39.0);
  // A second epoch with an already seen timestamp text joins its time point.
  builder.begin_epoch(kT0);
  builder.begin_satellite("G05", 32.0, 122.0);
  builder.add("S1C", 48.0);
  TimeseriesData series = series_of(builder.finish());

  EXPECT_EQ(series.timestamps, (std::vector<std::string>{kT0, kT1}));
  EXPECT_EQ(series.mean_cn0, (std::vector<double>{44.0, 39.0}));
  EXPECT_EQ(series.satellite_count, (std::vector<std::uint64_t>{1, 1}));
  const auto& g05 = *series.satellite_timeseries.find("G05");
  EXPECT_EQ(g05.satellite, "G05");
  EXPECT_EQ(g05.system, "GPS");
  EXPECT_EQ(g05.signal, "S2W");  // the code of the first sample, not of the first point
  EXPECT_EQ(points_text(series, g05.cn0_series),
            (std::vector<std::string>{kT0 + " 45 31 121", kT0 + " 39 31 121", kT0 + " 48 32 122",
                                      kT1 + " 39 30 120"}));
}

TEST(TimeseriesTest, ExpectedValuesFollowTheirSamplesIntoThePoints) {
  // Epochs out of order and a timestamp written twice: the points are not in sample order.
  SampleSetBuilder builder;
  builder.begin_epoch(kT1);
  builder.begin_satellite("G05", 30.0, 120.0);
  builder.add("S2W", 39.0);
  builder.begin_satellite("E11", 30.0, 120.0);
  builder.add("S1C", 41.0);
  builder.begin_epoch(kT0);
  builder.begin_satellite("G05", 31.0, 121.0);
  builder.add("S1C", 45.0);
  builder.add("S2W", 38.0);
  builder.begin_epoch(kT0);
  builder.begin_satellite("G05", 32.0, 122.0);
  builder.add("S1C", 48.0);
  const SampleSet set = builder.finish();
  qcn::result::AnalysisResult result;
  qcn::cn0::fill_timeseries(result, set, qcn::cn0::group_samples(set));
  // Each sample's expected value names the sample: 100 + its index.
  std::vector<float> expected(set.size());
  for (std::size_t i = 0; i < set.size(); ++i) expected[i] = 100.0f + static_cast<float>(i);
  qcn::cn0::attach_expected_cn0(result.timeseries, set, qcn::cn0::expected_by_point(set, expected));
  const auto& g05 = *result.timeseries.satellite_timeseries.find("G05");
  EXPECT_EQ(g05.expected_cn0, (std::vector<float>{102.0f, 103.0f, 104.0f, 100.0f}));
  for (std::size_t k = 0; k < g05.cn0_series.size(); ++k) {
    EXPECT_EQ(set.cn0(static_cast<std::size_t>(g05.expected_cn0[k]) - 100), g05.cn0_series[k].cn0);
  }
  EXPECT_EQ(result.timeseries.satellite_timeseries.find("E11")->expected_cn0, (std::vector<float>{101.0f}));

  // A list that does not describe this set's samples attaches nothing.
  qcn::result::AnalysisResult other;
  qcn::cn0::fill_timeseries(other, set, qcn::cn0::group_samples(set));
  expected.pop_back();
  qcn::cn0::attach_expected_cn0(other.timeseries, set, qcn::cn0::expected_by_point(set, expected));
  EXPECT_TRUE(other.timeseries.satellite_timeseries.find("G05")->expected_cn0.empty());
}

TEST(TimeseriesTest, SatelliteSeriesSortKeepsSignalOrderWithinAnEpoch) {
  // Epochs written latest first, two signals each: enough points for an unstable sort to mix
  // the signals of one epoch.
  constexpr int kEpochs = 24;
  SampleSetBuilder builder;
  for (int k = kEpochs - 1; k >= 0; --k) {
    char time[32];
    std::snprintf(time, sizeof time, "2024-03-01T00:%02d:00.000Z", k % 60);
    builder.begin_epoch(time);
    builder.begin_satellite("C10", 45.0, 0.0);
    builder.add("S2I", 40.0);
    builder.add("S7I", 30.0);
  }
  TimeseriesData series = series_of(builder.finish());
  const auto& points = series.satellite_timeseries.find("C10")->cn0_series;
  ASSERT_EQ(points.size(), 2u * kEpochs);
  for (std::size_t p = 0; p < points.size(); ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(points[p].time, p / 2);
    EXPECT_EQ(points[p].cn0, p % 2 == 0 ? 40.0 : 30.0);
  }
}

TEST(TimeseriesTest, ConstellationSeriesAveragesEachTimePoint) {
  SampleSetBuilder builder;
  builder.begin_epoch(kT1);
  builder.begin_satellite("R07", 10.0, 200.0);
  builder.add("S1C", 35.0);
  builder.begin_satellite("G01", 20.0, 350.0);
  builder.add("S1C", 40.0);
  builder.begin_satellite("G02", 40.0, 10.0);
  builder.add("S1C", 44.0);
  builder.add("S2W", 36.0);
  builder.begin_epoch(kT0);
  builder.begin_satellite("G01", 30.0, 90.0);
  builder.add("S1C", 41.0);
  TimeseriesData series = series_of(builder.finish());

  std::vector<std::string> keys;
  for (const auto& [name, points] : series.constellation_timeseries) keys.push_back(name);
  EXPECT_EQ(keys, (std::vector<std::string>{"GLONASS", "GPS"}));
  // At kT1 the GPS samples weigh one each: elevations 20, 40, 40; azimuths 350, 10, 10.
  EXPECT_EQ(points_text(series, *series.constellation_timeseries.find("GPS")),
            (std::vector<std::string>{kT0 + " 41 30 90", kT1 + " 40 " + testing::PrintToString(100.0 / 3.0) + " " +
                                                              testing::PrintToString(370.0 / 3.0)}));
  EXPECT_EQ(points_text(series, *series.constellation_timeseries.find("GLONASS")),
            (std::vector<std::string>{kT1 + " 35 10 200"}));

  SampleSetBuilder pair;
  pair.begin_epoch(kT0);
  pair.begin_satellite("E01", 45.0, 350.0);
  pair.add("S1C", 40.0);
  pair.begin_satellite("E02", 45.0, 10.0);
  pair.add("S1C", 40.0);
  TimeseriesData both = series_of(pair.finish());
  EXPECT_EQ(both.constellation_timeseries.find("Galileo")->front().azimuth, 180.0);
}

TEST(TimeseriesTest, Cn0StdDevIsThePopulationSpreadOfEpochMeans) {
  struct Case {
    std::vector<double> means;
    double expected;
  };
  const Case cases[] = {
      {{}, 0.0}, {{42.0}, 0.0}, {{42.0, 42.0, 40.0}, std::sqrt(8.0 / 9.0)}, {{30.0, 50.0}, 10.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.means));
    TimeseriesData series;
    series.mean_cn0 = c.means;
    EXPECT_NEAR(qcn::cn0::cn0_std_dev(series), c.expected, 1e-15);
  }
  TimeseriesData with_nan;
  with_nan.mean_cn0 = {40.0, std::numeric_limits<double>::quiet_NaN()};
  EXPECT_TRUE(std::isnan(qcn::cn0::cn0_std_dev(with_nan)));
}

TEST(TimeseriesTest, PointsKeepTheirSignalTheirLookAnglesAndTheTimesInNanoseconds) {
  SampleSetBuilder builder;
  builder.begin_epoch(kT1);
  builder.begin_satellite("G05", 30.0, 120.0, true);
  builder.add("S2W", 39.0);
  builder.begin_satellite("E11", 45.0, 0.0);  // no orbit: the defaults
  builder.add("S5Q", 41.0);
  builder.begin_epoch(kT0);
  builder.begin_satellite("G05", 31.0, 121.0, true);
  builder.add("S1C", 45.0);
  builder.add("S2W", 38.0);
  TimeseriesData series = series_of(builder.finish());
  // Signals numbered in order of first appearance among the samples.
  EXPECT_EQ(series.signals, (std::vector<std::string>{"S2W", "S5Q", "S1C"}));
  // 2024-03-01T00:00:00 is 19783 days after 1970-01-01.
  const std::int64_t t0 = 19783LL * 86400 * 1'000'000'000;
  EXPECT_EQ(series.times_ns, (std::vector<std::int64_t>{t0, t0 + 30'000'000'000LL}));
  std::vector<std::string> g05;
  for (const TimeseriesPoint& p : series.satellite_timeseries.find("G05")->cn0_series) {
    g05.push_back(series.signals.at(p.signal) + (p.has_look_angles ? " computed" : " default"));
  }
  EXPECT_EQ(g05, (std::vector<std::string>{"S1C computed", "S2W computed", "S2W computed"}));
  const TimeseriesPoint& e11 = series.satellite_timeseries.find("E11")->cn0_series.at(0);
  EXPECT_EQ(series.signals.at(e11.signal), "S5Q");
  EXPECT_FALSE(e11.has_look_angles);
}

}  // namespace
