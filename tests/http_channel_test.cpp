#include <gtest/gtest.h>

#include "channel_fixture.h"
#include "log_capture.h"
#include "loopback_server.h"
#include "core/wexel_statistics.h"

namespace {

using namespace wexel::testing;
using wexel::Http;
using wexel::WHttpRequest;

const std::string kOkReply = "HTTP/1.0 200 OK\r\n\r\nhello";

TEST(HttpChannel, GetRequestTextReplyAndServerClose) {
  wexel::setUserAgent("Quarnel3/3,0,137,4293");
  std::string received;
  LoopbackServer server([&](Peer& peer) {
    received = peer.readUntil("\r\n\r\n");
    peer.write(kOkReply);
  });
  FixedOwner owner;
  LogCapture log(6);
  Outcome outcome;
  {
    RunningManager running(&owner);
    auto* request = new TestGet<Http>(&running.manager, server.address(), &outcome);
    ASSERT_TRUE(running.manager.sendRequest(request, false));
    ASSERT_TRUE(eventually([&] { return outcome.errorCount() == 1; }));
    EXPECT_EQ(outcome.firstError(), std::make_pair(0, std::string("Connection closed by server")));
    EXPECT_FALSE(outcome.registeredAtError[0]);  // unregistered before the error is reported
    EXPECT_EQ(outcome.bodyText(), "hello");
    ASSERT_TRUE(eventually([&] { return outcome.deleted.load(); }));
    EXPECT_GT(owner.ticks.load(), 0);
  }
  std::string port = std::to_string(server.port());
  EXPECT_EQ(received, "GET /kx2/t?a=1&sid=S1 HTTP/1.0\r\nUser-Agent: Quarnel3/3,0,137,4293/wexel/2.1.0/1600/windows\r\n"
                      "Host: 127.0.0.1:" + port + "\r\n\r\n");
  for (const char* line : {"Trying connect to 127.0.0.1:", "socket connected OK..", "ConnectionManager registered new connection 0x",
                           "received bytes 24 OK...", "Parsed bytes 24 OK...", "closed by server...", "ConnectionManager unregister connection 0x",
                           "Destroying http channel..0x", "Garbage collect: release resource 0x"}) {
    EXPECT_TRUE(log.contains(line)) << line;
  }
}

TEST(HttpChannel, TextsFormattedBeforeAnAsyncConnectLeaveOnceAndInOrder) {
  std::string received;
  LoopbackServer server([&](Peer& peer) {
    received = peer.readUntil("THIRD\n");
    peer.write(kOkReply);
  });
  Outcome outcome;
  // The loop starts only after the texts are queued, so the connect cannot
  // complete before them.
  wexel::WConnectionManager manager(nullptr, RunningManager::config(2));
  auto* request = new TestGet<Http>(&manager, server.address(), &outcome);
  ASSERT_TRUE(manager.sendRequest(request, true));
  EXPECT_FALSE(request->isConnected());
  request->format("SECOND\n");
  request->sendOrQueue();
  request->format("THIRD\n");
  request->sendOrQueue();
  EXPECT_EQ(request->pendingPackets(), 3u);
  ASSERT_TRUE(manager.start());
  ASSERT_TRUE(eventually([&] { return outcome.errorCount() == 1; }));
  manager.stop();
  EXPECT_EQ(received.substr(received.find("\r\n\r\n") + 4), "SECOND\nTHIRD\n");
  EXPECT_EQ(received.find("GET "), 0u);
  EXPECT_EQ(received.find("GET ", 1), std::string::npos);
}

TEST(HttpChannel, ConnectToAClosedPortReportsTheWindowsErrorNumber) {
  sockaddr_in closed = LoopbackServer::loopback(1);
  for (bool async : {false, true}) {
    Outcome outcome;
    RunningManager running;
    auto* request = new TestGet<Http>(&running.manager, closed, &outcome);
    bool sent = running.manager.sendRequest(request, async);
    EXPECT_EQ(sent, async);  // an async connect fails later, in the loop
    ASSERT_TRUE(eventually([&] { return outcome.errorCount() >= 1; })) << async;
    EXPECT_EQ(outcome.firstError(), std::make_pair(10061, std::string("Connection refused"))) << async;
    ASSERT_TRUE(eventually([&] { return outcome.deleted.load(); }));
  }
}

// A header that fills the buffer without its blank line fails as too long
// (the server closed nothing), and the channel goes.
TEST(HttpChannel, HeaderLongerThanTheBufferFailsAsTooLong) {
  LoopbackServer server([&](Peer& peer) {
    peer.readUntil("\r\n\r\n");
    peer.write("HTTP/1.0 200 OK\r\nX-Long: " + std::string(9000, 'x') + "\r\n\r\n");
    peer.readSome(3000);  // keep the connection open: the client must close it
  });
  Outcome outcome;
  RunningManager running;
  ASSERT_TRUE(running.manager.sendRequest(new TestGet<Http>(&running.manager, server.address(), &outcome), false));
  ASSERT_TRUE(eventually([&] { return outcome.deleted.load(); }));
  EXPECT_EQ(outcome.parserErrorList(),
            (std::vector<std::pair<int, std::string>>{{wexel::kErrorMalformed, wexel::kTextHeaderTooLong}}));
  EXPECT_EQ(outcome.errorCount(), 0u);
  EXPECT_EQ(outcome.bodyText(), "");
}

TEST(HttpChannel, ABigTextLeavesWholeThroughShortSends) {
  const size_t size = 8u << 20;
  size_t got = 0;
  LoopbackServer server([&](Peer& peer) {
    std::this_thread::sleep_for(200ms);  // let the client's socket buffer fill up
    got = peer.readExactly(size).size();
    peer.write(kOkReply);
  });
  Outcome outcome;
  RunningManager running;
  auto* request = new TestGet<Http>(&running.manager, server.address(), &outcome);
  ASSERT_TRUE(request->connect(true, false));
  request->format("%s", std::string(size, 'z').c_str());
  EXPECT_TRUE(request->sendOrQueue());
  ASSERT_TRUE(eventually([&] { return outcome.errorCount() == 1; }, 20s));
  EXPECT_EQ(got, size);
}

TEST(HttpChannel, SendBufferGrowsByDoublingFrom256) {
  Outcome outcome;
  TestGet<Http> request(nullptr, LoopbackServer::loopback(1), &outcome);
  request.format("%s", std::string(256, 'a').c_str());
  EXPECT_EQ(request.sendCapacity(), 256u);
  EXPECT_EQ(request.sendText(), std::string(256, 'a'));
  request.format("%s", std::string(257, 'b').c_str());
  EXPECT_EQ(request.sendCapacity(), 512u);
  EXPECT_EQ(request.sendText(), std::string(257, 'b'));
}

TEST(HttpChannel, ClosingANeverConnectedChannelLowersThePlainCount) {
  wexel::statsReset();
  Outcome outcome;
  TestGet<Http> request(nullptr, LoopbackServer::loopback(1), &outcome);
  request.close();
  EXPECT_EQ(wexel::statsSnapshot().plainConnections, -1);
}

// A server that closes while the client keeps sending: close, read and send
// of one channel meet on three threads and nothing breaks. The request is
// kept by its owner (not collectable), as a feed's owner keeps it.
class OwnedGet : public TestGet<Http> {
 public:
  using TestGet<Http>::TestGet;
  bool isCollectable() override { return false; }
};

TEST(HttpChannel, CloseIsSafeAgainstConcurrentReadAndSend) {
  for (int round = 0; round < 4; ++round) {
    LoopbackServer server([&](Peer& peer) {
      peer.readUntil("\r\n\r\n");
      peer.write("HTTP/1.0 200 OK\r\n\r\n");
      peer.readSome(20);
    });
    Outcome outcome;
    OwnedGet* request = nullptr;
    {
      RunningManager running;
      request = new OwnedGet(&running.manager, server.address(), &outcome);
      ASSERT_TRUE(running.manager.sendRequest(request, false));
      std::atomic<bool> stop{false};
      std::thread sender([&] {
        while (!stop) {
          wexel::sys::WLock hold(request->sendLock());
          request->format("PING 1\n");
          request->sendOrQueue();
        }
      });
      ASSERT_TRUE(eventually([&] { return outcome.errorCount() >= 1; }));
      stop = true;
      sender.join();
    }
    EXPECT_EQ(request->socket(), -1);
    delete request;
  }
}

}  // namespace
