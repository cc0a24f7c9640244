// The instance's alert and message operations: add, remove and list a
// portfolio's alerts, and read a message channel by number or time range.
// The automation component does not use them; hosts of the library do.
#include "alerts/wexel_alerts.h"
#include "instance/wexel_instance_reports.h"
#include "instance/wexel_winstance.h"

namespace wexel {

bool WInstance::addAlert(const std::string& portfolio, WexelAlertResultListener* listener, WContext context,
                         const std::string& exchange, const std::string& security, int64_t alertNo,
                         const WAlertFields& fields) {
  const auto report = contextReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WAddAlertFactory factory(addAlertUrl(portfolio, exchange, security, alertNo, fields), listener, portfolio, alertNo,
                           context, dataEndpoint());
  return sendQuery(factory, report);
}

bool WInstance::removeAlert(int64_t alertNo, const std::string& portfolio, WexelAlertResultListener* listener,
                            WContext context) {
  const auto report = contextReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WRemoveAlertFactory factory(removeAlertUrl(portfolio, alertNo), listener, portfolio, alertNo, context,
                              dataEndpoint());
  return sendQuery(factory, report);
}

bool WInstance::getAlerts(int64_t alertNo, WexelAlertsListener* listener, WContext context) {
  const auto report = contextReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WGetAlertsFactory factory(alertNo, listener, context, dataEndpoint());
  return sendQuery(factory, report);
}

bool WInstance::getMessagesByNumber(const std::string& channel, int64_t from, int64_t to,
                                    WexelMessagesQueryListener* listener, WContext context) {
  const auto report = contextReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WGetMessagesFactory factory(messagesByNumberUrl(channel, from, to), channel, listener, context, dataEndpoint());
  return sendQuery(factory, report);
}

bool WInstance::getMessagesByTime(const std::string& channel, PackedTime since, PackedTime till,
                                  WexelMessagesQueryListener* listener, WContext context) {
  const auto report = contextReport(listener, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WGetMessagesFactory factory(messagesByTimeUrl(channel, since, till), channel, listener, context, dataEndpoint());
  return sendQuery(factory, report);
}

}  // namespace wexel
