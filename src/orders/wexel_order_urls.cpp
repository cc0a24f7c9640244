#include "orders/wexel_order_urls.h"

#include <cmath>
#include <initializer_list>

#include "core/wexel_text.h"

namespace wexel {

namespace {

// Index → URL word; an index outside a table has no word.
constexpr const char* kActionWords[] = {"INVALID", "BUY", "SELL", "SELLSHORT", "CLOSESHORT", "CLOSEALL"};
constexpr const char* kTypeWords[] = {"INVALID", "MARKET", "LIMIT",   "STOP",       "STOPLIMIT", "INTELLIMIT",
                                      "INTELMARKET", "ICEBERG", "EXPIRATION", "REPO", "TAKESTOP"};
constexpr const char* kValidityWords[] = {"INVALID", "DAY", "GTC"};
constexpr const char* kConditionWords[] = {"INVALID", "FALL",     "RAISE",  "BASIC", "PORTFOLIO",
                                           "TRAILING", "SPREAD", "EXPIRE", "ICEBERG"};

template <size_t N>
const char* wordAt(const char* const (&words)[N], int index) {
  return index >= 0 && static_cast<size_t>(index) < N ? words[index] : nullptr;
}

bool present(double value) { return !std::isnan(value) && value != 0; }
double orZero(double value) { return std::isnan(value) ? 0 : value; }

bool safeTexts(std::initializer_list<const std::string*> texts) {
  for (const std::string* text : texts) {
    if (!isSafeUrlValue(*text)) return false;
  }
  return true;
}

bool allWords(std::initializer_list<const char*> words) {
  for (const char* word : words) {
    if (!word) return false;
  }
  return true;
}

}  // namespace

const char* orderActionWord(int action) { return wordAt(kActionWords, action); }
const char* orderTypeWord(int type) { return wordAt(kTypeWords, type); }
const char* orderValidityWord(int validity) { return wordAt(kValidityWords, validity); }
const char* orderConditionWord(int condition) { return wordAt(kConditionWords, condition); }

std::string placeOrderUrl(const WPlaceOrderFields& o) {
  const char* action = orderActionWord(o.action);
  const char* type = orderTypeWord(o.type);
  const char* validity = orderValidityWord(o.validity);
  const char* condition = orderConditionWord(o.condition);
  if (!allWords({action, type, validity, condition})) return std::string();
  if (!safeTexts({&o.portfolio, &o.exchange, &o.security, &o.conditionExchange, &o.conditionSecurity})) {
    return std::string();
  }
  const int fok = o.fokMode == 2 ? 1 : 0;
  const double stopPrice = orZero(o.stopPrice);
  if (o.condition == 0) {
    return formatBounded(kPlaceUrlSize,
                     "/kx2/place-order.php?portfolio=%s&exchange=%s&security=%s&action=%s&type=%s&validity=%s"
                     "&price=%f&stop_price=%f&amount=%.0f&fok=%d&ext_order_id=%u",
                     o.portfolio.c_str(), o.exchange.c_str(), o.security.c_str(), action, type, validity, o.price,
                     stopPrice, o.amount, fok, static_cast<unsigned>(o.cookie));
  }
  return formatBounded(kPlaceUrlSize,
                   "/kx2/place-order.php?portfolio=%s&exchange=%s&security=%s&action=%s&type=%s&validity=%s"
                   "&price=%f&stop_price=%f&amount=%.0f&cond=%s&cond_exchange=%s&cond_security=%s&cond_price=%f"
                   "&fok=%d&ext_order_id=%u",
                   o.portfolio.c_str(), o.exchange.c_str(), o.security.c_str(), action, type, validity, o.price,
                   stopPrice, o.amount, condition, o.conditionExchange.c_str(), o.conditionSecurity.c_str(),
                   o.conditionPrice, fok, static_cast<unsigned>(o.cookie));
}

std::string takestopOrderUrl(const WTakestopOrderFields& o) {
  const char* action = orderActionWord(o.action);
  const char* validity = orderValidityWord(o.validity);
  if (!allWords({action, validity}) || !safeTexts({&o.portfolio, &o.exchange, &o.security})) return std::string();
  if (!present(o.stopPrice) || !present(o.priceTake)) return std::string();
  return formatBounded(kPlaceUrlSize,
                   "/kx2/place-takestop-order.php?portfolio=%s&exchange=%s&security=%s&action=%s&validity=%s"
                   "&stop_price=%f&price_take=%f&price_limit=%f&amount=%.0f&mark_order_id=%u",
                   o.portfolio.c_str(), o.exchange.c_str(), o.security.c_str(), action, validity, o.stopPrice,
                   o.priceTake, orZero(o.priceLimit), o.amount, static_cast<unsigned>(o.cookie));
}

std::string icebergOrderUrl(const WIcebergOrderFields& o) {
  const char* action = orderActionWord(o.action);
  const char* validity = orderValidityWord(o.validity);
  if (!allWords({action, validity}) || !safeTexts({&o.portfolio, &o.exchange, &o.security})) return std::string();
  if (!present(o.amount) || !present(o.amountStep) || !present(o.price)) return std::string();
  return formatBounded(kPlaceUrlSize,
                   "/kx2/place-iceberg.php?portfolio=%s&exchange=%s&security=%s&action=%s&validity=%s&price=%f"
                   "&amount=%.0f&amount_step=%.0f",
                   o.portfolio.c_str(), o.exchange.c_str(), o.security.c_str(), action, validity, o.price, o.amount,
                   o.amountStep);
}

std::string expireOrderUrl(const WExpireOrderFields& o) {
  if (!safeTexts({&o.portfolio, &o.exchange, &o.security}) || !present(o.amount)) return std::string();
  return formatBounded(kPlaceUrlSize, "/kx2/place-expiry-order.php?portfolio=%s&exchange=%s&security=%s&amount=%.0f",
                   o.portfolio.c_str(), o.exchange.c_str(), o.security.c_str(), o.amount);
}

std::string moveOrderUrl(const std::string& portfolio, int64_t orderNo, double price, int forced) {
  if (!isSafeUrlValue(portfolio)) return std::string();
  return formatBounded(kActionUrlSize, "/kx2/move-order.php?portfolio=%s&orderno=%lld&price=%f&forced=%d",
                   portfolio.c_str(), static_cast<long long>(orderNo), price, forced);
}

std::string cancelOrderUrl(const std::string& portfolio, const std::string& exchange, const std::string& security,
                           int orderKind, int64_t orderNo) {
  if (!safeTexts({&portfolio, &exchange, &security})) return std::string();
  if (orderKind == kCancelIceberg) {
    return formatBounded(kActionUrlSize, "/kx2/cancel-iceberg.php?portfolio=%s&orderno=%lld", portfolio.c_str(),
                     static_cast<long long>(orderNo));
  }
  // Kinds 0..4 are the condition words BASIC..EXPIRE.
  const char* kind = orderKind >= 0 && orderKind < kCancelIceberg ? orderConditionWord(orderKind + 3) : nullptr;
  if (!kind) return std::string();
  return formatBounded(kActionUrlSize,
                   "/kx2/cancel-order.php?portfolio=%s&exchange=%s&security=%s&orderno=%lld&ordertype=%s",
                   portfolio.c_str(), exchange.c_str(), security.c_str(), static_cast<long long>(orderNo), kind);
}

std::string orderErrorUrl(int64_t orderNo) {
  return formatBounded(kActionUrlSize, "/kx2/get-order-error.php?orderno=%lld", static_cast<long long>(orderNo));
}

}  // namespace wexel
