// History bars from the price cache against kexsim over loopback.
//
// - Aggregation: requests answered from pages loaded before the timing (1 min
//   to 5 and 15 minutes, 30 minutes to 1 hour, days to weeks), beside a peer
//   that merges the same base bars into a std::map keyed by the bar stamp.
//   items_per_second counts base bars read.
// - Latency: a request whose page comes from kexsim (a new cache every
//   iteration) beside the same request answered from a loaded cache.
// - Memory: 100 securities, one request per base page of the start day, then
//   a tick a minute per security for the rest of the day: pages, bytes
//   reserved for bars, and the process's heap growth (glibc mallinfo2).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "history/wexel_prices_cache.h"
#include "instance/wexel_winstance.h"
#include "kexsim_server.h"
#include "wexel/wexel_instance.h"

namespace {

using Clock = std::chrono::steady_clock;
using wexel::PackedTime;
using wexel::WHistoryBar;

class QuietLogger : public wexel::WexelLogger {
 public:
  void log(const char*) override {}
};

PackedTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return wexel::packTime({y, mo, d, h, mi, s}); }

const char kStart[] = "20261210120000";  // a Thursday, noon
const PackedTime kStartTime = at(2026, 12, 10, 12);

// Waits for one answer; keeps the bars only when asked to.
class Answer : public wexel::WexelHistoryBarsListener {
 public:
  explicit Answer(bool keep = false) : keep_(keep) {}
  void onBars(const std::string&, const std::string&, int, wexel::WContext,
              const std::vector<WHistoryBar>& bars) override {
    std::lock_guard<std::mutex> hold(mutex_);
    if (keep_) bars_ = bars;
    size_ = bars.size();
    ++answers_;
    done_.notify_all();
  }
  void onError(wexel::WContext, const std::string&, int) override {
    std::lock_guard<std::mutex> hold(mutex_);
    ++errors_;
    ++answers_;
    done_.notify_all();
  }
  // True when `n` answers in all came, none of them an error.
  bool wait(size_t n = 1) {
    std::unique_lock<std::mutex> hold(mutex_);
    done_.wait_for(hold, std::chrono::seconds(30), [&] { return answers_ >= n; });
    return answers_ >= n && errors_ == 0;
  }
  size_t size() {
    std::lock_guard<std::mutex> hold(mutex_);
    return size_;
  }
  std::vector<WHistoryBar> bars() {
    std::lock_guard<std::mutex> hold(mutex_);
    return bars_;
  }

 private:
  bool keep_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::vector<WHistoryBar> bars_;
  size_t size_ = 0;
  size_t answers_ = 0;
  size_t errors_ = 0;
};

// kexsim with a market that stands still (one step a minute) and a logged-on
// instance whose connection manager carries the cache's queries.
struct Session {
  explicit Session(kexsim::Scenario scenario) {
    static bool started = [] {
      static QuietLogger logger;
      return wexel::libraryStartup(&logger, 1, "Quarnel3/3,0,137,4293");
    }();
    (void)started;
    scenario.marketStart = kStart;
    scenario.tickMs = 60000;
    kexsim::ServerOptions options;
    options.scenario = std::move(scenario);
    server = std::make_unique<kexsim::Server>(options);
    server->start();
    instance = wexel::createInstance(wexel::WInstanceConfig{});
    instance->logonAndWait("127.0.0.1", server->plainPort(), "demo", "demo", 10000, false, nullptr);
  }
  ~Session() {
    wexel::releaseInstance(instance);
    server.reset();
  }

  void request(wexel::WPricesCache& cache, const std::string& security, int interval, PackedTime from, int count,
               wexel::WexelHistoryBarsListener* listener) {
    auto* own = static_cast<wexel::WInstance*>(instance);
    cache.requestBars("MB", security, interval, from, 0, count, listener, 0, own->manager(), own->dataEndpoint());
  }

  std::unique_ptr<kexsim::Server> server;
  wexel::WexelInstance* instance = nullptr;
};

// SBER with 400 days of generated history: enough for a year of daily pages.
Session& historySession() {
  static Session* s = [] {
    kexsim::Scenario scenario = kexsim::builtInScenario();
    scenario.history.days = 400;
    auto* session = new Session(std::move(scenario));
    // kexsim generates the past on the first query: done here, outside any timing.
    kexsim::BarQuery query;
    query.from = kStartTime;
    query.count = -1;
    session->server->market().bars("MB", "SBER", kexsim::BarBase::kMinute, query);
    return session;
  }();
  return *s;
}

// ---- aggregation from loaded pages ------------------------------------------------------

struct Case {
  int interval;
  int count;  // bars before the start
};

// 1 min -> 5 min (about 7 day pages), 1 min -> 15 min (21 day pages),
// 30 min -> 1 hour (4 month pages), days -> weeks (2 year pages).
const Case kCases[] = {{wexel::kBar5Min, -2000}, {wexel::kBar15Min, -2000}, {wexel::kBar60Min, -2000},
                       {wexel::kBarWeek, -52}};

kexsim::BarBase simBase(int interval) {
  switch (wexel::baseIntervalOf(interval)) {
    case wexel::kBar30Min: return kexsim::BarBase::kHalfHour;
    case wexel::kBarDay: return kexsim::BarBase::kDay;
    default: return kexsim::BarBase::kMinute;
  }
}

// The peer: base bars in ascending order merged into a std::map keyed by the
// bar stamp, the newest `count` bars copied out newest first.
std::vector<WHistoryBar> peerAggregate(const std::vector<WHistoryBar>& base, int interval, size_t count) {
  std::map<PackedTime, WHistoryBar> byStamp;
  for (const WHistoryBar& bar : base) {
    const PackedTime stamp = wexel::barStamp(bar.time, interval);
    auto [it, created] = byStamp.try_emplace(stamp, bar);
    WHistoryBar& into = it->second;
    if (created) {
      into.time = stamp;
      continue;
    }
    into.high = std::max(into.high, bar.high);
    into.low = std::min(into.low, bar.low);
    into.close = bar.close;
    into.volume += bar.volume;
    into.openInterest = bar.openInterest;
  }
  std::vector<WHistoryBar> out;
  out.reserve(count);
  for (auto it = byStamp.rbegin(); it != byStamp.rend() && out.size() < count; ++it) out.push_back(it->second);
  return out;
}

// A cache with the case's pages loaded, the bars it delivers, and the base
// bars behind them (for the peer).
struct LoadedCase {
  wexel::WPricesCache cache;
  std::vector<WHistoryBar> delivered;
  std::vector<WHistoryBar> base;
  bool ok = false;
};

LoadedCase& loadedCase(size_t index) {
  static std::map<size_t, std::unique_ptr<LoadedCase>> loaded;
  auto& slot = loaded[index];
  if (slot) return *slot;
  slot = std::make_unique<LoadedCase>();
  LoadedCase& c = *slot;
  const Case& wanted = kCases[index];
  Session& session = historySession();
  Answer warmUp(true);
  session.request(c.cache, "SBER", wanted.interval, kStartTime, wanted.count, &warmUp);
  if (!warmUp.wait()) return c;
  c.delivered = warmUp.bars();
  if (c.delivered.empty()) return c;

  // The base bars whose stamps fall in the delivered bars, ascending: counted
  // in kexsim's history, then taken from the cache's own pages (as parsed from
  // the wire) by a request of the base interval itself.
  kexsim::BarQuery query;
  query.from = at(2024, 1, 1);
  query.to = at(2027, 1, 1);
  const std::vector<kexsim::SimBar> all =
      session.server->market().bars("MB", "SBER", simBase(wanted.interval), query).value_or(std::vector<kexsim::SimBar>{});
  const PackedTime oldest = c.delivered.back().time;
  const PackedTime newest = c.delivered.front().time;
  std::vector<PackedTime> times;
  for (const kexsim::SimBar& bar : all) {
    const PackedTime stamp = wexel::barStamp(bar.time, wanted.interval);
    if (stamp >= oldest && stamp <= newest && bar.time <= wexel::barStamp(kStartTime, wanted.interval)) {
      times.push_back(bar.time);
    }
  }
  if (times.empty()) return c;
  Answer baseBars(true);
  session.request(c.cache, "SBER", wexel::baseIntervalOf(wanted.interval), times.back(),
                  -static_cast<int>(times.size()), &baseBars);
  if (!baseBars.wait()) return c;
  c.base = baseBars.bars();
  std::reverse(c.base.begin(), c.base.end());
  if (c.base.size() != times.size()) return c;
  for (size_t i = 0; i < times.size(); ++i) {
    if (c.base[i].time != times[i]) return c;
  }
  // Both sides must build the same bars from the same base bars.
  const std::vector<WHistoryBar> peer = peerAggregate(c.base, wanted.interval, c.delivered.size());
  c.ok = peer.size() == c.delivered.size();
  for (size_t i = 0; c.ok && i < peer.size(); ++i) {
    c.ok = peer[i].time == c.delivered[i].time && peer[i].open == c.delivered[i].open &&
           peer[i].high == c.delivered[i].high && peer[i].low == c.delivered[i].low &&
           peer[i].close == c.delivered[i].close && peer[i].volume == c.delivered[i].volume;
  }
  return c;
}

void reportAggregation(benchmark::State& state, const LoadedCase& c) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.base.size()));
  state.counters["base_bars"] = static_cast<double>(c.base.size());
  state.counters["bars"] = static_cast<double>(c.delivered.size());
}

// Answered by the cache from its loaded pages, before requestBars returns.
void BM_AggregateCache(benchmark::State& state) {
  const size_t index = static_cast<size_t>(state.range(0));
  LoadedCase& c = loadedCase(index);
  if (!c.ok) {
    state.SkipWithError("the cache's bars differ from the peer's, or the warm-up failed");
    return;
  }
  const Case& wanted = kCases[index];
  const size_t pages = c.cache.pageCount();
  Answer answer;
  auto* own = static_cast<wexel::WInstance*>(historySession().instance);
  for (auto _ : state) {
    // No manager: a page that is not loaded fails at once instead of querying.
    c.cache.requestBars("MB", "SBER", wanted.interval, kStartTime, 0, wanted.count, &answer, 0, nullptr,
                        own->dataEndpoint());
  }
  if (answer.size() != c.delivered.size() || c.cache.pageCount() != pages) {
    state.SkipWithError("a timed request was not answered from the loaded pages");
  }
  reportAggregation(state, c);
  state.counters["pages"] = static_cast<double>(pages);
}

// The peer, over the same base bars in a std::vector.
void BM_AggregatePeerStdMap(benchmark::State& state) {
  const size_t index = static_cast<size_t>(state.range(0));
  LoadedCase& c = loadedCase(index);
  if (!c.ok) {
    state.SkipWithError("the cache's bars differ from the peer's, or the warm-up failed");
    return;
  }
  const int interval = kCases[index].interval;
  for (auto _ : state) {
    std::vector<WHistoryBar> bars = peerAggregate(c.base, interval, c.delivered.size());
    benchmark::DoNotOptimize(bars.data());
  }
  reportAggregation(state, c);
}

// For scale: only the bar stamps of the same base bars, which both sides compute.
void BM_AggregateStampsOnly(benchmark::State& state) {
  const size_t index = static_cast<size_t>(state.range(0));
  LoadedCase& c = loadedCase(index);
  const int interval = kCases[index].interval;
  for (auto _ : state) {
    PackedTime sum = 0;
    for (const WHistoryBar& bar : c.base) sum += wexel::barStamp(bar.time, interval);
    benchmark::DoNotOptimize(sum);
  }
  reportAggregation(state, c);
}

void aggregationArgs(benchmark::internal::Benchmark* b) {
  b->ArgName("case");
  for (size_t i = 0; i < std::size(kCases); ++i) b->Arg(static_cast<int64_t>(i));
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_AggregateCache)->Apply(aggregationArgs);
BENCHMARK(BM_AggregatePeerStdMap)->Apply(aggregationArgs);
BENCHMARK(BM_AggregateStampsOnly)->Apply(aggregationArgs);

// ---- latency: first request against a loaded cache ---------------------------------------

// 100 bars before the start, each from a single page: 5 minutes (today's
// 1-minute page), 1 hour (December's 30-minute page), days (2026's daily page).
constexpr int kLatencyCount = -100;

void reportLatency(benchmark::State& state, std::vector<double>& us, size_t bars) {
  std::sort(us.begin(), us.end());
  const auto q = [&](double f) { return us.empty() ? 0.0 : us[static_cast<size_t>(f * (us.size() - 1))]; };
  state.counters["p50_us"] = q(0.50);
  state.counters["p99_us"] = q(0.99);
  state.counters["bars"] = static_cast<double>(bars);
}

// A new cache each iteration (made and destroyed outside the timing): the
// page query goes to kexsim over loopback, its reply is parsed and answered.
void BM_FirstRequest(benchmark::State& state) {
  const int interval = static_cast<int>(state.range(0));
  Session& session = historySession();
  std::vector<double> us;
  size_t bars = 0;
  for (auto _ : state) {
    auto cache = std::make_unique<wexel::WPricesCache>();
    Answer answer;
    const auto begin = Clock::now();
    session.request(*cache, "SBER", interval, kStartTime, kLatencyCount, &answer);
    const bool answered = answer.wait();
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    state.SetIterationTime(seconds);
    if (!answered) {
      state.SkipWithError("a first request failed");
      break;
    }
    us.push_back(seconds * 1e6);
    bars = answer.size();
  }
  reportLatency(state, us, bars);
}

// The same request answered from the loaded page, before requestBars returns.
void BM_CachedRequest(benchmark::State& state) {
  const int interval = static_cast<int>(state.range(0));
  Session& session = historySession();
  wexel::WPricesCache cache;
  Answer warmUp;
  session.request(cache, "SBER", interval, kStartTime, kLatencyCount, &warmUp);
  if (!warmUp.wait()) {
    state.SkipWithError("the warm-up request failed");
    return;
  }
  std::vector<double> us;
  for (auto _ : state) {
    Answer answer;
    const auto begin = Clock::now();
    session.request(cache, "SBER", interval, kStartTime, kLatencyCount, &answer);
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    state.SetIterationTime(seconds);
    us.push_back(seconds * 1e6);
  }
  reportLatency(state, us, warmUp.size());
}

void latencyArgs(benchmark::internal::Benchmark* b) {
  b->ArgName("interval");
  for (int interval : {wexel::kBar5Min, wexel::kBar60Min, wexel::kBarDay}) b->Arg(interval);
  b->UseManualTime()->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_FirstRequest)->Apply(latencyArgs);
BENCHMARK(BM_CachedRequest)->Apply(latencyArgs);

// ---- memory: a day of trading on 100 securities -----------------------------------------

constexpr int kSecurities = 100;

size_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;  // in use from the arenas, and in mmapped chunks
}

std::string symbolOf(int i) {
  std::string symbol = "S000";
  symbol[1] = static_cast<char>('0' + i / 100 % 10);
  symbol[2] = static_cast<char>('0' + i / 10 % 10);
  symbol[3] = static_cast<char>('0' + i % 10);
  return symbol;
}

// Loads today's pages of the three bases for each security (5-minute bars
// from the start: today's 1-minute page; 1-hour: December's 30-minute page;
// daily: 2026's page), then feeds a tick a minute per security from the
// start to the day's end.
void BM_MemoryDayOf100Securities(benchmark::State& state) {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  const kexsim::Security model = *scenario.findSecurity("MB", "SBER");
  for (int i = 0; i < kSecurities; ++i) {
    kexsim::Security s = model;
    s.symbol = symbolOf(i);
    scenario.securities.push_back(s);
  }
  Session session(std::move(scenario));
  // kexsim generates a security's past on its first query: done here, so that
  // its memory stays out of the measurement.
  for (int i = 0; i < kSecurities; ++i) {
    kexsim::BarQuery query;
    query.from = kStartTime;
    query.count = -1;
    session.server->market().bars("MB", symbolOf(i), kexsim::BarBase::kMinute, query);
  }

  std::vector<std::string> symbols;
  for (int i = 0; i < kSecurities; ++i) symbols.push_back(symbolOf(i));
  size_t pages = 0, reserved = 0, pagesAfterTicks = 0, reservedAfterTicks = 0, ticks = 0;
  double growth = 0, growthAfterTicks = 0, tickSeconds = 0;
  bool failed = false;
  for (auto _ : state) {
    auto cache = std::make_unique<wexel::WPricesCache>();
    const double before = static_cast<double>(heapInUse());
    for (int i = 0; i < kSecurities && !failed; ++i) {
      Answer answer;
      session.request(*cache, symbols[i], wexel::kBar5Min, kStartTime, -144, &answer);  // 12 hours
      session.request(*cache, symbols[i], wexel::kBar60Min, kStartTime, -12, &answer);
      session.request(*cache, symbols[i], wexel::kBarDay, kStartTime, -1, &answer);
      failed = !answer.wait(3);
    }
    pages = cache->pageCount();
    reserved = cache->reservedBytes();
    growth = static_cast<double>(heapInUse()) - before;

    const auto begin = Clock::now();
    ticks = 0;
    for (int minute = 0; minute < 12 * 60; ++minute) {
      const PackedTime time = wexel::addSeconds(kStartTime, minute * 60 + 30);
      for (int i = 0; i < kSecurities; ++i) {
        const double price = 250 + (minute + i) % 17 * 0.01;
        cache->onTrades("MB", symbols[i], {{time, price, 1, 1000000 + minute, 0, 1}});
        ++ticks;
      }
    }
    tickSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
    pagesAfterTicks = cache->pageCount();
    reservedAfterTicks = cache->reservedBytes();
    growthAfterTicks = static_cast<double>(heapInUse()) - before;
  }
  if (failed) state.SkipWithError("a request failed");
  const size_t expected = kSecurities * (1440 + 1488 + 366) * sizeof(WHistoryBar);
  state.counters["pages"] = static_cast<double>(pages);
  state.counters["reserved_bytes"] = static_cast<double>(reserved);
  state.counters["expected_bytes"] = static_cast<double>(expected);
  state.counters["heap_growth_bytes"] = growth;
  state.counters["pages_after_ticks"] = static_cast<double>(pagesAfterTicks);
  state.counters["reserved_after_ticks"] = static_cast<double>(reservedAfterTicks);
  state.counters["heap_growth_after_ticks"] = growthAfterTicks;
  state.counters["ticks"] = static_cast<double>(ticks);
  state.counters["ticks_per_s"] = tickSeconds > 0 ? static_cast<double>(ticks) / tickSeconds : 0;
}

BENCHMARK(BM_MemoryDayOf100Securities)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
