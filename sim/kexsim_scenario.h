// What the simulated server knows: its users and their portfolios, exchanges,
// news channels, version text, endpoints, the securities guide, market settings
// and scripted feed records. Loaded from a JSON file or taken built in. Every
// text is held in the server's code page (CP1251), as it goes on the wire.
//
// A scenario file (every key optional; kexsim_scenario_default.cpp is a full one):
//   {"users": [{"login", "password", "refusal", "portfolios": [{"exchange", "name",
//               "status", "moneyAccount"}]}],
//    "exchanges": [{"code", "description"}], "news": [{"code", "description"}],
//    "version", "caps", "message", "update": {"name", "version", "url"},
//    "endpoints": [{"type": "DDP" | "OMS" | "OMS_SSL", "url": "" = this server}],
//    "guideSections": {"1": [["first", "second"], ...], "2": [...], "3": [...]},
//    "securities": [{<the names of kexsim_security_fields.cpp>, "optionalFields",
//                    "price", "longQuotes"}],
//    "market": {"tickMs", "start": "YYYYMMDDhhmmss", "firehose": quotes a second (-1: unpaced)},
//    "history": {"days": <days of generated past before the start>,
//                "closed": [["YYYYMMDD", "YYYYMMDD"], ...]},  // date ranges without trades, ends included
//    "orders": {"charset", "keepAliveMax", "keepAliveTimeout"},
//    "portfolio": {"startingCash", "commissionRate", "extraRecords": true | false,
//                  "syntheticOrders": {"<portfolio>": <count>, ...}},
//    "scripts": [{"kind", "first", "second", "records": [[<tokens>], ...]}],
//    "faults": {"<request kind>": {"type", "status", "delayMs", "times", "charset"}}}
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "kexsim_faults.h"

namespace kexsim {

struct PortfolioEntry {
  std::string exchange;
  std::string name;
  int status = 0;  // KxPortfolioStatus numbering
  std::string moneyAccount;
};

struct User {
  std::string login;
  std::string password;
  std::string refusal;  // non-empty: the logon is refused in one piece with this text
  std::vector<PortfolioEntry> portfolios;
};

// An exchange or a news channel: the code the client keeps, then a description.
struct NamedEntry {
  std::string code;
  std::string description;
};

// A url left empty points at this server: "http://127.0.0.1:<plain port>/" for
// DDP and OMS, "https://127.0.0.1:<tls port>/" for OMS_SSL.
struct Endpoint {
  std::string type;
  std::string url;
};

struct UpdateInfo {
  std::string name;
  std::string version;
  std::string url;
};

// One guide record. The numbers in the comments are the wire positions.
struct Security {
  std::string exchange;     // 1
  std::string extraText2;   // 2
  std::string type;         // 3
  std::string symbol;       // 4
  std::string shortName;    // 5
  std::string longName;     // 6
  int32_t extra7 = 0;       // 7
  int32_t decimals = 2;     // 8
  int32_t lotSize = 1;      // 9
  int32_t extra10 = 0;      // 10
  int32_t extra11 = 0;      // 11
  std::string expiry;       // 12, "YYYYMMDDhhmmss" or "" for none
  double strike = 0;        // 13
  double pointValue = 1;    // 14
  std::string extraText15;  // 15, first of the optional run
  double priceStep = 0.01;  // 16
  double extra17 = 0;       // 17
  double extra18 = 0;       // 18
  std::string extraText19;  // 19, one character
  int32_t extra20 = 0, extra21 = 0, extra22 = 0, extra23 = 0;
  double extra24 = 0, extra25 = 0, extra26 = 0;
  int32_t extra27 = 0, extra28 = 0, extra29 = 0;

  // Not on the wire: how many of the 15 optional fields the record carries,
  // where the market walk starts, and which quote layout the feed uses.
  int optionalFields = 15;
  double price = 100;
  bool longQuotes = false;
};

// Exact records for one subscription, sent instead of generated ones when the
// client adds (kind, first key, second key). Each record is a list of field
// tokens (see kexsim_script.h).
struct FeedScript {
  std::string kind;  // "quotes", "trades", "orders", "messages"
  std::string first;
  std::string second;
  std::vector<std::vector<std::string>> records;
};

// How the order endpoints answer.
struct OrderSettings {
  std::string charset = "CP1251";  // of the reply texts: "CP1251", "windows-1251" or "UTF-8"
  int keepAliveMax = 0;            // requests per keep-alive connection; 0: no limit
  int keepAliveTimeout = 15;       // seconds a keep-alive connection may stay idle
};

// How the portfolios' money moves and what their streams carry besides it.
struct PortfolioSettings {
  double startingCash = 1000000;   // every portfolio's cash before its first trade
  double commissionRate = 0.0005;  // of each trade's value, paid from the cash
  bool extraRecords = false;       // a portfolio stream starts with records of types 6 to 9
  // Orders a portfolio holds from the start (cancelled limit orders), for
  // clients that read long lists.
  std::map<std::string, int> syntheticOrders;
};

// The market history generated before the market start (kexsim_history.h).
struct ClosedDays {
  int first;  // YYYYMMDD as a number, both ends included
  int last;
};

struct HistorySettings {
  int days = 10;
  std::vector<ClosedDays> closed;

  bool closedOn(int date) const;  // date: YYYYMMDD as a number
};

struct Scenario {
  std::vector<User> users;
  std::vector<NamedEntry> exchanges;
  std::vector<NamedEntry> news;
  std::string version;  // empty: no "<version>" section
  std::string caps;     // empty: no "<caps>" section
  std::string message;  // empty: no "<message>" section on success
  UpdateInfo update;    // empty name: no "<update>" section
  std::vector<Endpoint> endpoints;
  std::vector<std::pair<std::string, std::string>> guideSections[3];  // sections 1..3
  std::vector<Security> securities;                                    // section 4
  int tickMs = 250;          // period of generated feed updates
  // The quotes feed as a firehose, for benchmarks: 0 off, N quotes a second,
  // -1 as fast as the connection takes them.
  int firehoseRate = 0;
  std::string marketStart;   // "YYYYMMDDhhmmss" of the first generated record; "" = now
  HistorySettings history;
  std::vector<FeedScript> scripts;
  OrderSettings orders;
  PortfolioSettings portfolio;
  std::map<std::string, Fault> faults;  // by request kind, set when the server starts

  const User* findUser(const std::string& login) const;
  // The user holding the portfolio; null when nobody does.
  const User* ownerOf(const std::string& portfolio) const;
  const Security* findSecurity(const std::string& exchange, const std::string& symbol) const;
};

class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Texts in the JSON are UTF-8 and become CP1251. Throws ScenarioError.
Scenario parseScenario(const std::string& json);
Scenario loadScenarioFile(const std::string& path);
// Two exchanges, Latin and Cyrillic names, shares, a future and an option.
Scenario builtInScenario();

}  // namespace kexsim
