// Packed times as automation dates: the library's fields placed on the
// platform's calendar.
#pragma once

#include "quarnel3/date.h"
#include "wexel/wexel_packed_time.h"

namespace kx {

// Packed time to DATE. A month outside 1..12 cannot be placed in a year; such
// a value (zero included) gives 0, which every caller reads as no date. The
// other fields are taken as they come: the server counts a day or an hour past
// its range on into the next.
inline DATE packedToDate(wexel::PackedTime packed) {
  const wexel::WDateTime t = wexel::unpackTime(packed);
  return quarnel3::civilToDate({t.year, t.month, t.day, t.hour, t.minute, t.second}).value_or(0);
}

// DATE to packed time, rounded to the nearest second; 0 when the value is no
// date the digits can hold.
inline wexel::PackedTime dateToPacked(DATE value) {
  const std::optional<quarnel3::CivilTime> t = quarnel3::dateToCivil(value);
  return t ? wexel::packTime({t->year, t->month, t->day, t->hour, t->minute, t->second}) : 0;
}

}  // namespace kx
