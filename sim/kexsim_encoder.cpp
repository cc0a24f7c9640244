#include "kexsim_encoder.h"

#include <algorithm>
#include <bit>

namespace kexsim {

namespace {

constexpr size_t kHistory = LZ77Encoder::kMaxDistance;
constexpr int kHashBits = 15;
constexpr int kEndOfBlockLength = 64;
// Compact the buffer once this much has been encoded beyond the history.
constexpr size_t kCompactAfter = size_t{1} << 20;
constexpr int64_t kNone = -1;

uint32_t hash3(const uint8_t* p) {
  const uint32_t v = p[0] | p[1] << 8 | p[2] << 16;
  return (v * 2654435761u) >> (32 - kHashBits);
}

uint32_t pairKey(const uint8_t* p) { return p[0] << 8 | p[1]; }

}  // namespace

LZ77Encoder::LZ77Encoder(Mode mode, int maxChain)
    : mode_(mode),
      maxChain_(maxChain),
      buffer_(kHistory, 0),
      head_(size_t{1} << kHashBits, kNone),
      prev_(kHistory, kNone),
      pairHead_(size_t{1} << 16, kNone) {}

void LZ77Encoder::putBits(uint32_t value, int count) {
  bits_ |= static_cast<uint64_t>(value & ((1u << count) - 1)) << bitCount_;
  bitCount_ += count;
}

void LZ77Encoder::flushBytes(std::string& out) {
  while (bitCount_ >= 8) {
    out.push_back(static_cast<char>(bits_ & 0xFF));
    bits_ >>= 8;
    bitCount_ -= 8;
  }
}

// L = 2^n + d + 1: the n data bits of d, lowest first, each of the first four
// followed by a stop bit (1 on the last one).
void LZ77Encoder::putLengthCode(int length) {
  const auto v = static_cast<uint32_t>(length - 1);
  const int n = std::bit_width(v) - 1;
  const uint32_t d = v - (1u << n);
  for (int i = 0; i < n; ++i) {
    putBits(d >> i, 1);
    if (i < 4) putBits(i == n - 1 ? 1 : 0, 1);
  }
}

// Low byte of distance - 1, then the class k of the high part and k - 1 extra bits.
void LZ77Encoder::putOffset(int distance) {
  const auto offset = static_cast<uint32_t>(distance - 1);
  const uint32_t high = offset >> 8;
  const int k = std::bit_width(high);
  putBits(offset, 8);
  putBits(static_cast<uint32_t>(k), 3);
  if (k > 1) putBits(high - (1u << (k - 1)), k - 1);
}

void LZ77Encoder::append(uint8_t byte) { buffer_.push_back(byte); }

void LZ77Encoder::insertHash(size_t position) {
  const uint8_t* p = buffer_.data() + position;
  const auto at = static_cast<int64_t>(position);
  const uint32_t h = hash3(p);
  prev_[position & (kHistory - 1)] = head_[h];
  head_[h] = at;
  pairHead_[pairKey(p)] = at;
}

LZ77Encoder::Found LZ77Encoder::longestMatch(size_t position, size_t end) const {
  Found best{0, 0};
  const size_t limit = std::min<size_t>(end - position, kMaxLength);
  if (limit < 3) return best;
  const uint8_t* here = buffer_.data() + position;
  int64_t candidate = head_[hash3(here)];
  for (int chain = 0; chain < maxChain_ && candidate != kNone; ++chain) {
    const auto distance = static_cast<int64_t>(position) - candidate;
    if (distance > kMaxDistance) break;
    const uint8_t* there = buffer_.data() + candidate;
    size_t length = 0;
    // The candidate may overlap `here`: the decoder copies byte by byte, so
    // comparing against the already-known bytes is exactly what it will copy.
    while (length < limit && there[length] == here[length]) ++length;
    if (static_cast<int>(length) > best.length) best = {static_cast<int>(length), static_cast<int>(distance)};
    if (length == limit) break;
    candidate = prev_[static_cast<size_t>(candidate) & (kHistory - 1)];
  }
  return best.length >= 3 ? best : Found{0, 0};
}

LZ77Encoder::Found LZ77Encoder::pairMatch(size_t position, size_t end) const {
  if (end - position < 2) return {0, 0};
  const uint8_t* here = buffer_.data() + position;
  const int64_t candidate = pairHead_[pairKey(here)];
  if (candidate == kNone) return {0, 0};
  const auto distance = static_cast<int64_t>(position) - candidate;
  if (distance > kMaxDistance) return {0, 0};
  return {2, static_cast<int>(distance)};
}

void LZ77Encoder::compactHistory() {
  if (buffer_.size() < kHistory + kCompactAfter) return;
  // A multiple of the history size keeps `position & (kHistory - 1)` valid in prev_.
  const size_t shift = (buffer_.size() - kHistory) / kHistory * kHistory;
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(shift));
  // Single tokens do not hash what they append; hashing resumes from the
  // start of what is kept.
  hashed_ = hashed_ > shift ? hashed_ - shift : 0;
  if (mode_ != Mode::kGreedy) return;  // the tables were never filled
  const auto moved = [shift](int64_t& p) { p = p < static_cast<int64_t>(shift) ? kNone : p - static_cast<int64_t>(shift); };
  std::for_each(head_.begin(), head_.end(), moved);
  std::for_each(prev_.begin(), prev_.end(), moved);
  std::for_each(pairHead_.begin(), pairHead_.end(), moved);
}

void LZ77Encoder::compress(const uint8_t* data, size_t size, std::string& out) {
  size_t position = buffer_.size();
  buffer_.insert(buffer_.end(), data, data + size);
  const size_t end = buffer_.size();
  while (position < end) {
    // Every position that has its three bytes known is hashed before the
    // search, so matches may refer to anything already encoded.
    // Literals alone need no search, so nothing is hashed.
    for (; mode_ == Mode::kGreedy && hashed_ < position && hashed_ + 3 <= end; ++hashed_) insertHash(hashed_);
    Found found{0, 0};
    if (mode_ == Mode::kGreedy) {
      found = longestMatch(position, end);
      if (found.length == 0) found = pairMatch(position, end);
    }
    if (found.length == 0) {
      putBits(3, 2);
      putBits(buffer_[position], 8);
      position += 1;
    } else {
      putMatchBits(found.length, found.distance);
      position += static_cast<size_t>(found.length);
    }
    flushBytes(out);
  }
  compactHistory();
}

void LZ77Encoder::compress(std::string_view data, std::string& out) {
  compress(reinterpret_cast<const uint8_t*>(data.data()), data.size(), out);
}

void LZ77Encoder::putMatchBits(int length, int distance) {
  if (length == 2) {
    putBits(1, 2);  // flags 1 then 0
  } else {
    putBits(0, 1);
    putLengthCode(length);
  }
  putOffset(distance);
}

void LZ77Encoder::endBlock(std::string& out) {
  putBits(0, 1);
  putLengthCode(kEndOfBlockLength);
  bitCount_ = (bitCount_ + 7) / 8 * 8;  // the padding bits are zero
  flushBytes(out);
}

void LZ77Encoder::literal(uint8_t byte, std::string& out) {
  append(byte);
  putBits(3, 2);
  putBits(byte, 8);
  flushBytes(out);
  compactHistory();
}

void LZ77Encoder::match(int length, int distance, std::string& out) {
  for (int i = 0; i < length; ++i) append(buffer_[buffer_.size() - static_cast<size_t>(distance)]);
  putMatchBits(length, distance);
  flushBytes(out);
  compactHistory();
}

std::string compressBlock(std::string_view data, LZ77Encoder::Mode mode) {
  LZ77Encoder encoder(mode);
  std::string out;
  encoder.compress(data, out);
  encoder.endBlock(out);
  return out;
}

}  // namespace kexsim
