// The order endpoints: place (plain, conditional, take-stop, iceberg, expiry),
// move and cancel, each answered with a short text reply whose headers name
// the order, and the order-error query answered with one compressed record.
//
//   HTTP/1.0 200 OK
//   Content-Type: text/html; charset=CP1251
//   Content-Length: 27
//   X-Order-NO: 1000000001        the order's number (0 when it got none)
//   X-Order-NO-EXT: 7             the cookie of the request, 0 without one
//   Keep-Alive: timeout=15, max=3 first reply of a keep-alive connection with a limit
//   Connection: Keep-Alive        "close" without keep-alive and on the limit's reply
//
//   <place-order></place-order>   the message between the tags: empty on success,
//                                 else the refusal or state text
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kexsim_exchange.h"

namespace kexsim {

// What an action reply names: the order (or alert), the cookie, and the text.
struct ActionResult {
  int64_t number = 0;
  uint32_t cookie = 0;
  std::string text;  // UTF-8; empty on success
};

// The reply above with this tag, in the charset the scenario or a charset
// fault asks for, keep-alive when the request asked for it.
void sendActionReply(Exchange& exchange, int status, const std::string& tag, const ActionResult& result);

// The text an action reply carries under a status fault: the client reads a
// 500 as a refusal.
const char* statusFaultText(int status);

// Every order route, kind "order", and the order-error route, kind "order-error".
std::vector<Route> orderRoutes();

}  // namespace kexsim
