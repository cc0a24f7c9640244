// Order actions without a server: the URL of every kind and its refusals, and
// the reply parser (headers naming the order, the tagged body, charsets, a
// status 500 read as a reply, several replies on one connection), whole, byte
// by byte and at every split.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "orders/wexel_action_parser.h"
#include "orders/wexel_order_urls.h"

namespace wexel {
namespace {

constexpr double kNaN = std::nan("");

WPlaceOrderFields limitBuy() {
  WPlaceOrderFields o;
  o.portfolio = "P1";
  o.exchange = "MB";
  o.security = "SEC1";
  o.action = 1;
  o.type = 2;
  o.validity = 1;
  o.price = 100.5;
  o.stopPrice = kNaN;
  o.amount = 10;
  o.fokMode = 1;
  o.cookie = 7;
  return o;
}

TEST(OrderUrls, EveryKindAsTheServerReadsIt) {
  WPlaceOrderFields conditional = limitBuy();
  conditional.condition = 2;
  conditional.conditionExchange = "MB";
  conditional.conditionSecurity = "GAZP";
  conditional.conditionPrice = 150;
  conditional.fokMode = 2;
  conditional.cookie = 4294967295u;  // the whole unsigned 32-bit range
  const WTakestopOrderFields takestop{"P1", "MB", "SEC1", 2, 2, 110, kNaN, 95.25, 3, 9};
  const WIcebergOrderFields iceberg{"P1", "MB", "SEC1", 3, 1, 99.5, 1000, 100};
  const WExpireOrderFields expire{"P1", "FO", "RIH5", 2};
  struct Case {
    std::string url;
    std::string expected;
  } cases[] = {
      {placeOrderUrl(limitBuy()),
       "/kx2/place-order.php?portfolio=P1&exchange=MB&security=SEC1&action=BUY&type=LIMIT&validity=DAY"
       "&price=100.500000&stop_price=0.000000&amount=10&fok=0&ext_order_id=7"},
      {placeOrderUrl(conditional),
       "/kx2/place-order.php?portfolio=P1&exchange=MB&security=SEC1&action=BUY&type=LIMIT&validity=DAY"
       "&price=100.500000&stop_price=0.000000&amount=10&cond=RAISE&cond_exchange=MB&cond_security=GAZP"
       "&cond_price=150.000000&fok=1&ext_order_id=4294967295"},
      {takestopOrderUrl(takestop),
       "/kx2/place-takestop-order.php?portfolio=P1&exchange=MB&security=SEC1&action=SELL&validity=GTC"
       "&stop_price=95.250000&price_take=110.000000&price_limit=0.000000&amount=3&mark_order_id=9"},
      {icebergOrderUrl(iceberg),
       "/kx2/place-iceberg.php?portfolio=P1&exchange=MB&security=SEC1&action=SELLSHORT&validity=DAY"
       "&price=99.500000&amount=1000&amount_step=100"},
      {expireOrderUrl(expire), "/kx2/place-expiry-order.php?portfolio=P1&exchange=FO&security=RIH5&amount=2"},
      {moveOrderUrl("P1", 123456789012, 10, 1), "/kx2/move-order.php?portfolio=P1&orderno=123456789012&price=10.000000&forced=1"},
      {cancelOrderUrl("P1", "MB", "SEC1", 0, -5),
       "/kx2/cancel-order.php?portfolio=P1&exchange=MB&security=SEC1&orderno=-5&ordertype=BASIC"},
      {cancelOrderUrl("P1", "MB", "SEC1", 4, 77),
       "/kx2/cancel-order.php?portfolio=P1&exchange=MB&security=SEC1&orderno=77&ordertype=EXPIRE"},
      {cancelOrderUrl("P1", "MB", "SEC1", kCancelIceberg, 77), "/kx2/cancel-iceberg.php?portfolio=P1&orderno=77"},
      {orderErrorUrl(42), "/kx2/get-order-error.php?orderno=42"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.url, c.expected);
}

TEST(OrderUrls, FokOnlyForModeTwo) {
  for (int mode : {0, 1, 2, 3}) {
    WPlaceOrderFields o = limitBuy();
    o.fokMode = mode;
    EXPECT_NE(placeOrderUrl(o).find(mode == 2 ? "&fok=1&" : "&fok=0&"), std::string::npos) << mode;
  }
}

// Nothing is sent for an order that cannot be written down: each of these
// answers the empty URL.
TEST(OrderUrls, OrdersThatCannotBeSentHaveNoUrl) {
  auto place = [](auto change) {
    WPlaceOrderFields o = limitBuy();
    change(o);
    return placeOrderUrl(o);
  };
  const WTakestopOrderFields takestop{"P1", "MB", "SEC1", 2, 2, 110, 0, 95.25, 3, 9};
  auto withTakestop = [&](auto change) {
    WTakestopOrderFields o = takestop;
    change(o);
    return takestopOrderUrl(o);
  };
  const WIcebergOrderFields iceberg{"P1", "MB", "SEC1", 3, 1, 99.5, 1000, 100};
  auto withIceberg = [&](auto change) {
    WIcebergOrderFields o = iceberg;
    change(o);
    return icebergOrderUrl(o);
  };
  const std::vector<std::string> urls = {
      place([](WPlaceOrderFields& o) { o.action = 6; }),
      place([](WPlaceOrderFields& o) { o.type = -1; }),
      place([](WPlaceOrderFields& o) { o.validity = 3; }),
      place([](WPlaceOrderFields& o) { o.condition = 9; }),
      place([](WPlaceOrderFields& o) { o.security = "SEC1&action=SELL"; }),
      place([](WPlaceOrderFields& o) { o.portfolio = "P1\r\nX-Evil: 1"; }),
      place([](WPlaceOrderFields& o) { o.portfolio = std::string(1000, 'P'); }),  // longer than its buffer
      withTakestop([](WTakestopOrderFields& o) { o.stopPrice = 0; }),
      withTakestop([](WTakestopOrderFields& o) { o.priceTake = kNaN; }),
      withIceberg([](WIcebergOrderFields& o) { o.amountStep = 0; }),
      withIceberg([](WIcebergOrderFields& o) { o.price = kNaN; }),
      withIceberg([](WIcebergOrderFields& o) { o.amount = 0; }),
      expireOrderUrl({"P1", "FO", "RIH5", 0}),
      expireOrderUrl({"P1", "FO", "RIH5", kNaN}),
      moveOrderUrl(std::string(300, 'P'), 1, 1, 0),
      cancelOrderUrl("P1", "MB", "SEC1", 6, 1),
      cancelOrderUrl("P 1", "MB", "SEC1", 0, 1),
  };
  for (size_t i = 0; i < urls.size(); ++i) EXPECT_EQ(urls[i], "") << "case " << i;
}

// ---- replies ---------------------------------------------------------------------

struct Result {
  int64_t orderNo;
  std::string message;
  std::string action;
  WCookie cookie;
  WContext context;
  std::string portfolio;
  bool operator==(const Result&) const = default;
};

class RecordingListener : public WexelOrderActionResultListener {
 public:
  void onActionResult(void*, const std::string& portfolio, const std::string&, const std::string&, int64_t orderNo,
                      const std::string& message, const std::string& action, WCookie cookie,
                      WContext context) override {
    results.push_back({orderNo, message, action, cookie, context, portfolio});
  }
  void onError(WCookie cookie, WContext context, const std::string& message, int code) override {
    errors.push_back(std::to_string(cookie) + "/" + std::to_string(context) + " " + message + " " +
                     std::to_string(code));
  }
  std::vector<Result> results;
  std::vector<std::string> errors;
};

// Feeds `text` to a new parser in pieces cut at `cuts`, as reads would.
void feed(WActionParser& parser, const std::string& text, const std::vector<size_t>& cuts) {
  size_t at = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    const size_t end = i < cuts.size() ? cuts[i] : text.size();
    std::memcpy(parser.writePosition(), text.data() + at, end - at);
    ASSERT_GE(parser.onReceived(static_cast<int>(end - at)), 0);
    at = end;
  }
}

std::string reply(const std::string& headers, const std::string& body, const char* status = "200 OK") {
  return std::string("HTTP/1.0 ") + status + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

// Every way to cut `text`: whole, each single cut, and byte by byte.
std::vector<std::vector<size_t>> everySplit(const std::string& text) {
  std::vector<std::vector<size_t>> splits = {{}};
  std::vector<size_t> everyByte;
  for (size_t i = 1; i < text.size(); ++i) {
    splits.push_back({i});
    everyByte.push_back(i);
  }
  splits.push_back(everyByte);
  return splits;
}

TEST(ActionParser, RepliesReportedTheSameHoweverTheBytesArrive) {
  // Replies on one keep-alive connection: the second in UTF-8 with a line
  // feed in its text, the third without headers naming the order and with
  // bytes after its message (all of its body is taken before the fourth).
  const std::string text =
      reply("X-Order-NO: 123456789012\r\nX-Order-NO-EXT: 7\r\nContent-Type: text/html; charset=windows-1251\r\n",
            "<place-order></place-order>") +
      reply("X-Order-NO: 55\r\nContent-Type: text/html; charset=UTF-8; q=1\r\n",
            "<cancel-order>\xD0\x9E\xD1\x82\xD0\xBA\xD0\xB0\xD0\xB7\n\r</cancel-order>", "500 Internal Server Error") +
      reply("", "<move-order>late</move-order> and more") + reply("X-Order-NO: 56\r\n", "<place-order><");
  const std::vector<Result> expected = {
      {123456789012, "", "place-order", 7, 9, "P1"},
      {55, "\xCE\xF2\xEA\xE0\xE7\r", "cancel-order", 7, 9, "P1"},  // "Отказ\r" in CP1251
      {55, "late", "move-order", 7, 9, "P1"},                       // the last values seen stay
      {56, "", "place-order", 7, 9, "P1"},
  };
  for (const auto& cuts : everySplit(text)) {
    RecordingListener listener;
    WActionParser parser(&listener, "P1", "MB", "SEC1", 0, 3, 9);
    feed(parser, text, cuts);
    ASSERT_EQ(listener.results, expected) << cuts.size() << " cuts, first " << (cuts.empty() ? 0 : cuts[0]);
    EXPECT_TRUE(listener.errors.empty());
  }
}

TEST(ActionParser, InitialValuesStandUntilHeadersReplaceThem) {
  RecordingListener listener;
  WActionParser parser(&listener, "P1", "", "", 42, 0, 5);
  feed(parser, reply("X-Order-NO: nonsense\r\n", "<move-order>Order not found<"), {});
  ASSERT_EQ(listener.results.size(), 1u);
  EXPECT_EQ(listener.results[0], (Result{42, "Order not found", "move-order", 0, 5, "P1"}));
}

TEST(ActionParser, AStatusOtherThan200Or500IsAnErrorWithItsReason) {
  RecordingListener listener;
  WActionParser parser(&listener, "P1", "MB", "SEC1", 0, 11, 12);
  std::memcpy(parser.writePosition(), "HTTP/1.0 403 Forbidden\r\n\r\n", 26);
  EXPECT_LT(parser.onReceived(26), 0);
  EXPECT_TRUE(listener.results.empty());
  EXPECT_EQ(listener.errors, std::vector<std::string>{"11/12 Forbidden -1001"});
  EXPECT_TRUE(parser.answered());
}

TEST(ActionParser, AnUnfinishedBodyWaitsAndNoListenerDropsRepliesCleanly) {
  RecordingListener listener;
  WActionParser waiting(&listener, "P1", "MB", "SEC1", 0, 1, 1);
  feed(waiting, "HTTP/1.0 200 OK\r\n\r\n<place-order>no end", {});
  EXPECT_TRUE(listener.results.empty());
  EXPECT_FALSE(waiting.answered());
  // Without a listener, replies are still framed one by one.
  WActionParser silent(nullptr, "", "", "", 0, 0, 0);
  const std::string two = reply("X-Order-NO: 1\r\n", "<place-order><") + reply("X-Order-NO: 2\r\n", "<place-order><");
  feed(silent, two, {});
  EXPECT_EQ(silent.orderNo(), 2);
}

}  // namespace
}  // namespace wexel
