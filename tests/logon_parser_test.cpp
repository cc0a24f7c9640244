// The logon reply parser on its own (no channel, no instance): sections,
// update and portfolio lines, refusals, the moment the reply is decided, and
// the endpoint urls the instance parses from it.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "log_capture.h"
#include "logon_recording_listener.h"
#include "instance/wexel_endpoint.h"
#include "market/wexel_http_logon.h"
#include "core/wexel_statistics.h"

namespace {

using namespace wexel::testing;
using wexel::WEndpoint;
using wexel::WLogonParser;
using wexel::WPortfolioEntry;

const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
const std::string kUnauthorized = "HTTP/1.0 401 Unauthorized\r\n\r\n";

std::string parserState(const WLogonParser& p) {
  std::string s = "session=" + p.sessionText() + " caps=" + p.capsText() + " update=" + p.updateName() + "/" +
                  std::to_string(p.updateVersion()) + "/" + p.updateUrl() + " version=" + p.versionText() +
                  " message=" + p.messageText() + " exchanges=" + joined(p.exchanges()) + " news=" + joined(p.news()) +
                  " portfolios=";
  for (const WPortfolioEntry& e : p.portfolios()) s += describe(e) + ";";
  s += " endpoints=";
  for (const WEndpoint& e : p.endpoints()) s += e.type + "@" + e.url + ";";
  return s;
}

struct Outcome {
  std::vector<std::string> calls;
  std::string state;
};

// Hands the reply to a fresh parser in the pieces that `cuts` mark, as reads of
// a channel would, then ends it as the server's close does. A negative parse
// result closes the channel at once, without a close report.
Outcome feed(const std::string& reply, std::vector<size_t> cuts) {
  RecordingLogonListener listener;
  WLogonParser parser(nullptr, &listener);
  cuts.push_back(reply.size());
  size_t from = 0;
  bool closedByParser = false;
  for (size_t cut : cuts) {
    size_t n = cut - from;
    std::memcpy(parser.writePosition(), reply.data() + from, n);
    from = cut;
    if (parser.onReceived(static_cast<int>(n)) < 0) {
      closedByParser = true;
      break;
    }
  }
  if (!closedByParser && parser.isHeaderParsed()) parser.endOfReply();
  return {listener.calls(), parserState(parser)};
}

std::vector<size_t> everyByte(size_t size) {
  std::vector<size_t> cuts;
  for (size_t i = 1; i < size; ++i) cuts.push_back(i);
  return cuts;
}

std::vector<size_t> randomCuts(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<size_t> cuts;
  if (size < 2) return cuts;
  std::uniform_int_distribution<size_t> at(1, size - 1);
  size_t count = std::uniform_int_distribution<size_t>(1, std::min<size_t>(size - 1, 12))(random);
  for (size_t i = 0; i < count; ++i) cuts.push_back(at(random));
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  return cuts;
}

const std::string kFullBody =
    "<cookie>\r\nsid=00000000000000ab\r\n</cookie>\r\n"
    "<caps>\r\nTRADE,NEWS\r\n</caps>\r\n"
    "<update>\r\nQuarnel3\t21\thttp://u/\r\n</update>\r\n"
    "<portfolios>\r\nMB\tP1\t0\tACC1\r\nFO\tP2\t2\t\r\nnotab\r\n</portfolios>\r\n"
    "<exchanges>\r\nMB\tMain Board\r\nFO Futures\r\n</exchanges>\n"
    "<news>\nNEWS\r\n</news>\r\r\n"
    "<ProgUrl>\r\nhttp://127.0.0.1:1000/\r\n</ProgUrl>\r\n<ProgType>\r\nDDP\r\n</ProgType>\r\n"
    "<ProgUrl>\r\nhttps://127.0.0.1:1001/\r\n</ProgUrl>\r\n<ProgType>\r\nOMS_SSL\r\n</ProgType>\r\n"
    "<version>\r\nKexora 4.12\r\n</version>\r\n";

struct ReplyCase {
  const char* name;
  std::string reply;
  std::vector<std::string> calls;
};

const std::vector<ReplyCase>& replyCases() {
  static const std::vector<ReplyCase> cases = {
      {"session and one portfolio",
       kOk + "<cookie>\r\nsid=1\r\n<portfolios>\r\nMB\tP1\t0\tACC1\r\n</portfolios>\r\n",
       {"onLogon portfolios=MB|P1|P1|P1|0|ACC1 news= exchanges=", "onUpdateInfo  0x0 "}},
      {"every section",
       kOk + kFullBody,
       {"onLogon portfolios=MB|P1|P1|P1|0|ACC1;FO|P2|P2|P2|2| news=NEWS exchanges=MB,FO",
        "onUpdateInfo Quarnel3 0x2100 http://u/"}},
      {"last line without a line end",
       kOk + "<cookie>\r\nsid=9",
       {"onLogon portfolios= news= exchanges=", "onUpdateInfo  0x0 "}},
      {"401 with a message",
       kUnauthorized + "<message>\r\nWrong login or password..\r\n</message>\r\n",
       {"onError Wrong login or password.. -1002"}},
      {"neither session nor message", kOk + "<caps>\r\nX\r\n</caps>\r\n", {"onError Bad Server response -1001"}},
      {"one piece with a text in tags",
       kOk + "<error>Account is blocked..</error>",
       {"onError Account is blocked.. -1002"}},
      {"one piece 401", kUnauthorized + "<error>Bad password..</error>", {"onError Bad password.. -1002"}},
      {"one piece without a later <", kOk + "<error>Account is blocked..", {"onError Bad Server response -1002"}},
      {"one piece without >", kOk + "Account is blocked", {"onError Bad Server response -1001"}},
      {"empty body", kOk, {"onError Bad Server response -1001"}},
      {"status 500", "HTTP/1.0 500 Internal Server Error\r\n\r\nignored\r\n", {"onError Internal Server Error -1001"}},
      {"status 403", "HTTP/1.0 403 Forbidden\r\n\r\n", {"onError Forbidden -1001"}},
      {"bad status line", "HTTP/1.0 200\r\n\r\n<cookie>\r\ns\r\n", {"onError Bad http response -1001"}},
      {"content length ends the reply",
       "HTTP/1.0 200 OK\r\nContent-Length: 21\r\n\r\n<cookie>\r\nsid=2\r\n</co<message>\r\nX\r\n",
       {"onLogon portfolios= news= exchanges=", "onUpdateInfo  0x0 "}},
      {"content length cuts the last line",
       "HTTP/1.0 200 OK\r\ncontent-length: 15\r\n\r\n<cookie>\r\nsid=3garbage\r\n",
       {"onLogon portfolios= news= exchanges=", "onUpdateInfo  0x0 "}},
  };
  return cases;
}

TEST(LogonParser, EveryReplyGivesTheSameOutcomeWholeByteByByteAndInRandomPieces) {
  for (const ReplyCase& c : replyCases()) {
    SCOPED_TRACE(c.name);
    Outcome whole = feed(c.reply, {});
    EXPECT_EQ(whole.calls, c.calls);
    Outcome bytes = feed(c.reply, everyByte(c.reply.size()));
    EXPECT_EQ(bytes.calls, whole.calls);
    EXPECT_EQ(bytes.state, whole.state);
    for (unsigned seed = 1; seed <= 20; ++seed) {
      Outcome pieces = feed(c.reply, randomCuts(c.reply.size(), seed));
      EXPECT_EQ(pieces.calls, whole.calls) << "seed " << seed;
      EXPECT_EQ(pieces.state, whole.state) << "seed " << seed;
    }
  }
}

TEST(LogonParser, SectionsFillTheParser) {
  wexel::statsReset();
  RecordingLogonListener listener;
  WLogonParser parser(nullptr, &listener);
  std::string reply = kOk + kFullBody +
                      "<message>\r\nWelcome..\r\n</message>\r\n"
                      "<ProgType>\r\nOMS\r\n</ProgType>\r\n"  // a type closes an endpoint with the previous url
                      "<cookie> \r\nnot a session line\r\n"   // not a tag: the whole line must match
                      "</anything\r\nignored in section 0\r\n";
  std::memcpy(parser.writePosition(), reply.data(), reply.size());
  ASSERT_EQ(parser.onReceived(static_cast<int>(reply.size())), static_cast<int>(reply.size()));
  EXPECT_EQ(parser.sessionText(), "sid=00000000000000ab");
  EXPECT_EQ(parser.capsText(), "TRADE,NEWS");
  EXPECT_EQ(parser.updateName(), "Quarnel3");
  EXPECT_EQ(parser.updateVersion(), 0x2100);
  EXPECT_EQ(parser.updateUrl(), "http://u/");
  EXPECT_EQ(parser.versionText(), "Kexora 4.12");
  EXPECT_EQ(parser.messageText(), "Welcome..");
  EXPECT_EQ(parser.exchanges(), (std::vector<std::string>{"MB", "FO"}));
  EXPECT_EQ(parser.news(), (std::vector<std::string>{"NEWS"}));
  ASSERT_EQ(parser.portfolios().size(), 2u);
  ASSERT_EQ(parser.endpoints().size(), 3u);
  std::vector<std::string> endpoints;
  for (const WEndpoint& e : parser.endpoints()) endpoints.push_back(e.type + "@" + e.url + "@" + e.extra);
  EXPECT_EQ(endpoints, (std::vector<std::string>{"DDP@http://127.0.0.1:1000/@", "OMS_SSL@https://127.0.0.1:1001/@",
                                                 "OMS@https://127.0.0.1:1001/@"}));
  EXPECT_EQ(parser.section(), WLogonParser::kNoSection);
  EXPECT_EQ(listener.count(), 0u);  // nothing is decided before the reply ends
  parser.endOfReply();
  EXPECT_EQ(listener.count(), 2u);
  EXPECT_STREQ(wexel::statsSnapshot().serverText, "Kexora 4.12");
}

TEST(LogonParser, ProgTypeBeforeProgUrlRecordsTheTypeWithThePreviousUrl) {
  WLogonParser parser(nullptr, nullptr);
  std::string reply = kOk +
                      "<ProgType>\r\nDDP\r\n</ProgType>\r\n<ProgUrl>\r\nhttp://10.0.0.1:1/\r\n</ProgUrl>\r\n"
                      "<ProgType>\r\nOMS\r\n</ProgType>\r\n";
  std::memcpy(parser.writePosition(), reply.data(), reply.size());
  parser.onReceived(static_cast<int>(reply.size()));
  parser.endOfReply();  // no listener: nothing is called
  ASSERT_EQ(parser.endpoints().size(), 2u);
  EXPECT_EQ(parser.endpoints()[0].type, "DDP");
  EXPECT_EQ(parser.endpoints()[0].url, "");
  EXPECT_EQ(parser.endpoints()[1].type, "OMS");
  EXPECT_EQ(parser.endpoints()[1].url, "http://10.0.0.1:1/");
}

TEST(LogonParser, ContentLengthDecidesOnTheLastCountedByte) {
  const std::string body = "<cookie>\r\nsid=5\r\n</cookie>\r\n";
  const std::string reply = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  RecordingLogonListener listener;
  WLogonParser parser(nullptr, &listener);
  for (size_t i = 0; i < reply.size(); ++i) {
    EXPECT_EQ(listener.count(), 0u) << "decided early, at byte " << i;
    *parser.writePosition() = reply[i];
    parser.onReceived(1);
  }
  EXPECT_TRUE(parser.isDecided());
  EXPECT_EQ(listener.calls(), (std::vector<std::string>{"onLogon portfolios= news= exchanges=", "onUpdateInfo  0x0 "}));
  parser.endOfReply();  // the close that follows tells nothing more
  EXPECT_EQ(listener.count(), 2u);
}

TEST(LogonParser, ADecidedReplyIsNeverDecidedAgain) {
  RecordingLogonListener listener;
  WLogonParser parser(nullptr, &listener);
  std::string reply = kOk + "<cookie>\r\nsid=6\r\n";
  std::memcpy(parser.writePosition(), reply.data(), reply.size());
  parser.onReceived(static_cast<int>(reply.size()));
  parser.endOfReply();
  ASSERT_EQ(listener.count(), 2u);
  parser.endOfReply();
  EXPECT_EQ(parser.onError(-1001, "late"), 0);
  EXPECT_FALSE(parser.claimDecision());
  std::string more = "<cookie>\r\nsid=7\r\n";
  std::memcpy(parser.writePosition(), more.data(), more.size());
  parser.onReceived(static_cast<int>(more.size()));
  EXPECT_EQ(listener.count(), 2u);
  EXPECT_EQ(parser.sessionText(), "sid=6");
}

TEST(LogonParser, UpdateLines) {
  struct Case {
    const char* line;
    const char* name;
    int64_t version;
    const char* url;
  } cases[] = {
      {"Quarnel3\t21\thttp://u/", "Quarnel3", 0x2100, "http://u/"},
      {"Q\t2.1.0\thttp://u/", "Q", 0x200, "http://u/"},
      {"Q\t9\thttp://u/\tmore\tfields", "Q", 0x900, "http://u/"},
      {"Q\t123abc\t", "Q", 0x12300, ""},
      {"Q\tv1\tu", "Q", 0, "u"},
      {"\t\t", "", 0, ""},
      {"Q\t21", "", 0, ""},  // fewer than two TABs: ignored
      {"no tabs at all", "", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    WLogonParser parser(nullptr, nullptr);
    std::string reply = kOk + "<update>\r\n" + c.line + "\r\n";
    std::memcpy(parser.writePosition(), reply.data(), reply.size());
    parser.onReceived(static_cast<int>(reply.size()));
    EXPECT_EQ(parser.updateName(), c.name);
    EXPECT_EQ(parser.updateVersion(), c.version);
    EXPECT_EQ(parser.updateUrl(), c.url);
  }
}

TEST(LogonParser, UpdateVersionPacking) {
  struct Case {
    const char* text;
    int64_t packed;
  } cases[] = {{"21", 0x2100}, {"2.1.0", 0x200}, {"", 0}, {"x1", 0}, {"0", 0}, {"1600", 0x160000}, {"9999", 0x999900}};
  for (const Case& c : cases) {
    EXPECT_EQ(WLogonParser::packUpdateVersion(c.text), c.packed) << c.text;
  }
}

TEST(LogonParser, PortfolioLines) {
  const std::string name35(35, 'N');
  const std::string exchange64(64, 'E');
  const std::string money35(35, 'M');
  struct Case {
    std::string line;
    bool taken;
    std::string described;
  } cases[] = {
      {"MB\tP1\t0\tACC1", true, "MB|P1|P1|P1|0|ACC1"},
      {"MB\tP1", true, "MB|P1|P1|P1|0|"},
      {"MB\tP1\t2", true, "MB|P1|P1|P1|2|"},
      {"MB\tP1\t258\tA\tmore", true, "MB|P1|P1|P1|2|A"},  // status truncated to a byte
      {"MB\tP1\t-1\t", true, "MB|P1|P1|P1|255|"},
      {"MB\tP1\t 7x\t", true, "MB|P1|P1|P1|7|"},  // C atoi rules
      {"MB\t\t\t", true, "MB||||0|"},
      {"MB P1 0", false, ""},
      {exchange64 + "\t" + name35 + "\t1\t" + money35, true,
       exchange64 + "|" + name35 + "|" + name35 + "|" + name35 + "|1|" + money35},
      {exchange64 + "X\t" + name35 + "Y\t1\t" + money35 + "Z", true,  // longer texts are cut to the width
       exchange64 + "|" + name35 + "|" + name35 + "|" + name35 + "|1|" + money35},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    WPortfolioEntry entry;
    std::memset(&entry, 0x5A, sizeof entry);
    ASSERT_EQ(WLogonParser::parsePortfolioLine(c.line, &entry), c.taken);
    if (c.taken) {
      EXPECT_EQ(describe(entry), c.described);
    }
  }
}

TEST(LogonParser, FieldsOfExactlyTheirWidthHaveNoTerminator) {
  const std::string name(35, 'n');
  WPortfolioEntry entry;
  ASSERT_TRUE(WLogonParser::parsePortfolioLine("MB\t" + name + "\t3\t" + std::string(35, 'a'), &entry));
  // The three copies lie back to back, so each is exactly 35 name bytes.
  EXPECT_EQ(std::string(entry.name1, 3 * 35), name + name + name);
  EXPECT_EQ(std::string(entry.moneyAccount, 35), std::string(35, 'a'));
  EXPECT_EQ(std::string(entry.exchange, 3), std::string("MB\0", 3));
  EXPECT_EQ(entry.status, 3);
}

// ---- endpoint urls -----------------------------------------------------------

TEST(EndpointUrl, Forms) {
  struct Case {
    const char* url;
    int family;
    const char* address;
    int port;
  } cases[] = {
      {"https://10.0.0.5:8443/", AF_INET, "10.0.0.5", 8443},
      {"http://127.0.0.1:80", AF_INET, "127.0.0.1", 80},
      {"http://10.0.0.1:8443/path/", AF_INET, "10.0.0.1", 8443},
      {"http://10.0.0.1/", AF_INET, "10.0.0.1", 0},
      {"http://10.0.0.1:70000/", AF_INET, "10.0.0.1", 70000 - 65536},  // modulo 65536
      {"http://10.0.0.1:-1/", AF_INET, "10.0.0.1", 65535},
      {"x10.0.0.2:99", AF_INET, "10.0.0.2", 99},  // no "//": from the second character on
      {"http://localhost:5/", AF_INET, "127.0.0.1", 5},
      {"", 65535, "0.0.0.0", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    sockaddr_in a = wexel::parseEndpointUrl({"DDP", c.url, ""});
    EXPECT_EQ(a.sin_family, c.family);
    char text[INET_ADDRSTRLEN];
    EXPECT_STREQ(inet_ntop(AF_INET, &a.sin_addr, text, sizeof text), c.address);
    EXPECT_EQ(ntohs(a.sin_port), c.port);
  }
}

TEST(EndpointUrl, FailuresAreLogged) {
  LogCapture log(2);
  EXPECT_EQ(wexel::parseEndpointUrl({"OMS", "", ""}).sin_family, 65535);
  EXPECT_TRUE(log.contains("Url parse error, point type OMS, url , error: "));
  EXPECT_EQ(wexel::parseEndpointUrl({"DDP", "http://no.such.host.invalid:1/", ""}).sin_family, 0);
  EXPECT_TRUE(log.contains("resolve address failed \"no.such.host.invalid\""));
}

}  // namespace
