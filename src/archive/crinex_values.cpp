// Field arithmetic of compact RINEX.
#include "archive/crinex_values.hpp"

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
  char digits[kMaxScaledWidth];
  std::size_t n = 0;
  // The magnitude as unsigned, well defined for the most negative value too.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  for (int i = 0; i < decimals; ++i) {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  digits[n++] = '.';
  while (magnitude > 0) {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  if (value < 0) digits[n++] = '-';
  std::size_t pad = n < static_cast<std::size_t>(width) ? static_cast<std::size_t>(width) - n : 0;
  std::memset(to, ' ', pad);
  for (std::size_t i = 0; i < n; ++i) to[pad + i] = digits[n - 1 - i];
  return pad + n;
}

}  // namespace qcn::archive::detail
