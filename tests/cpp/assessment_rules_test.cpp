// The rules of the interference assessment: frequency bands, the judgement of one band at one
// epoch, episodes from flagged epochs, their kind and severity, and the histograms behind them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "cn0/cn0_histogram.hpp"
#include "cn0/degradation.hpp"
#include "cn0/elevation_model.hpp"
#include "cn0/episodes.hpp"
#include "cn0/frequency_bands.hpp"
#include "cn0/sky_level.hpp"

namespace qcn::cn0 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(FrequencyBandsTest, BandDigitDependsOnTheSystem) {
  struct Case {
    char system;
    const char* code;
    std::optional<Band> band;
  } cases[] = {
      {'G', "S1C", Band::l1}, {'G', "S1W", Band::l1}, {'G', "S2W", Band::l2}, {'G', "S2L", Band::l2},
      {'G', "S5Q", Band::l5}, {'G', "S1", Band::l1},  {'G', "S6C", std::nullopt},
      {'R', "S1C", Band::l1}, {'R', "S4A", Band::l1}, {'R', "S2P", Band::l2}, {'R', "S6B", Band::l2},
      {'R', "S3Q", Band::l5}, {'E', "S1C", Band::l1}, {'E', "S5Q", Band::l5}, {'E', "S7Q", Band::l5},
      {'E', "S8Q", Band::l5}, {'E', "S6C", Band::e6}, {'E', "S2C", std::nullopt},
      // BeiDou B1I is 2 (1561 MHz), B1C is 1; B2 signals are 5, 7, 8; B3 is 6.
      {'C', "S2I", Band::l1}, {'C', "S1P", Band::l1}, {'C', "S7I", Band::l5}, {'C', "S5P", Band::l5},
      {'C', "S8D", Band::l5}, {'C', "S6I", Band::e6}, {'J', "S1C", Band::l1}, {'J', "S2L", Band::l2},
      {'J', "S5Q", Band::l5}, {'J', "S6L", Band::e6}, {'S', "S1C", Band::l1}, {'S', "S5I", Band::l5},
      {'S', "S2C", std::nullopt}, {'I', "S5A", Band::l5}, {'I', "S9A", Band::s},
      {'X', "S1C", std::nullopt}, {'G', "S", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.system) + " " + c.code);
    Band band = Band::s;
    EXPECT_EQ(band_of(c.system, c.code, band), c.band.has_value());
    if (c.band) {
      EXPECT_EQ(band, *c.band);
    }
  }
  EXPECT_EQ(band_names(band_bit(Band::l1) | band_bit(Band::l5) | band_bit(Band::s)),
            (std::vector<std::string>{"L1", "L5", "S"}));
}

BandTally tally(std::uint32_t measured, std::uint32_t falling, std::uint32_t lost, std::uint32_t bad_satellites,
                double median_drop_db, double typical_noise_db = 1.0) {
  BandTally t;
  t.measured = measured;
  t.falling = falling;
  t.lost = lost;
  t.bad_satellites = bad_satellites;
  t.median_drop_db = median_drop_db;
  t.typical_noise_db = typical_noise_db;
  return t;
}

TEST(BandJudgementTest, MostSignalsFallingTogetherByTheMargin) {
  const AssessmentSettings settings;  // margin 4 dB, 3 noise, 60 %, 3 satellites
  struct Case {
    const char* name;
    BandTally tally;
    bool falls;
  } cases[] = {
      {"all of 20 six dB down", tally(20, 20, 0, 10, 6.0), true},
      {"median just at the margin", tally(20, 20, 0, 10, 4.0), true},
      {"median under the margin", tally(20, 20, 0, 10, 3.9), false},
      {"12 of 20 falling", tally(20, 12, 0, 6, 5.0), true},
      {"11 of 20 falling", tally(20, 11, 0, 6, 5.0), false},
      {"falling and lost make most", tally(10, 4, 6, 8, 5.0), true},
      {"two satellites low never", tally(4, 4, 0, 2, 20.0), false},
      // 28 signals of noise 4 dB: the median scatters by 0.95 dB, so 6 dB clears it thrice.
      {"quiet and noisy signals together", tally(28, 22, 0, 11, 6.0, 4.0), true},
      {"nothing measured", tally(0, 0, 10, 5, kNaN), false},
      // Four noisy signals: the median scatters by 1.25 * 4 / 2 = 2.5 dB, three times that is 7.5.
      {"noisy band needs more", tally(4, 4, 0, 4, 7.0, 4.0), false},
      {"noisy band, a larger fall", tally(4, 4, 0, 4, 7.6, 4.0), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(falls_together(c.tally, settings), c.falls);
  }
}

TEST(BandJudgementTest, LossAtOnceKeepingOnAndRecovery) {
  const AssessmentSettings settings;  // half lost, 3 satellites
  auto lost = [](std::uint32_t before, std::uint32_t at_once, std::uint32_t satellites, std::uint32_t measured,
                 double drop) {
    BandTally t = tally(measured, 0, at_once, satellites, drop);
    t.steady_before = before;
    t.lost_at_once = at_once;
    t.lost_at_once_satellites = satellites;
    return t;
  };
  struct Case {
    const char* name;
    BandTally tally;
    bool loses;
  } cases[] = {
      {"every signal at once", lost(20, 20, 10, 0, kNaN), true},
      {"half at once, the rest fallen", lost(20, 10, 6, 10, 5.0), true},
      {"half at once, the rest as before", lost(20, 10, 6, 10, 0.5), false},
      {"under half", lost(20, 9, 6, 11, 5.0), false},
      {"two satellites", lost(4, 4, 2, 0, kNaN), false},
      {"nothing held steadily before", lost(0, 0, 0, 0, kNaN), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(loses_at_once(c.tally, settings), c.loses);
  }
  EXPECT_TRUE(loss_goes_on(10, 5, 3, settings));
  EXPECT_FALSE(loss_goes_on(10, 4, 3, settings));
  EXPECT_FALSE(loss_goes_on(10, 10, 2, settings));
  EXPECT_FALSE(loss_goes_on(0, 0, 0, settings));

  BandTally still = tally(10, 0, 0, 0, 2.0);
  EXPECT_TRUE(keeps_falling(still, settings));
  still.median_drop_db = 1.9;
  EXPECT_FALSE(keeps_falling(still, settings));
  // Late in a long fall few signals keep their level from before it: every one must stay down.
  struct Few {
    std::uint32_t measured;
    std::uint32_t falling;
    bool goes_on;
  } few[] = {{2, 2, true}, {1, 1, false}, {2, 1, false}, {0, 0, false}, {3, 1, true}};
  for (const Few& f : few) {
    SCOPED_TRACE(testing::Message() << f.measured << " measured, " << f.falling << " falling");
    EXPECT_EQ(keeps_falling(tally(f.measured, f.falling, 0, 0, 8.0), settings), f.goes_on);
  }
  BandTally rise = tally(10, 0, 0, 0, 0.0);
  rise.compared = 10;
  rise.median_rise_db = 2.0;
  EXPECT_TRUE(rises_together(rise, settings));
  rise.compared = 2;
  EXPECT_FALSE(rises_together(rise, settings));
}

TEST(SkyLevelTest, BandStaysDownAgainstTheSkysUsualStrength) {
  const AssessmentSettings settings;
  // Two groups in L1, one in L5; six satellites each.
  SkyLevel sky({Band::l1, Band::l1, Band::l5});
  const std::vector<float> usual = {40, 42, 44, 46, 48, 50};  // upper quartile 48
  auto epoch = [&](double seconds, float shift, std::uint8_t settled, std::size_t satellites = 6) {
    for (std::uint32_t group = 0; group < 3; ++group) {
      for (std::size_t i = 0; i < satellites; ++i) sky.add(group, usual[i] - shift - (group == 1 ? 3.0f : 0.0f));
    }
    const double l1 = sky.deficit_db(Band::l1);
    const double l5 = sky.deficit_db(Band::l5);
    sky.end_epoch(seconds, settled);
    return std::pair{l1, l5};
  };
  const std::uint8_t both = band_bit(Band::l1) | band_bit(Band::l5);
  // Nothing to tell before five lessons, two minutes apart: an epoch between teaches nothing.
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(std::isnan(epoch(k * 120.0, 0.0f, both).first));
  EXPECT_TRUE(std::isnan(epoch(370.0, 0.0f, both).first));
  // A band not settled teaches nothing: L5 stays unknown while L1 learns its fifth lesson.
  EXPECT_TRUE(std::isnan(epoch(480.0, 0.0f, band_bit(Band::l1)).first));
  struct Case {
    float shift;
    std::size_t satellites;
    double l1;
    bool stays_down;
  } cases[] = {{0.0f, 6, 0.0, false}, {6.0f, 6, 6.0, true}, {2.5f, 6, 2.5, false}, {3.0f, 6, 3.0, true},
               {6.0f, 3, kNaN, false}};  // three satellites tell nothing
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.shift << " dB down, " << c.satellites << " satellites");
    const auto [l1, l5] = epoch(601.0, c.shift, 0, c.satellites);
    if (std::isnan(c.l1)) {
      EXPECT_TRUE(std::isnan(l1));
    } else {
      EXPECT_NEAR(l1, c.l1, 1e-5);
    }
    EXPECT_TRUE(std::isnan(l5));
    EXPECT_EQ(sky_stays_down(l1, 6.0, settings), c.stays_down);
  }
  // A fall that began deeper must stay down by half of it.
  EXPECT_TRUE(sky_stays_down(10.0, 20.0, settings));
  EXPECT_FALSE(sky_stays_down(9.9, 20.0, settings));
  EXPECT_FALSE(sky_stays_down(kNaN, 6.0, settings));
  // A lesson from a sky 10 dB weaker moves the usual level by at most 3 dB, weighted by 1/6.
  epoch(730.0, 10.0f, both);
  EXPECT_NEAR(epoch(731.0, 0.0f, both).first, -0.5, 1e-5);
}

/// A timeline of n epochs `interval` apart, with `missing` epochs left out after some, and the
/// epochs of `empty` written without any value.
EpochTimeline timeline_of(std::size_t n, double interval, std::vector<std::pair<std::size_t, std::uint32_t>> missing = {},
                          std::vector<std::size_t> empty = {}) {
  FileEpochs epochs;
  double seconds = 0.0;
  rinex::EpochTime origin{2024, 3, 1, 0, 0, 0.0};
  for (std::size_t k = 0; k < n; ++k) {
    epochs.times.push_back(time_after(origin, seconds));
    const bool without_values = std::find(empty.begin(), empty.end(), k) != empty.end();
    epochs.time_index.push_back(without_values ? kNoTimeIndex : static_cast<std::uint32_t>(k));
    seconds += interval;
    for (auto [after, count] : missing) {
      if (after == k) seconds += count * interval;
    }
  }
  return make_timeline(epochs, n, interval);
}

/// "x" flagged, "." not.
std::vector<std::uint8_t> flags(const std::string& pattern) {
  std::vector<std::uint8_t> out;
  for (char c : pattern) out.push_back(c == 'x');
  return out;
}

TEST(EpisodeMergingTest, RunsNeedAMinuteAndJoinAcrossShortBreaks) {
  AssessmentSettings settings;
  settings.min_episode_seconds = 60.0;  // two epochs of 30 s; merging across 60 s
  struct Case {
    const char* name;
    std::string pattern;  // 30 s epochs
    std::vector<std::pair<std::size_t, std::uint32_t>> missing;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;  // first and last position
  } cases[] = {
      {"nothing", "..........", {}, {}},
      {"one epoch is not enough", "...x......", {}, {}},
      {"two epochs make a minute", "...xx.....", {}, {{3, 4}}},
      {"a break of two epochs is tolerated", "..xx..x...", {}, {{2, 6}}},
      {"a break of three is not", "..xx...x..", {}, {{2, 3}}},
      {"short runs alone never", "x.x.x.x.x.", {}, {}},
      {"short runs join a long one", "x.xx.x....", {}, {{0, 5}}},
      {"two episodes", "xx....xxx.", {}, {{0, 1}, {6, 8}}},
      {"a short gap is passed over", "..xx......", {{2, 1}}, {{2, 3}}},
      {"an outage ends a run", "..xx.xx...", {{3, 2}}, {{2, 3}, {5, 6}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const EpochTimeline timeline = timeline_of(c.pattern.size(), 30.0, c.missing);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> found;
    for (const EpochSpan& span : merge_runs(flags(c.pattern), timeline, settings)) {
      found.emplace_back(span.start.position, span.end.position);
    }
    EXPECT_EQ(found, c.spans);
  }
}

TEST(EpisodeMergingTest, FallsNeedTwoMinutesEpochsWithoutValuesOne) {
  const AssessmentSettings settings;  // 120 s, 60 s for epochs without values
  const EpochTimeline received = timeline_of(12, 30.0);
  EXPECT_TRUE(merge_runs(flags("..xxx......."), received, settings).empty());
  EXPECT_EQ(merge_runs(flags("..xxxx......"), received, settings).size(), 1u);
  const EpochTimeline empty = timeline_of(12, 30.0, {}, {2, 3});
  const std::vector<EpochSpan> spans = merge_runs(flags("..xx........"), empty, settings);
  ASSERT_EQ(spans.size(), 1u);
  EXPECT_EQ(spans[0].empty_s, 60.0);
}

TEST(EpisodeMergingTest, OutagesAreStretchesLeftOutOfAMinuteOrMore) {
  const AssessmentSettings settings;
  // 30 s epochs: one left out after epoch 1 (passed over), two after epoch 4, three after epoch 6.
  const EpochTimeline timeline = timeline_of(10, 30.0, {{1, 1}, {4, 2}, {6, 3}});
  EXPECT_EQ(timeline.missing_after, (std::vector<std::uint32_t>{0, 1, 0, 0, 2, 0, 3, 0, 0, 0}));
  const std::vector<EpochSpan> outages = outage_spans(timeline, settings);
  ASSERT_EQ(outages.size(), 2u);
  EXPECT_EQ(seconds_at(timeline, outages[0].start), 5 * 30.0 + 30.0);  // after epoch 4 at 150 s
  EXPECT_EQ(seconds_at(timeline, outages[0].end), 5 * 30.0 + 60.0);
  EXPECT_EQ(outages[1].flagged_s, 90.0);
  EXPECT_FALSE(outages[1].recorded);
}

TEST(EpisodeClassificationTest, KindAndSeverityFromWhatTheEpisodeShows) {
  auto facts = [](std::uint32_t bands_at_once, bool most_lost, double drop, bool recorded = true, bool sector = false) {
    EpisodeFacts f;
    f.most_bands_at_once = bands_at_once;
    f.most_lost = most_lost;
    f.max_drop_db = drop;
    f.recorded = recorded;
    f.one_sector = sector;
    return f;
  };
  using result::EpisodeKind;
  using result::Severity;
  struct Case {
    const char* name;
    EpisodeFacts facts;
    EpisodeKind kind;
    Severity severity;
  } cases[] = {
      {"one band, partly", facts(1, false, 6.0), EpisodeKind::interference, Severity::low},
      {"one band, deep", facts(1, false, 9.0), EpisodeKind::interference, Severity::high},
      {"two bands at once", facts(2, false, 6.0), EpisodeKind::jamming, Severity::high},
      {"most satellites lost", facts(1, true, kNaN), EpisodeKind::jamming, Severity::critical},
      {"a 15 dB fall", facts(3, false, 15.0), EpisodeKind::jamming, Severity::critical},
      {"one part of the sky", facts(2, false, 10.0, true, true), EpisodeKind::obstruction, Severity::high},
      {"only left-out time", facts(0, false, 0.0, false), EpisodeKind::outage, Severity::low},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const EpisodeKind kind = classify_episode(c.facts);
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(episode_severity(c.facts, kind, 120.0), c.severity);
  }
  EXPECT_EQ(episode_severity(facts(0, false, 0.0, false), EpisodeKind::outage, 300.0), Severity::high);
}

TEST(EpisodeClassificationTest, OneSectorOfTheSky) {
  struct Case {
    const char* name;
    std::vector<float> affected;
    std::vector<float> clear;
    bool one_sector;
  } cases[] = {
      {"east, clear elsewhere", {60.0f, 90.0f, 120.0f}, {200.0f, 300.0f}, true},
      {"across north", {340.0f, 10.0f, 40.0f}, {150.0f, 220.0f}, true},
      {"clear ones above the obstacle count not", {60.0f, 90.0f, 120.0f}, {80.0f, 300.0f}, false},
      {"all around", {0.0f, 100.0f, 200.0f, 300.0f}, {50.0f, 150.0f}, false},
      {"nothing clear", {60.0f, 90.0f}, {}, false},
      {"wider than 150 degrees", {0.0f, 160.0f}, {250.0f, 300.0f}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(in_one_sector(c.affected, c.clear, 150.0), c.one_sector);
  }
}

TEST(EpisodeTimesTest, TimesCarryIntoDaysMonthsAndYears) {
  struct Case {
    rinex::EpochTime from;
    double seconds;
    const char* text;
  } cases[] = {
      {{2024, 3, 1, 0, 0, 0.0}, 30.0, "2024-03-01T00:00:30.000Z"},
      {{2024, 3, 1, 23, 59, 30.0}, 30.0, "2024-03-02T00:00:00.000Z"},
      {{2024, 2, 28, 23, 59, 59.0}, 2.0, "2024-02-29T00:00:01.000Z"},
      {{2023, 12, 31, 23, 59, 45.0}, 15.5, "2024-01-01T00:00:00.500Z"},
      {{2024, 3, 1, 12, 0, 0.0}, 86400.0 * 31, "2024-04-01T12:00:00.000Z"},
      {{2024, 3, 1, 6, 17, 30.0}, 0.0, "2024-03-01T06:17:30.000Z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(rinex::timestamp_text(time_after(c.from, c.seconds)), c.text);
  }
}

TEST(ElevationBinsTest, EmptyBinsFilledFromTheirNeighbours) {
  std::vector<double> bins{kNaN, 10.0, kNaN, kNaN, 16.0, kNaN};
  fill_empty_bins(bins);
  EXPECT_EQ(bins, (std::vector<double>{10.0, 10.0, 12.0, 14.0, 16.0, 16.0}));
  std::vector<double> none{kNaN, kNaN};
  fill_empty_bins(none);
  EXPECT_TRUE(std::isnan(none[0]) && std::isnan(none[1]));
}

TEST(Cn0HistogramTest, QuantilesAndRunningMedianAgreeWithSorting) {
  std::vector<std::uint32_t> counts(kHistogramBins, 0);
  // 40.0, 40.0, 41.0, 45.0: bins of a quarter dB.
  for (double v : {40.0, 40.0, 41.0, 45.0}) ++counts[histogram_bin(v, 0.0)];
  EXPECT_DOUBLE_EQ(histogram_quantile(counts, 0.5, 0.0), 40.25);  // the second value, at its bin's end
  EXPECT_DOUBLE_EQ(histogram_quantile(counts, 0.75, 0.0), 41.25);
  EXPECT_TRUE(std::isnan(histogram_quantile(std::vector<std::uint32_t>(kHistogramBins, 0), 0.5, 0.0)));
  EXPECT_EQ(histogram_bin(-3.0, 0.0), 0u);
  EXPECT_EQ(histogram_bin(100.0, 0.0), kHistogramBins - 1);

  // A window of 25 values sliding over a deterministic sequence: the running median is the
  // sorted window's lower median, to the bin.
  RunningMedian median;
  std::vector<std::uint32_t> window;
  std::uint32_t state = 12345;
  for (int i = 0; i < 400; ++i) {
    state = state * 1103515245u + 12345u;
    const std::uint32_t bin = (state >> 16) % 120 + (i > 200 ? 60 : 0);
    median.add(bin);
    window.push_back(bin);
    if (window.size() > 25) {
      median.remove(window.front());
      window.erase(window.begin());
    }
    std::vector<std::uint32_t> sorted = window;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(median.median(), histogram_value(sorted[(sorted.size() - 1) / 2], 0.0)) << i;
  }
}

}  // namespace
}  // namespace qcn::cn0
