// The server side of the compressed reply format: an LZ77 bit stream read
// least-significant bit first, made of literals (flags 1,1 + 8 bits), matches
// of length 2 (flags 1,0 + offset), matches with a coded length 3..63 (flag 0 +
// length code + offset) and the end-of-block code (length code 64, then
// padding to the next byte).
//
// Usage by a streaming server (one encoder per response body):
//
//   kexsim::LZ77Encoder encoder;
//   std::string out;
//   encoder.compress(records.data(), records.size(), out);
//   encoder.endBlock(out);          // out now ends on a byte boundary: send it
//   ...                             // later blocks keep matching into earlier ones
//
// The encoder keeps the last 32,768 bytes it encoded as history across calls,
// starting from 32,768 zero bytes like the client's decoder, so block after
// block of one body may refer back into earlier blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kexsim {

class LZ77Encoder {
 public:
  enum class Mode {
    kGreedy,       // hash-chain matcher, longest match at each position
    kLiteralOnly,  // every byte as a literal (largest output, simplest stream)
  };

  static constexpr int kMinLength = 2;
  static constexpr int kMaxLength = 63;
  static constexpr int kMaxDistance = 32768;

  explicit LZ77Encoder(Mode mode = Mode::kGreedy, int maxChain = 32);

  // Appends the tokens for `size` bytes to `out`. Whole bytes only are
  // appended; the bits of an unfinished byte stay in the encoder until the
  // next call or endBlock().
  void compress(const uint8_t* data, size_t size, std::string& out);
  void compress(std::string_view data, std::string& out);
  // Appends the end-of-block code and pads the last byte with zero bits.
  void endBlock(std::string& out);

  // Single tokens, for tests that need an exact stream. Both append the bytes
  // they produce to the history.
  void literal(uint8_t byte, std::string& out);
  // Precondition: kMinLength <= length <= kMaxLength, 1 <= distance <= kMaxDistance.
  void match(int length, int distance, std::string& out);

  // Bits written but not yet appended as a whole byte (0..7).
  int pendingBits() const { return bitCount_; }

 private:
  struct Found {
    int length;
    int distance;
  };

  void putBits(uint32_t value, int count);
  void flushBytes(std::string& out);
  void putLengthCode(int length);
  void putOffset(int distance);
  void putMatchBits(int length, int distance);
  void append(uint8_t byte);
  void insertHash(size_t position);
  Found longestMatch(size_t position, size_t end) const;
  Found pairMatch(size_t position, size_t end) const;
  void compactHistory();

  Mode mode_;
  int maxChain_;
  uint64_t bits_ = 0;
  int bitCount_ = 0;
  // History plus everything encoded since the last compaction; positions in
  // the hash tables index this buffer.
  std::vector<uint8_t> buffer_;
  size_t hashed_ = 0;  // positions below this are in the hash tables
  std::vector<int64_t> head_;
  std::vector<int64_t> prev_;
  std::vector<int64_t> pairHead_;
};

// One-shot: the whole of `data` as one block from a fresh history, ended by an
// end-of-block code.
std::string compressBlock(std::string_view data,
                          LZ77Encoder::Mode mode = LZ77Encoder::Mode::kGreedy);

}  // namespace kexsim
