// The portfolio stream and queries end to end: a logged-on instance against
// kexsim's exchange. An order placed and filled reaches the stream as an
// order, a trade, a position and money, and the queries as rows; a stream the
// server closes, or a query cut before its end record, is reported once.
#include <gtest/gtest.h>

#include <cmath>

#include "instance_fixture.h"

namespace wexel::testing {
namespace {

constexpr char kPortfolio[] = "D-10001";

struct PortfolioRecorder : WexelPortfolioListener, Recorder {
  std::mutex mutex;
  WPortfolioPosition position{};
  WPortfolioTrade trade{};
  void onMoney(const std::string& p, const WPortfolioMoney&) override { add("money " + p); }
  void onOrder(const std::string& p, const WPortfolioOrder& o) override {
    add("order " + p + " " + std::to_string(o.orderNumber) + " state=" + std::to_string(o.state) +
        " cookie=" + std::to_string(o.cookie));
  }
  void onRecord6(const std::string&, const WPortfolioRecord6&) override {}
  void onRecord8(const std::string&, const WPortfolioRecord8&) override {}
  void onRecord9(const std::string&, const WPortfolioRecord9&) override {}
  void onTrade(const std::string& p, const WPortfolioTrade& t) override {
    {
      std::lock_guard<std::mutex> hold(mutex);
      trade = t;
    }
    add("trade " + p + " " + std::to_string(t.orderNumber));
  }
  void onPosition(const std::string& p, const WPortfolioPosition& pos) override {
    {
      std::lock_guard<std::mutex> hold(mutex);
      position = pos;
    }
    add("position " + p + " " + pos.symbol);
  }
  void onRecord4(const std::string& p, const WMyClosePos&) override { add("closed " + p); }
  void onError(const std::string& p, const std::string& message, int code) override {
    add("error " + p + " " + std::to_string(code) + " " + message.substr(0, message.find(" (")));
  }
};

struct MyOrdersRecorder : WexelGetMyOrdersListener, Recorder {
  std::mutex mutex;
  std::vector<WMyOrder> orders;
  void onResult(const std::string& p, const std::vector<WMyOrder>& o, WContext context) override {
    {
      std::lock_guard<std::mutex> hold(mutex);
      orders.insert(orders.end(), o.begin(), o.end());
    }
    add("orders " + p + " " + std::to_string(o.size()) + " context=" + std::to_string(context));
  }
  void onError(WContext, const std::string& message, int code) override {
    add(errorEvent(message.substr(0, message.find(" (")), code));
  }
};

struct MyTradesRecorder : WexelGetMyTradesListener, Recorder {
  void onResult(const std::string& p, const std::vector<WMyTrade>& t, WContext) override {
    add("trades " + p + " " + std::to_string(t.size()));
  }
  void onError(WContext, const std::string& message, int code) override { add(errorEvent(message, code)); }
};

struct NoOrders : WexelOrderActionResultListener {
  void onActionResult(void*, const std::string&, const std::string&, const std::string&, int64_t,
                      const std::string&, const std::string&, WCookie, WContext) override {}
  void onError(WCookie, WContext, const std::string&, int) override {}
};

class InstancePortfolio : public InstanceTest {
 protected:
  void buy(double amount, WCookie cookie) {
    ASSERT_TRUE(instance->placeOrder(kPortfolio, "MB", "SBER", 1, 1, 1, 0, 0, std::nan(""), amount, "", "", 0, 1,
                                     cookie, 1, true, &orders));
  }
  NoOrders orders;
};

TEST_F(InstancePortfolio, AFilledOrderReachesTheStreamAndTheQueries) {
  logOn();
  PortfolioRecorder stream;
  ASSERT_TRUE(instance->listenPortfolio(kPortfolio, &stream, 0));
  EXPECT_FALSE(instance->listenPortfolio(kPortfolio, &stream, 0)) << "one open stream per portfolio and mode";
  ASSERT_TRUE(stream.waitFor("money"));
  buy(10, 77);
  ASSERT_TRUE(stream.waitFor("trade"));
  ASSERT_TRUE(stream.waitFor("position"));
  EXPECT_GE(stream.count("order D-10001"), 1u);
  {
    std::lock_guard<std::mutex> hold(stream.mutex);
    EXPECT_EQ(std::string(stream.position.symbol), "SBER");
    EXPECT_EQ(stream.position.side, 1);
    EXPECT_EQ(stream.position.amount, 10);
    EXPECT_EQ(stream.trade.volume, 10);
  }
  MyOrdersRecorder myOrders;
  ASSERT_TRUE(instance->getMyOrders(kPortfolio, &myOrders, 5));
  ASSERT_TRUE(myOrders.waitFor("orders"));
  {
    std::lock_guard<std::mutex> hold(myOrders.mutex);
    ASSERT_EQ(myOrders.orders.size(), 1u);
    EXPECT_EQ(myOrders.orders[0].cookie, 77);
    EXPECT_EQ(myOrders.orders[0].filled, 10);
  }
  MyTradesRecorder myTrades;
  ASSERT_TRUE(instance->getMyTrades(kPortfolio, &myTrades, 6));
  ASSERT_TRUE(myTrades.waitFor("trades"));
  EXPECT_EQ(myTrades.events(), std::vector<std::string>{"trades D-10001 1"});
  EXPECT_TRUE(instance->cancelPortfolio(kPortfolio, 0));
  EXPECT_FALSE(instance->cancelPortfolio(kPortfolio, 0));
}

// 25,000 orders reach the listener as 10,000 + 10,000 + 5,000.
TEST_F(InstancePortfolio, LongOrderListsArriveInBatches) {
  logOn();
  server->matching().addSyntheticOrders("demo", kPortfolio, 25000);
  MyOrdersRecorder myOrders;
  ASSERT_TRUE(instance->getMyOrders(kPortfolio, &myOrders, 1));
  ASSERT_TRUE(myOrders.waitFor("orders", 3));
  const std::vector<std::string> expected = {"orders D-10001 10000 context=1", "orders D-10001 10000 context=1",
                                             "orders D-10001 5000 context=1"};
  EXPECT_EQ(myOrders.events(), expected);
  // The recorder is local: no worker may still be inside it when it goes.
  releaseInstance(instance);
  instance = nullptr;
}

// A query cut before its end record and a stream the server closes are each
// reported once, so nobody waits for rows that will not come.
TEST_F(InstancePortfolio, CutRepliesAreReportedOnce) {
  logOn();
  kexsim::Fault cut;
  cut.type = kexsim::FaultType::kCloseBeforeEnd;
  server->faults().set("my-orders", cut);
  MyOrdersRecorder myOrders;
  ASSERT_TRUE(instance->getMyOrders(kPortfolio, &myOrders, 1));
  ASSERT_TRUE(myOrders.waitFor("error"));
  kexsim::Fault closed;
  closed.type = kexsim::FaultType::kCloseMidBody;
  server->faults().set("portfolio", closed);
  PortfolioRecorder stream;
  ASSERT_TRUE(instance->listenPortfolio(kPortfolio, &stream, 0));
  ASSERT_TRUE(stream.waitFor("error"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(myOrders.events(), std::vector<std::string>{errorEvent(kTextClosedByServer, 0)});
  EXPECT_EQ(stream.count("error"), 1u);
  // The closed stream is forgotten: the portfolio can be listened to again.
  server->faults().clearAll();
  PortfolioRecorder again;
  EXPECT_TRUE(instance->listenPortfolio(kPortfolio, &again, 0));
  EXPECT_TRUE(again.waitFor("money"));
}

}  // namespace
}  // namespace wexel::testing
