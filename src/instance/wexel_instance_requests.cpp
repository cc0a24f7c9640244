// The instance's one-shot requests: the securities guide, and the request
// kinds this client does not build yet, which keep the authorisation rule and
// then report that nothing was sent.
#include "instance/wexel_instance_reports.h"
#include "instance/wexel_winstance.h"
#include "market/wexel_get_guide_request.h"

namespace wexel {

bool WInstance::requestSecurities(WexelReferenceSecuritiesListener* listener) {
  if (!loggedOn_) {
    plainReport(listener)(kTextNotAuthorized, kErrorNotAuthorized);
    return false;
  }
  WConnectionManager* manager = manager_;
  if (!manager) return false;
  WGetGuideFactory factory(listener, dataEndpoint());
  return manager->createAndSend(factory, nullptr, true);
}

// ---- portfolio stream -----------------------------------------------------------

bool WInstance::listenPortfolio(const std::string& portfolio, WexelPortfolioListener* listener, int) {
  return refuseUnbuilt(loggedOn_, portfolioReport(listener, portfolio));
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

// ---- queries -------------------------------------------------------------------------

bool WInstance::getBars(const std::string&, const std::string&, int, PackedTime, PackedTime, int, WContext context,
                        WexelHistoryBarsListener* listener) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::getRealPositions(const std::string&, WContext context, WexelRealPositionsListener* listener) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::addAlert(const std::string&, WexelAlertResultListener* listener, WContext context,
                         const std::string&, const std::string&, int64_t, const WAlertFields&) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::getAlerts(int64_t, WexelAlertsListener* listener, WContext context) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::removeAlert(int64_t, const std::string&, WexelAlertResultListener* listener, WContext context) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::getMessagesByNumber(const std::string&, int64_t, int64_t, WexelMessagesQueryListener* listener,
                                    WContext context) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::getMessagesByTime(const std::string&, PackedTime, PackedTime, WexelMessagesQueryListener* listener,
                                  WContext context) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::getMyOrders(const std::string&, WexelGetMyOrdersListener* listener, WContext context) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::getMyTrades(const std::string&, WexelGetMyTradesListener* listener, WContext context) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::getMyClosePos(const std::string&, WexelGetMyClosePosListener* listener, WContext context) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::getTicks(const std::string&, const std::string&, PackedTime, int, WexelGetTicksListener* listener,
                         WContext context) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::getPortfolioMass(const std::vector<std::string>&, int, WexelPortfolioMassListener* listener,
                                 WContext context) {
  return refuseUnbuilt(loggedOn_, massReport(listener, context));
}

}  // namespace wexel
