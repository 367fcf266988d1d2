// Julian days, differences of epochs and the timestamp text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "rinex/epoch_time.hpp"
#include "rinex/leap_seconds.hpp"

namespace {

using qcn::rinex::EpochTime;
using qcn::rinex::julian_day;
using qcn::rinex::seconds_between;
using qcn::rinex::timestamp_text;

// A Julian day near 2.45e6 carries about 4e-10 days (40 microseconds) of resolution.
constexpr double kSecondsTolerance = 1e-4;

// Reference values are astronomical Julian dates of 0h, plus the half day by which julian_day
// counts from midnight.
TEST(EpochTimeTest, JulianDayOfKnownDates) {
  struct Case {
    EpochTime time;
    double astronomical_jd;
  };
  static constexpr Case kCases[] = {
      {{2000, 1, 1, 12, 0, 0.0}, 2451545.0},  // J2000.0
      {{2000, 1, 1, 0, 0, 0.0}, 2451544.5},
      {{1858, 11, 17, 0, 0, 0.0}, 2400000.5},  // MJD 0
      {{1980, 1, 6, 0, 0, 0.0}, 2444244.5},    // GPS time zero
      {{1970, 1, 1, 0, 0, 0.0}, 2440587.5},    // Unix time zero
      {{2024, 3, 1, 0, 0, 0.0}, 2460370.5},
      {{1900, 3, 1, 0, 0, 0.0}, 2415079.5},
      {{-4713, 11, 24, 12, 0, 0.0}, 0.0},  // proleptic Gregorian origin of the count
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(timestamp_text(c.time));
    EXPECT_DOUBLE_EQ(julian_day(c.time), c.astronomical_jd + 0.5);
  }
  EXPECT_NEAR(julian_day({2024, 3, 1, 18, 30, 45.5}) - julian_day({2024, 3, 1, 0, 0, 0.0}),
              (18 * 3600 + 30 * 60 + 45.5) / 86400.0, 1e-9);
}

// Fields are not validated: day 0 and month 13 or 0 fall into the neighbouring days and years.
TEST(EpochTimeTest, FieldsOutOfRangeRollOver) {
  EXPECT_EQ(julian_day({2024, 3, 0, 0, 0, 0.0}), julian_day({2024, 2, 29, 0, 0, 0.0}));
  EXPECT_EQ(julian_day({2023, 13, 1, 0, 0, 0.0}), julian_day({2024, 1, 1, 0, 0, 0.0}));
  EXPECT_EQ(julian_day({2024, 0, 1, 0, 0, 0.0}), julian_day({2023, 12, 1, 0, 0, 0.0}));
  EXPECT_NEAR(seconds_between({2024, 1, 1, 24, 0, 0.0}, {2024, 1, 2, 0, 0, 0.0}), 0.0, kSecondsTolerance);
  EXPECT_NEAR(seconds_between({2024, 1, 1, 0, 0, 61.0}, {2024, 1, 1, 0, 1, 1.0}), 0.0, kSecondsTolerance);
}

TEST(EpochTimeTest, SecondsBetweenAcrossBoundaries) {
  struct Case {
    const char* what;
    EpochTime a, b;
    double seconds;
  };
  static constexpr Case kCases[] = {
      {"same minute", {2024, 3, 1, 0, 0, 30.0}, {2024, 3, 1, 0, 0, 0.0}, 30.0},
      {"midnight", {2024, 3, 2, 0, 0, 0.5}, {2024, 3, 1, 23, 59, 59.5}, 1.0},
      {"year end", {2000, 1, 1, 0, 0, 30.0}, {1999, 12, 31, 23, 59, 30.0}, 60.0},
      {"leap day", {2024, 3, 1, 0, 0, 0.0}, {2024, 2, 28, 0, 0, 0.0}, 2 * 86400.0},
      {"no leap day", {2023, 3, 1, 0, 0, 0.0}, {2023, 2, 28, 0, 0, 0.0}, 86400.0},
      {"1900 is no leap year", {1900, 3, 1, 0, 0, 0.0}, {1900, 2, 28, 0, 0, 0.0}, 86400.0},
      {"2000 is a leap year", {2000, 3, 1, 0, 0, 0.0}, {2000, 2, 28, 0, 0, 0.0}, 2 * 86400.0},
      {"whole year", {2024, 1, 1, 0, 0, 0.0}, {2023, 1, 1, 0, 0, 0.0}, 365 * 86400.0},
      // GPS weeks start on Sunday 0h: Saturday 2024-03-02 23:59:59 to Sunday 2024-03-03 0h.
      {"GPS week", {2024, 3, 3, 0, 0, 0.0}, {2024, 3, 2, 23, 59, 59.0}, 1.0},
      {"GPS week 2304", {2024, 3, 3, 0, 0, 0.0}, {1980, 1, 6, 0, 0, 0.0}, 2304 * 7 * 86400.0},
      {"backwards", {2024, 3, 1, 0, 0, 0.0}, {2024, 3, 1, 0, 1, 0.0}, -60.0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_NEAR(seconds_between(c.a, c.b), c.seconds, kSecondsTolerance);
    EXPECT_EQ(qcn::rinex::exact_seconds_between(c.a, c.b), c.seconds);
  }
  // Ten minutes written apart are 600 s exactly; through Julian days they are not.
  const EpochTime from{2020, 6, 25, 13, 50, 0.0};
  const EpochTime to{2020, 6, 25, 14, 0, 0.0};
  EXPECT_EQ(qcn::rinex::exact_seconds_between(to, from), 600.0);
  EXPECT_NE(seconds_between(to, from), 600.0);
}

// The calendar arithmetic in floating point, as defined: ordinary dates, computed in integers,
// must give it bit for bit.
double floating_julian_day(const EpochTime& t) {
  const double month = static_cast<double>(t.month);
  const double a = std::floor((14.0 - month) / 12.0);
  const double y = static_cast<double>(t.year) + 4800.0 - a;
  const double m = month + 12.0 * a - 3.0;
  const double day_fraction =
      (static_cast<double>(t.hour) * 3600.0 + static_cast<double>(t.minute) * 60.0 + t.second) / 86400.0;
  return static_cast<double>(t.day) + std::floor((153.0 * m + 2.0) / 5.0) + 365.0 * y + std::floor(y / 4.0) -
         std::floor(y / 100.0) + std::floor(y / 400.0) - 32045.0 + day_fraction;
}

TEST(EpochTimeTest, JulianDayIsTheFloatingCalendarArithmeticBitForBit) {
  for (int year : {-4001, -4000, 1899, 1980, 2000, 2021, 2100, 999999, 1000001}) {
    for (unsigned month = 0; month <= 14; ++month) {
      for (unsigned day : {0u, 1u, 15u, 31u, 40u, 2000000u}) {
        for (double second : {0.0, 59.999999, 3599.5, 86399.25, -30.0}) {
          const EpochTime t{year, month, day, 23, 59, second};
          SCOPED_TRACE(timestamp_text(t));
          EXPECT_EQ(julian_day(t), floating_julian_day(t));
        }
      }
    }
  }
}

// The day count is the whole-day part of the Julian day, also for fields out of range.
TEST(EpochTimeTest, DayNumberIsTheWholeDayOfTheJulianDay) {
  for (int year : {-4713, -1, 0, 1980, 2024, 100000}) {
    for (unsigned month = 0; month <= 15; ++month) {
      for (unsigned day : {0u, 1u, 29u, 31u, 400u}) {
        const EpochTime t{year, month, day, 0, 0, 0.0};
        SCOPED_TRACE(qcn::rinex::timestamp_text(t));
        EXPECT_EQ(static_cast<double>(qcn::rinex::day_number(t)), julian_day(t));
      }
    }
  }
}

TEST(LeapSecondsTest, TableSwitchesAtTheStartOfEachDate) {
  struct Case {
    EpochTime epoch;
    std::int32_t leap;
  };
  const Case cases[] = {
      {{1980, 1, 6, 0, 0, 0.0}, 0},       {{1981, 6, 30, 23, 59, 59.0}, 0}, {{1981, 7, 1, 0, 0, 0.0}, 1},
      {{2005, 12, 31, 23, 59, 59.0}, 13}, {{2006, 1, 1, 0, 0, 0.0}, 14},    {{2016, 12, 31, 23, 59, 59.0}, 17},
      {{2017, 1, 1, 0, 0, 0.0}, 18},      {{2020, 6, 25, 0, 0, 0.0}, 18},   {{2030, 1, 1, 0, 0, 0.0}, 18},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(qcn::rinex::timestamp_text(c.epoch));
    EXPECT_EQ(qcn::rinex::leap_seconds_at(c.epoch), c.leap);
  }
}

TEST(EpochTimeTest, TimestampTextHasFixedFields) {
  struct Case {
    EpochTime time;
    const char* text;
  };
  static constexpr Case kCases[] = {
      {{2024, 3, 1, 0, 0, 5.5}, "2024-03-01T00:00:05.500Z"},
      {{2021, 1, 1, 23, 59, 30.0}, "2021-01-01T23:59:30.000Z"},
      {{2020, 10, 30, 13, 22, 14.0001055}, "2020-10-30T13:22:14.000Z"},
      {{2018, 6, 22, 6, 17, 0.0004}, "2018-06-22T06:17:00.000Z"},
      {{2018, 6, 22, 6, 17, 0.0015}, "2018-06-22T06:17:00.002Z"},  // 0.0015 is stored above the tie
      {{2018, 6, 22, 6, 17, 59.9996}, "2018-06-22T06:17:60.000Z"},
      {{999, 12, 31, 0, 0, 0.0}, "0999-12-31T00:00:00.000Z"},
      {{12345, 1, 1, 0, 0, 0.0}, "12345-01-01T00:00:00.000Z"},
      {{-1, 1, 1, 0, 0, 0.0}, "-001-01-01T00:00:00.000Z"},
      {{2024, 13, 0, 25, 61, 100.25}, "2024-13-00T25:61:100.250Z"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(timestamp_text(c.time), c.text);
  }
  std::string out = "start=";
  qcn::rinex::append_timestamp_text(out, {2024, 3, 1, 0, 0, 5.5});
  EXPECT_EQ(out, "start=2024-03-01T00:00:05.500Z");
}

TEST(EpochTimeTest, TimestampTextSortsChronologically) {
  std::vector<EpochTime> times = {
      {2024, 3, 1, 0, 0, 5.5},   {2024, 3, 1, 0, 0, 50.0},  {2024, 3, 1, 0, 1, 0.0},  {2024, 3, 1, 10, 0, 0.0},
      {2024, 3, 10, 0, 0, 0.0},  {2024, 12, 1, 0, 0, 0.0},  {2024, 2, 29, 23, 59, 59.999}, {1999, 12, 31, 0, 0, 0.0},
      {2000, 1, 1, 0, 0, 0.0},   {2024, 3, 1, 0, 0, 9.999}, {2024, 3, 1, 0, 0, 10.0}, {1000, 1, 1, 0, 0, 0.0},
  };
  std::vector<EpochTime> by_time = times;
  std::sort(by_time.begin(), by_time.end(),
            [](const EpochTime& a, const EpochTime& b) { return seconds_between(a, b) < 0; });
  std::vector<std::string> texts;
  for (const EpochTime& t : times) texts.push_back(timestamp_text(t));
  std::sort(texts.begin(), texts.end());
  ASSERT_EQ(texts.size(), by_time.size());
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i], timestamp_text(by_time[i]));
}

}  // namespace

namespace {

/// The timestamp text as printf writes it.
std::string printf_timestamp(const EpochTime& t) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02u:%02u:%06.3fZ", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buffer;
}

// Ordinary fields are written digit by digit; the seconds must round as printf rounds them, ties
// of the exact binary value to even.
TEST(EpochTimeTest, TimestampDigitsAgreeWithPrintf) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> seconds(0.0, 100.0);
  std::vector<double> cases = {0.0, 0.0005, 0.0015, 0.0625, 0.1875, 59.9995, 59.99949999, 59.9996, 99.9996, 30.0,
                               1e-300, 0.4995, 12.3455, 0.000499999};
  for (int k = 0; k < 20000; ++k) cases.push_back(seconds(random));
  for (int k = 0; k < 2000; ++k) cases.push_back(static_cast<double>(random() % 100000) / 1000.0 + 0.0005);
  for (double second : cases) {
    const EpochTime t{2024, 3, 1, 7, 8, second};
    ASSERT_EQ(timestamp_text(t), printf_timestamp(t)) << second;
  }
  // Fields beyond the ordinary ones keep printf's text.
  EXPECT_EQ(timestamp_text({-5, 3, 1, 0, 0, 1.0}), printf_timestamp({-5, 3, 1, 0, 0, 1.0}));
  EXPECT_EQ(timestamp_text({12345, 3, 1, 0, 0, 1.0}), "12345-03-01T00:00:01.000Z");
  EXPECT_EQ(timestamp_text({2024, 3, 1, 0, 0, 123.25}), "2024-03-01T00:00:123.250Z");
  EXPECT_EQ(timestamp_text({2024, 3, 1, 0, 0, -0.5}), "2024-03-01T00:00:-0.500Z");
}

TEST(EpochTimeTest, NanosecondsSince1970) {
  using qcn::rinex::nanoseconds_since_1970;
  EXPECT_EQ(nanoseconds_since_1970(EpochTime{1970, 1, 1, 0, 0, 0.0}), 0);
  EXPECT_EQ(nanoseconds_since_1970(EpochTime{1969, 12, 31, 23, 59, 59.5}), -500'000'000);
  // 2020-06-25 is day 18438; the fraction rounds to the nearest nanosecond.
  EXPECT_EQ(nanoseconds_since_1970(EpochTime{2020, 6, 25, 12, 30, 15.1234567891}),
            (18438LL * 86400 + 12 * 3600 + 30 * 60 + 15) * 1'000'000'000 + 123456789);
  // Fields as written, rolling over like the Julian-day arithmetic: 24:00 is the next midnight.
  EXPECT_EQ(nanoseconds_since_1970(EpochTime{2020, 6, 25, 24, 0, 0.0}),
            nanoseconds_since_1970(EpochTime{2020, 6, 26, 0, 0, 0.0}));
  // Beyond a signed 64-bit count of nanoseconds, or a second that is not a number: nothing.
  EXPECT_EQ(nanoseconds_since_1970(EpochTime{2262, 4, 12, 0, 0, 0.0}), std::nullopt);
  EXPECT_EQ(nanoseconds_since_1970(EpochTime{1677, 9, 21, 0, 0, 0.0}), std::nullopt);
  EXPECT_EQ(nanoseconds_since_1970(EpochTime{2020, 1, 1, 4000000000u, 0, 0.0}), std::nullopt);
  EXPECT_EQ(nanoseconds_since_1970(EpochTime{2020, 1, 1, 0, 0, std::nan("")}), std::nullopt);
  EXPECT_EQ(nanoseconds_since_1970(EpochTime{2262, 4, 11, 0, 0, 0.0}), 9223286400000000000LL);
}

}  // namespace
