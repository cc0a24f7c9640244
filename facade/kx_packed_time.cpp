#include "kx_packed_time.h"

namespace kx {
namespace {

constexpr int kDaysBeforeMonth[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
// Day number of 30 December 1899 in the count below.
constexpr long kEpochDay = 693959;

// The decimal value of `digits` BCD nibbles ending at bit `low`.
int bcd(uint64_t packed, int low, int digits) {
  int value = 0;
  for (int i = digits - 1; i >= 0; --i) value = value * 10 + static_cast<int>((packed >> (low + 4 * i)) & 0xF);
  return value;
}

bool leapYear(long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

DATE packedTimeToDate(wexel::PackedTime packed) {
  const long year = bcd(packed, 48, 4);
  const int month = bcd(packed, 40, 2);
  if (month < 1 || month > 12) return 0;
  const long day = bcd(packed, 32, 2);
  const long leapCorrection = leapYear(year) && month <= 2 ? 1 : 0;
  const long days = 365 * year + year / 4 - year / 100 + year / 400 + kDaysBeforeMonth[month - 1] + day -
                    leapCorrection - kEpochDay;
  const double fraction = (3600.0 * bcd(packed, 24, 2) + 60.0 * bcd(packed, 16, 2) + bcd(packed, 8, 2)) / 86400.0;
  return days >= 0 ? days + fraction : days - fraction;
}

}  // namespace kx
