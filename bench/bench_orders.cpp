// Orders placed and answered per second against kexsim over loopback, one
// connection per order (one-shot requests) beside the streaming order channel
// (one keep-alive connection, pipelined), in one run. Every order is a market
// buy that kexsim's exchange fills at once. Counters: orders/s, and the p50
// and p99 of the time from the place call to its reply, in microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "kexsim_server.h"
#include "wexel/wexel_instance.h"

namespace {

using Clock = std::chrono::steady_clock;

class QuietLogger : public wexel::WexelLogger {
 public:
  void log(const char*) override {}
};

// Times each order from its place call to its reply, by cookie.
class Stopwatch : public wexel::WexelOrderActionResultListener {
 public:
  void start(size_t orders) {
    std::lock_guard<std::mutex> hold(mutex_);
    sent_.assign(orders, Clock::time_point());
    answered_ = 0;
    failed_ = 0;
  }
  void placed(wexel::WCookie cookie) {
    std::lock_guard<std::mutex> hold(mutex_);
    sent_[cookie] = Clock::now();
  }
  void onActionResult(void*, const std::string&, const std::string&, const std::string&, int64_t,
                      const std::string& message, const std::string&, wexel::WCookie cookie,
                      wexel::WContext) override {
    finish(cookie, !message.empty());
  }
  void onError(wexel::WCookie cookie, wexel::WContext, const std::string&, int) override { finish(cookie, true); }
  void waitAll(size_t orders) {
    std::unique_lock<std::mutex> hold(mutex_);
    done_.wait_for(hold, std::chrono::seconds(60), [&] { return answered_ == orders; });
  }
  std::vector<double> latenciesUs() {
    std::lock_guard<std::mutex> hold(mutex_);
    return latencies_;
  }
  size_t failed() {
    std::lock_guard<std::mutex> hold(mutex_);
    return failed_;
  }

 private:
  void finish(wexel::WCookie cookie, bool failed) {
    const auto now = Clock::now();
    std::lock_guard<std::mutex> hold(mutex_);
    if (cookie < sent_.size()) {
      latencies_.push_back(std::chrono::duration<double, std::micro>(now - sent_[cookie]).count());
    }
    failed_ += failed;
    ++answered_;
    done_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable done_;
  std::vector<Clock::time_point> sent_;
  std::vector<double> latencies_;
  size_t answered_ = 0;
  size_t failed_ = 0;
};

// kexsim and a logged-on instance, shared by the benchmarks.
struct Session {
  Session() {
    static QuietLogger logger;
    wexel::libraryStartup(&logger, 1, "Quarnel3/3,0,137,4293");
    kexsim::ServerOptions options;
    server = std::make_unique<kexsim::Server>(options);
    server->start();
    wexel::WInstanceConfig config;
    config.useOmsSsl = 0;  // plain TCP both ways: the comparison is of connections, not of TLS
    instance = wexel::createInstance(config);
    instance->logonAndWait("127.0.0.1", server->plainPort(), "demo", "demo", 10000, false, nullptr);
  }
  std::unique_ptr<kexsim::Server> server;
  wexel::WexelInstance* instance = nullptr;
};

Session& session() {
  static Session* s = new Session();
  return *s;
}

void placeMarketBuy(wexel::WexelInstance* instance, wexel::WCookie cookie, wexel::WexelOrderActionResultListener* l) {
  instance->placeOrder("D-10001", "MB", "SBER", 1, 1, 1, 0, 0, std::nan(""), 1, "", "", 0, 1, cookie, 0, true, l);
}

void report(benchmark::State& state, Stopwatch& watch, size_t orders) {
  std::vector<double> us = watch.latenciesUs();
  std::sort(us.begin(), us.end());
  const auto at = [&](double q) { return us.empty() ? 0.0 : us[static_cast<size_t>(q * (us.size() - 1))]; };
  state.counters["orders/s"] = benchmark::Counter(static_cast<double>(orders), benchmark::Counter::kIsRate);
  state.counters["p50_us"] = at(0.50);
  state.counters["p99_us"] = at(0.99);
  state.counters["failed"] = static_cast<double>(watch.failed());
}

// `batch` orders in flight at once, each on a connection of its own.
void BM_OrdersOneShot(benchmark::State& state) {
  const size_t batch = static_cast<size_t>(state.range(0));
  wexel::WexelInstance* instance = session().instance;
  instance->setOrderStreamingListener(nullptr);
  Stopwatch watch;
  size_t orders = 0;
  for (auto _ : state) {
    watch.start(batch);
    for (wexel::WCookie cookie = 0; cookie < batch; ++cookie) {
      watch.placed(cookie);
      placeMarketBuy(instance, cookie, &watch);
    }
    watch.waitAll(batch);
    orders += batch;
  }
  report(state, watch, orders);
}

// `batch` orders queued at once on the streaming channel.
void BM_OrdersStreaming(benchmark::State& state) {
  const size_t batch = static_cast<size_t>(state.range(0));
  wexel::WexelInstance* instance = session().instance;
  Stopwatch watch;
  instance->setOrderStreamingListener(&watch);
  size_t orders = 0;
  for (auto _ : state) {
    watch.start(batch);
    for (wexel::WCookie cookie = 0; cookie < batch; ++cookie) {
      watch.placed(cookie);
      placeMarketBuy(instance, cookie, nullptr);
    }
    watch.waitAll(batch);
    orders += batch;
  }
  instance->setOrderStreamingListener(nullptr);
  instance->logout();  // the channel keeps its listener until logout
  instance->logonAndWait("127.0.0.1", session().server->plainPort(), "demo", "demo", 10000, false, nullptr);
  report(state, watch, orders);
}

BENCHMARK(BM_OrdersOneShot)->Arg(1)->Arg(50)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrdersStreaming)->Arg(1)->Arg(1000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
