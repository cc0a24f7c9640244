// The order rate limit on its own: when an action may go, and that a closed
// session ends every wait without sending.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "kx_order_throttle.h"

namespace kx {
namespace {

using Clock = OrderThrottle::Clock;
using std::chrono::milliseconds;

TEST(OrderThrottle, AnActionGoesOnceFewerThanRateTokensWereSpentWithinTheLastSecond) {
  const Clock::time_point t0{};
  struct Case {
    std::vector<int> spentMs;
    int rate;
    int nowMs;
    int slotMs;
  };
  const Case cases[] = {
      {{}, 2, 0, 0},              // nothing spent
      {{0}, 2, 10, 10},           // a token left
      {{0, 5}, 2, 10, 1000},      // both spent: the oldest comes back
      {{0, 5}, 2, 1200, 1200},    // already back
      {{0, 5, 1000}, 2, 1001, 1005},  // the oldest of the last two
      {{0, 5}, 0, 10, 10},        // no limit
  };
  for (const Case& c : cases) {
    std::deque<Clock::time_point> spent;
    for (int ms : c.spentMs) spent.push_back(t0 + milliseconds(ms));
    EXPECT_EQ(OrderThrottle::nextSlot(spent, c.rate, t0 + milliseconds(c.nowMs)), t0 + milliseconds(c.slotMs))
        << c.spentMs.size() << " spent, now " << c.nowMs;
  }
}

TEST(OrderThrottle, CancelEndsEveryWaitWithoutSpendingAndLaterActionsGoOn) {
  OrderThrottle throttle;
  throttle.setRate(1);
  Clock::duration waited;
  ASSERT_TRUE(throttle.acquire(&waited));  // the one token of this second
  std::atomic<int> refused{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      Clock::duration w;
      if (!throttle.acquire(&w)) ++refused;
    });
  }
  while (throttle.waiting() < 3) std::this_thread::sleep_for(milliseconds(1));
  throttle.cancel();
  for (std::thread& t : waiters) t.join();
  EXPECT_EQ(refused.load(), 3);
  throttle.setRate(0);
  ASSERT_TRUE(throttle.acquire(&waited));
  EXPECT_EQ(waited, Clock::duration::zero());
}

}  // namespace
}  // namespace kx
