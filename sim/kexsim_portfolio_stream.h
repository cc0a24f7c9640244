// The portfolio stream: GET /kx2/portfolio-zbin?portfolio=NAME&<session>
// (mode 0) or /kx2/portfolio-tm-zbin (mode 1: money and position records carry
// a time). The reply never ends. It opens with the portfolio as it is: money
// (type 0), every order (1), every trade (2), the positions (3) and the closed
// positions (4), then the records of types 6 to 9 when the scenario asks for
// them. From then on each change on the exchange sends the changed orders, the
// new trades, the changed positions, the new closed positions and the money.
// Each "PING <n>" line of the client is answered by a type 0 record holding n
// and the server's time.
#pragma once

#include "kexsim_exchange.h"

namespace kexsim {

inline constexpr const char* kPortfolioPath = "/kx2/portfolio-zbin";
inline constexpr const char* kTimedPortfolioPath = "/kx2/portfolio-tm-zbin";

void servePortfolioStream(Exchange& exchange);

}  // namespace kexsim
