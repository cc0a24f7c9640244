#include "codec/wexel_lz77_parser.h"

#include <algorithm>
#include <cassert>
#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <limits>
#include <string>

#include "core/wexel_log.h"
#include "core/wexel_statistics.h"

namespace wexel {

using namespace nibbles;

namespace {

constexpr int kEndOfBlockLength = 64;
constexpr int kLengthCodeMaxBits = 5;
// Input the exact machine leaves to the fast path, and the spare input the
// fast path keeps behind a batch of unchecked refills (each reads 8 bytes).
constexpr int kFastPathInput = 16;
// Where the exact machine goes after a token; the state is never stored
// there, since the token start either reads flags or finds the window full.
constexpr int32_t kTokenStart = WLZ77Parser::kStateInitial;

// ---------------------------------------------------------------------------
// Token heads for the fast path. The ten lowest bits of the stream at a token
// start decide the whole head of any token: two flag bits, or one flag bit and
// a length code of at most nine bits.

struct TokenHead {
  uint8_t length;  // 0 literal, 2..63 match, 64 end of block
  uint8_t bits;    // bits the head takes (a literal's byte included)
};

constexpr TokenHead decodeHead(uint32_t bits) {
  if (bits & 1) return (bits & 2) ? TokenHead{0, 10} : TokenHead{2, 2};
  uint32_t v = 1;  // 2^n + d with n data bits read so far
  int used = 1;
  for (int n = 0; n < kLengthCodeMaxBits; ++n) {
    const uint32_t data = (bits >> used++) & 1;
    v += (1 + data) << n;
    if (n == kLengthCodeMaxBits - 1) break;  // d5 has no stop bit
    if ((bits >> used++) & 1) break;
  }
  return TokenHead{static_cast<uint8_t>(v + 1), static_cast<uint8_t>(used)};
}

constexpr std::array<TokenHead, 1024> makeHeadTable() {
  std::array<TokenHead, 1024> table{};
  for (uint32_t i = 0; i < table.size(); ++i) table[i] = decodeHead(i);
  return table;
}

constexpr std::array<TokenHead, 1024> kHeads = makeHeadTable();

// Offset class k: the base of the high part and the count of extra bits.
constexpr std::array<uint32_t, 8> kHighBase = {0, 1, 2, 4, 8, 16, 32, 64};
constexpr std::array<uint32_t, 8> kExtraBits = {0, 0, 1, 2, 3, 4, 5, 6};

uint64_t load64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

// Copies a match of `length` bytes from `distance` bytes back. Precondition:
// at least 64 writable bytes at `out` (the room a token start guarantees).
// Whole chunks may write up to 15 bytes past the match; nothing reads
// decoded bytes beyond the write position, and the next token overwrites them.
inline void copyFast(unsigned char* out, size_t distance, int length) {
  const unsigned char* from = out - distance;
  if (distance >= 16) {
    // Each 16-byte chunk's source lies wholly before its destination, so an
    // overlapping match still copies the bytes just written.
    for (int i = 0; i < length; i += 16) std::memcpy(out + i, from + i, 16);
  } else if (distance >= 8) {
    for (int i = 0; i < length; i += 8) std::memcpy(out + i, from + i, 8);
  } else if (distance == 1) {
    std::memset(out, out[-1], static_cast<size_t>(length));
  } else {
    for (int i = 0; i < length; ++i) out[i] = from[i];  // repeats the last `distance` bytes
  }
}

bool isTokenStart(int32_t state) {
  return state == WLZ77Parser::kStateInitial || state == WLZ77Parser::kStateBlockEnded ||
         state == WLZ77Parser::kStateWindowFull || state == WLZ77Parser::kStateFlags;
}

// ---------------------------------------------------------------------------
// Field encoding.

// Bytes whose two nibbles skipRecord passes one by one anyway: neither starts
// a string, a small value or the end of a record.
constexpr std::array<bool, 256> makePlainBytes() {
  std::array<bool, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = (b >> 4) < kString && (b & 15) < kString;
  return table;
}

constexpr std::array<bool, 256> kPlainByte = makePlainBytes();

// For each plain byte, how many of its nibbles are number markers; bytes with
// any other marker are not plain and are taken nibble by nibble.
constexpr std::array<uint8_t, 256> makeNumberMarkers() {
  std::array<uint8_t, 256> table{};
  const auto isSign = [](int n) { return n == kPlus || n == kMinus; };
  for (int b = 0; b < 256; ++b) table[b] = static_cast<uint8_t>(isSign(b >> 4) + isSign(b & 15));
  return table;
}

constexpr std::array<uint8_t, 256> kNumberMarkers = makeNumberMarkers();

// Consumes `used` nibbles plus, when that leaves the cursor on a low nibble,
// the rest of the byte.
int commitAligned(WNibbleCursor& cursor, int used) {
  used += (cursor.nibbles - used) & 1;
  cursor.advance(used);
  return used;
}

// A marker-and-digits number in wrapping unsigned arithmetic: the server's
// values fit, and an overlong digit run must not be undefined behaviour.
template <typename Unsigned>
int readInteger(WNibbleCursor& cursor, Unsigned& magnitude, bool& negative) {
  const int m = marker(cursor);
  if (m < 0) return 0;
  if (m != kPlus && m != kMinus) return -1;
  uint64_t wide = 0;
  bool overflow = false;  // wrapping is wanted here
  const int used = gatherDigits(cursor, 1, wide, overflow);
  if (used == cursor.nibbles) return 0;  // the next field's marker must be there
  // The low bits of the 64-bit result are what wrapping arithmetic in
  // `Unsigned` gives.
  magnitude = static_cast<Unsigned>(wide);
  negative = m == kMinus;
  return commit(cursor, used);
}

// Offset of the first NUL among the `limit` bytes at `bytes`, or -1.
int findNul(const unsigned char* bytes, int limit) {
  const void* nul = std::memchr(bytes, 0, static_cast<size_t>(limit));
  return nul ? static_cast<int>(static_cast<const unsigned char*>(nul) - bytes) : -1;
}

// A string field seen from its marker: the marker, the rest of its byte when
// it was a high nibble, then bytes up to and including a NUL.
struct StringSpan {
  int nibbles;  // the whole field; 0 when the NUL has not arrived, -1 when it cannot fit
  const unsigned char* text;
  int textBytes;  // NUL included
};

// `capacity` < 0 means no limit (skipping a field).
StringSpan findString(const WNibbleCursor& cursor, int capacity) {
  const int start = 1 + ((cursor.nibbles - 1) & 1);
  const int available = (cursor.nibbles - start) / 2;
  const unsigned char* text = cursor.data + ((cursor.nibbles & 1) + start) / 2;
  const bool bounded = capacity >= 0 && capacity <= available;
  const int nul = findNul(text, bounded ? capacity : available);
  // Without a NUL among `capacity` bytes the string can never fit: waiting
  // for more data would only stall the reply.
  if (nul < 0) return {bounded ? -1 : 0, text, 0};
  return {start + 2 * (nul + 1), text, nul + 1};
}

}  // namespace

WLZ77Parser::WLZ77Parser() = default;

// ---------------------------------------------------------------------------
// Decoding.

int WLZ77Parser::parseBody(const char* data, int count) {
  int consumed = 0;
  for (;;) {
    const int n = decodeAndDispatch(data + consumed, count - consumed);
    if (n < 0) return n;
    consumed += n;
    // A full window stops decoding at a token start. Once the records taken
    // have made room, the bits still held may begin the next token: decode on,
    // so that where the input was cut never changes how far it is decoded.
    const bool resumable = state_ == kStateWindowFull && writePosition_ <= kWindowSize - kTokenRoom;
    if (!resumable && (n == 0 || consumed == count)) break;
  }
  return consumed;
}

int WLZ77Parser::decodeAndDispatch(const char* data, int size) {
  const int consumed = decodeStep(reinterpret_cast<const unsigned char*>(data), size);
  int64_t decoded = 0;  // counted once per call, not per record
  int result = consumed;
  while (readPosition_ < writePosition_) {
    const int available = writePosition_ - readPosition_;
    const int k = parseRecord(reinterpret_cast<const char*>(window_ + readPosition_), available);
    if (k < 0) {
      result = reportBadBlock(k);
      break;
    }
    if (k == 0) break;
    // A record parser never answers more than it was given; clamping keeps the
    // window consistent, and the statistics count what was really consumed.
    const int taken = k < available ? k : available;
    decoded += taken;
    readPosition_ += taken;
    slideWindow();
  }
  if (decoded > 0) statsAddBytesDecoded(decoded);
  return result;
}

int WLZ77Parser::reportBadBlock(int result) {
  logError("=============== Dumping bad block =================");
  dumpTrafficAlways(window_ + readPosition_, static_cast<size_t>(writePosition_ - readPosition_));
  logError("===================================================");
  return result;
}

// Moving 16 KB once more than 48 KB are in use keeps at least 32 KB of history
// below the write position, and costs one move per 16 KB decoded.
void WLZ77Parser::slideWindow() {
  if (writePosition_ <= kWindowSize - kSlideSize || readPosition_ <= kSlideSize) return;
  std::memmove(window_, window_ + kSlideSize, static_cast<size_t>(writePosition_ - kSlideSize));
  writePosition_ -= kSlideSize;
  readPosition_ -= kSlideSize;
}

int WLZ77Parser::decodeStep(const unsigned char* data, int size) {
  int position = 0;
  for (;;) {
    if (isTokenStart(state_)) {
      position += decodeFast(data + position, size - position);
      if (state_ != kStateFlags) return position;  // end of block or window full
    }
    bool handedBack = false;
    position = decodeExact(data, size, position, handedBack);
    if (!handedBack) return position;
  }
}

void WLZ77Parser::copyMatch() {
  // Byte by byte, so a distance shorter than the length repeats the last bytes.
  const unsigned char* from = window_ + writePosition_ - (pendingOffset_ + 1);
  unsigned char* to = window_ + writePosition_;
  for (int i = 0; i < pendingLength_; ++i) to[i] = from[i];
  writePosition_ += pendingLength_;
}

// The exact state machine: pulls one input byte whenever the bits at hand do
// not cover the next field, and saves everything when the input runs out.
// It hands back to the fast path at a token start while enough input remains
// (a body split in mid-token resumes here and finishes that token first).
int WLZ77Parser::decodeExact(const unsigned char* data, int size, int position, bool& handedBack) {
  uint32_t acc = static_cast<uint32_t>(bitAccumulator_);
  int count = bitCount_;
  const auto have = [&](int bits) {
    while (count < bits) {
      if (position == size) return false;
      acc |= static_cast<uint32_t>(data[position++]) << count;
      count += 8;
    }
    return true;
  };
  const auto take = [&](int bits) {
    const uint32_t v = acc & ((1u << bits) - 1);
    acc >>= bits;
    count -= bits;
    return static_cast<int32_t>(v);
  };
  for (;;) {
    switch (state_) {
      case kStateInitial:
      case kStateBlockEnded:
      case kStateWindowFull:  // token start
        if (kWindowSize - writePosition_ < kTokenRoom) {
          state_ = kStateWindowFull;
          goto save_bits;
        }
        state_ = kStateFlags;
        if (size - position >= kFastPathInput) {
          handedBack = true;
          goto save_bits;
        }
        break;
      case kStateFlags:
        // Two bits are always needed: the second flag, or the first bit of
        // the length code that a 0 flag starts.
        if (!have(2)) goto save_bits;
        if (acc & 1) {
          state_ = (acc & 2) ? kStateLiteral : kStateOffsetLow;
          if (state_ == kStateOffsetLow) pendingLength_ = 2;
          take(2);
        } else {
          take(1);
          pendingLength_ = 1;  // 2^n + d with no data bit read yet
          state_ = kStateLengthCode;
        }
        break;
      case kStateLiteral:
        if (!have(8)) goto save_bits;
        pendingOffset_ = take(8);
        window_[writePosition_++] = static_cast<unsigned char>(pendingOffset_);
        state_ = kTokenStart;
        break;
      case kStateLengthCode: {
        const int n = std::bit_width(static_cast<uint32_t>(pendingLength_)) - 1;
        const bool last = n == kLengthCodeMaxBits - 1;
        // A data bit with its stop bit, or d5 alone.
        if (!have(last ? 1 : 2)) goto save_bits;
        const bool stop = last || ((acc >> 1) & 1);
        pendingLength_ += (1 + static_cast<int32_t>(acc & 1)) << n;
        take(last ? 1 : 2);
        if (!stop) break;
        pendingLength_ += 1;
        if (pendingLength_ == kEndOfBlockLength) {
          state_ = kStateBlockEnded;
          bitAccumulator_ = 0;  // the rest of the byte is padding
          bitCount_ = 0;
          return position;
        }
        state_ = kStateOffsetLow;
        break;
      }
      case kStateOffsetLow:
        if (!have(8)) goto save_bits;
        pendingOffset_ = take(8);
        state_ = kStateOffsetClass;
        break;
      case kStateOffsetClass: {
        if (!have(3)) goto save_bits;
        const int k = take(3);
        pendingOffset_ += static_cast<int32_t>(kHighBase[k] << 8);
        state_ = static_cast<int32_t>(kExtraBits[k]);
        break;
      }
      default:  // 0..6: offset extra bits
        if (!have(state_)) goto save_bits;
        pendingOffset_ += take(state_) << 8;
        copyMatch();
        state_ = kTokenStart;
        break;
    }
  }
save_bits:
  bitAccumulator_ = static_cast<int32_t>(acc);
  bitCount_ = count;
  return position;
}

// The fast path: whole tokens from a 64-bit bit buffer while at least eight
// input bytes remain. It starts and stops only at token starts, leaving the
// same state, bits and positions the exact machine would have at that point.
int WLZ77Parser::decodeFast(const unsigned char* data, int size) {
  const unsigned char* in = data;
  const unsigned char* const inEnd = data + size;
  unsigned char* out = window_ + writePosition_;
  unsigned char* const outLimit = window_ + kWindowSize - kTokenRoom;  // token start allowed up to here
  uint64_t bits = static_cast<uint32_t>(bitAccumulator_);
  int count = bitCount_;
  assert(count >= 0 && count <= 7);  // a token start holds only the rest of one byte
  int32_t offset = pendingOffset_;
  int32_t length = pendingLength_;
  int32_t exitState = kStateFlags;

  for (;;) {
    // A batch of tokens that need no checks: a token writes at most 63 bytes,
    // so `room` more token starts stay within the window; and it takes at
    // most 27 bits (flag, 9-bit length code, 8 + 3 + 6 offset bits), fewer
    // than 4 bytes, so with 16 bytes to spare no refill reads past the input
    // (a refill reads from at most 8 bytes ahead of the bits consumed).
    const std::ptrdiff_t room = out <= outLimit ? (outLimit - out) / (kTokenRoom - 1) + 1 : 0;
    std::ptrdiff_t batch = std::min(room, (inEnd - in - kFastPathInput) / 4);
    if (batch <= 0) {
      // Near either end: one token at a time, checked as the exact machine does.
      if (out > outLimit) {
        exitState = kStateWindowFull;
        goto done;
      }
      if (inEnd - in < 8) goto done;  // the exact machine takes the tail
      batch = 1;
    }
    for (; batch > 0; --batch) {
      assert(out <= outLimit);  // the batch room: this token's 63 bytes fit the window
      assert(inEnd - in >= 8);  // the refill below reads eight bytes
      // Branch-free refill: OR in eight bytes above the held bits and advance
      // over the bytes that now lie wholly below bit 64 (at least 56 bits are
      // then held). Bits above `count` are the next bytes already; OR-ing
      // them in again at the next refill changes nothing.
      bits |= load64(in) << count;
      in += (63 - count) >> 3;
      count |= 56;
      const TokenHead head = kHeads[bits & 1023];
      if (head.length == 0) {  // literal: its byte follows the two flag bits
        offset = static_cast<int32_t>((bits >> 2) & 0xFF);
        *out++ = static_cast<unsigned char>(offset);
        bits >>= 10;
        count -= 10;
        continue;
      }
      bits >>= head.bits;
      count -= head.bits;
      if (head.length == kEndOfBlockLength) {
        exitState = kStateBlockEnded;
        length = kEndOfBlockLength;
        // The rest of the current byte is padding: counting only the whole
        // bytes still held gives them back and leaves no bits.
        count &= ~7;
        goto done;
      }
      length = head.length;
      const uint32_t k = (bits >> 8) & 7;
      const uint32_t extra = kExtraBits[k];
      const uint32_t high = kHighBase[k] + ((bits >> 11) & ((1u << extra) - 1));
      offset = static_cast<int32_t>((high << 8) | (bits & 0xFF));
      bits >>= 11 + extra;
      count -= static_cast<int>(11 + extra);
      assert(count >= 0);  // a token takes at most 27 of the 56 bits held
      copyFast(out, static_cast<size_t>(offset) + 1, length);
      out += length;
    }
  }
done:
  // Give back the whole input bytes still held: they were not needed yet.
  in -= count >> 3;
  count &= 7;
  bitAccumulator_ = static_cast<int32_t>(bits & ((1u << count) - 1));
  bitCount_ = count;
  pendingOffset_ = offset;
  pendingLength_ = length;
  writePosition_ = static_cast<int32_t>(out - window_);
  state_ = exitState;
  return static_cast<int>(in - data);
}

// ---------------------------------------------------------------------------
// Field readers.

int WLZ77Parser::readInt32(WNibbleCursor& cursor, int32_t& out) const {
  uint32_t magnitude = 0;
  bool negative = false;
  const int used = readInteger(cursor, magnitude, negative);
  if (used > 0) out = static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
  return used;
}

int WLZ77Parser::readInt64(WNibbleCursor& cursor, int64_t& out) const {
  uint64_t magnitude = 0;
  bool negative = false;
  const int used = readInteger(cursor, magnitude, negative);
  if (used > 0) out = static_cast<int64_t>(negative ? 0u - magnitude : magnitude);
  return used;
}

// The slow way for long digit runs: the digits as text, read by from_chars.
double WLZ77Parser::decimalFromText(const WNibbleCursor& cursor, int whole, int used) {
  std::string text;
  text.reserve(static_cast<size_t>(used) + 1);
  for (int i = 1; i < used; ++i) text.push_back(i == whole ? '.' : static_cast<char>('0' + cursor.at(i)));
  if (text.empty() || text.front() == '.') text.insert(text.begin(), '0');
  double value = 0.0;
  const std::from_chars_result read = std::from_chars(text.data(), text.data() + text.size(), value);
  if (read.ec == std::errc::result_out_of_range) {
    // As strtod answers: too large is infinity, too small is zero.
    const bool large = text.find_first_not_of('0') < text.find('.');
    return large ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return value;
}

int WLZ77Parser::readSmall(WNibbleCursor& cursor, int32_t& out) const {
  if (cursor.nibbles < 2) return 0;
  if (cursor.at(0) != kSmall) return -1;
  out = cursor.at(1);
  return commit(cursor, 2);
}

int WLZ77Parser::readString(WNibbleCursor& cursor, char* buffer, int capacity) const {
  const int m = marker(cursor);
  if (m < 0) return 0;
  if (m != kString) return -1;
  const StringSpan span = findString(cursor, capacity < 0 ? 0 : capacity);
  if (span.nibbles <= 0) return span.nibbles;
  std::memcpy(buffer, span.text, static_cast<size_t>(span.textBytes));
  return commit(cursor, span.nibbles);
}

int WLZ77Parser::readRecordEnd(WNibbleCursor& cursor) const {
  const int m = marker(cursor);
  if (m < 0) return 0;
  return m == kEnd ? commitAligned(cursor, 1) : -1;
}

int WLZ77Parser::readGroupMark(WNibbleCursor& cursor) const {
  const int m = marker(cursor);
  if (m < 0) return 0;
  return m == kString ? commitAligned(cursor, 1) : -1;
}

int WLZ77Parser::countNumberFields(const WNibbleCursor& cursor, int enough) {
  WNibbleCursor probe = cursor;
  int fields = 0;
  // Eight bytes at a time while none of their nibbles is a text, small or end
  // marker: the sign markers (1010, 1011) are counted in parallel.
  constexpr uint64_t kLow = 0x1111111111111111u;
  while ((probe.nibbles & 1) == 0 && probe.nibbles >= 16) {
    uint64_t word;
    std::memcpy(&word, probe.data, sizeof word);
    const uint64_t b3 = (word >> 3) & kLow, b2 = (word >> 2) & kLow, b1 = (word >> 1) & kLow, b0 = word & kLow;
    if ((b3 & b2 & (b1 | ~b0)) != 0) break;  // 1100, 1110 or 1111 somewhere
    const uint64_t signs = b3 & ~b2 & b1;  // one bit per sign, at the low bit of its nibble
    // The nibbles' bits summed per byte (at most 2), then the bytes summed.
    const uint64_t perByte = (signs & 0x0F0F0F0F0F0F0F0Fu) + ((signs >> 4) & 0x0F0F0F0F0F0F0F0Fu);
    fields += static_cast<int>((perByte * 0x0101010101010101u) >> 56);
    if (fields > enough) return enough + 1;
    probe.advance(16);
  }
  while (probe.nibbles > 0) {
    if ((probe.nibbles & 1) == 0) {
      while (probe.nibbles >= 2 && kPlainByte[*probe.data]) {
        fields += kNumberMarkers[*probe.data];
        if (fields > enough) return enough + 1;
        probe.advance(2);
      }
      if (probe.nibbles == 0) break;
    }
    const int m = probe.at(0);
    if (m == kEnd) return fields;
    if (m == kString) return -1;
    if ((m == kPlus || m == kMinus || m == kSmall) && ++fields > enough) return enough + 1;
    const int step = m == kSmall ? 2 : 1;
    if (step > probe.nibbles) break;
    probe.advance(step);
  }
  return -1;
}

int WLZ77Parser::skipRecord(WNibbleCursor& cursor) const {
  WNibbleCursor probe = cursor;
  while (probe.nibbles > 0) {
    // Digits, signs and points make up most of a record: pass whole bytes of
    // them at once while the cursor is on a byte boundary.
    if ((probe.nibbles & 1) == 0) {
      while (probe.nibbles >= 2 && kPlainByte[*probe.data]) probe.advance(2);
      if (probe.nibbles == 0) break;
    }
    const int m = probe.at(0);
    int step = 1;
    if (m == kEnd) {
      commitAligned(probe, 1);
      return commit(cursor, cursor.nibbles - probe.nibbles);
    }
    if (m == kSmall) step = 2;
    if (m == kString) step = findString(probe, -1).nibbles;
    if (step == 0 || step > probe.nibbles) return 0;
    probe.advance(step);
  }
  return 0;
}

}  // namespace wexel
