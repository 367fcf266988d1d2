// WGS 84 conversion by fixed-point latitude iteration, and east-north-up look angles.
#include "navigation/geodesy.hpp"

#include <cmath>

namespace qcn::navigation {
namespace {

constexpr double kSemiMajorAxis = 6378137.0;              // m
constexpr double kEccentricitySquared = 0.0066943799901413165;
constexpr double kOneMinusEccentricitySquared = 0.9933056200098587;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr int kLatitudeIterations = 10;

double prime_vertical_radius(double lat_rad) {
  const double s = std::sin(lat_rad);
  return kSemiMajorAxis / std::sqrt(1.0 - kEccentricitySquared * (s * s));
}

}  // namespace

Geodetic geodetic_from_ecef(const rinex::Ecef& pos_ecef) {
  const double x = pos_ecef.x_m;
  const double y = pos_ecef.y_m;
  const double z = pos_ecef.z_m;
  const double lon = std::atan2(y, x);
  const double p = std::sqrt(x * x + y * y);
  double lat = std::atan2(z, kOneMinusEccentricitySquared * p);
  for (int k = 0; k < kLatitudeIterations; ++k) {
    const double n = prime_vertical_radius(lat);
    lat = std::atan2(z + kEccentricitySquared * n * std::sin(lat), p);
  }
  const double n = prime_vertical_radius(lat);
  const double cos_lat = std::cos(lat);
  // At the poles p / cos(lat) is 0 / 0; the height is then measured along the axis.
  const double height = std::fabs(cos_lat) > 1e-10 ? p / cos_lat - n
                                                   : std::fabs(z) - n * kOneMinusEccentricitySquared;
  return {lat * kDegreesPerRadian, lon * kDegreesPerRadian, height};
}

ReceiverFrame receiver_frame(const rinex::Ecef& pos_ecef) {
  // The angles go through degrees and back, as a receiver position given in degrees would.
  const Geodetic receiver = geodetic_from_ecef(pos_ecef);
  const double lat = receiver.lat_deg * kRadiansPerDegree;
  const double lon = receiver.lon_deg * kRadiansPerDegree;
  return {pos_ecef, std::sin(lat), std::cos(lat), std::sin(lon), std::cos(lon)};
}

LookAngles look_angles(const rinex::Ecef& receiver_ecef, const rinex::Ecef& sat_ecef) {
  return look_angles(receiver_frame(receiver_ecef), sat_ecef);
}

LookAngles look_angles(const ReceiverFrame& receiver, const rinex::Ecef& sat_ecef) {
  const double dx = sat_ecef.x_m - receiver.pos_ecef.x_m;
  const double dy = sat_ecef.y_m - receiver.pos_ecef.y_m;
  const double dz = sat_ecef.z_m - receiver.pos_ecef.z_m;
  const double sin_lat = receiver.sin_lat;
  const double cos_lat = receiver.cos_lat;
  const double sin_lon = receiver.sin_lon;
  const double cos_lon = receiver.cos_lon;
  const double east = -sin_lon * dx + cos_lon * dy;
  const double north = -sin_lat * cos_lon * dx - sin_lat * sin_lon * dy + cos_lat * dz;
  const double up = cos_lat * cos_lon * dx + cos_lat * sin_lon * dy + sin_lat * dz;
  double azimuth = std::atan2(east, north) * kDegreesPerRadian;
  if (azimuth < 0.0) azimuth += 360.0;
  const double elevation = std::atan2(up, std::sqrt(east * east + north * north)) * kDegreesPerRadian;
  return {azimuth, elevation};
}

}  // namespace qcn::navigation
