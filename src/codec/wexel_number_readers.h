// The number and time readers of the record fields, inline: nearly every
// field of a feed record is a number or a time, and a quote has thirty of
// them. The nibble helpers they share with the other readers are here too.
#pragma once

#include <array>
#include <cstdint>

#include "codec/wexel_lz77_parser.h"

namespace wexel {

namespace nibbles {

// For each byte, the two-digit number its nibbles spell, or kNoDigitPair
// when either nibble is not a digit.
inline constexpr uint8_t kNoDigitPair = 0xFF;
constexpr std::array<uint8_t, 256> makeDigitPairs() {
  std::array<uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) {
    table[static_cast<size_t>(b)] = (b >> 4) <= 9 && (b & 15) <= 9 ? static_cast<uint8_t>((b >> 4) * 10 + (b & 15))
                                                                    : kNoDigitPair;
  }
  return table;
}
inline constexpr std::array<uint8_t, 256> kDigitPairs = makeDigitPairs();

// Digits from nibble `from` on, gathered into `value` while it cannot
// overflow (`overflow` is set past that); the index of the first nibble that
// is not a digit. Whole bytes of two digits are taken at once.
[[gnu::always_inline]] inline int gatherDigits(const WNibbleCursor& cursor, int from, uint64_t& value,
                                               bool& overflow) {
  constexpr uint64_t kRoomForOneDigit = (UINT64_MAX - 9) / 10;
  constexpr uint64_t kRoomForTwoDigits = (UINT64_MAX - 99) / 100;
  const int shift = cursor.nibbles & 1;  // nibble i is nibble shift + i counted from the high nibble of data[0]
  const int end = shift + cursor.nibbles;
  int index = shift + from;
  const auto takeOne = [&](unsigned digit) {
    if (value > kRoomForOneDigit) overflow = true;
    value = value * 10 + digit;
    ++index;
  };
  if ((index & 1) != 0 && index < end) {  // a low nibble first
    const unsigned digit = cursor.data[index >> 1] & 15u;
    if (digit > 9) return index - shift;
    takeOne(digit);
  }
  for (; index + 1 < end; index += 2) {
    const uint8_t pair = kDigitPairs[cursor.data[index >> 1]];
    if (pair == kNoDigitPair) break;
    if (value > kRoomForTwoDigits) overflow = true;
    value = value * 100 + pair;
  }
  if (index < end) {  // a high nibble: the last one, or a digit before a marker
    const unsigned digit = cursor.data[index >> 1] >> 4;
    if (digit <= 9) takeOne(digit);
  }
  return index - shift;
}

// Digits from nibble `from` on as packed decimal: each one shifted into
// `value` four bits at a time (bits shifted out are lost). The index of the
// first nibble that is not a digit. Whole bytes of two digits at once.
[[gnu::always_inline]] inline int gatherPackedDigits(const WNibbleCursor& cursor, int from, uint64_t& value) {
  const int shift = cursor.nibbles & 1;
  const int end = shift + cursor.nibbles;
  int index = shift + from;
  if ((index & 1) != 0 && index < end) {
    const unsigned digit = cursor.data[index >> 1] & 15u;
    if (digit > 9) return index - shift;
    value = value << 4 | digit;
    ++index;
  }
  for (; index + 1 < end; index += 2) {
    const unsigned char byte = cursor.data[index >> 1];
    if (kDigitPairs[byte] == kNoDigitPair) break;
    value = value << 8 | byte;
  }
  if (index < end && (cursor.data[index >> 1] >> 4) <= 9) {
    value = value << 4 | static_cast<unsigned>(cursor.data[index >> 1] >> 4);
    ++index;
  }
  return index - shift;
}

// Marker nibble of a field, or -1 when the cursor is empty.
inline int marker(const WNibbleCursor& cursor) { return cursor.nibbles > 0 ? cursor.at(0) : -1; }

inline int commit(WNibbleCursor& cursor, int used) {
  cursor.advance(used);
  return used;
}

}  // namespace nibbles

// The nearest double to the decimal the digits spell, as strtod gives it:
// hosts compare a quote's price with the price they ordered at. Digits
// 1..whole-1 are the integer part, whole+1..used-1 the fraction; `mantissa`
// holds them all unless `overflow`. Inline: nearly every field of a quote
// comes here.
[[gnu::always_inline]] inline double WLZ77Parser::decimalValue(const WNibbleCursor& cursor, int whole, int used,
                                                               uint64_t mantissa, bool overflow) {
  // A mantissa below 2^53 and a power of ten up to 1e22 are both exact
  // doubles, so one division rounds correctly.
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  constexpr uint64_t kExactMantissa = uint64_t{1} << 53;
  const int fraction = used > whole ? used - whole - 1 : 0;
  if (!overflow && mantissa < kExactMantissa && fraction <= 22) [[likely]] {
    const double exact = static_cast<double>(mantissa);
    return fraction == 0 ? exact : exact / kPowersOfTen[fraction];
  }
  return decimalFromText(cursor, whole, used);
}

// One pass over the digits: the mantissa is gathered as they are found, and
// the value comes from it with one scaling.
inline int WLZ77Parser::readDouble(WNibbleCursor& cursor, double& out) const {
  const int m = nibbles::marker(cursor);
  if (m < 0) return 0;
  if (m != kPlus && m != kMinus) return -1;
  uint64_t mantissa = 0;
  bool overflow = false;
  const int whole = nibbles::gatherDigits(cursor, 1, mantissa, overflow);
  int used = whole;
  if (used < cursor.nibbles && cursor.at(used) == kPoint) used = nibbles::gatherDigits(cursor, used + 1, mantissa, overflow);
  if (used == cursor.nibbles) return 0;  // the next field's marker must be there
  if (used == 1) {
    out = emptyNumber_;
    return nibbles::commit(cursor, used);
  }
  out = decimalValue(cursor, whole, used, mantissa, overflow);
  if (m == kMinus) out = -out;
  return nibbles::commit(cursor, used);
}

inline int WLZ77Parser::readDateTime(WNibbleCursor& cursor, uint64_t& out) const {
  const int m = nibbles::marker(cursor);
  if (m < 0) return 0;
  if (m != kPlus) return -1;
  uint64_t value = 0;
  const int used = nibbles::gatherPackedDigits(cursor, 1, value);
  if (used == cursor.nibbles) return 0;
  out = value << 8;
  return nibbles::commit(cursor, used);
}

}  // namespace wexel
