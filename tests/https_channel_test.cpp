#include <gtest/gtest.h>

#include "channel_fixture.h"
#include "log_capture.h"
#include "loopback_server.h"
#include "net/wexel_https_request.h"
#include "core/wexel_statistics.h"

namespace {

using namespace wexel::testing;
using wexel::Https;

class HttpsChannel : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(wexel::tlsStartup()); }
};

TEST_F(HttpsChannel, SelfSignedServerWarnsAndDataFlowsBlockingAndAsync) {
  for (bool async : {false, true}) {
    std::string received;
    LoopbackServer server([&](Peer& peer) {
      received = peer.readUntil("\r\n\r\n");
      peer.write("HTTP/1.0 200 OK\r\n\r\nsecret");
      SSL_shutdown(peer.ssl());
    }, true);
    LogCapture log(6);
    wexel::statsReset();
    Outcome outcome;
    {
      RunningManager running;
      auto* request = new TestGet<Https>(&running.manager, server.address(), &outcome);
      ASSERT_TRUE(running.manager.sendRequest(request, async));
      ASSERT_TRUE(eventually([&] { return outcome.errorCount() == 1; }));
      EXPECT_EQ(outcome.firstError(), std::make_pair(0, std::string("Connection closed by server"))) << async;
      EXPECT_EQ(outcome.bodyText(), "secret") << async;
      ASSERT_TRUE(eventually([&] { return outcome.deleted.load(); }));
    }
    EXPECT_EQ(received.rfind("GET /kx2/t?a=1& HTTP/1.0\r\n", 0), 0u) << received;
    EXPECT_TRUE(log.contains("not valid, code 18..")) << async;
    EXPECT_TRUE(log.contains("Certificate info: /O=kexsim/CN=127.0.0.1")) << async;
    EXPECT_TRUE(log.contains("SSL handshake for channel 0x")) << async;
    EXPECT_TRUE(log.contains("Https channel 0x")) << async;
    auto stats = wexel::statsSnapshot();
    EXPECT_EQ(stats.tlsConnections, 0);  // one handshake, one close
    EXPECT_EQ(stats.bytesReceived, 25);
  }
}

TEST_F(HttpsChannel, HandshakeAgainstAPlainServerFailsWithCode100) {
  for (bool async : {false, true}) {
    LoopbackServer server([](Peer& peer) {
      peer.readSome();
      peer.write("HTTP/1.0 400 Bad Request\r\n\r\n");
    });
    LogCapture log(6);
    Outcome outcome;
    RunningManager running;
    auto* request = new TestGet<Https>(&running.manager, server.address(), &outcome);
    EXPECT_EQ(running.manager.sendRequest(request, async), async);
    ASSERT_TRUE(eventually([&] { return outcome.errorCount() >= 1; }));
    EXPECT_EQ(outcome.firstError(), std::make_pair(100, std::string("Create SSL session failed"))) << async;
    EXPECT_TRUE(log.contains("Create SSL session failed for channel 0x")) << async;
    ASSERT_TRUE(eventually([&] { return outcome.deleted.load(); }));
  }
}

TEST_F(HttpsChannel, TcpCloseWithoutCloseAlertIsAnUnexpectedClose) {
  LoopbackServer server([](Peer& peer) {
    peer.readUntil("\r\n\r\n");
    peer.write("HTTP/1.0 200 OK\r\n\r\npart");
  }, true);  // the server frees its TLS object without a close alert
  Outcome outcome;
  RunningManager running;
  ASSERT_TRUE(running.manager.sendRequest(new TestGet<Https>(&running.manager, server.address(), &outcome), false));
  ASSERT_TRUE(eventually([&] { return outcome.errorCount() == 1; }));
  EXPECT_EQ(outcome.firstError(), std::make_pair(0, std::string("Connection unexpected closed by server")));
  EXPECT_EQ(outcome.bodyText(), "part");
}

// Many small records arrive while a worker still parses: bytes OpenSSL already
// decrypted must not wait for the socket to turn readable again.
TEST_F(HttpsChannel, BufferedTlsBytesAreReadWithoutFurtherTraffic) {
  std::string body(20000, 'q');
  LoopbackServer server([&](Peer& peer) {
    peer.readUntil("\r\n\r\n");
    peer.write("HTTP/1.0 200 OK\r\n\r\n" + body);
    peer.readSome(3000);  // no more traffic, no close
  }, true);
  Outcome outcome;
  RunningManager running;
  ASSERT_TRUE(running.manager.sendRequest(new TestGet<Https>(&running.manager, server.address(), &outcome), false));
  EXPECT_TRUE(eventually([&] { return outcome.bodyText().size() == body.size(); }, 2s));
}

TEST_F(HttpsChannel, SendBeforeConnectedSendsNothing) {
  Outcome outcome;
  TestGet<Https> request(nullptr, LoopbackServer::loopback(1), &outcome);
  request.format("x");
  EXPECT_FALSE(request.sendBuffer());
}

}  // namespace
