// Visibility prediction: satellite list and geometry, the received-satellite rule, the per-epoch
// comparison, the summary figures and both anomaly scans, and one real station day.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "navigation/geodesy.hpp"
#include "navigation/nav_parser.hpp"
#include "navigation/orbit.hpp"
#include "rinex/obs_parser.hpp"
#include "visibility/geometry.hpp"
#include "visibility/predictor.hpp"
#include "visibility/summary.hpp"
#include "visibility/visibility_anomalies.hpp"

namespace {

using namespace qcn;
using visibility::AnomalyKind;
using visibility::AnomalyScan;
using visibility::EpochGeometry;
using visibility::ObservedSatellite;
using visibility::PredictionInput;
using visibility::SatelliteGeometry;
using visibility::VisibilityPredictor;
using visibility::VisibilityStatus;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

rinex::EpochTime at_second(double second, std::uint32_t minute = 0) { return {2020, 6, 25, 0, minute, second}; }

// ------------------------------------------------------------------ satellite list and geometry

TEST(VisibilityGeometryTest, ListsEveryEphemerisSatelliteSortedByteWise) {
  navigation::NavigationData nav;
  nav.gps_ephemerides["G10"].push_back({});
  nav.gps_ephemerides["J01"].push_back({});
  nav.gps_ephemerides["G02"].push_back({});
  nav.glonass_ephemerides["R01"].push_back({});
  nav.galileo_ephemerides["E05"].push_back({});
  nav.beidou_ephemerides["C100"].push_back({});
  nav.beidou_ephemerides["C20"].push_back({});
  nav.glonass_channels["1"] = 1;  // channels are not satellites
  const PredictionInput input = visibility::make_prediction_input(nav, 7.5);
  EXPECT_EQ(input.navigation, &nav);
  EXPECT_EQ(input.satellites, (std::vector<std::string>{"C100", "C20", "E05", "G02", "G10", "J01", "R01"}));
  EXPECT_EQ(input.elevation_mask, 7.5);
  EXPECT_EQ(input.source, "BRDC Navigation (7 satellites)");
}

TEST(VisibilityGeometryTest, FindsGeometryByWholeIdentifier) {
  PredictionInput input;
  input.satellites = {"C10", "C100", "E01", "G01"};
  EpochGeometry geometry;
  geometry.satellites = {{true, 1, 10, 0}, {true, 2, 20, 0}, {true, 3, 30, 0}, {true, 4, 40, 0}};
  struct Case {
    const char* satellite;
    double azimuth;  // -1: not found
  };
  for (const Case& c : {Case{"C10", 10}, Case{"C100", 20}, Case{"G01", 40}, Case{"C1", -1}, Case{"G01 ", -1},
                        Case{"", -1}, Case{"R01", -1}, Case{"A00", -1}}) {
    SCOPED_TRACE(c.satellite);
    const SatelliteGeometry* found = visibility::find_geometry(input, geometry, c.satellite);
    if (c.azimuth < 0) {
      EXPECT_EQ(found, nullptr);
    } else {
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->azimuth_deg, c.azimuth);
    }
  }
}

// ------------------------------------------------------------------ received satellites

// An observation record built directly: codes are numbered on first use.
struct ObsBuilder {
  rinex::RinexObsData data;

  std::uint32_t code(const std::string& text) {
    for (std::size_t i = 0; i < data.obs_codes.size(); ++i) {
      if (data.obs_codes[i] == text) return static_cast<std::uint32_t>(i);
    }
    data.obs_codes.push_back(text);
    return static_cast<std::uint32_t>(data.obs_codes.size() - 1);
  }

  void epoch(rinex::EpochTime time,
             const std::vector<std::pair<std::string, std::vector<std::pair<std::string, double>>>>& satellites) {
    data.epochs.push_back({time, 0, static_cast<std::uint32_t>(satellites.size()), data.satellites.size()});
    for (const auto& [id, values] : satellites) {
      data.satellites.push_back(
          {rinex::SatelliteId::from(id), static_cast<std::uint32_t>(values.size()), data.observations.size()});
      for (const auto& [code_text, value] : values) {
        rinex::Observation observation;
        observation.value = value;
        observation.code = code(code_text);
        data.observations.push_back(observation);
      }
    }
    rinex::number_satellites(data);
  }
};

// For a receiver's observations: only recorded systems are predicted, and a satellite neither
// predictable nor ever received gets no geometry at all.
TEST(VisibilityGeometryTest, InputForObservationsPredictsTheRecordedSystems) {
  navigation::NavigationData nav;
  navigation::KeplerEphemeris record;
  record.epoch = at_second(0);
  record.epoch_julian_day = rinex::julian_day(record.epoch);
  for (const char* id : {"G01", "G02", "J01"}) nav.gps_ephemerides[id].push_back(record);
  nav.galileo_ephemerides["E01"].push_back(record);
  nav.leap_seconds = 17;
  ObsBuilder obs;
  obs.data.version = 3.04;
  obs.data.obs_types["G"] = {"C1C", "S1C"};
  obs.data.obs_types["E"] = {"C1C"};  // no C/N0 recorded for Galileo
  obs.data.leap_seconds = 18;
  obs.epoch(at_second(0), {{"G01", {{"S1C", 40.0}}}, {"E01", {{"C1C", 2.2e7}}}});
  const PredictionInput input = visibility::make_prediction_input(nav, obs.data, 5.0);
  EXPECT_EQ(input.satellites, (std::vector<std::string>{"E01", "G01", "G02", "J01"}));
  EXPECT_EQ(input.needs_geometry, (std::vector<char>{1, 1, 1, 0}));  // E01 is received, J01 neither
  EXPECT_TRUE(input.unrecorded_systems['E'] && input.unrecorded_systems['J'] && !input.unrecorded_systems['G']);
  EXPECT_EQ(input.leap_seconds, 18);  // the observation header's before the navigation file's
  EpochGeometry geometry;
  visibility::geometry_at(input, rinex::Ecef{6378137.0, 0.0, 0.0}, at_second(0), geometry);
  ASSERT_EQ(geometry.satellites.size(), 4u);
  EXPECT_TRUE(geometry.satellites[0].has_position && geometry.satellites[1].has_position);
  EXPECT_FALSE(geometry.satellites[3].has_position);
}

TEST(VisibilityObservedTest, FirstPositiveSCodeGivesTheCn0) {
  ObsBuilder obs;
  obs.epoch(at_second(0), {{"G01", {{"C1C", 2.2e7}, {"S1C", 0.0}, {"S2W", 30.0}}},
                           {"G02", {{"S1C", kNaN}, {"S5Q", 41.5}}},
                           {"G03", {{"S1C", -3.0}}},
                           {"G04", {{"C1C", 2.2e7}, {"L1C", 1.1e8}, {"D1C", 12.0}}},
                           {"G05", {{"S2W", 30.0}, {"S1C", 40.0}}},
                           {"S20", {{"S1C", 35.0}}},
                           {"G06", {{"C1C", 40.0}, {"S1C", 35.0}}}});
  visibility::ObservedReader reader(obs.data);
  auto observed = reader.of(obs.data.epochs[0]);
  std::vector<std::pair<std::string, double>> got;
  for (const ObservedSatellite& o : observed) got.emplace_back(std::string(o.satellite.view()), o.cn0_dbhz);
  const std::vector<std::pair<std::string, double>> expected{
      {"G01", 30.0}, {"G02", 41.5}, {"G05", 30.0}, {"S20", 35.0}, {"G06", 35.0}};
  EXPECT_EQ(got, expected);
}

// ------------------------------------------------------------------ per-epoch comparison

SatelliteGeometry above(double elevation, double azimuth = 100.0) { return {true, 2.6e7, azimuth, elevation}; }

ObservedSatellite seen(const char* id, double cn0) { return {rinex::SatelliteId::from(id), cn0}; }

struct Row {
  std::string satellite;
  VisibilityStatus status;
  double cn0, azimuth, elevation;
  bool operator==(const Row&) const = default;
};

std::vector<Row> rows_of(const VisibilityPredictor& predictor) {
  std::vector<Row> rows;
  for (const auto& s : predictor.last_epoch().satellites) {
    rows.push_back({predictor.satellite_name(s.satellite), s.status, s.cn0_dbhz, s.azimuth_deg, s.elevation_deg});
  }
  return rows;
}

TEST(VisibilityPredictorTest, ComparesPredictedWithReceived) {
  PredictionInput input;
  input.satellites = {"C01", "E01", "E02", "G01", "G02", "G03", "G04", "G05", "G06", "R01", "R02"};
  input.elevation_mask = 10.0;
  input.source = "BRDC Navigation (11 satellites)";
  EpochGeometry geometry;
  geometry.satellites = {
      above(95.0),                  // C01: beyond the zenith, a broken orbit
      {true, 1.9e7, 10.0, 45.0},    // E01: too close to the Earth, received
      {true, 5.1e7, 10.0, 45.0},    // E02: too far
      above(45.0, 10.0),            // G01: predicted, received
      above(10.0, 20.0),            // G02: exactly at the mask, predicted, not received
      above(9.999, 30.0),           // G03: just below the mask, received: takes no part
      {},                           // G04: no ephemeris in reach, received: takes no part
      above(-1.0, 40.0),            // G05: at -1 degree, received: takes no part
      above(-1.001, 50.0),          // G06: just under -1 degree, received: unexpected
      {true, kNaN, kNaN, kNaN},     // R01: a non-finite orbit, received: takes no part
      above(-20.0, 250.0),          // R02: below the horizon, received: unexpected
  };
  const ObservedSatellite observed[] = {seen("G30", 33.0), seen("R02", 28.0), seen("G01", 45.0), seen("G03", 38.0),
                                        seen("G04", 31.0), seen("G05", 32.0), seen("G06", 34.0), seen("R01", 35.0),
                                        seen("E01", 36.0), seen("S20", 37.0)};
  VisibilityPredictor predictor(input);
  predictor.add_epoch(at_second(30.0), geometry, observed);
  const auto& epoch = predictor.last_epoch();
  EXPECT_EQ(epoch.timestamp, "2020-06-25T00:00:30.000Z");
  const std::vector<Row> expected{
      {"G01", VisibilityStatus::confirmed, 45.0, 10.0, 45.0},
      {"G02", VisibilityStatus::missing, 0.0, 20.0, 10.0},
      {"R02", VisibilityStatus::unexpected, 28.0, 250.0, -20.0},  // its real angles
      {"G06", VisibilityStatus::unexpected, 34.0, 50.0, -1.001},
  };
  EXPECT_EQ(rows_of(predictor), expected);
  EXPECT_EQ(epoch.predicted_count, 2u);
  EXPECT_EQ(epoch.observed_count, 3u);
  EXPECT_EQ(epoch.confirmed_count, 1u);
  EXPECT_EQ(epoch.missing_count, 1u);
  EXPECT_EQ(epoch.unexpected_count, 2u);

  const auto record = visibility::epoch_visibility(predictor);
  ASSERT_EQ(record.satellites.size(), 4u);
  EXPECT_EQ(record.satellites[0].system, "GPS");
  EXPECT_EQ(record.satellites[0].status, "confirmed");
  EXPECT_EQ(record.satellites[0].cn0, 45.0);
  EXPECT_EQ(record.satellites[1].status, "missing");
  EXPECT_FALSE(record.satellites[1].cn0.has_value());
  EXPECT_EQ(record.satellites[2].system, "GLONASS");
  EXPECT_EQ(record.satellites[2].status, "unexpected");
  EXPECT_EQ(record.satellites[2].cn0, 28.0);

  EXPECT_TRUE(predictor.has_predicted());
  const auto result = predictor.finish();
  EXPECT_EQ(result.prediction_source, "BRDC Navigation (11 satellites)");
  EXPECT_FALSE(result.has_prediction);
  EXPECT_TRUE(result.anomalies.empty());  // a single epoch never makes one
}

TEST(VisibilityPredictorTest, PredictsOnlyTheSystemsTheReceiverRecords) {
  struct Case {
    std::string unrecorded;                // system letters
    std::vector<std::string> predicted;    // of C01, E01, G01, J01, R01, all at 30 degrees
    std::vector<std::string> unexpected;   // of C02, G02, R02 at -10 degrees, all received
  };
  const Case cases[] = {
      {"", {"C01", "E01", "G01", "J01", "R01"}, {"C02", "G02", "R02"}},
      {"CJR", {"E01", "G01"}, {"C02", "G02", "R02"}},
      {"CEGJR", {}, {"C02", "G02", "R02"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unrecorded);
    PredictionInput input;
    input.satellites = {"C01", "C02", "E01", "G01", "G02", "J01", "R01", "R02"};
    for (char letter : c.unrecorded) input.unrecorded_systems[static_cast<unsigned char>(letter)] = true;
    EpochGeometry geometry;
    geometry.satellites = {above(30), above(-10), above(30), above(30), above(-10), above(30), above(30), above(-10)};
    const ObservedSatellite observed[] = {seen("C02", 30), seen("G02", 30), seen("R02", 30)};
    VisibilityPredictor predictor(input);
    predictor.add_epoch(at_second(0), geometry, observed);
    std::vector<std::string> predicted, unexpected;
    for (const Row& row : rows_of(predictor)) {
      (row.status == VisibilityStatus::unexpected ? unexpected : predicted).push_back(row.satellite);
    }
    EXPECT_EQ(predicted, c.predicted);
    EXPECT_EQ(unexpected, c.unexpected);
    EXPECT_EQ(predictor.has_predicted(), !c.predicted.empty());
  }
}

// Ten epochs of G01, G02 and E01, all predicted; each is missing in the listed epochs.
TEST(VisibilityPredictorTest, SummarisesTenEpochs) {
  PredictionInput input;
  input.satellites = {"E01", "G01", "G02"};
  input.elevation_mask = 5.0;
  EpochGeometry geometry;
  geometry.satellites = {above(30), above(40), above(50)};
  const std::map<std::string, std::vector<int>> missing_in{{"G02", {0, 2, 3, 4}}, {"E01", {1, 2, 3}}, {"G01", {5, 6}}};
  VisibilityPredictor predictor(input);
  for (int i = 0; i < 10; ++i) {
    std::vector<ObservedSatellite> observed;
    for (const char* id : {"G01", "G02", "E01"}) {
      const auto& epochs = missing_in.at(id);
      if (std::find(epochs.begin(), epochs.end(), i) == epochs.end()) observed.push_back(seen(id, 40.0));
    }
    predictor.add_epoch(at_second(0, static_cast<std::uint32_t>(i)), geometry, observed);
    const auto& epoch = predictor.last_epoch();
    EXPECT_EQ(epoch.confirmed_count + epoch.missing_count, epoch.predicted_count);
    EXPECT_EQ(epoch.confirmed_count + epoch.unexpected_count, epoch.observed_count);
  }
  const auto result = predictor.finish();
  EXPECT_DOUBLE_EQ(result.mean_predicted, 3.0);
  EXPECT_DOUBLE_EQ(result.mean_missing, 0.9);
  EXPECT_DOUBLE_EQ(result.mean_observed, 2.1);
  EXPECT_DOUBLE_EQ(result.mean_unexpected, 0.0);
  EXPECT_DOUBLE_EQ(result.confirmation_rate, 70.0);
  // f = 10 / 4 = 2: G01, missing twice, is not frequent; order is that of the first miss.
  EXPECT_EQ(result.frequently_missing, (std::vector<std::string>{"G02", "E01"}));
  EXPECT_TRUE(result.frequently_unexpected.empty());
  std::vector<std::string> keys;
  for (const auto& [name, figures] : result.by_system) {
    keys.push_back(name);
    EXPECT_EQ(figures.system, name);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"GPS", "GLONASS", "Galileo", "BeiDou"}));
  const auto& gps = *result.by_system.find("GPS");
  EXPECT_EQ(gps.predicted_satellites, 2u);
  EXPECT_EQ(gps.observed_satellites, 2u);
  EXPECT_EQ(gps.confirmation_rate, 100.0);
  EXPECT_EQ(gps.missing_satellites, std::vector<std::string>{"G02"});
  const auto& galileo = *result.by_system.find("Galileo");
  EXPECT_EQ(galileo.predicted_satellites, 1u);
  EXPECT_EQ(galileo.missing_satellites, std::vector<std::string>{"E01"});
  const auto& glonass = *result.by_system.find("GLONASS");
  EXPECT_EQ(glonass.predicted_satellites, 0u);
  EXPECT_EQ(glonass.confirmation_rate, 0.0);
  // One of three missing (a third, above 30 %) from epoch 0 to 6; none missing at epoch 7 closes.
  ASSERT_EQ(result.anomalies.size(), 1u);
  const auto& anomaly = result.anomalies[0];
  EXPECT_EQ(anomaly.start_time, "2020-06-25T00:00:00.000Z");
  EXPECT_EQ(anomaly.end_time, "2020-06-25T00:06:00.000Z");
  EXPECT_NEAR(anomaly.duration_seconds, 360.0, 1e-4);  // through Julian days
  EXPECT_EQ(anomaly.affected_satellites, (std::vector<std::string>{"G02", "E01", "G01"}));
  EXPECT_EQ(anomaly.affected_systems, (std::vector<std::string>{"GPS", "Galileo"}));
  EXPECT_EQ(result::severity_text(anomaly.severity), "low");
}

// ------------------------------------------------------------------ summary figures

TEST(VisibilitySummaryTest, RoundsPredictedMeansUpAndCapsRates) {
  visibility::VisibilityTally tally;
  tally.epochs = 5;  // f = 1
  tally.predicted = 12;
  tally.confirmed = 0;
  tally.predicted_by_system = {0, 1, 11, 0};  // GPS 0, GLONASS 0.2 -> 1, Galileo 2.2 -> 3, BeiDou 0
  for (const char* id : {"R01", "R02", "E01", "E02", "C05", "G07"}) visibility::add_satellite(tally, id);
  for (std::uint32_t s : {0u, 1u, 2u, 3u, 4u}) visibility::count_unexpected(tally, s);
  visibility::count_unexpected(tally, 1);  // R02 twice: above f
  visibility::count_missing(tally, 5);
  visibility::count_missing(tally, 5);  // G07 twice
  visibility::count_missing(tally, 2);  // E01 once: not above f
  result::VisibilityResult out;
  visibility::summarize(tally, out);
  EXPECT_EQ(out.confirmation_rate, 0.0);
  EXPECT_EQ(out.frequently_unexpected, std::vector<std::string>{"R02"});
  EXPECT_EQ(out.frequently_missing, std::vector<std::string>{"G07"});
  struct Expected {
    const char* name;
    std::uint64_t predicted, observed;
    double rate;
  };
  for (const Expected& e : {Expected{"GPS", 0, 0, 0.0}, Expected{"GLONASS", 1, 2, 100.0},
                            Expected{"Galileo", 3, 2, 200.0 / 3.0}, Expected{"BeiDou", 0, 1, 0.0}}) {
    SCOPED_TRACE(e.name);
    const auto* figures = out.by_system.find(e.name);
    ASSERT_NE(figures, nullptr);
    EXPECT_EQ(figures->predicted_satellites, e.predicted);
    EXPECT_EQ(figures->observed_satellites, e.observed);
    EXPECT_DOUBLE_EQ(figures->confirmation_rate, e.rate);
  }
  EXPECT_EQ(out.by_system.find("GPS")->missing_satellites, std::vector<std::string>{"G07"});
  EXPECT_EQ(out.by_system.find("GLONASS")->unexpected_satellites, std::vector<std::string>{"R02"});
}

// ------------------------------------------------------------------ anomaly scans

std::string stamp(int second) { return rinex::timestamp_text(at_second(second % 60, second / 60)); }

// Feeds one scan: per epoch a predicted count and the flagged satellites, 30 s apart.
std::vector<result::VisibilityAnomaly> scan(AnomalyKind kind, const std::vector<std::uint64_t>& predicted,
                                            const std::vector<std::vector<std::string_view>>& flagged) {
  AnomalyScan s(kind);
  for (std::size_t i = 0; i < flagged.size(); ++i) s.add_epoch(stamp(static_cast<int>(30 * i)), predicted[i], flagged[i]);
  s.finish();
  return s.take_anomalies();
}

TEST(VisibilityAnomalyTest, MissingScanOpensCollectsAndCloses) {
  // Ratios 0.5, 0.2 and 0.05: one event over epochs 0 and 1 that also names E01 of epoch 2.
  auto a = scan(AnomalyKind::missing_satellites, {20, 20, 20},
                {{"G01", "G02", "G03", "G04", "G05", "G06", "G07", "G08", "G09", "G10"},
                 {"G01", "G02", "R01", "G03"},
                 {"E01"}});
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].start_time, stamp(0));
  EXPECT_EQ(a[0].end_time, stamp(30));
  EXPECT_NEAR(a[0].duration_seconds, 30.0, 1e-4);
  EXPECT_EQ(result::visibility_anomaly_kind_text(a[0].anomaly_type), "missing_satellites");
  EXPECT_EQ(a[0].affected_satellites, (std::vector<std::string>{"G01", "G02", "G03", "G04", "G05", "G06", "G07",
                                                                 "G08", "G09", "G10", "R01", "E01"}));
  EXPECT_EQ(a[0].affected_systems, (std::vector<std::string>{"GLONASS", "GPS", "Galileo"}));  // byte order
  EXPECT_EQ(result::severity_text(a[0].severity), "critical");
  EXPECT_EQ(a[0].description, "12 satellites missing for 30s - possible jamming or obstruction");

  // Still open at the end of the file: the event ends at the last epoch.
  a = scan(AnomalyKind::missing_satellites, {4, 4, 4}, {{}, {"G01", "G02"}, {"G01", "G03"}});
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].start_time, stamp(30));
  EXPECT_EQ(a[0].end_time, stamp(60));
  EXPECT_NEAR(a[0].duration_seconds, 30.0, 1e-4);
  EXPECT_EQ(a[0].affected_satellites, (std::vector<std::string>{"G01", "G02", "G03"}));
  // 3 of 10 does not open, 4 of 10 does, 2 of 10 keeps it open, 1 of 10 closes; no prediction closes too.
  a = scan(AnomalyKind::missing_satellites, {10, 10, 10, 10, 0, 10, 0},
           {{"G01", "G02", "G03"}, {"G01", "G02", "G03", "G04"}, {"G05", "G06"}, {"G07"}, {},
            {"G01", "G02", "G03", "G04"}, {}});
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].start_time, stamp(30));
  EXPECT_EQ(a[0].end_time, stamp(60));
  EXPECT_EQ(a[0].affected_satellites, (std::vector<std::string>{"G01", "G02", "G03", "G04", "G05", "G06", "G07"}));
  EXPECT_EQ(result::severity_text(a[0].severity), "high");
  EXPECT_EQ(a[1].start_time, stamp(150));
  EXPECT_EQ(a[1].end_time, stamp(150));
  EXPECT_EQ(a[1].affected_satellites, (std::vector<std::string>{"G01", "G02", "G03", "G04"}));
  EXPECT_EQ(a[1].duration_seconds, 0.0);
}

TEST(VisibilityAnomalyTest, UnexpectedScanOpensAtThreeAndClosesBelowTwo) {
  auto a = scan(AnomalyKind::unexpected_satellites, {0, 0, 0}, {{"S20", "G05", "R09"}, {"G05", "E30"}, {"C40"}});
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].end_time, stamp(30));
  EXPECT_EQ(a[0].affected_satellites, (std::vector<std::string>{"S20", "G05", "R09", "E30", "C40"}));
  EXPECT_EQ(a[0].affected_systems, (std::vector<std::string>{"BeiDou", "GLONASS", "GPS", "Galileo", "SBAS"}));
  EXPECT_EQ(result::severity_text(a[0].severity), "high");
  EXPECT_EQ(a[0].description, "5 unexpected satellites for 30s - possible spoofing or multipath");

  // 3 then 1: an event of epoch 0 alone, lasting 0 s.
  a = scan(AnomalyKind::unexpected_satellites, {9, 9}, {{"G01", "G02", "G03"}, {"G04"}});
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].start_time, a[0].end_time);
  EXPECT_EQ(a[0].duration_seconds, 0.0);
  EXPECT_EQ(result::visibility_anomaly_kind_text(a[0].anomaly_type), "unexpected_satellites");
  EXPECT_EQ(a[0].description, "4 unexpected satellites for 0s - possible spoofing or multipath");
  // Two unexpected satellites neither open nor close.
  a = scan(AnomalyKind::unexpected_satellites, {0, 0, 0, 0}, {{"G01", "G02"}, {"G01", "G02", "G03"}, {"G01", "G02"}, {}});
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].start_time, stamp(30));
  EXPECT_EQ(a[0].end_time, stamp(60));
}

TEST(VisibilityAnomalyTest, DurationFromTimestampTextsOrThirtySecondsPerEpoch) {
  AnomalyScan s(AnomalyKind::unexpected_satellites);
  const std::vector<std::string_view> three{"G01", "G02", "G03"};
  s.add_epoch("2020-06-25T23:59:50.000Z", 0, three);
  s.add_epoch("2020-06-26T00:04:49.600Z", 0, three);  // across midnight: 299.6 s
  s.add_epoch("2020-06-26T00:05:00.000Z", 0, {});
  s.add_epoch("garbled", 0, three);
  s.add_epoch("2020-06-26T00:05:30", 0, three);  // no Z still reads
  s.add_epoch("2020-06-26T00:05:40.000Z", 0, three);
  s.add_epoch("2020-06-26T00:06:09.400Z", 0, three);
  s.add_epoch("2020-06-26T00:06:10.000Z", 0, {});
  s.add_epoch("2020-06-26T00:06:20.000Z", 0, three);
  s.add_epoch("2020-06-26T00:06:20.000Z", 0, {});
  const auto& a = s.anomalies();
  ASSERT_EQ(a.size(), 3u);
  EXPECT_NEAR(a[0].duration_seconds, 299.6, 1e-4);
  EXPECT_EQ(a[0].description, "3 unexpected satellites for 300s - possible spoofing or multipath");
  EXPECT_EQ(a[1].duration_seconds, 4 * 30.0);  // the start does not read: epochs 3 to 6 at 30 s
  EXPECT_EQ(a[1].description, "3 unexpected satellites for 120s - possible spoofing or multipath");
  EXPECT_EQ(a[2].duration_seconds, 0.0);

  struct Case {
    const char* text;
    bool reads;
  };
  for (const Case& c : {Case{"2024-03-01T00:00:05.500Z", true}, Case{"2024-03-01 00:00:05.5", true},
                        Case{"2024-03-01T00:00Z", false}, Case{"2024-03-01T00:00:x5.5Z", false},
                        Case{"2024-03-01T00:00:   NaNZ", false}, Case{"", false}}) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(rinex::epoch_from_timestamp(c.text).has_value(), c.reads);
  }
  const auto t = rinex::epoch_from_timestamp("2024-03-01T07:08:05.500Z");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->year, 2024);
  EXPECT_EQ(t->month, 3u);
  EXPECT_EQ(t->day, 1u);
  EXPECT_EQ(t->hour, 7u);
  EXPECT_EQ(t->minute, 8u);
  EXPECT_EQ(t->second, 5.5);
}

TEST(VisibilityAnomalyTest, SeveritiesAndDescriptions) {
  struct Case {
    AnomalyKind kind;
    std::size_t satellites, systems;
    const char* severity;
  };
  const auto M = AnomalyKind::missing_satellites;
  const auto U = AnomalyKind::unexpected_satellites;
  for (const Case& c : {Case{M, 11, 1, "critical"}, Case{M, 10, 2, "high"}, Case{M, 8, 2, "high"},
                        Case{M, 6, 1, "high"}, Case{M, 5, 2, "low"}, Case{M, 4, 3, "critical"},
                        Case{M, 1, 1, "low"}, Case{U, 2, 1, "low"}, Case{U, 3, 1, "high"}, Case{U, 5, 3, "high"},
                        Case{U, 6, 1, "critical"}}) {
    SCOPED_TRACE(std::to_string(c.satellites) + (c.kind == M ? " missing" : " unexpected"));
    EXPECT_EQ(result::severity_text(visibility::anomaly_severity(c.kind, c.satellites, c.systems)), c.severity);
  }
  struct Text {
    double seconds;
    const char* printed;
  };
  for (const Text& t : {Text{299.6, "300"}, Text{299.4, "299"}, Text{0.5, "0"}, Text{1.5, "2"}, Text{2.5, "2"},
                        Text{0.0, "0"}}) {
    EXPECT_EQ(visibility::anomaly_description(M, 8, t.seconds),
              std::string("8 satellites missing for ") + t.printed + "s - possible jamming or obstruction");
  }
}

// ------------------------------------------------------------------ whole files

TEST(VisibilityPredictionTest, NoReceiverPositionGivesAnEmptyOutcome) {
  navigation::NavigationData nav;
  nav.gps_ephemerides["G01"].push_back({});
  ObsBuilder obs;
  obs.epoch(at_second(0), {{"G01", {{"S1C", 40.0}}}});
  const auto outcome = visibility::predict_visibility(visibility::make_prediction_input(nav, 5.0), obs.data);
  EXPECT_TRUE(outcome.epochs.empty());
  EXPECT_EQ(outcome.summary.prediction_source, "");
  EXPECT_EQ(outcome.summary.mean_observed, 0.0);
  EXPECT_TRUE(outcome.summary.by_system.empty());
}

// The whole file, decompressed by gzip; empty when unavailable.
std::string load_gz(const std::string& relative) {
  const std::string path = std::string(QCN_SHARED_DATA_DIR) + "/" + relative;
  if (!std::filesystem::exists(path)) return {};
  FILE* pipe = ::popen(("gzip -dc '" + path + "'").c_str(), "r");
  if (!pipe) return {};
  std::string bytes;
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.append(buffer, n);
  return ::pclose(pipe) == 0 ? bytes : std::string();
}

struct StationDay {
  rinex::RinexObsData obs;
  navigation::NavigationData nav;
  bool loaded = false;
};

const StationDay& esbc() {
  static const StationDay day = [] {
    StationDay d;
    const std::string obs = load_gz("obs/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz");
    const std::string nav = load_gz("nav/ESBC00DNK_R_20201770000_01D_MN.rnx.gz");
    if (obs.empty() || nav.empty()) return d;
    d.obs = rinex::parse_observations(obs, "ESBC").data;
    d.nav = navigation::parse_navigation(nav).data;
    d.loaded = true;
    return d;
  }();
  return day;
}

TEST(VisibilityPredictionTest, GeometryMatchesTheOrbitsAndReusesItsStorage) {
  const StationDay& day = esbc();
  if (!day.loaded) GTEST_SKIP() << "shared ESBC files missing";
  ASSERT_TRUE(day.obs.approx_position);
  const rinex::Ecef& receiver = *day.obs.approx_position;
  const PredictionInput input = visibility::make_prediction_input(day.nav, 5.0);
  EpochGeometry geometry;
  const SatelliteGeometry* storage = nullptr;
  std::size_t with_position = 0;
  for (std::size_t e = 0; e < day.obs.epochs.size(); e += 97) {
    const rinex::EpochTime& time = day.obs.epochs[e].time;
    visibility::geometry_at(input, receiver, time, geometry);
    if (storage == nullptr) storage = geometry.satellites.data();
    EXPECT_EQ(geometry.satellites.data(), storage);
    ASSERT_EQ(geometry.satellites.size(), input.satellites.size());
    for (std::size_t k = 0; k < input.satellites.size(); ++k) {
      const auto position = navigation::satellite_position(day.nav, input.satellites[k], time);
      const SatelliteGeometry& g = geometry.satellites[k];
      ASSERT_EQ(g.has_position, position.has_value()) << input.satellites[k];
      if (!position) continue;
      ++with_position;
      const auto angles = navigation::look_angles(receiver, *position);
      EXPECT_EQ(g.azimuth_deg, angles.azimuth_deg);
      EXPECT_EQ(g.elevation_deg, angles.elevation_deg);
      EXPECT_NEAR(g.distance_m, std::hypot(position->x_m, position->y_m, position->z_m), 1e-6);
    }
  }
  EXPECT_GT(with_position, 0u);
}

TEST(VisibilityPredictionTest, StationDayIsMostlyConfirmed) {
  const StationDay& day = esbc();
  if (!day.loaded) GTEST_SKIP() << "shared ESBC files missing";
  const PredictionInput input = visibility::make_prediction_input(day.nav, 5.0);
  const auto full = visibility::predict_visibility(input, day.obs);
  ASSERT_EQ(full.epochs.size(), day.obs.epochs.size());
  for (const auto& epoch : full.epochs) {
    ASSERT_EQ(epoch.confirmed_count + epoch.missing_count, epoch.predicted_count) << epoch.timestamp;
    ASSERT_EQ(epoch.confirmed_count + epoch.unexpected_count, epoch.observed_count) << epoch.timestamp;
    ASSERT_EQ(epoch.satellites.size(), epoch.predicted_count + epoch.unexpected_count);
  }
  const auto& summary = full.summary;
  EXPECT_EQ(summary.prediction_source, "BRDC Navigation (" + std::to_string(input.satellites.size()) + " satellites)");
  EXPECT_GT(summary.confirmation_rate, 90.0);
  EXPECT_GT(summary.mean_predicted, 20.0);  // four constellations over a clear sky
  EXPECT_LT(summary.mean_unexpected, 0.2 * summary.mean_observed);

  // GPS ephemerides only: the other constellations drop out instead of turning unexpected, and
  // what remains is the GPS part of the full comparison.
  navigation::NavigationData gps_only;
  for (const auto& [id, records] : day.nav.gps_ephemerides) {
    if (id.front() == 'G') gps_only.gps_ephemerides.insert_or_assign(id, records);
  }
  const auto gps = visibility::predict_visibility(visibility::make_prediction_input(gps_only, 5.0), day.obs);
  ASSERT_EQ(gps.epochs.size(), full.epochs.size());
  for (std::size_t e = 0; e < gps.epochs.size(); ++e) {
    std::vector<std::pair<std::string, std::string_view>> expected, got;
    for (const auto& s : full.epochs[e].satellites) {
      if (s.satellite.front() == 'G') expected.emplace_back(s.satellite, s.status);
    }
    for (const auto& s : gps.epochs[e].satellites) got.emplace_back(s.satellite, s.status);
    ASSERT_EQ(got, expected) << gps.epochs[e].timestamp;
  }
  // Only GPS satellites tracked below the mask remain unexpected: a small share of those received.
  EXPECT_LT(gps.summary.mean_unexpected, 0.15 * gps.summary.mean_observed);
  for (const std::string& id : gps.summary.frequently_unexpected) EXPECT_EQ(id.front(), 'G') << id;
  for (const char* name : {"GLONASS", "Galileo", "BeiDou"}) {
    const auto* figures = gps.summary.by_system.find(name);
    ASSERT_NE(figures, nullptr);
    EXPECT_EQ(figures->predicted_satellites, 0u) << name;
    EXPECT_EQ(figures->observed_satellites, 0u) << name;
  }
}

}  // namespace
