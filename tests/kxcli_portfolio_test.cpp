// The portfolio methods end to end: kxcli drives the real module against
// kexsim. The refusals of ListenPortfolio, CancelPortfolio, GetMyOrders,
// GetMyTrades, GetMyClosePos and GetMoneyAccount in the order their checks are
// made, GetMoneyAccount's out parameter, and the portfolio's orders, trades
// and positions on its stream and in the queries as orders fill.
#include "kxcli_test_support.h"

namespace {

using namespace kxcli_testing;

const std::string kConnected = std::string(kConnect) + "wait Connected\n";
constexpr const char* kNoSession = "Connection not established.. try to connect first!";

std::string refusal(const std::string& method, const std::string& message) {
  return R"({"call":")" + method + R"(","hresult":-2147467259,"error":")" + message + R"(","source":"IKxServer"})";
}

bool portfolioRequest(const std::string& url) {
  return url.rfind("/kx2/portfolio", 0) == 0 || url.rfind("/kx2/get-portfolio", 0) == 0;
}

// ---- refusals ----------------------------------------------------------------------

struct RefusalCase {
  bool connected;  // made after Connected, or before connect
  const char* line;
  const char* method;
  const char* message;
};

// Each case fails exactly one check, after passing every check made before it.
// The stream methods check the session first and read a null portfolio as the
// empty code; the queries and GetMoneyAccount refuse a null portfolio first.
const RefusalCase kRefusals[] = {
    {false, "ListenPortfolio null", "ListenPortfolio", kNoSession},
    {false, "CancelPortfolio D-10001", "CancelPortfolio", kNoSession},
    {false, "GetMyOrders 1 null", "GetMyOrders", "Bad portfolio parameters!"},
    {false, "GetMyTrades null", "GetMyTrades", "Bad portfolio parameters!"},
    {false, "GetMyClosePos null", "GetMyClosePos", "Bad portfolio parameters!"},
    {false, "GetMoneyAccount null", "GetMoneyAccount", "Bad portfolio parameters!"},
    {false, "GetMyOrders 0 D-10001", "GetMyOrders", kNoSession},
    {false, "GetMyTrades nosuch", "GetMyTrades", kNoSession},
    {false, "GetMyClosePos D-10001", "GetMyClosePos", kNoSession},
    {false, "GetMoneyAccount D-10001", "GetMoneyAccount", kNoSession},
    {true, "ListenPortfolio null", "ListenPortfolio", "Portfolio  not found"},
    {true, "ListenPortfolio ''", "ListenPortfolio", "Portfolio  not found"},
    {true, "ListenPortfolio d-10001", "ListenPortfolio", "Portfolio d-10001 not found"},
    {true, "CancelPortfolio null", "CancelPortfolio", "Portfolio  not found"},
    {true, "CancelPortfolio 'D-10001 '", "CancelPortfolio", "Portfolio D-10001  not found"},
    {true, "GetMyOrders 1 null", "GetMyOrders", "Bad portfolio parameters!"},
    {true, "GetMyOrders 1 nosuch", "GetMyOrders", "Portfolio nosuch not found"},
    {true, "GetMyTrades null", "GetMyTrades", "Bad portfolio parameters!"},
    {true, "GetMyTrades D-1000", "GetMyTrades", "Portfolio D-1000 not found"},
    {true, "GetMyClosePos null", "GetMyClosePos", "Bad portfolio parameters!"},
    {true, "GetMyClosePos ''", "GetMyClosePos", "Portfolio  not found"},
    {true, "GetMoneyAccount null", "GetMoneyAccount", "Bad portfolio parameters!"},
    {true, "GetMoneyAccount MA-10001", "GetMoneyAccount", "Portfolio MA-10001 not found"},
};

TEST(KxcliPortfolio, RefusalsFollowTheOrderOfTheChecksAndSendNothing) {
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
  script += "sleep 200\n";  // what a refused call might still have sent would arrive by now
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
  for (const auto& entry : sim.server().log().entries()) EXPECT_FALSE(portfolioRequest(entry.url())) << entry.url();
  EXPECT_EQ(r.events("Disconnected").size(), 0u);
  // The INFO line comes first, with the texts as given (a null one empty);
  // before connect there is no log yet.
  EXPECT_EQ(home.logCount("INFO : KxServer::ListenPortfolio method (Portfolio: d-10001) \n"), 1u);
  EXPECT_EQ(home.logCount("INFO : KxServer::CancelPortfolio method (Portfolio: ) \n"), 1u);
  EXPECT_EQ(home.logCount("INFO : KxServer::GetMyOrders method (Portfolio: nosuch, only active 1 \n"), 1u);
  EXPECT_EQ(home.logCount("INFO : KxServer::GetMyTrades method (Portfolio: D-1000) \n"), 1u);
  EXPECT_EQ(home.logCount("INFO : KxServer::GetMyClosePos method (Portfolio: ) \n"), 2u);
  EXPECT_EQ(home.logCount("INFO : KxServer::GetMoneyAccount method (Portfolio: MA-10001) \n"), 1u);
  EXPECT_EQ(home.logCount("ERROR : Portfolio MA-10001 not found \n"), 1u);
}

// ---- money account -----------------------------------------------------------------

TEST(KxcliPortfolio, GetMoneyAccountAnswersEachPortfoliosAccountAsItsResult) {
  Simulator sim;
  Home home;
  const Result r = run(home, sim.script(),
                       kConnected + "GetMoneyAccount D-10001\nGetMoneyAccount D-10001F\nGetMoneyAccount nosuch\n");
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> expected = {
      R"({"call":"GetMoneyAccount","hresult":0,"result":"MA-10001"})",
      R"({"call":"GetMoneyAccount","hresult":0,"result":"MA-10001F"})",
      refusal("GetMoneyAccount", "Portfolio nosuch not found"),
  };
  EXPECT_EQ(r.calls("GetMoneyAccount"), expected);
}

// ---- the stream and the queries -------------------------------------------------------

// The lines of one event, in order, with only the named members kept:
// {"event":"AddTrade","amount":3,...}.
std::vector<std::string> picked(const Result& r, const std::string& event, const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const std::string& line : r.events(event)) {
    std::string kept = R"({"event":")" + event + "\"";
    for (const std::string& name : names) kept += ",\"" + name + "\":" + member(line, name);
    out.push_back(kept + "}");
  }
  return out;
}

// Market orders fill at once on the exchange, which numbers orders from
// 1000000001 and trades from 3000000001: buy 3, sell 1, short 5 leave a
// long position of 3, then 2, then a short one of 3.
const std::string kThreeFills =
    "PlaceOrder D-10001 SBER 1 1 1 0 3 0 7\nwait AddTrade 1\nwait UpdatePosition 1\n"
    "PlaceOrder D-10001 SBER 2 1 1 0 1 0 8\nwait AddTrade 2\nwait UpdatePosition 2\n"
    "PlaceOrder D-10001 SBER 3 1 1 0 5 0 9\nwait AddTrade 3\nwait UpdatePosition 3\n";

TEST(KxcliPortfolio, OrdersFillOnTheStreamWithTheSignRulesAndShowInTheQueries) {
  Simulator sim;
  Home home;
  const Result r = run(home, sim.script(),
                       kConnected + "ListenPortfolio D-10001\nwait SetPortfolio\n" + kThreeFills +
                           "GetMyOrders 1 D-10001\nwait SetMyOrder 3\nGetMyTrades D-10001\nwait SetMyTrade 3\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.events("Disconnected").empty());

  // The stream opens with the money as it is.
  ASSERT_FALSE(r.events("SetPortfolio").empty());
  EXPECT_EQ(r.events("SetPortfolio").front(),
            R"({"event":"SetPortfolio","portfolio":"D-10001","cash":1000000,"leverage":1,"comission":0,"saldo":1000000})");

  const std::vector<std::string> filled = {
      R"({"event":"UpdateOrder","orderno":"1000000001","action":1,"state":5,"amount":3,"filled":3,"cookie":7})",
      R"({"event":"UpdateOrder","orderno":"1000000002","action":2,"state":5,"amount":1,"filled":1,"cookie":8})",
      R"({"event":"UpdateOrder","orderno":"1000000003","action":3,"state":5,"amount":5,"filled":5,"cookie":9})",
  };
  EXPECT_EQ(picked(r, "UpdateOrder", {"orderno", "action", "state", "amount", "filled", "cookie"}), filled);

  // A sell and a short take from the position: their amounts are negative.
  const std::vector<std::string> trades = {
      R"({"event":"AddTrade","portfolio":"D-10001","symbol":"SBER","orderid":"1000000001","amount":3,"tradeno":"3000000001"})",
      R"({"event":"AddTrade","portfolio":"D-10001","symbol":"SBER","orderid":"1000000002","amount":-1,"tradeno":"3000000002"})",
      R"({"event":"AddTrade","portfolio":"D-10001","symbol":"SBER","orderid":"1000000003","amount":-5,"tradeno":"3000000003"})",
  };
  EXPECT_EQ(picked(r, "AddTrade", {"portfolio", "symbol", "orderid", "amount", "tradeno"}), trades);

  // A short position (side 2) shows as negative amount and planned amount.
  const std::vector<std::string> positions = {
      R"({"event":"UpdatePosition","symbol":"SBER","amount":3,"planned":3})",
      R"({"event":"UpdatePosition","symbol":"SBER","amount":2,"planned":2})",
      R"({"event":"UpdatePosition","symbol":"SBER","amount":-3,"planned":-3})",
  };
  EXPECT_EQ(picked(r, "UpdatePosition", {"symbol", "amount", "planned"}), positions);

  // The queries give the same orders and trades as rows; a trade's volume is never negated there.
  const std::vector<std::string> orders = {
      R"({"event":"SetMyOrder","row":0,"nrows":3,"portfolio":"D-10001","no":"1000000001","action":1,"state":5,"cookie":7})",
      R"({"event":"SetMyOrder","row":1,"nrows":3,"portfolio":"D-10001","no":"1000000002","action":2,"state":5,"cookie":8})",
      R"({"event":"SetMyOrder","row":2,"nrows":3,"portfolio":"D-10001","no":"1000000003","action":3,"state":5,"cookie":9})",
  };
  EXPECT_EQ(picked(r, "SetMyOrder", {"row", "nrows", "portfolio", "no", "action", "state", "cookie"}), orders);
  const std::vector<std::string> myTrades = {
      R"({"event":"SetMyTrade","row":0,"nrows":3,"orderno":"1000000001","tradeno":"3000000001","volume":3,"buysell":1})",
      R"({"event":"SetMyTrade","row":1,"nrows":3,"orderno":"1000000002","tradeno":"3000000002","volume":1,"buysell":2})",
      R"({"event":"SetMyTrade","row":2,"nrows":3,"orderno":"1000000003","tradeno":"3000000003","volume":5,"buysell":3})",
  };
  EXPECT_EQ(picked(r, "SetMyTrade", {"row", "nrows", "orderno", "tradeno", "volume", "buysell"}), myTrades);
  // Each order's time and its trade's time are the same second.
  for (size_t i = 0; i < 3 && i < r.events("AddTrade").size() && i < r.events("SetMyTrade").size(); ++i) {
    EXPECT_EQ(member(r.events("AddTrade")[i], "datetime"), member(r.events("SetMyTrade")[i], "datetime"));
  }

  // The plain stream (mode 0) and the queries asked for this portfolio; all orders, however onlyActive was given.
  const auto stream = sim.server().log().ofKind("portfolio");
  ASSERT_EQ(stream.size(), 1u);
  EXPECT_EQ(stream[0].url().rfind("/kx2/portfolio-zbin?portfolio=D-10001&", 0), 0u) << stream[0].url();
  EXPECT_EQ(home.logCount("INFO : KxServer::ListenPortfolio method (Portfolio: D-10001) \n"), 1u);
  EXPECT_EQ(home.logCount("TRACE : Fire Portfolio: D-10001 \n"), r.events("SetPortfolio").size());
  EXPECT_EQ(home.logCount("TRACE : Fire MyOrders: D-10001, orderno[1000000003], id["), 1u);
  EXPECT_EQ(home.logCount("], status 5, cookie 9 \n"), 1u);
  EXPECT_EQ(home.logCount("TRACE : Fire MyTrades: D-10001, [3000000002] \n"), 1u);
  EXPECT_EQ(home.logCount("TRACE : Fire SetMyOrders: D-10001, [3] \n"), 1u);
  EXPECT_EQ(home.logCount("TRACE : Fire SetMyTrades: D-10001, [3] \n"), 1u);
}

// CancelPortfolio ends the stream quietly: a fill after it shows only when
// the portfolio is listened to again, which opens with the portfolio as it is.
TEST(KxcliPortfolio, CancelPortfolioEndsTheStreamWithoutDisconnected) {
  Simulator sim;
  Home home;
  const Result r = run(home, sim.script(),
                       kConnected +
                           "ListenPortfolio D-10001\nwait SetPortfolio\nCancelPortfolio D-10001\nsleep 200\n"
                           "PlaceOrder D-10001 SBER 1 1 1 0 3 0 7\nwait OrderSucceeded\nsleep 500\n"
                           "ListenPortfolio D-10001\nwait AddTrade\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.events("Disconnected").empty());
  EXPECT_EQ(r.calls("CancelPortfolio"), std::vector<std::string>{R"({"call":"CancelPortfolio","hresult":0})"});
  // Nothing of the stream between the cancel and the second listen.
  std::vector<std::string> order;
  for (const std::string& line : r.lines) {
    for (const char* name : {"\"CancelPortfolio\"", "\"OrderSucceeded\"", "\"UpdateOrder\"", "\"ListenPortfolio\""}) {
      if (line.find(name) != std::string::npos) order.push_back(name);
    }
  }
  const std::vector<std::string> expected = {"\"ListenPortfolio\"", "\"CancelPortfolio\"", "\"OrderSucceeded\"",
                                             "\"ListenPortfolio\"", "\"UpdateOrder\""};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(sim.server().log().ofKind("portfolio").size(), 2u);
  EXPECT_EQ(home.logCount("INFO : KxServer::CancelPortfolio method (Portfolio: D-10001) \n"), 1u);
}

// The one-shot commands end once their rows are complete, and at once with
// no rows when the answer is empty.
struct RowCommandCase {
  const char* command;
  const char* portfolio;
  const char* event;
  size_t rows;
};

const RowCommandCase kRowCommands[] = {
    {"orders", "D-10001", "SetMyOrder", 2},
    {"my-trades", "D-10001", "SetMyTrade", 2},
    {"closed", "D-10001", "SetMyClosePos", 1},
    {"orders", "D-10001F", "SetMyOrder", 0},
    {"my-trades", "D-10001F", "SetMyTrade", 0},
    {"closed", "D-10001F", "SetMyClosePos", 0},
};

TEST(KxcliPortfolio, RowCommandsEndWithTheirLastRowOrAtOnceWithNone) {
  Simulator sim;
  Home home;
  // Buy 2, sell 2: one closed position.
  const Result fills = run(home, sim.script(),
                           kConnected + "PlaceOrder D-10001 SBER 1 1 1 0 2 0 1\nwait OrderSucceeded\n"
                                        "PlaceOrder D-10001 SBER 2 1 1 0 2 0 2\nwait OrderSucceeded 2\n");
  ASSERT_EQ(fills.status, 0);
  for (const RowCommandCase& c : kRowCommands) {
    SCOPED_TRACE(std::string(c.command) + " " + c.portfolio);
    std::vector<std::string> arguments = sim.connection();
    arguments.insert(arguments.end(), {c.command, c.portfolio});
    const auto started = std::chrono::steady_clock::now();
    const Result r = run(home, arguments);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));  // far below the 60 s limit
    EXPECT_EQ(r.status, 0);
    const auto rows = r.events(c.event);
    ASSERT_EQ(rows.size(), c.rows);
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(member(rows[i], "row"), std::to_string(i));
      EXPECT_EQ(member(rows[i], "nrows"), std::to_string(c.rows));
      EXPECT_EQ(member(rows[i], "portfolio"), std::string("\"") + c.portfolio + "\"");
    }
    EXPECT_TRUE(r.starting(R"({"wait")").empty());
  }
  const Result closed = run(home, [&] {
    std::vector<std::string> a = sim.connection();
    a.insert(a.end(), {"closed", "D-10001"});
    return a;
  }());
  ASSERT_EQ(closed.events("SetMyClosePos").size(), 1u);
  const std::string row = closed.events("SetMyClosePos")[0];
  EXPECT_EQ(member(row, "symbol"), "\"SBER\"");
  EXPECT_EQ(member(row, "amount"), "2");
  EXPECT_EQ(member(row, "order_open"), "\"1000000001\"");
  EXPECT_EQ(member(row, "order_close"), "\"1000000002\"");
}

// Closes every portfolio stream the server is asked for before its opening records are complete.
kexsim::Scenario closingStreams() {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  kexsim::Fault fault;
  fault.type = kexsim::FaultType::kCloseBeforeEnd;
  scenario.faults["portfolio"] = fault;
  return scenario;
}

// Every portfolio stream the server closes reports an error; the host hears
// of the first one only.
TEST(KxcliPortfolio, StreamsClosedByTheServerGiveOneDisconnected) {
  Simulator sim(closingStreams());
  Home home;
  const Result r = run(home, sim.script(),
                       kConnected + "ListenPortfolio D-10001\nListenPortfolio D-10001F\nwait Disconnected\nsleep 500\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(sim.server().log().ofKind("portfolio").size(), 2u);
  ASSERT_EQ(r.events("Disconnected").size(), 1u);
  EXPECT_NE(r.events("Disconnected")[0].find(" (127.0.0.1:" + std::to_string(sim.server().plainPort()) + ")"),
            std::string::npos)
      << r.events("Disconnected")[0];
}

// The portfolio command streams until its time is up, or fails when the
// session ends first.
TEST(KxcliPortfolio, ThePortfolioCommandStreamsUntilItsTimeIsUpOrTheStreamCloses) {
  for (bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "closed by the server" : "open");
    Simulator sim(closing ? closingStreams() : kexsim::builtInScenario());
    Home home;
    std::vector<std::string> arguments = sim.connection();
    arguments.insert(arguments.end(), {"portfolio", "D-10001", "--for", "1"});
    const Result r = run(home, arguments);
    EXPECT_EQ(r.status, closing ? 1 : 0);
    EXPECT_EQ(r.calls("ListenPortfolio"), std::vector<std::string>{R"({"call":"ListenPortfolio","hresult":0})"});
    EXPECT_EQ(r.events("Disconnected").size(), closing ? 1u : 0u);
    if (!closing) {
      EXPECT_FALSE(r.events("SetPortfolio").empty());
    }
  }
}

}  // namespace
