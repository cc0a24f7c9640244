// The portfolio stream's record types and the portfolio queries' lists,
// written with kexsim's record writer: every type with its optional and
// tolerant fields, the side rule, the flag rule, lists in batches, the mass
// reply's carried name and kind, and replies cut at every byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kexsim_record_writer.h"
#include "record_test_support.h"
#include "portfolio/wexel_get_portfolio.h"
#include "portfolio/wexel_get_portfolio_mass_request.h"
#include "portfolio/wexel_get_real_pos.h"

namespace wexel {
namespace {

using kexsim::packTime;
using kexsim::RecordWriter;
using testing::compressed;
using testing::deliverResponse;
using testing::okResponse;

const uint64_t kTime = packTime(2026, 12, 10, 14, 30, 5);
const uint64_t kLater = packTime(2026, 12, 10, 15, 0, 0);

struct StreamRecorder : WexelPortfolioListener {
  std::vector<std::string> events;
  WPortfolioOrder lastOrder{};
  WPortfolioTrade lastTrade{};
  WPortfolioPosition lastPosition{};
  WPortfolioMoney lastMoney{};
  WPortfolioRecord6 lastRecord6{};
  void onMoney(const std::string& p, const WPortfolioMoney& m) override {
    lastMoney = m;
    events.push_back(p + " money");
  }
  void onOrder(const std::string& p, const WPortfolioOrder& o) override {
    lastOrder = o;
    events.push_back(p + " order " + std::to_string(o.orderNumber));
  }
  void onRecord6(const std::string& p, const WPortfolioRecord6& r) override {
    lastRecord6 = r;
    events.push_back(p + " record6");
  }
  void onRecord8(const std::string& p, const WPortfolioRecord8&) override { events.push_back(p + " record8"); }
  void onRecord9(const std::string& p, const WPortfolioRecord9&) override { events.push_back(p + " record9"); }
  void onTrade(const std::string& p, const WPortfolioTrade& t) override {
    lastTrade = t;
    events.push_back(p + " trade " + std::to_string(t.tradeNumber));
  }
  void onPosition(const std::string& p, const WPortfolioPosition& pos) override {
    lastPosition = pos;
    events.push_back(p + " position");
  }
  void onRecord4(const std::string& p, const WMyClosePos&) override { events.push_back(p + " closed"); }
  void onError(const std::string& p, const std::string& message, int code) override {
    events.push_back(p + " error " + std::to_string(code) + " " + message);
  }
};

// The fields of an order up to its validity, as the stream's type 1 carries them.
RecordWriter& orderHead(RecordWriter& w, int64_t number) {
  return w.string("F1").string("SBER").int64(7000001).int32(1).int32(2).int32(2).decimal("250.48").decimal("0")
      .decimal("10").decimal("0").int32(0).string("X12").decimal("0").dateTime(kTime).int64(number).int32(1);
}
RecordWriter& tradeHead(RecordWriter& w, int32_t action) {
  return w.string("F1").string("SBER").int32(action).decimal("250.5").decimal("10").dateTime(kTime)
      .int64(1000000001).int64(3000000001);
}

std::vector<std::string> stream(const std::string& records, int mode, StreamRecorder& listener, size_t piece) {
  WPortfolioParser parser(&listener, "D-10001", mode);
  const std::string body = compressed(records);
  EXPECT_EQ(deliverResponse(parser, okResponse(body), piece), 0);
  return listener.events;
}

TEST(PortfolioStream, EveryRecordTypeWholeAndByteByByte) {
  RecordWriter w;
  w.small(0).int32(1).dateTime(kTime).recordEnd();                                   // keep-alive reply: nothing
  w.small(0).decimal("2").decimal("100000").decimal("15.5").decimal("99984.5").recordEnd();  // money
  orderHead(w.small(1), 1000000001).int64(7).int32(3).string("T19").recordEnd();      // cookie, flag value, text
  orderHead(w.small(1), 1000000002).recordEnd();                                      // none of the three
  w.small(5).string("F1").string("SBER").int64(7000002).int32(2).int32(1).int32(5).decimal("250").decimal("0")
      .decimal("1").decimal("1").int32(0).int32(42).decimal("0").dateTime(kTime).int64(1000000003).int32(2)
      .recordEnd();                                                                   // type 5
  tradeHead(w.small(2), 2).recordEnd();                                               // no trailing fields
  tradeHead(w.small(2), 1).string("T9").string("T10").dateTime(kLater).recordEnd();
  w.small(3).string("F1").string("SBER").decimal("-5").decimal("-7").decimal("250.5").recordEnd();
  w.small(4).string("F1").string("SBER").decimal("10").decimal("250").decimal("251").dateTime(kTime).int64(1)
      .int64(2).recordEnd();
  w.small(7).int64(1).decimal("2").dateTime(kTime).recordEnd();                       // consumed silently
  w.small(8).string("a").string("b").string("c").int64(1).int32(1).int32(2).int32(3).int32(4).decimal("1")
      .decimal("2").decimal("3").dateTime(kTime).recordEnd();
  w.small(9).string("a").string("b").int64(1).int32(1).decimal("2").dateTime(kTime).int64(2).recordEnd();
  const std::string records = w.take();
  const std::vector<std::string> expected = {
      "D-10001 money",          "D-10001 order 1000000001", "D-10001 order 1000000002",
      "D-10001 order 1000000003", "D-10001 trade 3000000001", "D-10001 trade 3000000001",
      "D-10001 position",       "D-10001 closed",           "D-10001 record8",
      "D-10001 record9",
  };
  for (size_t piece : {size_t{8191}, size_t{1}}) {
    StreamRecorder listener;
    EXPECT_EQ(stream(records, 0, listener, piece), expected) << piece;
    EXPECT_EQ(listener.lastMoney.saldo, 99984.5);
    EXPECT_EQ(listener.lastMoney.extra5, 0);
    EXPECT_EQ(listener.lastOrder.extra12, 42);  // type 5
    EXPECT_EQ(listener.lastOrder.cookie, 0);
    EXPECT_EQ(listener.lastOrder.flag, 0);
    EXPECT_EQ(std::string(listener.lastTrade.extraText10), "T10");
    EXPECT_EQ(listener.lastTrade.secondTime, kLater);
    EXPECT_EQ(listener.lastPosition.side, 2);  // a negative amount is a short of its magnitude
    EXPECT_EQ(listener.lastPosition.amount, 5);
    EXPECT_EQ(listener.lastPosition.plannedAmount, 7);
  }
}

// The flag: 2 when the value after the cookie is there and not 0, else 1.
TEST(PortfolioStream, TheOrderFlagAndCookie) {
  struct Case {
    bool cookie;
    int value;  // -1: absent
    int64_t expectedCookie;
    int32_t expectedFlag;
  } cases[] = {{true, 0, 7, 1}, {true, 3, 7, 2}, {true, -1, 7, 1}, {false, -1, 0, 1}};
  for (const Case& c : cases) {
    RecordWriter w;
    orderHead(w.small(1), 5);
    if (c.cookie) w.int64(7);
    if (c.value >= 0) w.int32(c.value);
    w.recordEnd();
    StreamRecorder listener;
    stream(w.take(), 0, listener, 8191);
    EXPECT_EQ(listener.lastOrder.cookie, c.expectedCookie);
    EXPECT_EQ(listener.lastOrder.flag, c.expectedFlag) << c.value;
  }
}

TEST(PortfolioStream, ModeOneFillsTheTimesAndKindElevenCopiesIntTwelve) {
  RecordWriter w;
  w.small(0).decimal("1").decimal("2").decimal("3").decimal("4").decimal("5").decimal("6").decimal("7")
      .decimal("8").decimal("9").decimal("10").decimal("11").dateTime(kTime).recordEnd();
  w.small(3).string("F1").string("GAZP").decimal("0").decimal("0").decimal("0").dateTime(kTime).recordEnd();
  w.small(6).string("a").string("b").int64(3).dateTime(kTime).int32(5).int32(11).int32(7).int32(8).decimal("9")
      .int32(10).int32(11).int32(12).decimal("13").dateTime(kTime).int32(1).int32(99).int32(3).int32(4)
      .int32(15).decimal("16").recordEnd();
  StreamRecorder listener;
  stream(w.take(), 1, listener, 8191);
  EXPECT_EQ(listener.lastMoney.time, kTime);
  EXPECT_EQ(listener.lastMoney.extra11, 11);
  EXPECT_EQ(listener.lastPosition.time, kTime);
  EXPECT_EQ(listener.lastPosition.side, 1);
  EXPECT_EQ(listener.lastRecord6.kind, 11);
  EXPECT_EQ(listener.lastRecord6.a, 1);
  EXPECT_EQ(listener.lastRecord6.b, 12);  // int 12 again
  EXPECT_EQ(listener.lastRecord6.c.asInt, 3);
  EXPECT_EQ(listener.lastRecord6.d, 4);
  EXPECT_EQ(listener.lastRecord6.int15, 15);
}

TEST(PortfolioStream, AnUnknownTypeEndsTheStreamWithOneError) {
  RecordWriter w;
  w.small(10).int32(1).recordEnd();
  StreamRecorder listener;
  WPortfolioParser parser(&listener, "D-10001", 0);
  EXPECT_LT(deliverResponse(parser, okResponse(compressed(w.take())), 8191), 0);
  ASSERT_EQ(listener.events.size(), 1u);
  EXPECT_EQ(listener.events[0].rfind("D-10001 error -1001 Parse error: src/wexel_get_portfolio", 0), 0u);
}

// ---- queries ---------------------------------------------------------------------

struct OrdersRecorder : WexelGetMyOrdersListener {
  std::vector<size_t> batches;
  std::vector<WMyOrder> last;
  std::vector<std::string> errors;
  void onResult(const std::string&, const std::vector<WMyOrder>& orders, WContext) override {
    batches.push_back(orders.size());
    last = orders;
  }
  void onError(WContext, const std::string& message, int code) override {
    errors.push_back(std::to_string(code) + " " + message);
  }
};

// 25,000 orders arrive as 10,000 + 10,000 + 5,000; an empty list as one empty call.
TEST(PortfolioQueries, MyOrdersInBatchesOfTenThousand) {
  for (int count : {25000, 0}) {
    RecordWriter w;
    for (int i = 1; i <= count; ++i) orderHead(w.small(3), i).int64(i).int32(0).recordEnd();  // cookie required
    w.small(14).recordEnd();
    OrdersRecorder listener;
    WMyOrdersParser parser(&listener, "D-10001", 5, 3,
                           [](WLZ77Parser& p, WNibbleCursor& c, WMyOrder& o, const char* s) {
                             return readOrderRecord(p, c, o, WPortfolioForm::kQuery, s);
                           },
                           10000);
    EXPECT_EQ(deliverResponse(parser, okResponse(compressed(w.take())), 8191), 0);
    EXPECT_EQ(listener.batches, count ? std::vector<size_t>({10000, 10000, 5000}) : std::vector<size_t>({0}));
    EXPECT_TRUE(listener.errors.empty());
    if (count) {
      EXPECT_EQ(listener.last.back().orderNumber, count);
      EXPECT_EQ(listener.last.back().flag, 1);
    }
  }
}

struct MassRecorder : WexelPortfolioMassListener {
  std::vector<std::string> events;
  void onMassOrders(const std::string& p, const std::vector<WMyOrder>& o, WContext) override {
    events.push_back(p + " orders " + std::to_string(o.size()) + " extra12=" + std::to_string(o.back().extra12));
  }
  void onMassTrades(const std::string& p, const std::vector<WMyTrade>& t, WContext) override {
    events.push_back(p + " trades " + std::to_string(t.size()));
  }
  void onMassClosePositions(const std::string& p, const std::vector<WMyClosePos>& c, WContext) override {
    events.push_back(p + " closed " + std::to_string(c.size()));
  }
  void onError(const std::string& message, int code, WContext) override {
    events.push_back("error " + std::to_string(code) + " " + message);
  }
};

// The name and the kind open a list and carry over to its further entries;
// real positions are read and dropped; the reply holds up cut anywhere.
TEST(PortfolioQueries, TheMassReplyCarriesNameAndKindAcrossRecords) {
  RecordWriter w;
  orderHead(w.string("D-10001").small(1), 1).int64(1).int32(0).string("T").recordEnd();
  orderHead(w, 2).int64(2).int32(5).string("T").recordEnd();
  w.recordEnd();
  tradeHead(w.string("D-10001").small(2), 1).string("a").string("b").dateTime(kLater).recordEnd();
  w.recordEnd();
  w.string("D-10002").small(4).string("SBER").string("x").decimal("3").recordEnd();
  w.recordEnd();
  w.string("D-10002").small(3).recordEnd();  // an empty list: nothing delivered
  const std::string records = w.take();
  const std::vector<std::string> expected = {"D-10001 orders 2 extra12=2", "D-10001 trades 1"};
  for (size_t piece : {size_t{8191}, size_t{1}, size_t{7}}) {
    MassRecorder listener;
    WGetPortfolioMassRequestParser parser(&listener, 9);
    EXPECT_EQ(deliverResponse(parser, okResponse(compressed(records)), piece), 0);
    EXPECT_EQ(listener.events, expected) << piece;
    EXPECT_FALSE(parser.claimOutcome()) << "a reply that stopped between lists is complete";
  }
}

// A mass list is handed over once it holds more than 10,000 entries: the
// 10,001st order delivers all of them, and the end record then has none left.
TEST(PortfolioQueries, TheMassReplysTenThousandAndFirstOrder) {
  RecordWriter w;
  orderHead(w.string("D-10001").small(1), 1).int64(1).int32(0).string("T").recordEnd();
  for (int i = 2; i <= 10001; ++i) orderHead(w, i).int64(i).int32(0).string("T").recordEnd();
  w.recordEnd();
  MassRecorder listener;
  WGetPortfolioMassRequestParser parser(&listener, 9);
  EXPECT_EQ(deliverResponse(parser, okResponse(compressed(w.take())), 8191), 0);
  EXPECT_EQ(listener.events, std::vector<std::string>{"D-10001 orders 10001 extra12=2"});
}

TEST(PortfolioQueries, UrlsRefuseNamesThatWouldBreakTheRequest) {
  EXPECT_EQ(myPortfolioDataUrl("/kx2/get-portfolio-mo-zbin.php?portfolio=%s", "D-10001"),
            "/kx2/get-portfolio-mo-zbin.php?portfolio=D-10001");
  EXPECT_EQ(portfolioMassUrl({"A", "B"}, 1), "/kx2/get-portfolio-all-zbin.php?o_mode=1&portfolio[]=A&portfolio[]=B");
  for (const std::string& bad : std::vector<std::string>{"D 1", "D&x=1", "D\n", std::string(300, 'P')}) {
    EXPECT_EQ(myPortfolioDataUrl("/kx2/get-portfolio-mo-zbin.php?portfolio=%s", bad), "") << bad;
  }
  EXPECT_EQ(portfolioMassUrl({"A", "B#"}, 0), "");
}

}  // namespace
}  // namespace wexel
