#include "kexsim_portfolio_stream.h"

#include <map>
#include <optional>
#include <sstream>
#include <utility>

#include "kexsim_portfolio_view.h"

namespace kexsim {
namespace {

using Records = std::vector<std::string>;

// How often the stream looks at the exchange's change counter.
constexpr int kPollMs = 20;

std::string typed(int type, const std::string& entry) { return smallPrefix(type) + entry; }

class PortfolioStream {
 public:
  PortfolioStream(Exchange& exchange, std::string portfolio, bool timed)
      : exchange_(exchange), server_(exchange.server), portfolio_(std::move(portfolio)), timed_(timed) {}

  void run();

 private:
  // Records of what differs from what was sent, remembering it as sent. The
  // first call sends everything, money first; later calls put the money last.
  Records changes(bool opening);
  void addOrders(const PortfolioSnapshot& snapshot, Records& records);
  void addTrades(const PortfolioSnapshot& snapshot, Records& records);
  void addPositions(const PortfolioBook& book, Records& records);
  void addClosed(const PortfolioBook& book, Records& records);
  void addMoney(const PortfolioMoney& money, Records& records);
  void receive(const std::string& bytes);
  void onLine(const std::string& line);
  // A stalled stream (fault "stall") sends its opening records and then
  // nothing, keep-alive answers included.
  bool send(Records records) {
    if (records.empty() || stalled_) return true;
    stalled_ = exchange_.fault.type == FaultType::kStall;
    return exchange_.reply.sendRecords(std::move(records));
  }

  Exchange& exchange_;
  ServerContext& server_;
  std::string portfolio_;
  bool timed_;
  uint64_t seenChanges_ = 0;
  std::map<int64_t, std::string> sentOrders_;  // by order number: the record last sent
  size_t sentTrades_ = 0;                      // a portfolio's trades only grow
  std::map<std::pair<std::string, std::string>, PortfolioPosition> sentPositions_;
  size_t sentClosed_ = 0;                      // so do its closed positions
  std::optional<PortfolioMoney> sentMoney_;
  std::string partialLine_;
  bool stalled_ = false;
};

void PortfolioStream::run() {
  Reply& reply = exchange_.reply;
  if (!reply.sendHead(200, "application/octet-stream")) return;
  seenChanges_ = server_.matching.changes();
  Records opening = changes(true);
  if (server_.scenario.portfolio.extraRecords) {
    for (std::string& record : extraPortfolioRecords(portfolio_, server_.market.now())) {
      opening.push_back(std::move(record));
    }
  }
  if (!send(std::move(opening))) return;
  receive(exchange_.rest);
  char buffer[4096];
  while (reply.open()) {
    int ready = exchange_.connection.waitReadable(kPollMs);
    if (ready < 0) break;
    if (ready > 0) {
      long n = exchange_.connection.read(buffer, sizeof buffer);
      if (n <= 0) break;
      receive(std::string(buffer, static_cast<size_t>(n)));
    }
    uint64_t now = server_.matching.changes();
    if (now != seenChanges_) {
      seenChanges_ = now;
      send(changes(false));
    }
  }
}

Records PortfolioStream::changes(bool opening) {
  PortfolioSnapshot snapshot = snapshotOf(server_, exchange_.login, portfolio_);
  Records records;
  if (opening) addMoney(snapshot.book.money, records);
  addOrders(snapshot, records);
  addTrades(snapshot, records);
  addPositions(snapshot.book, records);
  addClosed(snapshot.book, records);
  if (!opening) addMoney(snapshot.book.money, records);
  return records;
}

void PortfolioStream::addOrders(const PortfolioSnapshot& snapshot, Records& records) {
  for (const SimOrder& order : snapshot.orders) {
    std::string record = typed(kOrderRecord, orderEntry(order, server_.scenario));
    std::string& sent = sentOrders_[order.number];
    if (record == sent) continue;
    sent = record;
    records.push_back(std::move(record));
  }
}

void PortfolioStream::addTrades(const PortfolioSnapshot& snapshot, Records& records) {
  for (; sentTrades_ < snapshot.trades.size(); ++sentTrades_) {
    records.push_back(typed(kTradeRecord, tradeEntry(snapshot.trades[sentTrades_], server_.scenario)));
  }
}

void PortfolioStream::addPositions(const PortfolioBook& book, Records& records) {
  for (const PortfolioPosition& position : book.positions) {
    auto [it, added] = sentPositions_.try_emplace({position.exchange, position.symbol}, position);
    if (!added && it->second == position) continue;
    it->second = position;
    records.push_back(typed(kPositionRecord, positionEntry(position, timed_)));
  }
}

void PortfolioStream::addClosed(const PortfolioBook& book, Records& records) {
  for (; sentClosed_ < book.closed.size(); ++sentClosed_) {
    records.push_back(typed(kClosedRecord, closedEntry(book.closed[sentClosed_])));
  }
}

void PortfolioStream::addMoney(const PortfolioMoney& money, Records& records) {
  if (sentMoney_ && *sentMoney_ == money) return;
  sentMoney_ = money;
  records.push_back(typed(kMoneyRecord, moneyEntry(money, timed_, server_.market.now())));
}

void PortfolioStream::receive(const std::string& bytes) {
  partialLine_ += bytes;
  size_t end;
  while (exchange_.reply.open() && (end = partialLine_.find('\n')) != std::string::npos) {
    std::string line = partialLine_.substr(0, end);
    partialLine_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) onLine(line);
  }
}

// "PING <n>" asks for a keep-alive record; the stream knows no other line.
void PortfolioStream::onLine(const std::string& line) {
  server_.log.addFeedLine(exchange_.logId, line);
  std::istringstream words(line);
  std::string verb;
  int32_t value = 0;
  if (words >> verb >> value && verb == "PING") send({portfolioKeepAlive(value, server_.market.now())});
}

}  // namespace

void servePortfolioStream(Exchange& exchange) {
  std::vector<std::string> names = queryValues(exchange.request, "portfolio");
  if (names.empty() || !ownsPortfolio(exchange.server.scenario, exchange.login, names.front())) {
    refusePortfolio(exchange);
    return;
  }
  PortfolioStream stream(exchange, names.front(), exchange.request.path == kTimedPortfolioPath);
  stream.run();
}

}  // namespace kexsim
