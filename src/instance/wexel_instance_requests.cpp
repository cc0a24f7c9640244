// The instance's one-shot requests: the securities guide, bars through the
// price cache, and the tick history.
#include "instance/wexel_instance_reports.h"
#include "instance/wexel_winstance.h"
#include "history/wexel_get_ticks_request.h"
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

// ---- history ------------------------------------------------------------------------

// The cache follows the security's trades first, so that the pages it loads
// stay current, then answers from its pages.
bool WInstance::getBars(const std::string& exchange, const std::string& security, int interval, PackedTime from,
                        PackedTime to, int count, WContext context, WexelHistoryBarsListener* listener) {
  auto report = contextReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WConnectionManager* manager = manager_;
  if (!manager) return false;
  if (!isSafeUrlValue(exchange) || !isSafeUrlValue(security)) {
    report(kTextBadParameter, kErrorMalformed);
    return false;
  }
  listenTicks(exchange, security, &priceCache_);
  priceCache_.requestBars(exchange, security, interval, from, to, count, listener, context, manager, dataEndpoint());
  return true;
}

bool WInstance::getTicks(const std::string& security, const std::string& exchange, PackedTime from, int count,
                         WexelGetTicksListener* listener, WContext context) {
  auto report = contextReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WGetTicksRequestFactory factory(listener, dataEndpoint(), exchange, security, from, count, context);
  return sendQuery(factory, report);
}

}  // namespace wexel
