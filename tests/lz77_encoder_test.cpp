// kexsim's record writer and LZ77 encoder: golden bytes for the wire format,
// and round trips through the client's decoder and readers.
#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <string>
#include <vector>

#include "kexsim_encoder.h"
#include "kexsim_record_writer.h"
#include "lz77_test_parsers.h"

namespace wexel {
namespace {

using kexsim::LZ77Encoder;
using kexsim::RecordWriter;
using testing::bytesOf;
using testing::CollectingParser;

using testing::hexOf;

TEST(RecordWriter, GoldenFieldBytes) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* hex;
  };
  const uint64_t endOf2013 = kexsim::packTime(2013, 12, 31, 23, 59, 59);
  const std::vector<Case> cases = {
      {"negative int", RecordWriter().int32(-42).recordEnd().take(), "B42F"},
      {"end in a high nibble is padded", RecordWriter().int32(7).recordEnd().take(), "A7F0"},
      {"int64 minimum", RecordWriter().int64(INT64_MIN).recordEnd().take(), "B9223372036854775808F0"},
      {"decimal text", RecordWriter().decimal("-12.50").recordEnd().take(), "B12D50F0"},
      {"decimal digits", RecordWriter().decimal(101.25, 2).recordEnd().take(), "A101D25F"},
      {"decimal without fraction", RecordWriter().decimal(3.0, 0).recordEnd().take(), "A3F0"},
      {"empty number", RecordWriter().emptyNumber().recordEnd().take(), "AF"},
      {"date-time", RecordWriter().dateTime(endOf2013).recordEnd().take(), "A20131231235959F"},
      {"small value", RecordWriter().small(9).recordEnd().take(), "E9F0"},
      {"string", RecordWriter().string("ab").recordEnd().take(), "C0616200F0"},
      {"string after a low-nibble marker", RecordWriter().int32(12).string("x").take(), "A12C7800"},
      {"group mark padded", RecordWriter().int32(1).groupMark().take(), "A1C0"},
  };
  for (const auto& c : cases) EXPECT_EQ(hexOf(c.bytes), c.hex) << c.name;
  EXPECT_EQ(endOf2013, 0x2013123123595900ull);
}

TEST(RecordWriter, RecordReadsBackThroughTheClientReaders) {
  const uint64_t time = kexsim::packTime(2024, 2, 29, 9, 30, 5);
  const std::string record = RecordWriter()
                                 .int32(-7)
                                 .int64(9000000000123)
                                 .decimal("0.3")
                                 .decimal(-101.25, 2)
                                 .emptyNumber()
                                 .dateTime(time)
                                 .small(15)
                                 .string("\xD1\xC1\xC5\xD0")
                                 .groupMark()
                                 .recordEnd()
                                 .take();
  const CollectingParser p;
  WNibbleCursor c(record.data(), static_cast<int>(record.size()));
  int32_t i32 = 0, small = 0;
  int64_t i64 = 0;
  double tenths = 0, price = 0, empty = 0;
  uint64_t t = 0;
  char text[8];
  ASSERT_GT(p.readInt32(c, i32), 0);
  ASSERT_GT(p.readInt64(c, i64), 0);
  ASSERT_GT(p.readDouble(c, tenths), 0);
  ASSERT_GT(p.readDouble(c, price), 0);
  ASSERT_GT(p.readDouble(c, empty), 0);
  ASSERT_GT(p.readDateTime(c, t), 0);
  ASSERT_GT(p.readSmall(c, small), 0);
  ASSERT_GT(p.readString(c, text, sizeof text), 0);
  ASSERT_GT(p.readGroupMark(c), 0);
  ASSERT_GT(p.readRecordEnd(c), 0);
  EXPECT_EQ(c.nibbles, 0);
  EXPECT_EQ(i32, -7);
  EXPECT_EQ(i64, 9000000000123);
  EXPECT_EQ(tenths, 0.3);
  EXPECT_EQ(price, -101.25);
  EXPECT_EQ(std::bit_cast<uint64_t>(empty), std::bit_cast<uint64_t>(p.emptyNumber()));
  EXPECT_EQ(t, time);
  EXPECT_EQ(small, 15);
  EXPECT_EQ(std::string(text), "\xD1\xC1\xC5\xD0");
}

TEST(LZ77Encoder, GoldenStreams) {
  struct Case {
    std::string data;
    LZ77Encoder::Mode mode;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"ABABABAB", LZ77Encoder::Mode::kGreedy, bytesOf({0x07, 0x2D, 0x24, 0x03, 0xA0, 0x2A})},
      {std::string(3, '\0'), LZ77Encoder::Mode::kGreedy, bytesOf({0x04, 0x80, 0xAA})},
      {"", LZ77Encoder::Mode::kGreedy, bytesOf({0xAA, 0x02})},
      // Three literals and a length-2 match at distance 3: 30 + 13 + 10 bits.
      {"xyzxy", LZ77Encoder::Mode::kGreedy, bytesOf({0xE3, 0x9D, 0xB7, 0x5E, 0x02, 0x50, 0x15})},
      {"xyzxy", LZ77Encoder::Mode::kLiteralOnly, bytesOf({0xE3, 0x9D, 0xB7, 0xDE, 0x78, 0xE7, 0xA9, 0x0A})},
  };
  for (const auto& c : cases) {
    const std::string body = kexsim::compressBlock(c.data, c.mode);
    EXPECT_EQ(hexOf(body), hexOf(c.body)) << c.data;
    CollectingParser parser;
    ASSERT_EQ(testing::feedWhole(parser, body), 0);
    EXPECT_EQ(parser.decoded, c.data);
  }
}

std::string randomBytes(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::string out(n, '\0');
  for (auto& c : out) c = static_cast<char>(random());
  return out;
}

TEST(LZ77Encoder, EveryLengthAndDistanceClassDecodesToItsCopy) {
  const std::vector<int> lengths = {2, 3, 4, 5, 8, 9, 16, 17, 32, 33, 62, 63};
  const std::vector<int> distances = {1,    2,    255,  256,  257,   512,   513,   1024,  1025,
                                      2048, 2049, 4096, 4097, 8192, 8193, 16384, 16385, 32767, 32768};
  LZ77Encoder encoder(LZ77Encoder::Mode::kLiteralOnly);
  std::string expected = randomBytes(40000, 5);
  std::string body;
  encoder.compress(expected, body);
  for (int distance : distances) {
    for (int length : lengths) {
      encoder.match(length, distance, body);
      for (int i = 0; i < length; ++i) expected.push_back(expected[expected.size() - static_cast<size_t>(distance)]);
    }
  }
  encoder.endBlock(body);
  CollectingParser whole, bytewise;
  ASSERT_EQ(testing::feedWhole(whole, body), 0);
  ASSERT_EQ(testing::feedBytewise(bytewise, body), 0);
  EXPECT_EQ(whole.decoded, expected);
  EXPECT_EQ(bytewise.decoded, expected);
}

TEST(LZ77Encoder, LaterBlocksMatchIntoEarlierOnes) {
  const std::string block = randomBytes(10000, 8);
  LZ77Encoder encoder;
  std::string first, second;
  encoder.compress(block, first);
  encoder.endBlock(first);
  encoder.compress(block, second);
  encoder.endBlock(second);
  EXPECT_GT(first.size(), block.size());  // random bytes do not compress
  // 63-byte matches of about 26 bits each.
  EXPECT_LT(second.size(), block.size() / 15);
  CollectingParser parser;
  ASSERT_EQ(testing::feedWhole(parser, first + second), 0);
  EXPECT_EQ(parser.decoded, block + block);
}

TEST(LZ77Encoder, UnfinishedBitsWaitForTheNextCall) {
  LZ77Encoder encoder(LZ77Encoder::Mode::kLiteralOnly);
  std::string out;
  encoder.compress(std::string_view("A"), out);
  EXPECT_EQ(out.size(), 1u);
  EXPECT_EQ(encoder.pendingBits(), 2);
  encoder.endBlock(out);
  EXPECT_EQ(encoder.pendingBits(), 0);
  EXPECT_EQ(out.size(), 3u);  // 10 + 10 bits, padded
}

TEST(LZ77Encoder, SingleTokensAndCompressMixAcrossHistoryCompaction) {
  const std::string data = randomBytes(1'100'000, 4);
  LZ77Encoder encoder;
  std::string body;
  for (char c : data) encoder.literal(static_cast<uint8_t>(c), body);
  const std::string tail = data.substr(data.size() - 5000);
  encoder.compress(tail, body);  // found again in the history the tokens left
  encoder.endBlock(body);
  CollectingParser parser;
  ASSERT_EQ(testing::feedWhole(parser, body), 0);
  EXPECT_EQ(parser.decoded, data + tail);
  EXPECT_LT(body.size(), data.size() * 10 / 8 + 1000);
}

TEST(LZ77Encoder, LongStreamsRoundTripAcrossHistoryCompaction) {
  // Several megabytes through one encoder, in uneven calls and blocks.
  std::mt19937 random(3);
  std::string data;
  while (data.size() < 3'000'000) {
    data += "SBER;" + std::to_string(25000 + random() % 300) + ";" + std::to_string(random() % 1000) + "\n";
    if (random() % 50 == 0) data += randomBytes(random() % 400, static_cast<uint32_t>(data.size()));
  }
  LZ77Encoder encoder;
  std::string body;
  for (size_t at = 0; at < data.size();) {
    const size_t n = std::min<size_t>(data.size() - at, 1 + random() % 70000);
    encoder.compress(std::string_view(data).substr(at, n), body);
    if (random() % 3 == 0) encoder.endBlock(body);
    at += n;
  }
  encoder.endBlock(body);
  EXPECT_LT(body.size(), data.size() * 2 / 3);
  CollectingParser parser;
  ASSERT_EQ(testing::feedRandomPieces(parser, body, 12, 8191), 0);
  EXPECT_EQ(parser.decoded, data);
}

}  // namespace
}  // namespace wexel
