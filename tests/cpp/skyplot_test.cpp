// Skyplot traces, heatmap cells, coverage and the dense heatmap grid.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "cn0/skyplot.hpp"
#include "cn0/timeseries.hpp"

namespace {

using qcn::result::AnalysisResult;

struct Look {
  const char* satellite;
  double azimuth, elevation, cn0;
};

/// Each look is a satellite sighting of its own epoch with one S1C value; epochs follow one another
/// by a second, or go back in time with backwards set.
AnalysisResult skyplot_of(const std::vector<Look>& looks, bool backwards = false) {
  qcn::cn0::SampleSetBuilder builder;
  for (std::size_t i = 0; i < looks.size(); ++i) {
    builder.begin_epoch("2024-03-01T00:00:" + std::to_string(backwards ? 50 - i : 10 + i) + ".000Z");
    builder.begin_satellite(looks[i].satellite, looks[i].elevation, looks[i].azimuth);
    builder.add("S1C", looks[i].cn0);
  }
  const qcn::cn0::SampleSet set = builder.finish();
  AnalysisResult result;
  qcn::cn0::fill_timeseries(result, set, qcn::cn0::group_samples(set));
  qcn::cn0::fill_skyplot(result, set, qcn::cn0::group_samples(set));
  return result;
}

/// The points of a trace as azimuth, elevation, C/N0 triples, wherever they are held.
std::vector<std::vector<double>> points_of(const AnalysisResult& result, const qcn::result::SkyplotTrace& trace) {
  std::vector<std::vector<double>> points;
  qcn::result::for_each_trace_point(result, trace, [&](const qcn::result::SkyplotPoint& p) {
    points.push_back({p.azimuth, p.elevation, p.cn0});
  });
  return points;
}

TEST(SkyplotTest, DefaultLookAnglesFillOneCell) {
  const AnalysisResult result =
      skyplot_of({{"G01", 0.0, 45.0, 40.0}, {"E02", 0.0, 45.0, 44.0}, {"G01", 0.0, 45.0, 45.0}});
  ASSERT_EQ(result.skyplot.heatmap_points.size(), 1u);
  const auto& point = result.skyplot.heatmap_points[0];
  EXPECT_EQ(point.azimuth_bin, 5.0);
  EXPECT_EQ(point.elevation_bin, 47.5);
  EXPECT_EQ(point.mean_cn0, 43.0);
  EXPECT_EQ(point.count, 3u);
  EXPECT_EQ(result.skyplot.coverage_percent, 0.15432098765432098);

  const auto& heatmap = result.heatmap;
  ASSERT_EQ(heatmap.azimuth_bins.size(), 36u);
  ASSERT_EQ(heatmap.elevation_bins.size(), 18u);
  EXPECT_EQ(heatmap.azimuth_bins[1], 15.0);
  EXPECT_EQ(heatmap.azimuth_bins[35], 355.0);
  EXPECT_EQ(heatmap.elevation_bins[1], 7.5);
  EXPECT_EQ(heatmap.elevation_bins[17], 87.5);
  ASSERT_EQ(heatmap.cn0_matrix.size(), 18u);
  ASSERT_EQ(heatmap.count_matrix.size(), 18u);
  for (std::size_t row = 0; row < 18; ++row) {
    ASSERT_EQ(heatmap.cn0_matrix[row].size(), 36u);
    for (std::size_t column = 0; column < 36; ++column) {
      const bool filled = row == 9 && column == 0;
      EXPECT_EQ(heatmap.cn0_matrix[row][column], filled ? 43.0 : 0.0);
      EXPECT_EQ(heatmap.count_matrix[row][column], filled ? 3u : 0u);
    }
  }
}

TEST(SkyplotTest, CellCentresAreUnclampedGridIndicesAreClamped) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double azimuth, elevation;
    double azimuth_bin, elevation_bin;
    std::size_t column, row;
  };
  static constexpr Case kCases[] = {
      {359.9, 10.0, 355.0, 12.5, 35, 2},
      {360.0, 10.0, 365.0, 12.5, 35, 2},
      {0.0, 90.0, 5.0, 92.5, 0, 17},
      {0.0, -2.0, 5.0, -2.5, 0, 0},
      {12.5, 7.4, 15.0, 7.5, 1, 1},
      {kNaN, 87.6, 5.0, 87.5, 0, 17},
      {-kInf, kInf, -21474836475.0, 10737418237.5, 0, 17},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.azimuth << " / " << c.elevation);
    const AnalysisResult result = skyplot_of({{"G01", c.azimuth, c.elevation, 41.0}});
    ASSERT_EQ(result.skyplot.heatmap_points.size(), 1u);
    EXPECT_EQ(result.skyplot.heatmap_points[0].azimuth_bin, c.azimuth_bin);
    EXPECT_EQ(result.skyplot.heatmap_points[0].elevation_bin, c.elevation_bin);
    EXPECT_EQ(result.heatmap.count_matrix[c.row][c.column], 1u);
    EXPECT_EQ(result.heatmap.cn0_matrix[c.row][c.column], 41.0);
  }
}

TEST(SkyplotTest, CellsKeepFirstOccupationOrderAndAverage) {
  const AnalysisResult result = skyplot_of({{"G01", 100.0, 30.0, 40.0},
                                            {"G02", 5.0, 30.0, 50.0},
                                            {"G03", 109.0, 34.9, 44.0},
                                            {"G01", 101.0, 31.0, 42.0},
                                            {"G02", 0.0, 90.0, 30.0},
                                            {"G02", 0.0, 87.0, 34.0}});
  const auto& points = result.skyplot.heatmap_points;
  ASSERT_EQ(points.size(), 4u);
  EXPECT_EQ(points[0].azimuth_bin, 105.0);
  EXPECT_EQ(points[0].elevation_bin, 32.5);
  EXPECT_EQ(points[0].mean_cn0, 42.0);
  EXPECT_EQ(points[0].count, 3u);
  EXPECT_EQ(points[1].azimuth_bin, 5.0);
  EXPECT_EQ(points[2].elevation_bin, 92.5);
  EXPECT_EQ(points[3].elevation_bin, 87.5);
  // Elevation 90 is a cell of its own among the points, yet shares the top row of the grid.
  EXPECT_EQ(result.skyplot.coverage_percent, 0.6172839506172839);
  EXPECT_EQ(result.heatmap.count_matrix[6][10], 3u);
  EXPECT_EQ(result.heatmap.count_matrix[17][0], 2u);
  EXPECT_EQ(result.heatmap.cn0_matrix[17][0], 32.0);
}

TEST(SkyplotTest, TracesFollowFirstAppearanceWithTheirOwnSystemNames) {
  const AnalysisResult result = skyplot_of({{"J02", 10.0, 20.0, 38.0},
                                            {"R07", 11.0, 21.0, 39.0},
                                            {"J02", 12.0, 22.0, 40.0},
                                            {"C19", 0, 45, 41},
                                            {"E11", 0, 45, 42},
                                            {"G05", 0, 45, 43},
                                            {"S20", 0, 45, 44},
                                            {"", 0, 45, 45}});
  const auto& traces = result.skyplot.traces;
  ASSERT_EQ(traces.size(), 7u);
  const char* expected[][2] = {{"J02", "Other"}, {"R07", "GLONASS"}, {"C19", "BeiDou"}, {"E11", "Galileo"},
                               {"G05", "GPS"},   {"S20", "Other"},   {"", "GPS"}};
  for (std::size_t i = 0; i < traces.size(); ++i) {
    EXPECT_EQ(traces[i].satellite, expected[i][0]);
    EXPECT_EQ(traces[i].system, expected[i][1]);
  }
  EXPECT_EQ(points_of(result, traces[0]), (std::vector<std::vector<double>>{{10.0, 20.0, 38.0}, {12.0, 22.0, 40.0}}));
  // Epochs in time order: the trace shares its satellite's time series instead of a copy.
  EXPECT_TRUE(traces[0].points_in_series);
  EXPECT_TRUE(traces[0].points.empty());
  EXPECT_EQ(qcn::result::trace_point_count(result, traces[0]), 2u);
}

// Epochs listed back in time: the time series is sorted, the trace keeps the sample order, so it
// holds its points itself; both JSON forms are those of the points in sample order.
TEST(SkyplotTest, TracesOfEpochsOutOfTimeOrderHoldTheirOwnPoints) {
  const AnalysisResult result =
      skyplot_of({{"G01", 10.0, 20.0, 38.0}, {"G01", 11.0, 21.0, 39.0}, {"G01", 12.0, 22.0, 40.0}}, true);
  const auto& trace = result.skyplot.traces.at(0);
  EXPECT_FALSE(trace.points_in_series);
  EXPECT_EQ(points_of(result, trace),
            (std::vector<std::vector<double>>{{10.0, 20.0, 38.0}, {11.0, 21.0, 39.0}, {12.0, 22.0, 40.0}}));
  const auto& series = result.timeseries.satellite_timeseries.find("G01")->cn0_series;
  ASSERT_EQ(series.size(), 3u);
  EXPECT_EQ(series.front().cn0, 40.0);  // the latest sample is the earliest time
}

}  // namespace

// Several signals per sighting: every sample falls in its own sighting's cell, also when the
// satellites of an epoch lie in different cells and a satellite moves on between epochs, even
// from the last sighting of one epoch to the first of the next.
TEST(SkyplotTest, EverySignalOfASightingFallsInItsCell) {
  struct Sighting {
    const char* timestamp;
    const char* satellite;
    double azimuth, elevation;
    std::vector<double> cn0;  // one per signal
  };
  const std::vector<Sighting> sightings = {
      {"2024-03-01T00:00:10.000Z", "G01", 100.0, 30.0, {40.0, 42.0, 44.0}},
      {"2024-03-01T00:00:10.000Z", "G02", 5.0, 30.0, {50.0, 52.0}},
      {"2024-03-01T00:00:10.000Z", "E03", 5.0, 31.0, {30.0}},
      {"2024-03-01T00:00:11.000Z", "E03", 300.0, 60.0, {35.0, 37.0}},
      {"2024-03-01T00:00:11.000Z", "G01", 5.0, 32.0, {46.0, 48.0}},
      {"2024-03-01T00:00:11.000Z", "G02", 200.0, 80.0, {20.0, 22.0}},
  };
  static const char* const kSignals[] = {"S1C", "S2W", "S5Q"};
  qcn::cn0::SampleSetBuilder builder;
  for (const Sighting& s : sightings) {
    builder.begin_epoch(s.timestamp);
    builder.begin_satellite(s.satellite, s.elevation, s.azimuth);
    for (std::size_t k = 0; k < s.cn0.size(); ++k) builder.add(kSignals[k], s.cn0[k]);
  }
  const qcn::cn0::SampleSet set = builder.finish();
  AnalysisResult result;
  qcn::cn0::fill_skyplot(result, set, qcn::cn0::group_samples(set));

  struct Expected {
    double azimuth_bin, elevation_bin, mean_cn0;
    std::uint64_t count;
    std::size_t row, column;
  };
  static constexpr Expected kCells[] = {
      {105.0, 32.5, 42.0, 3, 6, 10},
      {5.0, 32.5, 45.2, 5, 6, 0},  // G02, E03 and G01 of the second epoch
      {305.0, 62.5, 36.0, 2, 12, 30},
      {205.0, 82.5, 21.0, 2, 16, 20},
  };
  const auto& points = result.skyplot.heatmap_points;
  ASSERT_EQ(points.size(), std::size(kCells));
  for (std::size_t c = 0; c < std::size(kCells); ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(points[c].azimuth_bin, kCells[c].azimuth_bin);
    EXPECT_EQ(points[c].elevation_bin, kCells[c].elevation_bin);
    EXPECT_EQ(points[c].mean_cn0, kCells[c].mean_cn0);
    EXPECT_EQ(points[c].count, kCells[c].count);
    EXPECT_EQ(result.heatmap.count_matrix[kCells[c].row][kCells[c].column], kCells[c].count);
    EXPECT_EQ(result.heatmap.cn0_matrix[kCells[c].row][kCells[c].column], kCells[c].mean_cn0);
  }
}
