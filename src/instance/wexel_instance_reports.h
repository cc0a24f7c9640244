// How the instance's operations tell a listener that they did not hand a
// request over: each listener family has its own error operation, and these
// give them one shape, report(message, code).
#pragma once

#include <string>

#include "core/wexel_text.h"
#include "wexel/wexel_errors.h"
#include "wexel/wexel_listeners.h"

namespace wexel {

// Listeners whose error operation is onError(message, code).
template <typename Listener>
auto plainReport(Listener* listener) {
  return [listener](const std::string& message, int code) {
    if (listener) listener->onError(message, code);
  };
}

// Queries: onError(context, message, code).
template <typename Listener>
auto contextReport(Listener* listener, WContext context) {
  return [listener, context](const std::string& message, int code) {
    if (listener) listener->onError(context, message, code);
  };
}

// The portfolio stream: onError(portfolio, message, code).
inline auto portfolioReport(WexelPortfolioListener* listener, const std::string& portfolio) {
  return [listener, portfolio](const std::string& message, int code) {
    if (listener) listener->onError(portfolio, message, code);
  };
}

// Order actions: onError(cookie, context, message, code).
inline auto orderReport(WexelOrderActionResultListener* listener, WCookie cookie, WContext context) {
  return [listener, cookie, context](const std::string& message, int code) {
    if (listener) listener->onError(cookie, context, message, code);
  };
}

// The several-portfolio query: onError(message, code, context).
inline auto massReport(WexelPortfolioMassListener* listener, WContext context) {
  return [listener, context](const std::string& message, int code) {
    if (listener) listener->onError(message, code, context);
  };
}

// The authorisation rule: nothing is built before logon. Always false.
template <typename Report>
bool refuseNotLoggedOn(Report report) {
  report(kTextNotAuthorized, kErrorNotAuthorized);
  return false;
}

// An order that cannot be expressed as a URL: nothing is sent. Always false.
template <typename Report>
bool refuseBadOrder(Report report) {
  report(kTextBadOrderParameters, kErrorMalformed);
  return false;
}

}  // namespace wexel
