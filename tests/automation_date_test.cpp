// Automation dates and packed times: the server's day rule, the automation
// convention before 1899-12-30, rounding to the nearest second, the BCD
// digits, and the round trip that GetBars and GetTrades rely on.
#include <gtest/gtest.h>

#include <cmath>

#include "quarnel3/date.h"
#include "wexel/wexel_packed_time.h"

namespace {

using quarnel3::CivilTime;

wexel::WDateTime fields(const CivilTime& t) { return {t.year, t.month, t.day, t.hour, t.minute, t.second}; }

TEST(AutomationDate, CalendarTimesBecomeDaysSince18991230WithTheTimeAsFraction) {
  struct Case {
    CivilTime time;
    double date;
  } cases[] = {
      {{2012, 2, 29, 10, 30, 15}, 40968.43767361},
      {{1899, 12, 30}, 0},
      {{1899, 12, 31, 6}, 1.25},
      {{1899, 12, 29, 6}, -1.25},  // before the epoch the fraction is subtracted
      {{1900, 1, 1}, 2},
      {{1900, 3, 1}, 61},  // 1900 is no leap year
      {{2000, 3, 1}, 36586},
      {{2013, 12, 31, 23, 59, 59}, 41639.99998843},
      {{9999, 12, 31}, 2958465},
  };
  for (const Case& c : cases) {
    const auto date = quarnel3::civilToDate(c.time);
    ASSERT_TRUE(date) << c.time.year << "-" << c.time.month << "-" << c.time.day;
    EXPECT_NEAR(*date, c.date, 5e-9) << c.time.year << "-" << c.time.month << "-" << c.time.day;
  }
  EXPECT_NEAR(quarnel3::civilToDate({2012, 2, 29, 10, 30, 15}, 0.5).value(), 40968.43767940, 5e-9);
}

TEST(AutomationDate, AMonthOutsideTheYearGivesNoDate) {
  for (const CivilTime& t : {CivilTime{}, CivilTime{2012, 13, 1}, CivilTime{2012, 0, 1}}) {
    EXPECT_FALSE(quarnel3::civilToDate(t).has_value()) << t.month;
  }
}

// Packed times carry whatever digits the server sent; only the month is
// needed to place them.
TEST(AutomationDate, DaysAndTimesPastTheirRangeCountOnIntoTheNext) {
  struct Case {
    CivilTime odd;
    CivilTime same;
  } cases[] = {
      {{2013, 2, 30}, {2013, 3, 2}},
      {{2012, 2, 31}, {2012, 3, 2}},
      {{2013, 12, 32}, {2014, 1, 1}},
      {{2013, 3, 0}, {2013, 2, 28}},
      {{2013, 5, 1, 24}, {2013, 5, 2}},
      {{2013, 5, 1, 10, 99, 99}, {2013, 5, 1, 11, 40, 39}},
  };
  for (const Case& c : cases) EXPECT_EQ(quarnel3::civilToDate(c.odd), quarnel3::civilToDate(c.same)) << c.odd.day;
}

// The server numbers days by its own formula; the calendar must agree with it
// for every year the digits can spell (a nibble above 9 included) and for days
// past the month's end.
TEST(AutomationDate, DayNumbersFollowTheServersRule) {
  constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  auto serverDay = [&](int64_t y, int m, int64_t d) {
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return 365 * y + y / 4 - y / 100 + y / 400 + kDaysBefore[m - 1] + d - (leap && m <= 2) - 693959;
  };
  for (int year = 0; year <= 16665; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day : {0, 1, 28, 29, 30, 31, 99, 165}) {
        ASSERT_EQ(quarnel3::civilToDate({year, month, day}), static_cast<double>(serverDay(year, month, day)))
            << year << "-" << month << "-" << day;
      }
    }
  }
}

TEST(AutomationDate, DatesBecomeCalendarTimesRoundedToTheNearestSecond) {
  const double second = 1.0 / 86400;
  const double leapDay = quarnel3::civilToDate({2012, 2, 29}).value();
  struct Case {
    double date;
    CivilTime time;
  } cases[] = {
      {40968.43767361, {2012, 2, 29, 10, 30, 15}},
      {0, {1899, 12, 30}},
      {leapDay + 86399.6 * second, {2012, 3, 1}},  // 23:59:59.6 is the next day
      {leapDay + 86399.4 * second, {2012, 2, 29, 23, 59, 59}},
      {-1.25, {1899, 12, 29, 6}},
      {-0.25, {1899, 12, 30, 6}},
      // 1899-12-29 23:59:59.6 and 1899-12-30 23:59:59.6: the next midnight, not
      // a midnight further back, although the values grow away from zero.
      {-1 - 86399.6 * second, {1899, 12, 30}},
      {-86399.6 * second, {1899, 12, 31}},
  };
  for (const Case& c : cases) EXPECT_EQ(quarnel3::dateToCivil(c.date), c.time) << c.date;
}

TEST(AutomationDate, ValuesOutsideTheDateRangeGiveNoCalendarTime) {
  for (double bad : {std::nan(""), 1e300, -1e300, quarnel3::kLastDate, quarnel3::kFirstDate - 1}) {
    EXPECT_FALSE(quarnel3::dateToCivil(bad).has_value()) << bad;
  }
  EXPECT_EQ(quarnel3::dateToCivil(quarnel3::kFirstDate), (CivilTime{100, 1, 1}));
}

TEST(AutomationDate, PackedTimesHoldTheFieldsAsBcdDigits) {
  struct Case {
    wexel::PackedTime packed;
    wexel::WDateTime time;
  } cases[] = {
      {0x2012022910301500ULL, {2012, 2, 29, 10, 30, 15}},
      {0x2013123123595900ULL, {2013, 12, 31, 23, 59, 59}},
      {0x0100010100000000ULL, {100, 1, 1, 0, 0, 0}},
      {0, {0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wexel::unpackTime(c.packed), c.time) << std::hex << c.packed;
    EXPECT_EQ(wexel::packTime(c.time), c.packed) << std::hex << c.packed;
  }
  EXPECT_EQ(wexel::unpackTime(0x20120229103015FFULL), (wexel::WDateTime{2012, 2, 29, 10, 30, 15}));  // low byte ignored
  EXPECT_EQ(wexel::unpackTime(0x2012130100000000ULL).month, 13);  // read as it stands, refused by the calendar
  EXPECT_EQ(wexel::unpackTime(0x20121A0100000000ULL).month, 20);  // a nibble above 9 counts with its value
}

// Every day of four centuries, at a time that exercises every digit.
TEST(AutomationDate, EveryCalendarTimeSurvivesTheRoundTrip) {
  for (int64_t day = -40000; day < 110000; ++day) {
    const auto civil = quarnel3::dateToCivil(static_cast<double>(day));
    ASSERT_TRUE(civil);
    CivilTime t = *civil;
    t.hour = static_cast<int>(day % 24 + 24) % 24;
    t.minute = 59;
    t.second = 58;
    const auto date = quarnel3::civilToDate(t);
    ASSERT_TRUE(date) << day;
    ASSERT_EQ(quarnel3::dateToCivil(*date), t) << day;
    const wexel::PackedTime p = wexel::packTime(fields(t));
    ASSERT_EQ(wexel::unpackTime(p), fields(t)) << day;
  }
}

}  // namespace
