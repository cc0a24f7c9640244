// Automation dates on the calendar.
#include <cmath>
#include <cstdint>

#include "quarnel3/date.h"

namespace quarnel3 {
namespace {

// 1899-12-30 counted from 1970-01-01.
constexpr int64_t kDateEpochDays = -25569;

// Days from 1970-01-01 to a proleptic Gregorian date, and back: the era-based
// algorithms, exact for every day count a DATE can hold. The day is taken as
// it comes, one day per unit past the first of the month.
int64_t daysFromCivil(int64_t y, int m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, CivilTime* out) {
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

}  // namespace

std::optional<DATE> civilToDate(const CivilTime& t, double fractionOfSecond) {
  if (t.month < 1 || t.month > 12) return std::nullopt;
  const int64_t days = daysFromCivil(t.year, t.month, t.day) - kDateEpochDays;
  const double fraction = (3600.0 * t.hour + 60.0 * t.minute + t.second + fractionOfSecond) / kSecondsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

// The rounding runs on the time line, not on the stored value: before
// 1899-12-30 a larger magnitude means an earlier day but a later time of day,
// so pushing the value away from zero by half a second would move a time just
// before midnight two days back instead of to the next midnight.
std::optional<CivilTime> dateToCivil(DATE value) {
  if (!(value >= kFirstDate && value < kLastDate)) return std::nullopt;
  const double whole = std::trunc(value);
  const double fraction = std::fabs(value - whole);
  const int64_t seconds =
      static_cast<int64_t>(whole) * 86400 + static_cast<int64_t>(std::llround(fraction * kSecondsPerDay));
  const int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  const int64_t ofDay = seconds - days * 86400;
  CivilTime t;
  civilFromDays(days + kDateEpochDays, &t);
  t.hour = static_cast<int>(ofDay / 3600);
  t.minute = static_cast<int>(ofDay / 60 % 60);
  t.second = static_cast<int>(ofDay % 60);
  return t;
}

}  // namespace quarnel3
