#include "kx_order_throttle.h"

namespace kx {

void OrderThrottle::setRate(int perSecond) {
  std::lock_guard<std::mutex> hold(mutex_);
  rate_ = perSecond > 0 ? perSecond : 0;
  spent_.clear();
  changed_.notify_all();
}

int OrderThrottle::rate() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return rate_;
}

uint64_t OrderThrottle::waiting() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return nextTicket_ - serving_;
}

OrderThrottle::Clock::time_point OrderThrottle::nextSlot(const std::deque<Clock::time_point>& spent, int rate,
                                                         Clock::time_point now) {
  if (rate <= 0 || spent.size() < static_cast<size_t>(rate)) return now;
  const Clock::time_point back = spent[spent.size() - static_cast<size_t>(rate)] + std::chrono::seconds(1);
  return back > now ? back : now;
}

bool OrderThrottle::acquire(Clock::duration* waited) {
  const Clock::time_point arrived = Clock::now();
  std::unique_lock<std::mutex> hold(mutex_);
  *waited = Clock::duration::zero();
  if (rate_ == 0) return true;
  const uint64_t ticket = nextTicket_++;
  const uint64_t generation = generation_;
  for (;;) {
    if (generation_ != generation) return false;
    const Clock::time_point now = Clock::now();
    if (rate_ == 0) break;
    if (serving_ == ticket) {
      const Clock::time_point slot = nextSlot(spent_, rate_, now);
      if (slot <= now) break;
      changed_.wait_until(hold, slot);
    } else {
      changed_.wait(hold);
    }
  }
  const Clock::time_point now = Clock::now();
  spent_.push_back(now);
  while (spent_.size() > static_cast<size_t>(rate_ > 0 ? rate_ : 0)) spent_.pop_front();
  ++serving_;
  changed_.notify_all();
  *waited = now - arrived;
  return true;
}

void OrderThrottle::cancel() {
  std::lock_guard<std::mutex> hold(mutex_);
  ++generation_;
  serving_ = nextTicket_;  // every waiting ticket is given up
  changed_.notify_all();
}

}  // namespace kx
