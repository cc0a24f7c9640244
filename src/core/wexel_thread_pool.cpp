#include "core/wexel_thread_pool.h"

#include <algorithm>

namespace wexel {

namespace {
constexpr int kWorkerWakeMs = 1000;  // bounds how long a stop waits for an idle worker
}

int WThreadPool::clampWorkerCount(int requested) {
  return std::clamp(requested, kMinWorkers, kMaxWorkers);
}

WThreadPool::WThreadPool(int workerCount)
    : workerCount_(clampWorkerCount(workerCount)),
      slotCount_(workerCount_),
      waitingTasks_(0),
      freeSlots_(slotCount_),
      ring_(static_cast<size_t>(slotCount_), nullptr) {}

WThreadPool::~WThreadPool() { stopWorkers(); }

void WThreadPool::startWorkers() {
  {
    sys::WLock hold(stateLock_);
    running_ = 1;
  }
  for (int i = 0; i < workerCount_; ++i) {
    auto record = std::make_unique<sys::WThreadRecord>();
    record->startThread(this, this);  // a failed start leaves the record unstarted
    workers_.push_back(std::move(record));
  }
}

bool WThreadPool::isWorkerThread(uint32_t threadId) const {
  return std::any_of(workers_.begin(), workers_.end(),
                     [threadId](const auto& w) { return w->started && w->threadId == threadId; });
}

bool WThreadPool::isRunning() {
  sys::WLock hold(stateLock_);
  return running_ != 0;
}

bool WThreadPool::submit(WWorkerTask* task) {
  // A stopped pool refuses: nobody would take the task, and with a full ring
  // the wait below would never end.
  if (!isRunning() || !freeSlots_.wait(-1)) return false;
  sys::WLock hold(queueLock_);
  if (std::find(ring_.begin(), ring_.end(), task) != ring_.end()) {
    freeSlots_.post();
    return false;
  }
  ring_[static_cast<size_t>(writeIndex_)] = task;
  writeIndex_ = (writeIndex_ + 1) % slotCount_;
  waitingTasks_.post();
  return true;
}

void WThreadPool::run(void*) {
  while (isRunning()) {
    if (!waitingTasks_.wait(kWorkerWakeMs)) continue;
    WWorkerTask* task = nullptr;
    {
      sys::WLock hold(queueLock_);
      task = ring_[static_cast<size_t>(readIndex_)];
      ring_[static_cast<size_t>(readIndex_)] = nullptr;
      readIndex_ = (readIndex_ + 1) % slotCount_;
      freeSlots_.post();
    }
    if (task) task->run();
  }
}

void WThreadPool::stopWorkers() {
  {
    sys::WLock hold(stateLock_);
    running_ = 0;
  }
  for (auto& worker : workers_) worker->join();
  workers_.clear();
}

}  // namespace wexel
