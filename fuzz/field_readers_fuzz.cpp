// Arbitrary bytes as decoded record data: every reader from every nibble
// position, with the capacity and the starting parity taken from the input.
// Each answer must be 0, -1 or the nibbles the cursor moved, within the data;
// the field count must be what a nibble-by-nibble walk counts.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/wexel_lz77_parser.h"

namespace {

using wexel::WLZ77Parser;
using wexel::WNibbleCursor;

class Readers : public WLZ77Parser {
 public:
  int parseRecord(const char*, int) override { return 0; }
};

void check(const WNibbleCursor& before, const WNibbleCursor& after, int result) {
  if (result < -1 || result > before.nibbles) std::abort();
  WNibbleCursor expected = before;
  if (result > 0) expected.advance(result);
  if (after.data != expected.data || after.nibbles != expected.nibbles) std::abort();
}

// A number read must be exactly what strtod makes of the same digits: sign
// marker 0xA plus / 0xB minus, digits, 0xD the point.
void checkDecimal(const WNibbleCursor& at, int used, double value) {
  std::string text = at.at(0) == 0xB ? "-0" : "0";
  for (int i = 1; i < used; ++i) text.push_back(at.at(i) == 0xD ? '.' : static_cast<char>('0' + at.at(i)));
  const double expected = std::strtod(text.c_str(), nullptr);
  if (std::memcmp(&expected, &value, sizeof value) != 0) std::abort();
}

template <typename Read>
void probe(const WNibbleCursor& at, Read read) {
  WNibbleCursor c = at;
  check(at, c, read(c));
}

// The field count nibble by nibble, as the readers would pass the fields.
int countFieldsSlowly(WNibbleCursor at, int enough) {
  int fields = 0;
  while (at.nibbles > 0) {
    const int m = at.at(0);
    if (m == wexel::kEnd) return fields;
    if (m == wexel::kString) return -1;
    if ((m == wexel::kPlus || m == wexel::kMinus || m == wexel::kSmall) && ++fields > enough) return fields;
    const int step = m == wexel::kSmall ? 2 : 1;
    if (step > at.nibbles) return -1;
    at.advance(step);
  }
  return -1;
}

// `recordStart`: the data's start or just after an end nibble, where parsers
// count a record's fields (counting from every position would double the
// target's time for little).
void readEverything(const Readers& r, const WNibbleCursor& at, int capacity, bool recordStart) {
  int32_t i32;
  int64_t i64;
  double d;
  uint64_t t;
  probe(at, [&](WNibbleCursor& c) { return r.readInt32(c, i32); });
  probe(at, [&](WNibbleCursor& c) { return r.readInt64(c, i64); });
  probe(at, [&](WNibbleCursor& c) {
    const int result = r.readDouble(c, d);
    if (result > 1) checkDecimal(at, result, d);
    return result;
  });
  probe(at, [&](WNibbleCursor& c) { return r.readDateTime(c, t); });
  probe(at, [&](WNibbleCursor& c) { return r.readSmall(c, i32); });
  probe(at, [&](WNibbleCursor& c) { return r.readRecordEnd(c); });
  probe(at, [&](WNibbleCursor& c) { return r.readGroupMark(c); });
  probe(at, [&](WNibbleCursor& c) { return r.skipRecord(c); });
  const int enough = capacity / 2;
  if (recordStart && WLZ77Parser::countNumberFields(at, enough) != countFieldsSlowly(at, enough)) std::abort();
  // An exact-size buffer, so a copy beyond the capacity shows at once.
  std::vector<char> text(static_cast<size_t>(capacity));
  probe(at, [&](WNibbleCursor& c) {
    const int result = r.readString(c, text.data(), capacity);
    if (result > 0 && std::memchr(text.data(), 0, text.size()) == nullptr) std::abort();
    return result;
  });
}

// The readers see at most kWindow nibbles from each position, so that the
// readers that scan (skipRecord, readString) cost O(size) in all, not
// O(size^2). The last kWindow positions see the data's true end, where a read
// past it shows under ASan; reading does not depend on the position.
// The cursor's parity (which half of its byte comes next) is that of its
// count, so the window keeps it.
constexpr int kWindow = 256;
WNibbleCursor window(WNibbleCursor at) {
  at.nibbles = std::min(at.nibbles, kWindow + (at.nibbles & 1));
  return at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int capacity = 1 + data[0] % 80;
  const int skipFirstNibble = data[1] & 1;
  // The record bytes in a heap block of their own size, so that any read past
  // them is caught by the address sanitizer.
  const std::vector<char> bytes(data + 2, data + size);
  const Readers readers;
  WNibbleCursor at(bytes.data(), static_cast<int>(bytes.size()));
  if (skipFirstNibble && at.nibbles > 0) at.advance(1);
  bool recordStart = true;
  for (; at.nibbles > 0; at.advance(1)) {
    readEverything(readers, window(at), capacity, recordStart);
    recordStart = at.at(0) == wexel::kEnd;
  }
  readEverything(readers, at, capacity, recordStart);
  return 0;
}
