// Column, line and number reading for fixed-column text formats (RINEX, TLE).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "rinex/column_field.hpp"

namespace qcn::rinex {

/// True for the white space that RINEX fields are trimmed of: space, \t, \n, \v, \f, \r.
constexpr bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

/// The view without leading and trailing white space.
constexpr std::string_view trim(std::string_view s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && is_space(s[begin])) ++begin;
  while (end > begin && is_space(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

/// Columns [col, col + width) of a line, clamped to the line: a short line gives what exists,
/// a position past the end gives an empty view.
constexpr std::string_view field(std::string_view line, std::size_t col, std::size_t width) {
  if (col >= line.size()) return {};
  return line.substr(col, width);
}

/// Columns [col, end of line), empty when the line is shorter.
constexpr std::string_view rest(std::string_view line, std::size_t col) {
  if (col >= line.size()) return {};
  return line.substr(col);
}

/// Walks the lines of a text without copying: a line ends at '\n'; the '\n' and one '\r' before it
/// are dropped; text after the last '\n' is a last line when it is not empty.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text, std::size_t pos = 0) : text_(text), pos_(pos) {}
  LineCursor(std::string&&, std::size_t = 0) = delete;

  bool at_end() const { return pos_ >= text_.size(); }

  /// Offset of the current line in the text.
  std::size_t offset() const { return pos_; }

  /// The whole text the cursor walks.
  std::string_view text() const { return text_; }

  /// Bytes from the current line to the end of the text.
  std::size_t remaining() const { return pos_ >= text_.size() ? 0 : text_.size() - pos_; }

  /// The current line; the cursor stays where it is.
  std::string_view peek() const { return line_at(pos_, nullptr); }

  /// The current line; the cursor moves past it.
  std::string_view next() {
    std::size_t after = 0;
    std::string_view line = line_at(pos_, &after);
    pos_ = after;
    return line;
  }

  void skip() { (void)next(); }

 private:
  std::string_view line_at(std::size_t pos, std::size_t* after) const {
    if (pos >= text_.size()) {
      if (after) *after = text_.size();
      return {};
    }
    const char* begin = text_.data() + pos;
    const std::size_t left = text_.size() - pos;
    const void* nl = std::memchr(begin, '\n', left);
    std::size_t len = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - begin) : left;
    if (after) *after = pos + len + (nl ? 1 : 0);
    if (nl && len > 0 && begin[len - 1] == '\r') --len;
    return {begin, len};
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

/// Splits a view at white space, yielding the non-empty pieces in order.
class Words {
 public:
  explicit Words(std::string_view s) : s_(s) {}
  Words(std::string&&) = delete;

  /// The next piece, or nothing when the view is used up.
  std::optional<std::string_view> next() {
    while (pos_ < s_.size() && is_space(s_[pos_])) ++pos_;
    if (pos_ >= s_.size()) return std::nullopt;
    std::size_t begin = pos_;
    while (pos_ < s_.size() && !is_space(s_[pos_])) ++pos_;
    return s_.substr(begin, pos_ - begin);
  }

 private:
  std::string_view s_;
  std::size_t pos_ = 0;
};

/// Why an integer text did not read.
enum class IntError : std::uint8_t { none, empty, invalid_digit, too_large, too_small };

/// The reason text of an integer failure ("invalid digit found in string", ...).
std::string_view int_error_text(IntError error);

template <typename T>
struct IntRead {
  T value{};
  IntError error = IntError::none;
  explicit operator bool() const { return error == IntError::none; }
};

/// Reads the whole view as an unsigned decimal integer: an optional '+', then digits only.
IntRead<std::uint64_t> read_unsigned(std::string_view s, std::uint64_t max);

/// Reads the whole view as a signed decimal integer: an optional '+' or '-', then digits only.
IntRead<std::int64_t> read_signed(std::string_view s, std::int64_t min, std::int64_t max);

inline std::optional<std::uint32_t> parse_u32(std::string_view s) {
  auto r = read_unsigned(s, UINT32_MAX);
  if (!r) return std::nullopt;
  return static_cast<std::uint32_t>(r.value);
}

inline std::optional<std::uint8_t> parse_u8(std::string_view s) {
  auto r = read_unsigned(s, UINT8_MAX);
  if (!r) return std::nullopt;
  return static_cast<std::uint8_t>(r.value);
}

inline std::optional<std::int32_t> parse_i32(std::string_view s) {
  auto r = read_signed(s, INT32_MIN, INT32_MAX);
  if (!r) return std::nullopt;
  return static_cast<std::int32_t>(r.value);
}

/// Reads the whole view as a decimal floating-point number: optional sign, digits with an optional
/// point, optional e/E exponent. No surrounding white space, no words for infinity or NaN.
/// Values beyond the double range read as infinity, tiny ones as zero (correct rounding).
std::optional<double> parse_float(std::string_view s);

/// What a fixed-point field (such as "  20971438.1234") holds.
enum class FieldRead : std::uint8_t { blank, value, zero, other };

/// Reads a field of white space, an optional sign, digits with an optional point and white space,
/// the shape RINEX writes its values in, in one pass: the value is then parse_float(trim(field))
/// bit for bit (an exact integer mantissa divided by an exact power of ten). A field of any
/// other shape (exponents, more than 15 digits) gives `other`, and the caller reads it with
/// parse_float. A value of zero (of either sign) gives `zero`, told by its digits, so a caller
/// that drops zeros need not wait for the division. Fields of the common width are read a word
/// at a time first.
inline FieldRead read_fixed_point(std::string_view s, double& out) {
  if (s.size() == column_field::kWidth) {
    std::uint64_t mantissa = 0;
    bool negative = false;
    switch (column_field::read(s.data(), mantissa, negative)) {
      case column_field::Shape::blank:
        return FieldRead::blank;
      case column_field::Shape::fixed_3: {
        const double value = static_cast<double>(mantissa) / 1e3;
        out = negative ? -value : value;
        return mantissa == 0 ? FieldRead::zero : FieldRead::value;
      }
      case column_field::Shape::other:
        break;
    }
  }
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,
                                       1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  // Up to 15 digits the mantissa stays below 10^15 < 2^53, so no digit needs a check of its own.
  constexpr int kMaxDigits = 15;
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n && is_space(s[i])) ++i;
  if (i == n) return FieldRead::blank;
  bool negative = false;
  if (s[i] == '-' || s[i] == '+') negative = s[i++] == '-';
  std::uint64_t mantissa = 0;
  const std::size_t first_digit = i;
  while (i < n && static_cast<unsigned char>(s[i] - '0') < 10) mantissa = mantissa * 10 + static_cast<std::uint64_t>(s[i++] - '0');
  std::size_t digits = i - first_digit;
  std::size_t decimals = 0;
  if (i < n && s[i] == '.') {
    const std::size_t fraction = ++i;
    while (i < n && static_cast<unsigned char>(s[i] - '0') < 10) mantissa = mantissa * 10 + static_cast<std::uint64_t>(s[i++] - '0');
    decimals = i - fraction;
    digits += decimals;
  }
  while (i < n && is_space(s[i])) ++i;
  if (i != n || digits == 0 || digits > kMaxDigits) return FieldRead::other;
  const double value = static_cast<double>(mantissa) / kPowers[decimals];
  out = negative ? -value : value;
  return mantissa == 0 ? FieldRead::zero : FieldRead::value;
}

/// Whether a field holds a value that reads and is not zero, as read_fixed_point and parse_float
/// would find, without computing it.
inline bool has_nonzero_value(std::string_view s) {
  if (s.size() == column_field::kWidth) {
    std::uint64_t mantissa = 0;
    bool negative = false;
    switch (column_field::read(s.data(), mantissa, negative)) {
      case column_field::Shape::blank:
        return false;
      case column_field::Shape::fixed_3:
        return mantissa != 0;
      case column_field::Shape::other:
        break;
    }
  }
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n && is_space(s[i])) ++i;
  if (i == n) return false;
  const std::size_t sign = i;
  if (s[i] == '-' || s[i] == '+') ++i;
  bool digits = false;
  bool nonzero = false;
  bool point = false;
  for (; i < n; ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      nonzero = nonzero || c != '0';
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  while (i < n && is_space(s[i])) ++i;
  if (i == n) return digits && nonzero;
  // Any other shape (an exponent): read it as a whole.
  auto value = parse_float(trim(s.substr(sign)));
  return value && *value != 0.0;
}

/// parse_float of a field with Fortran exponents: 'D' and 'd' read as 'E' and 'e'.
std::optional<double> parse_fortran_float(std::string_view s);

/// Truncation toward zero, saturating at the 32-bit limits; NaN gives 0.
inline std::int32_t saturating_i32(double value) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
    return std::numeric_limits<std::int32_t>::min();
  }
  if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

/// Copies text that will outlive the input buffer, replacing every byte of 0x80 or above by '?'.
std::string to_ascii_text(std::string_view s);

}  // namespace qcn::rinex

namespace qcn::rinex {

/// Fixed-point text with `decimals` decimals, rounded to nearest with ties to even on the exact
/// value of the double (as printf does); NaN is "NaN", infinities "inf" and "-inf".
std::string fixed_text(double value, int decimals);

}  // namespace qcn::rinex
