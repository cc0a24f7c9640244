// Feed records as the client's feed parsers read them. Quotes and messages
// carry the subscription number in every record; trades and order-book rows
// come in groups that the number opens and an empty record closes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kexsim_market.h"

namespace kexsim {

// Number header, then the 17 values of the short layout.
std::string shortQuoteRecord(int32_t subscription, const SimQuote& quote, int decimals);
// Number header, then all 33 values of the long layout.
std::string longQuoteRecord(int32_t subscription, const SimQuote& quote, int decimals);
// Group start, the ticks oldest first, group end.
std::vector<std::string> tradeGroup(int32_t subscription, const std::vector<SimTick>& ticks, int decimals);
// Group start, the rows (side 1 for a bid, 2 for an ask), group end.
std::vector<std::string> bookGroup(int32_t subscription, const std::vector<SimBookRow>& rows, int decimals);
std::string messageRecord(int32_t subscription, int64_t messageNumber);
// The answer to "PING <value>" on the all-trades feed.
std::string keepAliveRecord(int32_t value, uint64_t serverTime);

}  // namespace kexsim
