// The columns of a result: rows in time order, codes and their labels, NaN for angles that were
// not computed, and results made by hand without the signal table or the times.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "result/sample_columns.hpp"

namespace {

using qcn::result::AnalysisResult;
using qcn::result::TimeseriesPoint;

std::vector<std::string> labelled(const qcn::rinex::CodedColumn& column) {
  std::vector<std::string> out;
  for (std::uint16_t code : column.codes) out.push_back(column.labels.at(code));
  return out;
}

AnalysisResult two_satellites() {
  AnalysisResult r;
  r.timeseries.timestamps = {"2024-03-01T00:00:00.000Z", "2024-03-01T00:00:30.000Z"};
  r.timeseries.times_ns = {1709251200000000000, 1709251230000000000};
  r.timeseries.signals = {"S1C", "S2W", "S5Q"};
  r.timeseries.satellite_timeseries["G05"] = {
      "G05", "GPS", "S1C", {{0, 0, true, 45.0, 30.0, 120.0}, {0, 1, true, 39.0, 30.0, 120.0}, {1, 0, true, 46.0, 31.0, 121.0}}, {}};
  r.timeseries.satellite_timeseries["E11"] = {"E11", "Galileo", "S5Q", {{0, 2, false, 41.0, 45.0, 0.0}}, {}};
  return r;
}

TEST(SampleColumnsTest, RowsInTimeOrderWithTheirOwnSignal) {
  const qcn::result::SampleColumns c = qcn::result::sample_columns(two_satellites());
  EXPECT_EQ(c.time_index, (std::vector<std::uint32_t>{0, 0, 0, 1}));
  EXPECT_EQ(c.time_ns, (std::vector<std::int64_t>{1709251200000000000, 1709251200000000000, 1709251200000000000,
                                                  1709251230000000000}));
  EXPECT_EQ(labelled(c.satellite), (std::vector<std::string>{"G05", "G05", "E11", "G05"}));
  EXPECT_EQ(labelled(c.system), (std::vector<std::string>{"GPS", "GPS", "Galileo", "GPS"}));
  EXPECT_EQ(labelled(c.signal), (std::vector<std::string>{"S1C", "S2W", "S5Q", "S1C"}));
  EXPECT_EQ(c.cn0, (std::vector<double>{45.0, 39.0, 41.0, 46.0}));
  EXPECT_EQ(c.elevation[1], 30.0);
  EXPECT_EQ(c.azimuth[3], 121.0);
  // E11 kept the placeholders of a satellite without an orbit: NaN here.
  EXPECT_TRUE(std::isnan(c.elevation[2]) && std::isnan(c.azimuth[2]));
}

TEST(SampleColumnsTest, ResidualAgainstTheExpectedValueOfEachPoint) {
  const float nan = std::nanf("");
  AnalysisResult r = two_satellites();
  r.timeseries.satellite_timeseries["G05"].expected_cn0 = {47.5f, nan, 44.0f};
  // A satellite whose list does not match its points (none here) gets no residual at all.
  qcn::result::SampleColumns c = qcn::result::sample_columns(r);
  ASSERT_EQ(c.residual.size(), 4u);
  EXPECT_EQ(c.residual[0], -2.5);  // G05 S1C at the first epoch
  EXPECT_TRUE(std::isnan(c.residual[1]));
  EXPECT_TRUE(std::isnan(c.residual[2]));  // E11
  EXPECT_EQ(c.residual[3], 2.0);  // G05 S1C at the second epoch
  r.timeseries.satellite_timeseries["G05"].expected_cn0.pop_back();
  c = qcn::result::sample_columns(r);
  EXPECT_TRUE(std::isnan(c.residual[0]) && std::isnan(c.residual[3]));
}

TEST(SampleColumnsTest, ResultsWithoutTheTablesFallBackOnTheTexts) {
  AnalysisResult r = two_satellites();
  r.timeseries.times_ns.clear();
  r.timeseries.signals.clear();
  // A point whose time index lies past the time points comes last, without a time.
  r.timeseries.satellite_timeseries["E11"].cn0_series.push_back({7, 0, false, 40.0, 45.0, 0.0});
  const qcn::result::SampleColumns c = qcn::result::sample_columns(r);
  EXPECT_EQ(c.time_ns.front(), 1709251200000000000);  // read back from the timestamp text
  EXPECT_EQ(c.time_ns.back(), qcn::result::kNoTime);
  // Each satellite's rows carry the code of its series.
  EXPECT_EQ(labelled(c.signal), (std::vector<std::string>{"S1C", "S1C", "S5Q", "S1C", "S5Q"}));
}

TEST(SampleColumnsTest, EpochAndVisibilityColumns) {
  AnalysisResult r = two_satellites();
  r.timeseries.mean_cn0 = {41.5, 46.0};
  r.timeseries.satellite_count = {2, 1};
  const qcn::result::EpochColumns epochs = qcn::result::epoch_columns(r);
  EXPECT_EQ(epochs.time_ns, r.timeseries.times_ns);
  EXPECT_EQ(epochs.mean_cn0, r.timeseries.mean_cn0);
  EXPECT_TRUE(qcn::result::visibility_columns(r).time_ns.empty());
  r.visibility.emplace().epochs = {{5, 9, 8, 7, 2, 1}};
  const qcn::result::VisibilityColumns v = qcn::result::visibility_columns(r);
  EXPECT_EQ(v.time_ns, (std::vector<std::int64_t>{5}));
  EXPECT_EQ((std::vector<std::uint32_t>{v.predicted[0], v.observed[0], v.confirmed[0], v.missing[0], v.unexpected[0]}),
            (std::vector<std::uint32_t>{9, 8, 7, 2, 1}));
}

}  // namespace
