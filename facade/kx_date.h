// Automation dates and packed times.
//
// An automation DATE counts days from 1899-12-30 00:00 with the time of day as
// the fraction. Before that day the fraction keeps its positive meaning while
// the whole value is negative: -1.25 is 1899-12-29 06:00 (day -1, then a
// quarter day), so -0.25 and 0.25 name the same moment.
//
// A packed time holds twelve BCD digits, most significant first: year in bits
// 63..48, month 47..40, day 39..32, hour 31..24, minute 23..16, second 15..8;
// bits 7..0 are ignored when read and written as zero. Zero means "no date".
//
// Header-only so that hosts (kxcli) and tests share the one calendar.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

#include "quarnel3/automation.h"

namespace kx {

using PackedTime = uint64_t;

struct CivilTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;

  bool operator==(const CivilTime&) const = default;
};

inline constexpr double kSecondsPerDay = 86400.0;

// The automation date range: 0100-01-01 to 9999-12-31.
inline constexpr double kFirstDate = -657434.0;
inline constexpr double kLastDate = 2958466.0;  // exclusive

namespace date_detail {

inline int bcd(PackedTime packed, int shift, int digits) {
  int value = 0;
  for (int i = digits - 1; i >= 0; --i) value = value * 10 + static_cast<int>((packed >> (shift + 4 * i)) & 0xF);
  return value;
}

inline PackedTime toBcd(int value, int digits) {
  PackedTime out = 0;
  for (int i = 0; i < digits; ++i) {
    out |= static_cast<PackedTime>(value % 10) << (4 * i);
    value /= 10;
  }
  return out;
}

// Days from 1970-01-01 to a proleptic Gregorian date, and back (the
// era-based algorithms: exact for every int64 day count in range).
inline int64_t daysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

inline void civilFromDays(int64_t z, CivilTime* out) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out->year = static_cast<int>(yoe + era * 400 + (month <= 2));
  out->month = month;
  out->day = day;
}

// 1899-12-30 counted from 1970-01-01.
inline constexpr int64_t kDateEpochDays = -25569;

}  // namespace date_detail

// The digits of a packed time, unchecked.
inline CivilTime unpackTime(PackedTime packed) {
  using date_detail::bcd;
  return {bcd(packed, 48, 4), bcd(packed, 40, 2), bcd(packed, 32, 2),
          bcd(packed, 24, 2), bcd(packed, 16, 2), bcd(packed, 8, 2)};
}

// Fields must lie in their digit ranges (year 0..9999, the others 0..99).
inline PackedTime packTime(const CivilTime& t) {
  using date_detail::toBcd;
  return toBcd(t.year, 4) << 48 | toBcd(t.month, 2) << 40 | toBcd(t.day, 2) << 32 | toBcd(t.hour, 2) << 24 |
         toBcd(t.minute, 2) << 16 | toBcd(t.second, 2) << 8;
}

// Days from 1899-12-30, by the server's rule: the days before the month are
// those of a common year, less one in January and February of a leap year.
// Only the month must be valid (1..12); day and year are taken as they come.
inline int64_t dayNumber(int64_t year, int month, int64_t day) {
  static constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int64_t early = leap && month <= 2 ? 1 : 0;
  return 365 * year + year / 4 - year / 100 + year / 400 + kDaysBefore[month - 1] + day - early - 693959;
}

// A day number and the seconds into that day as an automation DATE.
inline DATE composeDate(int64_t days, double seconds) {
  const double fraction = seconds / kSecondsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

// Packed time to DATE. A month outside 1..12 cannot be placed in a year; such
// a value (zero included) gives 0, which every caller reads as no date.
inline DATE packedToDate(PackedTime packed) {
  const CivilTime t = unpackTime(packed);
  if (t.month < 1 || t.month > 12) return 0;
  return composeDate(dayNumber(t.year, t.month, t.day), 3600.0 * t.hour + 60.0 * t.minute + t.second);
}

// A calendar time with a fractional second to DATE (hosts reading dates).
inline DATE civilToDate(const CivilTime& t, double fractionOfSecond = 0) {
  const int64_t days = date_detail::daysFromCivil(t.year, t.month, t.day) - date_detail::kDateEpochDays;
  return composeDate(days, 3600.0 * t.hour + 60.0 * t.minute + t.second + fractionOfSecond);
}

// DATE to the calendar, rounded to the nearest second. The rounding runs on
// the time line, not on the stored value: before 1899-12-30 a larger
// magnitude means an earlier day but a later time of day, so pushing the
// value away from zero by half a second would move a time just before
// midnight two days back instead of to the next midnight. Nullopt outside
// the automation date range and for NaN.
inline std::optional<CivilTime> dateToCivil(DATE value) {
  if (!(value >= kFirstDate && value < kLastDate)) return std::nullopt;
  const double whole = std::trunc(value);
  const double fraction = std::fabs(value - whole);
  const int64_t seconds =
      static_cast<int64_t>(whole) * 86400 + static_cast<int64_t>(std::llround(fraction * kSecondsPerDay));
  const int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  const int64_t ofDay = seconds - days * 86400;
  CivilTime t;
  date_detail::civilFromDays(days + date_detail::kDateEpochDays, &t);
  t.hour = static_cast<int>(ofDay / 3600);
  t.minute = static_cast<int>(ofDay / 60 % 60);
  t.second = static_cast<int>(ofDay % 60);
  return t;
}

// DATE to packed time, rounded to the nearest second; 0 when the value is no
// date the digits can hold.
inline PackedTime dateToPacked(DATE value) {
  const std::optional<CivilTime> t = dateToCivil(value);
  return t ? packTime(*t) : 0;
}

}  // namespace kx
