// WGS 84 geodetic coordinates and local look angles of Earth-fixed positions.
#pragma once

#include "rinex/obs_data.hpp"

namespace qcn::navigation {

/// Geodetic position on the WGS 84 ellipsoid.
struct Geodetic {
  double lat_deg = 0.0;
  double lon_deg = 0.0;
  double height_m = 0.0;  // above the ellipsoid
};

/// Direction of a satellite seen from a receiver.
struct LookAngles {
  double azimuth_deg = 0.0;    // clockwise from north, [0, 360)
  double elevation_deg = 0.0;  // above the local horizon; negative below it
};

/// Latitude, longitude and height of an Earth-fixed position (10 fixed latitude iterations).
Geodetic geodetic_from_ecef(const rinex::Ecef& pos_ecef);

/// Azimuth and elevation of sat_ecef seen from receiver_ecef, in the receiver's local frame.
LookAngles look_angles(const rinex::Ecef& receiver_ecef, const rinex::Ecef& sat_ecef);

}  // namespace qcn::navigation
