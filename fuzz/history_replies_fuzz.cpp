// Arbitrary bytes as a bar reply or a tick-history reply (first byte even:
// bars, odd: ticks), offered record by record as the decoder does, each time
// from an exact-size copy. Every answer must be 0, -1001 or a count within the
// bytes offered, and a reply is answered at most once. The first byte's
// upper half also sends the first bytes, read as packed times, through the
// bar and page arithmetic: a page holds the time it was asked for and a bar
// ends at or after it (but for weeks, whose weekends belong to the Friday
// before).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "history/wexel_get_bars_request.h"
#include "history/wexel_get_ticks_request.h"
#include "wexel/wexel_errors.h"
#include "wexel/wexel_packed_time.h"

namespace {

using namespace wexel;

struct Answers : WexelHistoryBarsListener, WexelGetTicksListener {
  int count = 0;
  void onBars(const std::string&, const std::string&, int, WContext, const std::vector<WHistoryBar>&) override {
    ++count;
  }
  void onTicks(const std::string&, const std::string&, const std::vector<WTick>&, WContext) override { ++count; }
  void onError(WContext, const std::string&, int) override { ++count; }
};

// One exact-size copy: every offer ends where the block ends.
void offer(WLZ77Parser& parser, const uint8_t* data, size_t size) {
  const std::vector<char> copy(data, data + size);
  size_t at = 0;
  while (at < size) {
    const int k = parser.parseRecord(copy.data() + at, static_cast<int>(size - at));
    if (k == 0 || k == kErrorMalformed) return;
    if (k < 0 || static_cast<size_t>(k) > size - at) std::abort();
    at += static_cast<size_t>(k);
  }
}

bool validFields(PackedTime t) {
  const WDateTime f = unpackTime(t);
  for (int shift = 8; shift < 64; shift += 4) {
    if (((t >> shift) & 0xF) > 9) return false;
  }
  return (t & 0xFF) == 0 && f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= 31 && f.hour < 24 &&
         f.minute < 60 && f.second < 60;
}

// The first kTimesChecked times of the input: each is checked against every
// interval on its own, so more of them in one input only slow the target.
constexpr size_t kTimesChecked = 16;

void checkTimes(const uint8_t* data, size_t size) {
  for (size_t i = 0; i + 8 <= size && i < 8 * kTimesChecked; i += 8) {
    PackedTime t;
    std::memcpy(&t, data + i, 8);
    const PackedTime normal = addSeconds(t, 0);
    if (!validFields(normal)) std::abort();
    if (unpackTime(normal).year >= 9999) continue;  // the calendar's end: nothing after it to point at
    for (int interval = -1; interval <= 14; ++interval) {
      const PackedTime end = barEnd(t, interval);
      // A week ends on its Friday: Saturday and Sunday point back to it.
      if (!validFields(end) || (end < normal && interval != kBarWeek)) std::abort();
      if (!validFields(barStamp(t, interval))) std::abort();
      const WPageRange page = pageRange(t, interval);
      if (!(page.start <= normal && normal < page.end)) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  ++data;
  --size;
  if (mode & 0x10) checkTimes(data, size);
  Answers answers;
  if (mode & 1) {
    WGetTicksParser parser(&answers, "MB", "SBER", 0);
    offer(parser, data, size);
    parser.onError(kErrorClosed, "closed");
  } else {
    WHistoryBarsParser parser(&answers, "MB", "SBER", kBar5Min, 0);
    offer(parser, data, size);
    parser.onError(kErrorClosed, "closed");
  }
  if (answers.count != 1) std::abort();
  return 0;
}
