// The history queries, each a compressed reply of records:
//
//   /kx2/get-prices-zbin.php?exchange=E&security=S&interval=I&from=F&to=T&<session>
//   /kx2/get-prices-zbin.php?exchange=E&security=S&interval=I&from=F&count=N&<session>
//     bars of I = "1min", "30min" or "1day"; F and T are the packed times
//     shifted right 8 bits in hex, 14 digits that read YYYYMMDDhhmmss.
//     With T: the bars with F <= stamp < T, ascending. With N > 0: the N
//     oldest bars with stamp >= F, ascending; N < 0: the -N newest bars with
//     stamp <= F, newest first; N = 0: none. T wins when both are given.
//     Per bar: time (the bar's end), open, high, low, close, volume, open
//     interest, end nibble.
//   /kx2/get-trades-zbin.php?exchange=E&security=S&from=F&count=N&<session>
//     trades; F is the whole packed time as a signed decimal number. N > 0: the
//     first N trades with time >= F; N < 0: the last -N trades with time <= F;
//     oldest first either way. Per trade: time, price, volume, trade number,
//     open interest, action (1 buy, 2 sell), end nibble.
//
// Both replies end with the end nibble alone; an unknown security has nothing
// before it. Bars and trades reach the market's current step, the bar still
// open included as it stands. A query without a well-formed from, an interval
// or a to or count is refused with 400 and an empty body.
#pragma once

#include <vector>

#include "kexsim_exchange.h"

namespace kexsim {

// The bar query (kind "bars") and the trade query (kind "ticks").
std::vector<Route> historyRoutes();

}  // namespace kexsim
