// Order actions end to end: a logged-on instance against kexsim's exchange.
// Place, move and cancel one-shot and on the streaming channel, the endpoint
// choice (OMS_SSL over TLS, else OMS), refusals before anything is sent, the
// server's statuses and charsets, an order lost with its connection, and the
// order-error query.
#include <gtest/gtest.h>

#include <cmath>

#include "core/wexel_text.h"
#include "instance_fixture.h"
#include "wexel/wexel_errors.h"

namespace wexel::testing {
namespace {

constexpr char kPortfolio[] = "D-10001";

struct ActionRecorder : WexelOrderActionResultListener, Recorder {
  std::mutex mutex;
  std::vector<int64_t> orderNumbers;
  void onActionResult(void*, const std::string& portfolio, const std::string&, const std::string&, int64_t orderNo,
                      const std::string& message, const std::string& action, WCookie cookie,
                      WContext context) override {
    {
      std::lock_guard<std::mutex> hold(mutex);
      orderNumbers.push_back(orderNo);
    }
    add(action + " " + portfolio + " cookie=" + std::to_string(cookie) + " context=" + std::to_string(context) +
        " [" + convertCharset(message, "CP1251", "UTF-8") + "]");
  }
  void onError(WCookie cookie, WContext context, const std::string& message, int code) override {
    add("error cookie=" + std::to_string(cookie) + " context=" + std::to_string(context) + " " +
        std::to_string(code) + " " + message.substr(0, message.find(" (")));
  }
  int64_t lastOrderNo() {
    std::lock_guard<std::mutex> hold(mutex);
    return orderNumbers.empty() ? 0 : orderNumbers.back();
  }
};

struct OrderErrorRecorder : WexelOrderErrorListener, Recorder {
  void onOrderError(const WOrderErrorInfo& info, WContext context) override {
    add("order-error " + std::to_string(info.orderNo) + " context=" + std::to_string(context) + " [" +
        convertCharset(info.text, "CP1251", "UTF-8") + "]");
  }
  void onError(WContext, const std::string& message, int code) override { add(errorEvent(message, code)); }
};

class InstanceOrders : public InstanceTest {
 protected:
  bool place(const char* security, int action, int type, double price, WCookie cookie, WContext context = 1,
             WexelOrderActionResultListener* listener = nullptr) {
    return instance->placeOrder(kPortfolio, "MB", security, action, type, 1, 0, price, std::nan(""), 10, "", "", 0,
                                1, cookie, context, true, listener ? listener : &results);
  }
  // The last order request kexsim logged.
  kexsim::LoggedRequest lastOrderRequest() {
    const auto orders = server->log().ofKind("order");
    return orders.empty() ? kexsim::LoggedRequest{} : orders.back();
  }
  ActionRecorder results;
};

// The logon server has a version text and an OMS_SSL endpoint: orders go
// there over TLS. The reply names the order and hands back the cookie.
TEST_F(InstanceOrders, AMarketBuyFillsAndTheReplyNamesTheOrder) {
  logOn();
  ASSERT_TRUE(place("SBER", 1, 1, 0, 7, 11));
  ASSERT_TRUE(results.waitFor("place-order"));
  EXPECT_EQ(results.events(), std::vector<std::string>{"place-order D-10001 cookie=7 context=11 []"});
  const int64_t number = results.lastOrderNo();
  EXPECT_GT(number, 0);
  const kexsim::LoggedRequest request = lastOrderRequest();
  EXPECT_TRUE(request.tls);
  EXPECT_EQ(request.url().rfind("/kx2/place-order.php?portfolio=D-10001&exchange=MB&security=SBER&action=BUY"
                                "&type=MARKET&validity=DAY&price=0.000000&stop_price=0.000000&amount=10&fok=0"
                                "&ext_order_id=7&",
                                0),
            0u)
      << request.url();
  const auto order = server->matching().order(number);
  ASSERT_TRUE(order.has_value());
  EXPECT_EQ(order->state, kexsim::OrderState::kFilled);
  EXPECT_EQ(order->cookie, 7u);
}

// Without OMS_SSL the orders go to the plain OMS endpoint.
TEST_F(InstanceOrders, WithoutAnOmsSslEndpointOrdersGoInClearToOms) {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  std::erase_if(scenario.endpoints, [](const kexsim::Endpoint& e) { return e.type == "OMS_SSL"; });
  server.reset();
  startServer(scenario);
  logOn();
  ASSERT_TRUE(place("SBER", 1, 1, 0, 8));
  ASSERT_TRUE(results.waitFor("place-order"));
  EXPECT_FALSE(lastOrderRequest().tls);
}

// A resting limit order is moved, then cancelled; the cancel is accepted with
// the server's text.
TEST_F(InstanceOrders, ARestingOrderIsMovedThenCancelled) {
  logOn();
  server->market().setPrice("MB", "SBER", 250);
  ASSERT_TRUE(place("SBER", 1, 2, 200, 9));
  ASSERT_TRUE(results.waitFor("place-order"));
  const int64_t number = results.lastOrderNo();
  ASSERT_TRUE(instance->moveOrder(kPortfolio, number, 201, 0, 3, true, &results));
  ASSERT_TRUE(results.waitFor("move-order"));
  ASSERT_TRUE(instance->cancelOrder(kPortfolio, "MB", "SBER", 0, number, 2, true, &results));
  ASSERT_TRUE(results.waitFor("cancel-order"));
  const std::vector<std::string> expected = {
      "place-order D-10001 cookie=9 context=1 []",
      "move-order D-10001 cookie=0 context=3 []",
      "cancel-order D-10001 cookie=0 context=2 [Заявка будет снята]",
  };
  EXPECT_EQ(results.events(), expected);
  EXPECT_EQ(server->matching().order(number)->state, kexsim::OrderState::kCancelled);
  EXPECT_EQ(server->matching().order(number)->price, 201);
}

// The server's refusal reaches the listener in CP1251 whatever charset the
// reply declared; the order-error query then returns the server's text.
TEST_F(InstanceOrders, RefusalsArriveInTheServersCodePageAndTheOrderErrorQueryExplains) {
  for (const char* charset : {"CP1251", "UTF-8"}) {
    kexsim::Scenario scenario = kexsim::builtInScenario();
    scenario.orders.charset = charset;
    server.reset();
    startServer(scenario);
    logOn();
    ActionRecorder refused;
    ASSERT_TRUE(place("NOPE", 1, 1, 0, 5, 1, &refused));
    ASSERT_TRUE(refused.waitFor("place-order"));
    EXPECT_EQ(refused.events(), std::vector<std::string>{"place-order D-10001 cookie=5 context=1 [Неизвестный инструмент]"})
        << charset;
    releaseInstance(instance);
    instance = nullptr;
  }
  logOn();
  server->market().setPrice("MB", "SBER", 250);
  ASSERT_TRUE(place("SBER", 1, 2, 200, 9));
  ASSERT_TRUE(results.waitFor("place-order"));
  const int64_t number = results.lastOrderNo();
  ASSERT_TRUE(instance->cancelOrder(kPortfolio, "MB", "SBER", 0, number, 2, true, &results));
  ASSERT_TRUE(results.waitFor("cancel-order"));
  ASSERT_TRUE(instance->cancelOrder(kPortfolio, "MB", "SBER", 0, number, 2, true, &results));
  ASSERT_TRUE(results.waitFor("cancel-order", 2));
  OrderErrorRecorder errors;
  ASSERT_TRUE(instance->getOrderError(number, &errors, 77));
  ASSERT_TRUE(errors.waitFor("order-error"));
  EXPECT_EQ(errors.events()[0].rfind("order-error " + std::to_string(number) + " context=77 [", 0), 0u)
      << errors.events()[0];
}

// What the server does wrong reaches the listener with the order's cookie.
TEST_F(InstanceOrders, ServerFailuresReachTheListenerWithTheCookie) {
  logOn();
  struct Case {
    kexsim::FaultType type;
    int status;
    std::string expected;
  } cases[] = {
      {kexsim::FaultType::kStatus, 403, "error cookie=21 context=1 -1001 Forbidden"},
      {kexsim::FaultType::kStatus, 500, "place-order D-10001 cookie=21 context=1 [Внутренняя ошибка сервера]"},
      {kexsim::FaultType::kCloseUnanswered, 0, std::string("error cookie=21 context=1 0 ") + kTextClosedBeforeReply},
  };
  for (const Case& c : cases) {
    kexsim::Fault fault;
    fault.type = c.type;
    fault.status = c.status;
    server->faults().clearAll();
    server->faults().set("order", fault);
    ActionRecorder listener;
    ASSERT_TRUE(place("SBER", 1, 1, 0, 21, 1, &listener));
    ASSERT_TRUE(listener.waitFor(c.expected.substr(0, 5)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // nothing more may follow
    EXPECT_EQ(listener.events(), std::vector<std::string>{c.expected}) << c.status;
  }
}

// Nothing leaves for an order refused by the instance itself.
TEST_F(InstanceOrders, RefusedBeforeAnythingIsSent) {
  ActionRecorder early;
  instance = createInstance(WInstanceConfig{});
  EXPECT_FALSE(place("SBER", 1, 1, 0, 3, 1, &early));
  EXPECT_FALSE(instance->cancelOrder(kPortfolio, "MB", "SBER", 0, 5, 2, true, &early));
  releaseInstance(instance);
  instance = nullptr;
  logOn();
  ActionRecorder bad;
  EXPECT_FALSE(instance->placeTakestopOrder(kPortfolio, "MB", "SBER", 1, 1, 0, 0, 100, 10, 4, 1, true, &bad));
  EXPECT_FALSE(instance->placeExpireOrder(kPortfolio, "MB", "SBER", std::nan(""), 6, 1, true, &bad));
  EXPECT_FALSE(instance->placeOrder(kPortfolio, "MB", "SBER&x=1", 1, 1, 1, 0, 0, 0, 10, "", "", 0, 1, 8, 1, true, &bad));
  const std::vector<std::string> notAuthorized = {
      "error cookie=3 context=1 -1002 Not autorized..",
      "error cookie=0 context=2 -1002 Not autorized..",
  };
  EXPECT_EQ(early.events(), notAuthorized);
  const std::vector<std::string> badOrders = {
      "error cookie=4 context=1 -1001 Bad order parameters",
      "error cookie=6 context=1 -1001 Bad order parameters",
      "error cookie=8 context=1 -1001 Bad order parameters",
  };
  EXPECT_EQ(bad.events(), badOrders);
  EXPECT_TRUE(server->log().ofKind("order").empty());
}

// With a streaming listener, orders share one keep-alive connection; with the
// server's limit of 3 requests a connection, the third order opens a second.
TEST_F(InstanceOrders, StreamingOrdersShareKeepAliveConnectionsUpToTheServersLimit) {
  for (int max : {0, 3}) {
    kexsim::Scenario scenario = kexsim::builtInScenario();
    scenario.orders.keepAliveMax = max;
    server.reset();
    startServer(scenario);
    logOn();
    ActionRecorder streamed;
    EXPECT_TRUE(instance->setOrderStreamingListener(&streamed));
    for (WCookie cookie : {31u, 32u, 33u}) EXPECT_TRUE(place("SBER", 1, 1, 0, cookie, 1, &results));
    ASSERT_TRUE(streamed.waitFor("place-order", 3)) << max;
    const std::vector<std::string> expected = {
        "place-order  cookie=31 context=0 []",
        "place-order  cookie=32 context=0 []",
        "place-order  cookie=33 context=0 []",
    };
    EXPECT_EQ(streamed.events(), expected);
    EXPECT_TRUE(results.events().empty());
    EXPECT_EQ(server->log().connectionsOf("order"), max == 0 ? 1u : 2u) << max;
    releaseInstance(instance);
    instance = nullptr;
  }
}

// Logging out with streaming actions still queued neither hangs nor crashes.
TEST_F(InstanceOrders, LogoutWithStreamingActionsQueued) {
  logOn();
  kexsim::Fault slow;
  slow.type = kexsim::FaultType::kDelay;
  slow.delayMs = 2000;
  server->faults().set("order", slow);
  ActionRecorder streamed;
  instance->setOrderStreamingListener(&streamed);
  for (WCookie cookie = 1; cookie <= 30; ++cookie) place("SBER", 1, 1, 0, cookie, 1, &results);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(instance->logout());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace wexel::testing
