#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
#include "core/wexel_log.h"
#include "core/wexel_statistics.h"
#include "core/wexel_text.h"

using wexel::testing::LogCapture;

namespace {

std::string dumpOf(size_t n, char fill = 'a') {
  return wexel::formatTrafficDump(std::string(n, fill).data(), n);
}

TEST(TrafficDump, LineLayout) {
  struct Case {
    size_t length;
    std::string expected;
  };
  const std::string hex16 = "61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 ";
  const Case cases[] = {
      {0, "Begin dump of 0 bytes:\n000000: \n"},
      {16, "Begin dump of 16 bytes:\n000000: " + hex16 + "\n"},
      {17, "Begin dump of 17 bytes:\n000000: " + hex16 + "\taaaaaaaaaaaaaaaa\n000016: 61 \n"},
      {20, "Begin dump of 20 bytes:\n000000: " + hex16 + "\taaaaaaaaaaaaaaaa\n000016: 61 61 61 61 \n"},
  };
  for (const auto& c : cases) EXPECT_EQ(dumpOf(c.length), c.expected) << c.length;
}

TEST(TrafficDump, CharacterColumnShowsCrAndDropsLfTabZero) {
  const char bytes[17] = {'\r', '\n', '\t', 0, 'x', 'y', 'z', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'Z'};
  std::string dump = wexel::formatTrafficDump(bytes, 17);
  EXPECT_NE(dump.find("\t|xyz123456789\n000016: 5A \n"), std::string::npos) << dump;
}

TEST(TrafficDump, WrittenOnlyAtLevelSeven) {
  {
    LogCapture log(6);
    wexel::dumpTraffic("abc", 3);
    EXPECT_TRUE(log.lines().empty());
    wexel::dumpTrafficAlways("abc", 3);
    EXPECT_EQ(log.lines().size(), 1u);
  }
  LogCapture log(7);
  wexel::dumpTraffic("abc", 3);
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0], "Begin dump of 3 bytes:\n000000: 61 62 63 \n");
}

TEST(LogCall, LevelFilterAndOverlongMessagesDropped) {
  LogCapture log(4);
  wexel::logInfo("kept %d", 4);
  wexel::logDetail("filtered %d", 5);
  wexel::logAt(2, "%s", std::string(2047, 'x').c_str());
  wexel::logAt(2, "%s", std::string(2048, 'y').c_str());
  auto lines = log.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "kept 4");
  EXPECT_EQ(lines[1].size(), 2047u);
}

TEST(LogCall, SecondInstallFailsAndFirstSinkStays) {
  LogCapture first;
  struct Other : wexel::WexelLogger {
    int lines = 0;
    void log(const char*) override { ++lines; }
  } other;
  EXPECT_FALSE(wexel::logInstall(&other, 6));
  wexel::logError("to the first");
  EXPECT_EQ(other.lines, 0);
  EXPECT_TRUE(first.contains("to the first"));
}

TEST(LogCall, UninstallWithoutSinkFails) {
  wexel::logUninstall();
  EXPECT_FALSE(wexel::logUninstall());
  wexel::logError("nobody listens");  // must not crash
}

TEST(UrlEncode, Examples) {
  const std::pair<std::string, std::string> cases[] = {
      {"a b&c", "a%20b%26c"},
      {"x=1/2", "x=1/2"},
      {"", ""},
      {"!$'()*+,-./:=@^_~", "!$'()*+,-./:=@^_~"},
      {"\"#%;<>?[]`{|}", "%22%23%25%3B%3C%3E%3F%5B%5D%60%7B%7C%7D"},
      {std::string("\x01\x7f\x80\xff", 4), "%01%7F%80%FF"},
      {std::string("a\0b", 3), "a%00b"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(wexel::urlEncode(input), expected) << input;
}

TEST(ConvertCharset, Cp1251AndBack) {
  const std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // "Привет"
  std::string cp1251 = wexel::convertCharset(utf8, "UTF-8", "CP1251");
  EXPECT_EQ(cp1251, "\xCF\xF0\xE8\xE2\xE5\xF2");
  // The wider target needs more room than the input had; nothing is cut.
  EXPECT_EQ(wexel::convertCharset(cp1251, "CP1251", "UTF-8"), utf8);
  EXPECT_EQ(wexel::convertCharset("plain", "NO-SUCH-CHARSET", "CP1251"), "plain");
}

double g_fakeNow = 0;
double fakeClock() { return g_fakeNow; }

TEST(Statistics, KeepAliveDueIsStrictlyAfterTheInterval) {
  wexel::setClockForTesting(fakeClock);
  g_fakeNow = 1e9;
  EXPECT_TRUE(wexel::keepAliveDue(30000));
  EXPECT_FALSE(wexel::keepAliveDue(30000));
  g_fakeNow += 30000;
  EXPECT_FALSE(wexel::keepAliveDue(30000));
  g_fakeNow += 0.5;
  EXPECT_TRUE(wexel::keepAliveDue(30000));
  g_fakeNow += 250;
  wexel::statsSetKeepAliveReply(77);
  auto snapshot = wexel::statsSnapshot();
  EXPECT_EQ(snapshot.keepAliveReplyValue, 77);
  EXPECT_DOUBLE_EQ(snapshot.keepAliveReplyTimeMs, 250);
  wexel::setClockForTesting(nullptr);
}

TEST(Statistics, CountersServerTextAndReset) {
  wexel::statsReset();
  wexel::statsAddBytesSent(10);
  wexel::statsAddBytesSent(5);
  wexel::statsAddBytesReceived(7);
  wexel::statsAddReceives(1);
  wexel::statsAddSends(2);
  wexel::statsAddBytesDecoded(100);
  wexel::statsAddPlainConnections(1);
  wexel::statsAddTlsConnections(1);
  wexel::statsAddTlsConnections(-1);
  wexel::statsSetServerText("0123456789012345678901234567890123456789");
  auto s = wexel::statsSnapshot();
  EXPECT_EQ(s.bytesSent, 15);
  EXPECT_EQ(s.bytesReceived, 7);
  EXPECT_EQ(s.receiveOperations, 1);
  EXPECT_EQ(s.sendOperations, 2);
  EXPECT_EQ(s.bytesDecoded, 100);
  EXPECT_EQ(s.plainConnections, 1);
  EXPECT_EQ(s.tlsConnections, 0);
  EXPECT_EQ(std::string(s.serverText), "01234567890123456789012345678");
  EXPECT_EQ(s.serverText[29], 0);
  wexel::statsReset();
  EXPECT_EQ(wexel::statsSnapshot().bytesSent, 0);
}

}  // namespace
