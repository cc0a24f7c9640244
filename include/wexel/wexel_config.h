// Configuration record of a client instance, copied into each connection manager.
#pragma once

#include <cstdint>

namespace wexel {

struct WInstanceConfig {
  unsigned char useSctp = 0;     // open request sockets with SCTP (132) instead of TCP (6)
  int32_t workerThreads = 7;     // worker pool size of each connection manager
  unsigned char scramblePort = 0;
  unsigned char useOmsSsl = 1;
};

}  // namespace wexel
