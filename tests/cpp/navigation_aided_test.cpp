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

/// Observations of G01, G02, G03, G04 (all GPS) and R05 at the epoch, with or without a position;
/// gps_types are the GPS observation types of the header.
rinex::RinexObsData observations(bool with_position, const char* gps_types = "C1C S1C") {
  std::string header = header_v3({{'G', gps_types}, {'R', "C1C S1C"}});
  if (with_position) {
    header.insert(header.find("END OF HEADER") - 60,
                  test::header_line("  6378137.0000        0.0000        0.0000", "APPROX POSITION XYZ"));
  }
  std::string text = header + epoch_v3("2024 03 01 00 00 30.0000000", 0, 5);
  for (const char* satellite : {"G01", "G02", "G03", "G04", "R05"}) {
    text += sat_line_v3(satellite, {obs_field("20000000.000"), obs_field("40.000")});
  }
  rinex::ObsParse parse = rinex::parse_observations(text, "site.obs");
  EXPECT_EQ(parse.error, rinex::ParseError::none);
  return std::move(parse.data);
}

/// G01 30 degrees north of the equator in the receiver's meridian; G04 on the far side of the
/// Earth; G03 a record whose fields all read 0 (no orbit: its position is not a number); G02 and
/// R05 without ephemeris.
navigation::NavigationData navigation_data() {
  navigation::NavigationData nav;
  nav.gps_ephemerides["G01"].push_back(polar_orbit(std::numbers::pi / 6.0));
  nav.gps_ephemerides["G04"].push_back(polar_orbit(std::numbers::pi));
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

TEST(NavigationAidedAnalysis, VisibilityRecordOfWhatTheOrbitsSay) {
  rinex::RinexObsData data = observations(true);
  navigation::NavigationData nav = navigation_data();
  result::AnalysisResult r = run_analysis(analysis_input(quick_config(5.0, std::nullopt), data, &nav));
  ASSERT_TRUE(r.visibility.has_value());
  const result::VisibilityResult& v = *r.visibility;
  EXPECT_TRUE(v.has_prediction);
  EXPECT_EQ(v.prediction_source, "BRDC Navigation (3 satellites)");
  // G01 predicted and received; G04, received from the far side of the Earth, is unexpected;
  // G02, G03 and R05 have no usable orbit and take no part.
  EXPECT_EQ(v.mean_predicted, 1.0);
  EXPECT_EQ(v.mean_observed, 2.0);
  EXPECT_EQ(v.mean_missing, 0.0);
  EXPECT_EQ(v.mean_unexpected, 1.0);
  EXPECT_EQ(v.confirmation_rate, 100.0);
  EXPECT_EQ(v.by_system.find("GLONASS")->observed_satellites, 0u);
  EXPECT_EQ(v.by_system.find("GPS")->observed_satellites, 2u);
  // The constellation statistics read the prediction: GPS expects max(1 predicted, 2 seen).
  EXPECT_EQ(r.constellation_stats.find("GPS")->satellites_expected, 2u);
  // Each epoch's counts, in file order.
  ASSERT_EQ(v.epochs.size(), data.epochs.size());
  for (const result::VisibilityEpoch& e : v.epochs) {
    EXPECT_EQ((std::vector<std::uint32_t>{e.predicted, e.observed, e.confirmed, e.missing, e.unexpected}),
              (std::vector<std::uint32_t>{1, 2, 1, 0, 1}));
  }
  EXPECT_EQ(v.epochs.front().time_ns, rinex::nanoseconds_since_1970(data.epochs.front().time));
  // Only G01's samples have computed look angles.
  for (const auto& [id, series] : r.timeseries.satellite_timeseries) {
    for (const result::TimeseriesPoint& p : series.cn0_series) EXPECT_EQ(p.has_look_angles, id == "G01") << id;
  }
}

TEST(NavigationAidedAnalysis, NothingPredictedGivesNoPrediction) {
  navigation::NavigationData nav = navigation_data();
  // Without a receiver position, or with navigation data of GPS for a receiver that records no
  // GPS C/N0, nothing is predicted: the result is the one without navigation data.
  for (const rinex::RinexObsData& data : {observations(false), observations(true, "C1C L1C")}) {
    result::AnalysisResult r = run_analysis(analysis_input(quick_config(5.0, std::nullopt), data, &nav));
    EXPECT_FALSE(r.visibility.has_value());
  }
  rinex::RinexObsData data = observations(false);
  for (const auto& [satellite, angles] : sample_angles(extract_samples(analysis_input(quick_config(5.0, std::nullopt), data, &nav)).samples)) {
    EXPECT_EQ(angles.elevation, 45.0) << satellite;
  }
  EXPECT_FALSE(run_analysis(analysis_input(quick_config(5.0, std::nullopt), data, nullptr)).visibility.has_value());
}

TEST(NavigationAidedAnalysis, LossOfEverySignalReportsTheMissingSatellites) {
  // Three epochs at which G01 stands above the mask and every C/N0 reads 0: no sample passes.
  std::string text = header_v3({{'G', "C1C S1C"}});
  text.insert(text.find("END OF HEADER") - 60,
              test::header_line("  6378137.0000        0.0000        0.0000", "APPROX POSITION XYZ"));
  for (const char* time : {"2024 03 01 00 00 30.0000000", "2024 03 01 00 01 00.0000000", "2024 03 01 00 01 30.0000000"}) {
    text += epoch_v3(time, 0, 1) + sat_line_v3("G01", {obs_field("20000000.000"), obs_field("0.000")});
  }
  rinex::ObsParse parse = rinex::parse_observations(text, "site.obs");
  navigation::NavigationData nav = navigation_data();
  result::AnalysisResult r = run_analysis(analysis_input(quick_config(5.0, std::nullopt), parse.data, &nav));
  EXPECT_EQ(r.summary.total_observations, 0u);
  EXPECT_EQ(r.quality_score.grade, "N/A");
  ASSERT_TRUE(r.visibility.has_value());
  EXPECT_EQ(r.visibility->mean_missing, 1.0);
  EXPECT_EQ(r.visibility->confirmation_rate, 0.0);
  // The loss lasts to the end of the file: its event ends at the last epoch.
  ASSERT_EQ(r.visibility->anomalies.size(), 1u);
  const result::VisibilityAnomaly& loss = r.visibility->anomalies.front();
  EXPECT_EQ(loss.anomaly_type, result::VisibilityAnomalyKind::missing_satellites);
  EXPECT_EQ(loss.start_time, "2024-03-01T00:00:30.000Z");
  EXPECT_EQ(loss.end_time, "2024-03-01T00:01:30.000Z");
  EXPECT_NEAR(loss.duration_seconds, 60.0, 1e-4);
  EXPECT_EQ(loss.affected_satellites, std::vector<std::string>{"G01"});
}

// Epochs listed without any satellite are times at which the receiver saw nothing: every
// predicted satellite is missing there, also when the loss lasts to the end of the file.
TEST(NavigationAidedAnalysis, EmptyEpochsAreEpochsWithoutSatellites) {
  std::string text = header_v3({{'G', "C1C S1C"}});
  text.insert(text.find("END OF HEADER") - 60,
              test::header_line("  6378137.0000        0.0000        0.0000", "APPROX POSITION XYZ"));
  const std::string g01 = sat_line_v3("G01", {obs_field("20000000.000"), obs_field("40.000")});
  text += epoch_v3("2024 03 01 00 00 30.0000000", 0, 1) + g01 + epoch_v3("2024 03 01 00 01 00.0000000", 0, 0) +
          epoch_v3("2024 03 01 00 01 30.0000000", 0, 0) + epoch_v3("2024 03 01 00 02 00.0000000", 0, 1) + g01 +
          epoch_v3("2024 03 01 00 02 30.0000000", 0, 0) + epoch_v3("2024 03 01 00 03 00.0000000", 0, 0);
  rinex::ObsParse parse = rinex::parse_observations(text, "site.obs");
  navigation::NavigationData nav = navigation_data();
  result::AnalysisResult r = run_analysis(analysis_input(quick_config(5.0, std::nullopt), parse.data, &nav));
  EXPECT_EQ(r.summary.total_epochs, 2u);  // the stored epochs
  ASSERT_TRUE(r.visibility.has_value());
  EXPECT_EQ(r.visibility->mean_predicted, 1.0);
  EXPECT_EQ(r.visibility->mean_missing, 4.0 / 6.0);
  ASSERT_EQ(r.visibility->anomalies.size(), 2u);
  EXPECT_EQ(r.visibility->anomalies[0].start_time, "2024-03-01T00:01:00.000Z");
  EXPECT_EQ(r.visibility->anomalies[0].end_time, "2024-03-01T00:01:30.000Z");
  EXPECT_EQ(r.visibility->anomalies[1].start_time, "2024-03-01T00:02:30.000Z");
  EXPECT_EQ(r.visibility->anomalies[1].end_time, "2024-03-01T00:03:00.000Z");
  // A file whose every epoch is empty still reports what was missing.
  std::string lost = header_v3({{'G', "C1C S1C"}});
  lost.insert(lost.find("END OF HEADER") - 60,
              test::header_line("  6378137.0000        0.0000        0.0000", "APPROX POSITION XYZ"));
  lost += epoch_v3("2024 03 01 00 00 30.0000000", 0, 0) + epoch_v3("2024 03 01 00 01 00.0000000", 0, 0);
  parse = rinex::parse_observations(lost, "site.obs");
  r = run_analysis(analysis_input(quick_config(5.0, std::nullopt), parse.data, &nav));
  ASSERT_TRUE(r.visibility.has_value());
  EXPECT_EQ(r.visibility->mean_missing, 1.0);
  EXPECT_EQ(r.visibility->anomalies.size(), 1u);
}

}  // namespace
}  // namespace qcn::cn0
