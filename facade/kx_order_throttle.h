// The order rate limit (maxOrdersPerSecond): N tokens, each one an order
// action spends coming back one second later, so that no second ever holds
// more than N actions, and a burst of N goes at once. Actions beyond that wait
// on the caller's thread, in the order they arrived; none is dropped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace kx {

class OrderThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  // 0 or less: no limit. Applies to actions that arrive after the call.
  void setRate(int perSecond);
  int rate() const;
  // How many actions wait for their turn now.
  uint64_t waiting() const;

  // Blocks until it is this action's turn and a token is free, then spends
  // it. False when cancel() ended the wait; *waited is the time spent waiting.
  bool acquire(Clock::duration* waited);
  // Ends every wait (the session is gone): those actions are not sent.
  void cancel();

  // When an action that finds `spent` (the times of the tokens spent, oldest
  // first) may go at `now` with `rate` tokens: now, or when the oldest token
  // comes back.
  static Clock::time_point nextSlot(const std::deque<Clock::time_point>& spent, int rate, Clock::time_point now);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int rate_ = 0;
  std::deque<Clock::time_point> spent_;  // at most rate_ entries, within the last second
  uint64_t nextTicket_ = 0;              // handed to each arriving action
  uint64_t serving_ = 0;                 // the ticket whose turn it is
  uint64_t generation_ = 0;              // bumped by cancel()
};

}  // namespace kx
