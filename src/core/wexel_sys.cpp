#include "core/wexel_sys.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <system_error>

#include "q3_kernel.h"

namespace wexel::sys {

bool WMutex::lock() {
  mutex_.lock();
  return true;
}

bool WMutex::unlock() {
  mutex_.unlock();
  return true;
}

WSemaphore::WSemaphore(int initialCount) {
  if (initialCount < 0 || initialCount > kMaxCount) {
    std::fputs("CreateSemaphore failed: Invalid argument\n", stderr);
    valid_ = false;
    return;
  }
  count_ = initialCount;
}

bool WSemaphore::wait(int timeoutMs, int* error) {
  if (error) *error = valid_ ? 0 : -1;
  if (!valid_) return false;
  std::unique_lock<std::mutex> hold(mutex_);
  auto ready = [this] { return count_ > 0; };
  if (timeoutMs < 0) {
    available_.wait(hold, ready);
  } else if (!available_.wait_for(hold, std::chrono::milliseconds(timeoutMs), ready)) {
    return false;
  }
  --count_;
  return true;
}

bool WSemaphore::post() {
  if (!valid_) return false;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (count_ < kMaxCount) ++count_;
  }
  available_.notify_one();
  return true;
}

WThreadRecord::~WThreadRecord() {
  if (thread_.joinable()) thread_.join();
}

bool WThreadRecord::startThread(WRunnable* runnable, void* argument) {
  if (started) return false;
  started = 1;
  std::atomic<uint32_t> id{0};
  try {
    thread_ = std::thread([runnable, argument, &id] {
      id.store(currentThreadId());
      id.notify_one();
      runnable->run(argument);
    });
  } catch (const std::system_error&) {
    started = 0;
    return false;
  }
  id.wait(0);
  threadId = id.load();
  handle = static_cast<uint64_t>(thread_.native_handle());
  return started != 0;
}

bool WThreadRecord::join() {
  if (thread_.joinable()) thread_.join();
  return true;
}

uint32_t currentThreadId() { return q3::kernelThreadId(); }

void sleepMs(uint32_t milliseconds) { q3::sleepMilliseconds(milliseconds); }

}  // namespace wexel::sys
