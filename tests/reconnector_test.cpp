// The reconnect timer on its own: the backoff, an attempt after the delay,
// stop ending a wait, and an owner destroyed by its own attempt.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "kx_reconnector.h"
#include "wexel/wexel_teardown.h"

namespace kx {
namespace {

using std::chrono::milliseconds;

TEST(Reconnector, TheDelayDoublesAfterEachFailureUpToTheMaximumPlusAQuarterAtMost) {
  const Reconnector::Plan plan{100, 1000};
  const struct {
    int failures;
    double jitter;
    int ms;
  } cases[] = {{0, 0.0, 100}, {1, 0.0, 200}, {3, 0.0, 800}, {4, 0.0, 1000}, {40, 0.0, 1000},
               {0, 0.999, 124}, {4, 0.5, 1125}};
  for (const auto& c : cases) {
    EXPECT_EQ(Reconnector::delayAfter(plan, c.failures, c.jitter), milliseconds(c.ms)) << c.failures;
  }
  EXPECT_EQ(Reconnector::delayAfter({0, 0}, 3, 0.0), milliseconds(1));  // nonsense settings still wait
}

struct Attempts {
  std::mutex mutex;
  std::condition_variable changed;
  int count = 0;
  void add() {
    std::lock_guard<std::mutex> hold(mutex);
    ++count;
    changed.notify_all();
  }
  bool waitFor(int n, milliseconds limit = milliseconds(5000)) {
    std::unique_lock<std::mutex> hold(mutex);
    return changed.wait_for(hold, limit, [&] { return count >= n; });
  }
};

TEST(Reconnector, AnAttemptComesAfterTheDelayAndStopEndsAWait) {
  Attempts attempts;
  Reconnector reconnector([&] { attempts.add(); });
  reconnector.schedule({20, 100});
  EXPECT_TRUE(reconnector.active());
  ASSERT_TRUE(attempts.waitFor(1));
  reconnector.schedule({20, 100});  // that attempt failed: the next waits twice as long
  reconnector.schedule({20, 100});  // a second loss while one waits changes nothing
  ASSERT_TRUE(attempts.waitFor(2));
  reconnector.schedule({60000, 60000});
  reconnector.stop();
  EXPECT_FALSE(reconnector.active());
  EXPECT_FALSE(attempts.waitFor(3, milliseconds(100)));
}

TEST(Reconnector, AnOwnerDestroyedByItsOwnAttemptNeitherHangsNorRunsAgain) {
  struct Owner {
    std::unique_ptr<Reconnector> reconnector;
  };
  auto owner = std::make_shared<Owner>();
  std::atomic<int> runs{0};
  std::weak_ptr<Owner> weak = owner;
  std::shared_ptr<Owner>* last = new std::shared_ptr<Owner>(owner);
  owner->reconnector = std::make_unique<Reconnector>([&runs, last] {
    ++runs;
    delete last;  // the attempt drops the last reference: the owner and its timer go on this thread
  });
  owner->reconnector->schedule({1, 1});
  owner.reset();
  wexel::waitForTeardowns();  // joins the timer's thread, handed over when it was destroyed on it
  for (int i = 0; i < 500 && !weak.expired(); ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_TRUE(weak.expired());
  wexel::waitForTeardowns();
  EXPECT_EQ(runs.load(), 1);
}

}  // namespace
}  // namespace kx
