// Order actions end to end: kxcli drives the real module against kexsim's
// order endpoints and small exchange. The refusals of PlaceOrder, CancelOrder
// and MoveOrder in the order their checks are made, and the outcome events of
// places, moves and cancels over one-shot connections and over the streaming
// order channel.
#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "kxcli_test_support.h"

namespace {

using namespace kxcli_testing;

const std::string kConnected = std::string(kConnect) + "wait Connected\n";

std::string refusal(const std::string& method, const std::string& message) {
  return R"({"call":")" + method + R"(","hresult":-2147467259,"error":")" + message + R"(","source":"IKxServer"})";
}

// ---- refusals ----------------------------------------------------------------------

struct RefusalCase {
  bool connected;  // made after Connected, or before connect
  const char* line;
  const char* method;
  const char* message;
};

// Each case fails exactly one check, after passing every check made before it.
const RefusalCase kRefusals[] = {
    // Null arguments come first, even without a session.
    {false, "PlaceOrder null SBER 1 2 1 100 1 0 7", "PlaceOrder", "Bad portfolio/symbol parameters!"},
    {false, "CancelOrder D-10001 null 1000000001", "CancelOrder", "Bad portfolio/symbol parameters!"},
    {false, "MoveOrder D-10001 null 100", "MoveOrder", "Bad portfolio/orderId parameters!"},
    {false, "PlaceOrder D-10001 SBER 1 2 1 100 1 0 7", "PlaceOrder",
     "Connection not established.. try to connect first!"},
    {false, "CancelOrder nosuch nosuch 0", "CancelOrder", "Connection not established.. try to connect first!"},
    {false, "MoveOrder nosuch 0 100", "MoveOrder", "Connection not established.. try to connect first!"},
    {true, "PlaceOrder D-10001 null 1 2 1 100 1 0 7", "PlaceOrder", "Bad portfolio/symbol parameters!"},
    {true, "CancelOrder null SBER 1000000001", "CancelOrder", "Bad portfolio/symbol parameters!"},
    {true, "CancelOrder D-10001 SBER null", "CancelOrder", "Bad portfolio/symbol parameters!"},
    {true, "MoveOrder null 1000000001 100", "MoveOrder", "Bad portfolio/orderId parameters!"},
    // The portfolio before the symbol, the symbol before the order number.
    {true, "PlaceOrder nosuch NOSUCH 1 2 1 100 1 0 7", "PlaceOrder", "Portfolio nosuch not found"},
    {true, "PlaceOrder d-10001 SBER 1 2 1 100 1 0 7", "PlaceOrder", "Portfolio d-10001 not found"},
    {true, "PlaceOrder D-10001 NOSUCH 1 2 1 100 1 0 7", "PlaceOrder", "Symbol not found NOSUCH"},
    {true, "PlaceOrder D-10001 '' 2 1 2 0 5 0 8", "PlaceOrder", "Symbol not found "},
    {true, "CancelOrder nosuch NOSUCH abc", "CancelOrder", "Portfolio nosuch not found"},
    {true, "CancelOrder D-10001 NOSUCH abc", "CancelOrder", "Symbol not found NOSUCH"},
    {true, "CancelOrder D-10001 SBER abc", "CancelOrder", "Cancel failed, bad orderId abc"},
    {true, "CancelOrder D-10001 SBER 0", "CancelOrder", "Cancel failed, bad orderId 0"},
    {true, "CancelOrder D-10001 SBER ''", "CancelOrder", "Cancel failed, bad orderId "},
    {true, "MoveOrder nosuch abc 100", "MoveOrder", "Portfolio nosuch not found"},
    {true, "MoveOrder D-10001 x42 100", "MoveOrder", "Move failed, bad orderId x42"},
    {true, "MoveOrder D-10001 ' 0' 100", "MoveOrder", "Move failed, bad orderId  0"},
};

TEST(KxcliOrders, RefusalsFollowTheOrderOfTheChecksAndSendNothing) {
  Simulator sim;
  Home home;
  std::string script;
  for (const RefusalCase& c : kRefusals) {
    if (!c.connected) script += std::string(c.line) + "\n";
  }
  script += kConnected;
  for (const RefusalCase& c : kRefusals) {
    if (c.connected) script += std::string(c.line) + "\n";
  }
  const Result r = run(home, sim.script(), script);
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> refusals;
  for (const std::string& line : r.starting(R"({"call":")")) {
    if (line.rfind(R"({"call":"connect")", 0) != 0) refusals.push_back(line);
  }
  ASSERT_EQ(refusals.size(), std::size(kRefusals));
  size_t at = 0;
  for (bool connected : {false, true}) {
    for (const RefusalCase& c : kRefusals) {
      if (c.connected != connected) continue;
      EXPECT_EQ(refusals[at++], refusal(c.method, c.message)) << c.line;
    }
  }
  EXPECT_TRUE(sim.server().log().ofKind("order").empty());
  EXPECT_EQ(r.events("Disconnected").size(), 0u);
  EXPECT_EQ(home.logCount("ERROR : Cancel failed, bad orderId abc"), 1u);
  // The INFO line comes first, with the texts as given (a null one empty);
  // before connect there is no log yet.
  EXPECT_EQ(home.logCount("INFO : KxServer::PlaceOrder method (Portfolio: D-10001, Symbol , Action 1, Type 2, "
                          "Validity 1, Price 100.000000, Amount 1.000000, Stop 0.000000, cookie 7) \n"),
            1u);
  EXPECT_EQ(home.logCount("INFO : KxServer::CancelOrder method (Portfolio: D-10001, Symbol SBER, OrderId abc \n"),
            1u);
  EXPECT_EQ(home.logCount("INFO : KxServer::MoveOrder method (Portfolio: D-10001, OrderId x42, "
                          "TargetPrice 100.000000 \n"),
            1u);
}

// ---- outcomes --------------------------------------------------------------------------

// How the orders travel: the settings given before connect, the charset of the
// server's texts, and how many connections the six actions take.
struct OrderPath {
  const char* name;
  const char* configure;  // a ConfigureClient line, or ""
  const char* charset;
  size_t connections;
};

const OrderPath kPaths[] = {
    {"one-shot", "", "CP1251", 6},
    {"one-shot, texts in UTF-8", "", "UTF-8", 6},
    {"one-shot, blocking connects", "ConfigureClient asyncSocketConnectionMode=no\n", "CP1251", 6},
    {"streaming", "ConfigureClient 'useOrderStreaming = yes'\n", "CP1251", 1},
};

// A limit buy far below the market rests in the book; the server numbers the
// orders it is given from 1000000001, refused ones included.
const char* const kActions =
    "PlaceOrder D-10001 SBER 1 2 1 100 3 1.25 7\nwait OrderSucceeded\n"
    "PlaceOrder D-10001 SBER 1 2 1 100.005 3 0 8\nwait OrderFailed\n"
    "MoveOrder D-10001 1000000001 101\nwait OrderMoveSucceeded\n"
    "MoveOrder D-10001 ' 1000000001 th' 101.001\nwait OrderMoveFailed\n"
    "CancelOrder D-10001 SBER 1000000001\nwait OrderCancelSucceeded\n"
    "CancelOrder D-10001 SBER 1000000001\nwait OrderCancelFailed\n";

TEST(KxcliOrders, EachActionEndsInItsOutcomeEventOnEveryPath) {
  for (const OrderPath& path : kPaths) {
    SCOPED_TRACE(path.name);
    kexsim::Scenario scenario = kexsim::builtInScenario();
    scenario.orders.charset = path.charset;
    Simulator sim(scenario);
    Home home;
    const Result r = run(home, sim.script(), path.configure + kConnected + kActions);
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> outcomes;
    for (const std::string& line : r.starting(R"({"event":"Order)")) outcomes.push_back(line);
    const std::vector<std::string> expected = {
        R"({"event":"OrderSucceeded","cookie":7,"orderid":"1000000001"})",
        R"({"event":"OrderFailed","cookie":8,"orderid":"1000000002","reason":"Неверная цена"})",
        R"({"event":"OrderMoveSucceeded","orderid":"1000000001"})",
        R"({"event":"OrderMoveFailed","orderid":"1000000001"})",
        R"({"event":"OrderCancelSucceeded","orderid":"1000000001"})",
        R"({"event":"OrderCancelFailed","orderid":"1000000001"})",
    };
    EXPECT_EQ(outcomes, expected);
    EXPECT_TRUE(r.events("Disconnected").empty());

    const auto orders = sim.server().log().ofKind("order");
    ASSERT_EQ(orders.size(), 6u);
    // The stop price before the amount, the plain form, not fill-or-kill; a
    // move is never forced; a cancel names the basic kind.
    EXPECT_EQ(orders[0].url().rfind("/kx2/place-order.php?portfolio=D-10001&exchange=MB&security=SBER&action=BUY"
                                    "&type=LIMIT&validity=DAY&price=100.000000&stop_price=1.250000&amount=3&fok=0"
                                    "&ext_order_id=7&",
                                    0),
              0u)
        << orders[0].url();
    EXPECT_EQ(orders[2].url().rfind("/kx2/move-order.php?portfolio=D-10001&orderno=1000000001&price=101.000000"
                                    "&forced=0&",
                                    0),
              0u)
        << orders[2].url();
    EXPECT_EQ(orders[4].url().rfind("/kx2/cancel-order.php?portfolio=D-10001&exchange=MB&security=SBER"
                                    "&orderno=1000000001&ordertype=BASIC&",
                                    0),
              0u)
        << orders[4].url();
    EXPECT_EQ(sim.server().log().connectionsOf("order"), path.connections);

    EXPECT_EQ(home.logCount("TRACE : Fire FireOrderSucceeded: , no: 1000000001 [7] \n"), 1u);
    EXPECT_EQ(home.logCount("TRACE : Fire FireMoveSucceeded: , no: 1000000001 [0] \n"), 1u);
  }
}

// ---- a place whose connection fails ----------------------------------------------------

// A loopback port that nothing listens on.
uint16_t closedPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), length), 0);
  EXPECT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length), 0);
  ::close(s);
  return ntohs(address.sin_port);
}

// The order endpoints of the logon reply point at a port where nobody listens.
kexsim::Scenario unreachableOrders(uint16_t port) {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  const std::string where = "127.0.0.1:" + std::to_string(port) + "/";
  scenario.endpoints = {{"DDP", ""}, {"OMS", "http://" + where}, {"OMS_SSL", "https://" + where}};
  return scenario;
}

struct FailedPlaceCase {
  const char* name;
  const char* configure;
  const char* cookie;
  const char* outcome;  // the event that reports the failure
};

// On its own connection the place hears of the failure as a result without
// an action: OrderFailed, cookie as given, no order number, during the call
// when the connect blocks. The streaming channel reports it as an error of the
// session.
const FailedPlaceCase kFailedPlaces[] = {
    {"one-shot", "", "9", "OrderFailed"},
    {"one-shot, cookie 0", "", "0", "OrderFailed"},
    {"one-shot, blocking connect", "ConfigureClient asyncSocketConnectionMode=no\n", "9", "OrderFailed"},
    {"streaming", "ConfigureClient useOrderStreaming=yes\n", "9", "Disconnected"},
};

TEST(KxcliOrders, APlaceWhoseConnectionFailsIsReportedOnce) {
  for (const FailedPlaceCase& c : kFailedPlaces) {
    SCOPED_TRACE(c.name);
    const uint16_t port = closedPort();
    Simulator sim(unreachableOrders(port));
    Home home;
    const std::string place = std::string("PlaceOrder D-10001 SBER 1 1 1 0 1 0 ") + c.cookie + "\n";
    const Result r =
        run(home, sim.script(), c.configure + kConnected + place + "wait " + c.outcome + "\nsleep 300\n");
    EXPECT_EQ(r.status, 0);
    const std::string where = "(127.0.0.1:" + std::to_string(port) + ")\"";
    const auto failed = r.events("OrderFailed");
    const auto disconnected = r.events("Disconnected");
    if (std::string(c.outcome) == "OrderFailed") {
      ASSERT_EQ(failed.size(), 1u);
      EXPECT_EQ(member(failed[0], "cookie"), c.cookie);
      EXPECT_EQ(member(failed[0], "orderid"), "\"0\"");
      const std::string reason = member(failed[0], "reason");
      EXPECT_GT(reason.size(), where.size() + 2);
      EXPECT_EQ(reason.substr(reason.size() - where.size()), where) << reason;
      EXPECT_TRUE(disconnected.empty());
    } else {
      EXPECT_TRUE(failed.empty());
      ASSERT_EQ(disconnected.size(), 1u);
      const std::string reason = member(disconnected[0], "reason");
      EXPECT_EQ(reason.substr(reason.size() - where.size()), where) << reason;
    }
    if (std::string(c.configure).find("asyncSocketConnectionMode=no") != std::string::npos) {
      const auto event = std::find(r.lines.begin(), r.lines.end(), failed.at(0));
      const auto call = std::find(r.lines.begin(), r.lines.end(), R"({"call":"PlaceOrder","hresult":0})");
      EXPECT_LT(event, call);
    }
  }
}

// ---- kxcli's order commands --------------------------------------------------------------

TEST(KxcliOrders, OrderCommandsEndOnceTheirOutcomeHasArrived) {
  Simulator sim;
  Home home;
  struct CommandCase {
    std::vector<std::string> words;
    const char* outcome;
  };
  const CommandCase cases[] = {
      {{"place", "D-10001", "SBER", "Buy", "Limit", "Day", "100", "2", "0", "5"},
       R"({"event":"OrderSucceeded","cookie":5,"orderid":"1000000001"})"},
      {{"place", "D-10001", "SBER", "sell", "limit", "gtc", "0.001", "2", "0", "6"},
       R"({"event":"OrderFailed","cookie":6,"orderid":"1000000002","reason":"Неверная цена"})"},
      {{"move", "D-10001", "1000000001", "100.5"}, R"({"event":"OrderMoveSucceeded","orderid":"1000000001"})"},
      {{"cancel", "D-10001", "SBER", "1000000001"}, R"({"event":"OrderCancelSucceeded","orderid":"1000000001"})"},
      {{"cancel", "D-10001", "SBER", "1000000001"}, R"({"event":"OrderCancelFailed","orderid":"1000000001"})"},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.words.front());
    auto args = sim.connection();
    args.insert(args.end(), c.words.begin(), c.words.end());
    const Result r = run(home, args);
    EXPECT_EQ(r.status, 0);
    ASSERT_FALSE(r.lines.empty());
    EXPECT_EQ(r.lines.front(), R"({"call":"connect","hresult":0})");
    // The outcome follows its call's line even when it came before the call returned.
    EXPECT_EQ(r.lines.back(), c.outcome);
    EXPECT_EQ(r.lines.size(), 4u);
  }
  // The session's end ends the command too.
  Simulator unreachable(unreachableOrders(closedPort()));
  auto args = unreachable.connection();
  args.insert(args.begin(), {"--config", "useOrderStreaming=yes"});
  args.insert(args.end(), {"place", "D-10001", "SBER", "Buy", "Market", "Day", "0", "1", "0", "1"});
  const Result r = run(home, args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.events("Disconnected").size(), 1u);
  EXPECT_TRUE(r.events("OrderFailed").empty());
}

}  // namespace

// ---- the order rate limit ------------------------------------------------------------------

// Seven actions at two a second: the first two go at once, then no second
// ever holds more than two as the server sees them; every action reaches it,
// in the order given, and the waits are logged.
TEST(KxcliOrders, MaxOrdersPerSecondSpacesActionsInOrderAndDropsNone) {
  Simulator sim;
  Home home;
  // Blocking connects: each action is on the wire before its call returns, so
  // the server sees them in the order the throttle let them go.
  std::string script = "ConfigureClient 'maxOrdersPerSecond=2; asyncSocketConnectionMode=no'\n" + kConnected;
  for (int cookie = 1; cookie <= 6; ++cookie) {
    script += "PlaceOrder D-10001 SBER 1 2 1 100 1 0 " + std::to_string(cookie) + "\n";
  }
  script += "CancelOrder D-10001 SBER 1000000001\nwait OrderSucceeded 6\nwait OrderCancelSucceeded\n";
  const Result r = run(home, sim.script(), script);
  EXPECT_EQ(r.status, 0);
  // Every action has its outcome; outcomes of actions sent close together on
  // connections of their own may come back in either order.
  std::vector<std::string> cookies;
  for (const std::string& line : r.events("OrderSucceeded")) cookies.push_back(member(line, "cookie"));
  std::sort(cookies.begin(), cookies.end());
  EXPECT_EQ(cookies, (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));

  const auto orders = sim.server().log().ofKind("order");
  ASSERT_EQ(orders.size(), 7u);
  for (size_t i = 0; i < orders.size(); ++i) {
    if (i < 6) {
      EXPECT_NE(orders[i].url().find("ext_order_id=" + std::to_string(i + 1) + "&"), std::string::npos);
    }
    // The third action after any two goes a second after the first of them
    // (less a margin for the connections' own delays).
    if (i >= 2) {
      EXPECT_GE(orders[i].arrived - orders[i - 2].arrived, std::chrono::milliseconds(900)) << i;
    }
  }
  EXPECT_LT(orders[1].arrived - orders[0].arrived, std::chrono::milliseconds(500));
  // Actions 3, 5 and 7 wait most of a second; 4 and 6 may find their token back.
  EXPECT_GE(home.logCount("for its turn (maxOrdersPerSecond=2)"), 3u);
}
