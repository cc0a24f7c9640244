#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "channel_fixture.h"
#include "log_capture.h"
#include "loopback_server.h"

namespace {

using namespace wexel::testing;
using wexel::Http;
using wexel::sys::WSemaphore;

// Holds the connection open after sending `reply`, until the client closes.
LoopbackServer::Handler replyAndHold(const std::string& reply) {
  return [reply](Peer& peer) {
    peer.readUntil("\r\n\r\n");
    peer.write(reply);
    while (!peer.readSome(10000).empty()) {
    }
  };
}

// A GET whose reads wait at a gate, to hold a worker inside run().
class GatedGet : public TestGet<Http> {
 public:
  GatedGet(wexel::WConnectionManager* m, const sockaddr_in& a, Outcome* o, WSemaphore* gate, bool leaveFirst = false)
      : TestGet<Http>(m, a, o), gate_(gate), leaveFirst_(leaveFirst) {}
  bool receive() override {
    reads.fetch_add(1);
    if (leaveFirst_) manager()->unregisterChannel(this);
    gate_->wait(-1);
    return leaveFirst_ ? true : TestGet<Http>::receive();
  }
  std::atomic<int> reads{0};

 private:
  WSemaphore* gate_;
  bool leaveFirst_;
};

// A channel stays readable until its worker has read it. While the worker
// is held inside its read, the passes leave the channel alone: it is handed
// over once (busy count 1, one read), not again on every pass, which would
// tie up the other worker and spin the I/O thread.
TEST(ConnectionManager, AChannelAWorkerHoldsIsNotHandedOverAgain) {
  LoopbackServer server(replyAndHold("HTTP/1.0 200 OK\r\n\r\ndata"));
  Outcome outcome;
  WSemaphore gate(0);
  RunningManager running(nullptr, 2);
  auto* request = new GatedGet(&running.manager, server.address(), &outcome, &gate);
  ASSERT_TRUE(running.manager.sendRequest(request, false));
  ASSERT_TRUE(eventually([&] { return request->reads.load() == 1; }));
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(request->busyCount(), 1);
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(request->reads.load(), 1);
  gate.post();
  ASSERT_TRUE(eventually([&] { return outcome.bodyText() == "data"; }));
  ASSERT_TRUE(eventually([&] { return request->busyCount() == 0; }));
  for (int i = 0; i < 10; ++i) gate.post();  // the reads that find the server's close
}

// One pass polls at most 64 channels; with more open, those past the 64th
// must still be read (the passes take turns) rather than wait for ever.
TEST(ConnectionManager, ChannelsPastTheSixtyFourthOfOnePassAreServedToo) {
  LoopbackServer server(replyAndHold("HTTP/1.0 200 OK\r\n\r\ndata"));
  std::vector<std::unique_ptr<Outcome>> outcomes;  // outlive the manager, which deletes the requests
  RunningManager running(nullptr, 4);
  constexpr int kChannels = 80;
  for (int i = 0; i < kChannels; ++i) {
    outcomes.push_back(std::make_unique<Outcome>());
    ASSERT_TRUE(running.manager.sendRequest(new TestGet<Http>(&running.manager, server.address(), outcomes.back().get()), false));
  }
  const auto served = [&] {
    return std::count_if(outcomes.begin(), outcomes.end(), [](const auto& o) { return o->bodyText() == "data"; });
  };
  EXPECT_TRUE(eventually([&] { return served() == kChannels; })) << served() << " of " << kChannels << " read";
}

TEST(ConnectionManager, AChannelIsDeletedOnlyAfterItsWorkerReturned) {
  LoopbackServer server(replyAndHold("HTTP/1.0 200 OK\r\n\r\ndata"));
  Outcome outcome;
  WSemaphore gate(0);
  LogCapture log(5);
  RunningManager running;
  auto* request = new GatedGet(&running.manager, server.address(), &outcome, &gate, true);
  ASSERT_TRUE(running.manager.sendRequest(request, false));
  ASSERT_TRUE(eventually([&] { return request->reads.load() == 1; }));
  std::this_thread::sleep_for(200ms);  // forty passes of the garbage collector
  EXPECT_FALSE(outcome.deleted.load());
  EXPECT_FALSE(running.manager.isRegistered(request));
  gate.post();
  ASSERT_TRUE(eventually([&] { return outcome.deleted.load(); }));
  EXPECT_TRUE(log.contains("Garbage collect: release resource 0x"));
}

class KeptGet : public TestGet<Http> {
 public:
  using TestGet<Http>::TestGet;
  bool isCollectable() override { return false; }
};

TEST(ConnectionManager, StopClosesEveryChannelAndDeletesOnlyCollectableOnes) {
  LoopbackServer server(replyAndHold("HTTP/1.0 200 OK\r\n\r\n"));
  Outcome collected, kept;
  auto* manager = new wexel::WConnectionManager(nullptr, RunningManager::config(2));
  ASSERT_TRUE(manager->start());
  auto* first = new TestGet<Http>(manager, server.address(), &collected);
  auto* second = new KeptGet(manager, server.address(), &kept);
  ASSERT_TRUE(manager->sendRequest(first, false));
  ASSERT_TRUE(manager->sendRequest(second, false));
  ASSERT_TRUE(eventually([&] { return server.accepted() == 2; }));
  EXPECT_TRUE(manager->stop());
  EXPECT_TRUE(collected.deleted.load());
  EXPECT_FALSE(kept.deleted.load());
  EXPECT_EQ(second->socket(), -1);
  EXPECT_FALSE(second->isConnected());
  delete second;
  delete manager;
}

TEST(ConnectionManager, UnregisteringTwiceWarnsAndListsOnce) {
  LogCapture log(5);
  wexel::WConnectionManager manager(nullptr, RunningManager::config(1));
  Outcome outcome;
  auto* request = new TestGet<Http>(&manager, LoopbackServer::loopback(1), &outcome);
  manager.unregisterChannel(request);  // never registered: closed, collected, no unregister line
  manager.unregisterChannel(request);
  EXPECT_FALSE(log.contains("ConnectionManager unregister connection"));
  EXPECT_EQ(log.count("already in garbage collector"), 1u);
  manager.stop();
  EXPECT_TRUE(outcome.deleted.load());
}

TEST(ConnectionManager, CreateAndSendWithAFactoryThatGivesNothing) {
  struct NullFactory : wexel::WHttpRequestFactory {
    wexel::WHttpRequest* create(wexel::WConnectionManager*) override { return nullptr; }
  } factory;
  wexel::WConnectionManager manager(nullptr, RunningManager::config(1));
  wexel::WHttpRequest* created = reinterpret_cast<wexel::WHttpRequest*>(0x1);
  EXPECT_FALSE(manager.createAndSend(factory, &created, false));
  EXPECT_EQ(created, nullptr);
  EXPECT_EQ(manager.sessionParameters(), "");  // no owner yet
}

// A channel completing its connect takes itself and another channel out of
// the registry during the loop's walk; the walk must not touch either again.
class LeavingOnConnect : public TestGet<Http> {
 public:
  using TestGet<Http>::TestGet;
  bool onConnectReady() override {
    bool ok = TestGet<Http>::onConnectReady();
    if (other) manager()->unregisterChannel(other);
    manager()->unregisterChannel(this);
    return ok;
  }
  wexel::WHttpRequest* other = nullptr;
};

TEST(ConnectionManager, TheWalkStaysValidWhenChannelsLeaveDuringIt) {
  LoopbackServer server(replyAndHold("HTTP/1.0 200 OK\r\n\r\n"));
  for (int round = 0; round < 5; ++round) {
    Outcome first, second;
    RunningManager running;
    auto* bystander = new TestGet<Http>(&running.manager, server.address(), &second);
    ASSERT_TRUE(running.manager.sendRequest(bystander, true));
    auto* leaving = new LeavingOnConnect(&running.manager, server.address(), &first);
    leaving->other = bystander;
    ASSERT_TRUE(running.manager.sendRequest(leaving, true));
    ASSERT_TRUE(eventually([&] { return first.deleted.load() && second.deleted.load(); }));
  }
}

}  // namespace
