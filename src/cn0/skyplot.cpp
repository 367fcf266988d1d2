// Skyplot traces, occupied azimuth/elevation cells, sky coverage and the heatmap matrices.
#include "cn0/skyplot.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rinex/satellite_systems.hpp"
#include "rinex/text.hpp"

namespace qcn::cn0 {

namespace {

constexpr double kAzimuthCellDeg = 10.0;
constexpr double kElevationCellDeg = 5.0;
constexpr std::size_t kAzimuthCells = 36;
constexpr std::size_t kElevationCells = 18;
constexpr double kSkyCells = static_cast<double>(kAzimuthCells * kElevationCells);
constexpr std::uint32_t kNoSighting = static_cast<std::uint32_t>(-1);

/// The skyplot's own system names: only the four global constellations are told apart.
std::string trace_system_name(std::string_view satellite) {
  const rinex::SatelliteSystem* system = rinex::satellite_system(satellite.empty() ? 'G' : satellite.front());
  return std::string(system ? system->skyplot_name : rinex::kOtherSkyplotName);
}

/// Per satellite, whether its samples come in time order: its time series then holds its points
/// in sample order, and the trace shares them.
std::vector<char> in_time_order(const SampleSet& set) {
  std::vector<std::uint32_t> place(set.timestamps.size());
  for (std::uint32_t p = 0; p < set.sorted_times.size(); ++p) place[set.sorted_times[p]] = p;
  std::vector<char> ordered(set.satellites.size(), 1);
  std::vector<std::uint32_t> last(set.satellites.size(), 0);
  for (std::size_t i = 0; i < set.size(); ++i) {
    const std::uint32_t s = set.satellite(i);
    const std::uint32_t p = place[set.time(i)];
    if (p < last[s]) ordered[s] = 0;
    last[s] = p;
  }
  return ordered;
}

/// One trace per satellite, its points in sample order.
void fill_traces(result::SkyplotData& skyplot, const SampleSet& set) {
  const std::vector<char> shared = in_time_order(set);
  std::vector<std::uint32_t> counts(set.satellites.size(), 0);
  for (std::size_t i = 0; i < set.size(); ++i) ++counts[set.satellite(i)];
  skyplot.traces.resize(set.satellites.size());
  for (std::size_t s = 0; s < set.satellites.size(); ++s) {
    result::SkyplotTrace& trace = skyplot.traces[s];
    trace.satellite = set.satellites[s].id;
    trace.system = trace_system_name(trace.satellite);
    trace.points_in_series = shared[s];
    if (!shared[s]) trace.points.reserve(counts[s]);
  }
  for (std::size_t i = 0; i < set.size(); ++i) {
    const std::uint32_t s = set.satellite(i);
    if (!shared[s]) skyplot.traces[s].points.push_back({set.azimuth(i), set.elevation(i), set.cn0(i)});
  }
}

/// One occupied cell; cells outside the grid (elevation 90, negative elevations) are kept.
struct Cell {
  std::int32_t azimuth_cell = 0;
  std::int32_t elevation_cell = 0;
  double sum_cn0 = 0.0;
  std::uint64_t count = 0;
};

std::uint64_t cell_key(std::int32_t azimuth_cell, std::int32_t elevation_cell) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(azimuth_cell)) << 32) |
         static_cast<std::uint32_t>(elevation_cell);
}

/// Occupied cells in order of first occupation. The cells of the sky, and those just below the
/// horizon, are found in a table; any other cell (broken angles) through a hash.
std::vector<Cell> occupied_cells(const SampleSet& set) {
  constexpr std::int32_t kLowestRow = -static_cast<std::int32_t>(kElevationCells) - 1;
  constexpr std::int32_t kRows = 2 * static_cast<std::int32_t>(kElevationCells) + 2;
  constexpr std::size_t kNoCell = static_cast<std::size_t>(-1);
  std::vector<std::size_t> table(static_cast<std::size_t>(kRows) * kAzimuthCells, kNoCell);
  std::unordered_map<std::uint64_t, std::size_t> others;
  std::vector<Cell> cells;
  // The samples of a sighting follow one another and share its angles: its cell is found once.
  std::uint32_t sighting = kNoSighting;
  std::size_t place = 0;
  for (std::size_t i = 0; i < set.size(); ++i) {
    if (set.samples[i].sighting != sighting) {
      sighting = set.samples[i].sighting;
      const std::int32_t a = rinex::saturating_i32(std::floor(set.azimuth(i) / kAzimuthCellDeg));
      const std::int32_t e = rinex::saturating_i32(std::floor(set.elevation(i) / kElevationCellDeg));
      std::size_t* slot = nullptr;
      if (a >= 0 && a < static_cast<std::int32_t>(kAzimuthCells) && e >= kLowestRow && e < kLowestRow + kRows) {
        slot = &table[static_cast<std::size_t>(e - kLowestRow) * kAzimuthCells + static_cast<std::size_t>(a)];
      } else {
        slot = &others.try_emplace(cell_key(a, e), kNoCell).first->second;
      }
      if (*slot == kNoCell) {
        *slot = cells.size();
        cells.push_back({a, e, 0.0, 0});
      }
      place = *slot;
    }
    Cell& cell = cells[place];
    cell.sum_cn0 += set.cn0(i);
    ++cell.count;
  }
  return cells;
}

void fill_heatmap_points(result::SkyplotData& skyplot, const SampleSet& set) {
  const std::vector<Cell> cells = occupied_cells(set);
  skyplot.heatmap_points.reserve(cells.size());
  for (const Cell& cell : cells) {
    // The centres are computed in doubles: a saturated cell number times ten does not fit 32 bits.
    skyplot.heatmap_points.push_back({static_cast<double>(cell.azimuth_cell) * kAzimuthCellDeg + 5.0,
                                      static_cast<double>(cell.elevation_cell) * kElevationCellDeg + 2.5,
                                      cell.sum_cn0 / static_cast<double>(cell.count), cell.count});
  }
  skyplot.coverage_percent = static_cast<double>(cells.size()) / kSkyCells * 100.0;
}

/// Row or column of the dense grid: negative and NaN go to the first cell, beyond the last to the last.
std::size_t grid_index(double cell, std::size_t cell_count) {
  if (!(cell > 0.0)) return 0;
  if (cell >= static_cast<double>(cell_count - 1)) return cell_count - 1;
  return static_cast<std::size_t>(cell);
}

void fill_matrices(result::HeatmapData& heatmap, const SampleSet& set) {
  heatmap.azimuth_bins.clear();
  heatmap.elevation_bins.clear();
  for (std::size_t c = 0; c < kAzimuthCells; ++c) {
    heatmap.azimuth_bins.push_back(static_cast<double>(c) * kAzimuthCellDeg + 5.0);
  }
  for (std::size_t r = 0; r < kElevationCells; ++r) {
    heatmap.elevation_bins.push_back(static_cast<double>(r) * kElevationCellDeg + 2.5);
  }
  std::vector<std::vector<double>> sums(kElevationCells, std::vector<double>(kAzimuthCells, 0.0));
  std::vector<std::vector<std::uint64_t>> counts(kElevationCells, std::vector<std::uint64_t>(kAzimuthCells, 0));
  std::uint32_t sighting = kNoSighting;
  std::size_t column = 0;
  std::size_t row = 0;
  for (std::size_t i = 0; i < set.size(); ++i) {
    if (set.samples[i].sighting != sighting) {
      sighting = set.samples[i].sighting;
      column = grid_index(std::floor(set.azimuth(i) / kAzimuthCellDeg), kAzimuthCells);
      row = grid_index(std::floor(set.elevation(i) / kElevationCellDeg), kElevationCells);
    }
    sums[row][column] += set.cn0(i);
    ++counts[row][column];
  }
  for (std::size_t r = 0; r < kElevationCells; ++r) {
    for (std::size_t c = 0; c < kAzimuthCells; ++c) {
      if (counts[r][c] > 0) sums[r][c] /= static_cast<double>(counts[r][c]);
    }
  }
  heatmap.cn0_matrix = std::move(sums);
  heatmap.count_matrix = std::move(counts);
}

}  // namespace

void fill_skyplot(result::AnalysisResult& result, const SampleSet& set, const SampleGroups& groups) {
  (void)groups;
  fill_traces(result.skyplot, set);
  fill_heatmap_points(result.skyplot, set);
  fill_matrices(result.heatmap, set);
}

}  // namespace qcn::cn0
