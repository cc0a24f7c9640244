#include "kexsim_alerts.h"

#include <string_view>

#include "kexsim_order_form.h"
#include "kexsim_order_texts.h"
#include "kexsim_orders.h"
#include "kexsim_portfolio_view.h"
#include "kexsim_record_writer.h"

namespace kexsim {
namespace {

constexpr const char* kAddPath = "/kx2/add-alert.php";
constexpr const char* kRemovePath = "/kx2/remove-alert.php";
constexpr const char* kListPath = "/kx2/get-alerts-zbin.php";
constexpr const char* kAddTag = "add-alert";
constexpr const char* kRemoveTag = "remove-alert";

// The client's value tables: a word's position is its number.
constexpr const char* kFields[] = {"INVALID", "LAST", "BID", "ASK", "VOLUME"};
constexpr const char* kConditions[] = {"INVALID", "FALL", "RAISE"};

// The client reads texts into buffers of 64 or 256 bytes with their NUL.
constexpr size_t kShortText = 63;
constexpr size_t kLongText = 255;

std::string cut(std::string text, size_t limit) {
  if (text.size() > limit) text.resize(limit);
  return text;
}

// An optional text parameter: "" when absent.
std::string optionalText(OrderForm& form, const char* name) { return form.has(name) ? form.text(name) : ""; }

// Reads an add request; answers the refusal text, "" when the alert is good.
std::string readAlert(Exchange& exchange, OrderForm& form, SimAlert& alert) {
  alert.portfolio = form.text("portfolio");
  alert.exchange = form.text("exchange");
  alert.symbol = form.text("security");
  alert.number = form.integer("alertno");
  alert.value = form.number("cond_value");
  alert.days = static_cast<int32_t>(form.integer("days"));
  alert.flags = static_cast<int32_t>(form.integer("flags"));
  alert.workspace = cut(optionalText(form, "workspace"), kLongText);
  alert.sound = cut(optionalText(form, "sound"), kLongText);
  alert.email = cut(optionalText(form, "email"), kLongText);
  alert.sms = cut(optionalText(form, "sms"), kShortText);
  if (!ownsPortfolio(exchange.server.scenario, exchange.login, alert.portfolio)) return order_text::kUnknownPortfolio;
  if (exchange.server.scenario.findSecurity(alert.exchange, alert.symbol) == nullptr) {
    return order_text::kUnknownSecurity;
  }
  alert.field = form.word("field", kFields);
  if (alert.field <= 0) return alert_text::kBadField;
  alert.condition = form.word("cond", kConditions);
  if (alert.condition <= 0) return alert_text::kBadCondition;
  if (!form.wellFormed() || alert.number < 0) return alert_text::kBadParameters;
  if (alert.number != 0 && !exchange.server.alerts.has(exchange.login, alert.number)) {
    return alert_text::kUnknownAlert;
  }
  return {};
}

void serveAdd(Exchange& exchange) {
  OrderForm form(exchange.request.query);
  if (exchange.fault.type == FaultType::kStatus) {
    int64_t number = form.has("alertno") ? form.integer("alertno") : 0;
    sendActionReply(exchange, exchange.fault.status, kAddTag, {number, 0, statusFaultText(exchange.fault.status)});
    return;
  }
  SimAlert alert;
  std::string refusal = readAlert(exchange, form, alert);
  if (!refusal.empty()) {
    sendActionReply(exchange, 200, kAddTag, {alert.number, 0, refusal});
    return;
  }
  uint64_t now = exchange.server.market.now();
  alert.changed = now;
  alert.added = now;
  if (alert.number != 0) {
    std::vector<SimAlert> earlier = exchange.server.alerts.list(exchange.login, alert.number);
    if (!earlier.empty()) alert.added = earlier.front().added;
  }
  int64_t number = exchange.server.alerts.put(exchange.login, std::move(alert));
  sendActionReply(exchange, 200, kAddTag, {number, 0, ""});
}

void serveRemove(Exchange& exchange) {
  OrderForm form(exchange.request.query);
  std::string portfolio = form.text("portfolio");
  int64_t number = form.integer("alertno");
  if (exchange.fault.type == FaultType::kStatus) {
    sendActionReply(exchange, exchange.fault.status, kRemoveTag, {number, 0, statusFaultText(exchange.fault.status)});
    return;
  }
  const char* refusal = "";
  if (!ownsPortfolio(exchange.server.scenario, exchange.login, portfolio)) {
    refusal = order_text::kUnknownPortfolio;
  } else if (!form.wellFormed()) {
    refusal = alert_text::kBadParameters;
  } else if (!exchange.server.alerts.remove(exchange.login, number)) {
    refusal = alert_text::kUnknownAlert;
  }
  sendActionReply(exchange, 200, kRemoveTag, {number, 0, refusal});
}

std::string alertRecord(const SimAlert& alert) {
  RecordWriter w;
  w.string(cut(alert.exchange, kShortText)).string(cut(alert.symbol, kShortText)).int64(alert.number);
  w.dateTime(alert.added).int32(alert.days).dateTime(alert.changed);
  w.int32(alert.field).int32(alert.condition).int32(alert.flags);
  w.decimal(alert.value, 6);
  w.emptyNumber().emptyNumber();  // not fired: no time, no price
  w.int32(0).int32(0);
  w.string(alert.workspace).string(alert.sound).string(alert.email).string(alert.sms);
  return w.recordEnd().take();
}

void serveList(Exchange& exchange) {
  OrderForm form(exchange.request.query);
  int64_t number = form.has("alertno") ? form.integer("alertno") : 0;
  std::vector<std::string> records;
  for (const SimAlert& alert : exchange.server.alerts.list(exchange.login, number)) {
    records.push_back(alertRecord(alert));
  }
  records.push_back(RecordWriter().recordEnd().take());
  if (exchange.reply.sendHead(200, "application/octet-stream")) exchange.reply.sendRecords(std::move(records));
}

}  // namespace

std::vector<Route> alertRoutes() {
  return {
      {kAddPath, kAddAlertKind, true, serveAdd, true},
      {kRemovePath, kRemoveAlertKind, true, serveRemove, true},
      {kListPath, kAlertsKind, true, serveList},
  };
}

}  // namespace kexsim
