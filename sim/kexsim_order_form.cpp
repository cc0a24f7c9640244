#include "kexsim_order_form.h"

#include <cerrno>
#include <cstdlib>

#include "kexsim_http.h"

namespace kexsim {
namespace {

// The client's value tables: a word's position is its number.
constexpr const char* kActions[] = {"INVALID", "BUY", "SELL", "SELLSHORT", "CLOSESHORT", "CLOSEALL"};
constexpr const char* kTypes[] = {"INVALID", "MARKET", "LIMIT", "STOP", "STOPLIMIT", "INTELLIMIT",
                                  "INTELMARKET", "ICEBERG", "EXPIRATION", "REPO", "TAKESTOP"};
constexpr const char* kValidities[] = {"INVALID", "DAY", "GTC"};
constexpr const char* kConditions[] = {"INVALID", "FALL", "RAISE", "BASIC", "PORTFOLIO",
                                       "TRAILING", "SPREAD", "EXPIRE", "ICEBERG"};

constexpr int32_t kIcebergType = 7;
constexpr int32_t kExpiryType = 8;
constexpr int32_t kTakeStopType = 10;

void readAddress(OrderForm& form, OrderTicket& ticket) {
  ticket.portfolio = form.text("portfolio");
  ticket.exchange = form.text("exchange");
  ticket.symbol = form.text("security");
}

OrderCondition readCondition(OrderForm& form) {
  if (!form.has("cond")) return {};
  return {form.word("cond", kConditions), form.text("cond_exchange"), form.text("cond_security"),
          form.number("cond_price")};
}

}  // namespace

OrderForm::OrderForm(const std::string& query) : values_(parseForm(query)) {}

const std::string* OrderForm::find(const char* name) {
  auto it = values_.find(name);
  if (it != values_.end()) return &it->second;
  wellFormed_ = false;
  return nullptr;
}

std::string OrderForm::text(const char* name) {
  const std::string* value = find(name);
  return value ? *value : std::string();
}

double OrderForm::number(const char* name) {
  const std::string* value = find(name);
  if (value == nullptr) return 0;
  char* end = nullptr;
  double read = std::strtod(value->c_str(), &end);
  if (value->empty() || *end != '\0') wellFormed_ = false;
  return read;
}

int64_t OrderForm::integer(const char* name) {
  const std::string* value = find(name);
  if (value == nullptr) return 0;
  char* end = nullptr;
  errno = 0;
  long long read = std::strtoll(value->c_str(), &end, 10);
  if (value->empty() || *end != '\0' || errno != 0) wellFormed_ = false;
  return read;
}

int32_t OrderForm::wordIn(const char* name, const char* const* words, size_t count) {
  const std::string* value = find(name);
  for (size_t i = 1; value != nullptr && i < count; ++i) {
    if (*value == words[i]) return static_cast<int32_t>(i);
  }
  wellFormed_ = false;
  return 0;
}

uint32_t OrderForm::cookie(const char* name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return 0;
  char* end = nullptr;
  unsigned long long read = std::strtoull(it->second.c_str(), &end, 10);
  return *end == '\0' && read <= UINT32_MAX ? static_cast<uint32_t>(read) : 0;
}

OrderTicket placeTicket(OrderForm& form) {
  OrderTicket ticket;
  readAddress(form, ticket);
  ticket.action = form.word("action", kActions);
  ticket.type = form.word("type", kTypes);
  ticket.validity = form.word("validity", kValidities);
  ticket.price = form.number("price");
  ticket.stop = form.number("stop_price");
  ticket.amount = form.number("amount");
  ticket.condition = readCondition(form);
  ticket.fillOrKill = form.integer("fok") == 1;
  ticket.cookie = form.cookie("ext_order_id");
  ticket.wellFormed = form.wellFormed();
  return ticket;
}

OrderTicket takeStopTicket(OrderForm& form) {
  OrderTicket ticket;
  readAddress(form, ticket);
  ticket.action = form.word("action", kActions);
  ticket.type = kTakeStopType;
  ticket.validity = form.word("validity", kValidities);
  ticket.stop = form.number("stop_price");
  ticket.take = form.number("price_take");
  ticket.price = form.number("price_limit");
  ticket.amount = form.number("amount");
  ticket.cookie = form.cookie("mark_order_id");
  ticket.wellFormed = form.wellFormed();
  return ticket;
}

OrderTicket icebergTicket(OrderForm& form) {
  OrderTicket ticket;
  readAddress(form, ticket);
  ticket.action = form.word("action", kActions);
  ticket.type = kIcebergType;
  ticket.validity = form.word("validity", kValidities);
  ticket.price = form.number("price");
  ticket.amount = form.number("amount");
  ticket.slice = form.number("amount_step");
  ticket.wellFormed = form.wellFormed();
  return ticket;
}

OrderTicket expiryTicket(OrderForm& form) {
  OrderTicket ticket;
  readAddress(form, ticket);
  ticket.type = kExpiryType;
  ticket.amount = form.number("amount");
  ticket.wellFormed = form.wellFormed();
  return ticket;
}

}  // namespace kexsim
