// Number reading for fixed-column fields.
#include "rinex/text.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

namespace qcn::rinex {
namespace {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr std::array<double, 23> kPowersOfTen = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr std::uint64_t kExactMantissa = std::uint64_t{1} << 53;

// Shape of a decimal literal, found in one scan.
struct FloatShape {
  bool valid = false;
  bool negative = false;
  bool has_exponent = false;
  std::size_t body = 0;  // offset after the sign
  int int_digits = 0;    // significant digits before the point (leading zeros dropped)
  int fraction_zeros = 0;  // without int_digits: zeros after the point before the first other digit
};

FloatShape scan_float(std::string_view s) {
  FloatShape shape;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    shape.negative = s[i] == '-';
    ++i;
  }
  shape.body = i;
  int digits = 0;
  bool leading = true;
  while (i < s.size() && is_digit(s[i])) {
    if (s[i] != '0') leading = false;
    if (!leading) ++shape.int_digits;
    ++digits;
    ++i;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && is_digit(s[i])) {
      if (s[i] != '0') leading = false;
      if (leading) ++shape.fraction_zeros;
      ++digits;
      ++i;
    }
  }
  if (digits == 0) return shape;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exp_begin = i;
    while (i < s.size() && is_digit(s[i])) ++i;
    if (i == exp_begin) return shape;
    shape.has_exponent = true;
  }
  shape.valid = i == s.size();
  return shape;
}

// Plain decimals of at most 2^53 in their digits and at most 22 decimals are exact in one division.
std::optional<double> fast_decimal(std::string_view s, const FloatShape& shape) {
  std::uint64_t mantissa = 0;
  int decimals = 0;
  bool after_point = false;
  for (std::size_t i = shape.body; i < s.size(); ++i) {
    char c = s[i];
    if (c == '.') {
      after_point = true;
      continue;
    }
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
    if (mantissa > kExactMantissa) return std::nullopt;
    if (after_point) ++decimals;
  }
  if (decimals >= static_cast<int>(kPowersOfTen.size())) return std::nullopt;
  double value = static_cast<double>(mantissa) / kPowersOfTen[static_cast<std::size_t>(decimals)];
  return shape.negative ? -value : value;
}

std::optional<double> slow_decimal(std::string_view s, const FloatShape& shape) {
  // from_chars takes no '+', so start after it.
  std::string_view text = s;
  if (!s.empty() && s[0] == '+') text.remove_prefix(1);
  double value = 0.0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value,
                                   std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Decide between overflow and underflow from the decimal magnitude.
    long exponent = 0;
    std::size_t e = text.find_first_of("eE");
    if (e != std::string_view::npos) {
      auto exp_text = text.substr(e + 1);
      if (!exp_text.empty() && exp_text[0] == '+') exp_text.remove_prefix(1);
      auto [p, ec2] = std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);
      if (ec2 == std::errc::result_out_of_range) exponent = exp_text[0] == '-' ? -100000 : 100000;
    }
    // The first significant digit stands at 10^(magnitude - 1).
    long magnitude = shape.int_digits > 0 ? shape.int_digits : -shape.fraction_zeros;
    bool overflow = magnitude + exponent > 0;
    value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
    return shape.negative ? -value : value;
  }
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string_view int_error_text(IntError error) {
  switch (error) {
    case IntError::none:
      return "";
    case IntError::empty:
      return "cannot parse integer from empty string";
    case IntError::invalid_digit:
      return "invalid digit found in string";
    case IntError::too_large:
      return "number too large to fit in target type";
    case IntError::too_small:
      return "number too small to fit in target type";
  }
  return "";
}

IntRead<std::uint64_t> read_unsigned(std::string_view s, std::uint64_t max) {
  IntRead<std::uint64_t> r;
  if (s.empty()) {
    r.error = IntError::empty;
    return r;
  }
  std::size_t i = s[0] == '+' ? 1 : 0;
  if (i == s.size()) {
    r.error = IntError::invalid_digit;
    return r;
  }
  std::uint64_t value = 0;
  bool overflow = false;
  for (; i < s.size(); ++i) {
    if (!is_digit(s[i])) {
      r.error = IntError::invalid_digit;
      return r;
    }
    auto digit = static_cast<std::uint64_t>(s[i] - '0');
    if (value > (max - digit) / 10) overflow = true;
    if (!overflow) value = value * 10 + digit;
  }
  if (overflow) {
    r.error = IntError::too_large;
    return r;
  }
  r.value = value;
  return r;
}

IntRead<std::int64_t> read_signed(std::string_view s, std::int64_t min, std::int64_t max) {
  IntRead<std::int64_t> r;
  if (s.empty()) {
    r.error = IntError::empty;
    return r;
  }
  bool negative = s[0] == '-';
  std::string_view digits = (s[0] == '-' || s[0] == '+') ? s.substr(1) : s;
  if (digits.empty() || digits[0] == '+') {
    r.error = IntError::invalid_digit;
    return r;
  }
  auto limit = negative ? static_cast<std::uint64_t>(-(min + 1)) + 1 : static_cast<std::uint64_t>(max);
  auto magnitude = read_unsigned(digits, limit);
  if (!magnitude) {
    r.error = magnitude.error == IntError::too_large && negative ? IntError::too_small : magnitude.error;
    return r;
  }
  r.value = negative ? static_cast<std::int64_t>(0 - magnitude.value) : static_cast<std::int64_t>(magnitude.value);
  return r;
}

std::optional<double> parse_float(std::string_view s) {
  FloatShape shape = scan_float(s);
  if (!shape.valid) return std::nullopt;
  if (!shape.has_exponent) {
    if (auto fast = fast_decimal(s, shape)) return fast;
  }
  return slow_decimal(s, shape);
}

std::optional<double> parse_fortran_float(std::string_view s) {
  // Fields are a few dozen characters; longer text takes a heap copy.
  if (s.find_first_of("Dd") == std::string_view::npos) return parse_float(s);
  std::array<char, 64> small{};
  std::string large;
  char* buffer = small.data();
  if (s.size() > small.size()) {
    large.resize(s.size());
    buffer = large.data();
  }
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == 'D') c = 'E';
    if (c == 'd') c = 'e';
    buffer[i] = c;
  }
  return parse_float(std::string_view(buffer, s.size()));
}

std::string to_ascii_text(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return out;
}

}  // namespace qcn::rinex

namespace qcn::rinex {

std::string fixed_text(double value, int decimals) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[512];
  int n = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  if (n < 0) return "";
  if (static_cast<std::size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(n));
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), "%.*f", decimals, value);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

}  // namespace qcn::rinex
