// The LZ77 decode step, the window, the dispatch to record parsers and the
// bad-block report, fed whole, byte by byte and in random pieces.
#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "kexsim_encoder.h"
#include "kexsim_record_writer.h"
#include "log_capture.h"
#include "lz77_test_parsers.h"
#include "core/wexel_log.h"
#include "core/wexel_statistics.h"

namespace wexel {
namespace {

using kexsim::LZ77Encoder;
using testing::bytesOf;
using testing::CollectingParser;
using testing::DecoderSnapshot;
using testing::RecordSplittingParser;

struct GoldenStream {
  const char* name;
  std::string body;
  std::string decoded;
  int32_t finalState;
};

std::vector<GoldenStream> goldenStreams() {
  return {
      // A literal; the zero bits after it begin a length code that waits.
      {"literal_then_waiting_length_code", bytesOf({0x07, 0x01}), "A", WLZ77Parser::kStateLengthCode},
      // Literals A, B, a match of length 6 at distance 2, end of block.
      {"overlapping_match", bytesOf({0x07, 0x2D, 0x24, 0x03, 0xA0, 0x2A}), "ABABABAB",
       WLZ77Parser::kStateBlockEnded},
      // A match of length 3 at distance 1 copies the zero history.
      {"match_into_zero_history", bytesOf({0x04, 0x80, 0xAA}), std::string(3, '\0'),
       WLZ77Parser::kStateBlockEnded},
      {"lone_end_of_block", bytesOf({0xAA, 0x02}), "", WLZ77Parser::kStateBlockEnded},
  };
}

TEST(Lz77Decoder, GoldenStreamsDecodeTheSameHoweverSplit) {
  for (const auto& golden : goldenStreams()) {
    SCOPED_TRACE(golden.name);
    CollectingParser whole, bytewise;
    ASSERT_EQ(testing::feedWhole(whole, golden.body), 0);
    ASSERT_EQ(testing::feedBytewise(bytewise, golden.body), 0);
    EXPECT_EQ(whole.decoded, golden.decoded);
    EXPECT_EQ(bytewise.decoded, golden.decoded);
    EXPECT_EQ(whole.decoderState(), golden.finalState);
    EXPECT_EQ(testing::snapshot(whole), testing::snapshot(bytewise));
  }
}

TEST(Lz77Decoder, StartsWithThirtyTwoKilobytesOfZeroHistory) {
  CollectingParser parser;
  EXPECT_EQ(parser.decoderState(), WLZ77Parser::kStateInitial);
  EXPECT_EQ(parser.windowWritePosition(), 32768);
  EXPECT_EQ(parser.windowReadPosition(), 32768);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(parser.window()), 65536), std::string(65536, '\0'));
}

TEST(Lz77Decoder, LiteralThenLength63AtDistance1RepeatsTheLiteral) {
  LZ77Encoder encoder;
  std::string body;
  encoder.literal('x', body);
  encoder.match(63, 1, body);
  encoder.endBlock(body);
  CollectingParser parser;
  ASSERT_EQ(testing::feedWhole(parser, body), 0);
  EXPECT_EQ(parser.decoded, std::string(64, 'x'));
}

std::string randomBytes(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::string out(n, '\0');
  for (auto& c : out) c = static_cast<char>(random());
  return out;
}

TEST(Lz77Decoder, Distance32768AfterSeveralSlidesCopiesTheByteWrittenThatFarBack) {
  const std::string data = randomBytes(200000, 7);
  LZ77Encoder encoder(LZ77Encoder::Mode::kLiteralOnly);
  std::string body;
  encoder.compress(data, body);
  encoder.match(40, 32768, body);
  encoder.endBlock(body);
  for (int pass = 0; pass < 2; ++pass) {
    CollectingParser parser;
    ASSERT_EQ(pass == 0 ? testing::feedWhole(parser, body) : testing::feedRandomPieces(parser, body, 3), 0);
    ASSERT_EQ(parser.decoded.size(), data.size() + 40);
    EXPECT_EQ(parser.decoded.substr(0, data.size()), data);
    EXPECT_EQ(parser.decoded.substr(data.size()), data.substr(data.size() - 32768, 40));
  }
}

TEST(Lz77Decoder, ChunkExpandingBeyondTheWindowStopsAtWindowFullAndResumes) {
  std::string data;
  for (int i = 0; i < 20000; ++i) data += "quote " + std::to_string(i % 7) + ";";
  const std::string body = kexsim::compressBlock(data);
  ASSERT_LT(body.size(), 8000u);  // one read of the channel
  CollectingParser parser;
  ASSERT_EQ(parser.parseBody(body.data(), static_cast<int>(body.size())), static_cast<int>(body.size()));
  EXPECT_EQ(parser.decoded, data);
  ASSERT_GT(parser.offers.size(), 3u);
  // The first step filled the window above the history until fewer than 64
  // bytes were free, and stopped there.
  EXPECT_EQ(parser.statesAtOffer[0], WLZ77Parser::kStateWindowFull);
  EXPECT_GT(parser.offers[0], 32768 - 64);
  EXPECT_LE(parser.offers[0], 32768);
}

// A call that fills the window consumed its input up to the token start where
// it stopped; once the records taken make room again, the bits it still holds
// start the next token in the same call, as they would have had the input
// been cut elsewhere. Cuts around the first fill must leave the same state.
TEST(Lz77Decoder, InputEndingAtAFullWindowDecodesTheBitsStillHeld) {
  std::string data;
  for (int i = 0; i < 20000; ++i) data += "quote " + std::to_string(i * 7919 % 13) + ";";
  const std::string body = kexsim::compressBlock(data);
  // The shortest prefix whose decoding fills the window: it ends where that
  // call stopped.
  const auto fillsWindow = [&](size_t cut) {
    CollectingParser parser;
    testing::feedWhole(parser, std::string_view(body.data(), cut));
    return parser.statesAtOffer.size() > 0 && parser.statesAtOffer[0] == WLZ77Parser::kStateWindowFull;
  };
  size_t low = 0, firstFull = body.size();
  while (low < firstFull) {
    const size_t middle = (low + firstFull) / 2;
    if (fillsWindow(middle)) firstFull = middle;
    else low = middle + 1;
  }
  ASSERT_LT(firstFull, body.size());
  int heldAtFull = 0;
  for (size_t cut = firstFull - 8; cut <= firstFull + 8; ++cut) {
    SCOPED_TRACE(cut);
    const std::string_view prefix(body.data(), cut);
    CollectingParser whole, bytewise;
    ASSERT_EQ(testing::feedWhole(whole, prefix), 0);
    ASSERT_EQ(testing::feedBytewise(bytewise, prefix), 0);
    EXPECT_EQ(whole.decoded, bytewise.decoded);
    EXPECT_EQ(testing::snapshot(whole), testing::snapshot(bytewise));
    if (whole.statesAtOffer.size() > 0 && whole.statesAtOffer.back() == WLZ77Parser::kStateWindowFull &&
        whole.bitCount() > 0)
      ++heldAtFull;
  }
  EXPECT_GT(heldAtFull, 0);  // some cut did stop at a full window with bits held
}

TEST(Lz77Decoder, EndOfBlockInMidByteResumesAtTheNextByteInTheSameCall) {
  LZ77Encoder encoder;
  std::string body;
  encoder.compress(std::string_view("AB"), body);
  encoder.endBlock(body);
  ASSERT_NE((2 * 10 + 10) % 8, 0);  // the code ends inside a byte: padding follows
  encoder.compress(std::string_view("CD"), body);
  encoder.endBlock(body);
  CollectingParser parser;
  ASSERT_EQ(parser.parseBody(body.data(), static_cast<int>(body.size())), static_cast<int>(body.size()));
  // The step returns after each end of block, so each block is offered apart.
  EXPECT_EQ(parser.offers, (std::vector<int>{2, 2}));
  EXPECT_EQ(parser.decoded, "ABCD");
}

// Feed-like records: numbers, decimals, times, strings, groups.
std::string generatedRecords(size_t records, uint32_t seed) {
  std::mt19937 random(seed);
  kexsim::RecordWriter w;
  for (size_t i = 0; i < records; ++i) {
    w.int32(static_cast<int32_t>(random() % 40)).recordEnd();
    const int fields = static_cast<int>(random() % 12);
    for (int f = 0; f < fields; ++f) {
      switch (random() % 6) {
        case 0: w.decimal(100.0 + static_cast<double>(random() % 100000) / 100.0, 2); break;
        case 1: w.int64(static_cast<int64_t>(random()) - (1ll << 31)); break;
        case 2: w.dateTime(kexsim::packTime(2013, 12, 31, 23, 59, static_cast<int>(random() % 60))); break;
        case 3: w.small(static_cast<int>(random() % 16)); break;
        case 4: w.string("SBER" + std::to_string(random() % 10)); break;
        default: w.emptyNumber(); break;
      }
    }
    w.recordEnd();
  }
  return w.take();
}

// Several blocks, as a feed sends them, each ended by an end-of-block code.
std::string encodeInBlocks(const std::string& data, LZ77Encoder::Mode mode, uint32_t seed) {
  std::mt19937 random(seed);
  LZ77Encoder encoder(mode);
  std::string body;
  for (size_t at = 0; at < data.size();) {
    const size_t n = std::min<size_t>(data.size() - at, 1 + random() % 5000);
    encoder.compress(std::string_view(data).substr(at, n), body);
    encoder.endBlock(body);
    at += n;
  }
  return body;
}

TEST(Lz77Decoder, RecordsAreTheSameWholeBytewiseAndInRandomPieces) {
  const std::string data = generatedRecords(6000, 11);
  for (auto mode : {LZ77Encoder::Mode::kGreedy, LZ77Encoder::Mode::kLiteralOnly}) {
    const std::string body = encodeInBlocks(data, mode, 5);
    RecordSplittingParser whole;
    ASSERT_EQ(testing::feedWhole(whole, body), 0);
    ASSERT_EQ(std::accumulate(whole.records.begin(), whole.records.end(), std::string()), data);
    RecordSplittingParser bytewise;
    ASSERT_EQ(testing::feedBytewise(bytewise, body), 0);
    EXPECT_EQ(bytewise.records, whole.records);
    EXPECT_EQ(testing::snapshot(bytewise), testing::snapshot(whole));
    for (uint32_t seed = 1; seed <= 4; ++seed) {
      RecordSplittingParser pieces;
      ASSERT_EQ(testing::feedRandomPieces(pieces, body, seed, seed * 40), 0);
      EXPECT_EQ(pieces.records, whole.records);
      EXPECT_EQ(testing::snapshot(pieces), testing::snapshot(whole));
    }
  }
}

TEST(Lz77Decoder, ArbitraryBytesDecodeTheSameHoweverSplit) {
  // Any bit pattern is a valid stream; the fast path and the exact machine
  // must agree on it to the last saved bit.
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    const std::string body = randomBytes(3000 + seed * 997, seed);
    CollectingParser whole, bytewise, pieces;
    ASSERT_EQ(testing::feedWhole(whole, body), 0);
    ASSERT_EQ(testing::feedBytewise(bytewise, body), 0);
    ASSERT_EQ(testing::feedRandomPieces(pieces, body, seed, 17), 0);
    EXPECT_EQ(bytewise.decoded, whole.decoded);
    EXPECT_EQ(pieces.decoded, whole.decoded);
    EXPECT_EQ(testing::snapshot(bytewise), testing::snapshot(whole));
    EXPECT_EQ(testing::snapshot(pieces), testing::snapshot(whole));
  }
}

TEST(Lz77Decoder, StreamingEncoderRoundTripsVariedData) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "BID 101.2" + std::to_string(i % 13) + " ASK 101.3 VOL " + std::to_string(i) + "\n";
  const std::vector<std::pair<const char*, std::string>> inputs = {
      {"random", randomBytes(70000, 1)},
      {"zeros", std::string(100000, '\0')},
      {"text", text},
      {"records", generatedRecords(2000, 3)},
  };
  for (const auto& [name, data] : inputs) {
    for (auto mode : {LZ77Encoder::Mode::kGreedy, LZ77Encoder::Mode::kLiteralOnly}) {
      SCOPED_TRACE(name);
      CollectingParser parser;
      ASSERT_EQ(testing::feedRandomPieces(parser, encodeInBlocks(data, mode, 9), 21, 4000), 0);
      EXPECT_EQ(parser.decoded, data);
    }
  }
}

TEST(Lz77Decoder, RecordParserTakesWhatIsCompleteBelowTheLimitAndFailsAtIt) {
  RecordSplittingParser parser;
  const std::string digits(1024, '\x11');  // a number that never ends
  EXPECT_EQ(parser.parseRecord(digits.data(), 1023), 0);
  EXPECT_EQ(parser.parseRecord(digits.data(), 1024), kErrorMalformed);
}

TEST(Lz77Decoder, StatisticsCountTheBytesRecordsConsumed) {
  const std::string data = generatedRecords(500, 4);
  const int64_t before = statsSnapshot().bytesDecoded;
  RecordSplittingParser parser;
  ASSERT_EQ(testing::feedWhole(parser, kexsim::compressBlock(data)), 0);
  EXPECT_EQ(statsSnapshot().bytesDecoded - before, static_cast<int64_t>(data.size()));
}

// Breaks the record-parser contract: never consumes anything.
class NeverConsumingParser : public WLZ77Parser {
 public:
  int parseRecord(const char*, int) override { return 0; }
};

TEST(Lz77Decoder, ParserThatNeverConsumesStallsAtWindowFullWithoutOverrun) {
  const std::string body = kexsim::compressBlock(randomBytes(40000, 2), LZ77Encoder::Mode::kLiteralOnly);
  for (bool bytewise : {false, true}) {
    NeverConsumingParser parser;
    ASSERT_EQ(bytewise ? testing::feedBytewise(parser, body) : testing::feedWhole(parser, body), 0);
    EXPECT_EQ(parser.decoderState(), WLZ77Parser::kStateWindowFull);
    EXPECT_GT(parser.windowWritePosition(), 65536 - 64);
    EXPECT_LE(parser.windowWritePosition(), 65536);
    EXPECT_EQ(parser.parseBody(body.data(), 10), 0);  // nothing more is taken
  }
}

// Breaks the record-parser contract: claims more bytes than it was given.
class OverclaimingParser : public CollectingParser {
 public:
  int parseRecord(const char* data, int size) override { return CollectingParser::parseRecord(data, size) + 100; }
};

TEST(Lz77Decoder, OverclaimedRecordStopsAtTheWritePosition) {
  const std::string data = randomBytes(100000, 6);
  OverclaimingParser parser;
  ASSERT_EQ(testing::feedRandomPieces(parser, kexsim::compressBlock(data), 8, 500), 0);
  EXPECT_EQ(parser.decoded, data);
  EXPECT_EQ(parser.windowReadPosition(), parser.windowWritePosition());
}

// Takes a fixed number of one-byte records, then fails.
class FailingAfterParser : public WLZ77Parser {
 public:
  explicit FailingAfterParser(int good) : good_(good) {}
  int parseRecord(const char*, int) override { return good_-- > 0 ? 1 : kErrorMalformed; }

 private:
  int good_;
};

TEST(Lz77Decoder, BadBlockIsDumpedBetweenBannersWhateverTheLevel) {
  const std::string data = "0123456789abcdefghijklmnopqrstuvwxyz";
  const std::string body = kexsim::compressBlock(data);
  testing::LogCapture log(kLogError);
  FailingAfterParser parser(10);
  EXPECT_EQ(parser.parseBody(body.data(), static_cast<int>(body.size())), kErrorMalformed);
  const std::vector<std::string> expected = {
      "=============== Dumping bad block =================",
      formatTrafficDump(data.data() + 10, data.size() - 10),
      "===================================================",
  };
  EXPECT_EQ(log.lines(), expected);
}

}  // namespace
}  // namespace wexel
