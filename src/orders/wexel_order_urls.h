// The URLs of the order actions: the words of the value tables and one
// builder per kind. Texts go in unchanged, numbers as the server reads them
// ("%f" six decimals, amounts without decimals). A builder answers the empty
// string when the order cannot be sent: a required price or amount missing
// or 0, an index outside its table, a text that would break the URL, or a URL
// longer than its buffer. Nothing is ever sent with an empty or cut URL.
#pragma once

#include <cstdint>
#include <string>

#include "wexel/wexel_listeners.h"

namespace wexel {

// Everything a plain place order carries.
struct WPlaceOrderFields {
  std::string portfolio;
  std::string exchange;
  std::string security;
  int action = 0;     // 0..5: INVALID BUY SELL SELLSHORT CLOSESHORT CLOSEALL
  int type = 0;       // 0..10: INVALID MARKET LIMIT STOP STOPLIMIT ... TAKESTOP
  int validity = 0;   // 0..2: INVALID DAY GTC
  int condition = 0;  // 0..8: none, FALL RAISE BASIC PORTFOLIO TRAILING SPREAD EXPIRE ICEBERG
  double price = 0;
  double stopPrice = 0;
  double amount = 0;
  std::string conditionExchange;
  std::string conditionSecurity;
  double conditionPrice = 0;
  int fokMode = 0;  // 2 asks for fill-or-kill
  WCookie cookie = 0;
};

struct WTakestopOrderFields {
  std::string portfolio;
  std::string exchange;
  std::string security;
  int action = 0;
  int validity = 0;
  double priceTake = 0;
  double priceLimit = 0;
  double stopPrice = 0;
  double amount = 0;
  WCookie cookie = 0;
};

struct WIcebergOrderFields {
  std::string portfolio;
  std::string exchange;
  std::string security;
  int action = 0;
  int validity = 0;
  double price = 0;
  double amount = 0;
  double amountStep = 0;
};

struct WExpireOrderFields {
  std::string portfolio;
  std::string exchange;
  std::string security;
  double amount = 0;
};

// Cancel kinds 0..4 name the condition words BASIC..EXPIRE; 5 is an iceberg.
inline constexpr int kCancelIceberg = 5;

// Buffer sizes of the URLs, terminator included.
inline constexpr size_t kPlaceUrlSize = 1024;
inline constexpr size_t kActionUrlSize = 256;

const char* orderActionWord(int action);
const char* orderTypeWord(int type);
const char* orderValidityWord(int validity);
const char* orderConditionWord(int condition);

std::string placeOrderUrl(const WPlaceOrderFields& order);
std::string takestopOrderUrl(const WTakestopOrderFields& order);
std::string icebergOrderUrl(const WIcebergOrderFields& order);
std::string expireOrderUrl(const WExpireOrderFields& order);
std::string moveOrderUrl(const std::string& portfolio, int64_t orderNo, double price, int forced);
std::string cancelOrderUrl(const std::string& portfolio, const std::string& exchange, const std::string& security,
                           int orderKind, int64_t orderNo);
std::string orderErrorUrl(int64_t orderNo);

}  // namespace wexel
