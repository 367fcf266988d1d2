// WGS 84 geodetic conversion and look angles against the closed-form forward conversion.
#include <gtest/gtest.h>

#include <cmath>

#include "navigation/geodesy.hpp"

namespace {

using qcn::navigation::geodetic_from_ecef;
using qcn::navigation::look_angles;
using qcn::rinex::Ecef;

constexpr double kA = 6378137.0;
constexpr double kE2 = 0.0066943799901413165;
constexpr double kDeg = 3.14159265358979323846 / 180.0;

// Geodetic to Earth-fixed, the direct formula.
Ecef ecef_from_geodetic(double lat_deg, double lon_deg, double height_m) {
  const double lat = lat_deg * kDeg, lon = lon_deg * kDeg;
  const double n = kA / std::sqrt(1.0 - kE2 * std::sin(lat) * std::sin(lat));
  return {(n + height_m) * std::cos(lat) * std::cos(lon), (n + height_m) * std::cos(lat) * std::sin(lon),
          (n * (1.0 - kE2) + height_m) * std::sin(lat)};
}

TEST(GeodesyTest, ConvertsAxesEquatorAndPoles) {
  const double b = kA * std::sqrt(1.0 - kE2);  // polar semi-axis
  struct Case {
    Ecef pos;
    double lat_deg, lon_deg, height_m;
  };
  const Case cases[] = {
      {{kA, 0, 0}, 0, 0, 0},          {{0, kA + 1000, 0}, 0, 90, 1000}, {{-kA, 0, 0}, 0, 180, 0},
      {{0, -kA, 0}, 0, -90, 0},       {{0, 0, b}, 90, 0, 0},             {{0, 0, -b - 500}, -90, 0, 500},
      {{0, 0, 2e7}, 90, 0, 2e7 - b},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pos.x_m + 3 * c.pos.y_m + 7 * c.pos.z_m);
    const auto g = geodetic_from_ecef(c.pos);
    EXPECT_NEAR(g.lat_deg, c.lat_deg, 1e-12);
    EXPECT_NEAR(g.lon_deg, c.lon_deg, 1e-12);
    EXPECT_NEAR(g.height_m, c.height_m, 1e-6);
  }
}

TEST(GeodesyTest, RoundTripsStations) {
  struct Case {
    double lat_deg, lon_deg, height_m;
  };
  // Copenhagen area, Wettzell, Santiago, Hobart, a mountain top, an airliner, near a pole.
  const Case cases[] = {{55.63, 12.08, 50.0},   {49.144, 12.879, 666.0},   {-33.15, -70.67, 723.0},
                        {-42.80, 147.44, 41.0}, {27.988, 86.925, 8848.0}, {40.0, -75.0, 11000.0},
                        {89.9, 45.0, 10.0},     {-1e-7, 179.999, -30.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lat_deg);
    const auto g = geodetic_from_ecef(ecef_from_geodetic(c.lat_deg, c.lon_deg, c.height_m));
    EXPECT_NEAR(g.lat_deg, c.lat_deg, 1e-9);
    EXPECT_NEAR(g.lon_deg, c.lon_deg, 1e-9);
    EXPECT_NEAR(g.height_m, c.height_m, 1e-4);
  }
}

TEST(GeodesyTest, LookAnglesInTheLocalFrame) {
  struct Case {
    const char* name;
    double lat_deg, lon_deg;
    double east, north, up;  // direction of the satellite from the receiver
    double azimuth_deg, elevation_deg;
  };
  const Case cases[] = {
      {"zenith on the equator", 0, 0, 0, 0, 1, 0, 90},
      {"due north on the horizon", 0, 0, 0, 1, 0, 0, 0},
      {"due west", 0, 0, -1, 0, 0, 270, 0},
      {"due east, 45 up", 0, 0, 1, 0, 1, 90, 45},
      {"south, below the horizon", 0, 0, 0, -1, -1, 180, -45},
      {"north-west mid-latitude", 55.6, 12.1, -1, 1, std::sqrt(2.0), 315, 45},
      {"zenith south", -33.2, -70.7, 0, 0, 1, 0, 90},
      {"north-east south-west", -42.8, 147.4, 1, 1, 0, 45, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Ecef rx = ecef_from_geodetic(c.lat_deg, c.lon_deg, 100.0);
    const double lat = c.lat_deg * kDeg, lon = c.lon_deg * kDeg;
    const double range = 2.0e7;
    const double scale = range / std::sqrt(c.east * c.east + c.north * c.north + c.up * c.up);
    const double e = c.east * scale, n = c.north * scale, u = c.up * scale;
    const Ecef sat{rx.x_m - std::sin(lon) * e - std::sin(lat) * std::cos(lon) * n + std::cos(lat) * std::cos(lon) * u,
                   rx.y_m + std::cos(lon) * e - std::sin(lat) * std::sin(lon) * n + std::cos(lat) * std::sin(lon) * u,
                   rx.z_m + std::cos(lat) * n + std::sin(lat) * u};
    const auto look = look_angles(rx, sat);
    if (c.elevation_deg != 90) {
      EXPECT_NEAR(look.azimuth_deg, c.azimuth_deg, 1e-7);
    }
    EXPECT_NEAR(look.elevation_deg, c.elevation_deg, 1e-7);
    EXPECT_GE(look.azimuth_deg, 0.0);
    EXPECT_LT(look.azimuth_deg, 360.0);
  }
}

// The written steps, one by one: geodetic conversion, degrees back to radians, east-north-up.
qcn::navigation::LookAngles look_angles_by_steps(const Ecef& rx, const Ecef& sat) {
  constexpr double kRadiansPerDegree = 0.017453292519943295;
  constexpr double kDegreesPerRadian = 57.29577951308232;
  const auto g = geodetic_from_ecef(rx);
  const double phi = g.lat_deg * kRadiansPerDegree, lambda = g.lon_deg * kRadiansPerDegree;
  const double dx = sat.x_m - rx.x_m, dy = sat.y_m - rx.y_m, dz = sat.z_m - rx.z_m;
  const double east = -std::sin(lambda) * dx + std::cos(lambda) * dy;
  const double north = -std::sin(phi) * std::cos(lambda) * dx - std::sin(phi) * std::sin(lambda) * dy +
                       std::cos(phi) * dz;
  const double up = std::cos(phi) * std::cos(lambda) * dx + std::cos(phi) * std::sin(lambda) * dy +
                    std::sin(phi) * dz;
  double azimuth = std::atan2(east, north) * kDegreesPerRadian;
  if (azimuth < 0) azimuth += 360;
  return {azimuth, std::atan2(up, std::sqrt(east * east + north * north)) * kDegreesPerRadian};
}

TEST(GeodesyTest, AReceiverFrameGivesTheSameAnglesBitForBit) {
  const Ecef receivers[] = {ecef_from_geodetic(55.63, 12.08, 50.0), ecef_from_geodetic(-33.15, -70.67, 723.0),
                            ecef_from_geodetic(89.9, 45.0, 10.0), ecef_from_geodetic(0.0, 179.999, -30.0),
                            {3513638.0, 778956.0, 5248216.0}};
  for (const Ecef& rx : receivers) {
    const auto frame = qcn::navigation::receiver_frame(rx);
    for (int k = 0; k < 200; ++k) {
      // Satellites spread over the whole sky and below the horizon, at orbit distances.
      const double a = k * 0.7, b = k * 0.31;
      const Ecef sat{2.6e7 * std::cos(a) * std::cos(b), 2.6e7 * std::sin(a) * std::cos(b), 2.6e7 * std::sin(b)};
      SCOPED_TRACE(k);
      const auto expected = look_angles_by_steps(rx, sat);
      const auto direct = look_angles(rx, sat);
      const auto framed = look_angles(frame, sat);
      EXPECT_EQ(direct.azimuth_deg, expected.azimuth_deg);
      EXPECT_EQ(direct.elevation_deg, expected.elevation_deg);
      EXPECT_EQ(framed.azimuth_deg, expected.azimuth_deg);
      EXPECT_EQ(framed.elevation_deg, expected.elevation_deg);
    }
  }
}

}  // namespace
