// Leap seconds: GPS time minus UTC, from a RINEX header line or from the table of their dates.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "rinex/epoch_time.hpp"

namespace qcn::rinex {

/// GPS time minus UTC in seconds from a LEAP SECONDS header line; nothing when its first field
/// does not read. A line whose time system field reads BDS counts from BeiDou time, 14 s behind GPS.
std::optional<std::int32_t> read_leap_seconds(std::string_view line);

/// GPS time minus UTC in seconds at the epoch (taken as GPS time), from the table of leap seconds;
/// each new value holds from 00:00:00 of its date on; 0 before the first.
std::int32_t leap_seconds_at(const EpochTime& epoch);

}  // namespace qcn::rinex
