// RINEX navigation parsing: the header, then fixed-column Keplerian and GLONASS records.
#include "navigation/nav_parser.hpp"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <tuple>

#include "rinex/leap_seconds.hpp"
#include "rinex/rinex_version.hpp"
#include "rinex/text.hpp"

namespace qcn::navigation {
namespace {

using rinex::field;
using rinex::trim;

constexpr std::size_t kFieldWidth = 19;
constexpr double kMetresPerKilometre = 1000.0;

// Column layout of one RINEX version. Bytes of 0x80 and above never form part of a number, so
// reading the raw bytes gives the same values as reading a copy with those bytes replaced by '?'.
struct Layout {
  std::size_t number_col, number_width;
  std::size_t year_col, year_width;
  std::size_t month_col, day_col, hour_col, minute_col;
  std::size_t second_col, second_width;
  std::array<std::size_t, 3> first_line_fields;  // data fields 2, 3, 4 of line 1
  std::array<std::size_t, 4> data_fields;        // data fields 1 to 4 of lines 2 and following
  bool two_digit_year;
};

// RINEX 3 puts the system letter in column 0 and the satellite number in columns 1-2.
constexpr Layout kLayoutV3{1, 2, 4, 4, 9, 12, 15, 18, 21, 2, {23, 42, 61}, {4, 23, 42, 61}, false};
// RINEX 2 has no system letter: the satellite number fills columns 0-1, the year has two digits.
constexpr Layout kLayoutV2{0, 2, 3, 2, 6, 9, 12, 15, 17, 5, {22, 41, 60}, {3, 22, 41, 60}, true};

constexpr std::size_t kKeplerLines = 8;
constexpr std::size_t kGlonassLines = 4;

struct Header {
  double version = 3.0;
  char file_type = ' ';  // column 20 of the RINEX VERSION / TYPE line
  std::optional<std::int32_t> leap_seconds;
};

bool contains(std::string_view text, std::string_view word) {
  return text.find(word) != std::string_view::npos;
}

// Reads header lines up to END OF HEADER; false when the text ends first.
bool read_header(rinex::LineCursor& cursor, Header& header) {
  while (!cursor.at_end()) {
    std::string_view line = cursor.next();
    if (line.size() < 60) continue;
    std::string_view label = trim(rinex::rest(line, 60));
    if (contains(label, "RINEX VERSION")) {
      if (auto version = rinex::parse_float(trim(field(line, 0, 9)))) header.version = *version;
      header.file_type = line[20];
    } else if (contains(label, "LEAP SECONDS")) {
      if (auto leap = rinex::read_leap_seconds(line)) header.leap_seconds = *leap;
    } else if (contains(label, "END OF HEADER")) {
      return true;
    }
  }
  return false;
}

// A data field that is missing or does not read is 0.0.
double data_field(std::string_view line, std::size_t col) {
  return rinex::parse_fortran_float(trim(field(line, col, kFieldWidth))).value_or(0.0);
}

struct FirstLine {
  std::uint32_t number = 0;
  rinex::EpochTime epoch;
};

// The satellite number and epoch of a record's first line; nothing when any of them is unreadable.
std::optional<FirstLine> read_first_line(std::string_view line, const Layout& layout) {
  FirstLine first;
  auto number = rinex::parse_u32(trim(field(line, layout.number_col, layout.number_width)));
  auto year = rinex::parse_i32(trim(field(line, layout.year_col, layout.year_width)));
  auto month = rinex::parse_u32(trim(field(line, layout.month_col, 2)));
  auto day = rinex::parse_u32(trim(field(line, layout.day_col, 2)));
  auto hour = rinex::parse_u32(trim(field(line, layout.hour_col, 2)));
  auto minute = rinex::parse_u32(trim(field(line, layout.minute_col, 2)));
  auto second = rinex::parse_float(trim(field(line, layout.second_col, layout.second_width)));
  if (!number || !year || !month || !day || !hour || !minute || !second) return std::nullopt;
  first.number = *number;
  first.epoch.year = *year;
  if (layout.two_digit_year) first.epoch.year += *year < 80 ? 2000 : 1900;
  first.epoch.month = *month;
  first.epoch.day = *day;
  first.epoch.hour = *hour;
  first.epoch.minute = *minute;
  first.epoch.second = *second;
  return first;
}

// System letter and number, the number with at least two digits (G05, R12, C101).
struct SatelliteKey {
  std::array<char, 16> chars{};
  std::size_t size = 0;
  std::string_view view() const { return {chars.data(), size}; }
};

SatelliteKey satellite_key(char system, std::uint32_t number) {
  SatelliteKey key;
  key.chars[0] = system;
  std::size_t at = 1;
  if (number < 10) key.chars[at++] = '0';
  auto [end, ec] = std::to_chars(key.chars.data() + at, key.chars.data() + key.chars.size(), number);
  (void)ec;  // ten digits always fit
  key.size = static_cast<std::size_t>(end - key.chars.data());
  return key;
}

using Lines = std::array<std::string_view, kKeplerLines>;

void read_kepler(const Lines& lines, char system, const Layout& layout, NavigationData& nav) {
  auto first = read_first_line(lines[0], layout);
  if (!first) return;
  KeplerEphemeris eph;
  eph.epoch = first->epoch;
  eph.epoch_julian_day = rinex::julian_day(eph.epoch);
  eph.prn = first->number;
  eph.system = system;
  const auto& f1 = layout.first_line_fields;
  const auto& f = layout.data_fields;
  eph.clock_bias = data_field(lines[0], f1[0]);
  eph.clock_drift = data_field(lines[0], f1[1]);
  eph.clock_drift_rate = data_field(lines[0], f1[2]);
  eph.iode = data_field(lines[1], f[0]);
  eph.crs = data_field(lines[1], f[1]);
  eph.delta_n = data_field(lines[1], f[2]);
  eph.m0 = data_field(lines[1], f[3]);
  eph.cuc = data_field(lines[2], f[0]);
  eph.e = data_field(lines[2], f[1]);
  eph.cus = data_field(lines[2], f[2]);
  eph.sqrt_a = data_field(lines[2], f[3]);
  eph.toe = data_field(lines[3], f[0]);
  eph.cic = data_field(lines[3], f[1]);
  eph.omega0 = data_field(lines[3], f[2]);
  eph.cis = data_field(lines[3], f[3]);
  eph.i0 = data_field(lines[4], f[0]);
  eph.crc = data_field(lines[4], f[1]);
  eph.omega = data_field(lines[4], f[2]);
  eph.omega_dot = data_field(lines[4], f[3]);
  eph.idot = data_field(lines[5], f[0]);
  eph.week = rinex::saturating_i32(data_field(lines[5], f[2]));
  // Lines 7 and 8 (accuracy, health, group delays, transmission time) are not kept.
  auto& map = system == 'E' ? nav.galileo_ephemerides
              : system == 'C' ? nav.beidou_ephemerides
                              : nav.gps_ephemerides;
  map[satellite_key(system, eph.prn).view()].push_back(eph);
}

void read_glonass(const Lines& lines, const Layout& layout, NavigationData& nav) {
  auto first = read_first_line(lines[0], layout);
  if (!first) return;
  GlonassEphemeris eph;
  eph.epoch = first->epoch;
  eph.epoch_julian_day = rinex::julian_day(eph.epoch);
  eph.slot = first->number;
  const auto& f1 = layout.first_line_fields;
  const auto& f = layout.data_fields;
  eph.clock_bias = data_field(lines[0], f1[0]);
  eph.relative_frequency_bias = data_field(lines[0], f1[1]);
  eph.message_frame_time = data_field(lines[0], f1[2]);
  eph.x = data_field(lines[1], f[0]) * kMetresPerKilometre;
  eph.x_velocity = data_field(lines[1], f[1]) * kMetresPerKilometre;
  eph.x_acceleration = data_field(lines[1], f[2]) * kMetresPerKilometre;
  eph.y = data_field(lines[2], f[0]) * kMetresPerKilometre;
  eph.y_velocity = data_field(lines[2], f[1]) * kMetresPerKilometre;
  eph.y_acceleration = data_field(lines[2], f[2]) * kMetresPerKilometre;
  eph.frequency_channel = rinex::saturating_i32(data_field(lines[2], f[3]));
  eph.z = data_field(lines[3], f[0]) * kMetresPerKilometre;
  eph.z_velocity = data_field(lines[3], f[1]) * kMetresPerKilometre;
  eph.z_acceleration = data_field(lines[3], f[2]) * kMetresPerKilometre;
  // Health (line 2) and age of information (line 4) are not kept.
  nav.glonass_ephemerides[satellite_key('R', eph.slot).view()].push_back(eph);
  if (eph.frequency_channel != 0) {
    std::array<char, 16> slot_text{};
    auto [end, ec] = std::to_chars(slot_text.data(), slot_text.data() + slot_text.size(), eph.slot);
    (void)ec;
    nav.glonass_channels.insert_or_assign(
        std::string_view(slot_text.data(), static_cast<std::size_t>(end - slot_text.data())),
        eph.frequency_channel);
  }
}

enum class RecordKind : std::uint8_t { none, kepler, glonass };

struct RecordStart {
  RecordKind kind = RecordKind::none;
  char system = 'G';
};

// What a RINEX 2 file's records are, from the type letter of its header: one system per file.
// N (or nothing) is GPS, G is GLONASS and E Galileo; other letters (H for SBAS) hold records
// this parser does not keep, which are passed over rather than misread as GPS.
RecordStart v2_record_start(char file_type) {
  switch (file_type) {
    case 'N':
    case ' ':
      return {RecordKind::kepler, 'G'};
    case 'E':
      return {RecordKind::kepler, 'E'};
    case 'G':
      return {RecordKind::glonass, 'R'};
    default:
      return {};
  }
}

// What a non-blank line at the cursor starts. RINEX 3 names the system in column 0; RINEX 2
// files hold the one system of their header.
RecordStart record_start(std::string_view line, bool v3, RecordStart v2_start) {
  if (!v3) return v2_start;
  switch (line[0]) {
    case 'G':
    case 'J':
    case 'E':
    case 'C':
      return {RecordKind::kepler, line[0]};
    case 'R':
      return {RecordKind::glonass, 'R'};
    default:
      return {};  // SBAS, NavIC and stray lines are passed over one at a time
  }
}

bool earlier(const rinex::EpochTime& a, const rinex::EpochTime& b) {
  return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second) <
         std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second);
}

// Counts a line that starts a record of the system letter, when its satellite and time read.
void count_record(std::string_view line, char system, const Layout& layout, NavigationData& nav) {
  const std::optional<FirstLine> first = read_first_line(line, layout);
  if (!first) return;
  ++nav.records_by_system[std::string_view(&system, 1)];
  if (!nav.first_record || earlier(first->epoch, *nav.first_record)) nav.first_record = first->epoch;
  if (!nav.last_record || earlier(*nav.last_record, first->epoch)) nav.last_record = first->epoch;
}

void read_records(rinex::LineCursor& cursor, const Header& header, NavigationData& nav) {
  const bool v3 = rinex::is_version_3_or_later(header.version);
  const RecordStart v2_start = v2_record_start(header.file_type);
  const Layout& layout = v3 ? kLayoutV3 : kLayoutV2;
  Lines lines;
  while (!cursor.at_end()) {
    rinex::LineCursor probe = cursor;
    lines[0] = probe.next();
    if (trim(lines[0]).empty()) {
      cursor = probe;
      continue;
    }
    RecordStart start = record_start(lines[0], v3, v2_start);
    if (v3 ? std::isalpha(static_cast<unsigned char>(lines[0][0])) != 0 : start.kind != RecordKind::none) {
      count_record(lines[0], v3 ? lines[0][0] : start.system, layout, nav);
    }
    std::size_t count = start.kind == RecordKind::kepler    ? kKeplerLines
                        : start.kind == RecordKind::glonass ? kGlonassLines
                                                            : 0;
    std::size_t have = 1;
    while (have < count && !probe.at_end()) lines[have++] = probe.next();
    if (count == 0 || have < count) {
      cursor.skip();
      continue;
    }
    // A rejected record still consumes its lines, so it never shifts the reading of the next.
    if (start.kind == RecordKind::kepler) {
      read_kepler(lines, start.system, layout, nav);
    } else {
      read_glonass(lines, layout, nav);
    }
    cursor = probe;
  }
}

}  // namespace

NavParse parse_navigation(std::string_view bytes) {
  NavParse parse;
  rinex::LineCursor cursor(bytes);
  Header header;
  if (!read_header(cursor, header)) {
    parse.error = rinex::ParseError::no_end_of_header;
    return parse;
  }
  read_records(cursor, header, parse.data);
  parse.data.leap_seconds = header.leap_seconds;
  return parse;
}

}  // namespace qcn::navigation
