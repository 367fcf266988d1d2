// Broadcast orbits against precise SP3 orbits: position error statistics per system.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "harness.hpp"
#include "navigation/nav_parser.hpp"
#include "navigation/orbit.hpp"
#include "rinex/text.hpp"

namespace {

using qcn::rinex::EpochTime;

struct Sp3Position {
  EpochTime epoch;
  std::string satellite;
  qcn::rinex::Ecef pos_ecef;
};

// SP3 epochs open with '*' and the calendar time; position records with 'P', the satellite and
// X, Y, Z in kilometres. A coordinate of 0.000000 marks a missing position.
std::vector<Sp3Position> read_sp3(std::string_view text) {
  std::vector<Sp3Position> positions;
  qcn::rinex::LineCursor cursor(text);
  EpochTime epoch;
  bool have_epoch = false;
  while (!cursor.at_end()) {
    std::string_view line = cursor.next();
    if (line.starts_with("* ")) {
      qcn::rinex::Words words(line.substr(1));
      double values[6] = {};
      int n = 0;
      while (n < 6) {
        auto word = words.next();
        if (!word) break;
        values[n++] = qcn::rinex::parse_float(*word).value_or(-1.0);
      }
      have_epoch = n == 6;
      epoch = {static_cast<int>(values[0]), static_cast<unsigned>(values[1]), static_cast<unsigned>(values[2]),
               static_cast<unsigned>(values[3]), static_cast<unsigned>(values[4]), values[5]};
    } else if (have_epoch && line.starts_with("P") && line.size() >= 46) {
      auto x = qcn::rinex::parse_float(qcn::rinex::trim(qcn::rinex::field(line, 4, 14)));
      auto y = qcn::rinex::parse_float(qcn::rinex::trim(qcn::rinex::field(line, 18, 14)));
      auto z = qcn::rinex::parse_float(qcn::rinex::trim(qcn::rinex::field(line, 32, 14)));
      if (!x || !y || !z || (*x == 0.0 && *y == 0.0 && *z == 0.0)) continue;
      std::string satellite(qcn::rinex::field(line, 1, 3));
      if (satellite[1] == ' ') satellite[1] = '0';
      positions.push_back({epoch, satellite, {*x * 1000.0, *y * 1000.0, *z * 1000.0}});
    }
  }
  return positions;
}

// The Keplerian record satellite_position uses, or null.
const qcn::navigation::KeplerEphemeris* kepler_record(const qcn::navigation::NavigationData& nav,
                                                      const std::string& satellite, const EpochTime& epoch) {
  const auto& map = satellite[0] == 'E'   ? nav.galileo_ephemerides
                    : satellite[0] == 'C' ? nav.beidou_ephemerides
                                          : nav.gps_ephemerides;
  if (satellite[0] == 'R') return nullptr;
  const auto* records = map.find(satellite);
  if (records == nullptr) return nullptr;
  return qcn::navigation::select_ephemeris(*records, qcn::navigation::broadcast_time(satellite[0], epoch, 0));
}

// Groups by system letter, with BeiDou's geostationary satellites apart (their own algorithm).
std::string group_of(const std::string& satellite) {
  if (satellite[0] == 'C') {
    auto prn = qcn::rinex::parse_u32(satellite.substr(1));
    if (prn && qcn::navigation::is_beidou_geostationary(*prn)) return "C GEO";
  }
  return satellite.substr(0, 1);
}

void report(const std::string& system, std::vector<double> errors) {
  if (errors.empty()) return;
  std::sort(errors.begin(), errors.end());
  double sum_squares = 0.0;
  for (double e : errors) sum_squares += e * e;
  std::printf("  %-5s n=%6zu  median %12.3f m  rms %12.3f m  max %12.3f m\n", system.c_str(), errors.size(),
              errors[errors.size() / 2], std::sqrt(sum_squares / static_cast<double>(errors.size())),
              errors.back());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s NAVIGATION_FILE SP3_FILE\n", argv[0]);
    return 2;
  }
  const std::string nav_text = qcn::bench::load_file(argv[1]);
  const std::string sp3_text = qcn::bench::load_file(argv[2]);
  const auto parse = qcn::navigation::parse_navigation(nav_text);
  if (parse.error != qcn::rinex::ParseError::none) {
    std::fprintf(stderr, "%s: %s\n", argv[1], std::string(qcn::rinex::parse_error_text(parse.error)).c_str());
    return 1;
  }
  std::map<std::string, std::vector<double>> errors;
  std::map<std::string, std::vector<double>> near_errors;  // Keplerian records at most 2 h from their toc
  std::size_t without_ephemeris = 0;
  for (const Sp3Position& truth : read_sp3(sp3_text)) {
    auto pos = qcn::navigation::satellite_position(parse.data, truth.satellite, truth.epoch);
    if (!pos) {
      ++without_ephemeris;
      continue;
    }
    const double dx = pos->x_m - truth.pos_ecef.x_m;
    const double dy = pos->y_m - truth.pos_ecef.y_m;
    const double dz = pos->z_m - truth.pos_ecef.z_m;
    const double error = std::sqrt(dx * dx + dy * dy + dz * dz);
    errors[group_of(truth.satellite)].push_back(error);
    if (const auto* eph = kepler_record(parse.data, truth.satellite, truth.epoch)) {
      const auto own_time = qcn::navigation::broadcast_time(truth.satellite[0], truth.epoch, 0);
      if (std::fabs(qcn::rinex::seconds_between(own_time, eph->epoch)) <= 7200.0) {
        near_errors[group_of(truth.satellite)].push_back(error);
      }
    }
  }
  std::printf("%s vs %s (%zu SP3 positions without a broadcast record in reach)\n", argv[1], argv[2],
              without_ephemeris);
  for (auto& [system, list] : errors) report(system, std::move(list));
  std::printf(" Keplerian positions at most 2 h from the record's time of clock:\n");
  for (auto& [system, list] : near_errors) report(system, std::move(list));
  return 0;
}
