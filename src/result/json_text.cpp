// JSON numbers and strings: shortest round-trip reals, escaped strings.
#include "result/json_text.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace qcn::result {

namespace {

// Shortest round-trip digits of a finite double: value = d1.d2...dn x 10^exponent.
struct Decimal {
  bool negative = false;
  std::array<char, 17> digits{};  // a double never needs more than 17
  int count = 0;
  int exponent = 0;
};

Decimal shortest_decimal(double value) {
  // to_chars without a precision gives the shortest round-trip form: "-1.2345e+300", "0e+00".
  char sci[32];
  const char* end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
  const char* p = sci;
  Decimal d;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  d.digits[d.count++] = *p++;
  if (*p == '.') {
    for (++p; *p != 'e'; ++p) d.digits[d.count++] = *p;
  }
  ++p;  // 'e'
  const bool negative_exponent = *p == '-';
  for (++p; p != end; ++p) d.exponent = d.exponent * 10 + (*p - '0');
  if (negative_exponent) d.exponent = -d.exponent;
  return d;
}

char* put_digits(char* out, const char* digits, int count) {
  for (int i = 0; i < count; ++i) *out++ = digits[i];
  return out;
}

char* put_zeros(char* out, int count) {
  for (int i = 0; i < count; ++i) *out++ = '0';
  return out;
}

// Positional layout of d; integral values get ".0" when with_point_zero is set.
char* put_positional(char* out, const Decimal& d, bool with_point_zero) {
  if (d.negative) *out++ = '-';
  if (d.count <= d.exponent + 1) {
    out = put_zeros(put_digits(out, d.digits.data(), d.count), d.exponent + 1 - d.count);
    if (with_point_zero) {
      *out++ = '.';
      *out++ = '0';
    }
  } else if (d.exponent < 0) {
    *out++ = '0';
    *out++ = '.';
    out = put_digits(put_zeros(out, -d.exponent - 1), d.digits.data(), d.count);
  } else {
    out = put_digits(out, d.digits.data(), d.exponent + 1);
    *out++ = '.';
    out = put_digits(out, d.digits.data() + d.exponent + 1, d.count - d.exponent - 1);
  }
  return out;
}

// 1e+16, 2.5e-7: the exponent always signed, never zero-padded.
char* put_scientific(char* out, const Decimal& d) {
  if (d.negative) *out++ = '-';
  *out++ = d.digits[0];
  if (d.count > 1) {
    *out++ = '.';
    out = put_digits(out, d.digits.data() + 1, d.count - 1);
  }
  *out++ = 'e';
  *out++ = d.exponent < 0 ? '-' : '+';
  return std::to_chars(out, out + 4, d.exponent < 0 ? -d.exponent : d.exponent).ptr;
}

// Bytes of a JSON string that cannot be copied as they are.
constexpr std::array<bool, 256> kNeedsEscape = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = true;
  table['"'] = true;
  table['\\'] = true;
  return table;
}();

char* put_escape(char* out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  *out++ = '\\';
  switch (c) {
    case '"': *out++ = '"'; return out;
    case '\\': *out++ = '\\'; return out;
    case '\b': *out++ = 'b'; return out;
    case '\t': *out++ = 't'; return out;
    case '\n': *out++ = 'n'; return out;
    case '\f': *out++ = 'f'; return out;
    case '\r': *out++ = 'r'; return out;
    default:
      *out++ = 'u';
      *out++ = '0';
      *out++ = '0';
      *out++ = kHex[c >> 4];
      *out++ = kHex[c & 0xF];
      return out;
  }
}

// Whether any byte of the word is below 0x20, a quote or a backslash: each test sets the high bit
// of the bytes it finds (bytes of 0x80 and above never match, their high bit is masked out).
constexpr bool word_needs_escape(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  const std::uint64_t below_space = (word - kOnes * 0x20) & ~word;
  const std::uint64_t quote = word ^ (kOnes * '"');
  const std::uint64_t backslash = word ^ (kOnes * '\\');
  const std::uint64_t found = below_space | ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash);
  return (found & kHigh) != 0;
}

}  // namespace

// Runs of eight plain bytes are copied as they are.
char* put_json_string(char* out, std::string_view text) {
  *out++ = '"';
  std::size_t plain = 0;
  while (plain + 8 <= text.size()) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + plain, 8);
    if (word_needs_escape(word)) break;
    std::memcpy(out, &word, 8);
    out += 8;
    plain += 8;
  }
  text.remove_prefix(plain);
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!kNeedsEscape[c]) continue;
    std::memcpy(out, text.data() + run_start, i - run_start);
    out = put_escape(out + (i - run_start), c);
    run_start = i + 1;
  }
  // An empty view may have no data pointer at all, which memcpy must not be given.
  if (run_start < text.size()) std::memcpy(out, text.data() + run_start, text.size() - run_start);
  out += text.size() - run_start;
  *out++ = '"';
  return out;
}

namespace {

// A value that is the nearest double to a decimal of at most three decimals and fifteen digits
// (a value as RINEX writes it, an integral one): with so few digits no other decimal reaches the
// same double, so that decimal is the shortest form. Written without trailing zeros, with ".0"
// when integral; null when the value is not such a decimal.
char* put_short_decimal(char* out, double value) {
  constexpr double kLimit = 1e15;
  const double thousandths = value * 1000.0;
  if (!(std::fabs(thousandths) < kLimit) || thousandths != std::floor(thousandths)) return nullptr;
  if (thousandths / 1000.0 != value) return nullptr;
  if (std::signbit(value)) *out++ = '-';
  auto m = static_cast<std::uint64_t>(std::fabs(thousandths));
  char* end = std::to_chars(out, out + 24, m / 1000).ptr;
  unsigned fraction = static_cast<unsigned>(m % 1000);
  *end++ = '.';
  if (fraction == 0) {
    *end++ = '0';
    return end;
  }
  const char digits[3] = {static_cast<char>('0' + fraction / 100), static_cast<char>('0' + fraction / 10 % 10),
                          static_cast<char>('0' + fraction % 10)};
  int count = 3;
  while (digits[count - 1] == '0') --count;
  std::memcpy(end, digits, static_cast<std::size_t>(count));
  return end + count;
}

}  // namespace

char* put_json_real(char* out, double value) {
  if (!std::isfinite(value)) {
    std::memcpy(out, "null", 4);
    return out + 4;
  }
  if (char* end = put_short_decimal(out, value)) return end;
  // Well inside the positional window the shortest fixed form is the positional one: the same
  // shortest digits, placed around the point. Near its edges the decimal exponent is found first.
  const double magnitude = std::fabs(value);
  if (magnitude >= 1.0001e-5 && magnitude < 9.99e15) {
    char* end = std::to_chars(out, out + kRealRoom, value, std::chars_format::fixed).ptr;
    if (std::find(out, end, '.') == end) {
      *end++ = '.';
      *end++ = '0';
    }
    return end;
  }
  const Decimal d = shortest_decimal(value);
  // Longest forms: "-0.0000" plus 17 digits, or "-d." plus 16 digits and "e-308".
  const bool positional = d.exponent >= -5 && d.exponent <= 15;
  return positional ? put_positional(out, d, true) : put_scientific(out, d);
}


void append_json_real(std::string& out, double value) {
  char text[kRealRoom];
  out.append(text, put_json_real(text, value));
}

void append_json_string(std::string& out, std::string_view text) {
  const std::size_t at = out.size();
  out.resize(at + json_string_room(text.size()));
  out.resize(static_cast<std::size_t>(put_json_string(out.data() + at, text) - out.data()));
}

std::string shortest_text(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const Decimal d = shortest_decimal(value);
  // The largest double has 309 integer digits; the smallest needs 323 zeros after the point.
  char text[340];
  return std::string(text, put_positional(text, d, false));
}

}  // namespace qcn::result
