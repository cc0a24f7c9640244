// Packed times and automation dates: the server's day rule, the automation
// convention before 1899-12-30, rounding to the nearest second, and the round
// trip that GetBars and GetTrades rely on.
#include <gtest/gtest.h>

#include "kx_date.h"

namespace {

using kx::CivilTime;

kx::PackedTime packed(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return kx::packTime(CivilTime{y, mo, d, h, mi, s});
}

TEST(AutomationDate, PackedTimesBecomeDaysSince18991230WithTheTimeAsFraction) {
  struct Case {
    kx::PackedTime time;
    double date;
  } cases[] = {
      {packed(2012, 2, 29, 10, 30, 15), 40968.43767361},
      {packed(1899, 12, 30), 0},
      {packed(1899, 12, 31, 6), 1.25},
      {packed(1899, 12, 29, 6), -1.25},  // before the epoch the fraction is subtracted
      {packed(1900, 1, 1), 2},
      {packed(1900, 3, 1), 61},  // 1900 is no leap year
      {packed(2000, 3, 1), 36586},
      {packed(2013, 12, 31, 23, 59, 59), 41639.99998843},
      {packed(9999, 12, 31), 2958465},
  };
  for (const Case& c : cases) EXPECT_NEAR(kx::packedToDate(c.time), c.date, 5e-9) << std::hex << c.time;
  EXPECT_EQ(kx::packTime({2012, 2, 29, 10, 30, 15}), 0x2012022910301500ULL);
}

TEST(AutomationDate, AMonthOutsideTheYearGivesNoDate) {
  EXPECT_EQ(kx::packedToDate(0), 0);
  EXPECT_EQ(kx::packedToDate(0x2012130100000000ULL), 0);
  EXPECT_EQ(kx::packedToDate(0x2012000100000000ULL), 0);
  EXPECT_EQ(kx::unpackTime(0x20120229103015FFULL), (CivilTime{2012, 2, 29, 10, 30, 15}));  // low byte ignored
}

TEST(AutomationDate, DatesBecomePackedTimesRoundedToTheNearestSecond) {
  const double second = 1.0 / 86400;
  const double leapDay = kx::packedToDate(packed(2012, 2, 29));
  struct Case {
    double date;
    kx::PackedTime time;
  } cases[] = {
      {40968.43767361, packed(2012, 2, 29, 10, 30, 15)},
      {0, packed(1899, 12, 30)},
      {leapDay + 86399.6 * second, packed(2012, 3, 1)},  // 23:59:59.6 is the next day
      {leapDay + 86399.4 * second, packed(2012, 2, 29, 23, 59, 59)},
      {-1.25, packed(1899, 12, 29, 6)},
      {-0.25, packed(1899, 12, 30, 6)},
      // 1899-12-29 23:59:59.6 and 1899-12-30 23:59:59.6: the next midnight, not
      // a midnight further back, although the values grow away from zero.
      {-1 - 86399.6 * second, packed(1899, 12, 30)},
      {-86399.6 * second, packed(1899, 12, 31)},
  };
  for (const Case& c : cases) EXPECT_EQ(kx::dateToPacked(c.date), c.time) << c.date;
}

TEST(AutomationDate, ValuesOutsideTheDateRangeGiveNoPackedTime) {
  for (double bad : {std::nan(""), 1e300, -1e300, kx::kLastDate, kx::kFirstDate - 1}) {
    EXPECT_EQ(kx::dateToPacked(bad), 0u) << bad;
    EXPECT_FALSE(kx::dateToCivil(bad).has_value());
  }
}

// Every day of four centuries, at a time that exercises every digit.
TEST(AutomationDate, EveryPackedTimeSurvivesTheRoundTrip) {
  for (int64_t day = -40000; day < 110000; ++day) {
    const auto civil = kx::dateToCivil(static_cast<double>(day));
    ASSERT_TRUE(civil);
    CivilTime t = *civil;
    t.hour = static_cast<int>(day % 24 + 24) % 24;
    t.minute = 59;
    t.second = 58;
    const kx::PackedTime p = kx::packTime(t);
    ASSERT_EQ(kx::dateToPacked(kx::packedToDate(p)), p) << day;
    ASSERT_NEAR(kx::civilToDate(t), kx::packedToDate(p), 1e-9) << day;
  }
}

}  // namespace
