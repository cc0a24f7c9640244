// Fixed-size worker pool: the I/O thread submits tasks into a bounded ring,
// workers take them out and run them.
#pragma once

#include <memory>
#include <vector>

#include "core/wexel_sys.h"

namespace wexel {

class WWorkerTask {
 public:
  virtual void run() = 0;
  virtual ~WWorkerTask() = default;
};

class WThreadPool : public sys::WRunnable {
 public:
  static constexpr int kMinWorkers = 1;
  static constexpr int kMaxWorkers = sys::WSemaphore::kMaxCount;

  // A worker count outside 1..255 is clamped into that range: 0 would give a
  // ring without slots, more than 255 exceeds the semaphores' maximum.
  explicit WThreadPool(int workerCount);
  ~WThreadPool() override;

  static int clampWorkerCount(int requested);

  void startWorkers();
  // Worker body; the argument is the pool itself.
  void run(void* argument) override;
  // Waits for a free slot, then queues the task. False when the task is
  // already waiting in the ring (its slot is given back) or the wait failed.
  bool submit(WWorkerTask* task);
  // Stops and joins every worker; tasks still waiting are not run.
  void stopWorkers();
  bool isRunning();

  int workerCount() const { return workerCount_; }
  bool isWorkerThread(uint32_t threadId) const;

 private:
  int workerCount_;
  int slotCount_;
  int writeIndex_ = 0;
  int readIndex_ = 0;
  unsigned char running_ = 0;
  sys::WSemaphore waitingTasks_;
  sys::WSemaphore freeSlots_;
  sys::WMutex stateLock_;  // running_ and workers_
  sys::WMutex queueLock_;  // the ring and its indices
  std::vector<WWorkerTask*> ring_;
  std::vector<std::unique_ptr<sys::WThreadRecord>> workers_;
};

}  // namespace wexel
