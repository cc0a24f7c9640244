#include "wexel/wexel_teardown.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace wexel {

namespace {

// Every job runs on a thread of its own (a job may wait for another job, so
// they cannot share one). A reaper thread joins the job threads in the order
// they started, each as soon as it ends, so finished threads do not pile up
// (their stacks stay mapped until they are joined). The reaper lives from the
// first job until waitAll, which joins it as well.
class TeardownThreads {
 public:
  void start(std::function<void()> job) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!reaper_.joinable()) {
      const unsigned generation = ++reaperGeneration_;
      reaper_ = std::thread([this, generation] { reap(generation); });
    }
    threads_.emplace_back([job = std::move(job)]() mutable {
      job();
      job = nullptr;  // the job's captures are released on its own thread
    });
    ++unjoined_;
    changed_.notify_all();
  }

  // Returns once every job started before or during the wait has ended and
  // its thread (and the reaper) has been joined. Never called on a job thread.
  void waitAll() {
    std::thread reaper;
    {
      std::unique_lock<std::mutex> hold(mutex_);
      changed_.wait(hold, [this] { return unjoined_ == 0; });
      stoppedGeneration_ = reaperGeneration_;
      reaper = std::move(reaper_);
      changed_.notify_all();
    }
    if (reaper.joinable()) reaper.join();
  }

 private:
  void reap(unsigned generation) {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
      changed_.wait(hold, [&] { return !threads_.empty() || stoppedGeneration_ >= generation; });
      if (threads_.empty()) return;  // stopped with nothing left to join
      std::thread next = std::move(threads_.front());
      threads_.pop_front();
      hold.unlock();
      next.join();
      hold.lock();
      --unjoined_;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;  // everything below
  std::condition_variable changed_;
  std::deque<std::thread> threads_;  // started, not yet taken by the reaper
  size_t unjoined_ = 0;              // started and not yet joined
  std::thread reaper_;
  unsigned reaperGeneration_ = 0;   // the reapers started so far
  unsigned stoppedGeneration_ = 0;  // reapers up to this one stop once idle
};

// Never destroyed: a worker thread may still hand over a teardown while the
// process exits (a host's last reference dropped at the end of a listener
// call), after static objects are gone; a destroyed object there was a
// use-after-free.
TeardownThreads& teardownThreads() {
  static TeardownThreads* const threads = new TeardownThreads;
  return *threads;
}

// At module unload and at process exit, nothing of the library's code may
// still run on a job thread once the module's static objects are destroyed.
struct WaitAtExit {
  ~WaitAtExit() { teardownThreads().waitAll(); }
} waitAtExit;

}  // namespace

void deferTeardown(std::function<void()> job) { teardownThreads().start(std::move(job)); }

void waitForTeardowns() { teardownThreads().waitAll(); }

}  // namespace wexel
