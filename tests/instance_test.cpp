#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "channel_fixture.h"
#include "instance_fixture.h"
#include "kexsim_script.h"
#include "core/wexel_statistics.h"
#include "wexel/wexel_teardown.h"

namespace {

using namespace wexel::testing;
using kexsim::FaultType;

bool isEmptyValue(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits == 0x7FFFFFFFFFFFFFFFULL;
}

// Feed lines the server received on connections of a kind, in order.
std::vector<std::string> feedLines(kexsim::Server& server, const std::string& kind) {
  std::vector<std::string> lines;
  for (const auto& entry : server.log().ofKind(kind)) lines.insert(lines.end(), entry.feedLines.begin(), entry.feedLines.end());
  return lines;
}

bool waitForLines(kexsim::Server& server, const std::string& kind, size_t n) {
  return server.log().waitUntil([&](const kexsim::RequestLog::Entries& entries) {
    size_t seen = 0;
    for (const auto& e : entries) seen += e.kind == kind ? e.feedLines.size() : 0;
    return seen >= n;
  });
}

TEST_F(InstanceTest, LogonOverPlainAndTlsDeliversPortfoliosThenUpdate) {
  for (bool tls : {false, true}) {
    LogonRecorder listener;
    instance = wexel::createInstance(wexel::WInstanceConfig{});
    uint16_t port = tls ? server->tlsPort() : server->plainPort();
    ASSERT_TRUE(instance->logonAndWait("127.0.0.1", port, "demo", "demo", 10000, tls, &listener)) << tls;
    EXPECT_TRUE(instance->isConnected());
    ASSERT_TRUE(listener.waitFor("update"));
    auto events = listener.events();
    EXPECT_EQ(events.front(), "logon");
    EXPECT_FALSE(listener.portfolios.empty());
    EXPECT_FALSE(listener.exchanges.empty());
    auto logons = server->log().ofKind("logon");
    ASSERT_FALSE(logons.empty());
    EXPECT_EQ(logons.back().tls, tls);
    EXPECT_EQ(logons.back().query, "user=demo");
    instance->logout();
    EXPECT_FALSE(instance->isConnected());
    wexel::releaseInstance(instance);
    instance = nullptr;
  }
}

// The server writes its reply a byte at a time: the logon is decided once,
// when the reply is complete, with every portfolio.
TEST_F(InstanceTest, ALogonReplyInSmallPiecesIsDecidedOnce) {
  server->faults().set("logon", {FaultType::kDrip, 0, 0, 1});
  LogonRecorder listener;
  instance = wexel::createInstance(wexel::WInstanceConfig{});
  ASSERT_TRUE(instance->logonAndWait("127.0.0.1", server->plainPort(), "demo", "demo", 10000, false, &listener));
  ASSERT_TRUE(listener.waitFor("update"));
  EXPECT_EQ(listener.count("logon"), 1u);
  EXPECT_EQ(listener.count("error"), 0u);
  EXPECT_EQ(listener.portfolios.size(), server->scenario().findUser("demo")->portfolios.size());
}

// A reply cut before the bytes its Content-Length announced does not log on
// with whatever sections arrived: the logon fails as a closed connection.
TEST_F(InstanceTest, ALogonReplyCutShortOfItsContentLengthFails) {
  for (FaultType cut : {FaultType::kCloseMidBody, FaultType::kCloseBeforeEnd}) {
    server->faults().set("logon", {cut, 0, 0, 1});
    LogonRecorder listener;
    instance = wexel::createInstance(wexel::WInstanceConfig{});
    EXPECT_FALSE(instance->logonAndWait("127.0.0.1", server->plainPort(), "demo", "demo", 5000, false, &listener));
    EXPECT_FALSE(instance->isConnected());
    EXPECT_EQ(listener.events(), std::vector<std::string>{errorEvent("Connection closed by server (" + address() + ")", 0)});
    wexel::releaseInstance(instance);
    instance = nullptr;
  }
}

// A header without its blank line fills the reply buffer: the request fails
// saying so, not as a close the server never made.
TEST_F(InstanceTest, AnEndlessHeaderFailsAsTooLong) {
  server->faults().set("logon", {FaultType::kEndlessHeader, 0, 0, 1});
  LogonRecorder listener;
  instance = wexel::createInstance(wexel::WInstanceConfig{});
  EXPECT_FALSE(instance->logonAndWait("127.0.0.1", server->plainPort(), "demo", "demo", 5000, false, &listener));
  EXPECT_EQ(listener.events(), std::vector<std::string>{errorEvent(wexel::kTextHeaderTooLong, -1001)});
  wexel::releaseInstance(instance);
  instance = nullptr;

  logOn();
  server->faults().set("guide", {FaultType::kEndlessHeader, 0, 0, 1});
  ASSERT_TRUE(instance->requestSecurities(&guide));
  ASSERT_TRUE(guide.waitFor("error"));
  EXPECT_EQ(guide.events(), std::vector<std::string>{errorEvent(wexel::kTextHeaderTooLong, -1001)});
}

TEST_F(InstanceTest, RefusedLogonsReachTheListener) {
  struct Case {
    std::string login, password;
    kexsim::Fault fault;
    std::string expected;
  };
  kexsim::Fault status500;
  status500.type = FaultType::kStatus;
  status500.status = 500;
  const Case cases[] = {
      {"blocked", "blocked", kexsim::Fault(), errorEvent("Account is blocked..", -1002)},
      {"demo", "wrong", kexsim::Fault(), "error -1002 "},
      {"demo", "demo", status500, "error -1001 "},
  };
  for (const auto& c : cases) {
    server->faults().clearAll();
    if (c.fault.type != FaultType::kNone) server->faults().set("logon", c.fault);
    LogonRecorder listener;
    instance = wexel::createInstance(wexel::WInstanceConfig{});
    EXPECT_FALSE(instance->logonAndWait("127.0.0.1", server->plainPort(), c.login, c.password, 5000, false, &listener));
    EXPECT_FALSE(instance->isConnected());
    auto events = listener.events();
    ASSERT_FALSE(events.empty()) << c.login;
    EXPECT_EQ(events.front().rfind(c.expected, 0), 0u) << events.front();
    EXPECT_EQ(listener.count("logon"), 0u);
    wexel::releaseInstance(instance);
    instance = nullptr;
  }
}

TEST_F(InstanceTest, UnresolvableHostAndTimeout) {
  LogonRecorder listener;
  instance = wexel::createInstance(wexel::WInstanceConfig{});
  EXPECT_FALSE(instance->logonAndWait("no-such-host.invalid", 80, "demo", "demo", 200, false, &listener));
  EXPECT_EQ(listener.events(), (std::vector<std::string>{errorEvent("DNS lookup error", 1000),
                                                         errorEvent("Connection timeout..", -1)}));
  server->faults().set("logon", {FaultType::kDelay, 0, 3000, 1});
  LogonRecorder waiting;
  EXPECT_FALSE(instance->logonAndWait("127.0.0.1", server->plainPort(), "demo", "demo", 300, false, &waiting));
  EXPECT_EQ(waiting.events().front(), errorEvent("Connection timeout..", -1));
}

TEST_F(InstanceTest, OperationsBeforeLogonAreNotAuthorized) {
  instance = wexel::createInstance(wexel::WInstanceConfig{});
  EXPECT_FALSE(instance->listenQuotes("MB", "SBER", &quotes));
  EXPECT_FALSE(instance->requestSecurities(&guide));
  EXPECT_FALSE(instance->cancelQuotes("MB", "SBER", &quotes));  // nothing to remove, nothing reported
  EXPECT_EQ(quotes.events(), std::vector<std::string>{errorEvent("Not autorized..", -1002)});
  EXPECT_EQ(guide.events(), std::vector<std::string>{errorEvent("Not autorized..", -1002)});
  EXPECT_FALSE(instance->setOrderStreamingListener(nullptr));
}

TEST_F(InstanceTest, GuideArrivesInOneCallWithItsSections) {
  logOn();
  ASSERT_TRUE(instance->requestSecurities(&guide));
  ASSERT_TRUE(guide.waitFor("securities"));
  EXPECT_EQ(guide.securities.size(), server->scenario().securities.size());
  for (int s = 0; s < 3; ++s) EXPECT_EQ(guide.sections[s].size(), server->scenario().guideSections[s].size()) << s;
  EXPECT_STREQ(guide.securities.front().symbol, server->scenario().securities.front().symbol.c_str());
  auto guides = server->log().ofKind("guide");
  ASSERT_EQ(guides.size(), 1u);
  EXPECT_NE(guides[0].query.find("&"), std::string::npos);  // carries the session text
}

TEST_F(InstanceTest, RequestParametersThatWouldBreakTheRequestAreRefused) {
  logOn();
  for (const char* bad : {"SB ER", "SBER\r\nX", "SB\tER", ""}) {
    std::string security = std::strlen(bad) ? bad : std::string("SB\0ER", 5);
    EXPECT_FALSE(instance->listenQuotes("MB", security, &quotes)) << bad;
  }
  EXPECT_EQ(quotes.count(errorEvent("Bad request parameter", -1001)), 4u);
  EXPECT_TRUE(server->log().ofKind("quotes").empty());  // nothing was sent
}

TEST_F(InstanceTest, HeldBackSubscriptionsLeaveOnceInOrderAndRemoveWaitsForTheLastListener) {
  logOn();
  ASSERT_TRUE(instance->listenQuotes("MB", "SBER", &quotes));
  ASSERT_TRUE(instance->listenQuotes("MB", "GAZP", &quotes));
  ASSERT_TRUE(instance->listenQuotes("MB", "SBER", &other));  // same keys: no second line
  ASSERT_TRUE(instance->listenQuotes("MB", "SBER", &other));
  ASSERT_TRUE(waitForLines(*server, "quotes", 2));
  ASSERT_TRUE(quotes.waitFor("quote MB SBER") && other.waitFor("quote MB SBER"));
  EXPECT_FALSE(instance->cancelQuotes("MB", "SBER", &quotes));  // a listener remains
  EXPECT_TRUE(instance->cancelQuotes("MB", "SBER", &other));
  ASSERT_TRUE(waitForLines(*server, "quotes", 3));
  EXPECT_EQ(feedLines(*server, "quotes"),
            (std::vector<std::string>{"ADD 1 MB SBER", "ADD 2 MB GAZP", "REMOVE 1 MB SBER"}));
  EXPECT_EQ(server->log().ofKind("quotes").size(), 1u);  // one feed connection
}

TEST_F(InstanceTest, ScriptedQuotesInBothLayouts) {
  kexsim::FeedScript shortQuote{"quotes", "MB", "SBER", {{"#", "f"}}};
  // bid ask open high low last volume time close bidsize asksize e13 e14 e15 oi size e18 end
  shortQuote.records[0].insert(shortQuote.records[0].end(),
                               {"d:10.5", "d:10.6", "d:10", "d:11", "d:9", "d:10.55", "d:1000", "t:20131231235959",
                                "d:10.4", "d:5", "d:6", "d:", "d:", "d:", "d:7", "d:8", "d:", "f"});
  server->addScript(shortQuote);
  logOn();
  ASSERT_TRUE(instance->listenQuotes("MB", "SBER", &quotes));
  ASSERT_TRUE(quotes.waitFor("quote MB SBER"));
  std::lock_guard<std::mutex> hold(quotes.quotesMutex);
  const wexel::WQuote& q = quotes.quotes.front();
  EXPECT_EQ(q.bid, 10.5);
  EXPECT_EQ(q.last, 10.55);
  EXPECT_EQ(q.time, 0x2013123123595900ULL);
  EXPECT_EQ(q.size, 8);
  EXPECT_TRUE(isEmptyValue(q.volatility));
  EXPECT_TRUE(isEmptyValue(q.highLimit));
  EXPECT_EQ(q.tradingStatus, 0);
}

TEST_F(InstanceTest, TradeGroupsNewestFirstAndABookInArrivalOrder) {
  kexsim::FeedScript trades{"trades", "MB", "SBER",
                            {{"#", "f"},
                             {"t:20240102100000", "d:1", "d:10", "l:1", "f"},
                             {"e:1", "i:0", "t:20240102100001", "f"},  // keep-alive reply inside the group
                             {"t:20240102100001", "d:2", "d:10", "l:2", "f"},
                             {"t:20240102100002", "d:3", "d:10", "l:3", "f"},
                             {"f"}}};
  kexsim::FeedScript book{"orders", "MB", "SBER",
                          {{"#", "f"}, {"i:1", "d:99", "d:5", "f"}, {"i:1", "d:98", "d:6", "f"},
                           {"i:1", "d:97", "d:7", "f"}, {"i:2", "d:101", "d:1", "f"}, {"f"}}};
  server->addScript(trades);
  server->addScript(book);
  logOn();
  ASSERT_TRUE(instance->listenTicks("MB", "SBER", &ticks));
  ASSERT_TRUE(instance->listenBidAsks("MB", "SBER", &rows));
  ASSERT_TRUE(ticks.waitFor("trades MB SBER"));
  ASSERT_TRUE(rows.waitFor("book MB SBER"));
  {
    std::lock_guard<std::mutex> hold(ticks.ticksMutex);
    const auto& group = ticks.groups.front();
    ASSERT_EQ(group.size(), 3u);
    EXPECT_EQ(group[0].tradeNumber, 3);
    EXPECT_EQ(group[2].tradeNumber, 1);
  }
  EXPECT_EQ(wexel::statsSnapshot().keepAliveReplyValue, static_cast<int64_t>(0x2024010210000100ULL));
  std::lock_guard<std::mutex> hold(rows.rowsMutex);
  const auto& bookRows = rows.books.front();
  ASSERT_EQ(bookRows.size(), 4u);
  EXPECT_EQ(bookRows[0].side, 'B');
  EXPECT_EQ(bookRows[0].price, 99);
  EXPECT_EQ(bookRows[3].side, 'A');
}

TEST_F(InstanceTest, AFeedClosedByTheServerTellsItsListenersAndTheNextSubscriptionMakesANewFeed) {
  logOn();
  server->faults().set("quotes", {FaultType::kCloseMidBody, 0, 0, 1});
  ASSERT_TRUE(instance->listenQuotes("MB", "SBER", &quotes));
  ASSERT_TRUE(quotes.waitFor("error 0"));
  EXPECT_EQ(quotes.count(errorEvent("Connection closed by server (" + address() + ")", 0)), 1u);
  ASSERT_TRUE(eventually([&] { return instance->listenQuotes("MB", "SBER", &other); }));
  ASSERT_TRUE(other.waitFor("quote MB SBER"));
  EXPECT_EQ(server->log().ofKind("quotes").size(), 2u);
}

TEST_F(InstanceTest, ACorruptRecordEndsTheFeedWithItsListenersTold) {
  logOn();
  server->faults().set("quotes", {FaultType::kCorruptRecord, 0, 0, 1});
  ASSERT_TRUE(instance->listenQuotes("MB", "SBER", &quotes));
  ASSERT_TRUE(quotes.waitFor("error -1001"));
  auto events = quotes.events();
  bool told = false;
  for (const auto& e : events) told |= e.rfind("error -1001 Parse error: src/wexel_feed_parser", 0) == 0;
  EXPECT_TRUE(told);
}

TEST_F(InstanceTest, KeepAliveGoesToTheAllTradesFeedOnly) {
  logOn();
  ASSERT_TRUE(instance->listenTicks("MB", "SBER", &ticks));
  ASSERT_TRUE(instance->listenQuotes("MB", "SBER", &quotes));
  ASSERT_TRUE(waitForLines(*server, "trades", 1));
  ASSERT_TRUE(waitForLines(*server, "quotes", 1));
  static double now = 0;
  now = wexel::clockNowMs() + 3600000.0;  // an hour later: the next tick is due
  wexel::setClockForTesting([] { return now; });
  ASSERT_TRUE(waitForLines(*server, "trades", 2));
  wexel::setClockForTesting(nullptr);
  EXPECT_EQ(feedLines(*server, "trades").back(), "PING 1");
  EXPECT_EQ(feedLines(*server, "quotes"), std::vector<std::string>{"ADD 1 MB SBER"});
}

TEST_F(InstanceTest, EndpointsFromTheLogonReply) {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  scenario.version.clear();  // no version text: orders avoid the TLS endpoints
  scenario.endpoints = {{"OMS_SSL", ""}, {"OMS", "http://127.0.0.2:7001/"}, {"DDP", ""}, {"XYZ", "http://1.2.3.4:5/"}};
  startServer(scenario);
  logOn();
  sockaddr_in orders = own()->orderEndpoint();
  EXPECT_EQ(ntohs(orders.sin_port), 7001);
  sockaddr_in data = own()->dataEndpoint();
  EXPECT_EQ(ntohs(data.sin_port), server->plainPort());
}

TEST_F(InstanceTest, ListenersMayLogOutOrReleaseTheInstanceFromInsideAnEvent) {
  logOn();
  quotes.onEachQuote = [&] {
    if (quotes.count("quote") == 1) instance->logout();
  };
  ASSERT_TRUE(instance->listenQuotes("MB", "SBER", &quotes));
  ASSERT_TRUE(quotes.waitFor("quote"));
  ASSERT_TRUE(eventually([&] { return !instance->isConnected(); }));

  wexel::releaseInstance(instance);
  instance = nullptr;
  logOn();
  server->faults().set("quotes", {FaultType::kCloseMidBody, 0, 0, 1});
  struct Releasing : QuotesRecorder {
    wexel::WexelInstance* victim = nullptr;
    void onError(const std::string& message, int code) override {
      QuotesRecorder::onError(message, code);
      wexel::releaseInstance(victim);
      add("released");
    }
  } releasing;
  releasing.victim = instance;
  ASSERT_TRUE(instance->listenQuotes("MB", "SBER", &releasing));
  instance = nullptr;  // the listener owns it now
  ASSERT_TRUE(releasing.waitFor("released"));
  wexel::waitForTeardowns();
}

}  // namespace
