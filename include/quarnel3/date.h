// Automation dates and the calendar: what VariantTimeToSystemTime and
// SystemTimeToVariantTime do on Windows. Link quarnel3_platform to use it.
//
// An automation DATE counts days from 1899-12-30 00:00 with the time of day as
// the fraction. Before that day the fraction keeps its positive meaning while
// the whole value is negative: -1.25 is 1899-12-29 06:00 (day -1, then a
// quarter day), so -0.25 and 0.25 name the same moment.
#pragma once

#include <optional>

#include "quarnel3/automation.h"

namespace quarnel3 {

// A time on the proleptic Gregorian calendar, to the second.
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

// A calendar time and a fraction of a second as a DATE. Only the month must
// name one (1..12), else nullopt; the other fields count on from the first of
// that month as they come, so 2013-02-30 is 2013-03-02 and 24:00 the next
// midnight.
std::optional<DATE> civilToDate(const CivilTime& t, double fractionOfSecond = 0);

// A DATE on the calendar, rounded to the nearest second. Nullopt outside the
// automation date range and for NaN.
std::optional<CivilTime> dateToCivil(DATE value);

}  // namespace quarnel3
