// Epoch time as written in a RINEX file, with its Julian-day arithmetic and timestamp text.
#pragma once

#include <cstdint>
#include <string>

namespace qcn::rinex {

/// A calendar time taken as written, in the file's own time system; fields are not validated.
struct EpochTime {
  std::int32_t year = 0;
  std::uint32_t month = 0;
  std::uint32_t day = 0;
  std::uint32_t hour = 0;
  std::uint32_t minute = 0;
  double second = 0.0;  // seconds of the minute, with fraction
};

/// Days since the Julian epoch counted from midnight (astronomical Julian date plus 0.5).
double julian_day(const EpochTime& t);

/// a minus b, in seconds.
double seconds_between(const EpochTime& a, const EpochTime& b);

/// Appends the timestamp text, such as 2024-03-01T00:00:05.500Z.
void append_timestamp_text(std::string& out, const EpochTime& t);

/// The timestamp text, such as 2024-03-01T00:00:05.500Z; byte order is chronological.
std::string timestamp_text(const EpochTime& t);

}  // namespace qcn::rinex
