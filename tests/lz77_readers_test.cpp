// The nibble field readers: values, nibbles consumed, "need more" (0) and
// "wrong marker" (-1), and that failures leave the cursor alone.
#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lz77_test_parsers.h"

namespace wexel {
namespace {

using testing::CollectingParser;

// Nibbles written as hex digits, e.g. "B42F". An odd count is stored behind a
// leading filler nibble that the cursor has already passed, so the first
// nibble given may be a low nibble.
class Nibbles {
 public:
  explicit Nibbles(const std::string& hex) : filler_(hex.size() % 2) {
    const std::string padded = (filler_ ? "0" : "") + hex;
    for (size_t i = 0; i < padded.size(); i += 2) bytes_.push_back(static_cast<char>(std::stoi(padded.substr(i, 2), nullptr, 16)));
  }
  WNibbleCursor cursor() const {
    WNibbleCursor c(bytes_.data(), static_cast<int>(bytes_.size()));
    c.advance(filler_);
    return c;
  }

 private:
  int filler_;
  std::string bytes_;
};

bool sameCursor(const WNibbleCursor& a, const WNibbleCursor& b) { return a.data == b.data && a.nibbles == b.nibbles; }

// Runs one reader and checks the cursor moved by exactly the answer.
template <typename Read>
int readAndCheckCursor(const std::string& hex, Read read) {
  const Nibbles input(hex);
  WNibbleCursor cursor = input.cursor();
  const WNibbleCursor start = cursor;
  const int result = read(cursor);
  WNibbleCursor expected = start;
  if (result > 0) expected.advance(result);
  EXPECT_TRUE(sameCursor(cursor, expected)) << hex;
  return result;
}

template <typename T>
struct ReaderCase {
  const char* nibbles;
  int result;
  T value;
};

TEST(Lz77Readers, Int32) {
  const CollectingParser p;
  const std::vector<ReaderCase<int32_t>> cases = {
      {"B42F", 3, -42},
      {"AF", 1, 0},  // a marker without digits
      {"A7C", 2, 7},
      {"A2147483647F", 11, INT32_MAX},
      {"B2147483648F", 11, INT32_MIN},
      {"A4294967297F", 11, 1},  // 32-bit arithmetic wraps
      {"A12", 0, 0},             // the number's end is not known yet
      {"A", 0, 0},
      {"", 0, 0},
      {"F", -1, 0},
      {"E1", -1, 0},
  };
  for (const auto& c : cases) {
    int32_t value = 0;
    EXPECT_EQ(readAndCheckCursor(c.nibbles, [&](WNibbleCursor& k) { return p.readInt32(k, value); }), c.result)
        << c.nibbles;
    if (c.result > 0) {
      EXPECT_EQ(value, c.value) << c.nibbles;
    }
  }
}

TEST(Lz77Readers, Int64) {
  const CollectingParser p;
  const std::vector<ReaderCase<int64_t>> cases = {
      {"A123456789012F", 13, 123456789012},
      {"B9223372036854775808F", 20, INT64_MIN},
      {"A9223372036854775807A", 20, INT64_MAX},
      {"B0F", 2, 0},
      {"B", 0, 0},
      {"C", -1, 0},
  };
  for (const auto& c : cases) {
    int64_t value = 0;
    EXPECT_EQ(readAndCheckCursor(c.nibbles, [&](WNibbleCursor& k) { return p.readInt64(k, value); }), c.result)
        << c.nibbles;
    if (c.result > 0) {
      EXPECT_EQ(value, c.value) << c.nibbles;
    }
  }
}

TEST(Lz77Readers, DoubleMarkersPointsAndNeedMore) {
  const CollectingParser p;
  const double empty = p.emptyNumber();
  const std::vector<ReaderCase<double>> cases = {
      {"AF", 1, empty},
      {"BF", 1, empty},  // the sign is not applied to the empty value
      {"ADF", 2, 0.0},
      {"BDF", 2, -0.0},
      {"B12D5F", 5, -12.5},
      {"A0D3F", 4, 0.3},
      {"A1D2D5F", 4, 1.2},                // a second point is the next field's marker
      {"A101D25F", 7, 101.25},
      {"A12", 0, 0},  // not 12: the number may go on
      {"A12D", 0, 0},
      {"A", 0, 0},
      {"E5", -1, 0},
  };
  for (const auto& c : cases) {
    double value = 1.0;
    EXPECT_EQ(readAndCheckCursor(c.nibbles, [&](WNibbleCursor& k) { return p.readDouble(k, value); }), c.result)
        << c.nibbles;
    if (c.result > 0) {
      EXPECT_EQ(std::bit_cast<uint64_t>(value), std::bit_cast<uint64_t>(c.value)) << c.nibbles;
    }
  }
  EXPECT_EQ(std::bit_cast<uint64_t>(empty), 0x7FFFFFFFFFFFFFFFull);
}

// The nearest double to the decimal sent, bit for bit what strtod gives:
// values a digit-by-digit sum gets wrong, long mantissas and fractions that
// take the slow path, and exact values that must stay as they were.
TEST(Lz77Readers, DoubleIsTheNearestToTheDecimalSent) {
  const CollectingParser p;
  const std::string decimals[] = {
      "250.48", "0.3", "101.23", "4.35", "0.00001", "1.7976931348623157", "12345678901234567",
      "9007199254740993", "0.1000000000000000055511151231257827", "123456789012345678901234567890.5",
      "0.00000000000000000000001", "0.0000000000000000000000123", "99999999999999999999", "65.1", "1", "0",
      "101.25", "8.5", "0000000000000000000000000000001.25",
      "1" + std::string(400, '0'), "0." + std::string(400, '0') + "1"};  // beyond the double range
  for (const std::string& decimal : decimals) {
    std::string hex = "A";
    for (const char c : decimal) hex += c == '.' ? 'D' : c;
    hex += "F";
    double value = 0;
    EXPECT_EQ(readAndCheckCursor(hex, [&](WNibbleCursor& k) { return p.readDouble(k, value); }),
              static_cast<int>(hex.size()) - 1)
        << decimal;
    EXPECT_EQ(std::bit_cast<uint64_t>(value), std::bit_cast<uint64_t>(std::strtod(decimal.c_str(), nullptr)))
        << decimal;
  }
}

TEST(Lz77Readers, DateTimeIsBcdShiftedByOneByte) {
  const CollectingParser p;
  const std::vector<ReaderCase<uint64_t>> cases = {
      {"A20131231235959F", 15, 0x2013123123595900ull},
      {"A1F", 2, 0x100},
      {"A20131231235959", 0, 0},
      {"B20131231235959F", -1, 0},  // a time is never negative
      {"F", -1, 0},
  };
  for (const auto& c : cases) {
    uint64_t value = 0;
    EXPECT_EQ(readAndCheckCursor(c.nibbles, [&](WNibbleCursor& k) { return p.readDateTime(k, value); }), c.result)
        << c.nibbles;
    if (c.result > 0) {
      EXPECT_EQ(value, c.value) << c.nibbles;
    }
  }
}

TEST(Lz77Readers, Small) {
  const CollectingParser p;
  const std::vector<ReaderCase<int32_t>> cases = {
      {"E7", 2, 7}, {"EF", 2, 15}, {"E0A", 2, 0}, {"E", 0, 0}, {"F", 0, 0}, {"A5", -1, 0},
  };
  for (const auto& c : cases) {
    int32_t value = -1;
    EXPECT_EQ(readAndCheckCursor(c.nibbles, [&](WNibbleCursor& k) { return p.readSmall(k, value); }), c.result)
        << c.nibbles;
    if (c.result > 0) {
      EXPECT_EQ(value, c.value) << c.nibbles;
    }
  }
}

TEST(Lz77Readers, MarkersAlignToTheNextByte) {
  const CollectingParser p;
  struct Case {
    const char* nibbles;
    int recordEnd, groupMark;
  };
  const std::vector<Case> cases = {
      {"F0", 2, -1},   // high nibble: its low nibble is skipped
      {"F", 1, -1},    // low nibble: already aligned
      {"FA1", 1, -1},  // (low nibble) the next field starts on the byte after
      {"C0", -1, 2},
      {"C", -1, 1},
      {"", 0, 0},
      {"A1", -1, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(readAndCheckCursor(c.nibbles, [&](WNibbleCursor& k) { return p.readRecordEnd(k); }), c.recordEnd)
        << c.nibbles;
    EXPECT_EQ(readAndCheckCursor(c.nibbles, [&](WNibbleCursor& k) { return p.readGroupMark(k); }), c.groupMark)
        << c.nibbles;
  }
}

using testing::hexOf;

TEST(Lz77Readers, StringFitsUpToCapacityIncludingItsNul) {
  const CollectingParser p;
  struct Case {
    std::string nibbles;
    int capacity;
    int result;
  };
  const std::string s31(31, 'x'), s32(32, 'x'), s63(63, 'y'), s64(64, 'y');
  const std::vector<Case> cases = {
      {"C0" + hexOf(s31) + "00", 32, 2 + 64},
      {"C0" + hexOf(s32) + "00", 32, -1},
      {"C0" + hexOf(s63) + "00F0", 64, 2 + 128},
      {"C0" + hexOf(s64) + "00", 64, -1},
      {"C0" + hexOf(s64), 64, -1},  // no NUL in capacity bytes: it can never fit
      {"C0" + hexOf(s63), 64, 0},   // the NUL may still come
      {"C" + hexOf("ab") + "00", 8, 1 + 6},  // marker in a low nibble
      {"C0", 8, 0},
      {"C", 8, 0},
      {"", 8, 0},
      {"A0" + hexOf("ab") + "00", 8, -1},
      {"C000", 0, -1},
  };
  for (const auto& c : cases) {
    std::vector<char> buffer(static_cast<size_t>(c.capacity) + 1, '#');
    EXPECT_EQ(readAndCheckCursor(c.nibbles, [&](WNibbleCursor& k) { return p.readString(k, buffer.data(), c.capacity); }),
              c.result)
        << c.nibbles;
    if (c.result <= 0) {
      EXPECT_EQ(buffer[0], '#') << "written on failure: " << c.nibbles;
    }
  }
}

TEST(Lz77Readers, StringBytesAreCopiedUnchanged) {
  const CollectingParser p;
  const std::string text = "\xD1\xE1\xE5\xF0\xE1\xE0\xED\xEA\x01\x7F";  // CP1251 and control bytes
  const Nibbles input("C0" + hexOf(text) + "00");
  WNibbleCursor cursor = input.cursor();
  char buffer[64];
  ASSERT_EQ(p.readString(cursor, buffer, sizeof buffer), 2 + 2 * 11);
  EXPECT_EQ(std::string(buffer), text);
}

TEST(Lz77Readers, SkipRecordPassesEveryFieldKind) {
  const CollectingParser p;
  struct Case {
    std::string nibbles;
    int result;
  };
  const std::vector<Case> cases = {
      {"F0", 2},
      {"A12D5B3EF" "F0", 11},                             // E takes the F after it as its value
      {"A1C0" + hexOf("F\x0F") + "00F0", 4 + 6 + 2},      // F bytes inside a string are text
      {"A1C" + hexOf("x") + "00" "F0", 3 + 4 + 2},        // string marker in a low nibble
      {"AFA1", 2},                                        // stops at the first end
      {"A12", 0},
      {"AE", 0},
      {"C0" + hexOf("abc"), 0},
      {"", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(readAndCheckCursor(c.nibbles, [&](WNibbleCursor& k) { return p.skipRecord(k); }), c.result)
        << c.nibbles;
  }
}

TEST(Lz77Readers, CountNumberFieldsToTheRecordEnd) {
  struct Case {
    std::string nibbles;
    int enough;
    int result;
  };
  const std::string eighteen = [] {
    std::string fields;
    for (int i = 0; i < 18; ++i) fields += i % 2 ? "B12D5" : "A7";
    return fields;
  }();
  const std::vector<Case> cases = {
      {"F0", 99, 0},
      {"A12D5B3EFA" "F0", 99, 4},               // E takes the F after it as its value
      {"0A1A2F", 99, 2},                        // odd start: the first nibble is a low nibble
      {"A1" "A2" "A3" "A4" "A5" "A6" "A7" "A8" "A9" "F0", 99, 9},  // past one word
      {eighteen + "F0", 99, 18},
      {eighteen + "F0", 17, 18},                // stops once past `enough`
      {eighteen + "C0" + hexOf("x") + "00F0", 17, 18},  // the text after it is not reached
      {eighteen + "C0" + hexOf("x") + "00F0", 99, -1},
      {"A1A2", 99, -1},                         // no end yet
      {"A1E", 99, -1},
      {"", 99, -1},
  };
  for (const auto& c : cases) {
    const Nibbles input(c.nibbles);
    EXPECT_EQ(WLZ77Parser::countNumberFields(input.cursor(), c.enough), c.result) << c.nibbles;
  }
}

TEST(Lz77Readers, ReadersNeverReachPastTheirData) {
  // Every reader on every byte prefix of a record, each prefix in a buffer of
  // its own size, so that a read beyond it would show under the address sanitizer.
  const CollectingParser p;
  const std::string record = "A12D5B3E7A" "C0" + hexOf("name") + "00" "A20131231235959F";
  for (size_t n = 0; n <= record.size(); n += 2) {
    const Nibbles input(record.substr(0, n));
    WNibbleCursor c = input.cursor();
    int32_t small;
    double d;
    uint64_t t;
    char text[8];
    const bool all = p.readDouble(c, d) > 0 && p.readDouble(c, d) > 0 && p.readSmall(c, small) > 0 &&
                     p.readDouble(c, d) > 0 && p.readString(c, text, sizeof text) > 0 &&
                     p.readDateTime(c, t) > 0 && p.readRecordEnd(c) > 0;
    EXPECT_EQ(all, n == record.size()) << n;
    WNibbleCursor skip = input.cursor();
    EXPECT_EQ(p.skipRecord(skip) > 0, n == record.size()) << n;
  }
}

}  // namespace
}  // namespace wexel
