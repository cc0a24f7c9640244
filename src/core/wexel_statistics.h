// Process-wide traffic statistics, reported by the instance to its host, and
// the keep-alive tick test of the I/O thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "wexel/wexel_transport_statistics.h"

namespace wexel {

void statsReset();
WTransportStatistics statsSnapshot();
void statsAddBytesSent(int64_t n);
void statsAddBytesDecoded(int64_t n);
void statsAddBytesReceived(int64_t n);
void statsAddReceives(int64_t n);
void statsAddSends(int64_t n);
void statsAddPlainConnections(int64_t delta);
void statsAddTlsConnections(int64_t delta);
void statsSetKeepAliveReply(int64_t value);
void statsSetServerText(const char* text);

// True, and the tick time moves to now, when strictly more than intervalMs
// have passed since the last tick. Each instance keeps its own tick time (a
// process-wide one let one instance's keep-alive stand in for another's, whose
// feeds then went without); the overload without one uses the process's.
bool keepAliveDue(std::atomic<double>& lastTickMs, double intervalMs);
bool keepAliveDue(double intervalMs);

// Monotonic milliseconds. Tests may replace the clock; null restores it.
using WClockFunction = double (*)();
double clockNowMs();
void setClockForTesting(WClockFunction clock);

}  // namespace wexel
