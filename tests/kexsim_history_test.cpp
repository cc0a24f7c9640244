// The market history over loopback sockets, read with the client's decoder and
// field readers: bar pages and counted bar queries of each interval, the
// trades behind the bars, closed days, the join of the generated past with the
// live market, refusals and faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "kexsim_record_writer.h"
#include "kexsim_test_support.h"

namespace kexsim::testing {
namespace {

constexpr const char* kBarLayout = "tdddddd.";
constexpr const char* kTickLayout = "tddldi.";
constexpr double kStartPrice = 250.5;  // SBER of the built-in scenario

struct Bar {
  int64_t time;
  double open, high, low, close, volume, openInterest;
  bool operator==(const Bar&) const = default;
};

struct Tick {
  int64_t time;
  double price, volume;
  int64_t number;
  double openInterest;
  int64_t action;
};

std::time_t secondsOf(uint64_t packed) {
  auto digits = [&](int shift, int count) {
    int value = 0;
    for (int i = count - 1; i >= 0; --i) value = value * 10 + static_cast<int>((packed >> (shift + 4 * i)) & 15);
    return value;
  };
  std::tm f{};
  f.tm_year = digits(48, 4) - 1900;
  f.tm_mon = digits(40, 2) - 1;
  f.tm_mday = digits(32, 2);
  f.tm_hour = digits(24, 2);
  f.tm_min = digits(16, 2);
  f.tm_sec = digits(8, 2);
  return timegm(&f);
}

int64_t packed(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return static_cast<int64_t>(packTime(year, month, day, hour, minute, second));
}

// Three days of past before 2024-01-05 10:00:00, 2024-01-03 closed; the
// market stands still unless a test moves it.
ServerOptions historyMarket(uint64_t seed = 7) {
  ServerOptions options = stillMarket(seed);
  options.scenario.history =
      parseScenario(R"json({"history": {"days": 3, "closed": [["20240103", "20240103"]]}})json").history;
  return options;
}

// The records of a history reply, the end record checked and left out.
std::vector<Record> historyRecords(const std::string& reply, const char* layout) {
  LayoutParser parser([layout](const LayoutParser&) { return fixedLayouts({layout, kEnd}); });
  EXPECT_EQ(reply.rfind("HTTP/1.0 200 ", 0), 0u) << reply.substr(0, 40);
  EXPECT_EQ(deliver(parser, reply, 4096), 0);
  EXPECT_FALSE(parser.records.empty());
  if (parser.records.empty()) return {};
  EXPECT_EQ(parser.records.back().layout, kEnd);
  parser.records.pop_back();
  return parser.records;
}

std::vector<Bar> barsOf(const std::string& reply) {
  std::vector<Bar> bars;
  for (const Record& r : historyRecords(reply, kBarLayout)) {
    const auto& v = r.values;
    bars.push_back({integer(v[0]), number(v[1]), number(v[2]), number(v[3]), number(v[4]), number(v[5]), number(v[6])});
  }
  return bars;
}

std::vector<Tick> ticksOf(const std::string& reply) {
  std::vector<Tick> ticks;
  for (const Record& r : historyRecords(reply, kTickLayout)) {
    const auto& v = r.values;
    ticks.push_back({integer(v[0]), number(v[1]), number(v[2]), integer(v[3]), number(v[4]), integer(v[5])});
  }
  return ticks;
}

// Merges `bar` into the last of `bars` when they share the stamp, else appends it.
void addBar(std::vector<Bar>& bars, Bar bar) {
  if (bars.empty() || bars.back().time != bar.time) {
    bars.push_back(bar);
    return;
  }
  Bar& last = bars.back();
  last.high = std::max(last.high, bar.high);
  last.low = std::min(last.low, bar.low);
  last.close = bar.close;
  last.volume += bar.volume;
  last.openInterest = bar.openInterest;
}

// The stamp of the bar of `length` seconds holding a moment: its end, less
// `offset` (a day ends at 23:59:59).
int64_t stampOf(std::time_t moment, std::time_t length, std::time_t offset) {
  return static_cast<int64_t>(packedTime(moment - moment % length + length - offset));
}

std::vector<Bar> aggregate(const std::vector<Bar>& minutes, std::time_t length, std::time_t offset) {
  std::vector<Bar> bars;
  for (Bar bar : minutes) {
    bar.time = stampOf(secondsOf(static_cast<uint64_t>(bar.time)) - 60, length, offset);
    addBar(bars, bar);
  }
  return bars;
}

class KexsimHistory : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.start());
    session = logOn(server.plainPort());
    ASSERT_FALSE(session.empty());
  }

  std::string query(const std::string& pathAndQuery) {
    return roundTrip(server.plainPort(), getRequest(pathAndQuery + "&" + session, server.plainPort()));
  }
  std::string barQuery(const std::string& parameters, const char* security = "SBER") {
    return query(std::string("/kx2/get-prices-zbin.php?exchange=MB&security=") + security + "&" + parameters);
  }
  std::string tickQuery(int64_t from, int64_t count, const char* security = "SBER") {
    return query(std::string("/kx2/get-trades-zbin.php?exchange=MB&security=") + security +
                 "&from=" + std::to_string(from) + "&count=" + std::to_string(count));
  }
  std::vector<Bar> bars(const std::string& parameters) { return barsOf(barQuery(parameters)); }
  std::vector<Tick> ticks(int64_t from, int64_t count) { return ticksOf(tickQuery(from, count)); }

  Server server{historyMarket()};
  std::string session;
};

TEST_F(KexsimHistory, MinuteBarsOfADayAgreeWithTheTradesBehindThem) {
  std::vector<Bar> page = bars("interval=1min&from=20240104000000&to=20240105000000");
  // 00:00:00 of the day would hold the closed day's last minute.
  ASSERT_EQ(page.size(), 1439u);
  const std::time_t day = secondsOf(packTime(2024, 1, 4, 0, 0, 0));
  for (size_t i = 0; i < page.size(); ++i) {
    ASSERT_EQ(page[i].time, static_cast<int64_t>(packedTime(day + 60 * static_cast<std::time_t>(i + 1)))) << i;
  }

  std::vector<Tick> trades = ticks(packed(2024, 1, 4), 10000);
  std::vector<Bar> fromTrades;
  for (size_t i = 0; i < trades.size(); ++i) {
    const Tick& t = trades[i];
    if (i > 0) {
      ASSERT_GE(t.time, trades[i - 1].time);
      ASSERT_GT(t.number, trades[i - 1].number);
    }
    int64_t stamp = stampOf(secondsOf(static_cast<uint64_t>(t.time)), 60, 0);
    if (stamp >= packed(2024, 1, 5)) break;
    addBar(fromTrades, {stamp, t.price, t.price, t.price, t.price, t.volume, t.openInterest});
  }
  EXPECT_EQ(fromTrades, page);
  for (const Bar& bar : page) {
    EXPECT_NEAR(std::round(bar.close * 100), bar.close * 100, 1e-6);  // on the price step
    EXPECT_GE(bar.volume, 2);
  }
}

TEST_F(KexsimHistory, LongerBarsAggregateTheMinuteBars) {
  const std::string range = "&from=20240101000000&to=20240106000000";
  std::vector<Bar> minutes = bars("interval=1min" + range);
  ASSERT_GT(minutes.size(), 2 * 1440u);
  struct Case {
    const char* interval;
    std::time_t length;
    std::time_t offset;
  };
  for (const Case& c : {Case{"30min", 1800, 0}, Case{"1day", 86400, 1}}) {
    SCOPED_TRACE(c.interval);
    EXPECT_EQ(bars(std::string("interval=") + c.interval + range), aggregate(minutes, c.length, c.offset));
  }
}

TEST_F(KexsimHistory, CountedBarQueriesGoBackNewestFirstAndForwardAscending) {
  struct Case {
    const char* parameters;
    std::vector<int64_t> stamps;
  };
  const Case cases[] = {
      {"interval=1min&from=20240104120000&count=-3",
       {packed(2024, 1, 4, 12, 0), packed(2024, 1, 4, 11, 59), packed(2024, 1, 4, 11, 58)}},
      {"interval=1min&from=20240104120000&count=3",
       {packed(2024, 1, 4, 12, 0), packed(2024, 1, 4, 12, 1), packed(2024, 1, 4, 12, 2)}},
      {"interval=1min&from=20240104120030&count=-1", {packed(2024, 1, 4, 12, 0)}},
      {"interval=1min&from=20240104120030&count=1", {packed(2024, 1, 4, 12, 1)}},
      {"interval=1min&from=20240104120000&count=0", {}},
      {"interval=30min&from=20240104120000&count=-2", {packed(2024, 1, 4, 12, 0), packed(2024, 1, 4, 11, 30)}},
      {"interval=1day&from=20240105235959&count=-100",
       {packed(2024, 1, 5, 23, 59, 59), packed(2024, 1, 4, 23, 59, 59), packed(2024, 1, 2, 23, 59, 59)}},
      {"interval=1day&from=20240101000000&count=2", {packed(2024, 1, 2, 23, 59, 59), packed(2024, 1, 4, 23, 59, 59)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parameters);
    std::vector<int64_t> stamps;
    for (const Bar& bar : bars(c.parameters)) stamps.push_back(bar.time);
    EXPECT_EQ(stamps, c.stamps);
  }
}

TEST_F(KexsimHistory, CountedTickQueriesMeetAtTheirTimeOldestFirst) {
  const int64_t noon = packed(2024, 1, 4, 12, 0);
  std::vector<Tick> before = ticks(noon, -5);
  std::vector<Tick> after = ticks(noon, 5);
  ASSERT_EQ(before.size(), 5u);
  ASSERT_EQ(after.size(), 5u);
  for (size_t i = 1; i < 5; ++i) {
    EXPECT_EQ(before[i].number, before[i - 1].number + 1);
    EXPECT_EQ(after[i].number, after[i - 1].number + 1);
  }
  EXPECT_LE(before.back().time, noon);
  EXPECT_GE(after.front().time, noon);
  // The two meet: one trade apart, or the same one when it is at noon itself.
  EXPECT_EQ(after.front().number - before.back().number, after.front().time == noon ? 0 : 1);
  EXPECT_TRUE(ticks(noon, 0).empty());
}

TEST_F(KexsimHistory, ClosedDaysHaveNoBarsAndNoTrades) {
  EXPECT_TRUE(bars("interval=1min&from=20240103000100&to=20240104000100").empty());
  EXPECT_TRUE(bars("interval=30min&from=20240103003000&to=20240104000100").empty());
  std::vector<int64_t> days;
  for (const Bar& bar : bars("interval=1day&from=20231201000000&to=20240201000000")) days.push_back(bar.time);
  EXPECT_EQ(days, (std::vector<int64_t>{packed(2024, 1, 2, 23, 59, 59), packed(2024, 1, 4, 23, 59, 59),
                                        packed(2024, 1, 5, 23, 59, 59)}));
  std::vector<Tick> next = ticks(packed(2024, 1, 3), 1);
  ASSERT_EQ(next.size(), 1u);
  EXPECT_GE(next[0].time, packed(2024, 1, 4));
  EXPECT_LT(next[0].time, packed(2024, 1, 4, 0, 1));
}

TEST_F(KexsimHistory, ThePastJoinsTheLiveMarket) {
  std::vector<Bar> lastPast = bars("interval=1min&from=20240105100000&count=-1");
  ASSERT_EQ(lastPast.size(), 1u);
  EXPECT_EQ(lastPast[0].time, packed(2024, 1, 5, 10, 0));
  EXPECT_NEAR(lastPast[0].close, kStartPrice, 1e-9);

  const int64_t start = packed(2024, 1, 5, 10, 0);
  std::vector<Tick> pastEnd = ticks(start - 1, -1);  // just before the start
  std::vector<Tick> liveStart = ticks(start, 1);
  ASSERT_EQ(pastEnd.size(), 1u);
  ASSERT_EQ(liveStart.size(), 1u);
  EXPECT_NEAR(pastEnd[0].price, kStartPrice, 1e-9);
  EXPECT_EQ(liveStart[0].time, start);
  EXPECT_EQ(liveStart[0].number, pastEnd[0].number + 1);

  ASSERT_TRUE(server.market().setPrice("MB", "SBER", 260));
  std::vector<Tick> latest = ticks(start, -1);
  ASSERT_EQ(latest.size(), 1u);
  EXPECT_GE(latest[0].price, 260 - 1e-9);
  EXPECT_GT(latest[0].number, liveStart[0].number);

  std::vector<Bar> open = bars("interval=1min&from=20240105100001&count=1");
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].time, packed(2024, 1, 5, 10, 1));
  EXPECT_NEAR(open[0].open, liveStart[0].price, 1e-9);
  EXPECT_NEAR(open[0].close, latest[0].price, 1e-9);
  EXPECT_NEAR(open[0].high, latest[0].price, 1e-9);
  std::vector<Bar> today = bars("interval=1day&from=20240105235959&count=-1");
  ASSERT_EQ(today.size(), 1u);
  EXPECT_NEAR(today[0].close, latest[0].price, 1e-9);
  EXPECT_EQ(today[0].openInterest, latest[0].openInterest);
}

TEST(KexsimHistorySeed, TheSameSeedGivesTheSameHistory) {
  auto dayOfBars = [](uint64_t seed) {
    Server server(historyMarket(seed));
    EXPECT_TRUE(server.start());
    std::string session = logOn(server.plainPort());
    return barsOf(roundTrip(server.plainPort(),
                            getRequest("/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=1min"
                                       "&from=20240104000000&to=20240105000000&" + session,
                                       server.plainPort())));
  };
  std::vector<Bar> first = dayOfBars(7);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(dayOfBars(7), first);
  EXPECT_NE(dayOfBars(8), first);
}

TEST_F(KexsimHistory, RefusesMalformedQueriesAndAnswersUnknownSecuritiesWithTheEndAlone) {
  const char* malformed[] = {
      "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=5min&from=20240104000000&count=1",
      "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&from=20240104000000&count=1",
      "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=1min&count=1",
      "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=1min&from=2024010400000&count=1",
      "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=1min&from=2024010400000A&count=1",
      "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=1min&from=20240104000000",
      "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=1min&from=20240104000000&to=2024",
      "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=1min&from=20240104000000&count=5x",
      "/kx2/get-trades-zbin.php?exchange=MB&security=SBER&from=x&count=1",
      "/kx2/get-trades-zbin.php?exchange=MB&security=SBER&from=2312547123123123123",
  };
  for (const char* path : malformed) {
    SCOPED_TRACE(path);
    std::string reply = query(path);
    EXPECT_EQ(reply.rfind("HTTP/1.0 400 ", 0), 0u);
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), "");
  }
  EXPECT_TRUE(barsOf(barQuery("interval=1min&from=20240104000000&count=-10", "NONE")).empty());
  EXPECT_TRUE(ticksOf(tickQuery(packed(2024, 1, 4), 10, "NONE")).empty());
  std::string bare = roundTrip(server.plainPort(),
                               getRequest("/kx2/get-trades-zbin.php?exchange=MB&security=SBER&from=1&count=1",
                                          server.plainPort()));
  EXPECT_EQ(bare.rfind("HTTP/1.0 401 ", 0), 0u);
  EXPECT_EQ(server.log().ofKind(kBarsKind).size(), 9u);
  EXPECT_EQ(server.log().ofKind(kTicksKind).size(), 4u);
}

TEST_F(KexsimHistory, FaultsActOnTheHistoryKinds) {
  struct Case {
    const char* kind;
    FaultType type;
    int status;
  };
  const Case cases[] = {
      {kBarsKind, FaultType::kCloseBeforeEnd, 0},
      {kBarsKind, FaultType::kCloseMidBody, 0},
      {kTicksKind, FaultType::kCloseBeforeEnd, 0},
      {kTicksKind, FaultType::kCorruptRecord, 0},
      {kBarsKind, FaultType::kStatus, 500},
      {kTicksKind, FaultType::kCloseUnanswered, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(static_cast<int>(c.type)));
    Fault fault;
    fault.type = c.type;
    fault.status = c.status;
    fault.times = 1;
    server.faults().set(c.kind, fault);
    bool bars = std::string(c.kind) == kBarsKind;
    std::string reply = bars ? barQuery("interval=1min&from=20240104120000&count=-50")
                             : tickQuery(packed(2024, 1, 4, 12, 0), -50);
    if (c.type == FaultType::kCloseUnanswered) {
      EXPECT_EQ(reply, "");
      continue;
    }
    if (c.type == FaultType::kStatus) {
      EXPECT_EQ(reply.rfind("HTTP/1.0 500 ", 0), 0u);
      continue;
    }
    ASSERT_EQ(reply.rfind("HTTP/1.0 200 ", 0), 0u);
    LayoutParser parser([bars](const LayoutParser&) { return fixedLayouts({bars ? kBarLayout : kTickLayout, kEnd}); });
    int result = deliver(parser, reply, 4096);
    if (c.type == FaultType::kCorruptRecord) {
      EXPECT_LT(result, 0);
      continue;
    }
    EXPECT_EQ(result, 0);
    EXPECT_LT(parser.records.size(), 51u);
    EXPECT_TRUE(parser.records.empty() || parser.records.back().layout != kEnd);
  }
  // Once the faults are spent, the query answers in full.
  EXPECT_EQ(bars("interval=1min&from=20240104120000&count=-50").size(), 50u);
}

TEST(KexsimHistoryStore, KeepsTheLatestLiveTradesAndEveryBar) {
  const std::time_t start = secondsOf(packTime(2024, 1, 5, 0, 0, 0));
  SecurityHistory history({start, 100, 0.01, 1, 500, 1}, HistorySettings{0, {}});  // no past
  const size_t made = SecurityHistory::kLiveTradeLimit + 10;
  for (size_t i = 0; i < made; ++i) {
    std::time_t at = start + static_cast<std::time_t>(i);
    history.record({packedTime(at), 100, 1, static_cast<int64_t>(i + 1), 500, 1}, at);
  }
  std::vector<SimTick> kept = history.trades({0, static_cast<int64_t>(made)});
  ASSERT_EQ(kept.size(), SecurityHistory::kLiveTradeLimit);
  EXPECT_EQ(kept.front().tradeNumber, 11);
  EXPECT_EQ(kept.back().tradeNumber, static_cast<int64_t>(made));
  std::vector<SimBar> minutes = history.bars(BarBase::kMinute, {0, packedTime(start + 86400 * 4), 0});
  ASSERT_EQ(minutes.size(), (made + 59) / 60);
  EXPECT_EQ(minutes.front().time, packedTime(start + 60));
  EXPECT_EQ(minutes.front().volume, 60);
}

TEST(KexsimHistoryScenario, ReadsDaysAndClosedRangesAndRefusesBadDates) {
  HistorySettings history =
      parseScenario(R"json({"history": {"days": 4, "closed": [["20261101", "20261110"], ["20261225", "20261225"]]}})json")
          .history;
  EXPECT_EQ(history.days, 4);
  struct Case {
    int date;
    bool closed;
  };
  for (const Case& c : {Case{20261031, false}, Case{20261101, true}, Case{20261110, true}, Case{20261111, false},
                        Case{20261225, true}}) {
    EXPECT_EQ(history.closedOn(c.date), c.closed) << c.date;
  }
  EXPECT_EQ(parseScenario("{}").history.days, 10);
  for (const char* bad : {R"json({"history": {"closed": [["2026110", "20261110"]]}})json",
                          R"json({"history": {"closed": [["20261101"]]}})json",
                          R"json({"history": {"days": -1}})json"}) {
    EXPECT_THROW(parseScenario(bad), ScenarioError) << bad;
  }
}

}  // namespace
}  // namespace kexsim::testing
