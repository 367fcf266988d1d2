// Compact RINEX: the arithmetic of differenced values, text differences, the tools' number
// format, and the decoder on small inputs written by hand for one rule each.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "archive/crinex_decoder.hpp"
#include "archive/crinex_values.hpp"

namespace {

using qcn::archive::Decoded;
using qcn::archive::FailureKind;
using qcn::archive::detail::Arc;
using qcn::archive::detail::FieldRead;
using qcn::archive::detail::read_field;

constexpr std::uint64_t kLimit = std::uint64_t{1} << 30;

// The fields that encode values as the format defines them: the first value with its order
// ("3&v"), then the k-th difference, k growing by one per value up to the order.
std::vector<std::string> encode_arc(const std::vector<std::int64_t>& values, int order) {
  std::vector<std::string> fields;
  std::vector<std::vector<std::int64_t>> table{values};  // table[k][i]: k-th difference at i
  for (int k = 1; k <= order; ++k) {
    std::vector<std::int64_t> next;
    for (std::size_t i = 1; i < table.back().size(); ++i) next.push_back(table.back()[i] - table.back()[i - 1]);
    table.push_back(next);
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::size_t k = std::min<std::size_t>(i, static_cast<std::size_t>(order));
    std::string number = std::to_string(table[k][i - k]);
    fields.push_back(i == 0 ? std::to_string(order) + "&" + number : number);
  }
  return fields;
}

TEST(CrinexValuesTest, ArcsRebuildValuesFromTheirDifferences) {
  struct Case {
    std::vector<std::int64_t> values;
    int order;
  };
  const Case cases[] = {
      {{21700656314, 21700656314 + 1000623, 21700656314 + 2001823, 21700656314 + 3004025, 21700656314 + 4006001}, 3},
      {{-5, 7, -9, 11, -13, 15, -17}, 3},
      {{40715949461, 40715976496, 40716010006, 40716038811}, 1},
      {{1, 8, 27, 64, 125, 216, 343}, 5},
      {{999999999999, -999999999999, 999999999999}, 2},
      {{42, 43, 44}, 0},
  };
  for (const Case& c : cases) {
    Arc arc;
    std::vector<std::string> fields = encode_arc(c.values, c.order);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      SCOPED_TRACE(fields[i]);
      std::int64_t value = 0;
      ASSERT_EQ(read_field(fields[i], arc, value), FieldRead::value);
      EXPECT_EQ(value, c.values[i]);
    }
  }
}

TEST(CrinexValuesTest, MissingMalformedAndUnstartedFields) {
  struct Case {
    std::vector<const char*> fields;
    FieldRead last;
  };
  const Case cases[] = {
      {{""}, FieldRead::missing},
      {{"12"}, FieldRead::unstarted},
      {{"3&12", "", "5"}, FieldRead::unstarted},  // a missing value ends the arc
      {{"3&12", "", "1&5"}, FieldRead::value},
      {{"3&"}, FieldRead::malformed},
      {{"&5"}, FieldRead::malformed},
      {{"x&5"}, FieldRead::malformed},
      {{"3&1", "-"}, FieldRead::malformed},
      {{"3&1", "1a"}, FieldRead::malformed},
      {{"3&1", "+1"}, FieldRead::malformed},
      {{"3&1234567890123456789"}, FieldRead::malformed},  // 19 digits
      {{"1&999999999999999999", "999999999999999999", "999999999999999999", "999999999999999999",
        "999999999999999999", "999999999999999999", "999999999999999999", "999999999999999999",
        "999999999999999999", "999999999999999999"},
       FieldRead::out_of_range},
  };
  for (const Case& c : cases) {
    Arc arc;
    std::int64_t value = 0;
    FieldRead read = FieldRead::missing;
    for (const char* field : c.fields) read = read_field(field, arc, value);
    EXPECT_EQ(read, c.last) << c.fields.back();
  }
}

TEST(CrinexValuesTest, TextDifferencesKeepBlankAndReplace) {
  struct Case {
    const char* text;
    const char* difference;
    const char* result;
  };
  const Case cases[] = {
      {"abc", " x", "axc"}, {"abc", "&", " bc"}, {"ab", "   d", "ab d"}, {"abc", "", "abc"}, {"", "&a", " a"},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    qcn::archive::detail::apply_text_difference(c.difference, text);
    EXPECT_EQ(text, c.result) << c.text << " + " << c.difference;
  }
}

TEST(CrinexValuesTest, NumbersAsTheDecompressionToolWritesThem) {
  struct Case {
    std::int64_t value;
    int decimals;
    int width;
    const char* text;
  };
  const Case cases[] = {
      {0, 3, 14, "          .000"},
      {-920, 3, 14, "         -.920"},
      {5, 3, 14, "          .005"},
      {-1000, 3, 14, "        -1.000"},
      {24482102132, 3, 14, "  24482102.132"},
      {-123456, 9, 12, " -.000123456"},
      {12, 12, 15, "  .000000000012"},
      {123456789012345678, 3, 14, "123456789012345.678"},
      {LLONG_MIN, 3, 14, "-9223372036854775.808"},
  };
  for (const Case& c : cases) {
    char text[qcn::archive::detail::kMaxScaledWidth];
    std::size_t size = qcn::archive::detail::format_scaled(c.value, c.decimals, c.width, text);
    EXPECT_EQ(std::string(text, size), c.text);
  }
}

// Header lines with the label in column 61.
std::string line(std::string content, const char* label) {
  content.resize(60, ' ');
  return content + label + "\n";
}

std::string header_v1(int types) {
  return line("1.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") +
         line("RNX2CRX ver.4.0.7                       01-Jan-21 00:00", "CRINEX PROG / DATE") +
         line("     2.11           OBSERVATION DATA    M (MIXED)", "RINEX VERSION / TYPE") +
         line("     " + std::to_string(types) + "    C1    L1    S1", "# / TYPES OF OBSERV") + line("", "END OF HEADER");
}

std::string header_v3(const std::string& types_lines) {
  return line("3.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") +
         line("RNX2CRX ver.4.0.7                       01-Jan-21 00:00", "CRINEX PROG / DATE") +
         line("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE") + types_lines + line("", "END OF HEADER");
}

const std::string kTypesGR = line("G    2 C1C S1C", "SYS / # / OBS TYPES") + line("R    1 S1C", "SYS / # / OBS TYPES");

// The text after the RINEX header of a decoded input.
std::string records_of(const Decoded& decoded) {
  std::string_view text = decoded.bytes.view();
  std::size_t end = text.find("END OF HEADER\n");
  return end == std::string_view::npos ? "" : std::string(text.substr(end + 14));
}

TEST(CrinexDecoderTest, Version1EpochsWrapTwelveSatellitesWithTheClockOnTheFirstLine) {
  std::string sats;
  for (int i = 1; i <= 13; ++i) sats += (i < 10 ? "G0" : "G") + std::to_string(i);
  std::string input = header_v1(3) + "&21  1  1  0  0  0.0000000  0 13" + sats + "\n3&-123456\n";
  for (int i = 1; i <= 13; ++i) input += "3&" + std::to_string(20000000000 + i) + " 3&-5 3&45250 1 5\n";
  Decoded decoded = qcn::archive::decode_crinex(input, kLimit);
  ASSERT_TRUE(decoded.ok()) << decoded.failure.problem;
  // Twelve satellites fill columns 33 to 68; the clock offset takes 69 to 80.
  std::string expected = " 21  1  1  0  0  0.0000000  0 13" + sats.substr(0, 36) + " -.000123456\n" +
                         std::string(32, ' ') + "G13\n";
  for (int i = 1; i <= 13; ++i) {
    // The flags' text "1 5": LLI 1 of C1, no SSI, LLI 5 of L1.
    expected += std::string("  20000000.0") + (i < 10 ? "0" : "") + std::to_string(i) + "1          -.0055         45.250\n";
  }
  EXPECT_EQ(records_of(decoded), expected);
}

TEST(CrinexDecoderTest, Version3SatellitesKeepTheirArcsWhileTheyStay) {
  const std::string input = header_v3(kTypesGR) +
                            "> 2021 01 01 00 00  0.0000000  0  2      G01R02\n"
                            "\n"
                            "3&20000000000 3&45000 &5&6\n"
                            "3&30000\n"
                            // R02 leaves, G05 comes: its values start again; the epoch line
                            // differs in the seconds and the second satellite.
                            "                   3                        G05\n"
                            "3&12\n"
                            "1000 250\n"
                            "3&21000000000 3&40000 &7\n";
  Decoded decoded = qcn::archive::decode_crinex(input, kLimit);
  ASSERT_TRUE(decoded.ok()) << decoded.failure.problem;
  EXPECT_EQ(records_of(decoded),
            "> 2021 01 01 00 00  0.0000000  0  2\n"
            "G01  20000000.000 5        45.000 6\n"
            "R02        30.000\n"
            "> 2021 01 01 00 00 30.0000000  0  2        .000000000012\n"
            "G01  20000001.000 5        45.250 6\n"
            "G05  21000000.000 7        40.000\n");
  // A satellite that was not in the epoch before cannot continue an arc.
  std::string returning = input + "                  1                         R02\n\n10 0\n-1\n";
  Decoded broken = qcn::archive::decode_crinex(returning, kLimit);
  EXPECT_EQ(broken.failure.problem, "difference without a starting value for R02 at line 18");
}

TEST(CrinexDecoderTest, MissingValuesHaveNoFlags) {
  const std::string input = header_v3(kTypesGR) +
                            "> 2021 01 01 00 00  0.0000000  0  1      G01\n\n"
                            "3&20000000000 3&45000 1516\n"
                            "                   3\n\n"
                            " 250\n";  // C1C missing: its flags "15" stay in the flags' text
  Decoded decoded = qcn::archive::decode_crinex(input, kLimit);
  ASSERT_TRUE(decoded.ok()) << decoded.failure.problem;
  EXPECT_EQ(records_of(decoded),
            "> 2021 01 01 00 00  0.0000000  0  1\n"
            "G01  20000000.00015        45.00016\n"
            "> 2021 01 01 00 00 30.0000000  0  1\n"
            "G01                        45.25016\n");
}

TEST(CrinexDecoderTest, EventRecordsAreCopiedAndMayChangeTheObservationTypes) {
  const std::string input = header_v3(kTypesGR) +
                            "> 2021 01 01 00 00  0.0000000  0  1      G01\n\n3&20000000000 3&45000\n" +
                            ">                              4  2\n" + line("NEW TYPES", "COMMENT") +
                            line("G    1 S1C", "SYS / # / OBS TYPES") +
                            "> 2021 01 01 00 00 30.0000000  0  1      G01\n\n3&44000\n";
  Decoded decoded = qcn::archive::decode_crinex(input, kLimit);
  ASSERT_TRUE(decoded.ok()) << decoded.failure.problem;
  EXPECT_EQ(records_of(decoded),
            "> 2021 01 01 00 00  0.0000000  0  1\n"
            "G01  20000000.000          45.000\n"
            ">                              4  2\n" + line("NEW TYPES", "COMMENT") +
            line("G    1 S1C", "SYS / # / OBS TYPES") +
            "> 2021 01 01 00 00 30.0000000  0  1\n"
            "G01        44.000\n");
}

TEST(CrinexDecoderTest, LineEndsWithCarriageReturnsDecodeAlike) {
  const std::string input = header_v3(kTypesGR) + "> 2021 01 01 00 00  0.0000000  0  1      R09\n\n3&41000\n";
  std::string with_cr;
  for (char c : input) with_cr += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Decoded lf = qcn::archive::decode_crinex(input, kLimit);
  Decoded crlf = qcn::archive::decode_crinex(with_cr, kLimit);
  ASSERT_TRUE(lf.ok() && crlf.ok());
  EXPECT_EQ(lf.bytes.view(), crlf.bytes.view());
}

TEST(CrinexDecoderTest, ProblemsNameTheirLine) {
  const std::string epoch = "> 2021 01 01 00 00  0.0000000  0  1      G01\n\n3&20000000000 3&45000\n";
  struct Case {
    std::string input;
    FailureKind kind;
    const char* problem;
  };
  const Case cases[] = {
      {line("2.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE"), FailureKind::corrupt,
       "version 2.0 (1.0 and 3.0 are read)"},
      {header_v3(kTypesGR).substr(0, 250), FailureKind::corrupt, "no END OF HEADER line"},
      {header_v3(kTypesGR) + "                   3\n", FailureKind::corrupt,
       "epoch line differs from no earlier epoch line at line 7"},
      {header_v3(kTypesGR) + "> 2021 01 01 00 00  0.0000000  0 x1      G01\n", FailureKind::corrupt,
       "unreadable satellite count at line 7"},
      {header_v3(kTypesGR) + "> 2021 01 01 00 00  0.0000000  0  2      G01\n", FailureKind::corrupt,
       "epoch line lists fewer satellites than it counts at line 7"},
      {header_v3(kTypesGR) + "> 2021 01 01 00 00  0.0000000  0  1      E01\n", FailureKind::corrupt,
       "satellite E01 of a system without observation types at line 7"},
      {header_v3(kTypesGR) + "> 2021 01 01 00 00  0.0000000  0  1      G01\n\n", FailureKind::corrupt,
       "unexpected end of data at line 8"},
      {header_v3(kTypesGR) + epoch.substr(0, epoch.size() - 3), FailureKind::corrupt,
       "unexpected end of data at line 9"},
      {header_v3(kTypesGR) + "> 2021 01 01 00 00  0.0000000  0  1      G01\nx\n", FailureKind::corrupt,
       "unreadable clock offset at line 8"},
      {header_v3(kTypesGR) + "> 2021 01 01 00 00  0.0000000  0  1      G01\n\n3&2x 3&45000\n", FailureKind::corrupt,
       "unreadable value of G01 at line 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    Decoded decoded = qcn::archive::decode_crinex(c.input, kLimit);
    EXPECT_EQ(decoded.failure.kind, c.kind);
    EXPECT_EQ(decoded.failure.problem, c.problem);
  }
}

}  // namespace
