// Cost of satellite_position per call, Keplerian and GLONASS, with an allocation count.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "allocation_count.hpp"
#include "harness.hpp"
#include "navigation/nav_parser.hpp"
#include "navigation/orbit.hpp"

namespace {

using qcn::rinex::EpochTime;

struct Query {
  std::string satellite;
  EpochTime epoch;
};

EpochTime plus_seconds(EpochTime t, double seconds) {
  t.second += seconds;  // julian_day takes seconds past 60 as they come
  return t;
}

struct Result {
  double median_us = 0.0;
  std::size_t allocations = 0;
  double checksum = 0.0;
  std::size_t absent = 0;
};

Result time_queries(const qcn::navigation::NavigationData& nav, const std::vector<Query>& queries, int repeat) {
  Result result;
  auto timing = qcn::bench::time_runs(7, [&] {
    // Only the calls are counted: the harness itself stores its timings on the heap.
    const std::size_t before = qcn::bench::allocation_count();
    for (int r = 0; r < repeat; ++r) {
      for (const Query& q : queries) {
        auto pos = qcn::navigation::satellite_position(nav, q.satellite, q.epoch);
        if (pos) {
          result.checksum += pos->x_m;
        } else {
          ++result.absent;
        }
      }
    }
    result.allocations += qcn::bench::allocation_count() - before;
  });
  result.median_us = timing.median_s * 1e6 / static_cast<double>(queries.size() * static_cast<std::size_t>(repeat));
  return result;
}

template <typename Map>
double records_per_satellite(const Map& map) {
  std::size_t records = 0;
  for (const auto& [satellite, list] : map) records += list.size();
  return map.empty() ? 0.0 : static_cast<double>(records) / static_cast<double>(map.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s MIXED_NAVIGATION_FILE\n", argv[0]);
    return 2;
  }
  const std::string file = qcn::bench::load_file(argv[1]);
  const auto parse = qcn::navigation::parse_navigation(file);
  const auto& nav = parse.data;

  // Keplerian: each GPS (with QZSS) and Galileo satellite, 30 minutes after its first record.
  std::vector<Query> gps;
  std::vector<Query> galileo;
  for (const auto& [satellite, records] : nav.gps_ephemerides) {
    gps.push_back({satellite, plus_seconds(records.front().epoch, 1800.0)});
  }
  for (const auto& [satellite, records] : nav.galileo_ephemerides) {
    galileo.push_back({satellite, plus_seconds(records.front().epoch, 1800.0)});
  }
  std::vector<Query> kepler = gps;
  kepler.insert(kepler.end(), galileo.begin(), galileo.end());
  // GLONASS: just under one hour after each satellite's first record, close to 60 RK4 steps.
  std::vector<Query> glonass;
  for (const auto& [satellite, records] : nav.glonass_ephemerides) {
    glonass.push_back({satellite, plus_seconds(records.front().epoch, 3599.0)});
  }
  if (kepler.empty() || glonass.empty()) {
    std::fprintf(stderr, "the file needs GPS or Galileo and GLONASS records\n");
    return 1;
  }
  Result k = time_queries(nav, kepler, 2000);
  Result kg = time_queries(nav, gps, 2000);
  Result ke = time_queries(nav, galileo, 2000);
  Result g = time_queries(nav, glonass, 50);
  std::printf("  GPS+QZSS: %zu satellites, %.1f records each, median %.3f us per call\n", gps.size(),
              records_per_satellite(nav.gps_ephemerides), kg.median_us);
  std::printf("  Galileo:  %zu satellites, %.1f records each, median %.3f us per call\n", galileo.size(),
              records_per_satellite(nav.galileo_ephemerides), ke.median_us);
  std::printf("Keplerian: %zu satellites, median %.3f us per call, %zu allocations, %zu absent (checksum %.6g)\n",
              kepler.size(), k.median_us, k.allocations, k.absent, k.checksum);
  std::printf("GLONASS:   %zu satellites, median %.3f us per call (3599 s), %zu allocations, %zu absent (checksum %.6g)\n",
              glonass.size(), g.median_us, g.allocations, g.absent, g.checksum);
  return k.allocations == 0 && g.allocations == 0 && k.absent == 0 && g.absent == 0 ? 0 : 1;
}
