// The instance's portfolio operations: the portfolio stream, kept under its
// name and mode and pinged with the feeds' keep-alive, and the one-shot
// queries of one or several portfolios.
#include "instance/wexel_instance_reports.h"
#include "instance/wexel_winstance.h"
#include "portfolio/wexel_get_portfolio.h"
#include "portfolio/wexel_get_portfolio_mass_request.h"
#include "portfolio/wexel_get_real_pos.h"

namespace wexel {

// A stream of the same name and mode that is still open refuses a second one;
// one the server has closed is forgotten and opened again.
bool WInstance::listenPortfolio(const std::string& portfolio, WexelPortfolioListener* listener, int mode) {
  const auto report = portfolioReport(listener, portfolio);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  if (!isSafeUrlValue(portfolio)) {
    report(kTextBadParameter, kErrorMalformed);
    return false;
  }
  WConnectionManager* manager = manager_;
  if (!manager) return false;
  sys::WLock hold(portfolioLock_);
  const std::string key = portfolio + "_" + std::to_string(mode);
  if (auto open = portfolioRequests_.find(key); open != portfolioRequests_.end()) {
    if (manager->isRegistered(open->second)) return false;
    portfolioRequests_.erase(open);
  }
  WGetPortfolioFactory factory(portfolio, mode, listener, dataEndpoint());
  WHttpRequest* created = nullptr;
  if (!manager->createAndSend(factory, &created, true)) return false;
  portfolioRequests_[key] = created;
  return true;
}

bool WInstance::cancelPortfolio(const std::string& portfolio, int mode) {
  sys::WLock hold(portfolioLock_);
  auto entry = portfolioRequests_.find(portfolio + "_" + std::to_string(mode));
  if (!manager_ || entry == portfolioRequests_.end() || !manager_.load()->acquireRegistered(entry->second)) return false;
  entry->second->markIdle();
  manager_.load()->unregisterChannel(entry->second);
  portfolioRequests_.erase(entry);
  return true;
}


bool WInstance::getMyOrders(const std::string& portfolio, WexelGetMyOrdersListener* listener, WContext context) {
  const auto report = contextReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WGetMyOrdersFactory factory(listener, dataEndpoint(), context, portfolio);
  return sendQuery(factory, report);
}

bool WInstance::getMyTrades(const std::string& portfolio, WexelGetMyTradesListener* listener, WContext context) {
  const auto report = contextReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WGetMyTradesFactory factory(listener, dataEndpoint(), context, portfolio);
  return sendQuery(factory, report);
}

bool WInstance::getMyClosePos(const std::string& portfolio, WexelGetMyClosePosListener* listener, WContext context) {
  const auto report = contextReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WGetMyClosePosFactory factory(listener, dataEndpoint(), context, portfolio);
  return sendQuery(factory, report);
}

bool WInstance::getRealPositions(const std::string& portfolio, WContext context,
                                 WexelRealPositionsListener* listener) {
  const auto report = contextReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WGetRealPosFactory factory(listener, dataEndpoint(), context, portfolio);
  return sendQuery(factory, report);
}

bool WInstance::getPortfolioMass(const std::vector<std::string>& portfolios, int mode,
                                 WexelPortfolioMassListener* listener, WContext context) {
  const auto report = massReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WPortfolioMassRequestFactory factory(listener, dataEndpoint(), portfolios, mode, context);
  return sendQuery(factory, report);
}

}  // namespace wexel
