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

// ---- queries -------------------------------------------------------------------------

bool WInstance::getBars(const std::string&, const std::string&, int, PackedTime, PackedTime, int, WContext context,
                        WexelHistoryBarsListener* listener) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}
bool WInstance::getTicks(const std::string&, const std::string&, PackedTime, int, WexelGetTicksListener* listener,
                         WContext context) {
  return refuseUnbuilt(loggedOn_, contextReport(listener, context));
}

}  // namespace wexel
