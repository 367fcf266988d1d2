// Julian-day arithmetic and the timestamp text of epochs.
#include "rinex/epoch_time.hpp"

#include <cmath>
#include <cstdio>

namespace qcn::rinex {

double julian_day(const EpochTime& t) {
  const double month = static_cast<double>(t.month);
  const double a = std::floor((14.0 - month) / 12.0);
  const double y = static_cast<double>(t.year) + 4800.0 - a;
  const double m = month + 12.0 * a - 3.0;
  const double day_fraction =
      (static_cast<double>(t.hour) * 3600.0 + static_cast<double>(t.minute) * 60.0 + t.second) / 86400.0;
  return static_cast<double>(t.day) + std::floor((153.0 * m + 2.0) / 5.0) + 365.0 * y +
         std::floor(y / 4.0) - std::floor(y / 100.0) + std::floor(y / 400.0) - 32045.0 + day_fraction;
}

double seconds_between(const EpochTime& a, const EpochTime& b) {
  return (julian_day(a) - julian_day(b)) * 86400.0;
}

void append_timestamp_text(std::string& out, const EpochTime& t) {
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

}  // namespace qcn::rinex
