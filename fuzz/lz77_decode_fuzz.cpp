// Arbitrary bytes as a compressed body: decoded whole, in pieces chosen by
// the input and, for bodies of up to 128 bytes, byte by byte, through a
// record parser that cuts records. The runs must agree on every decoded
// record and result. The whole run also reads the records of its first 256
// bytes field by field with every reader (field_readers_fuzz reads fields
// at length); the others only cut, since their records must be the same
// bytes anyway.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/wexel_lz77_parser.h"

namespace {

using wexel::WLZ77Parser;
using wexel::WNibbleCursor;

// The records a run cut, each as its length and bytes in one buffer: runs
// compare without an allocation per record.
struct RecordLog {
  std::string bytes;

  void add(const char* data, int size) {
    bytes.append(reinterpret_cast<const char*>(&size), sizeof size);
    bytes.append(data, static_cast<size_t>(size));
  }
  bool operator==(const RecordLog&) const = default;
};

// Cuts records at their end nibble and reads each one field by field with
// every reader, the way record parsers do. A record of 1,024 bytes or more is
// corrupt whether or not its end has arrived yet, so the verdict does not
// depend on how the body was split.
class FieldReadingParser : public WLZ77Parser {
 public:
  explicit FieldReadingParser(bool readFields) : fieldBytesLeft_(readFields ? kFieldReadingLimit : 0) {}

  int parseRecord(const char* data, int size) override {
    WNibbleCursor cursor(data, size);
    const bool complete = skipRecord(cursor) > 0;
    const int bytes = complete ? cursor.bytesSince(2 * size) : size;
    if (bytes >= kIncompleteLimit) return wexel::kErrorMalformed;
    if (!complete) return 0;
    log.add(data, bytes);
    if (fieldBytesLeft_ > 0) {
      readFields(WNibbleCursor(data, bytes));
      fieldBytesLeft_ -= bytes;
    }
    return bytes;
  }

  RecordLog log;

 private:
  static constexpr int kFieldReadingLimit = 256;
  int fieldBytesLeft_;

  // Tries the readers in turn at each field; a nibble no reader takes is
  // stepped over. Every answer must stay within the record.
  void readFields(WNibbleCursor c) {
    while (c.nibbles > 0) {
      const int before = c.nibbles;
      const int used = readOne(c);
      if (used > before || before - c.nibbles != (used > 0 ? used : 0)) std::abort();
      if (used <= 0) c.advance(1);
    }
  }

  int readOne(WNibbleCursor& c) {
    int32_t i32;
    int64_t i64;
    double d;
    uint64_t t;
    char text[64];
    WNibbleCursor probe = c;
    readDouble(probe, d);
    probe = c;
    readInt64(probe, i64);
    probe = c;
    readDateTime(probe, t);
    if (int r = readSmall(c, i32); r > 0) return r;
    if (int r = readString(c, text, 1 + c.nibbles % 64); r > 0) return r;
    if (int r = readRecordEnd(c); r > 0) return r;
    if (int r = readGroupMark(c); r > 0) return r;
    return readInt32(c, i32);
  }
};

struct Run {
  int result = 0;
  RecordLog records;
  int32_t state, accumulator, bitCount, writePosition;
};

constexpr size_t kBytewiseLimit = 128;  // byte by byte costs a parser call per byte

template <typename NextSize>
Run decode(const uint8_t* body, size_t size, bool readFields, NextSize nextSize) {
  FieldReadingParser parser(readFields);
  std::string held;
  Run run;
  for (size_t at = 0; at < size && run.result >= 0;) {
    const size_t n = std::min(size - at, nextSize());
    held.append(reinterpret_cast<const char*>(body + at), n);
    at += n;
    const int r = parser.parseBody(held.data(), static_cast<int>(held.size()));
    if (r < 0) run.result = r;
    else held.erase(0, static_cast<size_t>(r));
  }
  run.records = std::move(parser.log);
  run.state = parser.decoderState();
  run.accumulator = parser.bitAccumulator();
  run.bitCount = parser.bitCount();
  // The window slides by kSlideSize once a record is taken past its
  // threshold, so when it slid depends on how the body was cut; the place
  // within a slide does not.
  run.writePosition = parser.windowWritePosition() % WLZ77Parser::kSlideSize;
  return run;
}

bool same(const Run& a, const Run& b) {
  // After a failure the runs may have decoded different amounts past it.
  if (a.result != b.result || a.records != b.records) return false;
  return a.result < 0 || (a.state == b.state && a.accumulator == b.accumulator && a.bitCount == b.bitCount &&
                          a.writePosition == b.writePosition);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint32_t seed = data[0] * 2654435761u + 1;
  const uint8_t* body = data + 1;
  const size_t bodySize = size - 1;
  const Run whole = decode(body, bodySize, true, [&] { return bodySize; });
  const Run pieces = decode(body, bodySize, false, [&] {
    seed = seed * 1103515245u + 12345u;
    return size_t{1} + (seed >> 16) % 97;
  });
  if (!same(whole, pieces)) std::abort();
  if (bodySize <= kBytewiseLimit && !same(whole, decode(body, bodySize, false, [] { return size_t{1}; }))) std::abort();
  return 0;
}
