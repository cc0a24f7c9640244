// What the reply fuzz targets share: a failed check that names itself, record
// offers from exact-size copies, whole HTTP responses handed to a parser in
// pieces as a channel does, and an event log that two runs of a parser over
// the same reply can be compared by.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "codec/wexel_lz77_parser.h"
#include "wexel/wexel_errors.h"

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
  std::abort();
}

#define FUZZ_REQUIRE(condition) \
  ((condition) ? static_cast<void>(0) : ::fuzzcheck::fail(#condition, __FILE__, __LINE__))

// Offers `bytes` to a record parser one record per call, from one exact-size
// heap copy: every offer ends where the block ends, so a read past the
// offered bytes shows under ASan. Every answer must be 0, -1001 or a count
// within the bytes offered. The verdict: 0 (all read, or waiting for more)
// or -1001.
inline int offerRecords(wexel::WLZ77Parser& parser, std::string_view bytes) {
  const std::vector<char> copy(bytes.begin(), bytes.end());
  size_t at = 0;
  while (at < copy.size()) {
    const size_t rest = copy.size() - at;
    const int k = parser.parseRecord(copy.data() + at, static_cast<int>(rest));
    if (k == wexel::kErrorMalformed) return k;
    FUZZ_REQUIRE(k >= 0 && static_cast<size_t>(k) <= rest);
    if (k == 0) return 0;
    at += static_cast<size_t>(k);
  }
  return 0;
}

// Hands a whole response to the parser `piece` bytes per read, as a channel
// does. The first negative result, else 0. A parser that takes nothing while
// its buffer is full would stall the channel for good: that fails.
inline int deliverResponse(wexel::WexelParser& parser, std::string_view response, size_t piece) {
  for (size_t at = 0; at < response.size();) {
    const size_t room = static_cast<size_t>(std::max(parser.freeSpace(), 0));
    FUZZ_REQUIRE(room > 0);
    const size_t n = std::min({piece, response.size() - at, room});
    std::memcpy(parser.writePosition(), response.data() + at, n);
    const int result = parser.onReceived(static_cast<int>(n));
    if (result < 0) return result;
    FUZZ_REQUIRE(parser.buffered() >= 0 && parser.buffered() < wexel::WexelParser::kBufferSize);
    at += n;
  }
  return 0;
}

// Decoded records as one compressed block of literals, the encoding that
// costs the least to make: per byte the flags 1, 1 and its eight bits, then
// the end-of-block code (flag 0, length code 64), bits least significant
// first, the last byte padded with zeros.
inline std::string literalBlock(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 10 / 8 + 4);
  uint32_t bits = 0;
  int count = 0;
  const auto put = [&](uint32_t value, int n) {
    bits |= value << count;
    for (count += n; count >= 8; count -= 8, bits >>= 8) out.push_back(static_cast<char>(bits & 0xFF));
  };
  for (unsigned char c : bytes) put(0x3u | static_cast<uint32_t>(c) << 2, 10);
  put(0x2AAu, 10);  // 0, then the five data bits 1 with stop bits 0 between them
  if (count > 0) out.push_back(static_cast<char>(bits & 0xFF));
  return out;
}

// Decoded records as the body of a 200 reply.
inline std::string compressedReply(std::string_view records) {
  return "HTTP/1.0 200 OK\r\n\r\n" + literalBlock(records);
}

// A read size for the reply, from two bits of the input: whole reads, single
// bytes, or pieces that split records and tokens. Single bytes only up to
// kBytewiseLimit bytes: a record not yet whole is parsed again from its start
// at every read, so a long reply read byte by byte costs its length squared
// (it made the targets four times slower); 13-byte pieces cut it at every
// offset across runs.
constexpr size_t kBytewiseLimit = 256;
inline size_t pieceSize(uint8_t bits, size_t replySize) {
  static constexpr size_t kPieces[] = {8192, 1, 7, 61};
  const size_t piece = kPieces[bits & 3];
  return piece == 1 && replySize > kBytewiseLimit ? 13 : piece;
}

// The listener calls of one run as text: a tag per call and the bytes of what
// it carried, so two runs over the same reply compare with ==.
struct EventLog {
  std::string text;
  int answers = 0;  // final outcomes of a one-shot reply: a result or an error
  int errors = 0;

  void tag(char t) { text.push_back(t); }
  void bytes(const void* data, size_t size) { text.append(static_cast<const char*>(data), size); }
  void add(std::string_view s) {
    const uint32_t n = static_cast<uint32_t>(s.size());
    bytes(&n, sizeof n);
    text.append(s);
  }
  // The record's bytes: only for records the parser made zeroed (T r{}), so
  // that their padding is the same in every run.
  template <typename Record>
  void record(const Record& r) {
    static_assert(std::is_trivially_copyable_v<Record>);
    bytes(&r, sizeof r);
  }
  template <typename Record>
  void records(const std::vector<Record>& list) {
    const uint32_t n = static_cast<uint32_t>(list.size());
    bytes(&n, sizeof n);
    for (const Record& r : list) record(r);
  }
  // Errors are counted, not logged: a run that offers records itself and one
  // through the channel's framing word a malformed record differently.
  void error() { ++errors; }
};

// Runs one record parser over the same decoded records twice: offered record
// by record from exact-size copies, and compressed inside a 200 reply handed
// over in pieces as a channel does. A Subject holds a parser, the listener it
// reports to and an EventLog; close() does what the parser's request does
// when the server closes the connection, and check() what must hold after.
template <typename Subject>
void runBothWays(std::string_view records, size_t piece) {
  // On the heap: a parser holds its 64 KB window.
  const auto directRun = std::make_unique<Subject>();
  Subject& direct = *directRun;
  const int verdict = offerRecords(direct.parser, records);
  if (verdict < 0) direct.parser.onError(verdict, "Parse error");
  direct.close();
  direct.check();

  const auto framedRun = std::make_unique<Subject>();
  Subject& framed = *framedRun;
  const int result = deliverResponse(framed.parser, compressedReply(records), piece);
  framed.close();
  framed.check();

  // The same records give the same calls however the reply was cut. A
  // record of 1,024 bytes or more counts as corrupt when only part of it has
  // arrived, so with longer replies one run may stop early: its calls are
  // then the first calls of the other.
  // FUZZ_DEBUG=1 on a rerun of a failing input prints both logs in hex.
  static const bool debug = std::getenv("FUZZ_DEBUG") != nullptr;
  if (debug) {
    for (const std::string* t : {&direct.log.text, &framed.log.text}) {
      for (unsigned char c : *t) std::fprintf(stderr, "%02x", c);
      std::fprintf(stderr, "\n");
    }
    std::fprintf(stderr, "verdict %d result %d\n", verdict, result);
  }
  const std::string& shorter = direct.log.text.size() <= framed.log.text.size() ? direct.log.text : framed.log.text;
  const std::string& longer = direct.log.text.size() <= framed.log.text.size() ? framed.log.text : direct.log.text;
  FUZZ_REQUIRE(longer.compare(0, shorter.size(), shorter) == 0);
  if (records.size() < static_cast<size_t>(wexel::WLZ77Parser::kIncompleteLimit)) {
    FUZZ_REQUIRE(direct.log.text == framed.log.text);
    FUZZ_REQUIRE((verdict < 0) == (result < 0));
  }
}

}  // namespace fuzzcheck
