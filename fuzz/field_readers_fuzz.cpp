// Arbitrary bytes as decoded record data: every reader from every nibble
// position of the first 128 bytes and of the last ones, with the capacity
// and the starting parity taken from the input.
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
// target's time for little). `text` is the string reader's buffer, of
// exactly the capacity, so a copy beyond it shows at once.
void readEverything(const Readers& r, const WNibbleCursor& at, std::vector<char>& text, bool recordStart) {
  const int capacity = static_cast<int>(text.size());
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
  probe(at, [&](WNibbleCursor& c) {
    const int result = r.readString(c, text.data(), capacity);
    if (result > 0 && std::memchr(text.data(), 0, text.size()) == nullptr) std::abort();
    return result;
  });
}

// The nibble positions read from the data's start; after them, only the
// positions whose window reaches the data's end.
constexpr int kPositionsFromStart = 256;

// The readers see a window of nibbles from each position, so that the
// readers that scan (skipRecord, readString) cost O(size) in all, not
// O(size^2): room for a string of the capacity and more (so a text cut at
// the capacity is read), and 48 nibbles at least. The last positions see the
// data's true end, where a read past it shows under ASan; reading does not
// depend on the position. The cursor's parity (which half of its byte comes
// next) is that of its count, so the window keeps it.
int windowFor(int capacity) { return std::max(48, 2 * capacity + 16); }
WNibbleCursor window(WNibbleCursor at, int nibbles) {
  at.nibbles = std::min(at.nibbles, nibbles + (at.nibbles & 1));
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
  const int nibbles = windowFor(capacity);
  std::vector<char> text(static_cast<size_t>(capacity));
  bool recordStart = true;
  for (int position = 0; at.nibbles > 0; at.advance(1), ++position) {
    if (position == kPositionsFromStart && at.nibbles > nibbles + 2) {
      // Positions in the middle read nothing the first ones could not: go on
      // where the windows begin to reach the data's end.
      at.advance(at.nibbles - nibbles - 2);
    } else {
      readEverything(readers, window(at, nibbles), text, recordStart);
    }
    recordStart = at.at(0) == wexel::kEnd;
  }
  readEverything(readers, at, text, recordStart);
  return 0;
}
