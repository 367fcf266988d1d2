// Broadcast orbits: ephemeris selection, the IS-GPS-200 Keplerian model, GLONASS RK4 integration.
#include "navigation/orbit.hpp"

#include "rinex/leap_seconds.hpp"
#include "rinex/text.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace qcn::navigation {
namespace {

// Keplerian model: the GPS values serve GPS, QZSS and Galileo; BeiDou has its own.
constexpr double kGm = 3.986005e14;                 // m^3/s^2
constexpr double kEarthRotation = 7.2921151467e-5;  // rad/s
constexpr double kBeidouGm = 3.986004418e14;        // m^3/s^2
constexpr double kBeidouEarthRotation = 7.2921150e-5;  // rad/s
// BeiDou geostationary orbits are broadcast in a frame tilted by -5 degrees about the x axis.
constexpr double kBeidouGeoTiltRad = -5.0 * 0.017453292519943295;
constexpr double kBeidouBehindGps = 14.0;  // s
constexpr double kGpsEpochJulianDay = 2444244.5;   // 1980-01-06 0 h
constexpr double kSecondsPerWeek = 604800.0;
constexpr double kSecondsPerHalfWeek = 302400.0;
constexpr double kSecondsPerDay = 86400.0;
constexpr int kKeplerIterations = 10;

// GLONASS model.
constexpr double kGlonassGm = 3.9860044e14;                // m^3/s^2
constexpr double kGlonassOneAndHalfJ2Ae2 = 66062825163.19413;  // 1.5 * J2 * ae^2, m^2
constexpr double kGlonassRotationSquared = 5.3174941173225e-9;  // s^-2
constexpr double kGlonassTwiceRotation = 1.458423e-4;          // s^-1
constexpr double kGlonassStep = 60.0;                          // s

// Selection bounds in days, applied to the floating Julian-day difference as it comes.
constexpr double kKeplerWindowDays = 0.16666666666666666;   // 4 h
constexpr double kGlonassWindowDays = 0.041666666666666664;  // 1 h

template <typename Record>
const Record* closest(std::span<const Record> records, double jd, double window) {
  const Record* best = nullptr;
  double best_diff = 0.0;
  for (const Record& record : records) {
    double diff = std::fabs(record.epoch_julian_day - jd);
    if (!(diff < window)) continue;
    if (best == nullptr || diff < best_diff) {
      best = &record;
      best_diff = diff;
    }
  }
  return best;
}

struct State {
  double x, y, z, vx, vy, vz;
};

struct Acceleration {
  double x, y, z;
};

// Time derivative of the state: velocity, and gravity with J2 in the rotating Earth-fixed frame
// plus the broadcast luni-solar acceleration, held constant.
State derivative(const State& s, const Acceleration& broadcast) {
  const double r = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
  const double r2 = r * r;
  const double rho = kGlonassOneAndHalfJ2Ae2 / r2;
  const double zeta = 5.0 * s.z * s.z / r2;
  const double gm_r3 = kGlonassGm / (r * r * r);
  const double ax = -gm_r3 * s.x * (1.0 + rho * (1.0 - zeta)) + kGlonassRotationSquared * s.x +
                    kGlonassTwiceRotation * s.vy + broadcast.x;
  const double ay = -gm_r3 * s.y * (1.0 + rho * (1.0 - zeta)) + kGlonassRotationSquared * s.y -
                    kGlonassTwiceRotation * s.vx + broadcast.y;
  const double az = -gm_r3 * s.z * (1.0 + rho * (3.0 - zeta)) + broadcast.z;
  return {s.vx, s.vy, s.vz, ax, ay, az};
}

State advance(const State& s, const State& k, double h) {
  return {s.x + h * k.x,   s.y + h * k.y,   s.z + h * k.z,
          s.vx + h * k.vx, s.vy + h * k.vy, s.vz + h * k.vz};
}

double rk4_sum(double s, double k1, double k2, double k3, double k4, double h) {
  return s + h / 6.0 * (k1 + 2.0 * k2 + 2.0 * k3 + k4);
}

State rk4_step(const State& s, const Acceleration& broadcast, double h) {
  const State k1 = derivative(s, broadcast);
  const State k2 = derivative(advance(s, k1, h / 2.0), broadcast);
  const State k3 = derivative(advance(s, k2, h / 2.0), broadcast);
  const State k4 = derivative(advance(s, k3, h), broadcast);
  return {rk4_sum(s.x, k1.x, k2.x, k3.x, k4.x, h),       rk4_sum(s.y, k1.y, k2.y, k3.y, k4.y, h),
          rk4_sum(s.z, k1.z, k2.z, k3.z, k4.z, h),       rk4_sum(s.vx, k1.vx, k2.vx, k3.vx, k4.vx, h),
          rk4_sum(s.vy, k1.vy, k2.vy, k3.vy, k4.vy, h), rk4_sum(s.vz, k1.vz, k2.vz, k3.vz, k4.vz, h)};
}

/// The record closest_by_scan would choose, found from the records in time order: the smallest
/// difference lies with the nearest day below or above jd (a rounded difference grows with the
/// exact one), and among records of equal difference the scan keeps the first in file order.
template <typename Record>
const Record* closest_in_order(std::span<const Record> records, std::span<const RecordTime> by_time, double jd,
                               double window) {
  const auto at = std::lower_bound(by_time.begin(), by_time.end(), jd,
                                   [](const RecordTime& r, double day) { return r.julian_day < day; });
  const Record* best = nullptr;
  double best_diff = 0.0;
  std::uint32_t best_index = 0;
  auto consider = [&](const RecordTime& r) {
    const double diff = std::fabs(r.julian_day - jd);
    if (!(diff < window)) return;
    if (best == nullptr || diff < best_diff || (diff == best_diff && r.index < best_index)) {
      best = &records[r.index];
      best_diff = diff;
      best_index = r.index;
    }
  };
  if (at != by_time.begin()) {
    const double below = std::prev(at)->julian_day;
    for (auto it = std::prev(at);; --it) {
      if (it->julian_day != below) break;
      consider(*it);
      if (it == by_time.begin()) break;
    }
  }
  for (auto it = at; it != by_time.end() && it->julian_day == at->julian_day; ++it) consider(*it);
  return best;
}

template <typename Record>
const Record* select_record(const SatelliteRecords& satellite, std::span<const Record> records, double jd,
                            double window) {
  if (satellite.by_time.empty() || !std::isfinite(jd)) return closest(records, jd, window);
  return closest_in_order(records, std::span<const RecordTime>(satellite.by_time), jd, window);
}

/// Seconds from toe at the epoch of Julian day jd (see seconds_from_toe).
double seconds_from_toe_of_day(double jd, double toe_s) {
  // julian_day counts from midnight, half a day after the astronomical Julian date.
  const double days = jd - 0.5 - kGpsEpochJulianDay;
  const std::int32_t week = rinex::saturating_i32(std::floor(days / 7.0));
  const double time_of_week = (days - 7.0 * static_cast<double>(week)) * kSecondsPerDay;
  double tk = time_of_week - toe_s;
  if (tk > kSecondsPerHalfWeek) {
    tk -= kSecondsPerWeek;
  } else if (tk < -kSecondsPerHalfWeek) {
    tk += kSecondsPerWeek;
  }
  return tk;
}

}  // namespace

const KeplerEphemeris* select_ephemeris(std::span<const KeplerEphemeris> records,
                                        const rinex::EpochTime& epoch) {
  return closest(records, rinex::julian_day(epoch), kKeplerWindowDays);
}

const GlonassEphemeris* select_ephemeris(std::span<const GlonassEphemeris> records,
                                         const rinex::EpochTime& epoch) {
  return closest(records, rinex::julian_day(epoch), kGlonassWindowDays);
}

double seconds_from_toe(const rinex::EpochTime& epoch, double toe_s) {
  return seconds_from_toe_of_day(rinex::julian_day(epoch), toe_s);
}

namespace {

struct KeplerConstants {
  double gm;              // m^3/s^2
  double earth_rotation;  // rad/s
};

// The orbital plane: radius, argument of latitude and inclination at tk.
struct OrbitPlane {
  double x, y;  // in the plane, m
  double inclination;
};

OrbitPlane orbit_plane(const KeplerEphemeris& eph, double tk, double gm) {
  const double a = eph.sqrt_a * eph.sqrt_a;
  const double n = std::sqrt(gm / (a * a * a)) + eph.delta_n;
  const double mean_anomaly = eph.m0 + n * tk;
  // Ten Newton steps, whatever the convergence. A step that returns its own input returns it
  // again, so once a step leaves the anomaly unchanged the remaining steps are known without
  // being taken: the result is bit for bit that of all ten.
  double ecc_anomaly = mean_anomaly;
  double sin_e = std::sin(ecc_anomaly);
  double cos_e = std::cos(ecc_anomaly);
  for (int k = 0; k < kKeplerIterations; ++k) {
    const double next = ecc_anomaly - (ecc_anomaly - eph.e * sin_e - mean_anomaly) / (1.0 - eph.e * cos_e);
    if (next == ecc_anomaly && std::signbit(next) == std::signbit(ecc_anomaly)) break;
    ecc_anomaly = next;
    sin_e = std::sin(ecc_anomaly);
    cos_e = std::cos(ecc_anomaly);
  }
  const double true_anomaly = std::atan2(std::sqrt(1.0 - eph.e * eph.e) * sin_e, cos_e - eph.e);
  const double phi = true_anomaly + eph.omega;
  const double sin_2phi = std::sin(2.0 * phi);
  const double cos_2phi = std::cos(2.0 * phi);
  const double du = eph.cus * sin_2phi + eph.cuc * cos_2phi;
  const double dr = eph.crs * sin_2phi + eph.crc * cos_2phi;
  const double di = eph.cis * sin_2phi + eph.cic * cos_2phi;
  const double u = phi + du;
  const double r = a * (1.0 - eph.e * cos_e) + dr;
  return {r * std::cos(u), r * std::sin(u), eph.i0 + eph.idot * tk + di};
}

rinex::Ecef rotate_to_ecef(const OrbitPlane& plane, double node) {
  const double cos_node = std::cos(node);
  const double sin_node = std::sin(node);
  const double cos_i = std::cos(plane.inclination);
  return {plane.x * cos_node - plane.y * cos_i * sin_node, plane.x * sin_node + plane.y * cos_i * cos_node,
          plane.y * std::sin(plane.inclination)};
}

// A BeiDou geostationary satellite: the node moves with omega_dot alone, giving a position in an
// inertial-like frame tilted by -5 degrees, which is turned into the Earth-fixed frame by the
// Earth's rotation over tk.
rinex::Ecef beidou_geostationary_position(const KeplerEphemeris& eph, double tk, const OrbitPlane& plane) {
  const double node = eph.omega0 + eph.omega_dot * tk - kBeidouEarthRotation * eph.toe;
  const rinex::Ecef g = rotate_to_ecef(plane, node);
  const double cos_tilt = std::cos(kBeidouGeoTiltRad);
  const double sin_tilt = std::sin(kBeidouGeoTiltRad);
  const double y_tilted = cos_tilt * g.y_m + sin_tilt * g.z_m;
  const double z_tilted = -sin_tilt * g.y_m + cos_tilt * g.z_m;
  const double spin = kBeidouEarthRotation * tk;
  const double cos_spin = std::cos(spin);
  const double sin_spin = std::sin(spin);
  return {cos_spin * g.x_m + sin_spin * y_tilted, -sin_spin * g.x_m + cos_spin * y_tilted, z_tilted};
}

}  // namespace

namespace {

rinex::Ecef kepler_position_of_day(const KeplerEphemeris& eph, double jd) {
  const bool beidou = eph.system == 'C';
  const KeplerConstants constants = beidou ? KeplerConstants{kBeidouGm, kBeidouEarthRotation}
                                           : KeplerConstants{kGm, kEarthRotation};
  const double tk = seconds_from_toe_of_day(jd, eph.toe);
  const OrbitPlane plane = orbit_plane(eph, tk, constants.gm);
  if (beidou && is_beidou_geostationary(eph.prn)) return beidou_geostationary_position(eph, tk, plane);
  const double node =
      eph.omega0 + (eph.omega_dot - constants.earth_rotation) * tk - constants.earth_rotation * eph.toe;
  return rotate_to_ecef(plane, node);
}

}  // namespace

rinex::Ecef kepler_position(const KeplerEphemeris& eph, const rinex::EpochTime& epoch) {
  return kepler_position_of_day(eph, rinex::julian_day(epoch));
}

namespace {

/// The record's state integrated by dt_s; with a cache, whole steps come from it and go into it.
GlonassState integrate(const GlonassEphemeris& eph, double dt_s, GlonassSteps* cache) {
  if (!std::isfinite(dt_s)) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    return {{nan, nan, nan}, {nan, nan, nan}};
  }
  const double nominal = dt_s > 0.0 ? kGlonassStep : -kGlonassStep;
  GlonassSteps none;
  GlonassSteps& steps = cache ? *cache : none;
  if (cache && (steps.record != &eph || steps.direction != nominal)) {
    steps.record = &eph;
    steps.direction = nominal;
    steps.states.clear();
  }
  const Acceleration broadcast{eph.x_acceleration, eph.y_acceleration, eph.z_acceleration};
  State s{eph.x, eph.y, eph.z, eph.x_velocity, eph.y_velocity, eph.z_velocity};
  double elapsed = 0.0;
  std::size_t whole = 0;  // whole steps taken
  while (std::fabs(elapsed) < std::fabs(dt_s)) {
    const double remaining = dt_s - elapsed;
    const double h = std::fabs(remaining) < kGlonassStep ? remaining : nominal;
    if (h == nominal && whole < steps.states.size()) {
      const GlonassState& known = steps.states[whole];
      s = {known.pos_ecef.x_m, known.pos_ecef.y_m, known.pos_ecef.z_m,
           known.velocity_ecef.x_m, known.velocity_ecef.y_m, known.velocity_ecef.z_m};
    } else {
      s = rk4_step(s, broadcast, h);
      if (cache && h == nominal && whole == steps.states.size()) {
        steps.states.push_back({{s.x, s.y, s.z}, {s.vx, s.vy, s.vz}});
      }
    }
    if (h == nominal) ++whole;
    elapsed += h;
  }
  return {{s.x, s.y, s.z}, {s.vx, s.vy, s.vz}};
}

}  // namespace

GlonassState propagate_glonass(const GlonassEphemeris& eph, double dt_s) { return integrate(eph, dt_s, nullptr); }

GlonassState propagate_glonass(const GlonassEphemeris& eph, double dt_s, GlonassSteps& steps) {
  return integrate(eph, dt_s, &steps);
}

rinex::EpochTime broadcast_time(char system, const rinex::EpochTime& epoch, std::int32_t leap_seconds) {
  if (system == 'R') return rinex::shifted_back(epoch, static_cast<double>(leap_seconds));
  if (system == 'C') return rinex::shifted_back(epoch, kBeidouBehindGps);
  return epoch;
}

namespace {

/// The records' days in order (stable, so equal days keep file order); none when one is not
/// finite, which only a scan handles as it is defined.
template <typename Record>
std::vector<RecordTime> times_of(std::span<const Record> records) {
  std::vector<RecordTime> times;
  times.reserve(records.size());
  for (std::uint32_t i = 0; i < records.size(); ++i) {
    if (!std::isfinite(records[i].epoch_julian_day)) return {};
    times.push_back({records[i].epoch_julian_day, i});
  }
  std::stable_sort(times.begin(), times.end(),
                   [](const RecordTime& a, const RecordTime& b) { return a.julian_day < b.julian_day; });
  return times;
}

}  // namespace

SatelliteRecords records_of(const NavigationData& nav, std::string_view satellite, bool in_order) {
  SatelliteRecords records;
  if (satellite.empty()) return records;
  const rinex::OrderedMap<std::vector<KeplerEphemeris>>* kepler = nullptr;
  switch (satellite[0]) {
    case 'G':
    case 'J':
      kepler = &nav.gps_ephemerides;
      break;
    case 'E':
      kepler = &nav.galileo_ephemerides;
      break;
    case 'C':
      kepler = &nav.beidou_ephemerides;
      break;
    case 'R':
      if (const auto* glonass = nav.glonass_ephemerides.find(satellite)) {
        records = {'R', {}, *glonass, {}};
        if (in_order) records.by_time = times_of(std::span<const GlonassEphemeris>(*glonass));
      }
      return records;
    default:
      return records;
  }
  if (const auto* list = kepler->find(satellite)) {
    records = {satellite[0], *list, {}, {}};
    if (in_order) records.by_time = times_of(std::span<const KeplerEphemeris>(*list));
  }
  return records;
}

namespace {

std::optional<rinex::Ecef> position_with(const SatelliteRecords& records, const rinex::EpochTime& epoch,
                                         std::int32_t leap_seconds, GlonassSteps* steps) {
  if (records.system == 0) return std::nullopt;
  const rinex::EpochTime own_time = broadcast_time(records.system, epoch, leap_seconds);
  const double jd = rinex::julian_day(own_time);
  if (records.system == 'R') {
    const GlonassEphemeris* eph = select_record(records, records.glonass, jd, kGlonassWindowDays);
    if (eph == nullptr) return std::nullopt;
    const double dt_s = rinex::seconds_between(own_time, eph->epoch);
    if (dt_s == 0.0) return rinex::Ecef{eph->x, eph->y, eph->z};
    return integrate(*eph, dt_s, steps).pos_ecef;
  }
  const KeplerEphemeris* eph = select_record(records, records.kepler, jd, kKeplerWindowDays);
  if (eph == nullptr) return std::nullopt;
  return kepler_position_of_day(*eph, jd);
}

}  // namespace

std::optional<rinex::Ecef> position_from(const SatelliteRecords& records, const rinex::EpochTime& epoch,
                                         std::int32_t leap_seconds, GlonassSteps& steps) {
  return position_with(records, epoch, leap_seconds, &steps);
}

std::optional<rinex::Ecef> position_from(const SatelliteRecords& records, const rinex::EpochTime& epoch,
                                         std::int32_t leap_seconds) {
  return position_with(records, epoch, leap_seconds, nullptr);
}

std::optional<rinex::Ecef> satellite_position(const NavigationData& nav, std::string_view satellite,
                                              const rinex::EpochTime& epoch, std::int32_t leap_seconds) {
  return position_from(records_of(nav, satellite, false), epoch, leap_seconds);
}

std::optional<rinex::Ecef> satellite_position(const NavigationData& nav, std::string_view satellite,
                                              const rinex::EpochTime& epoch) {
  // Only GLONASS needs the leap seconds, and the table is looked up only for it.
  const bool glonass = !satellite.empty() && satellite[0] == 'R';
  std::int32_t leap = 0;
  if (glonass) leap = nav.leap_seconds ? *nav.leap_seconds : rinex::leap_seconds_at(epoch);
  return satellite_position(nav, satellite, epoch, leap);
}

}  // namespace qcn::navigation
