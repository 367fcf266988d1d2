// The leap seconds inserted into UTC since GPS time began (1980-01-06), and their header line.
#include "rinex/leap_seconds.hpp"

#include <array>

#include "rinex/text.hpp"

namespace qcn::rinex {
namespace {

struct LeapDate {
  std::int32_t year;
  std::uint32_t month;
  std::int32_t gps_minus_utc;
};

// Every leap second took effect at the start of the 1st of January or July.
constexpr std::array<LeapDate, 18> kLeapDates{{{1981, 7, 1},  {1982, 7, 2},  {1983, 7, 3},  {1985, 7, 4},
                                               {1988, 1, 5},  {1990, 1, 6},  {1991, 1, 7},  {1992, 7, 8},
                                               {1993, 7, 9},  {1994, 7, 10}, {1996, 1, 11}, {1997, 7, 12},
                                               {1999, 1, 13}, {2006, 1, 14}, {2009, 1, 15}, {2012, 7, 16},
                                               {2015, 7, 17}, {2017, 1, 18}}};

constexpr std::int32_t kBeidouBehindGps = 14;  // s, BeiDou time started at 2006-01-01 with 14 leap seconds

}  // namespace

std::optional<std::int32_t> read_leap_seconds(std::string_view line) {
  auto leap = parse_i32(trim(field(line, 0, 6)));
  if (!leap) return std::nullopt;
  if (trim(field(line, 24, 3)) == "BDS") return *leap + kBeidouBehindGps;
  return *leap;
}

std::int32_t leap_seconds_at(const EpochTime& epoch) {
  std::int32_t leap = 0;
  for (const LeapDate& date : kLeapDates) {
    // A month written outside 1-12 compares as written; the table only needs an order.
    const bool reached = epoch.year > date.year || (epoch.year == date.year && epoch.month >= date.month);
    if (!reached) break;
    leap = date.gps_minus_utc;
  }
  return leap;
}

}  // namespace qcn::rinex
