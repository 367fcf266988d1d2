// The analysis with navigation data: sample look angles from the broadcast orbits and the
// visibility record, on a receiver and an orbit whose geometry is known in closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "cn0/analysis.hpp"
#include "navigation/nav_data.hpp"
#include "obs_text.hpp"
#include "rinex/epoch_time.hpp"
#include "rinex/obs_parser.hpp"

namespace qcn::cn0 {
namespace {

using test::epoch_v3;
using test::header_v3;
using test::obs_field;
using test::sat_line_v3;

constexpr double kEarthRotation = 7.2921151467e-5;  // rad/s, as the broadcast model uses
constexpr double kRadius = 26560e3;                 // m, a GPS-like circular orbit
constexpr double kEquatorRadius = 6378137.0;        // m, the receiver sits on the equator at 0 E

const rinex::EpochTime kEpoch{2024, 3, 1, 0, 0, 30.0};
// 2024-03-01 is the Friday of the GPS week that began on Sunday 2024-02-25.
constexpr double kTimeOfWeek = 5 * 86400.0 + 30.0;

/// A polar circular orbit whose satellite stands at argument of latitude u at the epoch, in the
/// meridian of 0 E: Earth-fixed (r cos u, 0, r sin u).
navigation::KeplerEphemeris polar_orbit(double u) {
  navigation::KeplerEphemeris eph;
  eph.epoch = kEpoch;
  eph.epoch_julian_day = rinex::julian_day(kEpoch);
  eph.sqrt_a = std::sqrt(kRadius);
  eph.i0 = std::numbers::pi / 2.0;
  eph.toe = kTimeOfWeek;
  eph.omega0 = kEarthRotation * kTimeOfWeek;  // cancels the Earth's turn since the week began
  eph.m0 = u;
  return eph;
}

/// Observations of G01, G02, G03 (all GPS) and R05 at the epoch, with or without a position.
rinex::RinexObsData observations(bool with_position) {
  std::string header = header_v3({{'G', "C1C S1C"}, {'R', "C1C S1C"}});
  if (with_position) {
    header.insert(header.find("END OF HEADER") - 60,
                  test::header_line("  6378137.0000        0.0000        0.0000", "APPROX POSITION XYZ"));
  }
  std::string text = header + epoch_v3("2024 03 01 00 00 30.0000000", 0, 4);
  for (const char* satellite : {"G01", "G02", "G03", "R05"}) {
    text += sat_line_v3(satellite, {obs_field("20000000.000"), obs_field("40.000")});
  }
  rinex::ObsParse parse = rinex::parse_observations(text, "site.obs");
  EXPECT_EQ(parse.error, rinex::ParseError::none);
  return std::move(parse.data);
}

/// G01 30 degrees north of the equator in the receiver's meridian; G03 a record whose fields all
/// read 0 (no orbit: its position is not a number); G02 and R05 without ephemeris.
navigation::NavigationData navigation_data() {
  navigation::NavigationData nav;
  nav.gps_ephemerides["G01"].push_back(polar_orbit(std::numbers::pi / 6.0));
  navigation::KeplerEphemeris zero;
  zero.epoch = kEpoch;
  zero.epoch_julian_day = rinex::julian_day(kEpoch);
  nav.gps_ephemerides["G03"].push_back(zero);
  return nav;
}

struct Angles {
  double elevation, azimuth;
};

/// The look angles of the first sample of each satellite.
std::vector<std::pair<std::string, Angles>> sample_angles(const SampleSet& set) {
  std::vector<std::pair<std::string, Angles>> out;
  for (std::size_t i = 0; i < set.size(); ++i) out.push_back({set.satellite_id(i), {set.elevation(i), set.azimuth(i)}});
  return out;
}

TEST(NavigationAidedAnalysis, SampleLookAnglesFromTheBroadcastOrbit) {
  rinex::RinexObsData data = observations(true);
  navigation::NavigationData nav = navigation_data();
  AnalysisConfig config = quick_config(5.0, std::vector<std::string>{"G"});
  Extraction extraction = extract_samples(analysis_input(config, data, &nav));
  // Up (r cos u - R) and north (r sin u) components give the elevation; north means azimuth 0.
  const double u = std::numbers::pi / 6.0;
  const double elevation = std::atan2(kRadius * std::cos(u) - kEquatorRadius, kRadius * std::sin(u)) * 180.0 / std::numbers::pi;
  auto angles = sample_angles(extraction.samples);
  ASSERT_EQ(angles.size(), 3u);
  EXPECT_EQ(angles[0].first, "G01");
  EXPECT_NEAR(angles[0].second.elevation, elevation, 1e-6);
  EXPECT_NEAR(angles[0].second.azimuth, 0.0, 1e-6);
  // No ephemeris, and an orbit whose angles are not numbers: the defaults stay.
  for (std::size_t k : {1u, 2u}) {
    EXPECT_EQ(angles[k].second.elevation, 45.0) << angles[k].first;
    EXPECT_EQ(angles[k].second.azimuth, 0.0) << angles[k].first;
  }
  // The mask tests the real elevation (51.4) for G01 and 45 for the others.
  config = quick_config(46.0, std::vector<std::string>{"G"});
  angles = sample_angles(extract_samples(analysis_input(config, data, &nav)).samples);
  ASSERT_EQ(angles.size(), 1u);
  EXPECT_EQ(angles.front().first, "G01");
  config = quick_config(elevation + 0.001, std::vector<std::string>{"G"});
  EXPECT_EQ(extract_samples(analysis_input(config, data, &nav)).samples.size(), 0u);
}

TEST(NavigationAidedAnalysis, VisibilityRecordOfTheCoveredSystems) {
  rinex::RinexObsData data = observations(true);
  navigation::NavigationData nav = navigation_data();
  result::AnalysisResult r = run_analysis(analysis_input(quick_config(5.0, std::nullopt), data, &nav));
  ASSERT_TRUE(r.visibility.has_value());
  const result::VisibilityResult& v = *r.visibility;
  EXPECT_TRUE(v.has_prediction);
  EXPECT_EQ(v.prediction_source, "BRDC Navigation (2 satellites)");
  // G01 predicted and received; G02 and G03 received without a usable orbit; R05 is GLONASS,
  // which the navigation data does not cover, so it takes no part.
  EXPECT_EQ(v.mean_predicted, 1.0);
  EXPECT_EQ(v.mean_observed, 3.0);
  EXPECT_EQ(v.mean_missing, 0.0);
  EXPECT_EQ(v.mean_unexpected, 2.0);
  EXPECT_EQ(v.confirmation_rate, 100.0);
  ASSERT_NE(v.by_system.find("GLONASS"), nullptr);
  EXPECT_EQ(v.by_system.find("GLONASS")->observed_satellites, 0u);
  EXPECT_EQ(v.by_system.find("GPS")->observed_satellites, 3u);
  // The constellation statistics read the prediction: GPS expects max(1 predicted, 3 seen).
  EXPECT_EQ(r.constellation_stats.find("GPS")->satellites_expected, 3u);
}

TEST(NavigationAidedAnalysis, WithoutReceiverPositionThePredictionIsEmpty) {
  rinex::RinexObsData data = observations(false);
  navigation::NavigationData nav = navigation_data();
  result::AnalysisResult r = run_analysis(analysis_input(quick_config(5.0, std::nullopt), data, &nav));
  ASSERT_TRUE(r.visibility.has_value());
  EXPECT_TRUE(r.visibility->has_prediction);
  EXPECT_EQ(r.visibility->prediction_source, "");
  EXPECT_EQ(r.visibility->mean_observed, 0.0);
  EXPECT_TRUE(r.visibility->by_system.empty());
  for (const auto& [satellite, angles] : sample_angles(extract_samples(analysis_input(quick_config(5.0, std::nullopt), data, &nav)).samples)) {
    EXPECT_EQ(angles.elevation, 45.0) << satellite;
  }
  // Without navigation data there is no record at all.
  EXPECT_FALSE(run_analysis(analysis_input(quick_config(5.0, std::nullopt), data, nullptr)).visibility.has_value());
}

}  // namespace
}  // namespace qcn::cn0
