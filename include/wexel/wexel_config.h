// Configuration record of a client instance, copied into each connection manager.
#pragma once

#include <cstdint>
#include <string>

namespace wexel {

struct WInstanceConfig {
  unsigned char useSctp = 0;     // open request sockets with SCTP (132) instead of TCP (6)
  int32_t workerThreads = 7;     // worker pool size of each connection manager
  unsigned char scramblePort = 0;
  unsigned char useOmsSsl = 1;
  // A request waiting for its reply (a logon, a query, an order action) fails
  // after this many milliseconds without a byte from the server.
  int32_t replySilenceMs = 30000;
  // Period of the keep-alive line on the all-trades feed and portfolio streams.
  int32_t keepAliveMs = 30000;
  // The all-trades feed answers the keep-alive: silent this long, it counts as
  // dead (two and a half keep-alive periods).
  int32_t tradesFeedSilenceMs = 75000;
  // Feeds and portfolio streams with a subscription count as dead after this
  // many milliseconds without a byte (0: never; a quiet market sends nothing).
  int32_t dataSilenceMs = 0;
  // TLS channels check the server's certificate chain and name; a refusal
  // fails the channel's handshake.
  unsigned char tlsVerify = 0;
  std::string tlsCaFile;  // PEM file of the trusted certificates; empty: the system's
  // The name the logon's TLS certificate must carry; set by the logon to the
  // host it was given (channels to other addresses check their address).
  std::string tlsServerName;
};

}  // namespace wexel
