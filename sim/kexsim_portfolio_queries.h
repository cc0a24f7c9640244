// The one-shot portfolio queries, each a compressed reply of records:
//
//   /kx2/get-portfolio-mo-zbin.php?portfolio=NAME&<session>   my orders
//     per order: kind 3 and the order entry; then the end record: kind 14, end
//   /kx2/get-portfolio-mt-zbin.php?...                         my trades: kind 2
//   /kx2/get-portfolio-cp-zbin.php?...                         closed positions: kind 1
//   /kx2/get-portfolio-rp-zbin.php?...                         real positions
//     kind 1 alone (one byte), the money entry; kind 2 alone, one entry per open
//     position; kind 14 alone, then an end nibble alone
//   /kx2/get-portfolio-all-zbin.php?o_mode=N&portfolio[]=A&portfolio[]=B&<session>
//     per portfolio in the query's order, per kind 1 orders, 2 trades, 3 closed
//     positions, 4 real positions: the portfolio name (at most 33 bytes) and the
//     kind in front of the first entry (or of an end nibble when there is
//     none), the further entries, an end nibble
//
// The entries are those of kexsim_portfolio_records.h. A portfolio that is not
// the user's is refused with 403 and an empty body.
#pragma once

#include <vector>

#include "kexsim_exchange.h"

namespace kexsim {

// The portfolio stream (both paths, kind "portfolio") and the five queries.
std::vector<Route> portfolioRoutes();

}  // namespace kexsim
