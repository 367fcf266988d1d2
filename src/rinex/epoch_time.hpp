// Epoch time as written in a RINEX file, with its Julian-day arithmetic and timestamp text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

/// The calendar day of the epoch as a day count, the whole-day part of julian_day, in integers.
std::int64_t day_number(const EpochTime& t);

/// Seconds since the start of the epoch's day: hour, minute and second as written.
double seconds_of_day(const EpochTime& t);

/// a minus b, in seconds, from whole days and seconds of day: epochs written 600 s apart give
/// exactly 600, where a Julian-day difference gives 600.0000045.
double exact_seconds_between(const EpochTime& a, const EpochTime& b);

/// The epoch with `seconds` taken off its second field, which may become negative: the arithmetic
/// above takes such a field as it is.
EpochTime shifted_back(EpochTime t, double seconds);

/// Nanoseconds since 1970-01-01T00:00:00 of the epoch's calendar time taken as written (no leap
/// seconds, the file's own time scale), rounded to the nearest; nothing when the time is outside
/// the range of a signed 64-bit count (1677-09-22 to 2262-04-11) or its second is not finite.
std::optional<std::int64_t> nanoseconds_since_1970(const EpochTime& t);

/// Appends the timestamp text, such as 2024-03-01T00:00:05.500Z.
void append_timestamp_text(std::string& out, const EpochTime& t);

/// The timestamp text, such as 2024-03-01T00:00:05.500Z; byte order is chronological.
std::string timestamp_text(const EpochTime& t);

/// Reads a timestamp text back into an epoch: "T" counts as a space, every "Z" is dropped, and
/// the pieces between spaces, "-" and ":" give year, month, day, hour, minute and second. Nothing
/// when fewer than six pieces remain or one of them does not read.
std::optional<EpochTime> epoch_from_timestamp(std::string_view text);

}  // namespace qcn::rinex
