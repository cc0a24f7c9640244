// End-to-end fixture: kexsim in-process on loopback and a client instance,
// with listeners that record what reaches them.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kexsim_server.h"
#include "log_capture.h"
#include "wexel/wexel_instance.h"
#include "instance/wexel_winstance.h"

namespace wexel::testing {

// Errors and a free-form event list, with waiting.
class Recorder {
 public:
  void add(const std::string& event) {
    std::lock_guard<std::mutex> hold(mutex_);
    events_.push_back(event);
    changed_.notify_all();
  }
  std::vector<std::string> events() {
    std::lock_guard<std::mutex> hold(mutex_);
    return events_;
  }
  size_t count(const std::string& prefix) {
    std::lock_guard<std::mutex> hold(mutex_);
    size_t n = 0;
    for (const auto& e : events_) n += e.rfind(prefix, 0) == 0;
    return n;
  }
  bool waitFor(const std::string& prefix, size_t n = 1) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, std::chrono::seconds(10), [&] {
      size_t seen = 0;
      for (const auto& e : events_) seen += e.rfind(prefix, 0) == 0;
      return seen >= n;
    });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
};

inline std::string errorEvent(const std::string& message, int code) {
  return "error " + std::to_string(code) + " " + message;
}

struct LogonRecorder : WexelLogonListener, Recorder {
  std::vector<WPortfolioEntry> portfolios;
  std::vector<std::string> news, exchanges;
  void onLogon(const std::vector<WPortfolioEntry>& p, const std::vector<std::string>& n,
               const std::vector<std::string>& e) override {
    portfolios = p;
    news = n;
    exchanges = e;
    add("logon");
  }
  void onError(const std::string& message, int code) override { add(errorEvent(message, code)); }
  void onUpdateInfo(const std::string& name, int64_t version, const std::string&) override {
    add("update " + name + " " + std::to_string(version));
  }
};

struct GuideRecorder : WexelReferenceSecuritiesListener, Recorder {
  std::vector<WSecurity> securities;
  std::vector<WGuidePair> sections[3];
  void onSecurities(const std::vector<WSecurity>& s, const std::vector<WGuidePair>& s1,
                    const std::vector<WGuidePair>& s2, const std::vector<WGuidePair>& s3) override {
    securities = s;
    sections[0] = s1;
    sections[1] = s2;
    sections[2] = s3;
    add("securities");
  }
  void onError(const std::string& message, int code) override { add(errorEvent(message, code)); }
};

struct QuotesRecorder : WexelQuotesListener, Recorder {
  std::mutex quotesMutex;
  std::vector<WQuote> quotes;
  std::function<void()> onEachQuote;
  void onQuote(const std::string& exchange, const std::string& security, const WQuote& quote) override {
    {
      std::lock_guard<std::mutex> hold(quotesMutex);
      quotes.push_back(quote);
    }
    add("quote " + exchange + " " + security);
    if (onEachQuote) onEachQuote();
  }
  void onError(const std::string& message, int code) override { add(errorEvent(message, code)); }
};

struct TradesRecorder : WexelTradesListener, Recorder {
  std::mutex ticksMutex;
  std::vector<std::vector<WTradeTick>> groups;
  void onTrades(const std::string& exchange, const std::string& security, const std::vector<WTradeTick>& ticks) override {
    {
      std::lock_guard<std::mutex> hold(ticksMutex);
      groups.push_back(ticks);
    }
    add("trades " + exchange + " " + security);
  }
  void onError(const std::string& message, int code) override { add(errorEvent(message, code)); }
};

struct BookRecorder : WexelOrdersListener, Recorder {
  std::mutex rowsMutex;
  std::vector<std::vector<WBidAskRow>> books;
  void onBidAsks(const std::string& exchange, const std::string& security, const std::vector<WBidAskRow>& rows) override {
    {
      std::lock_guard<std::mutex> hold(rowsMutex);
      books.push_back(rows);
    }
    add("book " + exchange + " " + security);
  }
  void onError(const std::string& message, int code) override { add(errorEvent(message, code)); }
};

// Starts the library once per test process, then kexsim for each test.
class InstanceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static LogCapture* sink = [] {
      logUninstall();
      auto* capture = new LogCapture(0);
      logUninstall();
      libraryStartup(capture, 6, "Quarnel3/3,0,137,4293");
      return capture;
    }();
    (void)sink;
  }

  void SetUp() override { startServer(kexsim::builtInScenario()); }
  void TearDown() override {
    if (instance) releaseInstance(instance);
    instance = nullptr;
    server.reset();
  }

  void startServer(kexsim::Scenario scenario) {
    kexsim::ServerOptions options;
    options.scenario = std::move(scenario);
    server = std::make_unique<kexsim::Server>(options);
    ASSERT_TRUE(server->start());
  }

  // A logged-on instance (plain TCP unless tls).
  void logOn(bool tls = false, const std::string& login = "demo", const std::string& password = "demo") {
    instance = createInstance(WInstanceConfig{});
    uint16_t port = tls ? server->tlsPort() : server->plainPort();
    ASSERT_TRUE(instance->logonAndWait("127.0.0.1", port, login, password, 10000, tls, &logonListener));
  }

  WInstance* own() { return static_cast<WInstance*>(instance); }
  std::string address() { return "127.0.0.1:" + std::to_string(server->plainPort()); }

  std::unique_ptr<kexsim::Server> server;
  WexelInstance* instance = nullptr;
  LogonRecorder logonListener;
  // Listeners outlive the instance: TearDown releases it first.
  QuotesRecorder quotes;
  QuotesRecorder other;
  TradesRecorder ticks;
  BookRecorder rows;
  GuideRecorder guide;
};

}  // namespace wexel::testing
