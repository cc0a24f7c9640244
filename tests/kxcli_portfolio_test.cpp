// The portfolio methods end to end: kxcli drives the real module against
// kexsim. The refusals of ListenPortfolio, CancelPortfolio, GetMyOrders,
// GetMyTrades, GetMyClosePos and GetMoneyAccount in the order their checks are
// made, and GetMoneyAccount's out parameter.
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

}  // namespace
