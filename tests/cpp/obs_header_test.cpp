// Observation header: labels from column 60, their order and values, code lists and slots.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "obs_text.hpp"
#include "rinex/obs_parser.hpp"

namespace {

using qcn::rinex::ParseError;
using qcn::rinex::parse_observations;
using qcn::rinex::RinexObsData;
using qcn::test::columns;
using qcn::test::end_of_header;
using qcn::test::header_line;
using qcn::test::right;

using Codes = std::vector<std::string>;

RinexObsData parsed(const std::string& text, std::string_view file_name = "site0010.24o") {
  auto parse = parse_observations(text, file_name);
  EXPECT_EQ(parse.error, ParseError::none);
  return std::move(parse.data);
}

const Codes* codes_of(const RinexObsData& data, std::string_view system) { return data.obs_types.find(system); }

std::string version_line(std::string_view version) {
  return header_line(right(version, 9) + "           OBSERVATION DATA    M", "RINEX VERSION / TYPE");
}

TEST(ObsHeaderTest, FailsWithoutEndOfHeader) {
  const std::string epochs = "> 2024 03 01 00 00 30.0000000  0  1\nG01      45.000\n";
  const std::string cases[] = {
      "",
      "abc",
      version_line("3.04") + epochs,
      // The label must start at column 60 of a line of at least 60 characters.
      version_line("3.04") + columns({{46, "END OF HEADER"}}) + "\n" + epochs,
      // A label that also names an earlier entry of the table is that entry.
      version_line("3.04") + header_line("    30.000", "INTERVAL END OF HEADER") + epochs,
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    auto parse = parse_observations(text, "x");
    EXPECT_EQ(parse.error, ParseError::no_end_of_header);
    EXPECT_EQ(qcn::rinex::parse_error_text(parse.error), "No END OF HEADER found");
    EXPECT_TRUE(parse.data.epochs.empty());
    EXPECT_TRUE(parse.data.obs_types.empty());
    EXPECT_EQ(parse.data.version, 0.0);
  }
}

TEST(ObsHeaderTest, EndOfHeaderLabelIsFoundByContainment) {
  for (std::string_view label : {"END OF HEADER", "xxEND OF HEADERyy", "  END OF HEADER  \r"}) {
    SCOPED_TRACE(label);
    EXPECT_EQ(parse_observations(header_line("", label), "x").error, ParseError::none);
  }
  // A 60-character line ends exactly where the label would begin: no label.
  EXPECT_EQ(parse_observations(std::string(60, ' ') + "\n", "x").error, ParseError::no_end_of_header);
}

TEST(ObsHeaderTest, ReadsVersionFromTheFirstNineColumns) {
  struct Case {
    std::string line;
    double version;
  };
  const Case cases[] = {
      {version_line("3.04"), 3.04},
      {version_line("2.11"), 2.11},
      {version_line("+4.00"), 4.0},
      {header_line("RINEX3.04           OBSERVATION DATA", "RINEX VERSION / TYPE"), 0.0},
      {header_line(columns({{9, "3.04"}}), "RINEX VERSION / TYPE"), 0.0},
      {header_line("", "RINEX VERSION / TYPE"), 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(parsed(c.line + end_of_header()).version, c.version);
  }
  // A later line replaces an earlier one, unless it does not read.
  EXPECT_EQ(parsed(version_line("2.11") + version_line("3.05") + end_of_header()).version, 3.05);
  EXPECT_EQ(parsed(version_line("2.11") + version_line("x") + end_of_header()).version, 2.11);
}

TEST(ObsHeaderTest, FirstMatchingLabelDecides) {
  // "RINEX VERSION" comes before "MARKER NAME" in the table.
  auto data = parsed(header_line("     3.04", "MARKER NAME / RINEX VERSION") + end_of_header());
  EXPECT_EQ(data.version, 3.04);
  EXPECT_EQ(data.marker_name, "site0010.24o");
  // Labels outside the table, and lines shorter than 60 characters, change nothing.
  data = parsed(header_line("SOMEWHERE", "COMMENT") + "     3.04  RINEX VERSION / TYPE\n" +
                header_line("    15.000", "TIME OF FIRST OBS") + end_of_header());
  EXPECT_EQ(data.version, 0.0);
  EXPECT_EQ(data.interval, 0.0);
  EXPECT_EQ(data.marker_name, "site0010.24o");
}

TEST(ObsHeaderTest, ReadsTextsOfTheirColumns) {
  std::string text = header_line("  Station One  ", "MARKER NAME") +
                     header_line(columns({{0, "5235K51839"}, {20, "TRIMBLE NETR9"}, {40, "5.45"}}), "REC # / TYPE / VERS") +
                     header_line(columns({{0, "5240354581"}, {20, "TRM59800.00     SCIT"}}), "ANT # / TYPE") +
                     end_of_header();
  auto data = parsed(text);
  EXPECT_EQ(data.marker_name, "Station One");
  EXPECT_EQ(data.receiver_type, "TRIMBLE NETR9");
  EXPECT_EQ(data.antenna_type, "TRM59800.00     SCIT");
}

TEST(ObsHeaderTest, MarkerNameFallsBackToTheFileName) {
  EXPECT_EQ(parsed(end_of_header(), "site0010.24o").marker_name, "site0010.24o");
  EXPECT_EQ(parsed(header_line("     ", "MARKER NAME") + end_of_header(), "x").marker_name, "x");
  EXPECT_EQ(parsed(header_line("A", "MARKER NAME") + header_line("B", "MARKER NAME") + end_of_header(), "x").marker_name,
            "B");
  // Every byte of 0x80 and above reads as '?', one per byte.
  EXPECT_EQ(parsed(header_line("Z\xc3\xbcrich \xe2\x82\xac", "MARKER NAME") + end_of_header()).marker_name,
            "Z??rich ???");
  EXPECT_EQ(parsed(header_line(columns({{20, "R\xc3\xa9"}}), "REC # / TYPE") + end_of_header()).receiver_type, "R??");
}

TEST(ObsHeaderTest, NonAsciiBytesKeepTheirColumns) {
  // Two bytes of one UTF-8 character are two columns: the label still starts at byte 60.
  std::string content = "\xc3\xa9";
  content += std::string(58, ' ');
  auto data = parsed(content + "MARKER NAME\n" + end_of_header());
  EXPECT_EQ(data.marker_name, "??");
}

TEST(ObsHeaderTest, ReadsApproximatePosition) {
  struct Case {
    std::string content;
    bool present;
    double x, y, z;
  };
  const Case cases[] = {
      {"  2874042.8770 -5356829.4800  1923453.5060", true, 2874042.8770, -5356829.4800, 1923453.5060},
      {"x 1.5 y 2 z -3e2", true, 1.5, 2.0, -300.0},
      {"1 2 3 4", true, 1.0, 2.0, 3.0},
      {"1 2", false, 0, 0, 0},
      {"1 2 x", false, 0, 0, 0},
      {"", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    auto data = parsed(header_line(c.content, "APPROX POSITION XYZ") + end_of_header());
    ASSERT_EQ(data.approx_position.has_value(), c.present);
    if (c.present) {
      EXPECT_EQ(data.approx_position->x_m, c.x);
      EXPECT_EQ(data.approx_position->y_m, c.y);
      EXPECT_EQ(data.approx_position->z_m, c.z);
    }
  }
  // A line with too few numbers keeps the earlier position.
  auto data = parsed(header_line("1 2 3", "APPROX POSITION XYZ") + header_line("4 5", "APPROX POSITION XYZ") +
                     end_of_header());
  ASSERT_TRUE(data.approx_position.has_value());
  EXPECT_EQ(data.approx_position->x_m, 1.0);
}

TEST(ObsHeaderTest, ReadsIntervalFromTheFirstTenColumns) {
  struct Case {
    std::string content;
    double interval;
  };
  const Case cases[] = {
      {"    30.000", 30.0},
      {"1.5", 1.5},
      {columns({{10, "30.000"}}), 0.0},
      {"  30.000 s", 0.0},
      {"", 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    EXPECT_EQ(parsed(header_line(c.content, "INTERVAL") + end_of_header()).interval, c.interval);
  }
  EXPECT_EQ(parsed(header_line("15", "INTERVAL") + header_line("?", "INTERVAL") + end_of_header()).interval, 15.0);
}

TEST(ObsHeaderTest, VersionThreeCodesContinueTheCurrentSystem) {
  std::string text = version_line("3.04") +
                     // Continuation before any system: ignored.
                     header_line("        C9Z", "SYS / # / OBS TYPES") +
                     header_line("G   15 C1C L1C D1C S1C C2W L2W D2W S2W C5Q L5Q D5Q S5Q C1L", "SYS / # / OBS TYPES") +
                     header_line("       L1L S1L", "SYS / # / OBS TYPES") +
                     header_line("R    2 C1C S1C", "SYS / # / OBS TYPES") +
                     // Other labels in between keep the current system.
                     header_line("comment", "COMMENT") + header_line("       C2P", "SYS / # / OBS TYPES") +
                     // A second line opening G appends to its list; the count is not read.
                     header_line("G  999 C1P", "SYS / # / OBS TYPES") +
                     // Not a system letter: continues G.
                     header_line("g      C7Q", "SYS / # / OBS TYPES") +
                     // A system line without codes still switches the system.
                     header_line("J    0", "SYS / # / OBS TYPES") + header_line("      C1C", "SYS / # / OBS TYPES") +
                     end_of_header();
  auto data = parsed(text);
  ASSERT_NE(codes_of(data, "G"), nullptr);
  EXPECT_EQ(*codes_of(data, "G"), (Codes{"C1C", "L1C", "D1C", "S1C", "C2W", "L2W", "D2W", "S2W", "C5Q", "L5Q", "D5Q",
                                          "S5Q", "C1L", "L1L", "S1L", "C1P", "C7Q"}));
  ASSERT_NE(codes_of(data, "R"), nullptr);
  EXPECT_EQ(*codes_of(data, "R"), (Codes{"C1C", "S1C", "C2P"}));
  ASSERT_NE(codes_of(data, "J"), nullptr);
  EXPECT_EQ(*codes_of(data, "J"), (Codes{"C1C"}));
  EXPECT_EQ(data.obs_types.size(), 3u);
  EXPECT_EQ(codes_of(data, "g"), nullptr);
}

TEST(ObsHeaderTest, VersionThreeCodesStopAtTheLabel) {
  // Column 60 onwards is the label, even when codes seem to run on.
  std::string content = "E    3 C1C L1C S1C";
  content.resize(57, ' ');
  content += "X1Y";
  auto data = parsed(content + "SYS / # / OBS TYPES\n" + end_of_header());
  ASSERT_NE(codes_of(data, "E"), nullptr);
  EXPECT_EQ(*codes_of(data, "E"), (Codes{"C1C", "L1C", "S1C", "X1Y"}));
  // Every system letter opens a list.
  std::string all;
  for (char s : std::string("GREJCIS")) all += header_line(std::string(1, s) + "    1 S1C", "SYS / # / OBS TYPES");
  EXPECT_EQ(parsed(all + end_of_header()).obs_types.size(), 7u);
}

TEST(ObsHeaderTest, VersionTwoCodesAreRenamedForFourSystems) {
  struct Case {
    std::vector<std::string> lines;  // contents of "# / TYPES OF OBSERV" lines
    Codes codes;
  };
  const Case cases[] = {
      {{"     5    C1    L1    L2    P2    S1"}, {"C1C", "L1C", "L2C", "C2P", "S1C"}},
      {{"    11    C1    P1    L1    S1    C2    P2    L2    S2    C5", "          L5    S5"},
       {"C1C", "C1P", "L1C", "S1C", "C2C", "C2P", "L2C", "S2C", "C5Q", "L5Q", "S5Q"}},
      // Twelve codes over two lines; codes outside the table are kept as written.
      {{"    12    C1    L1    D1    S1    P2    L2    D2    S2    C7", "          L7    D7    S7"},
       {"C1C", "L1C", "D1", "S1C", "C2P", "L2C", "D2", "S2C", "C7", "L7", "D7", "S7"}},
      // Pieces shorter than two characters and pieces opening with a digit are dropped.
      {{"  3 X C1 9Z S2 L"}, {"C1C", "S2C"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines[0]);
    std::string text = version_line("2.11");
    for (const std::string& line : c.lines) text += header_line(line, "# / TYPES OF OBSERV");
    auto data = parsed(text + end_of_header());
    EXPECT_EQ(data.obs_types.size(), 4u);
    for (std::string_view system : {"G", "R", "E", "C"}) {
      SCOPED_TRACE(system);
      ASSERT_NE(codes_of(data, system), nullptr);
      EXPECT_EQ(*codes_of(data, system), c.codes);
    }
  }
}

TEST(ObsHeaderTest, ReadsGlonassSlots) {
  using Slots = std::vector<std::pair<std::string, int>>;
  struct Case {
    std::vector<std::string> lines;
    Slots slots;
  };
  const Case cases[] = {
      {{" 24 R01  1 R02 -4 R03  5"}, {{"1", 1}, {"2", -4}, {"3", 5}}},
      {{" 22 R01  1 R02 -4", "    R09 -2 R10 -7"}, {{"1", 1}, {"2", -4}, {"9", -2}, {"10", -7}}},
      // A slot that does not read is stepped over one piece at a time.
      {{"R1 3 R04 x R05 +2 R+6 -1 R007 0 Rx1 2 R08"}, {{"5", 2}, {"6", -1}, {"7", 0}}},
      {{"R01 1 R01 -3"}, {{"1", -3}}},
      {{"R4294967296 1 R05 2147483648 R06 -2147483648"}, {{"6", INT32_MIN}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines[0]);
    std::string text;
    for (const std::string& line : c.lines) text += header_line(line, "GLONASS SLOT / FRQ #");
    auto data = parsed(text + end_of_header());
    Slots got;
    for (const auto& [slot, channel] : data.glonass_slots) got.emplace_back(slot, channel);
    std::sort(got.begin(), got.end());
    Slots expected = c.slots;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
  }
  // The code/phase bias line goes through the same scan.
  auto data = parsed(header_line(" C1C    0.000 R11 -1", "GLONASS COD/PHS/BIS") + end_of_header());
  ASSERT_NE(data.glonass_slots.find("11"), nullptr);
  EXPECT_EQ(*data.glonass_slots.find("11"), -1);
}

TEST(ObsHeaderTest, ChoosesTheRecordReaderByVersion) {
  // The same records read as version 3 only when the version says so.
  std::string records = "> 2024 03 01 00 00 30.0000000  0  1\nG01      45.000\n";
  std::string codes = header_line("G    1 S1C", "SYS / # / OBS TYPES");
  EXPECT_EQ(parsed(version_line("3.00") + codes + end_of_header() + records).epochs.size(), 1u);
  EXPECT_EQ(parsed(version_line("4.01") + codes + end_of_header() + records).epochs.size(), 1u);
  EXPECT_EQ(parsed(version_line("2.99") + codes + end_of_header() + records).epochs.size(), 0u);
  EXPECT_EQ(parsed(codes + end_of_header() + records).epochs.size(), 0u);
  // Without a version line the version-2 reader runs.
  std::string v2 = header_line("     1    S1", "# / TYPES OF OBSERV") + end_of_header() +
                   qcn::test::epoch_v2(" 24  3  1  0  0", "30.0000000", 0, {"G01"}) + "        45.000\n";
  auto data = parsed(v2);
  EXPECT_EQ(data.version, 0.0);
  EXPECT_EQ(data.epochs.size(), 1u);
}

}  // namespace

namespace {

std::string type_line(std::string_view version, char system) {
  std::string content = right(version, 9) + "           OBSERVATION DATA    ";
  content += system;
  return header_line(content, "RINEX VERSION / TYPE");
}

std::string letters_of(const std::array<bool, 256>& table) {
  std::string letters;
  for (std::size_t c = 0; c < table.size(); ++c) {
    if (table[c]) letters += static_cast<char>(c);
  }
  return letters;
}

TEST(ObsHeaderTest, ReadsLeapSecondsAndTheFileSystem) {
  RinexObsData data = parsed(type_line("3.04", 'M') + header_line("    18", "LEAP SECONDS") + end_of_header());
  EXPECT_EQ(data.file_system, 'M');
  EXPECT_EQ(data.leap_seconds, 18);
  data = parsed(type_line("2.11", 'G') + end_of_header());
  EXPECT_EQ(data.file_system, 'G');
  EXPECT_FALSE(data.leap_seconds.has_value());
}

// The systems whose C/N0 a file records: version 3 by the S codes of each system's list; version
// 2 by the type letter, once the one list has an S code; mixed version 2 files by their epochs.
TEST(ObsHeaderTest, RecordedSystems) {
  struct Case {
    std::string what;
    std::string text;
    std::string recorded;
  };
  const std::string v3_codes = header_line("G    2 C1C S1C", "SYS / # / OBS TYPES") +
                               header_line("R    2 C1C L1C", "SYS / # / OBS TYPES") +
                               header_line("E    1 S5Q", "SYS / # / OBS TYPES");
  const std::string v2_with_s = header_line("     2    C1    S1", "# / TYPES OF OBSERV");
  const std::string v2_without_s = header_line("     2    C1    L1", "# / TYPES OF OBSERV");
  const std::string v2_epoch = " 24  3  1  0  0  0.0000000  0  3G01R02E03\n" + right("20000000.000", 14) + "\n" +
                               right("20000000.000", 14) + "\n" + right("20000000.000", 14) + "\n";
  const Case cases[] = {
      {"version 3", type_line("3.04", 'M') + v3_codes + end_of_header(), "EG"},
      {"version 2 GPS", type_line("2.11", 'G') + v2_with_s + end_of_header(), "G"},
      {"version 2 blank", type_line("2.11", ' ') + v2_with_s + end_of_header(), "G"},
      {"version 2 GLONASS", type_line("2.11", 'R') + v2_with_s + end_of_header(), "R"},
      {"version 2 Galileo", type_line("2.11", 'E') + v2_with_s + end_of_header(), "E"},
      {"version 2 SBAS", type_line("2.11", 'S') + v2_with_s + end_of_header(), "S"},
      {"version 2 unknown letter", type_line("2.11", 'X') + v2_with_s + end_of_header(), ""},
      {"version 2 mixed", type_line("2.11", 'M') + v2_with_s + end_of_header() + v2_epoch, "EGR"},
      {"version 2 without S codes", type_line("2.11", 'M') + v2_without_s + end_of_header() + v2_epoch, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(letters_of(qcn::rinex::recorded_systems(parsed(c.text))), c.recorded);
  }
}

}  // namespace
