// The process-wide traffic statistics an instance reports to its host.
#pragma once

#include <cstdint>

namespace wexel {

struct WTransportStatistics {
  int64_t bytesSent;
  int64_t bytesDecoded;
  int64_t bytesReceived;
  int64_t receiveOperations;
  int64_t sendOperations;
  int64_t plainConnections;
  int64_t tlsConnections;
  int64_t keepAliveReplyValue;
  double keepAliveReplyTimeMs;  // from the last keep-alive tick to the reply
  char serverText[32];          // first 29 characters of a logon reply text; 29..31 stay 0
};

constexpr int kServerTextMax = 29;

}  // namespace wexel
