// Earth-fixed satellite positions from broadcast ephemerides, computed without allocating.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "navigation/nav_data.hpp"
#include "rinex/epoch_time.hpp"
#include "rinex/obs_data.hpp"

namespace qcn::navigation {

/// A GLONASS state: Earth-fixed position (m) and velocity (m/s).
struct GlonassState {
  rinex::Ecef pos_ecef;
  rinex::Ecef velocity_ecef;  // metres per second in each axis
};

/// The satellite's Earth-fixed position at the epoch, which is GPS time (as observation epochs
/// are); nothing without a record close enough (4 h Keplerian, 1 h GLONASS) or for systems other
/// than G, J, E, C and R. leap_seconds (GPS time minus UTC) takes the epoch to the UTC of the
/// GLONASS records; BeiDou records are reached through BeiDou time.
std::optional<rinex::Ecef> satellite_position(const NavigationData& nav, std::string_view satellite,
                                              const rinex::EpochTime& epoch, std::int32_t leap_seconds);

/// A record's Julian day and its place in file order.
struct RecordTime {
  double julian_day = 0.0;
  std::uint32_t index = 0;
};

/// The broadcast records of one satellite, found once so that positions need no lookup by name,
/// with their times in order for choosing among them by bisection.
struct SatelliteRecords {
  char system = 0;  // G, J, E, C or R; 0 when the satellite has no records
  std::span<const KeplerEphemeris> kepler;
  std::span<const GlonassEphemeris> glonass;
  std::vector<RecordTime> by_time;  // by day, then file order; empty when a day is not finite
};

/// The records of a satellite in the map of its system letter; none for other letters or names.
/// Without times in order (in_order false) nothing is allocated, and choosing scans the records.
SatelliteRecords records_of(const NavigationData& nav, std::string_view satellite, bool in_order = true);

/// The satellite's position from its records, as satellite_position gives it.
std::optional<rinex::Ecef> position_from(const SatelliteRecords& records, const rinex::EpochTime& epoch,
                                         std::int32_t leap_seconds);

/// The same with the navigation file's leap seconds, or without them the table's at the epoch.
std::optional<rinex::Ecef> satellite_position(const NavigationData& nav, std::string_view satellite,
                                              const rinex::EpochTime& epoch);

/// The epoch (GPS time) on the time scale of the system's broadcast records: UTC for GLONASS
/// (GPS time minus leap_seconds), BeiDou time for BeiDou (GPS time minus 14 s), unchanged for the
/// others. Only the second field changes, and it may become negative.
rinex::EpochTime broadcast_time(char system, const rinex::EpochTime& epoch, std::int32_t leap_seconds);

/// Whether a BeiDou satellite number is a geostationary one (C01-C05, C59-C63).
constexpr bool is_beidou_geostationary(std::uint32_t prn) { return (prn >= 1 && prn <= 5) || (prn >= 59 && prn <= 63); }

/// The record whose time of clock is closest to the epoch and strictly under 4 h away (ties keep
/// the earlier record); null when none is.
const KeplerEphemeris* select_ephemeris(std::span<const KeplerEphemeris> records,
                                        const rinex::EpochTime& epoch);

/// The record closest to the epoch and strictly under 1 h away (ties keep the earlier); null when none.
const GlonassEphemeris* select_ephemeris(std::span<const GlonassEphemeris> records,
                                         const rinex::EpochTime& epoch);

/// Seconds from toe to the epoch's GPS time of week, wrapped into the half week around toe.
double seconds_from_toe(const rinex::EpochTime& epoch, double toe_s);

/// Position of the broadcast Keplerian model at the epoch, given on the record's own time scale,
/// whatever its distance from the record. BeiDou records use BeiDou's constants, and its
/// geostationary satellites the rotation of their own algorithm.
rinex::Ecef kepler_position(const KeplerEphemeris& eph, const rinex::EpochTime& epoch);

/// The record's state integrated by dt_s (RK4, 60 s steps then one shorter; 60 steps per hour of
/// dt_s); a non-finite dt_s gives a NaN state.
GlonassState propagate_glonass(const GlonassEphemeris& eph, double dt_s);

/// The states a record reaches after whole 60 s steps, kept for the next integration of the same
/// record in the same direction: positions of a satellite at consecutive epochs share their steps.
/// One cache serves one thread.
struct GlonassSteps {
  const GlonassEphemeris* record = nullptr;
  double direction = 0.0;  // +1 or -1
  std::vector<GlonassState> states;  // states[k]: after k + 1 whole steps
};

/// propagate_glonass bit for bit, taking the whole steps from the cache and adding to it.
GlonassState propagate_glonass(const GlonassEphemeris& eph, double dt_s, GlonassSteps& steps);

/// position_from with a cache of GLONASS steps.
std::optional<rinex::Ecef> position_from(const SatelliteRecords& records, const rinex::EpochTime& epoch,
                                         std::int32_t leap_seconds, GlonassSteps& steps);


}  // namespace qcn::navigation
