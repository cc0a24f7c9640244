// What the portfolio endpoints share: which portfolio a request names, whether
// it is the user's, and the portfolio as the exchange has it now.
#pragma once

#include <string>
#include <vector>

#include "kexsim_exchange.h"
#include "kexsim_portfolio_book.h"
#include "kexsim_portfolio_records.h"

namespace kexsim {

struct PortfolioSnapshot {
  std::vector<SimOrder> orders;
  std::vector<SimTrade> trades;
  PortfolioBook book;
};

// The values of a query parameter, in the order the query has them.
std::vector<std::string> queryValues(const HttpRequest& request, const std::string& name);

bool ownsPortfolio(const Scenario& scenario, const std::string& login, const std::string& portfolio);

PortfolioSnapshot snapshotOf(ServerContext& server, const std::string& login, const std::string& portfolio);

// The real positions: the money account's cash ("RUB"), then each open
// position as exchange, symbol and amount.
std::vector<RealPosition> moneyPositions(const Scenario& scenario, const std::string& portfolio,
                                         const PortfolioBook& book);
std::vector<RealPosition> securityPositions(const PortfolioBook& book);

// The reply to a request for a portfolio that is not the user's.
void refusePortfolio(Exchange& exchange);

}  // namespace kexsim
