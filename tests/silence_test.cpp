// Silence against kexsim: a request whose server never answers fails after
// the reply limit, naming the address; a stalled all-trades feed, which
// should answer the keep-alive, is declared dead, while a quiet healthy one
// and the other feeds, which may stay quiet, live on.
#include <gtest/gtest.h>

#include <thread>

#include "instance_fixture.h"

namespace wexel::testing {
namespace {

using kexsim::FaultType;
using namespace std::chrono_literals;

class SilenceTest : public InstanceTest {
 protected:
  void SetUp() override {
    kexsim::Scenario scenario = kexsim::builtInScenario();
    scenario.tickMs = 60000;  // a market that does not move: the feeds have nothing to say
    startServer(std::move(scenario));
    config.replySilenceMs = 1000;
    config.keepAliveMs = 300;
    config.tradesFeedSilenceMs = 1500;
  }
  void logOnQuickly() {
    instance = createInstance(config);
    ASSERT_TRUE(instance->logonAndWait("127.0.0.1", server->plainPort(), "demo", "demo", 10000, false, &logonListener));
  }
  // The limit in seconds when it is whole ones, else in milliseconds.
  std::string silent(const std::string& limit) { return "No data from server for " + limit + " (" + address() + ")"; }

  WInstanceConfig config;
};

TEST_F(SilenceTest, ALogonOrAQueryThatIsNeverAnsweredFails) {
  server->faults().set("logon", {FaultType::kDelay, 0, 5000, 1});
  LogonRecorder listener;
  instance = createInstance(config);
  ASSERT_TRUE(instance->logon("127.0.0.1", server->plainPort(), "demo", "demo", false, &listener));
  ASSERT_TRUE(listener.waitFor("error"));
  EXPECT_EQ(listener.events(), std::vector<std::string>{errorEvent(silent("1 s"), kErrorTimeout)});
  EXPECT_FALSE(instance->isConnected());
  releaseInstance(instance);
  instance = nullptr;

  logOnQuickly();
  server->faults().set("guide", {FaultType::kDelay, 0, 5000, 1});
  ASSERT_TRUE(instance->requestSecurities(&guide));
  ASSERT_TRUE(guide.waitFor("error"));
  EXPECT_EQ(guide.events(), std::vector<std::string>{errorEvent(silent("1 s"), kErrorTimeout)});
}

TEST_F(SilenceTest, AStalledTradesFeedIsDeadAQuietOneLives) {
  logOnQuickly();
  ASSERT_TRUE(instance->listenTicks("MB", "SBER", &ticks));
  ASSERT_TRUE(instance->listenQuotes("MB", "SBER", &quotes));
  // Several silence limits long: the keep-alive answers keep the quiet
  // trades feed alive, and the quotes feed has no limit.
  ASSERT_TRUE(server->log().waitUntil(
      [](const kexsim::RequestLog::Entries& entries) {
        for (const auto& e : entries) {
          size_t pings = 0;
          for (const std::string& line : e.feedLines) pings += line.rfind("PING", 0) == 0;
          if (e.kind == "trades" && pings >= 12) return true;
        }
        return false;
      },
      20s));
  EXPECT_EQ(ticks.count("error"), 0u);
  EXPECT_EQ(quotes.count("error"), 0u);
  releaseInstance(instance);
  instance = nullptr;

  server->faults().set("trades", {FaultType::kStall, 0, 0, 1});
  TradesRecorder stalled;
  logOnQuickly();
  ASSERT_TRUE(instance->listenTicks("MB", "SBER", &stalled));
  ASSERT_TRUE(stalled.waitFor("error"));
  EXPECT_EQ(stalled.events().back(), errorEvent(silent("1500 ms"), kErrorTimeout));
}

}  // namespace
}  // namespace wexel::testing
