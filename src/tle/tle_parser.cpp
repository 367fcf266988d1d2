// TLE text: groups of a name line and element lines "1 ..." and "2 ...", matched by name.
#include "tle/tle_parser.hpp"

#include <cstddef>

#include "rinex/text.hpp"

namespace qcn::tle {
namespace {

using rinex::trim;

constexpr std::size_t kMinFirstLine = 61;
constexpr std::size_t kMinSecondLine = 63;
constexpr std::size_t kMeanMotionCol = 52;  // revolutions per day, on the second line
constexpr std::size_t kMeanMotionWidth = 11;

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Position of the first occurrence of an upper-case word in text read as upper case.
std::size_t find_upper(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < word.size() && upper(text[i + k]) == word[k]) ++k;
    if (k == word.size()) return i;
  }
  return std::string_view::npos;
}

bool contains(std::string_view text, std::string_view word) {
  return find_upper(text, word) != std::string_view::npos;
}

// The run of digits starting at pos (possibly empty).
std::string_view digits_at(std::string_view text, std::size_t pos) {
  std::size_t end = pos;
  while (end < text.size() && is_digit(text[end])) ++end;
  return pos < end ? text.substr(pos, end - pos) : std::string_view{};
}

// The run of digits right after the first occurrence of marker; empty when there is none.
std::string_view digits_after(std::string_view text, std::string_view marker) {
  std::size_t at = find_upper(text, marker);
  if (at == std::string_view::npos) return {};
  return digits_at(text, at + marker.size());
}

// The first run of digits at or after pos.
std::string_view first_digits(std::string_view text, std::size_t pos) {
  while (pos < text.size() && !is_digit(text[pos])) ++pos;
  return digits_at(text, pos);
}

std::optional<GnssSatellite> numbered(char system, std::string_view digits) {
  auto number = rinex::parse_u32(digits);
  if (!number) return std::nullopt;
  return GnssSatellite{system, *number};
}

std::optional<GnssSatellite> gps_by_prn(std::string_view name) {
  std::size_t prn = find_upper(name, "PRN");
  if (prn == std::string_view::npos) return std::nullopt;
  return numbered('G', first_digits(name, prn + 3));
}

std::optional<GnssSatellite> galileo(std::string_view name) {
  if (auto sat = numbered('E', digits_after(name, "(E"))) return sat;
  return numbered('E', digits_after(name, "GSAT"));
}

double mean_motion(std::string_view second_line) {
  return rinex::parse_float(trim(rinex::field(second_line, kMeanMotionCol, kMeanMotionWidth))).value_or(0.0);
}

}  // namespace

std::optional<GnssSatellite> identify_gnss_satellite(std::string_view name) {
  // Names are matched as upper case; digits are the same either way.
  const std::string_view text = name;
  if (contains(text, "GPS") || contains(text, "NAVSTAR")) {
    if (auto sat = gps_by_prn(text)) return sat;
  }
  if (contains(text, "GLONASS") || contains(text, "COSMOS 2")) return std::nullopt;
  if (contains(text, "GALILEO") || contains(text, "GSAT")) {
    if (auto sat = galileo(text)) return sat;
  }
  if (contains(text, "BEIDOU")) return std::nullopt;
  if (contains(text, "QZS") || contains(text, "MICHIBIKI")) return numbered('J', first_digits(text, 0));
  return std::nullopt;
}

std::uint64_t count_gnss_satellites(std::string_view text) {
  std::uint64_t count = 0;
  rinex::LineCursor cursor(text);
  while (!cursor.at_end()) {
    rinex::LineCursor probe = cursor;
    const std::string_view name = trim(probe.next());
    if (probe.at_end()) break;
    const std::string_view first = trim(probe.next());
    if (probe.at_end()) break;
    const std::string_view second = trim(probe.next());
    if (first.empty() || first[0] != '1' || second.empty() || second[0] != '2') {
      cursor.skip();
      continue;
    }
    cursor = probe;
    // A group with cut element lines is passed over whole, like any group not accepted.
    if (first.size() < kMinFirstLine || second.size() < kMinSecondLine) continue;
    if (identify_gnss_satellite(name) && mean_motion(second) > 0.0) ++count;
  }
  return count;
}

}  // namespace qcn::tle
