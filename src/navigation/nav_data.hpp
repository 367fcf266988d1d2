// Broadcast ephemerides of a RINEX navigation file: per satellite, every record in file order.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "rinex/epoch_time.hpp"
#include "rinex/ordered_map.hpp"

namespace qcn::navigation {

/// One Keplerian broadcast record (GPS, QZSS, Galileo, BeiDou); angles in radians, times in
/// seconds, as broadcast.
struct KeplerEphemeris {
  rinex::EpochTime epoch;         // time of clock, as written on the first line
  double epoch_julian_day = 0.0;  // julian_day(epoch), kept with it for the ephemeris selection
  double clock_bias = 0.0;        // af0, s
  double clock_drift = 0.0;       // af1, s/s
  double clock_drift_rate = 0.0;  // af2, s/s^2
  double iode = 0.0;              // issue of data, ephemeris
  double crs = 0.0;               // m
  double delta_n = 0.0;           // rad/s
  double m0 = 0.0;
  double cuc = 0.0;
  double e = 0.0;
  double cus = 0.0;
  double sqrt_a = 0.0;  // m^0.5
  double toe = 0.0;     // seconds of week
  double cic = 0.0;
  double omega0 = 0.0;
  double cis = 0.0;
  double i0 = 0.0;
  double crc = 0.0;  // m
  double omega = 0.0;
  double omega_dot = 0.0;  // rad/s
  double idot = 0.0;       // rad/s
  std::int32_t week = 0;
  std::uint32_t prn = 0;
  char system = 'G';  // G, J, E or C
};

/// One GLONASS broadcast state vector, Earth-fixed; the file's kilometres are stored as metres.
struct GlonassEphemeris {
  rinex::EpochTime epoch;
  double epoch_julian_day = 0.0;  // julian_day(epoch), kept with it for the ephemeris selection
  double clock_bias = 0.0;  // s, as broadcast
  double relative_frequency_bias = 0.0;
  double message_frame_time = 0.0;  // s
  double x = 0.0;                   // m
  double x_velocity = 0.0;          // m/s
  double x_acceleration = 0.0;      // m/s^2
  double y = 0.0;
  double y_velocity = 0.0;
  double y_acceleration = 0.0;
  double z = 0.0;
  double z_velocity = 0.0;
  double z_acceleration = 0.0;
  std::uint32_t slot = 0;
  std::int32_t frequency_channel = 0;
};

/// A parsed navigation file. Keys are satellite identifiers (G05, J02, E11, C20, R07) in order of
/// first appearance; QZSS records live in gps_ephemerides under their J keys.
struct NavigationData {
  rinex::OrderedMap<std::vector<KeplerEphemeris>> gps_ephemerides;
  rinex::OrderedMap<std::vector<KeplerEphemeris>> galileo_ephemerides;
  rinex::OrderedMap<std::vector<KeplerEphemeris>> beidou_ephemerides;
  rinex::OrderedMap<std::vector<GlonassEphemeris>> glonass_ephemerides;
  rinex::OrderedMap<std::int32_t> glonass_channels;  // slot number text ("7") -> channel
  std::optional<std::int32_t> leap_seconds;           // GPS time minus UTC, s, from LEAP SECONDS
  // Every record whose first line reads, kept above or not (SBAS, NavIC): how many each system
  // letter has, in order of first appearance, and the earliest and latest time of clock.
  rinex::OrderedMap<std::uint64_t> records_by_system;
  std::optional<rinex::EpochTime> first_record;
  std::optional<rinex::EpochTime> last_record;
};

/// True when any of the four ephemeris maps holds a satellite.
inline bool has_data(const NavigationData& nav) {
  return !nav.gps_ephemerides.empty() || !nav.galileo_ephemerides.empty() ||
         !nav.beidou_ephemerides.empty() || !nav.glonass_ephemerides.empty();
}

}  // namespace qcn::navigation
