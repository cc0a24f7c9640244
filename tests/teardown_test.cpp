// Sessions stopped on one of their own threads (from inside a listener call)
// hand the stop to a teardown thread. Many such sessions in a row must leave
// the process as it was: every teardown thread joined, its stack unmapped.
#include <deque>

#include "channel_fixture.h"
#include "instance_fixture.h"
#include "process_usage.h"
#include "wexel/wexel_teardown.h"

namespace wexel::testing {
namespace {

enum class StopFrom { LogoutInsideAQuote, ReleaseInsideAQuote };

struct TeardownCase {
  const char* name;
  StopFrom stop;
};

class TeardownCycles : public InstanceTest, public ::testing::WithParamInterface<TeardownCase> {
 protected:
  // The teardown reaper runs from the first job on; started here so that
  // each cycle can wait for exactly the threads it started to end.
  void SetUp() override {
    InstanceTest::SetUp();
    deferTeardown([] {});
  }

  // Logs on, subscribes, and stops the session from inside its first quote;
  // returns once the session's threads have ended (two sessions never overlap).
  void cycle() {
    const long threadsBefore = process_usage::now().threads;
    WexelInstance* session = createInstance(WInstanceConfig{});
    ASSERT_TRUE(session->logonAndWait("127.0.0.1", server->plainPort(), "demo", "demo", 10000, false,
                                      &logonListener));
    QuotesRecorder& listener = listeners_.emplace_back();  // outlives the session's teardown
    const StopFrom stop = GetParam().stop;
    listener.onEachQuote = [&listener, session, stop] {
      if (listener.count("quote") != 1) return;
      if (stop == StopFrom::LogoutInsideAQuote) {
        session->logout();
      } else {
        releaseInstance(session);
      }
    };
    ASSERT_TRUE(session->listenQuotes("MB", "SBER", &listener));
    ASSERT_TRUE(listener.waitFor("quote"));
    if (stop == StopFrom::LogoutInsideAQuote) {
      ASSERT_TRUE(eventually([&] { return !session->isConnected(); }));
      releaseInstance(session);  // waits for the teardown job
    }
    // The session's I/O thread and workers end in the teardown job.
    ASSERT_TRUE(process_usage::threadsDropTo(threadsBefore));
  }

  std::deque<QuotesRecorder> listeners_;
};

TEST_P(TeardownCycles, ManySessionsStoppedInsideAListenerLeaveNoThreadsOrStacks) {
  constexpr int kWarmUp = 3;
  constexpr int kCycles = process_usage::kCycles;
  for (int i = 0; i < kWarmUp; ++i) ASSERT_NO_FATAL_FAILURE(cycle());
  process_usage::Usage base = process_usage::now();
  for (int i = 0; i < kCycles; ++i) ASSERT_NO_FATAL_FAILURE(cycle());
  // An unjoined teardown thread keeps its 8 MiB stack mapped: kCycles of them
  // would add kCycles mappings. Allow a few for the allocator's arenas.
  process_usage::Usage after;
  EXPECT_TRUE(process_usage::settlesWithin(base, 8, &after))
      << "before: " << process_usage::describe(base) << "; after " << kCycles
      << " cycles: " << process_usage::describe(after);
  waitForTeardowns();
}

const TeardownCase kCases[] = {
    {"LogoutInsideAQuote", StopFrom::LogoutInsideAQuote},
    {"ReleaseInsideAQuote", StopFrom::ReleaseInsideAQuote},
};

INSTANTIATE_TEST_SUITE_P(StopOnALibraryThread, TeardownCycles, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TeardownCase>& info) { return info.param.name; });

// waitForTeardowns returns only after every job has ended, including jobs that
// are still running when it is called, and the teardown threads are gone then.
TEST(Teardown, WaitingJoinsEveryJobAndLeavesNoTeardownThread) {
  std::atomic<int> done{0};
  deferTeardown([] {});  // the first thread may start a sanitizer's helper thread
  waitForTeardowns();
  const long threadsBefore = process_usage::now().threads;
  std::mutex gate;
  std::unique_lock<std::mutex> closed(gate);
  for (int i = 0; i < 5; ++i) {
    deferTeardown([&] {
      std::lock_guard<std::mutex> pass(gate);  // held until the jobs are let go
      done.fetch_add(1);
    });
  }
  EXPECT_EQ(done.load(), 0);
  closed.unlock();
  waitForTeardowns();
  EXPECT_EQ(done.load(), 5);
  EXPECT_EQ(process_usage::now().threads, threadsBefore);
  // Usable again afterwards.
  deferTeardown([&] { done.fetch_add(1); });
  waitForTeardowns();
  EXPECT_EQ(done.load(), 6);
  EXPECT_EQ(process_usage::now().threads, threadsBefore);
}

}  // namespace
}  // namespace wexel::testing
