// What a request handler gets: the server's shared state, the request, and the
// connection with its reply writer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "kexsim_alert_book.h"
#include "kexsim_connection.h"
#include "kexsim_faults.h"
#include "kexsim_http.h"
#include "kexsim_market.h"
#include "kexsim_matching.h"
#include "kexsim_message_board.h"
#include "kexsim_reply.h"
#include "kexsim_request_log.h"
#include "kexsim_scenario.h"
#include "kexsim_script_table.h"
#include "kexsim_sessions.h"
#include "kexsim_stop_signal.h"

namespace kexsim {

// Shared by every connection thread; owned by the Server.
struct ServerContext {
  const Scenario& scenario;
  Sessions& sessions;
  RequestLog& log;
  FaultTable& faults;
  ScriptTable& scripts;
  Market& market;
  MatchingEngine& matching;
  AlertBook& alerts;
  MessageBoard& messages;
  StopSignal& stop;
  uint64_t seed;
  uint16_t plainPort;
  uint16_t tlsPort;
};

// One request being served.
struct Exchange {
  ServerContext& server;
  std::string kind;  // the route's request kind
  const HttpRequest& request;
  std::string rest;  // bytes the client sent after the request (feed lines)
  Connection& connection;
  Reply& reply;
  int logId;
  std::string login;  // owner of the request's session ("" for the logon)
  Fault fault = {};   // the fault this request drew
  int sequence = 1;   // the request's place on its connection: 1, 2, ...
  bool keepOpen = false;  // set by a handler whose reply leaves the connection open for another request
};

using Handler = std::function<void(Exchange&)>;

// Request kinds of the built-in routes; faults are set per kind.
inline constexpr const char* kLogonKind = "logon";
inline constexpr const char* kGuideKind = "guide";
inline constexpr const char* kQuotesKind = "quotes";
inline constexpr const char* kTradesKind = "trades";
inline constexpr const char* kOrdersKind = "orders";
inline constexpr const char* kMessagesKind = "messages";
inline constexpr const char* kOrderKind = "order";             // place, move and cancel
inline constexpr const char* kOrderErrorKind = "order-error";  // the order-error query
inline constexpr const char* kPortfolioKind = "portfolio";     // the portfolio stream, both modes
inline constexpr const char* kMyOrdersKind = "my-orders";
inline constexpr const char* kMyTradesKind = "my-trades";
inline constexpr const char* kClosePosKind = "close-pos";
inline constexpr const char* kRealPosKind = "real-pos";
inline constexpr const char* kPortfolioMassKind = "portfolio-mass";
inline constexpr const char* kAddAlertKind = "add-alert";
inline constexpr const char* kRemoveAlertKind = "remove-alert";
inline constexpr const char* kAlertsKind = "alerts";              // the alert list
inline constexpr const char* kMessageQueryKind = "message-query";  // messages by number or time
inline constexpr const char* kBarsKind = "bars";    // bar history
inline constexpr const char* kTicksKind = "ticks";  // trade history

struct Route {
  std::string path;  // exact path, without the query
  std::string kind;
  bool needsSession = true;
  Handler handler;
  // The handler answers a status fault itself (with a body the client reads);
  // otherwise the server answers it with an empty body.
  bool answersStatusFaults = false;
};

}  // namespace kexsim
