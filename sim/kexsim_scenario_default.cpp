// The built-in scenario: what `kexsim` serves without --scenario, and what tests
// get unless they bring their own. Written as a scenario file so that it goes
// through the same loader.
#include "kexsim_scenario.h"

namespace kexsim {
namespace {

constexpr const char* kBuiltIn = R"json({
  "version": "Kexora 4.12 (kexsim)",
  "message": "Welcome to kexsim..",
  "update": {"name": "Quarnel3", "version": "3.0", "url": "http://127.0.0.1/quarnel3/update"},
  "users": [
    {"login": "demo", "password": "demo", "portfolios": [
      {"exchange": "MB", "name": "D-10001", "status": 0, "moneyAccount": "MA-10001"},
      {"exchange": "FO", "name": "D-10001F", "status": 0, "moneyAccount": "MA-10001F"}]},
    {"login": "trader", "password": "p@ss w&rd+1", "portfolios": [
      {"exchange": "MB", "name": "T-20002", "status": 1, "moneyAccount": "MA-20002"},
      {"exchange": "MB", "name": "T-20002R", "status": 2, "moneyAccount": ""}]},
    {"login": "blocked", "password": "blocked", "refusal": "Account is blocked.."}
  ],
  "exchanges": [
    {"code": "MB", "description": "Основной рынок"},
    {"code": "FO", "description": "Futures and options"}
  ],
  "news": [
    {"code": "NEWS", "description": "Kexora news"},
    {"code": "MSG", "description": "Сообщения биржи"}
  ],
  "endpoints": [{"type": "DDP"}, {"type": "OMS"}, {"type": "OMS_SSL"}],
  "guideSections": {
    "1": [["MB", "Основной рынок"], ["FO", "Futures and options"]],
    "2": [["S", "Акции"], ["F", "Futures"], ["O", "Options"]],
    "3": [["RUB", "Российский рубль"]]
  },
  "securities": [
    {"exchange": "MB", "extraText2": "TQBR", "type": "S", "symbol": "SBER", "shortName": "Сбербанк",
     "longName": "Сбербанк России ПАО ао", "decimals": 2, "lotSize": 10, "pointValue": 1,
     "priceStep": 0.01, "price": 250.5, "extraText15": "RU0009029540", "extraText19": "R"},
    {"exchange": "MB", "extraText2": "TQBR", "type": "S", "symbol": "GAZP", "shortName": "Газпром",
     "longName": "Газпром ПАО ао", "decimals": 2, "lotSize": 10, "pointValue": 1,
     "priceStep": 0.01, "price": 160.2, "extraText19": "R"},
    {"exchange": "MB", "extraText2": "TQTF", "type": "S", "symbol": "KXRA", "shortName": "Kexora",
     "longName": "Kexora Holding plc", "decimals": 1, "lotSize": 1, "pointValue": 1,
     "priceStep": 0.5, "price": 42.5, "optionalFields": 0},
    {"exchange": "FO", "extraText2": "SPBFUT", "type": "F", "symbol": "RIH5", "shortName": "RTS-3.25",
     "longName": "Фьючерс на индекс РТС, март 2025", "decimals": 0, "lotSize": 1, "extra7": 7,
     "expiry": "20250320184500", "pointValue": 1.3, "priceStep": 10, "extra17": 1.3, "extra18": 17000.5,
     "price": 110000, "longQuotes": true},
    {"exchange": "FO", "extraText2": "SPBOPT", "type": "O", "symbol": "RI110000BC5",
     "shortName": "RTS-3.25M200325CA110000", "longName": "Call option on RTS-3.25, strike 110000",
     "decimals": 0, "lotSize": 1, "expiry": "20250320184500", "strike": 110000, "pointValue": 1.3,
     "priceStep": 10, "price": 2500, "longQuotes": true}
  ],
  "market": {"tickMs": 250}
})json";

}  // namespace

Scenario builtInScenario() { return parseScenario(kBuiltIn); }

}  // namespace kexsim
