// Order actions end to end: kxcli drives the real module against kexsim's
// order endpoints and small exchange. The refusals of PlaceOrder, CancelOrder
// and MoveOrder in the order their checks are made, and the outcome events of
// places, moves and cancels over one-shot connections and over the streaming
// order channel.
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

}  // namespace
