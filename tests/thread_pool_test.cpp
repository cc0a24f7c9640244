#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "core/wexel_sys.h"
#include "core/wexel_thread_pool.h"

namespace {

using namespace std::chrono_literals;
using wexel::WThreadPool;
using wexel::WWorkerTask;
using wexel::sys::WSemaphore;

// A task that blocks until released, and records that it ran.
class GateTask : public WWorkerTask {
 public:
  void run() override {
    started.fetch_add(1);
    WSemaphore* g = gate;
    if (g) g->wait(-1);
    runs.fetch_add(1);
  }
  WSemaphore* gate = nullptr;
  std::atomic<int> started{0};
  std::atomic<int> runs{0};
};

class OrderTask : public WWorkerTask {
 public:
  OrderTask(int id, std::vector<int>& order, std::mutex& m) : id_(id), order_(order), mutex_(m) {}
  void run() override {
    std::this_thread::sleep_for(1ms);
    std::lock_guard<std::mutex> hold(mutex_);
    order_.push_back(id_);
  }

 private:
  int id_;
  std::vector<int>& order_;
  std::mutex& mutex_;
};

template <typename Predicate>
bool eventually(Predicate p, std::chrono::milliseconds limit = 5s) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!p()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(Semaphore, TimeoutsAndUnlimitedWait) {
  WSemaphore s(1);
  int error = 5;
  EXPECT_TRUE(s.wait(0, &error));
  EXPECT_EQ(error, 0);
  EXPECT_FALSE(s.wait(10, &error));
  EXPECT_EQ(error, 0);
  std::thread poster([&] {
    std::this_thread::sleep_for(50ms);
    s.post();
  });
  EXPECT_TRUE(s.wait(-1));
  poster.join();
  WSemaphore broken(256);  // above the maximum: no semaphore
  EXPECT_FALSE(broken.wait(-1, &error));
  EXPECT_EQ(error, -1);
}

TEST(Mutex, IsRecursive) {
  wexel::sys::WMutex m;
  EXPECT_TRUE(m.lock());
  EXPECT_TRUE(m.lock());
  EXPECT_TRUE(m.unlock());
  EXPECT_TRUE(m.unlock());
}

TEST(ThreadRecord, StartsOnceAndJoins) {
  struct Body : wexel::sys::WRunnable {
    std::atomic<uint32_t> seen{0};
    void run(void* argument) override { seen = *static_cast<uint32_t*>(argument); }
  } body;
  uint32_t value = 42;
  wexel::sys::WThreadRecord record;
  EXPECT_TRUE(record.startThread(&body, &value));
  EXPECT_FALSE(record.startThread(&body, &value));
  EXPECT_TRUE(record.join());
  EXPECT_EQ(body.seen, 42u);
  EXPECT_NE(record.threadId, 0u);
  EXPECT_NE(record.threadId, wexel::sys::currentThreadId());
  wexel::sys::WThreadRecord never;
  EXPECT_TRUE(never.join());
}

TEST(ThreadPool, WorkerCountIsBroughtIntoRange) {
  EXPECT_EQ(WThreadPool(0).workerCount(), 1);
  EXPECT_EQ(WThreadPool(-3).workerCount(), 1);
  EXPECT_EQ(WThreadPool(7).workerCount(), 7);
  EXPECT_EQ(WThreadPool(1000).workerCount(), 255);
}

TEST(ThreadPool, FullRingBlocksTheEighthSubmitAndLosesNothing) {
  WThreadPool pool(7);
  pool.startWorkers();
  WSemaphore gate(0);
  std::vector<GateTask> busy(7), waiting(8);
  for (auto& t : busy) t.gate = &gate;
  for (auto& t : waiting) t.gate = &gate;
  for (auto& t : busy) ASSERT_TRUE(pool.submit(&t));
  ASSERT_TRUE(eventually([&] {
    int n = 0;
    for (auto& t : busy) n += t.started;
    return n == 7;
  }));
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(pool.submit(&waiting[i]));
  std::atomic<bool> eighthDone{false};
  std::thread submitter([&] {
    EXPECT_TRUE(pool.submit(&waiting[7]));
    eighthDone = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(eighthDone.load());
  for (int i = 0; i < 15; ++i) gate.post();
  submitter.join();
  ASSERT_TRUE(eventually([&] {
    int n = 0;
    for (auto& t : waiting) n += t.runs;
    for (auto& t : busy) n += t.runs;
    return n == 15;
  }));
  for (auto& t : waiting) EXPECT_EQ(t.runs, 1);
  pool.stopWorkers();
}

TEST(ThreadPool, RefusedDuplicatesKeepTheFreeSlots) {
  WThreadPool pool(7);
  pool.startWorkers();
  WSemaphore gate(0);
  std::vector<GateTask> busy(7), waiting(7);
  for (auto& t : busy) t.gate = &gate;
  for (auto& t : busy) ASSERT_TRUE(pool.submit(&t));
  ASSERT_TRUE(eventually([&] {
    int n = 0;
    for (auto& t : busy) n += t.started;
    return n == 7;
  }));
  ASSERT_TRUE(pool.submit(&waiting[0]));
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(pool.submit(&waiting[0]));
  for (int i = 1; i < 7; ++i) EXPECT_TRUE(pool.submit(&waiting[i]));  // would block if slots leaked
  for (int i = 0; i < 7; ++i) gate.post();
  ASSERT_TRUE(eventually([&] {
    int n = 0;
    for (auto& t : waiting) n += t.runs;
    return n == 7;
  }));
  pool.stopWorkers();
}

TEST(ThreadPool, OneWorkerRunsStrictlyInOrder) {
  WThreadPool pool(1);
  pool.startWorkers();
  std::vector<int> order;
  std::mutex m;
  std::vector<std::unique_ptr<OrderTask>> tasks;
  for (int i = 0; i < 20; ++i) tasks.push_back(std::make_unique<OrderTask>(i, order, m));
  for (auto& t : tasks) ASSERT_TRUE(pool.submit(t.get()));
  ASSERT_TRUE(eventually([&] {
    std::lock_guard<std::mutex> hold(m);
    return order.size() == 20;
  }));
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], i);
  pool.stopWorkers();
}

TEST(ThreadPool, StopWhileIdleReturnsWithinAboutASecondAndDropsWaitingTasks) {
  WThreadPool pool(3);
  pool.startWorkers();
  auto begin = std::chrono::steady_clock::now();
  pool.stopWorkers();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 1500ms);
  EXPECT_FALSE(pool.isRunning());
  GateTask late;
  EXPECT_FALSE(pool.submit(&late));  // a stopped pool refuses
  EXPECT_EQ(late.runs, 0);
}

}  // namespace
