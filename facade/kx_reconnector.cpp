#include "kx_reconnector.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <random>

#include "wexel/wexel_teardown.h"

namespace kx {

struct Reconnector::State {
  explicit State(Attempt a) : attempt(std::move(a)) {}

  const Attempt attempt;
  mutable std::mutex mutex;
  std::condition_variable changed;
  std::optional<std::chrono::steady_clock::time_point> due;  // the next attempt
  bool attempting = false;
  bool stopped = false;   // until the next schedule
  bool finished = false;  // the owner is gone: the thread ends
  int failures = 0;       // attempts since the last success
  Plan plan;
  std::mt19937 random{std::random_device{}()};
};

Reconnector::Reconnector(Attempt attempt) : state_(std::make_shared<State>(std::move(attempt))) {}

Reconnector::~Reconnector() {
  {
    std::lock_guard<std::mutex> hold(state_->mutex);
    state_->finished = true;
    state_->due.reset();
    state_->changed.notify_all();
  }
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    // The attempt dropped the owner's last reference: this thread ends once
    // the attempt returns, and a teardown thread (joined at unload) joins it.
    wexel::deferTeardown([thread = std::make_shared<std::thread>(std::move(thread_))] { thread->join(); });
  } else {
    thread_.join();
  }
}

std::chrono::milliseconds Reconnector::delayAfter(const Plan& plan, int failures, double jitter) {
  const int64_t first = std::max(plan.delayMs, 1);
  const int64_t most = std::max<int64_t>(plan.maxDelayMs, first);
  int64_t delay = first;
  for (int i = 0; i < failures && delay < most; ++i) delay *= 2;
  delay = std::min(delay, most);
  return std::chrono::milliseconds(delay + static_cast<int64_t>(static_cast<double>(delay) * 0.25 * jitter));
}

std::chrono::milliseconds Reconnector::schedule(const Plan& plan) {
  std::lock_guard<std::mutex> hold(state_->mutex);
  if (state_->finished || state_->due) return std::chrono::milliseconds::zero();
  state_->stopped = false;
  state_->plan = plan;
  const double jitter = std::uniform_real_distribution<double>(0.0, 1.0)(state_->random);
  const std::chrono::milliseconds delay = delayAfter(plan, state_->failures, jitter);
  state_->due = std::chrono::steady_clock::now() + delay;
  ++state_->failures;
  if (!thread_.joinable()) thread_ = std::thread(run, state_);
  state_->changed.notify_all();
  return delay;
}

void Reconnector::succeeded() {
  std::lock_guard<std::mutex> hold(state_->mutex);
  state_->failures = 0;
}

void Reconnector::stop() {
  std::lock_guard<std::mutex> hold(state_->mutex);
  state_->stopped = true;
  state_->failures = 0;
  state_->due.reset();
  state_->changed.notify_all();
}

bool Reconnector::active() const {
  std::lock_guard<std::mutex> hold(state_->mutex);
  return !state_->stopped && (state_->due.has_value() || state_->attempting);
}

void Reconnector::run(std::shared_ptr<State> state) {
  std::unique_lock<std::mutex> hold(state->mutex);
  while (!state->finished) {
    if (!state->due) {
      state->changed.wait(hold);
      continue;
    }
    if (std::chrono::steady_clock::now() < *state->due) {
      state->changed.wait_until(hold, *state->due);
      continue;
    }
    state->due.reset();
    state->attempting = true;
    hold.unlock();
    state->attempt();  // may schedule the next one, or destroy the owner
    hold.lock();
    state->attempting = false;
  }
}

}  // namespace kx
