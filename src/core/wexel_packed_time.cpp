// Calendar arithmetic on packed times: day numbers after the civil-calendar
// algorithms (days since 1970-01-01, proleptic Gregorian), bar stamps and the
// pages of base bars.
#include <algorithm>

#include "wexel/wexel_packed_time.h"

namespace wexel {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
  // Months outside 1..12 carry into the year first.
  y += floorDiv(m - 1, 12);
  m = m - 1 - floorDiv(m - 1, 12) * 12 + 1;
  y -= m <= 2;
  const int64_t era = floorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t mp = (m + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

WDateTime civilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = floorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d), 0, 0, 0};
}

int64_t secondsOf(const WDateTime& f) {
  return daysFromCivil(f.year, f.month, f.day) * kSecondsPerDay + int64_t{f.hour} * 3600 + int64_t{f.minute} * 60 +
         f.second;
}

constexpr int64_t kFirstSecond = -62167219200;  // 0000-01-01 00:00:00
constexpr int64_t kLastSecond = 253402300799;   // 9999-12-31 23:59:59

WDateTime fieldsAt(int64_t seconds) {
  seconds = std::clamp(seconds, kFirstSecond, kLastSecond);
  const int64_t days = floorDiv(seconds, kSecondsPerDay);
  const int64_t inDay = seconds - days * kSecondsPerDay;
  WDateTime f = civilFromDays(days);
  f.hour = static_cast<int>(inDay / 3600);
  f.minute = static_cast<int>(inDay / 60 % 60);
  f.second = static_cast<int>(inDay % 60);
  return f;
}

// The fields of t with everything out of range carried over.
WDateTime normalised(PackedTime t) { return fieldsAt(secondsOf(unpackTime(t))); }

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

PackedTime endOfDay(WDateTime f) {
  f.hour = 23;
  f.minute = 59;
  f.second = 59;
  return packTime(f);
}

// Monday 0 .. Sunday 6; 1970-01-01 was a Thursday.
int weekdayOf(const WDateTime& f) {
  const int64_t days = daysFromCivil(f.year, f.month, f.day);
  return static_cast<int>(days + 3 - floorDiv(days + 3, 7) * 7);
}

// Intraday bars: the minutes truncated to a multiple of `minutes` (hours to a
// multiple of minutes / 60), plus the length of the bar.
PackedTime intradayEnd(WDateTime f, int minutes) {
  f.second = 0;
  if (minutes >= 60) {
    const int hours = minutes / 60;
    f.hour -= f.hour % hours;
    f.minute = 0;
  } else {
    f.minute -= f.minute % minutes;
  }
  return addSeconds(packTime(f), int64_t{minutes} * 60);
}

PackedTime weekEnd(const WDateTime& f) {
  const int weekday = weekdayOf(f);
  const int toFriday = weekday == 6 ? -2 : 4 - weekday;  // Saturday goes back one day
  return endOfDay(fieldsAt(secondsOf(f) + int64_t{toFriday} * kSecondsPerDay));
}

PackedTime monthEnd(WDateTime f, int lastMonth) {
  f.month = lastMonth;
  f.day = daysInMonth(f.year, lastMonth);
  return endOfDay(f);
}

// Length in minutes of the intraday intervals; 0 for day and longer.
int intradayMinutes(int interval) {
  static constexpr int kMinutes[] = {1, 1, 5, 10, 15, 30, 60, 120, 240, 0, 0, 0, 0, 0};
  return interval >= 0 && interval <= kBarYear ? kMinutes[interval] : 1;
}

}  // namespace

PackedTime addSeconds(PackedTime t, int64_t seconds) { return packTime(fieldsAt(secondsOf(unpackTime(t)) + seconds)); }

PackedTime barEnd(PackedTime t, int interval) {
  const WDateTime f = normalised(t);
  if (const int minutes = intradayMinutes(interval); minutes > 0) return intradayEnd(f, minutes);
  switch (interval) {
    case kBarDay: return endOfDay(f);
    case kBarWeek: return weekEnd(f);
    case kBarMonth: return monthEnd(f, f.month);
    case kBarQuarter: return monthEnd(f, (f.month - 1) / 3 * 3 + 3);
    default: return monthEnd(f, 12);  // kBarYear
  }
}

PackedTime barStamp(PackedTime time, int interval) {
  return intradayMinutes(interval) > 0 ? barEnd(addSeconds(time, -1), interval) : barEnd(time, interval);
}

int baseIntervalOf(int interval) {
  if (interval >= kBar30Min && interval <= kBar4Hour) return kBar30Min;
  if (interval >= kBarDay && interval <= kBarYear) return kBarDay;
  return kBar1Min;
}

WPageRange pageRange(PackedTime t, int interval) {
  const WDateTime f = normalised(t);
  const int base = baseIntervalOf(interval);
  if (base == kBar1Min) {
    const PackedTime start = packTime({f.year, f.month, f.day, 0, 0, 0});
    return {base, start, addSeconds(start, kSecondsPerDay), 1440};
  }
  if (base == kBar30Min) {
    const WDateTime next = f.month == 12 ? WDateTime{f.year + 1, 1, 1} : WDateTime{f.year, f.month + 1, 1};
    return {base, packTime({f.year, f.month, 1, 0, 0, 0}), packTime(next), 1488};
  }
  return {base, packTime({f.year, 1, 1, 0, 0, 0}), packTime({std::min(f.year + 1, 9999), 1, 1, 0, 0, 0}), 366};
}

}  // namespace wexel
