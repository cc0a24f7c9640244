#include "kxcli_board.h"

#include <pthread.h>
#include <signal.h>

#include <unistd.h>

#include <atomic>
#include <thread>

namespace kxcli {

// The waiter is woken only when its condition now holds: waking it for
// every quote of a stream cost a context switch per event.
void EventBoard::record(const std::string& event, const Line& line) {
  bool settled = false;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    ++counts_[event];
    if (watcher_) watcher_(event, line);
    settled = waiting_ && (*waiting_)();
  }
  if (settled) changed_.notify_all();
}

void EventBoard::setWatcher(Watcher watcher) {
  std::lock_guard<std::mutex> hold(mutex_);
  watcher_ = std::move(watcher);
}

void EventBoard::stop() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
}

bool EventBoard::stopped() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return stopped_;
}

void EventBoard::withLock(const std::function<void()>& read) const {
  std::lock_guard<std::mutex> hold(mutex_);
  read();
}

size_t EventBoard::countLocked(const std::string& event) const {
  auto found = counts_.find(event);
  return found == counts_.end() ? 0 : found->second;
}

EventBoard::Outcome EventBoard::waitUntil(const std::function<bool()>& done,
                                          std::optional<std::chrono::duration<double>> limit) {
  std::unique_lock<std::mutex> hold(mutex_);
  auto settled = [&] { return stopped_ || done(); };
  waiting_ = &done;
  struct Leave {
    const std::function<bool()>*& waiting;
    ~Leave() { waiting = nullptr; }
  } leave{waiting_};
  if (limit) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(*limit);
    if (!changed_.wait_until(hold, deadline, settled)) return Outcome::kTimeout;
  } else {
    changed_.wait(hold, settled);
  }
  return done() ? Outcome::kDone : Outcome::kStopped;
}

// ---- signals ---------------------------------------------------------------------

namespace {

constexpr int kInterruptedStatus = 130;

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

struct SignalWatcher::State {
  std::atomic<bool> leaving{false};
  std::thread thread;
};

void SignalWatcher::blockSignals() {
  const sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatcher::SignalWatcher(EventBoard& board) : state_(new State) {
  blockSignals();
  state_->thread = std::thread([this, &board] {
    const sigset_t set = stopSignals();
    for (;;) {
      int received = 0;
      sigwait(&set, &received);
      if (state_->leaving) return;
      if (board.stopped()) _exit(kInterruptedStatus);
      board.stop();
    }
  });
}

// The watcher thread is woken with a signal of its own set, addressed to it.
SignalWatcher::~SignalWatcher() {
  state_->leaving = true;
  pthread_kill(state_->thread.native_handle(), SIGTERM);
  state_->thread.join();
  delete state_;
}

}  // namespace kxcli
