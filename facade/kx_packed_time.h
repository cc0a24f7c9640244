// The records' packed time (BCD digits: year in bits 63-48, month 47-40, day
// 39-32, hour 31-24, minute 23-16, second 15-8) as an automation DATE.
#pragma once

#include "quarnel3/automation.h"
#include "wexel_records.h"

namespace kx {

// Days since 30 December 1899 with the time of day as fraction; 0 for a
// month outside 1..12 (no date).
DATE packedTimeToDate(wexel::PackedTime packed);

}  // namespace kx
