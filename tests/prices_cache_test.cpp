// The price cache and the tick history against kexsim: bars built from the
// server's 1-minute, 30-minute and daily bars across pages, pages reused,
// the counted query after empty pages, live ticks, keys that share a hash,
// failures that answer every request, and the tick query end to end. The
// expected bars are built here from kexsim's own history, with its clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>

#include "history/wexel_prices_cache.h"
#include "instance_fixture.h"
#include "kexsim_market.h"
#include "kexsim_record_writer.h"

namespace wexel::testing {
namespace {

using kexsim::BarBase;
using kexsim::SimBar;

PackedTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return packTime({y, mo, d, h, mi, s}); }

std::time_t secondsOf(PackedTime t) {
  const WDateTime f = unpackTime(t);
  std::tm fields{};
  fields.tm_year = f.year - 1900;
  fields.tm_mon = f.month - 1;
  fields.tm_mday = f.day;
  fields.tm_hour = f.hour;
  fields.tm_min = f.minute;
  fields.tm_sec = f.second;
  return timegm(&fields);
}

// kexsim's 1-minute bars merged into bars of `minutes`, stamped on their end,
// newest first.
std::vector<SimBar> aggregated(const std::vector<SimBar>& bars, int minutes) {
  std::map<std::time_t, SimBar> byStamp;
  const std::time_t length = minutes * 60;
  for (const SimBar& bar : bars) {  // ascending
    const std::time_t stamp = (secondsOf(bar.time) + length - 1) / length * length;
    auto [it, created] = byStamp.try_emplace(stamp, bar);
    SimBar& into = it->second;
    if (!created) {
      into.high = std::max(into.high, bar.high);
      into.low = std::min(into.low, bar.low);
      into.close = bar.close;
      into.volume += bar.volume;
      into.openInterest = bar.openInterest;
    }
    into.time = kexsim::packedTime(stamp);
  }
  std::vector<SimBar> out;
  for (auto it = byStamp.rbegin(); it != byStamp.rend(); ++it) out.push_back(it->second);
  return out;
}

void expectSameBars(const std::vector<WHistoryBar>& got, const std::vector<SimBar>& expected, size_t count) {
  ASSERT_GE(expected.size(), count);
  ASSERT_EQ(got.size(), count);
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(got[i].time, expected[i].time) << i;
    EXPECT_DOUBLE_EQ(got[i].open, expected[i].open) << i;
    EXPECT_DOUBLE_EQ(got[i].high, expected[i].high) << i;
    EXPECT_DOUBLE_EQ(got[i].low, expected[i].low) << i;
    EXPECT_DOUBLE_EQ(got[i].close, expected[i].close) << i;
    EXPECT_DOUBLE_EQ(got[i].volume, expected[i].volume) << i;
  }
}

struct BarsRecorder : WexelHistoryBarsListener, Recorder {
  std::mutex barsMutex;
  std::vector<std::vector<WHistoryBar>> replies;
  std::function<void()> inside;  // run inside onBars, once
  void onBars(const std::string&, const std::string&, int, WContext, const std::vector<WHistoryBar>& bars) override {
    {
      std::lock_guard<std::mutex> hold(barsMutex);
      replies.push_back(bars);
    }
    if (auto call = std::exchange(inside, nullptr)) call();
    add("bars");
  }
  void onError(WContext, const std::string& message, int code) override { add(errorEvent(message, code)); }
  std::vector<WHistoryBar> last() {
    std::lock_guard<std::mutex> hold(barsMutex);
    return replies.empty() ? std::vector<WHistoryBar>{} : replies.back();
  }
};

const char kStart[] = "20261210120000";  // a Thursday, noon

class PricesCacheTest : public InstanceTest {
 protected:
  void SetUp() override {}

  // kexsim with a market that stands still for the test's length: one step a minute.
  void start(kexsim::Scenario scenario = kexsim::builtInScenario()) {
    scenario.marketStart = kStart;
    scenario.tickMs = 60000;
    startServer(std::move(scenario));
    logOn();
  }

  void request(BarsRecorder& listener, const std::string& security, int interval, PackedTime from, int count,
               const std::string& exchange = "MB") {
    cache.requestBars(exchange, security, interval, from, 0, count, &listener, 7, own()->manager(),
                      own()->dataEndpoint());
  }

  std::vector<SimBar> serverBars(BarBase base, PackedTime from, int64_t count, const std::string& security = "SBER",
                                 const std::string& exchange = "MB") {
    kexsim::BarQuery query;
    query.from = from;
    query.count = count;
    return *server->market().bars(exchange, security, base, query);
  }
  std::vector<SimBar> serverRange(BarBase base, PackedTime from, PackedTime to) {
    kexsim::BarQuery query;
    query.from = from;
    query.to = to;
    return *server->market().bars("MB", "SBER", base, query);
  }

  std::vector<kexsim::LoggedRequest> barQueries() { return server->log().ofKind("bars"); }

  WPricesCache cache;
};

TEST_F(PricesCacheTest, BackwardFiveMinuteBarsAcrossTwoDayPagesThenFifteenFromTheSamePages) {
  start();
  const std::vector<SimBar> minutes = serverRange(BarBase::kMinute, at(2026, 12, 9, 18), at(2026, 12, 10, 1, 0, 1));

  // Thirteen bars: 01:00 back to 00:00, whose base bars 23:56 to 23:59 are on
  // the day before's page, which is fetched to complete it.
  BarsRecorder thirteen;
  request(thirteen, "SBER", kBar5Min, at(2026, 12, 10, 1), -13);
  ASSERT_TRUE(thirteen.waitFor("bars"));
  expectSameBars(thirteen.last(), aggregated(minutes, 5), 13);
  ASSERT_EQ(barQueries().size(), 2u);

  // Forwards, the last bar is completed from the next page the same way.
  BarsRecorder forwards;
  request(forwards, "SBER", kBar5Min, at(2026, 12, 9, 23, 40), 5);
  ASSERT_EQ(forwards.count("bars"), 1u);
  std::vector<SimBar> ascending = aggregated(minutes, 5);
  std::reverse(ascending.begin(), ascending.end());
  const std::vector<WHistoryBar> ahead = forwards.last();
  ASSERT_EQ(ahead.size(), 5u);
  EXPECT_EQ(ahead[4].time, at(2026, 12, 10));
  auto midnight = std::find_if(ascending.begin(), ascending.end(), [](const SimBar& b) { return b.time == at(2026, 12, 10); });
  ASSERT_NE(midnight, ascending.end());
  EXPECT_DOUBLE_EQ(ahead[4].volume, midnight->volume);
  EXPECT_DOUBLE_EQ(ahead[4].close, midnight->close);

  BarsRecorder fives;
  request(fives, "SBER", kBar5Min, at(2026, 12, 10, 1), -30);
  ASSERT_EQ(fives.count("bars"), 1u);
  // 01:00 back to 22:35 of the day before.
  expectSameBars(fives.last(), aggregated(minutes, 5), 30);
  ASSERT_EQ(barQueries().size(), 2u);
  EXPECT_NE(barQueries()[0].url().find("interval=1min&from=20261210000000&to=20261211000000"), std::string::npos);
  EXPECT_NE(barQueries()[1].url().find("interval=1min&from=20261209000000&to=20261210000000"), std::string::npos);

  // From the loaded pages, without a query, answered before the call returns;
  // a handler may ask again from inside onBars.
  BarsRecorder fifteens;
  BarsRecorder again;
  fifteens.inside = [&] { request(again, "SBER", kBar10Min, at(2026, 12, 10, 1), -9); };
  request(fifteens, "SBER", kBar15Min, at(2026, 12, 10, 1), -8);
  ASSERT_EQ(fifteens.count("bars"), 1u);
  expectSameBars(fifteens.last(), aggregated(minutes, 15), 8);
  ASSERT_EQ(again.count("bars"), 1u);
  expectSameBars(again.last(), aggregated(minutes, 10), 9);
  EXPECT_EQ(barQueries().size(), 2u);
}

// The server stamps daily bars on the day's end, as live ticks do: asked from
// any time of today, today's bar comes once, and live ticks move it.
TEST_F(PricesCacheTest, TodaysDailyBarComesOnceAndFollowsLiveTicks) {
  start();
  const std::vector<SimBar> days = serverBars(BarBase::kDay, at(2026, 12, 10, 23, 59, 59), -3);
  ASSERT_EQ(days.front().time, at(2026, 12, 10, 23, 59, 59));

  BarsRecorder first;
  request(first, "SBER", kBarDay, at(2026, 12, 10, 12), -3);
  ASSERT_TRUE(first.waitFor("bars"));
  expectSameBars(first.last(), days, 3);

  const double price = days.front().high + 100;
  cache.onTrades("MB", "SBER", {{at(2026, 12, 10, 12, 0, 30), price, 7, 99, 1, 1}});
  BarsRecorder second;
  request(second, "SBER", kBarDay, at(2026, 12, 10, 0, 0, 1), -3);
  ASSERT_EQ(second.count("bars"), 1u);
  const std::vector<WHistoryBar> bars = second.last();
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_EQ(bars[0].time, at(2026, 12, 10, 23, 59, 59));
  EXPECT_EQ(bars[1].time, at(2026, 12, 9, 23, 59, 59));
  EXPECT_DOUBLE_EQ(bars[0].close, price);
  EXPECT_DOUBLE_EQ(bars[0].high, price);
  EXPECT_DOUBLE_EQ(bars[0].open, days.front().open);
  EXPECT_DOUBLE_EQ(bars[0].volume, days.front().volume + 7);
  EXPECT_EQ(barQueries().size(), 1u);
}

TEST_F(PricesCacheTest, LiveTicksUpdateTheLastBarAppendOneAndLeaveOtherKeysAlone) {
  start();
  BarsRecorder loaded;
  request(loaded, "SBER", kBar1Min, at(2026, 12, 10, 12, 1), -2);
  ASSERT_TRUE(loaded.waitFor("bars"));
  const WHistoryBar last = loaded.last().front();
  ASSERT_EQ(last.time, at(2026, 12, 10, 12, 1));  // the market's first live minute, as it stands
  const size_t pages = cache.pageCount();

  cache.onTrades("MB", "SBER",
                 {{at(2026, 12, 10, 12, 0, 40), last.high + 1, 5, 1, 1, 1},
                  {at(2026, 12, 10, 12, 3, 10), 42, 3, 2, 1, 2}});
  cache.onTrades("MB", "GAZP", {{at(2026, 12, 10, 12, 0, 40), 1, 1, 3, 1, 1}});
  EXPECT_EQ(cache.pageCount(), pages);

  BarsRecorder after;
  request(after, "SBER", kBar1Min, at(2026, 12, 10, 12, 4), -3);
  ASSERT_EQ(after.count("bars"), 1u);
  const std::vector<WHistoryBar> bars = after.last();
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_EQ(bars[0].time, at(2026, 12, 10, 12, 4));
  EXPECT_EQ(bars[0].open, 42);
  EXPECT_EQ(bars[0].volume, 3);
  EXPECT_EQ(bars[1].time, at(2026, 12, 10, 12, 1));
  EXPECT_EQ(bars[1].high, last.high + 1);
  EXPECT_EQ(bars[1].close, last.high + 1);
  EXPECT_EQ(bars[1].volume, last.volume + 5);
  EXPECT_EQ(bars[1].open, last.open);
  EXPECT_EQ(barQueries().size(), 1u);
}

// Seven empty day pages (a closed week), then the rest in one counted query.
TEST_F(PricesCacheTest, AfterSevenEmptyPagesTheRestComesFromOneCountedQuery) {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  scenario.history.days = 20;
  scenario.history.closed = {{20261201, 20261208}};
  start(scenario);

  BarsRecorder listener;
  request(listener, "SBER", kBar1Min, at(2026, 12, 9, 0, 30), -100);
  ASSERT_TRUE(listener.waitFor("bars"));
  const std::vector<WHistoryBar> bars = listener.last();
  ASSERT_EQ(bars.size(), 100u);
  EXPECT_EQ(bars[0].time, at(2026, 12, 9, 0, 30));
  EXPECT_EQ(bars[29].time, at(2026, 12, 9, 0, 1));
  std::vector<SimBar> before = serverBars(BarBase::kMinute, at(2026, 12, 2, 23, 59, 59), -70);
  std::vector<WHistoryBar> counted(bars.begin() + 30, bars.end());
  expectSameBars(counted, before, 70);
  EXPECT_EQ(counted.front().time, at(2026, 12, 1));  // the last minute of November

  const auto queries = barQueries();
  ASSERT_EQ(queries.size(), 9u);  // the 9th, the seven closed days, the counted query
  EXPECT_NE(queries[7].url().find("from=20261202000000&to=20261203000000"), std::string::npos);
  EXPECT_NE(queries[8].url().find("interval=1min&from=20261202235959&count=-70"), std::string::npos);
}

// (TQBR, U4FVD) and (TQBR, 64FVE) share a key hash at 30 minutes, (MB, SEC1)
// and (MBS, EC1) a key text: each still gets its own bars.
TEST_F(PricesCacheTest, KeysThatShareAHashKeepTheirOwnBars) {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  const kexsim::Security model = *scenario.findSecurity("MB", "SBER");
  struct Key {
    const char* exchange;
    const char* symbol;
    double price;
  } keys[] = {{"TQBR", "U4FVD", 50}, {"TQBR", "64FVE", 900}, {"MB", "SEC1", 70}, {"MBS", "EC1", 3000}};
  for (const Key& key : keys) {
    kexsim::Security s = model;
    s.exchange = key.exchange;
    s.symbol = key.symbol;
    s.price = key.price;
    scenario.securities.push_back(s);
  }
  start(scenario);
  for (const Key& key : keys) {
    const int interval = std::string(key.exchange) == "TQBR" ? kBar30Min : kBar1Min;
    const BarBase base = interval == kBar30Min ? BarBase::kHalfHour : BarBase::kMinute;
    BarsRecorder listener;
    request(listener, key.symbol, interval, at(2026, 12, 10, 11), -5, key.exchange);
    ASSERT_TRUE(listener.waitFor("bars")) << key.symbol;
    expectSameBars(listener.last(), serverBars(base, at(2026, 12, 10, 11), -5, key.symbol, key.exchange), 5);
  }
  EXPECT_EQ(barQueries().size(), 4u);
}

// A page whose reply is cut answers its request with the error, and is
// fetched again by the next one; a page that never completes fails its
// request after the reply time limit, and its late reply is dropped.
TEST_F(PricesCacheTest, FailedAndSilentPagesAnswerWithAnError) {
  start();
  server->faults().set("bars", {kexsim::FaultType::kCloseBeforeEnd, 0, 0, 1});
  BarsRecorder cut;
  request(cut, "SBER", kBar5Min, at(2026, 12, 10, 11), -5);
  ASSERT_TRUE(cut.waitFor("error"));
  EXPECT_EQ(cut.events(), std::vector<std::string>{errorEvent("Connection closed by server (" + address() + ")", 0)});

  BarsRecorder retried;
  request(retried, "SBER", kBar5Min, at(2026, 12, 10, 11), -5);
  ASSERT_TRUE(retried.waitFor("bars"));
  EXPECT_EQ(retried.last().size(), 5u);
  EXPECT_EQ(barQueries().size(), 2u);

  server->faults().set("bars", {kexsim::FaultType::kDelay, 0, 1000, 1});
  BarsRecorder silent;
  request(silent, "SBER", kBar5Min, at(2026, 12, 8, 11), -5);
  cache.expire(std::chrono::steady_clock::now() + std::chrono::milliseconds(WPricesCache::kReplyTimeoutMs));
  EXPECT_EQ(silent.events(), std::vector<std::string>{errorEvent(
                                 "No complete reply to the bar query within 30 s (" + address() + ")", kErrorTimeout)});
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the late reply arrives and is dropped
  EXPECT_EQ(silent.events().size(), 1u);
}

// ---- through the instance --------------------------------------------------------------------

struct TicksRecorder : WexelGetTicksListener, Recorder {
  std::vector<WTick> ticks;
  void onTicks(const std::string& exchange, const std::string& security, const std::vector<WTick>& t,
               WContext) override {
    ticks = t;
    add("ticks " + exchange + " " + security);
  }
  void onError(WContext, const std::string& message, int code) override { add(errorEvent(message, code)); }
};

TEST_F(PricesCacheTest, TickHistoryEndToEndAndCutShort) {
  start();
  TicksRecorder listener;
  ASSERT_TRUE(instance->getTicks("SBER", "MB", at(2026, 12, 10, 11, 30), -20, &listener, 0));
  ASSERT_TRUE(listener.waitFor("ticks MB SBER"));
  kexsim::TickQuery query;
  query.from = at(2026, 12, 10, 11, 30);
  query.count = -20;
  const std::vector<kexsim::SimTick> expected = *server->market().trades("MB", "SBER", query);
  ASSERT_EQ(listener.ticks.size(), 20u);
  for (size_t i = 0; i < 20; ++i) {
    EXPECT_EQ(listener.ticks[i].time, expected[i].time);
    EXPECT_EQ(listener.ticks[i].tradeNumber, expected[i].tradeNumber);
    EXPECT_DOUBLE_EQ(listener.ticks[i].price, expected[i].price);
    EXPECT_DOUBLE_EQ(listener.ticks[i].volume, expected[i].volume);
    EXPECT_EQ(listener.ticks[i].action, expected[i].action);
  }

  server->faults().set("ticks", {kexsim::FaultType::kCloseBeforeEnd, 0, 0, 1});
  TicksRecorder cut;
  ASSERT_TRUE(instance->getTicks("SBER", "MB", at(2026, 12, 10, 11, 30), -20, &cut, 0));
  ASSERT_TRUE(cut.waitFor("error"));
  EXPECT_EQ(cut.events(), std::vector<std::string>{errorEvent("Connection closed by server (" + address() + ")", 0)});
}

TEST_F(PricesCacheTest, GetBarsFollowsTheTradesFeedAndRefusesBeforeLogon) {
  startServer(kexsim::builtInScenario());
  instance = createInstance(WInstanceConfig{});
  BarsRecorder refused;
  EXPECT_FALSE(instance->getBars("MB", "SBER", kBar5Min, at(2026, 12, 10, 11), 0, -5, 3, &refused));
  EXPECT_EQ(refused.events(), std::vector<std::string>{errorEvent("Not autorized..", -1002)});
  releaseInstance(instance);
  instance = nullptr;

  logOn();
  BarsRecorder bad;
  EXPECT_FALSE(instance->getBars("MB", "SB ER", kBar5Min, at(2026, 12, 10, 11), 0, -5, 3, &bad));
  EXPECT_EQ(bad.events(), std::vector<std::string>{errorEvent("Bad request parameter", -1001)});

  BarsRecorder listener;
  EXPECT_TRUE(instance->getBars("MB", "SBER", kBar5Min, server->market().now(), 0, -5, 3, &listener));
  ASSERT_TRUE(listener.waitFor("bars"));
  EXPECT_EQ(listener.last().size(), 5u);
  EXPECT_TRUE(server->log().waitUntil([](const kexsim::RequestLog::Entries& entries) {
    for (const auto& e : entries) {
      for (const std::string& line : e.feedLines) {
        if (e.kind == "trades" && line.find(" MB SBER") != std::string::npos) return true;
      }
    }
    return false;
  }));
}

}  // namespace
}  // namespace wexel::testing
