// Julian-day arithmetic and the timestamp text of epochs.
#include "rinex/epoch_time.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

#include "rinex/text.hpp"

namespace qcn::rinex {

namespace {

// The calendar arithmetic in floating point, as it is defined, for any fields.
double julian_day_of_any_fields(const EpochTime& t) {
  const double month = static_cast<double>(t.month);
  const double a = std::floor((14.0 - month) / 12.0);
  const double y = static_cast<double>(t.year) + 4800.0 - a;
  const double m = month + 12.0 * a - 3.0;
  const double day_fraction =
      (static_cast<double>(t.hour) * 3600.0 + static_cast<double>(t.minute) * 60.0 + t.second) / 86400.0;
  return static_cast<double>(t.day) + std::floor((153.0 * m + 2.0) / 5.0) + 365.0 * y +
         std::floor(y / 4.0) - std::floor(y / 100.0) + std::floor(y / 400.0) - 32045.0 + day_fraction;
}

}  // namespace

// Ordinary dates take the calendar part in integers: every partial sum of it is an integer below
// 2^53, so the floating sum is exact either way and the value is the same bit for bit.
double julian_day(const EpochTime& t) {
  constexpr std::int32_t kMinYear = -4000;
  constexpr std::int32_t kMaxYear = 1000000;
  constexpr std::uint32_t kMaxDay = 1000000;
  if (t.month < 1 || t.month > 12 || t.year < kMinYear || t.year > kMaxYear || t.day > kMaxDay) {
    return julian_day_of_any_fields(t);
  }
  const std::int64_t a = t.month <= 2 ? 1 : 0;
  const std::int64_t y = static_cast<std::int64_t>(t.year) + 4800 - a;
  const std::int64_t m = static_cast<std::int64_t>(t.month) + 12 * a - 3;
  const std::int64_t days = static_cast<std::int64_t>(t.day) + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 +
                            y / 400 - 32045;
  const double day_fraction =
      (static_cast<double>(t.hour) * 3600.0 + static_cast<double>(t.minute) * 60.0 + t.second) / 86400.0;
  return static_cast<double>(days) + day_fraction;
}

double seconds_between(const EpochTime& a, const EpochTime& b) {
  return (julian_day(a) - julian_day(b)) * 86400.0;
}

namespace {

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool is_separator(char c) { return c == ' ' || c == '-' || c == ':'; }

}  // namespace

std::int64_t day_number(const EpochTime& t) {
  const std::int64_t month = t.month;
  const std::int64_t a = floor_div(14 - month, 12);
  const std::int64_t y = std::int64_t{t.year} + 4800 - a;
  const std::int64_t m = month + 12 * a - 3;
  return std::int64_t{t.day} + floor_div(153 * m + 2, 5) + 365 * y + floor_div(y, 4) - floor_div(y, 100) +
         floor_div(y, 400) - 32045;
}

double seconds_of_day(const EpochTime& t) {
  return static_cast<double>(t.hour) * 3600.0 + static_cast<double>(t.minute) * 60.0 + t.second;
}

double exact_seconds_between(const EpochTime& a, const EpochTime& b) {
  const auto days = static_cast<double>(day_number(a) - day_number(b));
  return days * 86400.0 + (seconds_of_day(a) - seconds_of_day(b));
}

std::optional<std::int64_t> nanoseconds_since_1970(const EpochTime& t) {
  constexpr std::int64_t kDay1970 = 2440588;  // day_number of 1970-01-01
  if (!std::isfinite(t.second) || std::fabs(t.second) > 1e12) return std::nullopt;
  const double second = std::floor(t.second);
  // Whole seconds in integers (days are bounded by the int32 year, hours and minutes by uint32),
  // the fraction rounded to nanoseconds; any overflow of the count means no time.
  const std::int64_t seconds = (day_number(t) - kDay1970) * 86400 + std::int64_t{t.hour} * 3600 +
                               std::int64_t{t.minute} * 60 + static_cast<std::int64_t>(second);
  const auto fraction = static_cast<std::int64_t>(std::nearbyint((t.second - second) * 1e9));
  std::int64_t ns = 0;
  if (__builtin_mul_overflow(seconds, std::int64_t{1'000'000'000}, &ns)) return std::nullopt;
  if (__builtin_add_overflow(ns, fraction, &ns) || ns == std::numeric_limits<std::int64_t>::min()) return std::nullopt;
  return ns;
}

EpochTime shifted_back(EpochTime t, double seconds) {
  t.second -= seconds;
  return t;
}

namespace {

void append_digits(std::string& out, std::uint64_t value, int width) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (int pad = n; pad < width; ++pad) out.push_back('0');
  while (n > 0) out.push_back(digits[--n]);
}

/// The thousandths of the seconds field as printf's "%.3f" rounds them (the exact binary value to
/// nearest, ties to even), for 0 <= second < 100; nothing otherwise, or where the long double
/// cannot hold second * 1000 exactly.
std::optional<std::uint64_t> thousandths(double second) {
  if constexpr (std::numeric_limits<long double>::digits < 64) return std::nullopt;
  if (!(second >= 0.0 && second < 100.0)) return std::nullopt;
  const long double scaled = static_cast<long double>(second) * 1000.0L;  // exact: 53 + 10 bits
  const long double whole = std::floor(scaled);
  const long double fraction = scaled - whole;
  auto value = static_cast<std::uint64_t>(whole);
  if (fraction > 0.5L || (fraction == 0.5L && value % 2 == 1)) ++value;
  return value;
}

/// The timestamp text of ordinary fields, digit by digit; false when the fields are not ordinary.
bool append_ordinary_timestamp(std::string& out, const EpochTime& t) {
  if (t.year < 0 || t.year > 9999 || t.month > 99 || t.day > 99 || t.hour > 99 || t.minute > 99) return false;
  const auto milliseconds = thousandths(t.second);
  if (!milliseconds) return false;
  append_digits(out, static_cast<std::uint64_t>(t.year), 4);
  out.push_back('-');
  append_digits(out, t.month, 2);
  out.push_back('-');
  append_digits(out, t.day, 2);
  out.push_back('T');
  append_digits(out, t.hour, 2);
  out.push_back(':');
  append_digits(out, t.minute, 2);
  out.push_back(':');
  append_digits(out, *milliseconds / 1000, 2);
  out.push_back('.');
  append_digits(out, *milliseconds % 1000, 3);
  out.push_back('Z');
  return true;
}

}  // namespace

void append_timestamp_text(std::string& out, const EpochTime& t) {
  if (append_ordinary_timestamp(out, t)) return;
  // Widest case: an 11-character year and 10-digit fields, seconds up to 1e308 printed in full.
  char buffer[400];
  int n = std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", t.year, t.month, t.day);
  out.append(buffer, static_cast<std::size_t>(n));
  n = std::snprintf(buffer, sizeof buffer, "T%02u:%02u:", t.hour, t.minute);
  out.append(buffer, static_cast<std::size_t>(n));
  if (std::isfinite(t.second)) {
    n = std::snprintf(buffer, sizeof buffer, "%06.3fZ", t.second);
  } else {
    n = std::snprintf(buffer, sizeof buffer, "%6sZ", std::isnan(t.second) ? "NaN" : t.second > 0 ? "inf" : "-inf");
  }
  if (n > 0 && static_cast<std::size_t>(n) < sizeof buffer) out.append(buffer, static_cast<std::size_t>(n));
}

std::string timestamp_text(const EpochTime& t) {
  std::string out;
  out.reserve(24);
  append_timestamp_text(out, t);
  return out;
}

std::optional<EpochTime> epoch_from_timestamp(std::string_view text) {
  std::string cleaned;
  cleaned.reserve(text.size());
  for (char c : text) {
    if (c == 'Z') continue;
    cleaned.push_back(c == 'T' ? ' ' : c);
  }
  std::vector<std::string_view> pieces;
  std::string_view rest = cleaned;
  while (!rest.empty()) {
    std::size_t end = 0;
    while (end < rest.size() && !is_separator(rest[end])) ++end;
    if (end > 0) pieces.push_back(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  if (pieces.size() < 6) return std::nullopt;
  const auto year = parse_i32(pieces[0]);
  const auto month = parse_u32(pieces[1]);
  const auto day = parse_u32(pieces[2]);
  const auto hour = parse_u32(pieces[3]);
  const auto minute = parse_u32(pieces[4]);
  const auto second = parse_float(pieces[5]);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  return EpochTime{*year, *month, *day, *hour, *minute, *second};
}

}  // namespace qcn::rinex
