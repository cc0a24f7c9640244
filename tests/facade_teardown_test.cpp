// Reconnecting through the component: every disconnect retires its session on
// a teardown thread. A host that reconnects all week must stay flat, whether
// it disconnects on its own thread or from inside an event.
#include "facade_test_support.h"
#include "kexsim_server.h"
#include "process_usage.h"

namespace {

using namespace facade_testing;

enum class DisconnectFrom { HostThread, InsideConnected };

struct ReconnectCase {
  const char* name;
  DisconnectFrom from;
};

class Reconnecting : public ::testing::TestWithParam<ReconnectCase> {
 protected:
  void SetUp() override { ASSERT_TRUE(kexsim_.start()); }

  // One connect and disconnect; returns once the session's threads have ended.
  void cycle(Client& client, size_t n) {
    const long threadsBefore = process_usage::now().threads;
    ASSERT_EQ(client.connect("127.0.0.1", kexsim_.tlsPort(), "demo", "demo"), S_OK);
    ASSERT_TRUE(client.sink->waitFor(DISPID_Connected, n));
    if (GetParam().from == DisconnectFrom::HostThread) {
      ASSERT_EQ(client.disconnect(), S_OK);
    }
    ASSERT_TRUE(client.sink->waitFor(DISPID_Disconnected, n));
    // One more thread after the first cycle: the teardown reaper, started by
    // the first retire. Two sessions never overlap.
    ASSERT_TRUE(process_usage::threadsDropTo(threadsBefore + (n == 1 ? 1 : 0)));
  }

  kexsim::Server kexsim_;
};

TEST_P(Reconnecting, ManyReconnectsLeaveNoThreadsOrStacksBehind) {
  constexpr size_t kWarmUp = 3;
  constexpr size_t kCycles = process_usage::kCycles;
  Client client;
  IKxServer* server = client.server.get();
  if (GetParam().from == DisconnectFrom::InsideConnected) {
    client.sink->onEvent([server](const Event& e) { return e.id == DISPID_Connected ? call(server, "disconnect") : S_OK; });
  }
  size_t n = 0;
  while (n < kWarmUp) ASSERT_NO_FATAL_FAILURE(cycle(client, ++n));
  const process_usage::Usage base = process_usage::now();
  while (n < kWarmUp + kCycles) ASSERT_NO_FATAL_FAILURE(cycle(client, ++n));
  // An unjoined teardown thread keeps its 8 MiB stack mapped: kCycles of them
  // would add kCycles mappings. Allow a few for the allocator's arenas.
  process_usage::Usage after;
  EXPECT_TRUE(process_usage::settlesWithin(base, 8, &after))
      << "before: " << process_usage::describe(base) << "; after " << kCycles
      << " reconnects: " << process_usage::describe(after);
  EXPECT_LE(after.descriptors, base.descriptors);
}

const ReconnectCase kCases[] = {
    {"DisconnectOnTheHostThread", DisconnectFrom::HostThread},
    {"DisconnectInsideConnected", DisconnectFrom::InsideConnected},
};

INSTANTIATE_TEST_SUITE_P(Session, Reconnecting, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ReconnectCase>& info) { return info.param.name; });

}  // namespace
