// Column extraction, line splitting and number reading of fixed-column text.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "rinex/text.hpp"

namespace {

using namespace std::string_view_literals;
using qcn::rinex::IntError;

TEST(TextTest, FieldClampsToTheLine) {
  struct Case {
    std::string_view line;
    std::size_t col, width;
    std::string_view expected;
  };
  static constexpr Case kCases[] = {
      {"abcdef", 0, 3, "abc"},  {"abcdef", 2, 3, "cde"}, {"abcdef", 4, 10, "ef"},
      {"abcdef", 6, 1, ""},     {"abcdef", 60, 20, ""},  {"", 0, 9, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.line << " @" << c.col << "+" << c.width);
    EXPECT_EQ(qcn::rinex::field(c.line, c.col, c.width), c.expected);
  }
  EXPECT_EQ(qcn::rinex::rest("abcdef", 3), "def");
  EXPECT_EQ(qcn::rinex::rest("abc", 3), "");
}

TEST(TextTest, TrimRemovesAsciiWhiteSpaceOnly) {
  EXPECT_EQ(qcn::rinex::trim(" \t\v\f\r\n x y \r\n"), "x y");
  EXPECT_EQ(qcn::rinex::trim("   "), "");
  // NUL and bytes of 0x80 and above are not white space.
  EXPECT_EQ(qcn::rinex::trim("\0a\0"sv), "\0a\0"sv);
  EXPECT_EQ(qcn::rinex::trim("\xa0x\xa0"), "\xa0x\xa0");
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  qcn::rinex::LineCursor cursor(text);
  while (!cursor.at_end()) {
    std::string_view peeked = cursor.peek();
    std::string_view line = cursor.next();
    EXPECT_EQ(peeked, line);
    lines.emplace_back(line);
  }
  EXPECT_EQ(cursor.remaining(), 0u);
  return lines;
}

TEST(TextTest, LineCursorSplitsAtLineFeeds) {
  struct Case {
    std::string_view text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"\n", {""}},
      {"\n\n", {"", ""}},
      {"\r\n", {""}},
      // Only one CR directly before the LF goes; a lone CR stays part of the line.
      {"a\r\r\n", {"a\r"}},
      {"a\rb\n", {"a\rb"}},
      {"a\r", {"a\r"}},
      {"x\0y\n"sv, {std::string("x\0y", 3)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "text of " << c.text.size() << " bytes");
    EXPECT_EQ(lines_of(c.text), c.lines);
  }
}

TEST(TextTest, LineCursorCopiesKeepTheirPosition) {
  qcn::rinex::LineCursor cursor("one\ntwo\nthree"sv);
  cursor.skip();
  qcn::rinex::LineCursor copy = cursor;
  EXPECT_EQ(copy.next(), "two");
  EXPECT_EQ(cursor.remaining(), 9u);
  EXPECT_EQ(cursor.next(), "two");
  EXPECT_EQ(cursor.next(), "three");
  EXPECT_TRUE(cursor.at_end());
  EXPECT_EQ(cursor.next(), "");
}

TEST(TextTest, WordsSplitAtWhiteSpace) {
  qcn::rinex::Words words(" \tG01  R02\r\nE03 "sv);
  std::vector<std::string> got;
  while (auto w = words.next()) got.emplace_back(*w);
  EXPECT_EQ(got, (std::vector<std::string>{"G01", "R02", "E03"}));
  qcn::rinex::Words blank("   "sv);
  EXPECT_FALSE(blank.next().has_value());
}

TEST(TextTest, ReadUnsignedTakesTheWholeField) {
  struct Case {
    std::string_view text;
    std::uint64_t max;
    std::uint64_t value;
    IntError error;
  };
  static constexpr Case kCases[] = {
      {"0", 255, 0, IntError::none},
      {"+7", 255, 7, IntError::none},
      {"007", 255, 7, IntError::none},
      {"255", 255, 255, IntError::none},
      {"256", 255, 0, IntError::too_large},
      {"4294967295", UINT32_MAX, UINT32_MAX, IntError::none},
      {"4294967296", UINT32_MAX, 0, IntError::too_large},
      {"18446744073709551615", UINT64_MAX, UINT64_MAX, IntError::none},
      {"18446744073709551616", UINT64_MAX, 0, IntError::too_large},
      {"99999999999999999999999", UINT64_MAX, 0, IntError::too_large},
      {"", 255, 0, IntError::empty},
      {"+", 255, 0, IntError::invalid_digit},
      {"-1", 255, 0, IntError::invalid_digit},
      {"++1", 255, 0, IntError::invalid_digit},
      {" 1", 255, 0, IntError::invalid_digit},
      {"1 ", 255, 0, IntError::invalid_digit},
      {"1x", 255, 0, IntError::invalid_digit},
      {"1.0", 255, 0, IntError::invalid_digit},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    auto r = qcn::rinex::read_unsigned(c.text, c.max);
    EXPECT_EQ(r.error, c.error);
    if (c.error == IntError::none) {
      EXPECT_EQ(r.value, c.value);
    }
  }
}

TEST(TextTest, ReadSignedTakesOneSign) {
  struct Case {
    std::string_view text;
    std::int64_t value;
    IntError error;
  };
  static constexpr Case kCases[] = {
      {"-4", -4, IntError::none},
      {"+4", 4, IntError::none},
      {"-0", 0, IntError::none},
      {"2147483647", INT32_MAX, IntError::none},
      {"-2147483648", INT32_MIN, IntError::none},
      {"2147483648", 0, IntError::too_large},
      {"-2147483649", 0, IntError::too_small},
      {"-99999999999999999999", 0, IntError::too_small},
      {"", 0, IntError::empty},
      {"-", 0, IntError::invalid_digit},
      {"+-1", 0, IntError::invalid_digit},
      {"-+1", 0, IntError::invalid_digit},
      {"--1", 0, IntError::invalid_digit},
      {"4-", 0, IntError::invalid_digit},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    auto r = qcn::rinex::read_signed(c.text, INT32_MIN, INT32_MAX);
    EXPECT_EQ(r.error, c.error);
    if (c.error == IntError::none) {
      EXPECT_EQ(r.value, c.value);
    }
  }
  EXPECT_EQ(qcn::rinex::parse_i32("-2147483648"), INT32_MIN);
  EXPECT_EQ(qcn::rinex::parse_u8("256"), std::nullopt);
  EXPECT_EQ(qcn::rinex::parse_u32("+4294967295"), UINT32_MAX);
}

TEST(TextTest, IntegerErrorsHaveTheirReasonTexts) {
  EXPECT_EQ(qcn::rinex::int_error_text(IntError::invalid_digit), "invalid digit found in string");
  EXPECT_EQ(qcn::rinex::int_error_text(IntError::too_large), "number too large to fit in target type");
  EXPECT_EQ(qcn::rinex::int_error_text(IntError::too_small), "number too small to fit in target type");
  EXPECT_EQ(qcn::rinex::int_error_text(IntError::empty), "cannot parse integer from empty string");
}

// Expected values are C++ literals, which the compiler rounds correctly.
TEST(TextTest, ParseFloatReadsDecimalLiterals) {
  struct Case {
    std::string_view text;
    double value;
  };
  static constexpr Case kCases[] = {
      {"45.250", 45.25},
      {"+1.5", 1.5},
      {"-0.125", -0.125},
      {".5", 0.5},
      {"5.", 5.0},
      {"0.1", 0.1},
      {"123456.789", 123456.789},
      {"-21471905.070", -21471905.070},
      {"112835681.821", 112835681.821},
      {"1e3", 1000.0},
      {"1E-3", 0.001},
      {"2.5e+2", 250.0},
      {"0000000000000000000000000000012.5", 12.5},
      {"9007199254740993", 9007199254740993.0},  // beyond 2^53: needs correct rounding
      {"0.12345678901234567890123456789", 0.12345678901234567890123456789},
      {"1.7976931348623157e308", 1.7976931348623157e308},
      {"4.9e-324", 4.9e-324},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    auto v = qcn::rinex::parse_float(c.text);
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(*v, c.value);
  }
}

TEST(TextTest, FixedPointFieldsReadAsParseFloatDoes) {
  using qcn::rinex::FieldRead;
  struct Case {
    std::string_view field;
    FieldRead outcome;
  };
  static constexpr Case kCases[] = {
      {"              ", FieldRead::blank},    {"", FieldRead::blank},
      {"        45.250", FieldRead::value},    {"  -21471905.070", FieldRead::value},
      {"         0.000", FieldRead::zero},     {"        -0.000", FieldRead::zero},
      {"             0", FieldRead::zero},     {"         .5   ", FieldRead::value},
      {"      1.25e+01", FieldRead::other},    {"  1234567890123456", FieldRead::other},
      {"         4x.00", FieldRead::other},    {"           -  ", FieldRead::other},
      // Fourteen columns with the point in column 10, read a word at a time, against the others.
      {"  20971438.123", FieldRead::value},    {"112835681.8210", FieldRead::value},
      {"9999999999.999", FieldRead::value},    {"0000000000.000", FieldRead::zero},
      {"-999999999.999", FieldRead::value},    {"+999999999.999", FieldRead::value},
      {"         7.250", FieldRead::value},    {"        -7.250", FieldRead::value},
      {"        +7.250", FieldRead::value},    {"     -1234.567", FieldRead::value},
      {"        -0.000", FieldRead::zero},     {"         0.001", FieldRead::value},
      {"          .125", FieldRead::value},    {"         -.125", FieldRead::value},
      {"\t       45.250", FieldRead::value},   {"       45.250 ", FieldRead::value},
      {"  1234 678.123", FieldRead::other},    {" -   12345.678", FieldRead::other},
      {"     - 123.456", FieldRead::other},    {"     --123.456", FieldRead::other},
      {"     +-123.456", FieldRead::other},    {"      123-.456", FieldRead::other},
      {"     12345.6 8", FieldRead::other},    {"     12345.67 ", FieldRead::value},
      {"     12345.67x", FieldRead::other},    {"     1234:.678", FieldRead::other},
      {"     1234/.678", FieldRead::other},    {"      \xb1" "234.567", FieldRead::other},
      {"      1234.\xb5" "67", FieldRead::other},  {"\xb0\xb0\xb0\xb0\xb0\xb0\xb0\xb0\xb0\xb0.\xb0\xb0\xb0", FieldRead::other},
      {"        1.25e3", FieldRead::other},    {"             .", FieldRead::other},
      {"\t\t\t\t\t\t\t\t\t\t\t\t\t\t", FieldRead::blank},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.field);
    double value = -1.0;
    const FieldRead outcome = qcn::rinex::read_fixed_point(c.field, value);
    EXPECT_EQ(outcome, c.outcome);
    // Reading for presence alone agrees with reading the value.
    const auto parsed = qcn::rinex::parse_float(qcn::rinex::trim(c.field));
    EXPECT_EQ(qcn::rinex::has_nonzero_value(c.field), parsed.has_value() && *parsed != 0.0);
    if (outcome != FieldRead::value && outcome != FieldRead::zero) continue;
    auto expected = qcn::rinex::parse_float(qcn::rinex::trim(c.field));
    ASSERT_TRUE(expected.has_value());
    EXPECT_EQ(std::signbit(value), std::signbit(*expected));
    EXPECT_EQ(value, *expected);
  }
}

// Every count of decimals, digits and sign, in fields as wide as RINEX writes them and wider,
// against the standard library's correctly rounded reading of the same text.
TEST(TextTest, FixedPointFieldsOfEveryShapeReadAsFromCharsDoes) {
  using qcn::rinex::FieldRead;
  static constexpr std::string_view kDigitPatterns[] = {"98765432109876543210987", "00000000000000000000001",
                                                       "99999999999999999999999", "00000000000000000000000",
                                                       "10000000000000000000000", "31415926535897932384626"};
  static constexpr std::string_view kSigns[] = {"", "-", "+"};
  int fixed_point_reads = 0;
  for (std::string_view digits : kDigitPatterns) {
    for (std::size_t decimals = 0; decimals <= 22; ++decimals) {
      for (std::size_t whole = 0; whole <= 10; ++whole) {
        if (whole + decimals == 0 || whole + decimals > digits.size()) continue;
        for (std::string_view sign : kSigns) {
          std::string number(sign);
          number += digits.substr(0, whole);
          if (decimals > 0) {
            number += '.';
            number += digits.substr(whole, decimals);
          }
          const std::size_t widths[] = {number.size(), 14, 16};
          for (std::size_t width : widths) {
            if (width < number.size()) continue;
            const std::string field = std::string(width - number.size(), ' ') + number;
            SCOPED_TRACE(field);
            double value = -1.0;
            const FieldRead outcome = qcn::rinex::read_fixed_point(field, value);
            const bool nonzero = digits.substr(0, whole + decimals).find_first_not_of('0') != std::string_view::npos;
            EXPECT_EQ(qcn::rinex::has_nonzero_value(field), nonzero);
            if (whole + decimals > 15) {
              EXPECT_EQ(outcome, FieldRead::other);
              continue;
            }
            std::string_view text = number;
            if (text.front() == '+') text.remove_prefix(1);
            double expected = 0.0;
            ASSERT_EQ(std::from_chars(text.data(), text.data() + text.size(), expected).ec, std::errc());
            EXPECT_EQ(outcome, expected == 0.0 ? FieldRead::zero : FieldRead::value);
            EXPECT_EQ(std::signbit(value), std::signbit(expected));
            EXPECT_EQ(value, expected);
            ++fixed_point_reads;
          }
        }
      }
    }
  }
  EXPECT_GT(fixed_point_reads, 1000);
}

TEST(TextTest, ParseFloatRefusesOtherText) {
  static constexpr std::string_view kCases[] = {
      "", ".", "+", "-", "e3", "1e", "1e+", "1.2.3", " 1", "1 ", "1,5", "0x10", "inf", "nan", "1D3", "--1", "1e3.5",
  };
  for (std::string_view text : kCases) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(qcn::rinex::parse_float(text).has_value());
  }
}

std::string joined(std::string_view a, std::string_view b, std::string_view c) {
  std::string out(a);
  out += b;
  out += c;
  return out;
}

TEST(TextTest, ParseFloatSaturatesOutOfRange) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::string text;
    double value;
  };
  const Case cases[] = {
      {"1e999", inf},
      {"-1e999", -inf},
      {"1e99999999999999999999", inf},
      {"1e-999", 0.0},
      {"-1e-99999999999999999999", -0.0},
      {std::string(400, '9'), inf},
      {joined("0.", std::string(400, '0'), "1"), 0.0},
      // The magnitude counts the zeros after the point: this is 1e-391.
      {joined("0.", std::string(400, '0'), "1e10"), 0.0},
      {"0.00001e312", 1e307},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    auto v = qcn::rinex::parse_float(c.text);
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(*v, c.value);
    EXPECT_EQ(std::signbit(*v), std::signbit(c.value));
  }
}

TEST(TextTest, FortranFloatReadsDExponents) {
  struct Case {
    std::string_view text;
    double value;
  };
  static constexpr Case kCases[] = {
      {"1.5D+03", 1500.0}, {"-2.0d-1", -0.2},         {"1.0E2", 100.0},
      {"7", 7.0},          {".123456789012D-04", .123456789012e-4},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    auto v = qcn::rinex::parse_fortran_float(c.text);
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(*v, c.value);
  }
  EXPECT_FALSE(qcn::rinex::parse_fortran_float("1.0DD2").has_value());
  EXPECT_FALSE(qcn::rinex::parse_fortran_float("D2").has_value());
  // parse_float itself knows no D.
  EXPECT_FALSE(qcn::rinex::parse_float("1.5D+03").has_value());
  // Long fields read as parse_float reads them.
  std::string long_field = joined("1.", std::string(80, '0'), "D+1");
  EXPECT_EQ(qcn::rinex::parse_fortran_float(long_field), 10.0);
  EXPECT_EQ(qcn::rinex::parse_fortran_float(joined("", std::string(70, '0'), "1.5")), 1.5);
}

TEST(TextTest, AsciiTextReplacesEachHighByte) {
  EXPECT_EQ(qcn::rinex::to_ascii_text("Z\xc3\xbcrich"), "Z??rich");
  EXPECT_EQ(qcn::rinex::to_ascii_text("\x7f\x80\xff"), "\x7f??");
  EXPECT_EQ(qcn::rinex::to_ascii_text("a\0b"sv), "a\0b"sv);
}

TEST(TextTest, FixedTextRoundsTheExactBinaryValue) {
  struct Case {
    double value;
    int decimals;
    std::string_view text;
  };
  static constexpr Case kCases[] = {
      {3.04, 2, "3.04"},
      {2.1, 2, "2.10"},
      {0.0, 2, "0.00"},
      {2.11, 2, "2.11"},
      {0.125, 2, "0.12"},  // exact tie: to even
      {0.375, 2, "0.38"},  // exact tie: to even
      {2.675, 2, "2.67"},  // the double is just below 2.675
      {-0.001, 2, "-0.00"},
      {1234.5, 0, "1234"},
      {1e21, 1, "1000000000000000000000.0"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(qcn::rinex::fixed_text(c.value, c.decimals), c.text);
  }
  EXPECT_EQ(qcn::rinex::fixed_text(std::nan(""), 2), "NaN");
  EXPECT_EQ(qcn::rinex::fixed_text(-std::numeric_limits<double>::infinity(), 2), "-inf");
  // Longer than any stack buffer: 309 integer digits and 300 decimals.
  std::string huge = qcn::rinex::fixed_text(1e308, 300);
  EXPECT_EQ(huge.size(), 309u + 1u + 300u);
  EXPECT_EQ(huge.substr(0, 4), "1000");
}

}  // namespace
