// Broadcast orbits: ephemeris selection, Keplerian model and GLONASS integration against
// closed-form orbits and real records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "navigation/nav_parser.hpp"
#include "navigation/orbit.hpp"
#include "rinex/epoch_time.hpp"

namespace {

using qcn::navigation::GlonassEphemeris;
using qcn::navigation::KeplerEphemeris;
using qcn::rinex::Ecef;
using qcn::rinex::EpochTime;

constexpr double kPi = 3.14159265358979323846;
constexpr double kGm = 3.986005e14;
constexpr double kEarthRotation = 7.2921151467e-5;
constexpr double kBeidouGm = 3.986004418e14;
constexpr double kBeidouEarthRotation = 7.2921150e-5;

struct Vec {
  double x, y, z;
};
Vec operator*(double k, Vec v) { return {k * v.x, k * v.y, k * v.z}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double distance(Ecef a, Vec b) { return std::hypot(a.x_m - b.x, a.y_m - b.y, a.z_m - b.z); }
double norm(Ecef a) { return std::hypot(a.x_m, a.y_m, a.z_m); }

// 3 January 2021 is a Sunday: the GPS week starts at its midnight.
EpochTime sunday(double hours) {
  EpochTime t{2021, 1, 3, 0, 0, 0.0};
  t.second = hours * 3600.0;  // julian_day takes seconds past 60 as they come
  return t;
}

/// Sets a record's time of clock as the parser does, with its Julian day beside it.
template <typename Record>
void set_epoch(Record& record, const EpochTime& epoch) {
  record.epoch = epoch;
  record.epoch_julian_day = qcn::rinex::julian_day(epoch);
}

template <typename Record>
Record with_epoch(const EpochTime& epoch) {
  Record record;
  set_epoch(record, epoch);
  return record;
}

KeplerEphemeris circular(double sqrt_a, double i0, double omega0, double omega, double m0) {
  KeplerEphemeris eph;
  set_epoch(eph, sunday(2.0));
  eph.toe = 7200.0;
  eph.sqrt_a = sqrt_a;
  eph.i0 = i0;
  eph.omega0 = omega0;
  eph.omega = omega;
  eph.m0 = m0;
  return eph;
}

TEST(OrbitTest, WrapsTimeFromToeIntoHalfWeek) {
  struct Case {
    EpochTime epoch;
    double toe_s;
    double expected_s;
  };
  const Case cases[] = {
      {sunday(1000.0 / 3600.0), 603000.0, 2800.0},                  // just after the week roll-over
      {sunday(6 * 24.0 + 23.0 + 50.0 / 60.0), 1000.0, -1600.0},  // just before it
      {sunday(2.0), 3600.0, 3600.0},
      {sunday(2.0), 7200.0, 0.0},
      {sunday(3.0 * 24.0), 0.0, 259200.0},
      {sunday(24.0), 600000.0, -513600.0 + 604800.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected_s);
    EXPECT_NEAR(qcn::navigation::seconds_from_toe(c.epoch, c.toe_s), c.expected_s, 1e-3);
  }
}

// Circular orbit: position = A (cos u * node + sin u * (normal x node)), u = m0 + omega + n tk,
// with the constants of the record's system: BeiDou's medium orbits use BeiDou's own.
TEST(OrbitTest, KeplerMatchesCircularOrbitsInClosedForm) {
  struct Case {
    double i0, omega0, omega, m0, hours;
  };
  const Case cases[] = {
      {0.0, 0.0, 0.0, 0.0, 2.0},          {0.96, 1.0, 0.5, -2.0, 2.0},  {kPi / 2, 0.3, 0.0, kPi / 2, 2.0},
      {0.96, -2.5, 1.2, 3.0, 5.5},        {0.96, 0.7, -0.4, 0.1, -1.25}, {1.3, 4.0, 2.0, 1.0, 3.9},
  };
  struct System {
    char letter;
    std::uint32_t prn;
    double gm, earth_rotation;
  };
  const double sqrt_a = 5153.6;
  const double a = sqrt_a * sqrt_a;
  for (const System& system : {System{'G', 1, kGm, kEarthRotation}, System{'E', 1, kGm, kEarthRotation},
                               System{'C', 11, kBeidouGm, kBeidouEarthRotation}}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(1, system.letter) + " " + std::to_string(c.omega0));
      KeplerEphemeris eph = circular(sqrt_a, c.i0, c.omega0, c.omega, c.m0);
      eph.system = system.letter;
      eph.prn = system.prn;
      EpochTime epoch = sunday(c.hours);
      const double tk = qcn::navigation::seconds_from_toe(epoch, eph.toe);
      const double u = c.m0 + c.omega + std::sqrt(system.gm / (a * a * a)) * tk;
      const double node_angle = c.omega0 - system.earth_rotation * tk - system.earth_rotation * eph.toe;
      const Vec node{std::cos(node_angle), std::sin(node_angle), 0.0};
      const Vec normal{std::sin(c.i0) * std::sin(node_angle), -std::sin(c.i0) * std::cos(node_angle), std::cos(c.i0)};
      const Vec expected = a * (std::cos(u) * node + std::sin(u) * cross(normal, node));
      EXPECT_LT(distance(qcn::navigation::kepler_position(eph, epoch), expected), 1e-6);
    }
  }
}

// A BeiDou geostationary orbit is broadcast tilted by 5 degrees: with the node at 180 degrees and
// an inclination of 5 degrees it lies in the equator, and with the Earth's rotation rate as mean
// motion it stands still over the Earth: (-A cos u, -A sin u, 0) at every tk.
TEST(OrbitTest, BeidouGeostationaryOrbitStandsStill) {
  const double a = std::cbrt(kBeidouGm / (kBeidouEarthRotation * kBeidouEarthRotation));
  for (std::uint32_t prn : {1u, 5u, 59u, 63u}) {
    for (double u : {0.0, 1.0, -2.5}) {
      KeplerEphemeris eph = circular(std::sqrt(a), 5.0 * kPi / 180.0, kPi + kBeidouEarthRotation * 7200.0, 0.0, u);
      eph.system = 'C';
      eph.prn = prn;
      for (double hours : {2.0, 2.25, 4.0, 0.5}) {
        SCOPED_TRACE(std::to_string(prn) + " " + std::to_string(u) + " " + std::to_string(hours));
        const Ecef pos = qcn::navigation::kepler_position(eph, sunday(hours));
        EXPECT_LT(distance(pos, {-a * std::cos(u), -a * std::sin(u), 0.0}), 1e-3);
      }
      // The same record as a medium orbit satellite turns with the sky instead.
      eph.prn = 11;
      EXPECT_GT(distance(qcn::navigation::kepler_position(eph, sunday(4.0)), {-a * std::cos(u), -a * std::sin(u), 0.0}),
                1e6);
    }
  }
}

// Eccentric orbit in the equator, node and perigee on the X axis: radius and true anomaly from an
// eccentric anomaly found by bisection.
TEST(OrbitTest, KeplerSolvesEccentricAnomaly) {
  const double sqrt_a = 5440.6;
  const double a = sqrt_a * sqrt_a;
  for (double e : {0.01, 0.2, 0.6}) {
    for (double m0 : {0.0, 1.0, 2.5, -3.0}) {
      SCOPED_TRACE(e * 100 + m0);
      KeplerEphemeris eph = circular(sqrt_a, 0.0, kEarthRotation * 7200.0, 0.0, m0);
      eph.e = e;
      const EpochTime epoch = sunday(2.0);
      const double tk = qcn::navigation::seconds_from_toe(epoch, eph.toe);
      const double mean = m0 + std::sqrt(kGm / (a * a * a)) * tk;
      double lo = -4.0, hi = 4.0;
      for (int k = 0; k < 200; ++k) {
        double mid = (lo + hi) / 2;
        (mid - e * std::sin(mid) - mean < 0 ? lo : hi) = mid;
      }
      const double ecc = lo;
      const double nu = 2.0 * std::atan(std::sqrt((1 + e) / (1 - e)) * std::tan(ecc / 2));
      const double angle = nu - kEarthRotation * tk;
      const double r = a * (1 - e * std::cos(ecc));
      EXPECT_LT(distance(qcn::navigation::kepler_position(eph, epoch), {r * std::cos(angle), r * std::sin(angle), 0.0}),
                1e-6);
    }
  }
}

TEST(OrbitTest, KeplerAppliesHarmonicCorrections) {
  const double sqrt_a = 5153.6;
  const double a = sqrt_a * sqrt_a;
  // Argument of latitude pi/4 at tk = 0: sin 2phi = 1, cos 2phi = 0; at 0 the other way round.
  auto at = [&](double phi) {
    KeplerEphemeris eph = circular(sqrt_a, 0.9, kEarthRotation * 7200.0, phi, 0.0);
    set_epoch(eph, sunday(2.0));
    return eph;
  };
  KeplerEphemeris eph = at(kPi / 4);
  eph.crs = 100.0;
  eph.crc = 7.0;  // multiplied by cos 2phi = 0
  EXPECT_NEAR(norm(qcn::navigation::kepler_position(eph, sunday(2.0))), a + 100.0, 1e-3);
  eph = at(0.0);
  eph.crc = -50.0;
  EXPECT_NEAR(norm(qcn::navigation::kepler_position(eph, sunday(2.0))), a - 50.0, 1e-3);
  // Z = r sin(u) sin(i): a correction of the argument of latitude and of the inclination.
  eph = at(kPi / 4);
  eph.cus = 1e-3;
  eph.cis = 2e-3;
  const Ecef pos = qcn::navigation::kepler_position(eph, sunday(2.0));
  const double tk = qcn::navigation::seconds_from_toe(sunday(2.0), 7200.0);
  const double u = kPi / 4 + std::sqrt(kGm / (a * a * a)) * tk + 1e-3;
  EXPECT_NEAR(pos.z_m, a * std::sin(u) * std::sin(0.9 + 2e-3), 1e-3);
}

// Multiples of 3/4 h are binary fractions of a day, exact in the Julian days, so the ties below
// are exact ties.
struct SelectionCase {
  const char* name;
  std::vector<double> record_hours;
  double epoch_hours;
  int expected;  // index into the records, -1 for none
};

TEST(OrbitTest, SelectsClosestKeplerRecordWithinFourHours) {
  const SelectionCase cases[] = {
      {"3 h 59 min away", {0.0}, 3.0 + 59.0 / 60.0, 0},
      {"4 h 1 min away", {0.0}, 4.0 + 1.0 / 60.0, -1},
      {"4 h 1 min before", {0.0}, -4.0 - 1.0 / 60.0, -1},
      {"tie keeps earlier", {0.0, 6.0}, 3.0, 0},
      {"tie keeps earlier in list", {6.0, 0.0}, 3.0, 0},
      {"strictly closer replaces", {0.0, 1.5}, 1.125, 1},
      {"out of window first", {4.5, 0.0, 0.75}, 0.375, 1},
      {"duplicates keep first", {1.0, 1.0}, 1.0, 0},
      {"previous day", {-3.0, 3.5}, 0.0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<KeplerEphemeris> records;
    for (double h : c.record_hours) records.push_back(with_epoch<KeplerEphemeris>(sunday(24.0 + h)));
    const KeplerEphemeris* chosen = qcn::navigation::select_ephemeris(records, sunday(24.0 + c.epoch_hours));
    EXPECT_EQ(chosen == nullptr ? -1 : static_cast<int>(chosen - records.data()), c.expected);
  }
}

TEST(OrbitTest, SelectsClosestGlonassRecordWithinOneHour) {
  const SelectionCase cases[] = {
      {"59 min away", {0.0}, 59.0 / 60.0, 0},
      {"61 min away", {0.0}, 61.0 / 60.0, -1},
      {"strictly closer replaces", {0.0, 0.75}, 0.5, 1},
      {"tie keeps earlier", {0.0, 0.75}, 0.375, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<GlonassEphemeris> records;
    for (double h : c.record_hours) records.push_back(with_epoch<GlonassEphemeris>(sunday(h)));
    const GlonassEphemeris* chosen = qcn::navigation::select_ephemeris(records, sunday(c.epoch_hours));
    EXPECT_EQ(chosen == nullptr ? -1 : static_cast<int>(chosen - records.data()), c.expected);
  }
}

// A circular equatorial orbit: gravity with J2 in the equator is central, so the orbit turns at
// n = sqrt(GM (1 + 1.5 J2 ae^2 / r^2) / r^3) inertially and at n - w in the Earth-fixed frame.
GlonassEphemeris equatorial_glonass(double r) {
  constexpr double kGlonassGm = 3.9860044e14;
  constexpr double kJ2Term = 1.5 * 1.0826257e-3 * 6378136.0 * 6378136.0;
  constexpr double kOmega = 7.292115e-5;
  const double n = std::sqrt(kGlonassGm * (1.0 + kJ2Term / (r * r)) / (r * r * r));
  GlonassEphemeris eph;
  set_epoch(eph, sunday(1.0));
  eph.x = r;
  eph.y_velocity = r * (n - kOmega);
  return eph;
}

TEST(OrbitTest, GlonassIntegrationFollowsCircularOrbit) {
  const double r = 25.5e6;
  const GlonassEphemeris eph = equatorial_glonass(r);
  const double rate = eph.y_velocity / r;  // Earth-fixed angular rate
  // RK4 at 60 s over an hour stays within a centimetre of the exact circle.
  for (double dt : {3599.0, 1800.0, 90.0, 30.5, -1800.0, -3599.0}) {
    SCOPED_TRACE(dt);
    const Ecef pos = qcn::navigation::propagate_glonass(eph, dt).pos_ecef;
    EXPECT_LT(distance(pos, {r * std::cos(rate * dt), r * std::sin(rate * dt), 0.0}), 0.01);
  }
}

TEST(OrbitTest, GlonassStepsSixtySecondsThenTheRest) {
  // Broadcast accelerations and an inclined state, so that every term of the model is used.
  GlonassEphemeris eph;
  eph.x = 1.5e7, eph.y = -1.2e7, eph.z = 1.6e7;
  eph.x_velocity = 1800.0, eph.y_velocity = 2200.0, eph.z_velocity = 300.0;
  eph.x_acceleration = 1e-6, eph.y_acceleration = -2e-6, eph.z_acceleration = 3e-6;
  for (double sign : {1.0, -1.0}) {
    SCOPED_TRACE(sign);
    const auto sixty = qcn::navigation::propagate_glonass(eph, 60.0 * sign);
    GlonassEphemeris middle = eph;
    middle.x = sixty.pos_ecef.x_m, middle.y = sixty.pos_ecef.y_m, middle.z = sixty.pos_ecef.z_m;
    middle.x_velocity = sixty.velocity_ecef.x_m, middle.y_velocity = sixty.velocity_ecef.y_m;
    middle.z_velocity = sixty.velocity_ecef.z_m;
    const Ecef two_steps = qcn::navigation::propagate_glonass(middle, 30.0 * sign).pos_ecef;
    const Ecef direct = qcn::navigation::propagate_glonass(eph, 90.0 * sign).pos_ecef;
    EXPECT_EQ(direct.x_m, two_steps.x_m);
    EXPECT_EQ(direct.y_m, two_steps.y_m);
    EXPECT_EQ(direct.z_m, two_steps.z_m);
  }
  EXPECT_TRUE(std::isnan(qcn::navigation::propagate_glonass(eph, INFINITY).pos_ecef.x_m));
}

std::string read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Consecutive broadcast records half an hour apart describe one orbit: integrating one to the
// other's time lands within metres of it.
TEST(OrbitTest, GlonassIntegrationReachesTheNextBroadcastState) {
  auto parse = qcn::navigation::parse_navigation(read_file(QCN_SHARED_DATA_DIR "/nav/amel0010.21g"));
  std::size_t pairs = 0;
  for (const auto& [satellite, records] : parse.data.glonass_ephemerides) {
    for (std::size_t i = 0; i + 1 < records.size(); ++i) {
      const double dt = qcn::rinex::seconds_between(records[i + 1].epoch, records[i].epoch);
      if (std::fabs(dt - 1800.0) > 1.0) continue;
      SCOPED_TRACE(satellite + " " + qcn::rinex::timestamp_text(records[i].epoch));
      const Ecef pos = qcn::navigation::propagate_glonass(records[i], dt).pos_ecef;
      EXPECT_LT(distance(pos, {records[i + 1].x, records[i + 1].y, records[i + 1].z}), 15.0);
      ++pairs;
    }
  }
  EXPECT_GT(pairs, 400u);
}

TEST(OrbitTest, SatellitePositionPicksTheSystemsMap) {
  qcn::navigation::NavigationData nav;
  const KeplerEphemeris eph = circular(5153.6, 0.96, 1.0, 0.5, -2.0);
  nav.gps_ephemerides["G01"].push_back(eph);
  nav.gps_ephemerides["J01"].push_back(eph);
  nav.galileo_ephemerides["E01"].push_back(eph);
  KeplerEphemeris beidou = eph;
  beidou.system = 'C';
  beidou.prn = 11;
  nav.beidou_ephemerides["C11"].push_back(beidou);
  GlonassEphemeris glonass = equatorial_glonass(25.5e6);
  set_epoch(glonass, sunday(2.0));
  nav.glonass_ephemerides["R01"].push_back(glonass);
  const EpochTime epoch = sunday(2.5);
  const Ecef expected = qcn::navigation::kepler_position(eph, epoch);
  for (const char* id : {"G01", "J01", "E01"}) {
    SCOPED_TRACE(id);
    auto pos = qcn::navigation::satellite_position(nav, id, epoch);
    ASSERT_TRUE(pos.has_value());
    EXPECT_EQ(pos->x_m, expected.x_m);
  }
  for (const char* id : {"S01", "I01", "", "X01", "G02", "E1", "R02", "C01"}) {
    SCOPED_TRACE(id);
    EXPECT_FALSE(qcn::navigation::satellite_position(nav, id, epoch).has_value());
  }
  // BeiDou records run on BeiDou time, 14 s behind GPS time.
  auto c11 = qcn::navigation::satellite_position(nav, "C11", epoch);
  ASSERT_TRUE(c11.has_value());
  const Ecef on_beidou_time = qcn::navigation::kepler_position(beidou, qcn::rinex::shifted_back(epoch, 14.0));
  EXPECT_EQ(c11->x_m, on_beidou_time.x_m);
  EXPECT_EQ(c11->z_m, on_beidou_time.z_m);
  EXPECT_FALSE(qcn::navigation::satellite_position(nav, "R01", sunday(3.5)).has_value());
}

// GLONASS records run on UTC: an observation epoch (GPS time) meets the record's own state
// exactly the leap seconds after it. The navigation file's leap seconds come first, then the
// table's of the epoch's date.
TEST(OrbitTest, GlonassRecordsAreReachedThroughUtc) {
  struct Case {
    EpochTime record;
    std::optional<std::int32_t> file_leap;
    double leap;  // expected GPS - UTC
  };
  const Case cases[] = {
      {sunday(2.0), std::nullopt, 18.0},                     // 2021
      {sunday(2.0), 17, 17.0},                               // as the file says
      {{2016, 12, 31, 23, 0, 0.0}, std::nullopt, 17.0},      // before the leap second of 2017
      {{2017, 1, 1, 0, 30, 0.0}, std::nullopt, 18.0},        // after it
      {{2005, 6, 1, 12, 0, 0.0}, std::nullopt, 13.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(qcn::rinex::timestamp_text(c.record));
    qcn::navigation::NavigationData nav;
    nav.leap_seconds = c.file_leap;
    GlonassEphemeris glonass = equatorial_glonass(25.5e6);
    set_epoch(glonass, c.record);
    nav.glonass_ephemerides["R01"].push_back(glonass);
    EpochTime gps = c.record;
    gps.second += c.leap;
    auto at_record = qcn::navigation::satellite_position(nav, "R01", gps);
    ASSERT_TRUE(at_record.has_value());
    EXPECT_EQ(at_record->x_m, glonass.x);
    EXPECT_EQ(at_record->y_m, 0.0);
    // Given explicitly, the leap seconds win over the file's.
    auto explicit_leap = qcn::navigation::satellite_position(nav, "R01", gps, static_cast<std::int32_t>(c.leap) + 30);
    ASSERT_TRUE(explicit_leap.has_value());
    const Ecef later = qcn::navigation::propagate_glonass(glonass, -30.0).pos_ecef;
    // Julian-day arithmetic puts dt a microsecond off: millimetres at 3 km/s.
    EXPECT_LT(distance(*explicit_leap, {later.x_m, later.y_m, later.z_m}), 0.01);
  }
}

}  // namespace

namespace {

struct PrecisePosition {
  std::string satellite;
  EpochTime epoch;  // GPS time
  Vec pos;          // m
};

// Epoch lines "*  2020 06 25 12  0  0.00000000" and position lines "PC05 x y z" in kilometres.
std::vector<PrecisePosition> read_precise(const std::string& text) {
  std::vector<PrecisePosition> out;
  std::istringstream lines(text);
  std::string line;
  EpochTime epoch;
  while (std::getline(lines, line)) {
    std::istringstream words(line.substr(std::min<std::size_t>(line.size(), 1)));
    if (line.starts_with("*")) {
      words >> epoch.year >> epoch.month >> epoch.day >> epoch.hour >> epoch.minute >> epoch.second;
    } else if (line.starts_with("P")) {
      std::string satellite;
      Vec pos{};
      words >> satellite >> pos.x >> pos.y >> pos.z;
      out.push_back({satellite, epoch, 1000.0 * pos});
    }
  }
  return out;
}

// Broadcast GLONASS and BeiDou orbits of a real day against its precise orbits: GLONASS through
// UTC, BeiDou through BeiDou time with its own constants, the geostationary C05 with its own
// algorithm. Without time scales they are tens of kilometres off.
TEST(OrbitRealTest, GlonassAndBeidouMeetThePreciseOrbits) {
  auto parse = qcn::navigation::parse_navigation(read_file(QCN_TEST_DATA_DIR "/nav/esbc_noon_rc.rnx"));
  ASSERT_EQ(parse.data.leap_seconds, 18);
  std::vector<double> glonass, beidou;
  for (const PrecisePosition& truth : read_precise(read_file(QCN_TEST_DATA_DIR "/nav/sta21114_noon.sp3"))) {
    SCOPED_TRACE(truth.satellite + " " + qcn::rinex::timestamp_text(truth.epoch));
    auto pos = qcn::navigation::satellite_position(parse.data, truth.satellite, truth.epoch);
    if (!pos) continue;  // no record within reach
    const double error = distance(*pos, truth.pos);
    // An hour of integration, and the broadcast geostationary orbit, stay within 25 m.
    EXPECT_LT(error, 25.0);
    (truth.satellite[0] == 'R' ? glonass : beidou).push_back(error);
  }
  ASSERT_GE(glonass.size(), 12u);
  ASSERT_GE(beidou.size(), 16u);
  for (std::vector<double>* errors : {&glonass, &beidou}) {
    std::sort(errors->begin(), errors->end());
    EXPECT_LT((*errors)[errors->size() / 2], 10.0);  // the median
  }
}

}  // namespace

namespace {

// The eccentric anomaly of ten Newton steps, taken one by one as the broadcast model defines it.
double ten_newton_steps(double e, double mean_anomaly) {
  double ecc = mean_anomaly;
  for (int k = 0; k < 10; ++k) ecc = ecc - (ecc - e * std::sin(ecc) - mean_anomaly) / (1.0 - e * std::cos(ecc));
  return ecc;
}

// The Kepler solution stops once a step changes nothing; the positions must be those of all ten
// steps bit for bit, for any eccentricity and any time.
TEST(OrbitTest, KeplerPositionIsThatOfTenNewtonSteps) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int n = 0; n < 3000; ++n) {
    KeplerEphemeris eph = circular(5153.6, 0.96, unit(random) * 6.0, unit(random) * 6.0, unit(random) * 12.0 - 6.0);
    eph.e = n % 3 == 0 ? unit(random) * 0.02 : n % 3 == 1 ? unit(random) * 0.3 : unit(random) * 0.97;
    const EpochTime epoch = sunday(2.0 + unit(random) * 3.9);
    // The same record with the eccentric anomaly forced through all ten steps: a circular orbit
    // in its own frame gives it back through the radius r = a (1 - e cos E).
    const double tk = qcn::navigation::seconds_from_toe(epoch, eph.toe);
    const double a = eph.sqrt_a * eph.sqrt_a;
    const double mean = eph.m0 + (std::sqrt(kGm / (a * a * a)) + eph.delta_n) * tk;
    const double ecc = ten_newton_steps(eph.e, mean);
    const Ecef pos = qcn::navigation::kepler_position(eph, epoch);
    const double radius = a * (1.0 - eph.e * std::cos(ecc));
    ASSERT_NEAR(norm(pos), radius, 1e-6) << n;
  }
}

// GLONASS states taken from the cache of whole steps are those of a full integration, bit for bit.
TEST(OrbitTest, CachedGlonassStepsGiveTheSameStates) {
  const GlonassEphemeris eph = equatorial_glonass(25.5e6);
  qcn::navigation::GlonassSteps steps;
  for (double dt : {30.0, 60.0, 90.0, 3599.0, 45.5, 600.0, 0.25, -30.0, -3540.0, -60.0, 120.0}) {
    SCOPED_TRACE(dt);
    const auto cached = qcn::navigation::propagate_glonass(eph, dt, steps);
    const auto direct = qcn::navigation::propagate_glonass(eph, dt);
    EXPECT_EQ(cached.pos_ecef.x_m, direct.pos_ecef.x_m);
    EXPECT_EQ(cached.pos_ecef.y_m, direct.pos_ecef.y_m);
    EXPECT_EQ(cached.velocity_ecef.z_m, direct.velocity_ecef.z_m);
  }
}

}  // namespace

namespace {

// Records are chosen by bisection over their days in order; the choice must be the scan's: the
// closest within the window, ties to the first in file order (duplicates, and records equally far
// on either side of the epoch).
TEST(OrbitTest, RecordChosenInTimeOrderIsTheScansChoice) {
  std::mt19937_64 random(3);
  for (int round = 0; round < 200; ++round) {
    qcn::navigation::NavigationData nav;
    auto& list = nav.gps_ephemerides["G01"];
    const int count = 1 + static_cast<int>(random() % 12);
    for (int k = 0; k < count; ++k) {
      KeplerEphemeris eph = circular(5153.6, 0.96, 1.0, 0.5, static_cast<double>(k));
      set_epoch(eph, sunday(static_cast<double>(random() % 16) * 0.5));  // half-hour grid, repeats
      list.push_back(eph);
    }
    const auto records = qcn::navigation::records_of(nav, "G01");
    for (int q = 0; q < 40; ++q) {
      const EpochTime epoch = sunday(static_cast<double>(random() % 40) * 0.25 - 1.0);  // midpoints too
      SCOPED_TRACE(std::to_string(round) + " " + std::to_string(q));
      const KeplerEphemeris* scanned = qcn::navigation::select_ephemeris(list, epoch);
      const auto position = qcn::navigation::position_from(records, epoch, 0);
      ASSERT_EQ(position.has_value(), scanned != nullptr);
      if (!scanned) continue;
      const Ecef expected = qcn::navigation::kepler_position(*scanned, epoch);
      ASSERT_EQ(position->x_m, expected.x_m);
      ASSERT_EQ(position->y_m, expected.y_m);
    }
  }
}

}  // namespace
