// The four feeds read with the client's decoder and readers, byte by byte as
// the stream arrives: subscription lines, generated and scripted records, the
// keep-alive reply, and what the request log keeps of the lines.
#include <gtest/gtest.h>

#include <set>

#include "kexsim_firehose.h"
#include "kexsim_record_writer.h"
#include "kexsim_test_support.h"

namespace kexsim::testing {
namespace {

const int64_t kStart = static_cast<int64_t>(packTime(2024, 1, 5, 10, 0, 0));

class KexsimFeeds : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.start());
    session = logOn(server.plainPort());
    ASSERT_FALSE(session.empty());
  }

  // Opens a feed; `lines` go out together with the request, as an eager client might.
  std::unique_ptr<TestClient> openFeed(const std::string& path, const std::string& lines = "") {
    auto client = std::make_unique<TestClient>(server.plainPort());
    client->send(getRequest(path + "?" + session, server.plainPort()) + lines);
    return client;
  }

  std::vector<std::string> feedLines(const char* kind) {
    auto entries = server.log().ofKind(kind);
    return entries.empty() ? std::vector<std::string>{} : entries.back().feedLines;
  }

  Server server{stillMarket()};
  std::string session;
};

TEST_F(KexsimFeeds, QuotesInBothLayoutsSplitAtEveryByte) {
  auto client = openFeed("/kx2/quotes-zbin", "ADD 1 MB SBER\n");
  LayoutParser parser = quotesParser();
  std::string raw;
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return p.records.size() >= 1; }, &raw));
  // The client holds further lines until the response header has come.
  ASSERT_TRUE(parser.isHeaderParsed());
  client->send("ADD 2 FO RIH5\n");
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return p.records.size() >= 2; }, &raw));
  for (size_t split = 1; split < raw.size(); ++split) {
    LayoutParser again = quotesParser();
    ASSERT_EQ(deliver(again, raw.substr(0, split), raw.size()), 0);
    ASSERT_EQ(deliver(again, raw.substr(split), raw.size()), 0);
    ASSERT_EQ(again.records.size(), 2u) << split;
    EXPECT_EQ(again.records[1].values, parser.records[1].values) << split;
  }

  const Record& share = parser.records[0];
  EXPECT_EQ(share.layout, kShortQuote);
  EXPECT_EQ(integer(share.values[0]), 1);
  EXPECT_LT(number(share.values[1]), number(share.values[2]));  // bid below ask
  EXPECT_EQ(integer(share.values[8]), kStart);
  const Record& future = parser.records[1];
  EXPECT_EQ(future.layout, kLongQuote);
  EXPECT_EQ(integer(future.values[0]), 2);
  EXPECT_EQ(integer(future.values[5]), kStart);
  ASSERT_EQ(future.values.size(), 34u);
  EXPECT_EQ(integer(future.values.back()), 1);  // trading status

  client->send("REMOVE 1 MB SBER\nPING 1\n");
  ASSERT_TRUE(server.log().waitUntil([](const RequestLog::Entries& e) { return e.back().feedLines.size() == 4; }));
  EXPECT_EQ(feedLines(kQuotesKind),
            (std::vector<std::string>{"ADD 1 MB SBER", "ADD 2 FO RIH5", "REMOVE 1 MB SBER", "PING 1"}));
}

TEST_F(KexsimFeeds, TradeGroupsAndTheKeepAliveReply) {
  auto client = openFeed("/kx2/trades-zbin", "ADD 5 MB GAZP\n");
  LayoutParser parser = tradesParser();
  auto groupClosed = [](const LayoutParser& p) { return p.records.size() > 2 && p.state == 0; };
  ASSERT_TRUE(readFeedUntil(*client, parser, groupClosed));
  EXPECT_EQ(integer(parser.records.front().values[0]), 5);
  std::vector<Record> ticks(parser.records.begin() + 1, parser.records.end() - 1);
  ASSERT_GE(ticks.size(), 1u);
  ASSERT_LE(ticks.size(), 3u);
  for (size_t i = 1; i < ticks.size(); ++i) {
    EXPECT_GT(integer(ticks[i].values[3]), integer(ticks[i - 1].values[3]));  // trade numbers
  }
  for (size_t i = 0; i < ticks.size(); ++i) {
    EXPECT_EQ(ticks[i].layout, kTick);
    EXPECT_EQ(integer(ticks[i].values[0]), kStart);
    EXPECT_GT(number(ticks[i].values[1]), 0);
    int64_t action = integer(ticks[i].values[5]);
    EXPECT_TRUE(action == 1 || action == 2) << action;
  }

  client->send("PING 1\n");
  size_t before = parser.records.size();
  ASSERT_TRUE(readFeedUntil(*client, parser, [&](const LayoutParser& p) { return p.records.size() > before; }));
  EXPECT_EQ(parser.records.back().layout, kKeepAlive);
  EXPECT_EQ(integer(parser.records.back().values[1]), 1);
  EXPECT_EQ(integer(parser.records.back().values[2]), kStart);
}

TEST_F(KexsimFeeds, OrderBookGroupHasBidsBelowAsks) {
  auto client = openFeed("/kx2/orders-zbin", "ADD 3 FO RIH5\n");
  LayoutParser parser = ordersParser();
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return p.records.size() > 2 && p.state == 0; }));
  std::vector<Record> rows(parser.records.begin() + 1, parser.records.end() - 1);
  ASSERT_EQ(rows.size(), 10u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(integer(rows[i].values[0]), 1);
    EXPECT_EQ(integer(rows[i + 5].values[0]), 2);
    EXPECT_LT(number(rows[i].values[1]), number(rows[5].values[1]));
  }
  for (size_t i = 1; i < 5; ++i) {
    EXPECT_LT(number(rows[i].values[1]), number(rows[i - 1].values[1]));          // bids from the best down
    EXPECT_GT(number(rows[i + 5].values[1]), number(rows[i + 4].values[1]));      // asks from the best up
  }
}

TEST_F(KexsimFeeds, MessagesForAChannelWithAnEmptySecondKey) {
  auto client = openFeed("/kx2/messages-zbin", "ADD 1 NEWS \n");
  LayoutParser parser = messagesParser();
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return p.records.size() >= 1; }));
  EXPECT_EQ(parser.records[0].values, (std::vector<Value>{int64_t{1}, int64_t{1}, int64_t{1}, int64_t{0}}));
  EXPECT_EQ(feedLines(kMessagesKind), std::vector<std::string>{"ADD 1 NEWS "});
}

TEST_F(KexsimFeeds, ScriptedRecordsGoOutExactly) {
  server.addScript({kQuotesKind, "MB", "SBER",
                    {{"#", "f", "d:1.5", "d:1.75", "d:", "d:2", "d:1", "d:1.5", "d:100", "t:20131231235959",
                      "d:1.25", "d:10", "d:20", "d:", "d:", "d:", "d:7", "d:3", "d:", "f"}}});
  auto client = openFeed("/kx2/quotes-zbin", "ADD 9 MB SBER\n");
  LayoutParser parser = quotesParser();
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return p.records.size() >= 1; }));
  const auto& v = parser.records[0].values;
  EXPECT_EQ(integer(v[0]), 9);
  EXPECT_EQ(number(v[1]), 1.5);
  EXPECT_TRUE(std::isnan(number(v[3])));  // the empty value
  EXPECT_EQ(integer(v[8]), static_cast<int64_t>(packTime(2013, 12, 31, 23, 59, 59)));
  EXPECT_EQ(number(v[16]), 3.0);
}

TEST(KexsimFeedsMoving, GeneratedQuotesAdvanceInSimulatedTime) {
  ServerOptions options = stillMarket();
  options.scenario.tickMs = 1;
  Server server(std::move(options));
  ASSERT_TRUE(server.start());
  TestClient client(server.plainPort());
  client.send(getRequest("/kx2/quotes-zbin?" + logOn(server.plainPort()), server.plainPort()) + "ADD 1 MB KXRA\n");
  LayoutParser parser = quotesParser();
  ASSERT_TRUE(readFeedUntil(client, parser, [](const LayoutParser& p) { return p.records.size() >= 3; }));
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_GT(integer(parser.records[i].values[8]), integer(parser.records[i - 1].values[8]));
  }
}

// The firehose (benchmarks): quotes of every subscription, both layouts, and
// now and then one stamped with its send time (trading status 77, the time in
// monotonic microseconds as its theoretical price), all readable by the
// client's parser however often the same blocks come again.
TEST(KexsimFeedsFirehose, QuotesOfEverySubscriptionAndStampedQuotes) {
  ServerOptions options = stillMarket();
  options.scenario.firehoseRate = -1;
  Server server(std::move(options));
  ASSERT_TRUE(server.start());
  TestClient client(server.plainPort());
  const double before = monotonicMicros();
  client.send(getRequest("/kx2/quotes-zbin?" + logOn(server.plainPort()), server.plainPort()) +
              "ADD 1 MB SBER\nADD 2 FO RIH5\n");
  LayoutParser parser = quotesParser();
  ASSERT_TRUE(readFeedUntil(client, parser, [](const LayoutParser& p) { return p.records.size() >= 3000; }));
  const double after = monotonicMicros();
  std::set<int64_t> subscriptions;
  size_t longQuotes = 0, stamped = 0;
  for (const Record& r : parser.records) {
    subscriptions.insert(integer(r.values[0]));
    if (r.layout != kLongQuote) continue;
    ++longQuotes;
    if (integer(r.values.back()) != 77) continue;
    ++stamped;
    EXPECT_GE(number(r.values[23]), before);
    EXPECT_LE(number(r.values[23]), after);
  }
  EXPECT_EQ(subscriptions, (std::set<int64_t>{1, 2}));
  EXPECT_GT(longQuotes, stamped);
  EXPECT_GE(stamped, 3000u / 65 - 1);
}

TEST(KexsimFeedsStop, StopClosesAnOpenFeed) {
  Server server(stillMarket());
  ASSERT_TRUE(server.start());
  TestClient client(server.plainPort());
  client.send(getRequest("/kx2/quotes-zbin?" + logOn(server.plainPort()), server.plainPort()));
  ASSERT_FALSE(client.readSome().empty());  // the response header
  server.stop();
  EXPECT_EQ(client.readAll(), "");
}

}  // namespace
}  // namespace kexsim::testing
