#include "kexsim_orders.h"

#include <strings.h>

#include "kexsim_order_form.h"
#include "kexsim_order_texts.h"
#include "kexsim_record_writer.h"

namespace kexsim {
namespace {

using Perform = ActionResult (*)(MatchingEngine& engine, const std::string& login, OrderForm& form);

// The cookie a place request sent, under either of its names.
uint32_t cookieOf(const OrderForm& form) {
  return form.has("ext_order_id") ? form.cookie("ext_order_id") : form.cookie("mark_order_id");
}

template <OrderTicket (*read)(OrderForm&)>
ActionResult place(MatchingEngine& engine, const std::string& login, OrderForm& form) {
  OrderTicket ticket = read(form);
  OrderOutcome outcome = engine.place(login, ticket);
  return {outcome.number, ticket.cookie, outcome.text};
}

ActionResult move(MatchingEngine& engine, const std::string& login, OrderForm& form) {
  std::string portfolio = form.text("portfolio");
  int64_t number = form.integer("orderno");
  double price = form.number("price");
  if (!form.wellFormed()) return {number, 0, order_text::kBadParameters};
  OrderOutcome outcome = engine.move(login, portfolio, number, price);
  return {outcome.number, 0, outcome.text};
}

ActionResult cancel(MatchingEngine& engine, const std::string& login, OrderForm& form) {
  std::string portfolio = form.text("portfolio");
  int64_t number = form.integer("orderno");
  if (!form.wellFormed()) return {number, 0, order_text::kBadParameters};
  OrderOutcome outcome = engine.cancel(login, portfolio, number);
  return {outcome.number, 0, outcome.text};
}

struct OrderAction {
  const char* path;
  const char* tag;
  Perform perform;
};

constexpr OrderAction kActions[] = {
    {"/kx2/place-order.php", "place-order", place<placeTicket>},
    {"/kx2/place-takestop-order.php", "place-order", place<takeStopTicket>},
    {"/kx2/place-iceberg.php", "place-order", place<icebergTicket>},
    {"/kx2/place-expiry-order.php", "place-order", place<expiryTicket>},
    {"/kx2/move-order.php", "move-order", move},
    {"/kx2/cancel-order.php", "cancel-order", cancel},
    {"/kx2/cancel-iceberg.php", "cancel-order", cancel},
};

constexpr const char* kOrderErrorPath = "/kx2/get-order-error.php";

const OrderAction& actionOf(const std::string& path) {
  for (const OrderAction& action : kActions) {
    if (path == action.path) return action;
  }
  return kActions[0];
}

std::string charsetOf(const Exchange& exchange) {
  if (exchange.fault.type == FaultType::kCharset) return exchange.fault.charset;
  return exchange.server.scenario.orders.charset;
}

// Keep-alive for a request that asks for it, on a reply the client reads as a
// normal one (200 or 500); the reply that reaches the limit closes. Answers
// whether the connection stays open.
bool addConnectionFields(const Exchange& exchange, int status, ReplyHead& head) {
  const OrderSettings& settings = exchange.server.scenario.orders;
  bool asked = strcasecmp(exchange.request.header("Connection").c_str(), "keep-alive") == 0;
  if (!asked || (status != 200 && status != 500)) return false;
  int max = settings.keepAliveMax;
  if (max > 0 && exchange.sequence == 1) {
    head.fields.emplace_back("Keep-Alive", "timeout=" + std::to_string(settings.keepAliveTimeout) +
                                               ", max=" + std::to_string(max));
  }
  bool open = max <= 0 || exchange.sequence < max;
  head.connection = open ? "Keep-Alive" : "close";
  return open;
}

}  // namespace

const char* statusFaultText(int status) {
  return status == 403 ? order_text::kForbidden : order_text::kServerError;
}

void sendActionReply(Exchange& exchange, int status, const std::string& tag, const ActionResult& result) {
  std::string charset = charsetOf(exchange);
  ReplyHead head{status, "text/html; charset=" + charset};
  if (exchange.fault.type != FaultType::kOmitOrderNo) {
    head.fields.emplace_back("X-Order-NO", std::to_string(result.number));
  }
  head.fields.emplace_back("X-Order-NO-EXT", std::to_string(result.cookie));
  bool open = addConnectionFields(exchange, status, head);
  std::string body = "<" + tag + ">" + encodeText(result.text, charset) + "</" + tag + ">";
  exchange.keepOpen = exchange.reply.sendText(head, body) && open;
}

namespace {

void serveOrderAction(Exchange& exchange) {
  const OrderAction& action = actionOf(exchange.request.path);
  OrderForm form(exchange.request.query);
  if (exchange.fault.type == FaultType::kStatus) {
    // Refused before it reaches the exchange: the reply names what was asked.
    int64_t number = form.has("orderno") ? form.integer("orderno") : 0;
    sendActionReply(exchange, exchange.fault.status, action.tag,
                    {number, cookieOf(form), statusFaultText(exchange.fault.status)});
    return;
  }
  ActionResult result = action.perform(exchange.server.matching, exchange.login, form);
  sendActionReply(exchange, 200, action.tag, result);
}

void serveOrderError(Exchange& exchange) {
  OrderForm form(exchange.request.query);
  int64_t number = form.integer("orderno");
  std::optional<OrderNote> note = exchange.server.matching.note(exchange.login, number);
  if (!note) note = OrderNote{number, exchange.server.market.now(), order_text::kUnknownOrder};
  std::string charset = charsetOf(exchange);
  if (!exchange.reply.sendHead(200, "application/octet-stream; charset=" + charset)) return;
  RecordWriter record;
  record.int64(note->number).dateTime(note->time).string(encodeText(note->text, charset)).recordEnd();
  exchange.reply.sendRecords({record.take()});
}

}  // namespace

std::vector<Route> orderRoutes() {
  std::vector<Route> routes;
  for (const OrderAction& action : kActions) {
    routes.push_back({action.path, kOrderKind, true, serveOrderAction, true});
  }
  routes.push_back({kOrderErrorPath, kOrderErrorKind, true, serveOrderError});
  return routes;
}

}  // namespace kexsim
