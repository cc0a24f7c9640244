// The logon exchange: the reply sections, the refusals, the session that later
// requests must carry, and what the request log keeps of the POST.
#include <gtest/gtest.h>

#include "kexsim_logon.h"
#include "kexsim_test_support.h"

namespace kexsim::testing {
namespace {

TEST(KexsimLogon, ReplySectionsGolden) {
  Scenario scenario;
  User user{"u", "p", "", {{"MB", "P1", 0, "ACC1"}, {"FO", "P2", 2, ""}}};
  scenario.exchanges = {{"MB", "Main Board"}, {"FO", ""}};
  scenario.news = {{"NEWS", ""}};
  scenario.endpoints = {{"DDP", ""}, {"OMS_SSL", ""}, {"OMS", "http://10.0.0.5:8443/"}};
  scenario.version = "Kexora 4.12";
  scenario.update = {"Quarnel3", "21", "http://u/"};
  EXPECT_EQ(logonReplyBody(scenario, user, "sid=00000000000000ab", 1000, 1001),
            "<cookie>\r\nsid=00000000000000ab\r\n</cookie>\r\n"
            "<update>\r\nQuarnel3\t21\thttp://u/\r\n</update>\r\n"
            "<portfolios>\r\nMB\tP1\t0\tACC1\r\nFO\tP2\t2\t\r\n</portfolios>\r\n"
            "<exchanges>\r\nMB\tMain Board\r\nFO\r\n</exchanges>\r\n"
            "<news>\r\nNEWS\r\n</news>\r\n"
            "<ProgUrl>\r\nhttp://127.0.0.1:1000/\r\n</ProgUrl>\r\n<ProgType>\r\nDDP\r\n</ProgType>\r\n"
            "<ProgUrl>\r\nhttps://127.0.0.1:1001/\r\n</ProgUrl>\r\n<ProgType>\r\nOMS_SSL\r\n</ProgType>\r\n"
            "<ProgUrl>\r\nhttp://10.0.0.5:8443/\r\n</ProgUrl>\r\n<ProgType>\r\nOMS\r\n</ProgType>\r\n"
            "<version>\r\nKexora 4.12\r\n</version>\r\n");
}

struct LogonCase {
  const char* name;
  bool tls;
  const char* login;     // as the client encodes it
  const char* password;  // as the client encodes it
  const char* statusLine;
  std::string body;      // empty: a session reply
};

TEST(KexsimLogon, AnswersAndRefusalsOverPlainAndTls) {
  const LogonCase cases[] = {
      {"plain", false, "demo", "demo", "HTTP/1.0 200 OK", ""},
      {"tls", true, "demo", "demo", "HTTP/1.0 200 OK", ""},
      // The client leaves '@' and '+' as they are: '+' is no blank here.
      {"encoded password", false, "trader", "p@ss%20w%26rd+1", "HTTP/1.0 200 OK", ""},
      {"wrong password", false, "demo", "demo1", "HTTP/1.0 401 Unauthorized", refusalBody(kBadCredentialsText)},
      {"unknown user", true, "nobody", "demo", "HTTP/1.0 401 Unauthorized", refusalBody(kBadCredentialsText)},
      {"one piece", false, "blocked", "blocked", "HTTP/1.0 200 OK", "<error>Account is blocked..</error>"},
  };
  Server server;
  ASSERT_TRUE(server.start());
  for (const LogonCase& c : cases) {
    SCOPED_TRACE(c.name);
    uint16_t port = c.tls ? server.tlsPort() : server.plainPort();
    std::string reply = roundTrip(port, logonRequest(c.login, c.password, port), c.tls);
    EXPECT_EQ(reply.substr(0, reply.find("\r\n")), c.statusLine);
    std::string body = reply.substr(reply.find("\r\n\r\n") + 4);
    if (c.body.empty()) {
      EXPECT_EQ(body.rfind("<cookie>\r\nsid=", 0), 0u) << body;
    } else {
      EXPECT_EQ(body, c.body);
    }
  }
}

TEST(KexsimLogon, EachLogonOpensAFreshSessionThatLaterRequestsCarry) {
  Server server;
  ASSERT_TRUE(server.start());
  uint16_t port = server.plainPort();
  std::string first = logOn(port);
  std::string second = logOn(port);
  EXPECT_NE(first, second);
  for (const std::string& session : {first, second}) {
    std::string reply = roundTrip(port, getRequest("/kx2/get-symbols-zbin.php?&" + session, port));
    EXPECT_EQ(reply.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
  }
}

TEST(KexsimLogon, RequestLogKeepsThePostAsSent) {
  Server server;
  ASSERT_TRUE(server.start());
  uint16_t port = server.plainPort();
  ASSERT_FALSE(logOn(port).empty());
  ASSERT_TRUE(server.log().waitUntil([](const RequestLog::Entries& e) { return !e.empty() && e[0].closed; }));
  LoggedRequest logged = server.log().ofKind(kLogonKind).at(0);
  EXPECT_EQ(logged.method, "POST");
  EXPECT_EQ(logged.path, "/kx2/login.php");
  EXPECT_EQ(logged.query, "user=demo");
  EXPECT_EQ(logged.body, "pass=demo");  // Content-Length leaves out the final CR LF
  using Header = std::pair<std::string, std::string>;
  EXPECT_EQ(logged.headers, (std::vector<Header>{
                                {"User-Agent", "Quarnel3/3,0,137,4293/wexel/2.1.0/1600/windows"},
                                {"Host", "127.0.0.1:" + std::to_string(port)},
                                {"Content-Type", "application/x-www-form-urlencoded"},
                                {"Content-Length", "9"},
                            }));
}

}  // namespace
}  // namespace kexsim::testing
