// RINEX navigation parsing: columns of both versions, record rules, real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "navigation/nav_parser.hpp"

namespace {

using qcn::navigation::GlonassEphemeris;
using qcn::navigation::KeplerEphemeris;
using qcn::navigation::NavigationData;
using qcn::navigation::parse_navigation;

// A fixed-column line: each piece of text is written at its column, blanks in between.
std::string columns(std::initializer_list<std::pair<std::size_t, std::string>> pieces) {
  std::string line;
  for (const auto& [col, text] : pieces) {
    if (line.size() < col + text.size()) line.resize(col + text.size(), ' ');
    line.replace(col, text.size(), text);
  }
  return line;
}

std::string header_line(const std::string& content, const std::string& label) {
  return columns({{0, content}, {60, label}}) + "\n";
}

std::string header_v3() {
  return header_line("     3.04           N: GNSS NAV DATA    M: MIXED", "RINEX VERSION / TYPE") +
         header_line("", "END OF HEADER");
}

std::string header_v2(char type = 'N') {
  return header_line(std::string("     2.11           ") + type + ": NAV DATA", "RINEX VERSION / TYPE") +
         header_line("", "END OF HEADER");
}

// Nineteen-character data field, distinct per k = 10 * line + field. Every field column holds a
// negative value on some line, so that a field read one column late loses its sign.
std::string value_text(int k) {
  std::string text(1, (k / 10 + k % 10) % 2 ? '-' : ' ');
  text.append(std::to_string(k % 10)).append(".").append(std::to_string(k / 10));
  text.append("00000000000D+0").append(std::to_string(k % 7));
  return text;
}
double value_of(int k) {
  std::string text = value_text(k);
  text[text.find('D')] = 'E';
  return std::stod(text);
}

// An eight-line RINEX 3 Keplerian record; field n of line l (both from 1) holds value_text(10 * l + n).
std::string kepler_v3(const std::string& id, const std::string& date = "2020 06 25 02 00 00") {
  std::string text = columns({{0, id}, {4, date}, {23, value_text(12)}, {42, value_text(13)},
                              {61, value_text(14)}}) + "\n";
  for (int l = 2; l <= 8; ++l) {
    text += columns({{4, value_text(10 * l + 1)}, {23, value_text(10 * l + 2)}, {42, value_text(10 * l + 3)},
                     {61, value_text(10 * l + 4)}}) + "\n";
  }
  return text;
}

std::string kepler_v2(const std::string& prn, const std::string& date) {
  std::string text = columns({{0, prn}, {3, date}, {22, value_text(12)}, {41, value_text(13)},
                              {60, value_text(14)}}) + "\n";
  for (int l = 2; l <= 8; ++l) {
    text += columns({{3, value_text(10 * l + 1)}, {22, value_text(10 * l + 2)}, {41, value_text(10 * l + 3)},
                     {60, value_text(10 * l + 4)}}) + "\n";
  }
  return text;
}

std::string glonass_v3(const std::string& id, const std::string& channel, const std::string& date = "2020 06 25 00 15 00") {
  return columns({{0, id}, {4, date}, {23, " 1.0D-04"}, {42, " 2.0D-12"}, {61, " 3.0D+03"}}) + "\n" +
         columns({{4, " 1.5D+04"}, {23, "-1.5D+00"}, {42, " 1.5D-09"}, {61, " 0.0D+00"}}) + "\n" +
         columns({{4, " 2.5D+04"}, {23, "-2.5D+00"}, {42, " 2.5D-09"}, {61, channel}}) + "\n" +
         columns({{4, " 3.5D+03"}, {23, "-3.5D+00"}, {42, " 3.5D-09"}, {61, " 0.0D+00"}}) + "\n";
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const KeplerEphemeris& only_record(const qcn::rinex::OrderedMap<std::vector<KeplerEphemeris>>& map,
                                   std::string_view key) {
  const auto* records = map.find(key);
  if (records == nullptr || records->size() != 1) throw std::runtime_error("expected one record");
  return records->front();
}

std::vector<std::string> keys(const auto& map) {
  std::vector<std::string> out;
  for (const auto& [key, value] : map) out.push_back(key);
  return out;
}

// Every field of a record, with the line and field number it comes from.
struct FieldCase {
  const char* name;
  double KeplerEphemeris::*member;
  int source;  // 10 * line + field
};
constexpr FieldCase kKeplerFields[] = {
    {"clock_bias", &KeplerEphemeris::clock_bias, 12},
    {"clock_drift", &KeplerEphemeris::clock_drift, 13},
    {"clock_drift_rate", &KeplerEphemeris::clock_drift_rate, 14},
    {"iode", &KeplerEphemeris::iode, 21},
    {"crs", &KeplerEphemeris::crs, 22},
    {"delta_n", &KeplerEphemeris::delta_n, 23},
    {"m0", &KeplerEphemeris::m0, 24},
    {"cuc", &KeplerEphemeris::cuc, 31},
    {"e", &KeplerEphemeris::e, 32},
    {"cus", &KeplerEphemeris::cus, 33},
    {"sqrt_a", &KeplerEphemeris::sqrt_a, 34},
    {"toe", &KeplerEphemeris::toe, 41},
    {"cic", &KeplerEphemeris::cic, 42},
    {"omega0", &KeplerEphemeris::omega0, 43},
    {"cis", &KeplerEphemeris::cis, 44},
    {"i0", &KeplerEphemeris::i0, 51},
    {"crc", &KeplerEphemeris::crc, 52},
    {"omega", &KeplerEphemeris::omega, 53},
    {"omega_dot", &KeplerEphemeris::omega_dot, 54},
    {"idot", &KeplerEphemeris::idot, 61},
};

void expect_fields(const KeplerEphemeris& eph) {
  for (const auto& c : kKeplerFields) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(eph.*c.member, value_of(c.source));
  }
  EXPECT_EQ(eph.week, static_cast<std::int32_t>(value_of(63)));
}

TEST(NavParserTest, ReadsEveryKeplerFieldAtItsVersion3Column) {
  auto parse = parse_navigation(header_v3() + kepler_v3("G01"));
  ASSERT_EQ(parse.error, qcn::rinex::ParseError::none);
  const KeplerEphemeris& eph = only_record(parse.data.gps_ephemerides, "G01");
  EXPECT_EQ(eph.prn, 1u);
  EXPECT_EQ(eph.system, 'G');
  EXPECT_EQ(eph.epoch.year, 2020);
  EXPECT_EQ(eph.epoch.month, 6u);
  EXPECT_EQ(eph.epoch.day, 25u);
  EXPECT_EQ(eph.epoch.hour, 2u);
  expect_fields(eph);
}

TEST(NavParserTest, ReadsEveryKeplerFieldAtItsVersion2Column) {
  auto parse = parse_navigation(header_v2() + kepler_v2(" 7", "20 12 31 22  0 30.5"));
  const KeplerEphemeris& eph = only_record(parse.data.gps_ephemerides, "G07");
  EXPECT_EQ(eph.prn, 7u);
  EXPECT_EQ(eph.epoch.year, 2020);
  EXPECT_EQ(eph.epoch.month, 12u);
  EXPECT_EQ(eph.epoch.day, 31u);
  EXPECT_EQ(eph.epoch.hour, 22u);
  EXPECT_EQ(eph.epoch.minute, 0u);
  EXPECT_EQ(eph.epoch.second, 30.5);
  expect_fields(eph);
}

TEST(NavParserTest, ExpandsTwoDigitYearsAroundEighty) {
  constexpr std::pair<const char*, int> kCases[] = {{"05", 2005}, {"79", 2079}, {"80", 1980}, {"99", 1999}, {" 0", 2000}};
  for (const auto& [year, expected] : kCases) {
    SCOPED_TRACE(year);
    auto parse = parse_navigation(header_v2() + kepler_v2(" 3", std::string(year) + "  1  2  3  4  5.0"));
    EXPECT_EQ(only_record(parse.data.gps_ephemerides, "G03").epoch.year, expected);
  }
}

TEST(NavParserTest, FilesRecordsUnderTheirSystemsMaps) {
  auto parse = parse_navigation(header_v3() + kepler_v3("J01") + kepler_v3("E11") + kepler_v3("C20") +
                                kepler_v3("G32") + kepler_v3("E11", "2020 06 25 03 00 00"));
  const NavigationData& nav = parse.data;
  EXPECT_EQ(keys(nav.gps_ephemerides), (std::vector<std::string>{"J01", "G32"}));
  EXPECT_EQ(keys(nav.galileo_ephemerides), (std::vector<std::string>{"E11"}));
  EXPECT_EQ(keys(nav.beidou_ephemerides), (std::vector<std::string>{"C20"}));
  EXPECT_EQ(only_record(nav.gps_ephemerides, "J01").system, 'J');
  // Duplicates stay, in file order.
  ASSERT_NE(nav.galileo_ephemerides.find("E11"), nullptr);
  const auto& e11 = *nav.galileo_ephemerides.find("E11");
  ASSERT_EQ(e11.size(), 2u);
  EXPECT_EQ(e11[0].epoch.hour, 2u);
  EXPECT_EQ(e11[1].epoch.hour, 3u);
}

TEST(NavParserTest, ScalesGlonassToMetresAndMapsChannels) {
  auto parse = parse_navigation(header_v3() + glonass_v3("R07", "-7.0D+00") + glonass_v3("R08", " 0.0D+00") +
                                glonass_v3("R09", " 2.0D+00") + glonass_v3("R09", " 3.9D+00"));
  const NavigationData& nav = parse.data;
  EXPECT_EQ(keys(nav.glonass_ephemerides), (std::vector<std::string>{"R07", "R08", "R09"}));
  ASSERT_NE(nav.glonass_ephemerides.find("R07"), nullptr);
  const GlonassEphemeris& r07 = nav.glonass_ephemerides.find("R07")->front();
  EXPECT_EQ(r07.slot, 7u);
  EXPECT_EQ(r07.epoch.minute, 15u);
  EXPECT_EQ(r07.clock_bias, 1.0e-4);
  EXPECT_EQ(r07.relative_frequency_bias, 2.0e-12);
  EXPECT_EQ(r07.message_frame_time, 3.0e3);
  EXPECT_EQ(r07.x, 1.5e7);
  EXPECT_EQ(r07.x_velocity, -1.5e3);
  EXPECT_EQ(r07.x_acceleration, 1.5e-9 * 1000.0);
  EXPECT_EQ(r07.y, 2.5e7);
  EXPECT_EQ(r07.y_velocity, -2.5e3);
  EXPECT_EQ(r07.y_acceleration, 2.5e-9 * 1000.0);
  EXPECT_EQ(r07.z, 3.5e6);
  EXPECT_EQ(r07.z_velocity, -3.5e3);
  EXPECT_EQ(r07.z_acceleration, 3.5e-9 * 1000.0);
  EXPECT_EQ(r07.frequency_channel, -7);
  // Channel 0 makes no entry; a later record replaces the slot's value (3.9 truncates to 3).
  EXPECT_EQ(keys(nav.glonass_channels), (std::vector<std::string>{"7", "9"}));
  EXPECT_EQ(*nav.glonass_channels.find("7"), -7);
  EXPECT_EQ(*nav.glonass_channels.find("9"), 3);
}

TEST(NavParserTest, PassesOverOtherSystemsAndBrokenRecordsWithoutShifting) {
  const std::string sbas = columns({{0, "S23"}, {4, "2020 06 25 00 00 00"}, {23, " 1.0D+00"}}) + "\n" +
                           columns({{4, " 1.0D+00"}}) + "\n" + columns({{4, " 2.0D+00"}}) + "\n" +
                           columns({{4, " 3.0D+00"}}) + "\n";
  std::string short_first = kepler_v3("G05");
  short_first.replace(0, short_first.find('\n'), "G05 2020");  // ends after the year
  std::string bad_month = kepler_v3("G06", "2020 0x 25 02 00 00");
  std::string bad_data = kepler_v3("G08");
  bad_data.replace(bad_data.find(value_text(34)), 19, "  5153.7D+0X       ");  // sqrt_a
  const std::string text = header_v3() + sbas + "\n   \n" + short_first + bad_month + kepler_v3("G02") +
                           columns({{0, "I05"}, {4, "2020 06 25 00 00 00"}}) + "\n" + bad_data;
  auto parse = parse_navigation(text);
  EXPECT_EQ(keys(parse.data.gps_ephemerides), (std::vector<std::string>{"G02", "G08"}));
  EXPECT_EQ(only_record(parse.data.gps_ephemerides, "G02").sqrt_a, value_of(34));
  EXPECT_EQ(only_record(parse.data.gps_ephemerides, "G08").sqrt_a, 0.0);
  EXPECT_EQ(only_record(parse.data.gps_ephemerides, "G08").cus, value_of(33));
  // Counted are the records whose first line reads, kept or not: not the cut G05 or the G06 of
  // a bad month; the bad data of G08 is the record's, not its first line's.
  std::vector<std::pair<std::string, std::uint64_t>> counts(parse.data.records_by_system.begin(),
                                                            parse.data.records_by_system.end());
  EXPECT_EQ(counts, (std::vector<std::pair<std::string, std::uint64_t>>{{"S", 1}, {"G", 2}, {"I", 1}}));
  ASSERT_TRUE(parse.data.first_record && parse.data.last_record);
  EXPECT_EQ(parse.data.first_record->hour, 0u);
  EXPECT_EQ(parse.data.last_record->hour, 2u);
}

TEST(NavParserTest, LeavesRecordsCutByTheEndOfTheFile) {
  std::string cut = kepler_v3("E03");
  std::string glonass_cut = glonass_v3("R01", " 1.0D+00");
  for (int keep : {1, 7}) {
    SCOPED_TRACE(keep);
    std::string lines;
    std::istringstream in(cut);
    std::string line;
    for (int i = 0; i < keep && std::getline(in, line); ++i) lines += line + "\n";
    auto parse = parse_navigation(header_v3() + kepler_v3("E01") + lines);
    EXPECT_EQ(keys(parse.data.galileo_ephemerides), (std::vector<std::string>{"E01"}));
  }
  auto parse = parse_navigation(header_v3() + glonass_cut.substr(0, glonass_cut.rfind('\n', glonass_cut.size() - 2)));
  EXPECT_TRUE(parse.data.glonass_ephemerides.empty());
  // A record start with too few lines after it takes one line: the GLONASS record in them is read.
  parse = parse_navigation(header_v3() + columns({{0, "G05"}, {4, "2020 06 25 02 00 00"}}) + "\n" + glonass_cut);
  EXPECT_TRUE(parse.data.gps_ephemerides.empty());
  EXPECT_EQ(keys(parse.data.glonass_ephemerides), (std::vector<std::string>{"R01"}));
  // Exactly eight lines with no final line feed still make a record.
  parse = parse_navigation(header_v3() + cut.substr(0, cut.size() - 1));
  EXPECT_EQ(keys(parse.data.galileo_ephemerides), (std::vector<std::string>{"E03"}));
}

TEST(NavParserTest, ReadsTheHeaderByItsLabelColumn) {
  EXPECT_EQ(parse_navigation(header_line("     3.04", "RINEX VERSION / TYPE") + kepler_v3("G01")).error,
            qcn::rinex::ParseError::no_end_of_header);
  // END OF HEADER in a 59-character line is not a label.
  std::string short_label = columns({{46, "END OF HEADER"}});
  short_label.append("\n").append(kepler_v3("G01"));
  EXPECT_EQ(parse_navigation(short_label).error,
            qcn::rinex::ParseError::no_end_of_header);
  // Without a RINEX VERSION line the version 3 columns apply; CR LF line ends are fine.
  std::string crlf = kepler_v3("G04");
  for (std::size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2)) crlf.insert(at, 1, '\r');
  auto parse = parse_navigation(header_line("", "END OF HEADER") + crlf);
  EXPECT_EQ(parse.error, qcn::rinex::ParseError::none);
  expect_fields(only_record(parse.data.gps_ephemerides, "G04"));
  // A header ending on the last line is a success with no records.
  parse = parse_navigation(header_v3());
  EXPECT_EQ(parse.error, qcn::rinex::ParseError::none);
  EXPECT_FALSE(qcn::navigation::has_data(parse.data));
}

TEST(NavParserTest, NonAsciiByteTakesOneColumn) {
  std::string record = kepler_v3("G09");
  record[3] = '\xC3';  // the blank between satellite and year
  std::string text = header_v3() + record;
  text[text.find("RINEX VERSION") - 2] = '\xE9';  // in the header's free text
  auto parse = parse_navigation(text);
  expect_fields(only_record(parse.data.gps_ephemerides, "G09"));
}

TEST(NavParserTest, ReadsRinex2GlonassFileAsGlonass) {
  auto parse = parse_navigation(read_file(QCN_SHARED_DATA_DIR "/nav/amel0010.21g"));
  ASSERT_EQ(parse.error, qcn::rinex::ParseError::none);
  const NavigationData& nav = parse.data;
  EXPECT_TRUE(nav.gps_ephemerides.empty());
  // 530 record first lines and 24 distinct slots, counted in the file with awk.
  std::size_t records = 0;
  for (const auto& [key, list] : nav.glonass_ephemerides) {
    EXPECT_EQ(key[0], 'R');
    records += list.size();
  }
  EXPECT_EQ(records, 530u);
  EXPECT_EQ(nav.glonass_ephemerides.size(), 24u);
  //  1 20 12 31 23 45  0.0 7.282570004460D-05 ...
  //    -1.488799804690D+03-2.196182250980D+00 3.725290298460D-09 0.000000000000D+00
  //     1.292880712890D+04-2.049269676210D+00 0.000000000000D+00 1.000000000000D+00
  ASSERT_NE(nav.glonass_ephemerides.find("R01"), nullptr);
  const GlonassEphemeris& first = nav.glonass_ephemerides.find("R01")->front();
  EXPECT_EQ(first.epoch.year, 2020);
  EXPECT_EQ(first.epoch.hour, 23u);
  EXPECT_EQ(first.epoch.minute, 45u);
  EXPECT_EQ(first.clock_bias, 7.282570004460e-05);
  EXPECT_EQ(first.message_frame_time, 7.38e4);
  EXPECT_EQ(first.x, -1.488799804690e+03 * 1000.0);
  EXPECT_EQ(first.x_velocity, -2.196182250980e+00 * 1000.0);
  EXPECT_EQ(first.y, 1.292880712890e+04 * 1000.0);
  EXPECT_EQ(first.z, 2.193169775390e+04 * 1000.0);
  EXPECT_EQ(first.frequency_channel, 1);
  // 2020-12-31 0 h is day 2459215 (Julian days counted from midnight), then 23.75 h.
  EXPECT_EQ(first.epoch_julian_day, 2459215.0 + 23.75 / 24.0);
  EXPECT_EQ(*nav.glonass_channels.find("1"), 1);
  EXPECT_EQ(*nav.glonass_channels.find("2"), -4);
}

TEST(NavParserTest, ReadsRinex2GpsFile) {
  auto parse = parse_navigation(read_file(QCN_SHARED_DATA_DIR "/nav/brdc0010.21n"));
  const NavigationData& nav = parse.data;
  // 463 records of 32 satellites, counted in the file with awk.
  std::size_t records = 0;
  for (const auto& [key, list] : nav.gps_ephemerides) records += list.size();
  EXPECT_EQ(records, 463u);
  EXPECT_EQ(nav.gps_ephemerides.size(), 32u);
  EXPECT_TRUE(nav.glonass_ephemerides.empty());
  //  2 20 12 31 22  0  0.0-5.608671344817D-04-4.320099833421D-12 0.000000000000D+00
  //     5.900000000000D+01-7.018750000000D+01 4.593048461762D-09-1.832745337954D+00
  //    -3.218650817871D-06 2.031373803038D-02 4.023313522339D-07 5.153584920883D+03
  ASSERT_NE(nav.gps_ephemerides.find("G02"), nullptr);
  const KeplerEphemeris& g02 = nav.gps_ephemerides.find("G02")->front();
  EXPECT_EQ(g02.clock_bias, -5.608671344817e-04);
  EXPECT_EQ(g02.iode, 59.0);
  EXPECT_EQ(g02.m0, -1.832745337954e+00);
  EXPECT_EQ(g02.e, 2.031373803038e-02);
  EXPECT_EQ(g02.sqrt_a, 5.153584920883e+03);
  EXPECT_EQ(g02.epoch_julian_day, 2459215.0 + 22.0 / 24.0);  // 2020-12-31 22:00
}

// A RINEX 2 file holds the records of the one system its type letter names; a letter of a system
// whose records are not kept (H for SBAS) gives no records rather than records misread as GPS.
TEST(NavParserTest, Rinex2TypeLetterNamesTheSystem) {
  struct Case {
    char type;
    std::vector<std::string> gps, galileo;
  };
  const Case cases[] = {
      {'N', {"G05"}, {}}, {' ', {"G05"}, {}}, {'E', {}, {"E05"}}, {'H', {}, {}}, {'L', {}, {}}, {'M', {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.type));
    auto parse = parse_navigation(header_v2(c.type) + kepler_v2(" 5", "20  6 25  2  0  0.0"));
    ASSERT_EQ(parse.error, qcn::rinex::ParseError::none);
    EXPECT_EQ(keys(parse.data.gps_ephemerides), c.gps);
    EXPECT_EQ(keys(parse.data.galileo_ephemerides), c.galileo);
    EXPECT_TRUE(parse.data.glonass_ephemerides.empty());
    // Records of a type letter this parser does not keep are not counted either.
    EXPECT_EQ(parse.data.records_by_system.size(), c.gps.size() + c.galileo.size());
    if (!c.galileo.empty()) {
      const KeplerEphemeris& eph = only_record(parse.data.galileo_ephemerides, "E05");
      EXPECT_EQ(eph.system, 'E');
      expect_fields(eph);
    }
  }
}

// The real Galileo file of a station (RINEX 2.12, type E): five records of E05, E03, E02, E07, E08.
TEST(NavParserTest, ReadsRinex2GalileoFile) {
  auto parse = parse_navigation(read_file(QCN_TEST_DATA_DIR "/nav/ceda2100_head.18e"));
  const NavigationData& nav = parse.data;
  EXPECT_TRUE(nav.gps_ephemerides.empty());
  EXPECT_EQ(keys(nav.galileo_ephemerides), (std::vector<std::string>{"E05", "E03", "E02", "E07", "E08"}));
  //  5 18  7 29  2 50  0.0 2.207611105405D-04-6.536993168993D-12 0.000000000000D+00
  //    1.557171344757D-06 2.510042395443D-04 9.194016456604D-06 5.440621961594D+03
  const KeplerEphemeris& e05 = only_record(nav.galileo_ephemerides, "E05");
  EXPECT_EQ(e05.system, 'E');
  EXPECT_EQ(e05.epoch.year, 2018);
  EXPECT_EQ(e05.clock_bias, 2.207611105405e-04);
  EXPECT_EQ(e05.sqrt_a, 5.440621961594e+03);
  EXPECT_EQ(e05.week, 2012);
}

TEST(NavParserTest, ReadsLeapSecondsFromTheHeader) {
  struct Case {
    const char* line;
    std::optional<std::int32_t> leap;
  };
  const Case cases[] = {
      {"    18", 18},
      {"    18    18  1929     7", 18},
      {"    17    18  1929     7BDS", 31},  // counted from BeiDou time
      {"    18    18  1929     7GPS", 18},
      {"", std::nullopt},
      {"    x8", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::string text = header_v3();
    text.insert(text.find("END OF HEADER") - 60, header_line(c.line, "LEAP SECONDS"));
    auto parse = parse_navigation(text);
    ASSERT_EQ(parse.error, qcn::rinex::ParseError::none);
    EXPECT_EQ(parse.data.leap_seconds, c.leap);
  }
  EXPECT_EQ(parse_navigation(read_file(QCN_SHARED_DATA_DIR "/nav/amel0010.21g")).data.leap_seconds, 18);
  EXPECT_FALSE(parse_navigation(read_file(QCN_SHARED_DATA_DIR "/nav/brdc0010.21n")).data.leap_seconds.has_value());
}

TEST(NavParserTest, SurvivesFuzzRegressionInputs) {
  const std::filesystem::path dir = QCN_TEST_DATA_DIR "/fuzz/nav";
  ASSERT_TRUE(std::filesystem::is_directory(dir));
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.path().filename() == "README") continue;
    SCOPED_TRACE(entry.path().string());
    auto parse = parse_navigation(read_file(entry.path()));
    (void)parse;
    ++files;
  }
  EXPECT_GT(files, 0u);
}

}  // namespace
