// The order endpoints over loopback sockets: the replies as the client reads
// them (status, order headers, tagged text in either charset), keep-alive and
// one-shot connections, the faults, the order-error query, and what the small
// exchange behind them does with the orders against a market that stands
// still until a test moves it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>

#include "kexsim_cp1251.h"
#include "kexsim_record_writer.h"
#include "kexsim_test_support.h"

namespace kexsim::testing {
namespace {

// SBER of the built-in scenario: price 250.5, step 0.01.
constexpr double kBid = 250.49;
constexpr double kAsk = 250.51;
const int64_t kStart = static_cast<int64_t>(packTime(2024, 1, 5, 10, 0, 0));

// A place request's parameters, formatted the way the client formats them.
struct Place {
  std::string action = "BUY";
  std::string type = "LIMIT";
  double price = 250.0;
  double stop = 0;
  double amount = 10;
  int fok = 0;
  unsigned cookie = 7;
  std::string security = "SBER";
  std::string portfolio = "D-10001";
  std::string condition = {};  // "cond=...&cond_exchange=...&cond_security=...&cond_price=..." or ""
};

std::string placeUrl(const Place& p) {
  char url[1024];
  std::snprintf(url, sizeof url,
                "/kx2/place-order.php?portfolio=%s&exchange=MB&security=%s&action=%s&type=%s&validity=DAY"
                "&price=%f&stop_price=%f&amount=%.0f%s%s&fok=%d&ext_order_id=%u",
                p.portfolio.c_str(), p.security.c_str(), p.action.c_str(), p.type.c_str(), p.price, p.stop,
                p.amount, p.condition.empty() ? "" : "&", p.condition.c_str(), p.fok, p.cookie);
  return url;
}

std::string moveUrl(int64_t number, double price) {
  char url[256];
  std::snprintf(url, sizeof url, "/kx2/move-order.php?portfolio=D-10001&orderno=%lld&price=%f&forced=0",
                static_cast<long long>(number), price);
  return url;
}

std::string cancelUrl(int64_t number) {
  return "/kx2/cancel-order.php?portfolio=D-10001&exchange=MB&security=SBER&orderno=" + std::to_string(number) +
         "&ordertype=BASIC";
}

struct HttpReply {
  std::string statusLine;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  std::optional<std::string> header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
      if (key == name) return value;
    }
    return std::nullopt;
  }
};

// Takes one whole reply off the front of `bytes`: the head, then as many body
// bytes as its Content-Length says (all of them without one).
std::optional<HttpReply> takeReply(std::string& bytes) {
  size_t headEnd = bytes.find("\r\n\r\n");
  if (headEnd == std::string::npos) return std::nullopt;
  HttpReply reply;
  size_t lineEnd = bytes.find("\r\n");
  reply.statusLine = bytes.substr(0, lineEnd);
  for (size_t at = lineEnd + 2; at < headEnd;) {
    size_t end = bytes.find("\r\n", at);
    std::string line = bytes.substr(at, end - at);
    size_t colon = line.find(": ");
    reply.headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    at = end + 2;
  }
  std::optional<std::string> length = reply.header("Content-Length");
  size_t bodyLength = length ? std::stoul(*length) : bytes.size() - headEnd - 4;
  if (bytes.size() < headEnd + 4 + bodyLength) return std::nullopt;
  reply.body = bytes.substr(headEnd + 4, bodyLength);
  bytes.erase(0, headEnd + 4 + bodyLength);
  return reply;
}

// The client's GET, with the extra header of its streaming order channel.
std::string keepAliveRequest(const std::string& pathAndQuery, uint16_t port) {
  std::string request = getRequest(pathAndQuery, port);
  return request.insert(request.size() - 2, "Connection: Keep-Alive\r\n");
}

// A connection that reads replies one at a time.
class ReplyReader {
 public:
  explicit ReplyReader(TestClient& client) : client_(client) {}

  std::optional<HttpReply> next() {
    for (;;) {
      if (std::optional<HttpReply> reply = takeReply(buffer_)) return reply;
      std::string piece = client_.readSome();
      if (piece.empty()) return std::nullopt;
      buffer_ += piece;
    }
  }
  // True when the server closes with nothing more to read.
  bool closed() { return buffer_.empty() && client_.readSome().empty(); }

 private:
  TestClient& client_;
  std::string buffer_;
};

std::string tagged(const std::string& tag, const std::string& text) { return "<" + tag + ">" + text + "</" + tag + ">"; }

int64_t orderNumberOf(const HttpReply& reply) { return std::stoll(reply.header("X-Order-NO").value_or("-1")); }

class KexsimOrders : public ::testing::Test {
 protected:
  explicit KexsimOrders(ServerOptions options = stillMarket()) : server(std::move(options)) {}

  void SetUp() override {
    ASSERT_TRUE(server.start());
    session = logOn(server.plainPort());
    ASSERT_FALSE(session.empty());
  }

  // One request on its own connection, as a one-shot order request goes.
  HttpReply ask(const std::string& url, bool tls = false) {
    uint16_t port = tls ? server.tlsPort() : server.plainPort();
    std::string bytes = roundTrip(port, getRequest(url + "&" + session, port), tls);
    std::optional<HttpReply> reply = takeReply(bytes);
    EXPECT_TRUE(reply.has_value()) << url;
    return reply.value_or(HttpReply{});
  }

  SimOrder placed(const Place& place) {
    HttpReply reply = ask(placeUrl(place));
    EXPECT_EQ(reply.body, "<place-order></place-order>");
    return server.matching().order(orderNumberOf(reply)).value_or(SimOrder{});
  }

  std::vector<SimTrade> trades() { return server.matching().trades("demo", "D-10001"); }

  Server server;
  std::string session;
};

TEST_F(KexsimOrders, OneShotReplyAsServed) {
  EXPECT_EQ(roundTrip(server.plainPort(), getRequest(placeUrl({}) + "&" + session, server.plainPort())),
            "HTTP/1.0 200 OK\r\nServer: kexsim\r\nContent-Type: text/html; charset=CP1251\r\n"
            "Content-Length: 27\r\nX-Order-NO: 1000000001\r\nX-Order-NO-EXT: 7\r\nConnection: close\r\n\r\n"
            "<place-order></place-order>");
  ASSERT_TRUE(server.log().waitUntil([](const RequestLog::Entries& e) { return e.back().closed; }));
  LoggedRequest logged = server.log().ofKind(kOrderKind).at(0);
  EXPECT_EQ(logged.url(), placeUrl({}) + "&" + session);
  EXPECT_EQ(logged.sequence, 1);
  EXPECT_FALSE(logged.tls);
  ask(cancelUrl(1000000001));
  EXPECT_EQ(server.log().ofKind(kOrderKind).back().sequence, 1);
  EXPECT_EQ(server.log().connectionsOf(kOrderKind), 2u);
}

TEST_F(KexsimOrders, PlacedOrdersFillAtOnceOrRest) {
  struct Case {
    const char* name;
    Place place;
    OrderState state;
    double filled;
    double tradePrice;  // 0: no trade
  };
  const Case cases[] = {
      {"buy limit at the ask", {.price = kAsk}, OrderState::kFilled, 10, kAsk},
      {"buy limit above the ask fills at the ask", {.price = 251}, OrderState::kFilled, 10, kAsk},
      {"buy limit below the ask rests", {.price = 250}, OrderState::kOpen, 0, 0},
      {"sell limit at the bid", {.action = "SELL", .price = kBid}, OrderState::kFilled, 10, kBid},
      {"sell limit above the bid rests", {.action = "SELL", .price = 251}, OrderState::kOpen, 0, 0},
      {"market buy", {.type = "MARKET", .price = 0, .amount = 3}, OrderState::kFilled, 3, kAsk},
      {"market sell short", {.action = "SELLSHORT", .type = "MARKET", .price = 0}, OrderState::kFilled, 10, kBid},
      {"buy stop above the market waits", {.type = "STOP", .stop = 251}, OrderState::kOpen, 0, 0},
      {"sell stop above the bid triggers", {.action = "SELL", .type = "STOP", .stop = 250.6}, OrderState::kFilled, 10, kBid},
      {"fill-or-kill that cannot fill", {.price = 250, .fok = 1}, OrderState::kKilled, 0, 0},
      {"fill-or-kill that fills", {.price = kAsk, .fok = 1}, OrderState::kFilled, 10, kAsk},
      {"condition not met waits",
       {.price = kAsk, .condition = "cond=FALL&cond_exchange=MB&cond_security=GAZP&cond_price=150.000000"},
       OrderState::kPending, 0, 0},
      {"condition met acts at once",
       {.price = kAsk, .condition = "cond=RAISE&cond_exchange=MB&cond_security=GAZP&cond_price=150.000000"},
       OrderState::kFilled, 10, kAsk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    size_t tradesBefore = trades().size();
    SimOrder order = placed(c.place);
    EXPECT_EQ(order.state, c.state);
    EXPECT_EQ(order.filled, c.filled);
    EXPECT_EQ(order.cookie, 7u);
    EXPECT_EQ(order.time, static_cast<uint64_t>(kStart));
    std::vector<SimTrade> now = trades();
    ASSERT_EQ(now.size(), tradesBefore + (c.tradePrice != 0 ? 1 : 0));
    if (c.tradePrice == 0) continue;
    EXPECT_DOUBLE_EQ(now.back().price, c.tradePrice);
    EXPECT_EQ(now.back().volume, c.filled);
    EXPECT_EQ(now.back().orderNumber, order.number);
  }
  std::vector<SimTrade> all = trades();
  for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].number, MatchingEngine::kFirstTradeNumber + static_cast<int64_t>(i));
  std::vector<SimOrder> orders = server.matching().orders("demo", "D-10001");
  ASSERT_EQ(orders.size(), std::size(cases));
  for (const SimOrder& order : orders) {
    EXPECT_NE(order.id, order.number);
    EXPECT_EQ(order.symbol, "SBER");
  }
}

TEST_F(KexsimOrders, OtherPlaceKindsAnswerAsPlaceOrder) {
  struct Case {
    const char* url;
    int32_t type;
    OrderState state;
    double filled;
    uint32_t cookie;
  };
  const Case cases[] = {
      {"/kx2/place-takestop-order.php?portfolio=D-10001&exchange=MB&security=SBER&action=SELL&validity=DAY"
       "&stop_price=249.000000&price_take=252.000000&price_limit=0.000000&amount=5&mark_order_id=11",
       10, OrderState::kOpen, 0, 11},
      {"/kx2/place-takestop-order.php?portfolio=D-10001&exchange=MB&security=SBER&action=SELL&validity=GTC"
       "&stop_price=249.000000&price_take=250.000000&price_limit=0.000000&amount=5&mark_order_id=12",
       10, OrderState::kFilled, 5, 12},
      {"/kx2/place-iceberg.php?portfolio=D-10001&exchange=MB&security=SBER&action=BUY&validity=DAY"
       "&price=250.510000&amount=10&amount_step=4",
       7, OrderState::kPartial, 4, 0},
      {"/kx2/place-expiry-order.php?portfolio=D-10001F&exchange=FO&security=RIH5&amount=2", 8, OrderState::kOpen, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    HttpReply reply = ask(c.url);
    EXPECT_EQ(reply.body, "<place-order></place-order>");
    EXPECT_EQ(reply.header("X-Order-NO-EXT"), std::to_string(c.cookie));
    std::optional<SimOrder> order = server.matching().order(orderNumberOf(reply));
    ASSERT_TRUE(order.has_value());
    EXPECT_EQ(order->type, c.type);
    EXPECT_EQ(order->state, c.state);
    EXPECT_EQ(order->filled, c.filled);
  }
}

TEST_F(KexsimOrders, RestingOrdersFillWhenTheMarketCrossesThem) {
  SimOrder limit = placed({.price = 250});
  SimOrder stopLimit = placed({.type = "STOPLIMIT", .price = 250.7, .stop = 250.6});
  SimOrder iceberg = server.matching().order(orderNumberOf(ask(
      "/kx2/place-iceberg.php?portfolio=D-10001&exchange=MB&security=SBER&action=SELL&validity=DAY"
      "&price=250.600000&amount=10&amount_step=4"))).value();
  SimOrder waiting = placed({.price = 252, .condition = "cond=FALL&cond_exchange=MB&cond_security=GAZP&cond_price=150.000000"});
  // SBER moves up, GAZP falls: the stop-limit triggers and fills, the
  // iceberg fills a slice per step, the condition lets its order meet the ask.
  for (double price : {250.65, 250.66, 250.65}) ASSERT_TRUE(server.market().setPrice("MB", "SBER", price));
  ASSERT_TRUE(server.market().setPrice("MB", "GAZP", 140));
  EXPECT_EQ(server.matching().order(limit.number)->state, OrderState::kOpen);
  EXPECT_EQ(server.matching().order(stopLimit.number)->state, OrderState::kFilled);
  EXPECT_EQ(server.matching().order(iceberg.number)->state, OrderState::kFilled);
  EXPECT_EQ(server.matching().order(waiting.number)->state, OrderState::kFilled);
  // Then it falls through the resting buy.
  ASSERT_TRUE(server.market().setPrice("MB", "SBER", 249.9));
  EXPECT_EQ(server.matching().order(limit.number)->state, OrderState::kFilled);

  std::vector<std::pair<int64_t, double>> fills;
  for (const SimTrade& trade : trades()) fills.emplace_back(trade.orderNumber, trade.volume);
  EXPECT_EQ(fills, (std::vector<std::pair<int64_t, double>>{{stopLimit.number, 10},
                                                            {iceberg.number, 4},
                                                            {iceberg.number, 4},
                                                            {iceberg.number, 2},
                                                            {waiting.number, 10},
                                                            {limit.number, 10}}));
  EXPECT_DOUBLE_EQ(trades().front().price, 250.66);  // the ask of the step that crossed the stop
  EXPECT_DOUBLE_EQ(trades().back().price, 249.91);
}

TEST_F(KexsimOrders, MovesAndCancels) {
  SimOrder resting = placed({.price = 250});
  SimOrder other = placed({.price = 249});
  HttpReply moved = ask(moveUrl(resting.number, 249.5));
  EXPECT_EQ(moved.body, "<move-order></move-order>");
  EXPECT_EQ(orderNumberOf(moved), resting.number);
  EXPECT_EQ(moved.header("X-Order-NO-EXT"), "0");
  EXPECT_EQ(server.matching().order(resting.number)->price, 249.5);
  EXPECT_EQ(ask(moveUrl(resting.number, kAsk)).body, "<move-order></move-order>");  // moved into the market
  EXPECT_EQ(server.matching().order(resting.number)->state, OrderState::kFilled);

  const std::string cancelled = "<cancel-order>" + toCp1251("Заявка будет снята") + "</cancel-order>";
  EXPECT_EQ(ask(cancelUrl(other.number)).body, cancelled);
  EXPECT_EQ(server.matching().order(other.number)->state, OrderState::kCancelled);
  SimOrder iceberg = server.matching().order(orderNumberOf(ask(
      "/kx2/place-iceberg.php?portfolio=D-10001&exchange=MB&security=SBER&action=BUY&validity=DAY"
      "&price=249.000000&amount=10&amount_step=4"))).value();
  EXPECT_EQ(ask("/kx2/cancel-iceberg.php?portfolio=D-10001&orderno=" + std::to_string(iceberg.number)).body, cancelled);

  struct Refusal {
    std::string url;
    const char* tag;
    const char* text;
    int64_t number;
  };
  const Refusal refusals[] = {
      {cancelUrl(other.number), "cancel-order", "Заявка не активна", other.number},
      {cancelUrl(resting.number), "cancel-order", "Заявка не активна", resting.number},
      {cancelUrl(999), "cancel-order", "Заявка не найдена", 999},
      {moveUrl(resting.number, 250), "move-order", "Заявка не активна", resting.number},
      {moveUrl(1000000999, 250), "move-order", "Заявка не найдена", 1000000999},
      {"/kx2/cancel-order.php?portfolio=D-10001F&exchange=MB&security=SBER&orderno=" + std::to_string(other.number) +
           "&ordertype=BASIC",
       "cancel-order", "Заявка не найдена", other.number},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.url);
    HttpReply reply = ask(r.url);
    EXPECT_EQ(reply.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(reply.body, tagged(r.tag, toCp1251(r.text)));
    EXPECT_EQ(orderNumberOf(reply), r.number);
  }
}

// Refusals in Russian, in CP1251 unless a fault asks for UTF-8; a refused
// order keeps its number unless its portfolio is not the user's.
TEST_F(KexsimOrders, RefusalsInEitherCharset) {
  struct Case {
    Place place;
    const char* text;
    bool numbered;
  };
  const Case cases[] = {
      {{.portfolio = "T-20002"}, "Неизвестный портфель", false},
      {{.security = "NONE"}, "Неизвестный инструмент", true},
      {{.price = 250.005}, "Неверная цена", true},
      {{.type = "STOP", .stop = 0}, "Неверная цена", true},
      {{.amount = 0}, "Неверное количество", true},
      {{.action = "INVALID"}, "Неверные параметры заявки", true},
  };
  for (const char* charset : {"CP1251", "UTF-8"}) {
    if (std::string(charset) == "UTF-8") server.faults().set(kOrderKind, {FaultType::kCharset, 0, 0, 0, "UTF-8"});
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(charset) + " " + c.text);
      HttpReply reply = ask(placeUrl(c.place));
      EXPECT_EQ(reply.header("Content-Type"), std::string("text/html; charset=") + charset);
      std::string text = std::string(charset) == "UTF-8" ? c.text : toCp1251(c.text);
      EXPECT_EQ(reply.body, tagged("place-order", text));
      EXPECT_EQ(reply.header("X-Order-NO-EXT"), "7");
      int64_t number = orderNumberOf(reply);
      EXPECT_EQ(number != 0, c.numbered);
      if (c.numbered) {
        EXPECT_EQ(server.matching().order(number)->state, OrderState::kRejected);
      }
    }
  }
}

// The order-error query's record, read with the client's decoder and readers.
TEST_F(KexsimOrders, OrderErrorQueryReplies) {
  int64_t refused = orderNumberOf(ask(placeUrl({.price = 250.005})));
  int64_t accepted = orderNumberOf(ask(placeUrl({})));
  struct Case {
    int64_t number;
    const char* charset;
    const char* text;
  };
  const Case cases[] = {
      {refused, "CP1251", "Неверная цена"},
      {accepted, "CP1251", ""},
      {12345, "CP1251", "Заявка не найдена"},
      {refused, "UTF-8", "Неверная цена"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.number) + " " + c.charset);
    if (std::string(c.charset) == "UTF-8") server.faults().set(kOrderErrorKind, {FaultType::kCharset, 0, 0, 1, "UTF-8"});
    std::string bytes = roundTrip(server.plainPort(),
                                  getRequest("/kx2/get-order-error.php?orderno=" + std::to_string(c.number) + "&" + session,
                                             server.plainPort()));
    LayoutParser parser([](const LayoutParser&) { return fixedLayouts({"ltS*"}); });
    ASSERT_EQ(deliver(parser, bytes, 1), 0);
    EXPECT_NE(bytes.find("Content-Type: application/octet-stream; charset=" + std::string(c.charset)), std::string::npos);
    ASSERT_EQ(parser.records.size(), 1u);
    const std::vector<Value>& values = parser.records[0].values;
    EXPECT_EQ(integer(values[0]), c.number);
    EXPECT_EQ(integer(values[1]), kStart);
    EXPECT_EQ(text(values[2]), std::string(c.charset) == "UTF-8" ? c.text : toCp1251(c.text));
  }
}

TEST_F(KexsimOrders, FaultsOnDemand) {
  struct Case {
    const char* name;
    Fault fault;
    const char* statusLine;  // "" when the server closes without a reply
    const char* text;
    bool hasOrderNumber;
    bool placed;
  };
  const Case cases[] = {
      {"500 carries a refusal", {FaultType::kStatus, 500, 0, 1}, "HTTP/1.0 500 Internal Server Error",
       "Внутренняя ошибка сервера", true, false},
      {"403", {FaultType::kStatus, 403, 0, 1}, "HTTP/1.0 403 Forbidden", "Доступ запрещён", true, false},
      {"closed unanswered", {FaultType::kCloseUnanswered, 0, 0, 1}, "", "", false, false},
      {"no order number", {FaultType::kOmitOrderNo, 0, 0, 1}, "HTTP/1.0 200 OK", "", false, true},
      {"delayed", {FaultType::kDelay, 0, 200, 1}, "HTTP/1.0 200 OK", "", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.faults().set(kOrderKind, c.fault);
    size_t ordersBefore = server.matching().orders("demo", "D-10001").size();
    auto sent = std::chrono::steady_clock::now();
    std::string bytes = roundTrip(server.plainPort(), getRequest(placeUrl({}) + "&" + session, server.plainPort()));
    if (c.fault.type == FaultType::kDelay) {
      EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(c.fault.delayMs));
    }
    std::optional<HttpReply> reply = takeReply(bytes);
    EXPECT_EQ(server.matching().orders("demo", "D-10001").size(), ordersBefore + (c.placed ? 1 : 0));
    if (*c.statusLine == '\0') {
      EXPECT_FALSE(reply.has_value());
      continue;
    }
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->statusLine, c.statusLine);
    EXPECT_EQ(reply->body, tagged("place-order", toCp1251(c.text)));
    EXPECT_EQ(reply->header("X-Order-NO").has_value(), c.hasOrderNumber);
    EXPECT_EQ(reply->header("X-Order-NO-EXT"), "7");
  }
  EXPECT_EQ(server.log().ofKind(kOrderKind).size(), std::size(cases));
}

TEST_F(KexsimOrders, UnknownSessionRefusedOnBothListeners) {
  for (bool tls : {false, true}) {
    uint16_t port = tls ? server.tlsPort() : server.plainPort();
    std::string bytes = roundTrip(port, getRequest(placeUrl({}) + "&sid=0000000000000000", port), tls);
    EXPECT_EQ(bytes.substr(0, bytes.find("\r\n")), "HTTP/1.0 401 Unauthorized") << tls;
  }
  EXPECT_EQ(ask(placeUrl({}), true).body, "<place-order></place-order>");
  EXPECT_TRUE(server.log().ofKind(kOrderKind).back().tls);
  EXPECT_TRUE(server.matching().orders("demo", "D-10001").size() == 1);
}

class KexsimOrdersKeepAlive : public KexsimOrders {
 protected:
  static ServerOptions withMax(int max, const char* charset = "CP1251") {
    ServerOptions options = stillMarket();
    options.scenario.orders.keepAliveMax = max;
    options.scenario.orders.charset = charset;
    return options;
  }
  KexsimOrdersKeepAlive() : KexsimOrders(withMax(3)) {}

  std::string keepAlive(const std::string& url) { return keepAliveRequest(url + "&" + session, server.plainPort()); }
};

TEST_F(KexsimOrdersKeepAlive, ThreeRequestsOnOneConnectionThenClose) {
  std::vector<HttpReply> got;
  {
    TestClient client(server.plainPort());
    ReplyReader replies(client);
    for (int i = 0; i < 3; ++i) {
      client.send(keepAlive(placeUrl({.cookie = 20u + i})));
      std::optional<HttpReply> reply = replies.next();
      ASSERT_TRUE(reply.has_value()) << i;
      got.push_back(*reply);
    }
    EXPECT_TRUE(replies.closed());
  }
  EXPECT_EQ(got[0].header("Keep-Alive"), "timeout=15, max=3");
  EXPECT_FALSE(got[1].header("Keep-Alive").has_value());
  std::vector<std::string> connection, cookies, numbers;
  for (const HttpReply& reply : got) {
    connection.push_back(reply.header("Connection").value_or(""));
    cookies.push_back(reply.header("X-Order-NO-EXT").value_or(""));
    numbers.push_back(reply.header("X-Order-NO").value_or(""));
  }
  EXPECT_EQ(connection, (std::vector<std::string>{"Keep-Alive", "Keep-Alive", "close"}));
  EXPECT_EQ(cookies, (std::vector<std::string>{"20", "21", "22"}));
  EXPECT_EQ(numbers, (std::vector<std::string>{"1000000001", "1000000002", "1000000003"}));

  ASSERT_TRUE(server.log().waitUntil([](const RequestLog::Entries& e) { return e.back().closed; }));
  RequestLog::Entries logged = server.log().ofKind(kOrderKind);
  ASSERT_EQ(logged.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(logged[i].sequence, i + 1);
    EXPECT_EQ(logged[i].url(), placeUrl({.cookie = 20u + i}) + "&" + session);
  }
  EXPECT_EQ(server.log().connectionsOf(kOrderKind), 1u);
}

// Requests sent before their replies arrive are answered in order; those past
// the limit are never read.
TEST_F(KexsimOrdersKeepAlive, PipelinedRequestsPastTheLimitAreDropped) {
  std::vector<std::string> bodies;
  {
    TestClient client(server.plainPort());
    client.send(keepAlive(placeUrl({})) + keepAlive(cancelUrl(1000000001)) + keepAlive(moveUrl(1000000001, 250)) +
                keepAlive(placeUrl({})));
    ReplyReader replies(client);
    while (std::optional<HttpReply> reply = replies.next()) bodies.push_back(reply->body);
  }
  EXPECT_EQ(bodies, (std::vector<std::string>{"<place-order></place-order>",
                                              tagged("cancel-order", toCp1251("Заявка будет снята")),
                                              tagged("move-order", toCp1251("Заявка не активна"))}));
  ASSERT_TRUE(server.log().waitUntil([](const RequestLog::Entries& e) { return e.back().closed; }));
  EXPECT_EQ(server.log().ofKind(kOrderKind).size(), 3u);
}

// A 500 reads as a normal reply, so the connection goes on; a 403 ends it.
TEST_F(KexsimOrdersKeepAlive, StatusFaultsOnAKeepAliveConnection) {
  server.faults().set(kOrderKind, {FaultType::kStatus, 500, 0, 1});
  TestClient client(server.plainPort());
  ReplyReader replies(client);
  client.send(keepAlive(placeUrl({})));
  std::optional<HttpReply> first = replies.next();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->statusLine, "HTTP/1.0 500 Internal Server Error");
  EXPECT_EQ(first->header("Connection"), "Keep-Alive");
  server.faults().set(kOrderKind, {FaultType::kStatus, 403, 0, 1});
  client.send(keepAlive(placeUrl({})));
  std::optional<HttpReply> second = replies.next();
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->statusLine, "HTTP/1.0 403 Forbidden");
  EXPECT_EQ(second->header("Connection"), "close");
  EXPECT_TRUE(replies.closed());
}

TEST_F(KexsimOrdersKeepAlive, OneShotWithoutTheHeader) {
  TestClient client(server.plainPort());
  client.send(getRequest(placeUrl({}) + "&" + session, server.plainPort()));
  ReplyReader replies(client);
  std::optional<HttpReply> reply = replies.next();
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->header("Connection"), "close");
  EXPECT_FALSE(reply->header("Keep-Alive").has_value());
  EXPECT_TRUE(replies.closed());
}

// Without a limit every reply keeps the connection, and no Keep-Alive header
// is sent; the scenario's charset applies to every reply.
TEST(KexsimOrdersUnlimited, KeepsGoingInTheScenariosCharset) {
  ServerOptions options = stillMarket();
  options.scenario.orders.charset = "UTF-8";
  Server server(options);
  ASSERT_TRUE(server.start());
  std::string session = logOn(server.plainPort());
  TestClient client(server.plainPort());
  ReplyReader replies(client);
  for (int i = 0; i < 5; ++i) {
    client.send(keepAliveRequest(cancelUrl(1000000001 + i) + "&" + session, server.plainPort()));
    std::optional<HttpReply> reply = replies.next();
    ASSERT_TRUE(reply.has_value()) << i;
    EXPECT_EQ(reply->header("Connection"), "Keep-Alive");
    EXPECT_FALSE(reply->header("Keep-Alive").has_value());
    EXPECT_EQ(reply->header("Content-Type"), "text/html; charset=UTF-8");
    EXPECT_EQ(reply->body, tagged("cancel-order", "Заявка не найдена"));
  }
  EXPECT_EQ(server.log().connectionsOf(kOrderKind), 1u);
}

TEST(KexsimOrdersScenario, OrderSettingsAndFaultsAreRead) {
  Scenario s = parseScenario(R"({
    "orders": {"charset": "UTF-8", "keepAliveMax": 3, "keepAliveTimeout": 5},
    "faults": {"order": {"type": "charset", "charset": "windows-1251", "times": 1},
               "order-error": {"type": "omit-order-no"}}
  })");
  EXPECT_EQ(s.orders.charset, "UTF-8");
  EXPECT_EQ(s.orders.keepAliveMax, 3);
  EXPECT_EQ(s.orders.keepAliveTimeout, 5);
  EXPECT_EQ(s.faults.at("order").type, FaultType::kCharset);
  EXPECT_EQ(s.faults.at("order").charset, "windows-1251");
  EXPECT_EQ(s.faults.at("order-error").type, FaultType::kOmitOrderNo);
  EXPECT_EQ(builtInScenario().orders.keepAliveMax, 0);
  EXPECT_EQ(builtInScenario().orders.charset, "CP1251");
  EXPECT_EQ(faultTypeFromName("close-unanswered"), FaultType::kCloseUnanswered);
}

}  // namespace
}  // namespace kexsim::testing
