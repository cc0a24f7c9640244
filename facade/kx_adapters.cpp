// The session's adapters: logon and securities (the logon outcome that turns
// connect into Connected or Disconnected) and the results of the order actions.
#include "kx_adapters.h"

#include <cstring>
#include <utility>

#include "kx_logger.h"
#include "wexel/wexel_errors.h"
#include "kx_session.h"

namespace {

using kx::numberText;

// The server's texts of a cancellation that took place (Windows-1251 bytes):
// "Заявка будет снята" and "Операция выполнена успешно".
constexpr const char* kCancelledTexts[] = {
    "\xC7\xE0\xFF\xE2\xEA\xE0\x20\xE1\xF3\xE4\xE5\xF2\x20\xF1\xED\xFF\xF2\xE0",
    "\xCE\xEF\xE5\xF0\xE0\xF6\xE8\xFF\x20\xE2\xFB\xEF\xEE\xEB\xED\xE5\xED\xE0\x20\xF3\xF1\xEF\xE5\xF8\xED\xEE",
};

bool cancelled(const std::string& message) {
  if (message.empty()) return true;
  for (const char* text : kCancelledTexts) {
    if (message == text) return true;
  }
  return false;
}

struct ActionResult {
  int64_t orderNo;
  const std::string& message;
  int32_t cookie;
};

void fireOrderFailed(KxServer& server, const ActionResult& r) {
  const std::string orderId = numberText(r.orderNo);
  Utils::logTrace("Fire FireOrderFailed: %s [%d]", r.message.c_str(), r.cookie);
  server.fire(DISPID_OrderFailed, {r.cookie, orderId.c_str(), r.message.c_str()});
}

void firePlaceResult(KxServer& server, const ActionResult& r) {
  if (!r.message.empty()) {
    fireOrderFailed(server, r);
    return;
  }
  const std::string orderId = numberText(r.orderNo);
  Utils::logTrace("Fire FireOrderSucceeded: %s, no: %lld [%d]", r.message.c_str(), static_cast<long long>(r.orderNo),
                  r.cookie);
  server.fire(DISPID_OrderSucceeded, {r.cookie, orderId.c_str()});
}

void fireCancelResult(KxServer& server, const ActionResult& r) {
  const std::string orderId = numberText(r.orderNo);
  if (cancelled(r.message)) {
    Utils::logTrace("Fire FireCancelSucceeded: %s [%s]", r.message.c_str(), orderId.c_str());
    server.fire(DISPID_OrderCancelSucceeded, {orderId.c_str()});
    return;
  }
  Utils::logTrace("Fire FireCancelFailed: %s [%s]", r.message.c_str(), orderId.c_str());
  server.fire(DISPID_OrderCancelFailed, {orderId.c_str()});
}

void fireMoveResult(KxServer& server, const ActionResult& r) {
  const std::string orderId = numberText(r.orderNo);
  const long long number = r.orderNo;
  if (!r.message.empty()) {
    Utils::logTrace("Fire FireMoveFailed: %s, no: %lld [%d]", r.message.c_str(), number, r.cookie);
    server.fire(DISPID_OrderMoveFailed, {orderId.c_str()});
    return;
  }
  Utils::logTrace("Fire FireMoveSucceeded: %s, no: %lld [%d]", r.message.c_str(), number, r.cookie);
  server.fire(DISPID_OrderMoveSucceeded, {orderId.c_str()});
}

struct ActionRule {
  const char* action;
  void (*fire)(KxServer&, const ActionResult&);
};

constexpr ActionRule kActionRules[] = {
    {"place-order", firePlaceResult},
    {"cancel-order", fireCancelResult},
    {"move-order", fireMoveResult},
};

}  // namespace

// ---- logon ------------------------------------------------------------------

void KxServer::NativeLogonListener::onLogon(const std::vector<wexel::WPortfolioEntry>& portfolios,
                                            const std::vector<std::string>&,
                                            const std::vector<std::string>& exchanges) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  server->tables().storeLogon(portfolios, exchanges);
  Utils::logInfo("Login OK, loading securities..");
  session_.instance().requestSecurities(&session_.securitiesListener);
}

void KxServer::NativeLogonListener::onError(const std::string& message, int code) {
  if (code == wexel::kErrorTls) {  // connect may retry in plain mode; this is no outcome yet
    boost::lock_guard<boost::mutex> hold(tlsFailureLock_);
    tlsFailure_ = message;
    return;
  }
  fail(message, code);
}

void KxServer::NativeLogonListener::fail(const std::string& message, int code) {
  session_.markEnded();
  kx::ServerRef server = session_.enter();
  if (!server) return;
  Utils::logError("Login failed: %s:%d", message.c_str(), code);
  server->sessionEnded(session_, message.c_str());
}

void KxServer::NativeLogonListener::reportTlsFailure() {
  std::string message;
  {
    boost::lock_guard<boost::mutex> hold(tlsFailureLock_);
    message = std::exchange(tlsFailure_, std::string());
  }
  if (!message.empty()) fail(message, wexel::kErrorTls);
}

void KxServer::NativeLogonListener::onUpdateInfo(const std::string&, int64_t, const std::string&) {}

// ---- securities -------------------------------------------------------------

void KxServer::NativeReferenceSecuritiesListener::onSecurities(const std::vector<wexel::WSecurity>& securities,
                                                               const std::vector<wexel::WGuidePair>&,
                                                               const std::vector<wexel::WGuidePair>&,
                                                               const std::vector<wexel::WGuidePair>&) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  server->tables().addSecurities(securities);
  session_.markSecuritiesLoaded();
  Utils::logInfo("Securities table loaded OK");
  server->sessionReady(session_);
  server->fireConnected();
}

void KxServer::NativeReferenceSecuritiesListener::onError(const std::string& message, int) {
  kx::endSession(session_, message);
}

// ---- order actions ------------------------------------------------------------

namespace {

// Only a one-shot place carries the place's context, and until a reply names
// it the order has no number; moves and cancels always have one. The
// streaming channel reports its socket failures as errors, not as results.
bool placeFailedBeforeReply(const std::string& action, int64_t orderNo, wexel::WContext context) {
  return action.empty() && orderNo == 0 && context == kx::kPlaceContext;
}

}  // namespace

void KxServer::NativeOrderActionResultListener::onActionResult(void*, const std::string&, const std::string&,
                                                               const std::string&, int64_t orderNo,
                                                               const std::string& message, const std::string& action,
                                                               wexel::WCookie cookie, wexel::WContext context) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  const ActionResult result{orderNo, message, static_cast<int32_t>(cookie)};
  if (placeFailedBeforeReply(action, orderNo, context)) {
    fireOrderFailed(*server, result);
    return;
  }
  for (const ActionRule& rule : kActionRules) {
    if (action == rule.action) rule.fire(*server, result);
  }
}

void KxServer::NativeOrderActionResultListener::onError(wexel::WCookie, wexel::WContext, const std::string& message,
                                                        int) {
  kx::endSession(session_, message);
}
