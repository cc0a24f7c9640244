#include "kexsim_portfolio_records.h"

#include <string_view>

#include "kexsim_record_writer.h"

namespace kexsim {
namespace {

constexpr int kAveragePriceDecimals = 6;
constexpr int kMoneyDecimals = 2;
constexpr int kExtraMoneyFields = 7;  // extra 5 to 11, carried as 0
constexpr size_t kShortTextBytes = 39;  // texts the client keeps in 40 bytes
constexpr uint64_t kDateBits = 0xFFFFFFFF00000000ULL;

int decimalsOf(const Scenario& scenario, const std::string& exchange, const std::string& symbol) {
  const Security* security = scenario.findSecurity(exchange, symbol);
  return security ? security->decimals : 2;
}

std::string_view shortText(const std::string& text) {
  return std::string_view(text).substr(0, kShortTextBytes);
}

// Made-up values of the carried record types, written by layout letters: each
// field gets a value from its running number, so every field differs.
void writeMadeUp(RecordWriter& w, std::string_view letters, int& counter, const std::string& text,
                 uint64_t now) {
  for (char letter : letters) {
    ++counter;
    switch (letter) {
      case 's': w.string(text + "-" + std::to_string(counter)); break;
      case 'l': w.int64(9000000000LL + counter); break;
      case 'i': w.int32(counter); break;
      case 'd': w.decimal(counter + 0.5, 1); break;
      case 't': w.dateTime(now); break;
    }
  }
}

// Type 6: the common head, the fields of its kind, the common tail.
struct Record6Kind {
  int kind;
  const char* fields;
};

constexpr Record6Kind kRecord6Kinds[] = {
    {7, "iid"}, {8, "iiddi"}, {9, "iid"}, {11, "iiii"}, {1, ""},
};

std::string record6(const Record6Kind& kind, const std::string& portfolio, uint64_t now) {
  RecordWriter w;
  int counter = 0;
  w.small(6);
  writeMadeUp(w, "sslt", counter, portfolio, now);
  w.int32(5).int32(kind.kind).int32(7).int32(8);
  writeMadeUp(w, "diiidt", counter, portfolio, now);
  writeMadeUp(w, kind.fields, counter, portfolio, now);
  writeMadeUp(w, "id", counter, portfolio, now);
  return w.recordEnd().take();
}

std::string madeUpRecord(int type, std::string_view letters, const std::string& portfolio, uint64_t now) {
  RecordWriter w;
  int counter = 0;
  w.small(type);
  writeMadeUp(w, letters, counter, portfolio, now);
  return w.recordEnd().take();
}

}  // namespace

std::string moneyEntry(const PortfolioMoney& money, bool timed, uint64_t now) {
  RecordWriter w;
  for (double value : {money.leverage, money.cash, money.commission, money.saldo}) w.decimal(value, kMoneyDecimals);
  for (int i = 0; i < kExtraMoneyFields; ++i) w.decimal(0.0, kMoneyDecimals);
  if (timed) w.dateTime(money.time != 0 ? money.time : now);
  return w.recordEnd().take();
}

std::string orderEntry(const SimOrder& order, const Scenario& scenario) {
  const int decimals = decimalsOf(scenario, order.exchange, order.symbol);
  RecordWriter w;
  w.string(order.exchange).string(order.symbol).int64(order.id);
  w.int32(order.action).int32(order.type).int32(static_cast<int32_t>(order.state));
  w.decimal(order.price, decimals).decimal(order.stop, decimals).decimal(order.amount, 0).decimal(order.filled, 0);
  w.int32(0).string("").decimal(0.0, 0);  // extra 11, extra text 12, extra 13
  w.dateTime(order.time).int64(order.number).int32(order.validity);
  w.int64(order.cookie).int32(order.cookie != 0 ? 1 : 0).string(shortText(order.login));
  return w.recordEnd().take();
}

std::string tradeEntry(const SimTrade& trade, const Scenario& scenario) {
  RecordWriter w;
  w.string(trade.exchange).string(trade.symbol).int32(trade.action);
  w.decimal(trade.price, decimalsOf(scenario, trade.exchange, trade.symbol)).decimal(trade.volume, 0);
  w.dateTime(trade.time).int64(trade.orderNumber).int64(trade.number);
  w.string(shortText(trade.portfolio)).string(shortText(trade.login)).dateTime(trade.time & kDateBits);
  return w.recordEnd().take();
}

std::string positionEntry(const PortfolioPosition& position, bool timed) {
  RecordWriter w;
  w.string(position.exchange).string(position.symbol);
  w.decimal(position.amount, 0).decimal(position.planned, 0).decimal(position.averagePrice, kAveragePriceDecimals);
  if (timed) w.dateTime(position.time);
  return w.recordEnd().take();
}

std::string closedEntry(const ClosedPosition& closed) {
  RecordWriter w;
  w.string(closed.exchange).string(closed.symbol).decimal(closed.amount, 0);
  w.decimal(closed.buyPrice, kAveragePriceDecimals).decimal(closed.sellPrice, kAveragePriceDecimals);
  w.dateTime(closed.time).int64(closed.openingOrder).int64(closed.closingOrder);
  return w.recordEnd().take();
}

std::string realPositionEntry(const RealPosition& position) {
  return RecordWriter().string(position.first).string(position.second).decimal(position.value, kMoneyDecimals)
      .recordEnd().take();
}

std::string smallPrefix(int value) { return RecordWriter().small(value).take(); }

std::string portfolioKeepAlive(int32_t value, uint64_t now) {
  return RecordWriter().small(kMoneyRecord).int32(value).dateTime(now).recordEnd().take();
}

std::vector<std::string> extraPortfolioRecords(const std::string& portfolio, uint64_t now) {
  std::vector<std::string> records;
  for (const Record6Kind& kind : kRecord6Kinds) records.push_back(record6(kind, portfolio, now));
  records.push_back(madeUpRecord(7, "ldt", portfolio, now));
  records.push_back(madeUpRecord(8, "sssliiiidddt", portfolio, now));
  records.push_back(madeUpRecord(9, "sslidtl", portfolio, now));
  return records;
}

}  // namespace kexsim
