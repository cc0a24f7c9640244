#include "core/wexel_statistics.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "q3_kernel.h"
#include "core/wexel_sys.h"

namespace wexel {

namespace {

sys::WMutex& statsLock() {
  // Guards the fields that are set rather than counted; process-wide and
  // never destroyed, so a late report at process exit still finds it.
  static sys::WMutex* lock = new sys::WMutex;
  return *lock;
}

// The counters, added to on every read, send and decode by any thread:
// atomics, so that counting takes no lock. A snapshot reads each one; it is
// not a cut across all of them at one instant.
struct Counters {
  std::atomic<int64_t> bytesSent{0};
  std::atomic<int64_t> bytesDecoded{0};
  std::atomic<int64_t> bytesReceived{0};
  std::atomic<int64_t> receiveOperations{0};
  std::atomic<int64_t> sendOperations{0};
  std::atomic<int64_t> plainConnections{0};
  std::atomic<int64_t> tlsConnections{0};
};
Counters g_counters;
WTransportStatistics g_stats{};  // the set fields (keep-alive reply, server text); under statsLock
std::atomic<double> g_keepAliveTickMs{0};  // the latest keep-alive of any instance
std::atomic<WClockFunction> g_clock{nullptr};

template <typename Change>
void update(Change change) {
  sys::WLock hold(statsLock());
  change(g_stats);
}

void add(std::atomic<int64_t>& counter, int64_t n) { counter.fetch_add(n, std::memory_order_relaxed); }
int64_t read(const std::atomic<int64_t>& counter) { return counter.load(std::memory_order_relaxed); }

}  // namespace

double clockNowMs() {
  WClockFunction clock = g_clock.load();
  return clock ? clock() : q3::monotonicMilliseconds();
}

void setClockForTesting(WClockFunction clock) { g_clock.store(clock); }

void statsReset() {
  for (auto* counter : {&g_counters.bytesSent, &g_counters.bytesDecoded, &g_counters.bytesReceived,
                        &g_counters.receiveOperations, &g_counters.sendOperations, &g_counters.plainConnections,
                        &g_counters.tlsConnections}) {
    counter->store(0);
  }
  update([](WTransportStatistics& s) { s = WTransportStatistics{}; });
}

WTransportStatistics statsSnapshot() {
  WTransportStatistics snapshot;
  {
    sys::WLock hold(statsLock());
    snapshot = g_stats;
  }
  snapshot.bytesSent = read(g_counters.bytesSent);
  snapshot.bytesDecoded = read(g_counters.bytesDecoded);
  snapshot.bytesReceived = read(g_counters.bytesReceived);
  snapshot.receiveOperations = read(g_counters.receiveOperations);
  snapshot.sendOperations = read(g_counters.sendOperations);
  snapshot.plainConnections = read(g_counters.plainConnections);
  snapshot.tlsConnections = read(g_counters.tlsConnections);
  return snapshot;
}

void statsAddBytesSent(int64_t n) { add(g_counters.bytesSent, n); }
void statsAddBytesDecoded(int64_t n) { add(g_counters.bytesDecoded, n); }
void statsAddBytesReceived(int64_t n) { add(g_counters.bytesReceived, n); }
void statsAddReceives(int64_t n) { add(g_counters.receiveOperations, n); }
void statsAddSends(int64_t n) { add(g_counters.sendOperations, n); }
void statsAddPlainConnections(int64_t d) { add(g_counters.plainConnections, d); }
void statsAddTlsConnections(int64_t d) { add(g_counters.tlsConnections, d); }

void statsSetKeepAliveReply(int64_t value) {
  double elapsed = clockNowMs() - g_keepAliveTickMs;
  update([value, elapsed](auto& s) {
    s.keepAliveReplyValue = value;
    s.keepAliveReplyTimeMs = elapsed;
  });
}

void statsSetServerText(const char* text) {
  if (!text) return;
  size_t n = std::min(std::strlen(text), static_cast<size_t>(kServerTextMax));
  update([text, n](auto& s) { std::memcpy(s.serverText, text, n); });
}

bool keepAliveDue(std::atomic<double>& lastTickMs, double intervalMs) {
  const double now = clockNowMs();
  double last = lastTickMs.load();
  if (now - last <= intervalMs || !lastTickMs.compare_exchange_strong(last, now)) return false;
  g_keepAliveTickMs.store(now);  // a keep-alive reply's time is counted from here
  return true;
}

bool keepAliveDue(double intervalMs) { return keepAliveDue(g_keepAliveTickMs, intervalMs); }

}  // namespace wexel
