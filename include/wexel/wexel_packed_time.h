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
