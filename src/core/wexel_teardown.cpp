#include "wexel/wexel_teardown.h"

#include <list>
#include <mutex>
#include <thread>

namespace wexel {

namespace {

// The jobs' threads, joined by whoever waits (and at process exit).
class TeardownThreads {
 public:
  ~TeardownThreads() { waitAll(); }

  void start(std::function<void()> job) {
    std::lock_guard<std::mutex> hold(mutex_);
    threads_.emplace_back(std::move(job));
  }

  void waitAll() {
    for (;;) {
      std::thread next;
      {
        std::lock_guard<std::mutex> hold(mutex_);
        if (threads_.empty()) return;
        next = std::move(threads_.front());
        threads_.pop_front();
      }
      if (next.joinable()) next.join();
    }
  }

 private:
  std::mutex mutex_;  // threads_
  std::list<std::thread> threads_;
};

TeardownThreads& teardownThreads() {
  static TeardownThreads threads;
  return threads;
}

}  // namespace

void deferTeardown(std::function<void()> job) { teardownThreads().start(std::move(job)); }

void waitForTeardowns() { teardownThreads().waitAll(); }

}  // namespace wexel
