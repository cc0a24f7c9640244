#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "log_capture.h"
#include "net/wexel_parser.h"

namespace {

using wexel::testing::LogCapture;

// Keeps the body and every error and header field the base parser reports.
class RecordingParser : public wexel::WexelParser {
 public:
  int parseBody(const char* data, int count) override {
    body.append(data, static_cast<size_t>(count));
    ++bodyCalls;
    return count;
  }
  int onError(int code, const char* text) override {
    errors.emplace_back(code, text);
    return WexelParser::onError(code, text);
  }
  int onHeaderField(const char* name, const char* value) override {
    fields.emplace_back(name, value);
    return 0;
  }

  // Feeds text in the given pieces, as the channel would after each read.
  int feed(const std::string& text, const std::vector<size_t>& cuts) {
    size_t at = 0;
    int last = 0;
    for (size_t i = 0; i <= cuts.size(); ++i) {
      size_t end = i < cuts.size() ? cuts[i] : text.size();
      std::memcpy(writePosition(), text.data() + at, end - at);
      last = onReceived(static_cast<int>(end - at));
      if (last < 0) return last;
      at = end;
    }
    return last;
  }

  std::string body;
  int bodyCalls = 0;
  std::vector<std::pair<int, std::string>> errors;
  std::vector<std::pair<std::string, std::string>> fields;
};

const std::string kResponse =
    "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nKeep-Alive: timeout=15, max=100\r\n"
    "Keep-Alive: max=7\r\nConnection: Close\r\nNo colon here\r\n\r\nBODY-BYTES";

TEST(HttpParser, SameResultWholeByteByByteAndAtRandomSplits) {
  std::vector<std::vector<size_t>> splits = {{}};
  std::vector<size_t> everyByte;
  for (size_t i = 1; i < kResponse.size(); ++i) everyByte.push_back(i);
  splits.push_back(everyByte);
  std::mt19937 random(7);
  for (int r = 0; r < 20; ++r) {
    std::vector<size_t> cuts;
    for (size_t at = 0; (at += 1 + random() % 20) < kResponse.size();) cuts.push_back(at);
    splits.push_back(cuts);
  }
  for (const auto& cuts : splits) {
    RecordingParser parser;
    parser.feed(kResponse, cuts);
    EXPECT_EQ(parser.body, "BODY-BYTES");
    EXPECT_TRUE(parser.errors.empty());
    EXPECT_EQ(parser.headersParsed(), 1);
    EXPECT_EQ(parser.keepAliveMax(), 100);  // the second Keep-Alive is ignored
    EXPECT_TRUE(parser.closeRequested());
    ASSERT_EQ(parser.fields.size(), 4u);
    EXPECT_EQ(parser.fields[0], std::make_pair(std::string("Content-Type"), std::string("application/octet-stream")));
  }
}

// Numbers in header values: a value that is not a plain number in range is
// no number, never a wrapped or negative one.
TEST(HttpParser, HeaderNumbersAreReadWithinTheirRange) {
  struct Case {
    const char* value;
    int64_t whole;    // headerDecimal(value, INT32_MAX)
    int64_t leading;  // leadingDecimal(value, INT32_MAX)
  };
  const Case cases[] = {
      {"0", 0, 0},
      {"512 \t", 512, 512},
      {"2147483647", 2147483647, 2147483647},
      {"2147483648", -1, -1},
      {"99999999999999999999999", -1, -1},
      {"-5", -1, -1},
      {"+5", -1, -1},
      {" 5", -1, -1},
      {"", -1, -1},
      {"12, timeout=5", -1, 12},
      {"0x10", -1, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wexel::headerDecimal(c.value, INT32_MAX), c.whole) << c.value;
    EXPECT_EQ(wexel::leadingDecimal(c.value, INT32_MAX), c.leading) << c.value;
  }
  for (const char* bad : {"max=-3", "max=99999999999", "max=many"}) {
    RecordingParser parser;
    parser.feed(std::string("HTTP/1.0 200 OK\r\nKeep-Alive: timeout=15, ") + bad + "\r\n\r\n", {});
    EXPECT_EQ(parser.keepAliveMax(), wexel::WexelParser::kNoKeepAliveMax) << bad;
  }
  RecordingParser spaced;
  spaced.feed("HTTP/1.0 200 OK\r\nKeep-Alive: max= 9, timeout=15\r\n\r\n", {});
  EXPECT_EQ(spaced.keepAliveMax(), 9);
}

TEST(HttpParser, NoBodyParseBeforeTheBlankLine) {
  RecordingParser parser;
  std::string head = "HTTP/1.0 200 OK\r\nA: b\r\n\r";
  std::memcpy(parser.writePosition(), head.data(), head.size());
  EXPECT_EQ(parser.onReceived(static_cast<int>(head.size())), 0);
  EXPECT_EQ(parser.bodyCalls, 0);
  EXPECT_FALSE(parser.isHeaderParsed());
  EXPECT_EQ(parser.buffered(), static_cast<int64_t>(head.size()));
}

TEST(HttpParser, StatusLines) {
  struct Case {
    std::string statusLine;
    int result;
    int errorCode;
    std::string errorText;
    std::string logLine;
  };
  const Case cases[] = {
      {"HTTP/1.0 200", -1, -1001, "Bad http response", "Bad http response -1001"},
      {"HTTP/1.0", -1, -1001, "Bad http response", "Bad http response -1001"},
      {"HTTP/1.0 200 ", 0, 0, "", ""},
      {"HTTP/1.0\t200\tFine", 0, 0, "", ""},
      {"HTTP/1.0 401 Unauthorized", -1, -1001, "Unauthorized", "Error response: -1002, http code: 401, Unauthorized"},
      {"HTTP/1.0 403 Forbidden", -1, -1001, "Forbidden", "Error response: -1003, http code: 403, Forbidden"},
      {"HTTP/1.0 500 Server Error", -1, -1001, "Server Error", "Error response: -1001, http code: 500, Server Error"},
      {"HTTP/1.0 2000 OK", -1, -1001, "OK", "Error response: -1001, http code: 2000, OK"},
  };
  for (const auto& c : cases) {
    LogCapture log(6);
    RecordingParser parser;
    std::string text = c.statusLine + "\r\n\r\n";
    int r = parser.feed(text, {});
    EXPECT_EQ(r < 0 ? -1 : 0, c.result) << c.statusLine;
    if (c.errorCode == 0) {
      EXPECT_TRUE(parser.errors.empty()) << c.statusLine;
      continue;
    }
    ASSERT_EQ(parser.errors.size(), 1u) << c.statusLine;
    EXPECT_EQ(parser.errors[0], std::make_pair(c.errorCode, c.errorText)) << c.statusLine;
    EXPECT_TRUE(log.contains(c.logLine)) << c.statusLine;
    EXPECT_TRUE(log.contains("ERROR: " + c.errorText + ", code: -1001")) << c.statusLine;
  }
}

// A zero byte or a stray CR inside a line must not make the walk leave the data.
TEST(HttpParser, OddBytesInsideHeaderLinesStayWithinTheHeader) {
  RecordingParser parser;
  std::string text("HTTP/1.0 200 OK\r\nX-A: a\0b\r\nX-B: c\rd\r\n\r\n", 40);
  parser.feed(text, {});
  ASSERT_EQ(parser.fields.size(), 2u);
  EXPECT_EQ(parser.fields[0].first, "X-A");
  EXPECT_EQ(parser.fields[1].second, "c\rd");
}

TEST(HttpParser, BodyAnswerZeroKeepsEverythingForTheNextRead) {
  struct NeedsFour : RecordingParser {
    int parseBody(const char* data, int count) override {
      if (count < 4) return 0;
      body.append(data, 4);
      return 4;
    }
  } parser;
  parser.feed("HTTP/1.0 200 OK\r\n\r\nab", {});
  EXPECT_EQ(parser.body, "");
  EXPECT_EQ(parser.buffered(), 2);
  parser.feed("cdefgh", {});
  EXPECT_EQ(parser.body, "abcdefgh");
  EXPECT_EQ(parser.buffered(), 0);
}

TEST(HttpParser, BodyErrorReportsTheStoredParseErrorText) {
  struct Failing : RecordingParser {
    int parseBody(const char*, int) override { return recordParseError(-1001, "src/wexel_feed_parser", 12); }
  } parser;
  EXPECT_LT(parser.feed("HTTP/1.0 200 OK\r\n\r\nxx", {}), 0);
  ASSERT_EQ(parser.errors.size(), 1u);
  EXPECT_EQ(parser.errors[0], std::make_pair(-1001, std::string("Parse error: src/wexel_feed_parser, line 12")));

  struct Silent : RecordingParser {
    int parseBody(const char*, int) override { return -5; }
  } silent;
  silent.feed("HTTP/1.0 200 OK\r\n\r\nxx", {});
  EXPECT_EQ(silent.errors.at(0), std::make_pair(-5, std::string("Some parse error, closing channel force!")));
}

TEST(HttpParser, TrackingAndConnectionReset) {
  struct Tracker : wexel::WParserTracking {
    std::vector<std::string> events;
    void onUnitParsed(int64_t unit, int bytes) override { events.push_back("unit " + std::to_string(unit) + ":" + std::to_string(bytes)); }
    void onUnitIncomplete(int64_t unit) override { events.push_back("unit? " + std::to_string(unit)); }
    void onChunkParsed(int64_t chunk, int bytes) override { events.push_back("chunk " + std::to_string(chunk) + ":" + std::to_string(bytes)); }
    void onChunkIncomplete(int64_t chunk) override { events.push_back("chunk? " + std::to_string(chunk)); }
  } tracker;
  RecordingParser parser;
  parser.setTracking(&tracker);
  parser.feed("HTTP/1.0 200 OK\r\nKeep-Alive: max=3\r\n", {});
  parser.feed("\r\nab", {});
  EXPECT_EQ(tracker.events, (std::vector<std::string>{"chunk? 1", "unit 1:2", "chunk 1:40"}));
  parser.resetConnectionState();
  EXPECT_EQ(parser.keepAliveMax(), wexel::WexelParser::kNoKeepAliveMax);
  EXPECT_EQ(parser.headersParsed(), 0);
  EXPECT_EQ(parser.chunkCount(), 0);
  EXPECT_TRUE(parser.isHeaderParsed());  // left for clearHeaderParsed
  parser.clearHeaderParsed();
  EXPECT_FALSE(parser.isHeaderParsed());
}

}  // namespace
