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

/// A receiver's position with the sines and cosines of its geodetic latitude and longitude, so
/// that many look angles from one place share one geodetic conversion.
struct ReceiverFrame {
  rinex::Ecef pos_ecef;
  double sin_lat = 0.0;
  double cos_lat = 1.0;
  double sin_lon = 0.0;
  double cos_lon = 1.0;
};

/// The local frame of a receiver at pos_ecef.
ReceiverFrame receiver_frame(const rinex::Ecef& pos_ecef);

/// Azimuth and elevation of sat_ecef seen from receiver_ecef, in the receiver's local frame.
LookAngles look_angles(const rinex::Ecef& receiver_ecef, const rinex::Ecef& sat_ecef);

/// The same angles, bit for bit, from a frame computed beforehand.
LookAngles look_angles(const ReceiverFrame& receiver, const rinex::Ecef& sat_ecef);

}  // namespace qcn::navigation
