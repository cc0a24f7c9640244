// The server's stop request, which every wait of a serving thread watches.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kexsim {

class StopSignal {
 public:
  void raise() {
    std::lock_guard<std::mutex> lock(mutex_);
    raised_ = true;
    changed_.notify_all();
  }
  bool raised() const { return raised_; }
  // Sleeps for the given time; false when the stop came first.
  bool sleepFor(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_for(lock, duration, [this] { return raised_.load(); });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> raised_{false};
};

}  // namespace kexsim
