// Fourteen-column observation fields read a word at a time.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "rinex/column_field.hpp"

namespace {

namespace column_field = qcn::rinex::column_field;
using column_field::Shape;

// Every way of reading a field this build has: the word-wise one, the SSE2 one, and read().
using Reader = Shape (*)(const char*, std::uint64_t&, bool&);
struct NamedReader {
  const char* name;
  Reader read;
};
const NamedReader kReaders[] = {
    {"read", column_field::read},
    {"read_words", column_field::detail::read_words},
#if defined(__SSE2__)
    {"read_sse2", column_field::detail::read_sse2},
#endif
};

std::uint64_t word_with(unsigned char byte, int lane) {
  std::uint64_t word = 0x2020202020202020;  // spaces elsewhere
  word &= ~(std::uint64_t{0xFF} << (8 * lane));
  return word | std::uint64_t{byte} << (8 * lane);
}

TEST(ColumnFieldTest, EveryByteValueIsClassifiedInEveryLane) {
  for (int lane = 0; lane < 8; ++lane) {
    for (unsigned value = 0; value < 256; ++value) {
      SCOPED_TRACE(testing::Message() << "lane " << lane << " byte " << value);
      const std::uint64_t word = word_with(static_cast<unsigned char>(value), lane);
      const std::uint64_t flag = std::uint64_t{0x80} << (8 * lane);
      const bool digit = value >= '0' && value <= '9';
      const std::uint64_t other_lanes_spaces = 0x8080808080808080 & ~flag;
      EXPECT_EQ(column_field::detail::digit_bytes(word), digit ? flag : 0);
      EXPECT_EQ(column_field::detail::space_bytes(word), other_lanes_spaces | (value == ' ' ? flag : 0));
    }
  }
}

TEST(ColumnFieldTest, EightDigitsCombineMostSignificantFirst) {
  static constexpr std::string_view kCases[] = {"00000000", "00000001", "10000000", "12345678",
                                               "87654321", "99999999", "09090909", "90909090"};
  for (std::string_view digits : kCases) {
    SCOPED_TRACE(digits);
    std::uint64_t values = 0;
    std::uint64_t expected = 0;
    for (int i = 0; i < 8; ++i) {
      values |= std::uint64_t(digits[i] - '0') << (8 * i);
      expected = expected * 10 + std::uint64_t(digits[i] - '0');
    }
    EXPECT_EQ(column_field::detail::eight_digits(values), expected);
  }
}

TEST(ColumnFieldTest, ReadsTheCommonShapeAndLeavesTheRest) {
  struct Case {
    std::string_view field;
    Shape shape;
    std::uint64_t mantissa;
    bool negative;
  };
  static constexpr Case kCases[] = {
      {"              ", Shape::blank, 0, false},
      {"  20971438.123", Shape::fixed_3, 20971438123, false},
      {"9999999999.999", Shape::fixed_3, 9999999999999, false},
      {"0000000000.000", Shape::fixed_3, 0, false},
      {"1000000000.000", Shape::fixed_3, 1000000000000, false},
      {"        10.000", Shape::fixed_3, 10000, false},
      {"         1.000", Shape::fixed_3, 1000, false},
      {"         0.001", Shape::fixed_3, 1, false},
      {"        -0.000", Shape::fixed_3, 0, true},
      {"        -5.250", Shape::fixed_3, 5250, true},
      {"       -45.250", Shape::fixed_3, 45250, true},
      {"-123456789.012", Shape::fixed_3, 123456789012, true},
      {"+123456789.012", Shape::fixed_3, 123456789012, false},
      {"        +5.250", Shape::fixed_3, 5250, false},
      // Left to the column-by-column reading, which knows these shapes or refuses them.
      {"          .125", Shape::other, 0, false},
      {"         -.125", Shape::other, 0, false},
      {"       45.2500", Shape::other, 0, false},
      {"      45.250  ", Shape::other, 0, false},
      {"\t       45.250", Shape::other, 0, false},
      {"   1 345678.90", Shape::other, 0, false},
      {"  123 5678.901", Shape::other, 0, false},
      {"  12345678 .90", Shape::other, 0, false},
      {"  1234567 9.12", Shape::other, 0, false},
      {"  12345678.9 1", Shape::other, 0, false},
      {"- 12345678.901", Shape::other, 0, false},
      {"--12345678.901", Shape::other, 0, false},
      {"-+12345678.901", Shape::other, 0, false},
      {"  1234-678.901", Shape::other, 0, false},
      {"        5-.250", Shape::other, 0, false},
      {"       *45.250", Shape::other, 0, false},
      {"       /45.250", Shape::other, 0, false},
      {"       :45.250", Shape::other, 0, false},
      {"        \xb4" "5.250", Shape::other, 0, false},
      {"        45.\xb2" "50", Shape::other, 0, false},
      {"        45,250", Shape::other, 0, false},
      {"      1.25e+01", Shape::other, 0, false},
      {"             -", Shape::other, 0, false},
      {"          .   ", Shape::other, 0, false},
      {"\t\t\t\t\t\t\t\t\t\t\t\t\t\t", Shape::other, 0, false},
      {"             \t", Shape::other, 0, false},
  };
  for (const NamedReader& reader : kReaders) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(testing::Message() << reader.name << " '" << c.field << "'");
      ASSERT_EQ(c.field.size(), column_field::kWidth);
      std::uint64_t mantissa = 77;
      bool negative = false;
      EXPECT_EQ(reader.read(c.field.data(), mantissa, negative), c.shape);
      if (c.shape != Shape::fixed_3) continue;
      EXPECT_EQ(mantissa, c.mantissa);
      EXPECT_EQ(negative, c.negative);
    }
  }
}

// Every place of the sign and every count of whole digits, each digit value in each column.
TEST(ColumnFieldTest, EveryWholeDigitCountAndSignPlace) {
  for (int whole = 1; whole <= 10; ++whole) {
    for (int digit = 0; digit <= 9; ++digit) {
      for (std::string_view sign : {"", "-", "+"}) {
        if (whole == 10 && !sign.empty()) continue;
        std::string number(sign);
        std::uint64_t expected = 0;
        for (int i = 0; i < whole + 3; ++i) {
          const int d = (digit + i) % 10;
          if (i == whole) number += '.';
          number += static_cast<char>('0' + d);
          expected = expected * 10 + static_cast<std::uint64_t>(d);
        }
        const std::string field = std::string(column_field::kWidth - number.size(), ' ') + number;
        for (const NamedReader& reader : kReaders) {
          SCOPED_TRACE(testing::Message() << reader.name << " '" << field << "'");
          std::uint64_t mantissa = 0;
          bool negative = false;
          ASSERT_EQ(reader.read(field.data(), mantissa, negative), Shape::fixed_3);
          EXPECT_EQ(mantissa, expected);
          EXPECT_EQ(negative, sign == "-");
        }
      }
    }
  }
}

}  // namespace
