// Field arithmetic of compact RINEX.
#include "archive/crinex_values.hpp"

#include <charconv>
#include <cstring>

namespace qcn::archive::detail {
namespace {

// At most 18 digits, so that every field fits a signed 64-bit integer.
constexpr std::size_t kMaxDigits = 18;

bool parse_integer(std::string_view text, std::int64_t& value) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > kMaxDigits) return false;
  std::int64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
  }
  value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace

FieldRead read_field(std::string_view field, Arc& arc, std::int64_t& value) {
  if (field.empty()) {
    arc.active = false;
    return FieldRead::missing;
  }
  if (field.size() >= 2 && field[1] == '&') {
    if (field[0] < '0' || field[0] > '9' || !parse_integer(field.substr(2), value)) return FieldRead::malformed;
    arc.order = static_cast<std::uint8_t>(field[0] - '0');
    arc.filled = 0;
    arc.terms[0] = value;
    arc.active = true;
    return FieldRead::value;
  }
  std::int64_t difference = 0;
  if (!parse_integer(field, difference)) return FieldRead::malformed;
  if (!arc.active) return FieldRead::unstarted;
  if (arc.filled < arc.order) ++arc.filled;
  arc.terms[arc.filled] = difference;
  // Each lower difference, and last the value, is the previous one plus the one above it.
  for (int k = arc.filled - 1; k >= 0; --k) {
    if (__builtin_add_overflow(arc.terms[k], arc.terms[k + 1], &arc.terms[k])) return FieldRead::out_of_range;
  }
  value = arc.terms[0];
  return FieldRead::value;
}

void apply_text_difference(std::string_view difference, std::string& text) {
  if (text.size() < difference.size()) text.resize(difference.size(), ' ');
  for (std::size_t i = 0; i < difference.size(); ++i) {
    char c = difference[i];
    if (c == ' ') continue;
    text[i] = c == '&' ? ' ' : c;
  }
}

std::size_t format_scaled(std::int64_t value, int decimals, int width, char* to) {
  // The magnitude as unsigned, well defined for the most negative value too.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  char digits[24];
  std::size_t count = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
  std::size_t places = static_cast<std::size_t>(decimals);
  // The integer part is empty below 1: ".920", not "0.920".
  std::size_t whole = count > places ? count - places : 0;
  std::size_t size = (value < 0 ? 1 : 0) + whole + 1 + places;
  std::size_t pad = size < static_cast<std::size_t>(width) ? static_cast<std::size_t>(width) - size : 0;
  char* at = to;
  std::memset(at, ' ', pad);
  at += pad;
  if (value < 0) *at++ = '-';
  std::memcpy(at, digits, whole);
  at += whole;
  *at++ = '.';
  std::size_t zeros = places > count ? places - count : 0;
  std::memset(at, '0', zeros);
  std::memcpy(at + zeros, digits + whole, places - zeros);
  return pad + size;
}

}  // namespace qcn::archive::detail
