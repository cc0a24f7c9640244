#include "core/wexel_statistics.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "q3_kernel.h"
#include "core/wexel_sys.h"

namespace wexel {

namespace {

sys::WMutex& statsLock() {
  // Guards the counters; process-wide and never destroyed, so a late
  // report at process exit still finds it.
  static sys::WMutex* lock = new sys::WMutex;
  return *lock;
}

WTransportStatistics g_stats{};
std::atomic<double> g_keepAliveTickMs{0};  // the latest keep-alive of any instance
std::atomic<WClockFunction> g_clock{nullptr};

template <typename Change>
void update(Change change) {
  sys::WLock hold(statsLock());
  change(g_stats);
}

}  // namespace

double clockNowMs() {
  WClockFunction clock = g_clock.load();
  return clock ? clock() : q3::monotonicMilliseconds();
}

void setClockForTesting(WClockFunction clock) { g_clock.store(clock); }

void statsReset() {
  update([](WTransportStatistics& s) { s = WTransportStatistics{}; });
}

WTransportStatistics statsSnapshot() {
  sys::WLock hold(statsLock());
  return g_stats;
}

void statsAddBytesSent(int64_t n) { update([n](auto& s) { s.bytesSent += n; }); }
void statsAddBytesDecoded(int64_t n) { update([n](auto& s) { s.bytesDecoded += n; }); }
void statsAddBytesReceived(int64_t n) { update([n](auto& s) { s.bytesReceived += n; }); }
void statsAddReceives(int64_t n) { update([n](auto& s) { s.receiveOperations += n; }); }
void statsAddSends(int64_t n) { update([n](auto& s) { s.sendOperations += n; }); }
void statsAddPlainConnections(int64_t d) { update([d](auto& s) { s.plainConnections += d; }); }
void statsAddTlsConnections(int64_t d) { update([d](auto& s) { s.tlsConnections += d; }); }

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
