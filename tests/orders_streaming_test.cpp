// The streaming order channel against a server in the test that answers when
// the test says so: the pacing of one connection, the keep-alive limit, a
// reply without the order number, orders lost with their connection, and a
// stop with actions still queued.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "channel_fixture.h"
#include "loopback_server.h"
#include "orders/wexel_orders_streaming.h"
#include "wexel/wexel_errors.h"

namespace wexel {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackServer;
using testing::Peer;
using testing::RunningManager;
using testing::eventually;

class Recorder : public WexelOrderActionResultListener {
 public:
  void onActionResult(void*, const std::string&, const std::string&, const std::string&, int64_t orderNo,
                      const std::string& message, const std::string& action, WCookie cookie, WContext) override {
    add(action + " " + std::to_string(orderNo) + " " + std::to_string(cookie) + " [" + message + "]");
  }
  void onError(WCookie cookie, WContext, const std::string& message, int code) override {
    add("error " + std::to_string(cookie) + " " + std::to_string(code) + " " + message.substr(0, message.find(" (")));
  }
  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> hold(mutex_);
    return lines_;
  }
  size_t count() { return lines().size(); }

 private:
  void add(std::string line) {
    std::lock_guard<std::mutex> hold(mutex_);
    lines_.push_back(std::move(line));
  }
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

std::string orderReply(int64_t orderNo, WCookie cookie, const std::string& extraHeaders = "") {
  const std::string body = "<place-order></place-order>";
  return "HTTP/1.0 200 OK\r\nX-Order-NO: " + std::to_string(orderNo) + "\r\nX-Order-NO-EXT: " +
         std::to_string(cookie) + "\r\n" + extraHeaders + "Content-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

// The cookie a request carries as ext_order_id.
WCookie cookieOf(const std::string& request) {
  const size_t at = request.find("ext_order_id=");
  return at == std::string::npos ? 0 : static_cast<WCookie>(std::stoul(request.substr(at + 13)));
}

// Reads one GET request (up to its blank line) off the connection.
std::string nextRequest(Peer& peer, std::string& pending, int timeoutMs = 5000) {
  while (pending.find("\r\n\r\n") == std::string::npos) {
    const std::string more = peer.readSome(timeoutMs);
    if (more.empty()) return {};
    pending += more;
  }
  const size_t end = pending.find("\r\n\r\n") + 4;
  std::string request = pending.substr(0, end);
  pending.erase(0, end);
  return request;
}

WPlaceOrderFields order(WCookie cookie) {
  WPlaceOrderFields o;
  o.portfolio = "P1";
  o.exchange = "MB";
  o.security = "SEC1";
  o.action = 1;
  o.type = 2;
  o.validity = 1;
  o.price = 100;
  o.amount = 1;
  o.cookie = cookie;
  return o;
}

struct Channel {
  explicit Channel(const sockaddr_in& server, Recorder* listener) {
    factory.setEndpoint(server);
    factory.setListener(listener);
  }
  ~Channel() { factory.releaseChannel(&running.manager); }
  WStreamingOrdersRequest* get() { return factory.channelFor(&running.manager); }

  RunningManager running;
  WOrdersStreamingRequestFactory factory;
};

// The first request of a connection goes at once; the second waits for the
// first reply; the third follows the second without waiting.
TEST(OrdersStreaming, TheSecondRequestWaitsForTheFirstReplyTheThirdDoesNot) {
  std::vector<std::string> seen;
  std::mutex seenMutex;
  LoopbackServer server([&](Peer& peer) {
    std::string pending;
    const std::string first = nextRequest(peer, pending);
    const std::string early = nextRequest(peer, pending, 300);  // nothing may come before the first reply
    peer.write(orderReply(1001, cookieOf(first)));
    const std::string second = early.empty() ? nextRequest(peer, pending) : early;
    const std::string third = nextRequest(peer, pending, 2000);  // no reply to the second yet
    {
      std::lock_guard<std::mutex> hold(seenMutex);
      seen = {first, early, second, third};
    }
    peer.write(orderReply(1002, cookieOf(second)) + orderReply(1003, cookieOf(third)));
    peer.readSome(5000);
  });
  Recorder listener;
  Channel channel(server.address(), &listener);
  for (WCookie cookie : {1u, 2u, 3u}) EXPECT_TRUE(channel.get()->place(order(cookie)));
  ASSERT_TRUE(eventually([&] { return listener.count() == 3; }));
  std::lock_guard<std::mutex> hold(seenMutex);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[1], "") << "the second request left before the first reply";
  EXPECT_EQ(cookieOf(seen[0]), 1u);
  EXPECT_EQ(cookieOf(seen[2]), 2u);
  EXPECT_EQ(cookieOf(seen[3]), 3u);
  EXPECT_NE(seen[0].find("GET /kx2/place-order.php?portfolio=P1&exchange=MB&security=SEC1&action=BUY"), std::string::npos);
  EXPECT_NE(seen[0].find("\r\nConnection: Keep-Alive\r\n"), std::string::npos);
  EXPECT_EQ(listener.lines(), (std::vector<std::string>{"place-order 1001 1 []", "place-order 1002 2 []",
                                                        "place-order 1003 3 []"}));
  EXPECT_EQ(server.accepted(), 1);
}

// With max=3 from the server, two requests go on a connection; the third
// waits for both replies, then goes on a new connection.
TEST(OrdersStreaming, TheKeepAliveLimitOpensANewConnection) {
  std::atomic<int> requests{0};
  LoopbackServer server([&](Peer& peer) {
    std::string pending;
    for (int i = 0; i < 3; ++i) {
      const std::string request = nextRequest(peer, pending);
      if (request.empty()) return;
      const int n = requests.fetch_add(1) + 1;
      peer.write(orderReply(2000 + n, cookieOf(request), "Keep-Alive: timeout=5, max=3\r\nConnection: Keep-Alive\r\n"));
    }
  });
  Recorder listener;
  Channel channel(server.address(), &listener);
  for (WCookie cookie : {1u, 2u, 3u}) channel.get()->place(order(cookie));
  ASSERT_TRUE(eventually([&] { return listener.count() == 3; }));
  EXPECT_EQ(server.accepted(), 2);
  EXPECT_EQ(listener.lines(), (std::vector<std::string>{"place-order 2001 1 []", "place-order 2002 2 []",
                                                        "place-order 2003 3 []"}));
}

// A reply without X-Order-NO names the order of the reply before it; moves on
// the channel are never forced.
TEST(OrdersStreaming, AReplyWithoutTheOrderNumberKeepsTheLastOne) {
  std::string moveRequest;
  std::mutex mutex;
  LoopbackServer server([&](Peer& peer) {
    std::string pending;
    nextRequest(peer, pending);
    peer.write(orderReply(3001, 1));
    const std::string move = nextRequest(peer, pending);
    {
      std::lock_guard<std::mutex> hold(mutex);
      moveRequest = move;
    }
    peer.write("HTTP/1.0 200 OK\r\nContent-Length: 29\r\n\r\n<move-order>Too late</move-o");
    peer.readSome(5000);
  });
  Recorder listener;
  Channel channel(server.address(), &listener);
  channel.get()->place(order(1));
  channel.get()->move("P1", 3001, 99.5);
  ASSERT_TRUE(eventually([&] { return listener.count() == 2; }));
  EXPECT_EQ(listener.lines()[1], "move-order 3001 1 [Too late]");
  std::lock_guard<std::mutex> hold(mutex);
  EXPECT_NE(moveRequest.find("GET /kx2/move-order.php?portfolio=P1&orderno=3001&price=99.500000&forced=0&"),
            std::string::npos);
}

// A connection that closes with requests unanswered: each of them is reported
// with its cookie; the next action opens a new connection.
TEST(OrdersStreaming, OrdersLostWithTheirConnectionAreReportedAndTheNextOneReconnects) {
  std::atomic<int> connections{0};
  LoopbackServer server([&](Peer& peer) {
    std::string pending;
    const int n = connections.fetch_add(1);
    const std::string request = nextRequest(peer, pending);
    if (n == 0) return;  // read the first order, close without a reply
    peer.write(orderReply(4001, cookieOf(request)));
    peer.readSome(5000);
  });
  Recorder listener;
  Channel channel(server.address(), &listener);
  channel.get()->place(order(41));
  ASSERT_TRUE(eventually([&] { return listener.count() == 1; }));
  EXPECT_EQ(listener.lines()[0], std::string("error 41 0 ") + kTextClosedBeforeReply);
  channel.get()->place(order(42));
  ASSERT_TRUE(eventually([&] { return listener.count() == 2; }));
  EXPECT_EQ(listener.lines()[1], "place-order 4001 42 []");
  EXPECT_EQ(server.accepted(), 2);
}

// Stopping the channel while its thread waits for a reply that never comes
// returns at once; what was queued is dropped.
TEST(OrdersStreaming, ReleasingWithActionsQueuedNeverWaitsForTheServer) {
  LoopbackServer server([&](Peer& peer) { peer.readSome(3000); });  // reads, never answers
  Recorder listener;
  auto channel = std::make_unique<Channel>(server.address(), &listener);
  for (WCookie cookie = 1; cookie <= 20; ++cookie) channel->get()->place(order(cookie));
  std::this_thread::sleep_for(100ms);
  const auto start = std::chrono::steady_clock::now();
  channel.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
}

}  // namespace
}  // namespace wexel
