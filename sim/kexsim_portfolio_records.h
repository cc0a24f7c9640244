// Records of the portfolio stream and of the portfolio queries. Each entry
// writer gives the fields of one entry closed by the end nibble; what precedes
// them (the stream's record type, a query's kind, the mass reply's portfolio
// name and kind) is a prefix of whole bytes put in front.
//
// Entry layouts (readers of the client: s text, i int32, l int64, d double,
// t date-time; texts are CP1251 bytes):
//   money      d leverage, d cash, d commission, d saldo, d extra 5..11 (seven 0),
//              mode 1: t time of the last trade (the server's time before any)
//   order      s exchange, s symbol, l order id, i action, i type, i state,
//              d price, d stop, d amount, d filled, i 0, s "", d 0, t time,
//              l order number, i validity, l cookie, i 1 with a cookie else 0,
//              s login (at most 39 bytes)
//   trade      s exchange, s symbol, i action, d price, d volume, t time,
//              l order number, l trade number, s portfolio, s login (at most
//              39 bytes each), t the trade's date at 00:00:00
//   position   s exchange, s symbol, d amount (negative when short), d planned,
//              d average price, mode 1: t time of its last trade
//   closed     s exchange, s symbol, d amount, d buy price, d sell price,
//              t time, l opening order number, l closing order number
//   real       s first text, s second text, d value
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kexsim_matching.h"
#include "kexsim_portfolio_book.h"
#include "kexsim_scenario.h"

namespace kexsim {

// Record types of the portfolio stream.
enum PortfolioRecordType : int {
  kMoneyRecord = 0,  // also the keep-alive reply
  kOrderRecord = 1,
  kTradeRecord = 2,
  kPositionRecord = 3,
  kClosedRecord = 4,
};

// One real position of the query: a text pair and a value.
struct RealPosition {
  std::string first;
  std::string second;
  double value = 0;
};

std::string moneyEntry(const PortfolioMoney& money, bool timed, uint64_t now);
std::string orderEntry(const SimOrder& order, const Scenario& scenario);
std::string tradeEntry(const SimTrade& trade, const Scenario& scenario);
std::string positionEntry(const PortfolioPosition& position, bool timed);
std::string closedEntry(const ClosedPosition& closed);
std::string realPositionEntry(const RealPosition& position);

// The small value `value` as one byte: the type or kind that opens a record.
std::string smallPrefix(int value);

// The stream's answer to "PING <value>": type 0, the value, the server's time, end.
std::string portfolioKeepAlive(int32_t value, uint64_t now);

// Records of types 6 to 9, made up for clients that only carry them: type 6 of
// kinds 7, 8, 9, 11 and 1, one of type 7, one of type 8 and one of type 9.
std::vector<std::string> extraPortfolioRecords(const std::string& portfolio, uint64_t now);

}  // namespace kexsim
