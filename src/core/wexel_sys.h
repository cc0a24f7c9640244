// Concurrency primitives of the client library: a recursive lock, a counting
// semaphore, a thread body interface and the record of one started thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace wexel::sys {

// Recursive lock: the holder may lock again and must unlock as often.
class WMutex {
 public:
  WMutex() = default;
  virtual ~WMutex() = default;
  WMutex(const WMutex&) = delete;
  WMutex& operator=(const WMutex&) = delete;

  virtual bool lock();
  virtual bool unlock();

 private:
  std::recursive_mutex mutex_;
};

// Scoped holder of a WMutex.
class WLock {
 public:
  explicit WLock(WMutex& mutex) : mutex_(mutex) { mutex_.lock(); }
  ~WLock() { mutex_.unlock(); }
  WLock(const WLock&) = delete;
  WLock& operator=(const WLock&) = delete;

 private:
  WMutex& mutex_;
};

// Counting semaphore with a maximum count of 255.
class WSemaphore {
 public:
  static constexpr int kMaxCount = 255;

  explicit WSemaphore(int initialCount);
  virtual ~WSemaphore() = default;
  WSemaphore(const WSemaphore&) = delete;
  WSemaphore& operator=(const WSemaphore&) = delete;

  // Takes one count. timeoutMs < 0 waits without limit. True when a count was
  // taken (error 0); false on timeout (error 0) or without a semaphore (error -1).
  virtual bool wait(int timeoutMs, int* error = nullptr);
  // Adds one count (never above the maximum); answers true.
  virtual bool post();

  bool isValid() const { return valid_; }

 private:
  bool valid_ = true;
  int count_ = 0;
  std::mutex mutex_;  // count_
  std::condition_variable available_;
};

class WRunnable {
 public:
  virtual void run(void* argument) = 0;
  virtual ~WRunnable() = default;
};

// One started thread. Not copyable: the native thread belongs to the record.
struct WThreadRecord {
  uint64_t handle = 0;    // native pthread handle
  uint32_t threadId = 0;  // kernel id of the started thread
  int32_t started = 0;

  WThreadRecord() = default;
  WThreadRecord(const WThreadRecord&) = delete;
  WThreadRecord& operator=(const WThreadRecord&) = delete;
  ~WThreadRecord();

  // Starts runnable->run(argument) on a new thread; false when this record has
  // already started one or the thread cannot be created. Answers the started flag.
  bool startThread(WRunnable* runnable, void* argument);
  // Waits without limit for the thread to end; at once when none was started.
  bool join();

 private:
  std::thread thread_;
};

uint32_t currentThreadId();
void sleepMs(uint32_t milliseconds);

}  // namespace wexel::sys
