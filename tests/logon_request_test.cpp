// The logon request: its POST text, and its channel over loopback sockets
// (plain and TLS) against a server that answers in pieces, refuses, fails or
// closes. The manager's owner is no instance here, so only the listener hears.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "channel_fixture.h"
#include "log_capture.h"
#include "logon_recording_listener.h"
#include "loopback_server.h"
#include "q3_socket.h"
#include "market/wexel_http_logon.h"
#include "core/wexel_statistics.h"
#include "instance/wexel_winstance.h"

namespace {

using namespace wexel::testing;
using wexel::Http;
using wexel::Https;
using wexel::WHttpLogonRequestFactory;
using wexel::WHttpRequest;

sockaddr_in address(const char* ip, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  inet_pton(AF_INET, ip, &a.sin_addr);
  return a;
}

template <typename Tag>
std::string postText(const std::string& login, const std::string& password) {
  WHttpLogonRequestFactory<Tag> factory(login, password, nullptr, address("10.0.0.5", 8443));
  std::unique_ptr<WHttpRequest> request(factory.create(nullptr));
  EXPECT_TRUE(request->prepareRequest());
  return request->sendText();
}

TEST(LogonRequest, PostTextGolden) {
  wexel::setUserAgent("Quarnel3/3,0,137,4293");
  const std::string head =
      "User-Agent: Quarnel3/3,0,137,4293/wexel/2.1.0/1600/windows\r\nHost: 10.0.0.5:8443\r\n"
      "Content-Type: application/x-www-form-urlencoded\r\n";
  struct Case {
    const char* login;
    const char* password;
    std::string text;
  } cases[] = {
      {"a b&c", "abcdefgh",
       "POST /kx2/login.php?user=a%20b%26c HTTP/1.0\r\n" + head + "Content-Length: 13\r\n\r\npass=abcdefgh\r\n"},
      {"trader", "p@ss w&rd+1",
       "POST /kx2/login.php?user=trader HTTP/1.0\r\n" + head + "Content-Length: 20\r\n\r\npass=p@ss%20w%26rd+1\r\n"},
      {"", "", "POST /kx2/login.php?user= HTTP/1.0\r\n" + head + "Content-Length: 5\r\n\r\npass=\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.login);
    EXPECT_EQ(postText<Http>(c.login, c.password), c.text);
    EXPECT_EQ(postText<Https>(c.login, c.password), c.text);
  }
}

// ---- over loopback -------------------------------------------------------------

const std::string kBody =
    "<cookie>\r\nsid=00000000000000ab\r\n</cookie>\r\n"
    "<portfolios>\r\nMB\tP1\t0\tACC1\r\nFO\tP2\t2\t\r\n</portfolios>\r\n"
    "<exchanges>\r\nMB\tMain Board\r\n</exchanges>\r\n"
    "<update>\r\nQuarnel3\t21\thttp://u/\r\n</update>\r\n"
    "<version>\r\nKexora 4.12\r\n</version>";
const std::vector<std::string> kSuccess = {"onLogon portfolios=MB|P1|P1|P1|0|ACC1;FO|P2|P2|P2|2| news= exchanges=MB",
                                           "onUpdateInfo Quarnel3 0x2100 http://u/"};
const std::string kHeader = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

// Counts what the parser consumed, so the server can wait until one piece has
// been read and parsed before it sends the next.
class ConsumedBytes : public wexel::WParserTracking {
 public:
  void onChunkParsed(int64_t, int bytes) override { total.fetch_add(bytes); }
  std::atomic<int64_t> total{0};
};

struct LogonRun {
  RecordingLogonListener listener;
  ConsumedBytes consumed;
};

// Creates the logon request as the instance's logon does and sends it: TLS
// with a blocking connect and handshake, plain asynchronously.
template <typename Tag>
bool sendLogon(wexel::WConnectionManager& manager, const sockaddr_in& server, LogonRun& run) {
  WHttpLogonRequestFactory<Tag> factory("demo", "demo", &run.listener, server);
  WHttpRequest* request = factory.create(&manager);
  request->parser()->setTracking(&run.consumed);
  return manager.sendRequest(request, std::is_same_v<Tag, Http>);
}

std::string readPost(Peer& peer) { return peer.readUntil("pass=demo\r\n"); }

// Every case of a test runs on one manager; outcomes are compared once it has
// stopped, so nothing a channel does late escapes the comparison.
struct Cases {
  ~Cases() { running.reset(); }  // stops the channels before servers and listeners go

  // A new server whose handler also sees the case's run.
  LogonRun& add(std::function<void(Peer&, LogonRun&)> handler, bool tls) {
    runs.push_back(std::make_unique<LogonRun>());
    LogonRun* run = runs.back().get();
    servers.push_back(std::make_unique<LoopbackServer>([handler, run](Peer& peer) { handler(peer, *run); }, tls));
    return *run;
  }

  std::vector<std::unique_ptr<LogonRun>> runs;
  std::vector<std::unique_ptr<LoopbackServer>> servers;
  std::unique_ptr<RunningManager> running = std::make_unique<RunningManager>();
};

template <typename Tag>
void expectPiecesGiveOneOutcome(bool tls) {
  wexel::tlsStartup();
  const std::string reply = kHeader + kBody;
  const size_t h = kHeader.size();
  const size_t afterSession = kHeader.size() + kBody.find("</cookie>");
  struct Case {
    const char* name;
    std::vector<size_t> cuts;  // every piece ends after the header
  } cases[] = {
      {"header alone, then the body", {h}},
      {"a first piece that ends at the session line's end", {afterSession}},
      {"a first piece without a line end", {h + 3}},
      {"many small pieces", {h, h + 7, h + 20, h + 21, h + 40, h + 64, h + 100, h + 101, h + 150}},
  };
  Cases all;
  std::vector<std::string> posts(std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    std::vector<size_t> cuts = cases[i].cuts;
    cuts.push_back(reply.size());
    std::string* post = &posts[i];
    LogonRun* run = &all.add(
        [&reply, cuts, post](Peer& peer, LogonRun& run) {
          *post = readPost(peer);
          size_t from = 0;
          for (size_t cut : cuts) {
            peer.write(reply.substr(from, cut - from));
            from = cut;
            // The client has parsed this piece before the next one leaves.
            EXPECT_TRUE(eventually([&] { return run.consumed.total.load() == static_cast<int64_t>(from); }));
            EXPECT_EQ(run.listener.count(), 0u) << "decided before the reply ended";
          }
        },
        tls);
    ASSERT_TRUE(sendLogon<Tag>(all.running->manager, all.servers.back()->address(), *run));
    ASSERT_TRUE(eventually([&] { return run->listener.count() >= kSuccess.size(); }));
  }
  all.running->manager.stop();
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(all.runs[i]->listener.calls(), kSuccess);
    EXPECT_EQ(posts[i].rfind("POST /kx2/login.php?user=demo HTTP/1.0\r\n", 0), 0u);
  }
}

TEST(LogonChannel, AReplyInPiecesIsDecidedOnceWhenTheServerClosesPlain) { expectPiecesGiveOneOutcome<Http>(false); }

TEST(LogonChannel, AReplyInPiecesIsDecidedOnceWhenTheServerClosesTls) { expectPiecesGiveOneOutcome<Https>(true); }

TEST(LogonChannel, RepliesInOnePiece) {
  struct Case {
    const char* name;
    std::string reply;
    std::vector<std::string> calls;  // "PORT" stands for the server's port
  } cases[] = {
      {"success", kHeader + kBody, kSuccess},
      {"401 refusal",
       "HTTP/1.0 401 Unauthorized\r\n\r\n<message>\r\nWrong login or password..\r\n</message>\r\n",
       {"onError Wrong login or password.. -1002"}},
      {"one-piece refusal", kHeader + "<error>Account is blocked..</error>", {"onError Account is blocked.. -1002"}},
      {"status 500", "HTTP/1.0 500 Internal Server Error\r\n\r\n", {"onError Internal Server Error -1001"}},
      {"header without a body", kHeader, {"onError Bad Server response -1001"}},
      {"closed before any reply", "", {"onError Connection closed by server (127.0.0.1:PORT) 0"}},
      {"closed inside the header", "HTTP/1.0 200 OK\r\n", {"onError Connection closed by server (127.0.0.1:PORT) 0"}},
  };
  Cases all;
  std::vector<std::vector<std::string>> expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogonRun& run = all.add(
        [&c](Peer& peer, LogonRun&) {
          readPost(peer);
          peer.write(c.reply);
        },
        false);
    expected.push_back(c.calls);
    for (std::string& call : expected.back()) {
      size_t at = call.find("PORT");
      if (at != std::string::npos) call.replace(at, 4, std::to_string(all.servers.back()->port()));
    }
    ASSERT_TRUE(sendLogon<Http>(all.running->manager, all.servers.back()->address(), run));
    ASSERT_TRUE(eventually([&] { return run.listener.count() >= expected.back().size(); }));
  }
  all.running->manager.stop();
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(all.runs[i]->listener.calls(), expected[i]);
  }
}

TEST(LogonChannel, ContentLengthDecidesBeforeTheCloseAndALaterResetTellsNothing) {
  LogCapture log(2);
  LogonRun run;
  LoopbackServer server([&](Peer& peer) {
    readPost(peer);
    peer.write("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kBody.size()) + "\r\n\r\n" + kBody);
    // The connection stays open until the outcome is known, then is reset.
    EXPECT_TRUE(eventually([&] { return run.listener.count() == kSuccess.size(); }));
    linger reset{1, 0};
    ::setsockopt(peer.socket(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  });
  RunningManager running;
  ASSERT_TRUE(sendLogon<Http>(running.manager, server.address(), run));
  ASSERT_TRUE(eventually([&] { return log.contains("file: src/wexel_http_logon, line 66"); }));
  running.manager.stop();
  EXPECT_EQ(run.listener.calls(), kSuccess);
  EXPECT_TRUE(log.contains(": 10054, file: src/wexel_http_logon, line 66"));
}

// A port on which nothing listens: bound, never listening.
struct RefusingPort {
  RefusingPort() {
    socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = LoopbackServer::loopback(0);
    ::bind(socket, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&a), &length);
    port = ntohs(a.sin_port);
  }
  ~RefusingPort() { ::close(socket); }
  int socket;
  int port;
};

TEST(LogonChannel, ConnectFailuresReportTheChannelError) {
  wexel::tlsStartup();
  RefusingPort refusing;
  const std::string where = " (127.0.0.1:" + std::to_string(refusing.port) + ")";
  const std::string refused = q3::socketErrorText(q3::kWsaEconnrefused);
  for (bool tls : {false, true}) {
    SCOPED_TRACE(tls ? "tls" : "plain");
    LogCapture log(2);
    LogonRun run;
    RunningManager running;
    sockaddr_in server = LoopbackServer::loopback(refusing.port);
    // TLS connects inside the call and fails it; plain fails on the I/O thread.
    bool sent = tls ? sendLogon<Https>(running.manager, server, run) : sendLogon<Http>(running.manager, server, run);
    EXPECT_EQ(sent, !tls);
    ASSERT_TRUE(eventually([&] { return run.listener.count() >= 1; }));
    running.manager.stop();
    EXPECT_EQ(run.listener.calls(), (std::vector<std::string>{"onError " + refused + where + " 10061"}));
    EXPECT_TRUE(log.contains("sockErr '" + refused + "': 10061, file: src/wexel_http_logon, line 66"));
  }
}

TEST(LogonChannel, AFailedTlsHandshakeReportsCode100) {
  wexel::tlsStartup();
  LogonRun run;
  LoopbackServer server([&](Peer& peer) { peer.write("HTTP/1.0 200 OK\r\n\r\nnot a TLS server\r\n"); });
  RunningManager running;
  EXPECT_FALSE(sendLogon<Https>(running.manager, server.address(), run));
  running.manager.stop();
  EXPECT_EQ(run.listener.calls(), (std::vector<std::string>{"onError Create SSL session failed (127.0.0.1:" +
                                                            std::to_string(server.port()) + ") 100"}));
}

// What the listener sees of the instance while it hears of the logon.
class InstanceWatchingListener : public RecordingLogonListener {
 public:
  explicit InstanceWatchingListener(wexel::WInstance& instance) : instance_(instance) {}
  void onLogon(const std::vector<wexel::WPortfolioEntry>& portfolios, const std::vector<std::string>& news,
               const std::vector<std::string>& exchanges) override {
    sockaddr_in data = instance_.dataEndpoint();
    connectedAtLogon = instance_.isConnected();
    dataEndpointAtLogon = q3::ipv4Text(data.sin_addr.s_addr) + ":" + std::to_string(ntohs(data.sin_port));
    RecordingLogonListener::onLogon(portfolios, news, exchanges);
  }
  std::atomic<bool> connectedAtLogon{false};
  std::string dataEndpointAtLogon;

 private:
  wexel::WInstance& instance_;
};

TEST(LogonInstance, TheInstanceLearnsTheOutcomeBeforeTheListenerAlsoForAReplyInPieces) {
  const std::string body =
      kBody + "\r\n<ProgUrl>\r\nhttp://10.0.0.5:8443/\r\n</ProgUrl>\r\n<ProgType>\r\nDDP\r\n</ProgType>\r\n";
  // The first piece ends at the session line's end.
  const std::string first = kHeader + body.substr(0, body.find("</cookie>"));
  const std::string rest = body.substr(body.find("</cookie>"));
  LoopbackServer server([&](Peer& peer) {
    readPost(peer);
    peer.write(first);
    // Read by the client on its own before the rest leaves.
    EXPECT_TRUE(eventually([&] { return wexel::statsSnapshot().bytesReceived == static_cast<int64_t>(first.size()); }));
    peer.write(rest);
  });
  wexel::WInstance instance(wexel::WInstanceConfig{});
  InstanceWatchingListener listener(instance);
  ASSERT_TRUE(instance.logonAndWait("127.0.0.1", static_cast<uint16_t>(server.port()), "demo", "demo", 10000, false,
                                    &listener));
  ASSERT_TRUE(eventually([&] { return listener.count() >= kSuccess.size(); }));
  instance.logout();
  EXPECT_EQ(listener.calls(), kSuccess);
  EXPECT_TRUE(listener.connectedAtLogon.load());
  EXPECT_EQ(listener.dataEndpointAtLogon, "10.0.0.5:8443");
}

}  // namespace
