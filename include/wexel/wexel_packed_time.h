// Packed times: the server's date-time stamps, twelve BCD digits in a 64-bit
// word, and their fields as numbers.
#pragma once

#include <cstdint>

namespace wexel {

// Date-time in BCD digits: year in bits 63..48, month 47..40, day 39..32,
// hour 31..24, minute 23..16, second 15..8, bits 7..0 zero. Zero means "no
// date"; the digits 0x20131231235959 read as 2013-12-31 23:59:59.
using PackedTime = uint64_t;

// The fields of a packed time.
struct WDateTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;

  bool operator==(const WDateTime&) const = default;
};

namespace packed_detail {

// `digits` nibbles from bit `shift` up, most significant first.
constexpr int fromBcd(PackedTime packed, int shift, int digits) {
  int value = 0;
  for (int i = digits - 1; i >= 0; --i) value = value * 10 + static_cast<int>((packed >> (shift + 4 * i)) & 0xF);
  return value;
}

constexpr PackedTime toBcd(int value, int digits) {
  PackedTime out = 0;
  for (int i = 0; i < digits; ++i) {
    out |= static_cast<PackedTime>(value % 10) << (4 * i);
    value /= 10;
  }
  return out;
}

}  // namespace packed_detail

// The fields, unchecked: a nibble above 9 counts with its value (0xA as ten),
// so nothing is lost and nothing fails here; bits 7..0 are ignored.
constexpr WDateTime unpackTime(PackedTime packed) {
  using packed_detail::fromBcd;
  return {fromBcd(packed, 48, 4), fromBcd(packed, 40, 2), fromBcd(packed, 32, 2),
          fromBcd(packed, 24, 2), fromBcd(packed, 16, 2), fromBcd(packed, 8, 2)};
}

// Fields must lie in their digit ranges (year 0..9999, the others 0..99);
// bits 7..0 come out zero.
constexpr PackedTime packTime(const WDateTime& t) {
  using packed_detail::toBcd;
  return toBcd(t.year, 4) << 48 | toBcd(t.month, 2) << 40 | toBcd(t.day, 2) << 32 | toBcd(t.hour, 2) << 24 |
         toBcd(t.minute, 2) << 16 | toBcd(t.second, 2) << 8;
}

}  // namespace wexel

// ---- calendar arithmetic and bar stamps ---------------------------------------

namespace wexel {

// Bar intervals, numbered as the host's bar interval values.
enum WBarInterval : int {
  kBarTick = 0,
  kBar1Min = 1,
  kBar5Min = 2,
  kBar10Min = 3,
  kBar15Min = 4,
  kBar30Min = 5,
  kBar60Min = 6,
  kBar2Hour = 7,
  kBar4Hour = 8,
  kBarDay = 9,
  kBarWeek = 10,
  kBarMonth = 11,
  kBarQuarter = 12,
  kBarYear = 13,
};

// t plus `seconds` (either sign) with full calendar carry, packed again with
// the low byte 0. Fields out of their ranges are carried over too (month 13
// is January of the next year), so any packed time gives a valid one; years
// are kept within 0..9999.
PackedTime addSeconds(PackedTime t, int64_t seconds);

// The stamp of the bar of `interval` that contains t: the end of the bar for
// intervals below a day (10:07:30 in 5 minutes is 10:10:00), 23:59:59 of the
// bar's last day from a day on (a week ends on its Friday; Sunday belongs to
// the Friday two days before). Values outside 0..13 count as 1 minute.
PackedTime barEnd(PackedTime t, int interval);

// The stamp a base bar stamped `time` takes in a bar of `interval`: base bars
// below a day are stamped on their end, so 10:05:00 belongs to the 5-minute
// bar 10:05:00 and 10:06:00 to 10:10:00.
PackedTime barStamp(PackedTime time, int interval);

// Base bars the server keeps: 1 minute (paged by day), 30 minutes (by month),
// one day (by year).
struct WPageRange {
  int baseInterval;  // kBar1Min, kBar30Min or kBarDay
  PackedTime start;  // the page holds bars with start <= time < end
  PackedTime end;
  int capacity;      // bars a full page holds
};

// The base interval a request for `interval` reads.
int baseIntervalOf(int interval);
// The page of `interval`'s base bars that contains t.
WPageRange pageRange(PackedTime t, int interval);

}  // namespace wexel
