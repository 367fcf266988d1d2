// The interference assessment on crafted epochs: ten satellites over three hours whose C/N0
// follows their passes, with episodes built in, judged with and without look angles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cn0/assessment.hpp"
#include "cn0/episodes.hpp"
#include "cn0/expectation.hpp"
#include "cn0/signal_series.hpp"

namespace qcn::cn0 {
namespace {

constexpr std::size_t kSatellites = 10;
constexpr std::size_t kEpochs = 360;  // three hours at 30 s
constexpr double kInterval = 30.0;
const rinex::EpochTime kStart{2024, 3, 1, 0, 0, 0.0};

/// A satellite's elevation at an epoch: rising and setting over the three hours.
double elevation_of(std::size_t satellite, std::size_t k) {
  const double phase = 0.6 * static_cast<double>(satellite);
  return 45.0 + 25.0 * std::sin(2.0 * M_PI * static_cast<double>(k) / 700.0 + phase);
}

/// The first six satellites stand in the east, the others in the west.
double azimuth_of(std::size_t satellite) {
  return satellite < 6 ? 20.0 + 15.0 * static_cast<double>(satellite) : 200.0 + 25.0 * static_cast<double>(satellite - 6);
}

/// C/N0 rising with elevation, each satellite and signal at its own level, with a little
/// deterministic scatter.
double clean_cn0(std::size_t satellite, bool l1, std::size_t k) {
  const double scatter = 0.4 * std::sin(1.7 * static_cast<double>(k * 7 + satellite * 13));
  return (l1 ? 30.0 : 22.0) + 0.3 * elevation_of(satellite, k) + 0.5 * static_cast<double>(satellite % 4) + scatter;
}

std::string satellite_id(std::size_t satellite) {
  return (satellite < 9 ? "G0" : "G") + std::to_string(satellite + 1);
}

std::string epoch_text(std::size_t k) { return rinex::timestamp_text(time_after(kStart, kInterval * k)); }

/// What is built into the epochs: a changed value (nothing: lost), epochs without values, epochs
/// left out.
struct Scene {
  std::function<std::optional<double>(std::size_t satellite, bool l1, std::size_t k, double cn0)> change;
  std::vector<std::size_t> empty;
  std::vector<std::size_t> omitted;
};

bool in(const std::vector<std::size_t>& list, std::size_t k) {
  return std::find(list.begin(), list.end(), k) != list.end();
}

std::optional<result::Assessment> assess_scene(const Scene& scene, bool located,
                                               const AssessmentSettings& settings = {}) {
  SampleSetBuilder builder;
  FileEpochs epochs;
  for (std::size_t k = 0; k < kEpochs; ++k) {
    if (in(scene.omitted, k)) continue;
    const rinex::EpochTime time = time_after(kStart, kInterval * k);
    builder.begin_epoch(time);
    if (!in(scene.empty, k)) {
      for (std::size_t s = 0; s < kSatellites; ++s) {
        builder.begin_satellite(satellite_id(s), located ? elevation_of(s, k) : 45.0, located ? azimuth_of(s) : 0.0);
        for (bool l1 : {true, false}) {
          std::optional<double> value = clean_cn0(s, l1, k);
          if (scene.change) value = scene.change(s, l1, k, *value);
          if (value) builder.add(l1 ? "S1C" : "S2W", *value);
        }
      }
    }
    epochs.times.push_back(time);
    epochs.time_index.push_back(builder.epoch_time());
  }
  const SampleSet set = builder.finish();
  const SampleGroups groups = group_samples(set);
  const PredictedSky sky;
  const AssessmentHeader header{0, kInterval};
  AssessmentInput input{&set, &groups.by_time, &epochs, &sky, header, nullptr, settings};
  return assess_reception(input);
}

/// Changes the values of the chosen signals and satellites at epochs first to last.
Scene fall(double drop_db, bool l1, bool l2, std::size_t first, std::size_t last, std::size_t satellites = kSatellites) {
  return {[=](std::size_t s, bool is_l1, std::size_t k, double cn0) -> std::optional<double> {
    const bool chosen = (is_l1 ? l1 : l2) && s < satellites && k >= first && k <= last;
    if (!chosen) return cn0;
    if (std::isinf(drop_db)) return std::nullopt;
    return cn0 - drop_db;
  }, {}, {}};
}

std::vector<std::size_t> range(std::size_t first, std::size_t last) {
  std::vector<std::size_t> out;
  for (std::size_t k = first; k <= last; ++k) out.push_back(k);
  return out;
}

/// An expected episode: kind, bands, first and last epoch.
struct Expected {
  const char* kind;
  std::vector<std::string> bands;
  std::size_t first;
  std::size_t last;
};

struct Case {
  const char* name;
  Scene scene;
  std::vector<Expected> episodes;
};

void check(const Case& c, bool located) {
  SCOPED_TRACE(std::string(c.name) + (located ? ", with look angles" : ", without"));
  const std::optional<result::Assessment> assessment = assess_scene(c.scene, located);
  ASSERT_TRUE(assessment.has_value());
  EXPECT_EQ(result::expectation_source_text(assessment->expectation), located ? "elevation" : "baseline");
  EXPECT_EQ(assessment->bands, (std::vector<std::string>{"L1", "L2"}));
  ASSERT_EQ(assessment->episodes.size(), c.episodes.size());
  for (std::size_t i = 0; i < c.episodes.size(); ++i) {
    const result::Episode& e = assessment->episodes[i];
    EXPECT_EQ(result::episode_kind_text(e.kind), c.episodes[i].kind);
    EXPECT_EQ(e.bands, c.episodes[i].bands);
    EXPECT_EQ(e.start_time, epoch_text(c.episodes[i].first));
    EXPECT_EQ(e.end_time, epoch_text(c.episodes[i].last));
    EXPECT_EQ(e.duration_seconds, kInterval * static_cast<double>(c.episodes[i].last - c.episodes[i].first + 1));
  }
}

const std::vector<std::string> kL1{"L1"};
const std::vector<std::string> kBoth{"L1", "L2"};

TEST(AssessmentTest, EpisodesFoundWhereTheyAreAndNowhereElse) {
  const Case cases[] = {
      {"clean", {}, {}},
      {"L1 falls 8 dB for 10 minutes", fall(8.0, true, false, 120, 139), {{"interference", kL1, 120, 139}}},
      {"both bands fall 10 dB", fall(10.0, true, true, 120, 159), {{"jamming", kBoth, 120, 159}}},
      {"two satellites fall 20 dB", fall(20.0, true, true, 120, 159, 2), {}},
      {"L1 fails on every satellite", fall(INFINITY, true, false, 120, 139), {{"interference", kL1, 120, 139}}},
      {"a fall of a minute is too short", fall(10.0, true, true, 120, 121), {}},
      {"nothing received for two minutes", {{}, range(120, 123), {}}, {{"jamming", kBoth, 120, 123}}},
      {"two minutes left out", {{}, {}, range(120, 123)}, {{"outage", kBoth, 120, 123}}},
      {"one epoch left out", {{}, {}, {120}}, {}},
  };
  for (const Case& c : cases) {
    check(c, false);
    check(c, true);
  }
}

TEST(AssessmentTest, LossOfEverySignalListsTheSatellitesLost) {
  const std::optional<result::Assessment> a = assess_scene({{}, range(200, 209), {}}, false);
  ASSERT_TRUE(a && a->episodes.size() == 1);
  const result::Episode& e = a->episodes[0];
  EXPECT_EQ(e.lost_satellites.size(), kSatellites);
  EXPECT_EQ(e.systems, (std::vector<std::string>{"GPS"}));
  EXPECT_FALSE(e.median_drop_db.has_value());
  EXPECT_FALSE(e.max_drop_db.has_value());
  EXPECT_EQ(result::severity_text(e.severity), "critical");
  EXPECT_TRUE(a->jamming_detected);
  EXPECT_FALSE(a->interference_detected);
  EXPECT_DOUBLE_EQ(a->degraded_share, 10.0 / kEpochs);
}

TEST(AssessmentTest, DropsMeasuredAgainstTheExpectation) {
  for (bool located : {false, true}) {
    SCOPED_TRACE(located ? "with look angles" : "without");
    const std::optional<result::Assessment> a = assess_scene(fall(12.0, true, false, 150, 189), located);
    ASSERT_TRUE(a && a->episodes.size() == 1);
    ASSERT_TRUE(a->episodes[0].median_drop_db.has_value());
    EXPECT_NEAR(*a->episodes[0].median_drop_db, 12.0, 0.6);
    EXPECT_EQ(a->episodes[0].affected_satellites.size(), kSatellites);
    EXPECT_TRUE(a->episodes[0].lost_satellites.empty());
    EXPECT_EQ(result::severity_text(a->episodes[0].severity), "high");
  }
}

TEST(AssessmentTest, AHourOfJammingDoesNotBecomeTheNorm) {
  // A third of the file 7 dB down: the expectation must not learn it, with look angles or without.
  for (bool located : {false, true}) {
    SCOPED_TRACE(located ? "with look angles" : "without");
    const std::optional<result::Assessment> a = assess_scene(fall(7.0, true, true, 100, 219), located);
    ASSERT_TRUE(a && a->episodes.size() == 1);
    EXPECT_EQ(a->episodes[0].start_time, epoch_text(100));
    EXPECT_EQ(a->episodes[0].end_time, epoch_text(219));
  }
}

TEST(AssessmentTest, SatellitesOfOnePartOfTheSkyAreAnObstruction) {
  // The six eastern satellites fall 12 dB; with look angles the west stays clear.
  const std::optional<result::Assessment> a = assess_scene(fall(12.0, true, true, 150, 179, 6), true);
  ASSERT_TRUE(a && a->episodes.size() == 1);
  EXPECT_EQ(result::episode_kind_text(a->episodes[0].kind), "obstruction");
  EXPECT_TRUE(a->obstruction_detected);
  EXPECT_FALSE(a->jamming_detected);
}

TEST(AssessmentTest, OneCommonValueFromOneEpochOnIsSpoofing) {
  for (bool located : {false, true}) {
    SCOPED_TRACE(located ? "with look angles" : "without");
    Scene scene{[](std::size_t, bool, std::size_t k, double cn0) -> std::optional<double> {
      return k >= 120 ? 44.0 : cn0;
    }, {}, {}};
    const std::optional<result::Assessment> a = assess_scene(scene, located);
    ASSERT_TRUE(a.has_value());
    // Two thirds of the file spoofed teach the elevation model nothing: the rest stays clear.
    ASSERT_EQ(a->episodes.size(), 1u);
    const result::Episode& e = a->episodes.back();
    EXPECT_EQ(result::episode_kind_text(e.kind), "spoofing");
    EXPECT_EQ(e.start_time, epoch_text(120));
    EXPECT_EQ(e.end_time, epoch_text(kEpochs - 1));
    EXPECT_TRUE(a->spoofing_detected && a->spoofing_indicators.cn0_spread_collapse);
  }
}

TEST(AssessmentTest, ThresholdsShapeTheJudgement) {
  AssessmentSettings strict;
  strict.min_drop_db = 9.0;
  EXPECT_TRUE(assess_scene(fall(8.0, true, false, 120, 139), false, strict)->episodes.empty());
  AssessmentSettings many;
  many.min_satellites = 11;
  EXPECT_TRUE(assess_scene(fall(15.0, true, true, 120, 139), true, many)->episodes.empty());
  AssessmentSettings patient;
  patient.min_episode_seconds = 900.0;
  EXPECT_TRUE(assess_scene(fall(8.0, true, false, 120, 139), true, patient)->episodes.empty());
}

TEST(AssessmentTest, NothingToAssessWithoutEpochsOrCn0) {
  SampleSetBuilder builder;
  const SampleSet set = builder.finish();
  const SampleGroups groups = group_samples(set);
  const PredictedSky sky;
  FileEpochs none;
  AssessmentInput input{&set, &groups.by_time, &none, &sky, {}, nullptr, {}};
  EXPECT_FALSE(assess_reception(input).has_value());
  // Epochs without any value, and a header that declares C/N0 of GPS: every signal lost.
  FileEpochs empty;
  for (std::size_t k = 0; k < 10; ++k) {
    empty.times.push_back(time_after(kStart, kInterval * k));
    empty.time_index.push_back(kNoTimeIndex);
  }
  input.epochs = &empty;
  EXPECT_FALSE(assess_reception(input).has_value());
  rinex::RinexObsData observations;
  observations.obs_types["G"] = {"C1C", "S1C", "S2W"};
  observations.obs_types["R"] = {"S1C", "S3X"};  // not analysed: its band stays out
  AnalysisConfig config;
  config.systems = std::vector<std::string>{"G"};
  input.header = assessment_header(observations, config);
  const std::optional<result::Assessment> a = assess_reception(input);
  ASSERT_TRUE(a && a->episodes.size() == 1);
  EXPECT_EQ(result::episode_kind_text(a->episodes[0].kind), "jamming");
  EXPECT_EQ(a->episodes[0].bands, kBoth);
  EXPECT_EQ(a->episodes[0].duration_seconds, 300.0);
  EXPECT_DOUBLE_EQ(a->degraded_share, 1.0);
}

/// The expected values of a one-satellite file whose epochs are listed in `order` (epoch numbers,
/// 30 s apart; a number listed twice is the same timestamp written twice).
std::vector<std::vector<float>> expected_of(const std::vector<std::size_t>& order) {
  SampleSetBuilder builder;
  FileEpochs epochs;
  for (std::size_t k : order) {
    const rinex::EpochTime time = time_after(kStart, kInterval * k);
    builder.begin_epoch(time);
    builder.begin_satellite("G05", 45.0, 0.0);
    builder.add("S1C", 40.0 + 0.1 * static_cast<double>(k % 3));
    epochs.times.push_back(time);
    epochs.time_index.push_back(builder.epoch_time());
  }
  const SampleSet set = builder.finish();
  const SampleGroups groups = group_samples(set);
  const PredictedSky sky;
  AssessmentInput input{&set, &groups.by_time, &epochs, &sky, AssessmentHeader{0, kInterval}, nullptr, {}};
  std::vector<std::vector<float>> expected;
  assess_reception(input, &expected);
  return expected;
}

TEST(AssessmentTest, ExpectedValuesComeInTheOrderOfEachSatellitesPoints) {
  std::vector<std::size_t> in_order(40);
  for (std::size_t k = 0; k < in_order.size(); ++k) in_order[k] = k;
  std::vector<std::size_t> repeated = in_order;  // epoch 30 written again at the end
  repeated.push_back(30);
  std::vector<std::size_t> late = in_order;  // epochs 30 to 39 written before 20 to 29
  std::rotate(late.begin() + 20, late.begin() + 30, late.end());
  for (const auto& [name, order, points] :
       {std::tuple{"in order", in_order, 40u}, std::tuple{"a timestamp twice", repeated, 41u},
        std::tuple{"a block late", late, 40u}}) {
    SCOPED_TRACE(name);
    const std::vector<std::vector<float>> expected = expected_of(order);
    ASSERT_EQ(expected.size(), 1u);
    ASSERT_EQ(expected[0].size(), points);
    EXPECT_TRUE(std::isnan(expected[0][0]));  // no history yet
    EXPECT_NEAR(expected[0][19], 40.1, 0.2);  // judged once the baseline is ready
  }
  // The second value at the repeated timestamp, next to the first, is never judged.
  const std::vector<std::vector<float>> twice = expected_of(repeated);
  EXPECT_FALSE(std::isnan(twice[0][30]));
  EXPECT_TRUE(std::isnan(twice[0][31]));
  EXPECT_FALSE(std::isnan(twice[0][32]));
}

}  // namespace
}  // namespace qcn::cn0
