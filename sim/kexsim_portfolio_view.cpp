#include "kexsim_portfolio_view.h"

#include <algorithm>

namespace kexsim {

std::vector<std::string> queryValues(const HttpRequest& request, const std::string& name) {
  std::vector<std::string> values;
  const auto form = parseForm(request.query);  // kept: the range below points into it
  auto [first, last] = form.equal_range(name);
  for (auto it = first; it != last; ++it) values.push_back(it->second);
  return values;
}

bool ownsPortfolio(const Scenario& scenario, const std::string& login, const std::string& portfolio) {
  const User* owner = scenario.ownerOf(portfolio);
  return owner != nullptr && owner->login == login;
}

PortfolioSnapshot snapshotOf(ServerContext& server, const std::string& login, const std::string& portfolio) {
  PortfolioSnapshot snapshot;
  snapshot.orders = server.matching.orders(login, portfolio);
  snapshot.trades = server.matching.trades(login, portfolio);
  snapshot.book = bookOf(snapshot.orders, snapshot.trades, server.scenario.portfolio);
  return snapshot;
}

std::vector<RealPosition> moneyPositions(const Scenario& scenario, const std::string& portfolio,
                                         const PortfolioBook& book) {
  std::string account;
  if (const User* owner = scenario.ownerOf(portfolio)) {
    auto entry = std::find_if(owner->portfolios.begin(), owner->portfolios.end(),
                              [&](const PortfolioEntry& e) { return e.name == portfolio; });
    account = entry->moneyAccount;
  }
  RealPosition money;
  money.first = account;
  money.second = "RUB";
  money.value = book.money.cash;
  return {money};
}

std::vector<RealPosition> securityPositions(const PortfolioBook& book) {
  std::vector<RealPosition> positions;
  for (const PortfolioPosition& position : book.positions) {
    if (position.amount == 0) continue;
    RealPosition real;
    real.first = position.exchange;
    real.second = position.symbol;
    real.value = position.amount;
    positions.push_back(std::move(real));
  }
  return positions;
}

void refusePortfolio(Exchange& exchange) {
  exchange.reply.sendText(403, "text/plain; charset=windows-1251", "");
}

}  // namespace kexsim
