// Record parsers and feeding helpers for exercising WLZ77Parser in tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "codec/wexel_lz77_parser.h"

namespace wexel::testing {

// Takes every decoded byte as soon as it is offered, remembering each offer.
class CollectingParser : public WLZ77Parser {
 public:
  int parseRecord(const char* data, int size) override {
    decoded.append(data, static_cast<size_t>(size));
    offers.push_back(size);
    statesAtOffer.push_back(decoderState());
    return size;
  }

  std::string decoded;
  std::vector<int> offers;
  std::vector<int32_t> statesAtOffer;
};

// Cuts the decoded bytes into records at their end nibble, as a record parser
// must: 0 while a record is incomplete and shorter than the limit, -1001 after.
class RecordSplittingParser : public WLZ77Parser {
 public:
  int parseRecord(const char* data, int size) override {
    WNibbleCursor cursor(data, size);
    if (skipRecord(cursor) == 0) return size < kIncompleteLimit ? 0 : kErrorMalformed;
    const int bytes = cursor.bytesSince(2 * size);
    records.emplace_back(data, static_cast<size_t>(bytes));
    return bytes;
  }

  std::vector<std::string> records;
};

// The decoder's saved state, to compare runs that split the input differently.
struct DecoderSnapshot {
  int32_t state, accumulator, bitCount, writePosition, readPosition;
  bool operator==(const DecoderSnapshot&) const = default;
};

inline DecoderSnapshot snapshot(const WLZ77Parser& parser) {
  return {parser.decoderState(), parser.bitAccumulator(), parser.bitCount(), parser.windowWritePosition(),
          parser.windowReadPosition()};
}

// Feeds `body` in pieces the way the response parser does: bytes that
// parseBody leaves are offered again in front of the next piece. Answers the
// first negative result, else 0.
template <typename NextSize>
int feedPieces(WLZ77Parser& parser, std::string_view body, NextSize nextSize) {
  std::string held;
  size_t position = 0;
  while (position < body.size()) {
    const size_t n = std::min(body.size() - position, static_cast<size_t>(nextSize()));
    held.append(body.substr(position, n));
    position += n;
    const int r = parser.parseBody(held.data(), static_cast<int>(held.size()));
    if (r < 0) return r;
    held.erase(0, static_cast<size_t>(r));
  }
  return 0;
}

inline int feedWhole(WLZ77Parser& parser, std::string_view body) {
  return feedPieces(parser, body, [&] { return body.size(); });
}

inline int feedBytewise(WLZ77Parser& parser, std::string_view body) {
  return feedPieces(parser, body, [] { return 1; });
}

inline int feedRandomPieces(WLZ77Parser& parser, std::string_view body, uint32_t seed, int maxPiece = 300) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> piece(1, maxPiece);
  return feedPieces(parser, body, [&] { return piece(random); });
}

inline std::string bytesOf(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// Upper-case hex of bytes, for golden comparisons.
inline std::string hexOf(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

}  // namespace wexel::testing
