// The four streaming feeds. After the response header the connection stays
// open both ways: the client writes "ADD n key1 key2", "REMOVE n key1 key2" and
// "PING v" lines, the server streams compressed record blocks tagged with the
// subscription numbers the client chose.
#pragma once

#include "kexsim_exchange.h"

namespace kexsim {

inline constexpr const char* kQuotesPath = "/kx2/quotes-zbin";
inline constexpr const char* kTradesPath = "/kx2/trades-zbin";
inline constexpr const char* kOrdersPath = "/kx2/orders-zbin";
inline constexpr const char* kMessagesPath = "/kx2/messages-zbin";

// Serves the feed of the exchange's route kind until the client leaves, a
// fault ends it or the server stops.
void serveFeed(Exchange& exchange);

}  // namespace kexsim
