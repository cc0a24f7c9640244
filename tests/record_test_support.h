// Helpers for the record parser tests: decoded records written nibble by
// nibble as hex text (golden wire layouts), compressed bodies, and delivery
// of a whole HTTP response into a parser the way a channel does it.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "kexsim_encoder.h"
#include "codec/wexel_lz77_parser.h"

namespace wexel::testing {

// "A7 F0" -> the bytes 0xA7 0xF0: one hex digit per nibble, blanks ignored.
// Precondition: an even number of digits.
inline std::string nibbleBytes(std::string_view hex) {
  std::string digits;
  for (char c : hex) {
    if (c != ' ') digits.push_back(c);
  }
  std::string out;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// Decoded records as one compressed body in a single block.
inline std::string compressed(std::string_view decoded) { return kexsim::compressBlock(decoded); }

// Hands an HTTP response to the parser `piece` bytes per read, as a channel
// does. The first negative result, else 0.
inline int deliverResponse(WexelParser& parser, std::string_view bytes, size_t piece) {
  for (size_t at = 0; at < bytes.size();) {
    const size_t n = std::min({piece, bytes.size() - at, static_cast<size_t>(parser.freeSpace())});
    std::memcpy(parser.writePosition(), bytes.data() + at, n);
    const int result = parser.onReceived(static_cast<int>(n));
    if (result < 0) return result;
    at += n;
  }
  return 0;
}

inline std::string okResponse(std::string_view body) { return "HTTP/1.0 200 OK\r\n\r\n" + std::string(body); }

// Doubles compared by bit pattern, so that the empty value equals itself.
inline uint64_t bitsOf(double value) { return std::bit_cast<uint64_t>(value); }

// Offers `bytes` to a record parser the way the decoder does, one record per
// call, each time from an exact-size copy so that a read past the offered
// bytes shows under ASan. False when an answer is not 0, -1001 or a count
// within the bytes offered.
inline bool offerAll(WLZ77Parser& parser, std::string_view bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    const std::vector<char> rest(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    const int k = parser.parseRecord(rest.data(), static_cast<int>(rest.size()));
    if (k == 0 || k == kErrorMalformed) return true;
    if (k < 0 || static_cast<size_t>(k) > rest.size()) return false;
    at += static_cast<size_t>(k);
  }
  return true;
}

// Records with a few nibbles changed and the tail sometimes cut, or plain
// random bytes: data that is nearly, or not at all, what a parser expects.
inline std::string damaged(std::string_view records, std::mt19937& random) {
  std::uniform_int_distribution<int> nibble(0, 15);
  std::string out(records);
  if (random() % 4 == 0 || out.empty()) {
    out.resize(1 + random() % 300);
    for (char& c : out) c = static_cast<char>(nibble(random) << 4 | nibble(random));
    return out;
  }
  for (int changes = 1 + static_cast<int>(random() % 6); changes > 0; --changes) {
    char& byte = out[random() % out.size()];
    byte = static_cast<char>(random() % 2 ? (byte & 0x0F) | nibble(random) << 4 : (byte & 0xF0) | nibble(random));
  }
  if (random() % 3 == 0) out.resize(random() % out.size());
  return out;
}

}  // namespace wexel::testing
