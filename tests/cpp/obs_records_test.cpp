// Observation records of both versions: epoch lines, satellite lists and observation fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "obs_text.hpp"
#include "rinex/obs_epochs.hpp"
#include "rinex/obs_parser.hpp"

namespace {

using qcn::rinex::EpochTime;
using qcn::rinex::Observation;
using qcn::rinex::ParseError;
using qcn::rinex::parse_observations;
using qcn::rinex::RinexObsData;
using qcn::test::columns;
using qcn::test::epoch_v2;
using qcn::test::epoch_v3;
using qcn::test::find_obs;
using qcn::test::obs_field;
using qcn::test::right;
using qcn::test::sat_line_v3;
using qcn::test::satellite_ids;

using Ids = std::vector<std::string>;

RinexObsData parsed(const std::string& text) {
  auto parse = parse_observations(text, "test.obs");
  EXPECT_EQ(parse.error, ParseError::none);
  return std::move(parse.data);
}

void expect_time(const EpochTime& t, const EpochTime& expected) {
  EXPECT_EQ(t.year, expected.year);
  EXPECT_EQ(t.month, expected.month);
  EXPECT_EQ(t.day, expected.day);
  EXPECT_EQ(t.hour, expected.hour);
  EXPECT_EQ(t.minute, expected.minute);
  EXPECT_EQ(t.second, expected.second);
}

double value_at(const RinexObsData& data, std::size_t epoch, std::string_view sat, std::string_view code) {
  const Observation* o = find_obs(data, data.epochs.at(epoch), sat, code);
  return o ? o->value : 0.0;
}

// G: C1C L1C S1C; E: C1C S1C.
const std::string kHeaderV3 = qcn::test::header_v3({{'G', "C1C L1C S1C"}, {'E', "C1C S1C"}});

std::string printed(const char* format, int number) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, number);
  return buffer;
}

std::string id_of(char system, int number) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%c%02d", system, number);
  return buffer;
}

// ---------------------------------------------------------------- epoch lines

TEST(EpochLineV3Test, ReadsTheDateParts) {
  struct Case {
    std::string_view text;
    EpochTime time;
  };
  static constexpr Case kCases[] = {
      {"2024 03 01 00 00 30.0000000  0 12", {2024, 3, 1, 0, 0, 30.0}},
      {"2024 3 1 0 0 30", {2024, 3, 1, 0, 0, 30.0}},
      {"+2024 +3 +1 +0 +0 +5.5", {2024, 3, 1, 0, 0, 5.5}},
      {"24 13 0 99 99 61.5 x y z", {24, 13, 0, 99, 99, 61.5}},  // taken as written
      {"-5 1 1 0 0 0", {-5, 1, 1, 0, 0, 0.0}},
      {"2024\t03\t01\t00\t00\t1e1", {2024, 3, 1, 0, 0, 10.0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    auto line = qcn::rinex::parse_epoch_line_v3(c.text);
    ASSERT_TRUE(line.ok()) << line.error;
    expect_time(line.time, c.time);
  }
}

TEST(EpochLineV3Test, ExplainsWhatDoesNotRead) {
  struct Case {
    std::string_view text;
    std::string_view error;
  };
  static constexpr Case kCases[] = {
      {"", "Empty epoch string"},
      {"2024 03 01 00 00", "Invalid epoch format: expected 6+ parts, got 5 in '2024 03 01 00 00'"},
      {"2024", "Invalid epoch format: expected 6+ parts, got 1 in '2024'"},
      {"x024 03 01 00 00 30.0", "Invalid year 'x024': invalid digit found in string"},
      {"2147483648 03 01 00 00 30.0", "Invalid year '2147483648': number too large to fit in target type"},
      {"-2147483649 03 01 00 00 30.0", "Invalid year '-2147483649': number too small to fit in target type"},
      {"- 03 01 00 00 30.0", "Invalid year '-': invalid digit found in string"},
      {"2024 1x 01 00 00 30.0", "Invalid month '1x': invalid digit found in string"},
      {"2024 -1 01 00 00 30.0", "Invalid month '-1': invalid digit found in string"},
      {"2024 4294967296 01 00 00 30.0", "Invalid month '4294967296': number too large to fit in target type"},
      {"2024 03 O1 00 00 30.0", "Invalid day 'O1': invalid digit found in string"},
      {"2024 03 01 0.5 00 30.0", "Invalid hour '0.5': invalid digit found in string"},
      {"2024 03 01 00 +-1 30.0", "Invalid minute '+-1': invalid digit found in string"},
      {"2024 03 01 00 00 3o.0", "Invalid second '3o.0': invalid float literal"},
      {"2024 03 01 00 00 30,0", "Invalid second '30,0': invalid float literal"},
      // The first failing part is reported.
      {"x 1x 01 00 00 y", "Invalid year 'x': invalid digit found in string"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(qcn::rinex::parse_epoch_line_v3(c.text).error, c.error);
  }
}

TEST(EpochLineV2Test, ReadsFixedColumnsAndExpandsTheYear) {
  struct Case {
    std::string_view year;
    int full_year;
  };
  static constexpr Case kCases[] = {
      {"99", 1999}, {"05", 2005}, {" 5", 2005}, {"79", 2079}, {"80", 1980}, {" 0", 2000}, {"+1", 2001},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.year);
    std::string line = columns({{1, c.year}, {4, " 3"}, {7, "12"}, {10, "23"}, {13, "59"}, {15, right("59.5000000", 11)}});
    auto epoch = qcn::rinex::parse_epoch_line_v2(line);
    ASSERT_TRUE(epoch.ok()) << epoch.error;
    expect_time(epoch.time, {c.full_year, 3, 12, 23, 59, 59.5});
  }
}

TEST(EpochLineV2Test, NamesTheFieldThatDoesNotRead) {
  const std::string good = columns({{1, "21"}, {4, " 1"}, {7, " 2"}, {10, " 3"}, {13, " 4"}, {15, right("5.0000000", 11)}});
  struct Case {
    std::size_t col;
    std::string_view text;
    std::string_view error;
  };
  static constexpr Case kCases[] = {
      {1, "  ", "Invalid year"},   {1, "2x", "Invalid year"},    {4, "  ", "Invalid month"},
      {4, "-1", "Invalid month"},  {7, " x", "Invalid day"},     {10, "  ", "Invalid hour"},
      {13, "  ", "Invalid minute"}, {15, "           ", "Invalid second"}, {15, "  5.0 00000", "Invalid second"},
  };
  EXPECT_TRUE(qcn::rinex::parse_epoch_line_v2(good).ok());
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.col << " '" << c.text << "'");
    std::string line = good;
    line.replace(c.col, c.text.size(), c.text);
    EXPECT_EQ(qcn::rinex::parse_epoch_line_v2(line).error, c.error);
  }
}

// ---------------------------------------------------------------- version 3 records

TEST(ObsRecordsV3Test, ReadsAnEpochOfTwelveSatellites) {
  std::string text = kHeaderV3 + epoch_v3("2024 03 01 00 00 30.0000000", 0, 12);
  for (int n = 1; n <= 12; ++n) {
    // G04 and G08 carry zeros only; every other satellite has distinct values.
    bool zero = n % 4 == 0;
    std::string c1 = zero ? "0.000" : std::to_string(20000000 + n) + ".125";
    std::string s1 = zero ? "0.000" : std::to_string(30 + n) + ".250";
    text += sat_line_v3(id_of('G', n), {obs_field(c1), obs_field(zero ? "" : "1.5"), obs_field(s1)});
  }
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 1u);
  expect_time(data.epochs[0].time, {2024, 3, 1, 0, 0, 30.0});
  EXPECT_EQ(data.epochs[0].flag, 0);
  Ids expected;
  for (int n = 1; n <= 12; ++n) {
    if (n % 4 != 0) expected.push_back(id_of('G', n));
  }
  EXPECT_EQ(satellite_ids(data, data.epochs[0]), expected);
  for (int n = 1; n <= 12; ++n) {
    if (n % 4 == 0) continue;
    SCOPED_TRACE(n);
    EXPECT_EQ(value_at(data, 0, id_of('G', n), "C1C"), 20000000 + n + 0.125);
    EXPECT_EQ(value_at(data, 0, id_of('G', n), "L1C"), 1.5);
    EXPECT_EQ(value_at(data, 0, id_of('G', n), "S1C"), 30 + n + 0.25);
  }
  EXPECT_EQ(qcn::rinex::unique_satellite_count(data), 9u);
}

TEST(ObsRecordsV3Test, SkipsEpochsWhoseLineDoesNotRead) {
  const std::string sat = sat_line_v3("G01", {obs_field("1.0"), obs_field("2.0"), obs_field("45.0")});
  const std::string bad_lines[] = {
      "> 2024 03 01 00 01\n",                     // five date parts
      "> 2024 1x 01 00 01 00.0000000  0  1\n",    // month
      "> 2024 03 01 00 01 0o.0000000  0  1\n",    // second
      "> 2024 03 01 00 01 00.0000000  0  0\n",    // no satellites
      "> 2024 03 01 00 01 00.0000000  0\n",       // no count
      "> 2024 03 01 00 01 00.0000000  0  x\n",    // count not a number
      ">\n",                                      // empty
      " > 2024 03 01 00 01 00.0000000  0  1\n",   // '>' not first
  };
  for (const std::string& bad : bad_lines) {
    SCOPED_TRACE(bad);
    auto data = parsed(kHeaderV3 + epoch_v3("2024 03 01 00 00 00.0000000", 0, 1) + sat + bad + sat +
                       epoch_v3("2024 03 01 00 02 00.0000000", 0, 1) + sat);
    ASSERT_EQ(data.epochs.size(), 2u);
    EXPECT_EQ(data.epochs[0].time.minute, 0u);
    EXPECT_EQ(data.epochs[1].time.minute, 2u);
    EXPECT_EQ(data.satellites.size(), 2u);
  }
}

TEST(ObsRecordsV3Test, AnnouncedCountIsAnUpperBound) {
  std::string text = kHeaderV3 + epoch_v3("2024 03 01 00 00 00.0000000", 0, 12);
  for (int n = 1; n <= 10; ++n) text += sat_line_v3(id_of('G', n), {obs_field("1.0"), obs_field("2.0"), obs_field("40.0")});
  text += epoch_v3("2024 03 01 00 00 30.0000000", 0, 2);
  text += sat_line_v3("G01", {obs_field("3.0")});
  text += sat_line_v3("E11", {obs_field("4.0"), obs_field("41.0")});
  // A count below the lines present leaves the rest unread; they do not start with '>'.
  text += epoch_v3("2024 03 01 00 01 00.0000000", 0, 1);
  text += sat_line_v3("G05", {obs_field("5.0")});
  text += sat_line_v3("G06", {obs_field("6.0")});
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 3u);
  EXPECT_EQ(data.epochs[0].satellite_count, 10u);
  EXPECT_EQ(satellite_ids(data, data.epochs[1]), (Ids{"G01", "E11"}));
  EXPECT_EQ(value_at(data, 1, "E11", "S1C"), 41.0);
  EXPECT_EQ(satellite_ids(data, data.epochs[2]), (Ids{"G05"}));
}

TEST(ObsRecordsV3Test, EmptyLineEndsTheEpochAndShortLinesCount) {
  std::string text = kHeaderV3 + epoch_v3("2024 03 01 00 00 00.0000000", 0, 4) +
                     sat_line_v3("G01", {obs_field("1.0")}) + "G2\n" + "\n" + sat_line_v3("G03", {obs_field("3.0")}) +
                     epoch_v3("2024 03 01 00 00 30.0000000", 0, 3) + sat_line_v3("G01", {obs_field("1.0")}) + "G\n" +
                     "  \n" + sat_line_v3("G04", {obs_field("4.0")});
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 2u);
  // The empty line stopped the first epoch; G03 after it belongs to no epoch.
  EXPECT_EQ(satellite_ids(data, data.epochs[0]), (Ids{"G01"}));
  // "G" and "  " count against the three announced lines, so G04 is outside the epoch.
  EXPECT_EQ(satellite_ids(data, data.epochs[1]), (Ids{"G01"}));
}

TEST(ObsRecordsV3Test, StoresNeitherZeroNorBlankValues) {
  std::string text = kHeaderV3 + epoch_v3("2024 03 01 00 00 00.0000000", 0, 4) +
                     sat_line_v3("G01", {obs_field("0.000"), obs_field(""), obs_field("38.500")}) +
                     sat_line_v3("G02", {obs_field("0.000"), obs_field("-0.0"), obs_field("  ")}) +
                     sat_line_v3("G03", {obs_field("x"), obs_field("1.2.3"), obs_field("0")}) +
                     sat_line_v3("G04", {obs_field("-1.5")}) +
                     // An epoch of nothing but zeros is absent.
                     epoch_v3("2024 03 01 00 00 30.0000000", 0, 1) + sat_line_v3("G01", {obs_field("0.000")});
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 1u);
  EXPECT_EQ(satellite_ids(data, data.epochs[0]), (Ids{"G01", "G04"}));
  EXPECT_EQ(data.observations.size(), 2u);
  EXPECT_EQ(find_obs(data, data.epochs[0], "G01", "C1C"), nullptr);
  EXPECT_EQ(value_at(data, 0, "G01", "S1C"), 38.5);
  EXPECT_EQ(value_at(data, 0, "G04", "C1C"), -1.5);
}

TEST(ObsRecordsV3Test, ReadsIndicatorsAfterTheValue) {
  struct Case {
    std::string field;  // the last field of the line, for code S1C
    double value;
    int lli, ssi;  // -1: absent
  };
  const Case cases[] = {
      {obs_field("45.250", '1', '7'), 45.25, 1, 7},
      {obs_field("45.250", ' ', '7'), 45.25, -1, 7},
      {obs_field("45.250", '4', ' '), 45.25, 4, -1},
      {obs_field("45.250", 'x', '+'), 45.25, -1, -1},
      {obs_field("45.250", '9', '\0'), 45.25, 9, -1},    // 15 characters: no room for the ssi
      {obs_field("45.250", '\0', '\0'), 45.25, -1, -1},  // 14 characters
      {"  45.25", 45.25, -1, -1},                         // shorter than its field
      {obs_field("45.250", '1', '7') + "   99.000", 45.25, 1, 7},  // beyond the last code: ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    auto data = parsed(kHeaderV3 + epoch_v3("2024 03 01 00 00 00.0000000", 0, 1) + "G07" + obs_field("1.0", '0', '5') +
                       obs_field("") + c.field + "\n");
    ASSERT_EQ(data.epochs.size(), 1u);
    const Observation* c1 = find_obs(data, data.epochs[0], "G07", "C1C");
    ASSERT_NE(c1, nullptr);
    EXPECT_EQ(c1->loss_of_lock(), 0);
    EXPECT_EQ(c1->signal_strength(), 5);
    const Observation* s1 = find_obs(data, data.epochs[0], "G07", "S1C");
    ASSERT_NE(s1, nullptr);
    EXPECT_EQ(s1->value, c.value);
    EXPECT_EQ(s1->loss_of_lock(), c.lli < 0 ? std::nullopt : std::optional<std::uint8_t>(c.lli));
    EXPECT_EQ(s1->signal_strength(), c.ssi < 0 ? std::nullopt : std::optional<std::uint8_t>(c.ssi));
    EXPECT_EQ(data.observations.size(), 2u);
  }
}

TEST(ObsRecordsV3Test, SatellitesOfUndeclaredSystemsContributeNothing) {
  std::string text = kHeaderV3 + epoch_v3("2024 03 01 00 00 00.0000000", 0, 4) +
                     sat_line_v3("J02", {obs_field("1.0"), obs_field("2.0"), obs_field("40.0")}) +
                     sat_line_v3("R05", {obs_field("1.0")}) + sat_line_v3("E01", {obs_field("1.0"), obs_field("42.0")}) +
                     // An empty identifier is read with the G codes.
                     sat_line_v3("", {obs_field("7.0")});
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 1u);
  EXPECT_EQ(satellite_ids(data, data.epochs[0]), (Ids{"E01", ""}));
  EXPECT_EQ(value_at(data, 0, "E01", "S1C"), 42.0);
  EXPECT_EQ(value_at(data, 0, "", "C1C"), 7.0);
  auto by_system = qcn::rinex::satellites_by_system(data);
  EXPECT_EQ(by_system.size(), 1u);
  ASSERT_NE(by_system.find("E"), nullptr);
  EXPECT_EQ(*by_system.find("E"), (Ids{"E01"}));
}

TEST(ObsRecordsV3Test, LaterListingOfASatelliteWins) {
  std::string text = kHeaderV3 + epoch_v3("2024 03 01 00 00 00.0000000", 0, 5) +
                     sat_line_v3("G01", {obs_field("1.0"), obs_field("2.0")}) +
                     sat_line_v3("G02", {obs_field("5.0")}) +
                     sat_line_v3("G01", {obs_field(""), obs_field(""), obs_field("44.0")}) +
                     // A later listing without values does not replace anything.
                     sat_line_v3("G02", {obs_field("0.0")}) + sat_line_v3("G03", {obs_field("6.0")});
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 1u);
  EXPECT_EQ(satellite_ids(data, data.epochs[0]), (Ids{"G01", "G02", "G03"}));
  EXPECT_EQ(find_obs(data, data.epochs[0], "G01", "C1C"), nullptr);
  EXPECT_EQ(find_obs(data, data.epochs[0], "G01", "L1C"), nullptr);
  EXPECT_EQ(value_at(data, 0, "G01", "S1C"), 44.0);
  EXPECT_EQ(value_at(data, 0, "G02", "C1C"), 5.0);
  EXPECT_EQ(qcn::rinex::unique_satellite_count(data), 3u);
}

TEST(ObsRecordsV3Test, LaterListingWinsInLargeEpochs) {
  // Past a few dozen satellites the earlier listing is looked up by hash.
  constexpr int kCount = 120;
  std::string text = qcn::test::header_v3({{'G', "S1C"}, {'R', "S1C"}, {'E', "S1C"}}) +
                     // Written by the columns: the count of three digits touches the flag.
                     "> 2024 03 01 00 00 00.0000000  0240\n";
  static_assert(kCount * 2 == 240);
  const char systems[] = {'G', 'R', 'E'};
  for (int pass = 0; pass < 2; ++pass) {
    for (int k = 0; k < kCount; ++k) {
      std::string value = std::to_string(pass == 0 ? 10 + k % 40 : 60 + k % 30) + ".0";
      text += sat_line_v3(id_of(systems[k % 3], k / 3 + 1), {obs_field(value)});
    }
  }
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 1u);
  ASSERT_EQ(data.epochs[0].satellite_count, static_cast<std::uint32_t>(kCount));
  for (int k = 0; k < kCount; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(satellite_ids(data, data.epochs[0])[static_cast<std::size_t>(k)], id_of(systems[k % 3], k / 3 + 1));
    EXPECT_EQ(value_at(data, 0, id_of(systems[k % 3], k / 3 + 1), "S1C"), 60 + k % 30);
  }
}

TEST(ObsRecordsV3Test, FlagAndCountOfThreeDigitsReadByTheirColumns) {
  const std::string sats = sat_line_v3("G01", {obs_field("1.0")}) + sat_line_v3("G02", {obs_field("2.0")});
  struct Case {
    std::string_view tail;  // after the seconds
    std::uint8_t flag;
    std::uint32_t satellites;
  } cases[] = {
      {"  0102", 0, 2},                    // touching: flag 0, count 102 (only two lines follow)
      {"  1102       0.000123456789", 1, 2},  // with a clock offset after them
      {"  0 102", 0, 2},                   // separated
      {"  0  2", 0, 2},
      {"  x102", 0, 0},                    // not a flag digit: read as written, no count
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tail));
    auto data = parsed(kHeaderV3 + "> 2024 03 01 00 00 00.0000000" + std::string(c.tail) + "\n" + sats);
    ASSERT_EQ(data.epochs.size(), c.satellites == 0 ? 0u : 1u);
    if (c.satellites == 0) continue;
    EXPECT_EQ(data.epochs[0].flag, c.flag);
    EXPECT_EQ(data.epochs[0].satellite_count, c.satellites);
  }
}

TEST(ObsRecordsV3Test, RepeatedCodeKeepsTheLaterField) {
  std::string text = qcn::test::header_v3({{'G', "S1C C1C S1C S1C"}}) + epoch_v3("2024 03 01 00 00 00.0000000", 0, 2) +
                     sat_line_v3("G01", {obs_field("40.0", '1'), obs_field("2.0"), obs_field("41.0", '2'), obs_field("0.0")}) +
                     sat_line_v3("G02", {obs_field("40.0"), obs_field("2.0")});
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 1u);
  const Observation* s1 = find_obs(data, data.epochs[0], "G01", "S1C");
  ASSERT_NE(s1, nullptr);
  EXPECT_EQ(s1->value, 41.0);  // the zero in the fourth field stores nothing
  EXPECT_EQ(s1->loss_of_lock(), 2);
  EXPECT_EQ(value_at(data, 0, "G02", "S1C"), 40.0);
  EXPECT_EQ(data.obs_codes.size(), 2u);  // each code text once
  EXPECT_EQ(data.observations.size(), 4u);
}

TEST(ObsRecordsV3Test, HugeCountsReadOnlyWhatIsThere) {
  const std::string sat = sat_line_v3("G01", {obs_field("1.0")});
  auto none = parsed(kHeaderV3 + "> 2024 03 01 00 00 00.0000000  0 999999999\n");
  EXPECT_TRUE(none.epochs.empty());
  EXPECT_LT(none.observations.capacity(), 1000u);  // nothing sized by the count
  auto two = parsed(kHeaderV3 + "> 2024 03 01 00 00 00.0000000  0 999999999\n" + sat + sat_line_v3("G02", {obs_field("2.0")}));
  ASSERT_EQ(two.epochs.size(), 1u);
  EXPECT_EQ(two.epochs[0].satellite_count, 2u);
  // A count beyond every integer type reads as no count.
  auto overflow = parsed(kHeaderV3 + "> 2024 03 01 00 00 00.0000000  0 99999999999999999999999\n" + sat);
  EXPECT_TRUE(overflow.epochs.empty());
}

TEST(ObsRecordsV3Test, KeepsFlagsAndIgnoresTheClockOffset) {
  std::string text = kHeaderV3 + "> 2024 03 01 00 00 00.0000000  1  1       0.000123456789\n" +
                     sat_line_v3("G01", {obs_field("1.0")}) +
                     // Event flag 4 with two header lines: they are read as satellite lines.
                     epoch_v3("2024 03 01 00 00 10.0000000", 4, 2) + qcn::test::header_line("Antenna moved", "COMMENT") +
                     qcn::test::header_line("NEWSITE", "MARKER NAME") +
                     "> 2024 03 01 00 00 20.0000000 300  1\n" + sat_line_v3("G02", {obs_field("2.0")});
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 2u);
  EXPECT_EQ(data.epochs[0].flag, 1);
  EXPECT_EQ(data.epochs[1].flag, 0);  // 300 does not fit a flag
  EXPECT_EQ(data.epochs[1].time.second, 20.0);
  EXPECT_EQ(data.marker_name, "test.obs");
}

TEST(ObsRecordsV3Test, LineEndsDoNotMatter) {
  std::string lf = kHeaderV3;
  for (int e = 0; e < 3; ++e) {
    lf += epoch_v3(printed("2024 03 01 00 0%d 00.0000000", e), 0, 2);
    lf += sat_line_v3("G01", {obs_field("1.0", '1', '5'), obs_field(""), obs_field(printed("4%d.0", e), ' ', '6')});
    lf += sat_line_v3("E02", {obs_field("2.0"), obs_field(printed("3%d.5", e), '0')});
  }
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  auto expected = parsed(lf);
  ASSERT_EQ(expected.epochs.size(), 3u);
  EXPECT_EQ(qcn::test::dump_epochs(parsed(crlf)), qcn::test::dump_epochs(expected));
  // Without the last line feed (and its CR) the last line still reads.
  EXPECT_EQ(qcn::test::dump_epochs(parsed(lf.substr(0, lf.size() - 1))), qcn::test::dump_epochs(expected));
  EXPECT_EQ(qcn::test::dump_epochs(parsed(crlf.substr(0, crlf.size() - 2))), qcn::test::dump_epochs(expected));
}

// ---------------------------------------------------------------- version 2 records

// Value of code c (from 0) of satellite s (from 0): distinct for every pair.
std::string v2_value(std::size_t s, std::size_t c) { return std::to_string(1000 * (s + 1) + c + 1) + ".125"; }

// Observation lines of one satellite: five 16-column fields per line.
std::string v2_obs_lines(std::size_t s, std::size_t codes) {
  std::string text;
  for (std::size_t c = 0; c < codes; ++c) {
    text += obs_field(v2_value(s, c), c % 2 ? '1' : ' ', '8');
    if (c % 5 == 4 || c + 1 == codes) text += '\n';
  }
  return text;
}

TEST(ObsRecordsV2Test, ReadsContinuationLinesOfSatellitesAndValues) {
  const std::vector<std::string> codes = {"C1", "L1", "D1", "S1", "P2", "L2", "S2"};
  const std::vector<std::string> renamed = {"C1C", "L1C", "D1", "S1C", "C2P", "L2C", "S2C"};
  std::vector<std::string> sats;
  for (int n = 1; n <= 14; ++n) sats.push_back(id_of(n % 2 ? 'G' : 'R', n));
  std::string text = qcn::test::header_v2(codes) + epoch_v2(" 21  1  1  0  0", "0.0000000", 0, sats);
  for (std::size_t s = 0; s < sats.size(); ++s) text += v2_obs_lines(s, codes.size());
  text += epoch_v2(" 21  1  1  0  0", "30.0000000", 0, {"G01"}) + v2_obs_lines(0, codes.size());
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 2u);
  expect_time(data.epochs[0].time, {2021, 1, 1, 0, 0, 0.0});
  EXPECT_EQ(satellite_ids(data, data.epochs[0]), sats);
  for (std::size_t s = 0; s < sats.size(); ++s) {
    for (std::size_t c = 0; c < codes.size(); ++c) {
      SCOPED_TRACE(sats[s] + " " + renamed[c]);
      const Observation* o = find_obs(data, data.epochs[0], sats[s], renamed[c]);
      ASSERT_NE(o, nullptr);
      EXPECT_EQ(o->value, std::stod(v2_value(s, c)));
      // Version 2 reads no indicators.
      EXPECT_FALSE(o->loss_of_lock().has_value());
      EXPECT_FALSE(o->signal_strength().has_value());
    }
  }
  EXPECT_EQ(data.epochs[1].time.second, 30.0);
  EXPECT_EQ(satellite_ids(data, data.epochs[1]), (Ids{"G01"}));
}

TEST(ObsRecordsV2Test, ObservationLinesPerSatelliteFollowTheCodeCount) {
  for (std::size_t n : {1u, 4u, 5u, 6u, 10u, 11u}) {
    SCOPED_TRACE(n);
    std::vector<std::string> codes;
    for (std::size_t c = 0; c < n; ++c) codes.push_back(printed("X%d", static_cast<int>(c + 1)));
    std::string text = qcn::test::header_v2(codes) + epoch_v2(" 24  3  1  0  0", "0.0000000", 0, {"G01", "E02", "  3"});
    for (std::size_t s = 0; s < 3; ++s) text += v2_obs_lines(s, n);
    text += epoch_v2(" 24  3  1  0  0", "1.0000000", 0, {"G04"}) + v2_obs_lines(3, n);
    auto data = parsed(text);
    ASSERT_EQ(data.epochs.size(), 2u);
    EXPECT_EQ(satellite_ids(data, data.epochs[0]), (Ids{"G01", "E02", "G03"}));
    EXPECT_EQ(data.observations.size(), 4 * n);
    EXPECT_EQ(value_at(data, 0, "G03", codes.back()), std::stod(v2_value(2, n - 1)));
    EXPECT_EQ(value_at(data, 1, "G04", codes.front()), std::stod(v2_value(3, 0)));
  }
}

TEST(ObsRecordsV2Test, SatelliteFieldsOfThreeColumns) {
  struct Case {
    std::string_view field;
    std::string_view id;
  };
  static constexpr Case kCases[] = {
      {"  7", "G07"}, {" 12", "G12"}, {"R07", "R07"}, {"E01", "E01"}, {"G 5", "G 5"},
      {" 05", "G05"}, {"+ 9", "+ 9"}, {" x1", "G00"}, {"  0", "G00"}, {"123", "123"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.field);
    std::string text = qcn::test::header_v2({"S1"}) + epoch_v2(" 24  3  1  0  0", "0.0000000", 0, {std::string(c.field)}) +
                       obs_field("45.0") + "\n";
    auto data = parsed(text);
    ASSERT_EQ(data.epochs.size(), 1u);
    EXPECT_EQ(satellite_ids(data, data.epochs[0]), (Ids{std::string(c.id)}));
  }
}

TEST(ObsRecordsV2Test, BlankSatelliteFieldsArePassedOver) {
  // Three announced, the middle field blank: two satellites, each with its line.
  std::string text = qcn::test::header_v2({"S1"}) + epoch_v2(" 24  3  1  0  0", "0.0000000", 0, {"G01", "   ", "G03"}) +
                     obs_field("41.0") + "\n" + obs_field("43.0") + "\n" +
                     epoch_v2(" 24  3  1  0  0", "30.0000000", 0, {"G01"}) + obs_field("44.0") + "\n";
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 2u);
  EXPECT_EQ(satellite_ids(data, data.epochs[0]), (Ids{"G01", "G03"}));
  EXPECT_EQ(value_at(data, 0, "G03", "S1C"), 43.0);
  // A list cut short by the line end: only whole fields count.
  text = qcn::test::header_v2({"S1"}) + columns({{0, " 24  3  1  0  0  0.0000000  0  3G01G0"}}) + "\n" +
         obs_field("41.0") + "\n";
  data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 1u);
  EXPECT_EQ(satellite_ids(data, data.epochs[0]), (Ids{"G01"}));
}

TEST(ObsRecordsV2Test, SkipsEpochLinesThatDoNotRead) {
  const std::string sat_obs = obs_field("45.0") + "\n";
  const std::string bad_lines[] = {
      " 24  3  1  0  0  0.0000000  0\n",       // ends before the count
      " 24  3  1  0  0  0.0000000  0   \n",    // blank count
      " 24  3  1  0  0  0.0000000  0  0\n",    // count 0
      " 24  3  1  0  0  0.0000000  0 x1G01\n",  // count not a number
      "    3  1  0  0  0.0000000  0  1G01\n",   // blank year
      " 24  3  1  0  0  0.00000\n",            // shorter than 26
  };
  for (const std::string& bad : bad_lines) {
    SCOPED_TRACE(bad);
    std::string text = qcn::test::header_v2({"S1"}) + bad + sat_obs +
                       epoch_v2(" 24  3  1  0  1", "0.0000000", 0, {"G02"}) + sat_obs;
    auto data = parsed(text);
    ASSERT_EQ(data.epochs.size(), 1u);
    EXPECT_EQ(satellite_ids(data, data.epochs[0]), (Ids{"G02"}));
  }
}

TEST(ObsRecordsV2Test, EveryConsumedLineCountsEvenWhenEmpty) {
  std::vector<std::string> codes = {"C1", "L1", "D1", "S1", "P2", "S2"};  // two lines per satellite
  // G01: an empty first line, then S2C; G02: C1C, then an empty line.
  std::string text = qcn::test::header_v2(codes) + epoch_v2(" 24  3  1  0  0", "0.0000000", 2, {"G01", "G02"}) +
                     "\n" + obs_field("42.0") + "\n" + obs_field("1.0") + "\n" + "\n";
  auto data = parsed(text);
  ASSERT_EQ(data.epochs.size(), 1u);
  EXPECT_EQ(data.epochs[0].flag, 2);
  EXPECT_EQ(satellite_ids(data, data.epochs[0]), (Ids{"G01", "G02"}));
  EXPECT_EQ(value_at(data, 0, "G01", "S2C"), 42.0);
  EXPECT_EQ(value_at(data, 0, "G02", "C1C"), 1.0);
  EXPECT_EQ(data.observations.size(), 2u);
}

TEST(ObsRecordsV2Test, WithoutGpsCodesNoEpochIsKept) {
  std::string text = qcn::test::header_v3({{'R', "S1C"}}, "2.11") + epoch_v2(" 24  3  1  0  0", "0.0000000", 0, {"R01"}) +
                     obs_field("45.0") + "\n";
  auto data = parsed(text);
  EXPECT_TRUE(data.epochs.empty());
  EXPECT_TRUE(data.observations.empty());
}

TEST(ObsRecordsV2Test, TruncatedFileEndsTheLastEpoch) {
  std::string full = qcn::test::header_v2({"C1", "L1", "S1"}) + epoch_v2(" 24  3  1  0  0", "0.0000000", 0, {"G01", "G02", "G03"}) +
                     v2_obs_lines(0, 3) + v2_obs_lines(1, 3);
  auto data = parsed(full.substr(0, full.size() - 20));
  ASSERT_EQ(data.epochs.size(), 1u);
  EXPECT_EQ(satellite_ids(data, data.epochs[0]), (Ids{"G01", "G02"}));
  EXPECT_EQ(value_at(data, 0, "G02", "C1C"), std::stod(v2_value(1, 0)));
  EXPECT_EQ(find_obs(data, data.epochs[0], "G02", "S1C"), nullptr);
}

}  // namespace

namespace {

// Epochs listed without any value are not stored, but an observation epoch (flag 0 or 1) keeps
// its time among the empty epochs, in file order: the receiver saw nothing then.
TEST(ObsRecordsTest, EmptyObservationEpochsKeepTheirTime) {
  const std::string g01 = sat_line_v3("G01", {obs_field("20000000.000"), obs_field("1.0"), obs_field("40.0")});
  const std::string g01_zero = sat_line_v3("G01", {obs_field("0.000"), obs_field(""), obs_field("0.0")});
  const std::string v3 = kHeaderV3 + epoch_v3("2024 03 01 00 00 00.0000000", 0, 1) + g01 +
                         epoch_v3("2024 03 01 00 00 30.0000000", 0, 0) +            // nothing listed
                         epoch_v3("2024 03 01 00 01 00.0000000", 1, 1) + g01_zero +  // only zeros
                         epoch_v3("2024 03 01 00 01 30.0000000", 4, 1) + "COMMENT LINE\n" +  // an event
                         epoch_v3("2024 03 01 00 02 00.0000000", 0, 1) + g01 +
                         "> 2024 03 01 00 02 30.0000000  0\n" +  // no count: no epoch
                         epoch_v3("2024 03 01 00 03 00.0000000", 0, 0);
  RinexObsData data = parsed(v3);
  ASSERT_EQ(data.epochs.size(), 2u);
  ASSERT_EQ(data.empty_epochs.size(), 3u);
  const std::pair<EpochTime, std::uint64_t> expected[] = {
      {{2024, 3, 1, 0, 0, 30.0}, 1}, {{2024, 3, 1, 0, 1, 0.0}, 1}, {{2024, 3, 1, 0, 3, 0.0}, 2}};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    expect_time(data.empty_epochs[i].time, expected[i].first);
    EXPECT_EQ(data.empty_epochs[i].before, expected[i].second);
  }
  std::vector<double> order;
  qcn::rinex::visit_epochs_in_file_order(
      data, [&](const qcn::rinex::ObservationEpoch& epoch) { order.push_back(epoch.time.minute * 60 + epoch.time.second); },
      [&](const EpochTime& time) { order.push_back(-(time.minute * 60 + time.second)); });
  EXPECT_EQ(order, (std::vector<double>{0, -30, -60, 120, -180}));

  // Version 2: a count written as 0, and satellites whose lines hold no value.
  const std::string v2 = qcn::test::header_v2({"C1", "S1"}) + epoch_v2(" 24  3  1  0  0", "0.0000000", 0, {}) +
                         epoch_v2(" 24  3  1  0  0", "30.0000000", 0, {"G01", "G02"}) + "\n\n" +
                         epoch_v2(" 24  3  1  0  1", "0.0000000", 0, {"G01"}) + right("20000000.000", 14) + "\n";
  data = parsed(v2);
  ASSERT_EQ(data.epochs.size(), 1u);
  ASSERT_EQ(data.empty_epochs.size(), 2u);
  EXPECT_EQ(data.empty_epochs[1].time.second, 30.0);
  EXPECT_EQ(data.empty_epochs[1].before, 0u);
}

}  // namespace
