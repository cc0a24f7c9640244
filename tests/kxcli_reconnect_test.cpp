// autoReconnect end to end: kxcli drives the real module against kexsim,
// which drops every connection and then refuses logons for a while.
#include <algorithm>
#include <chrono>
#include <thread>

#include "kxcli_test_support.h"

namespace {

using namespace kxcli_testing;
using kexsim::FaultType;

constexpr const char* kReconnecting =
    "ConfigureClient 'autoReconnect=yes; reconnectDelayMs=100; reconnectMaxDelayMs=400'\n";

size_t countLines(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

// Waits until kexsim has logged at least `n` logons in all.
bool waitForLogons(Simulator& sim, size_t n) {
  return sim.server().log().waitUntil([n](const kexsim::RequestLog::Entries& entries) {
    size_t logons = 0;
    for (const auto& e : entries) logons += e.kind == "logon";
    return logons >= n;
  });
}

// A dropped session: one Disconnected, logons retried with backoff through
// two refusals, Connected again, and the quotes and the portfolio stream the
// host had are made again on the new session; disconnect then stops it all.
TEST(KxcliReconnect, ALostSessionComesBackWithItsSubscriptions) {
  Simulator sim;
  Home home;
  Child child(home, sim.script());
  child.write(std::string(kReconnecting) + kConnect + "wait Connected\nListenQuotes SBER\nListenPortfolio D-10001\n");
  ASSERT_TRUE(child.readUntil(R"({"event":"UpdateQuote")"));
  sim.server().faults().set("logon", {FaultType::kStatus, 500, 0, 2});
  sim.server().dropConnections();
  ASSERT_TRUE(child.readUntil(R"({"event":"Disconnected")"));
  ASSERT_TRUE(child.readUntil(R"({"event":"Connected"})"));
  ASSERT_TRUE(child.readUntil(R"({"event":"UpdateQuote")"));
  child.write("disconnect\nsleep 600\nquit\n");
  EXPECT_EQ(child.finish(), 0);

  const auto& lines = child.lines();
  EXPECT_EQ(countLines(lines, R"({"event":"Connected"})"), 2u);
  size_t disconnected = 0;
  for (const std::string& line : lines) disconnected += line.rfind(R"({"event":"Disconnected")", 0) == 0;
  EXPECT_EQ(disconnected, 2u);  // the loss, once, and the host's disconnect
  EXPECT_EQ(sim.server().log().ofKind("logon").size(), 4u);  // the first, two refused, the one that took
  size_t adds = 0;
  for (const std::string& line : sim.feedLines("quotes")) adds += line == "ADD 1 MB SBER";
  EXPECT_EQ(adds, 2u);
  EXPECT_EQ(sim.server().log().ofKind("portfolio").size(), 2u);
}

// disconnect while logons are refused: no attempt after it.
TEST(KxcliReconnect, DisconnectStopsTheAttemptsAtOnce) {
  Simulator sim;
  Home home;
  Child child(home, sim.script());
  child.write(std::string(kReconnecting) + kConnect + "wait Connected\nListenQuotes SBER\n");
  ASSERT_TRUE(child.readUntil(R"({"event":"UpdateQuote")"));  // a connection to lose
  sim.server().faults().set("logon", {FaultType::kStatus, 500, 0, 0});  // every logon refused
  sim.server().dropConnections();
  ASSERT_TRUE(child.readUntil(R"({"event":"Disconnected")"));
  ASSERT_TRUE(waitForLogons(sim, 3));
  child.write("disconnect\n");
  ASSERT_TRUE(child.readUntil(R"({"call":"disconnect")"));
  const size_t logons = sim.server().log().ofKind("logon").size();
  child.write("sleep 1200\nquit\n");  // three times the longest backoff
  EXPECT_EQ(child.finish(), 0);
  EXPECT_EQ(sim.server().log().ofKind("logon").size(), logons);
}

// disconnect landing while a refused attempt is being reported (attempts a
// millisecond apart, so each round hits a different moment): no attempt after
// it, in any round.
TEST(KxcliReconnect, DisconnectDuringARefusedAttemptStopsTheAttempts) {
  Simulator sim;
  Home home;
  Child child(home, sim.script());
  child.write("ConfigureClient 'autoReconnect=yes; reconnectDelayMs=1; reconnectMaxDelayMs=2'\n");
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    sim.server().faults().clear("logon");
    child.write(std::string(kConnect) + "wait Connected " + std::to_string(round + 1) + "\nListenQuotes SBER\n");
    ASSERT_TRUE(child.readUntil(R"({"event":"UpdateQuote")"));  // a connection to lose
    sim.server().faults().set("logon", {FaultType::kStatus, 500, 0, 0});
    const size_t before = sim.server().log().ofKind("logon").size();
    sim.server().dropConnections();
    ASSERT_TRUE(waitForLogons(sim, before + 2));
    child.write("disconnect\n");
    ASSERT_TRUE(child.readUntil(R"({"call":"disconnect")"));
    // An attempt sent just before the disconnect may reach kexsim's log a
    // little after it.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const size_t logons = sim.server().log().ofKind("logon").size();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // 25 times the longest backoff
    ASSERT_EQ(sim.server().log().ofKind("logon").size(), logons);
  }
  child.write("quit\n");
  EXPECT_EQ(child.finish(), 0);
}

// A connect that never came up (a refused logon) is the host's to act on.
TEST(KxcliReconnect, ALogonThatNeverCameUpIsNotRetried) {
  Simulator sim;
  Home home;
  sim.server().faults().set("logon", {FaultType::kStatus, 500, 0, 1});
  const Result r = run(home, sim.script(), std::string(kReconnecting) + kConnect + "wait Disconnected\nsleep 600\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.events("Disconnected").size(), 1u);
  EXPECT_EQ(sim.server().log().ofKind("logon").size(), 1u);
}

}  // namespace
