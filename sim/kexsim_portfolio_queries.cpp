#include "kexsim_portfolio_queries.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "kexsim_portfolio_stream.h"
#include "kexsim_portfolio_view.h"
#include "kexsim_record_writer.h"

namespace kexsim {
namespace {

using Entries = std::vector<std::string>;

constexpr int kEndKind = 14;
constexpr size_t kMassNameBytes = 33;  // the client keeps the name in 34 bytes

std::string endNibble() { return RecordWriter().recordEnd().take(); }

Entries orderEntries(const Scenario& scenario, const PortfolioSnapshot& snapshot) {
  Entries entries;
  entries.reserve(snapshot.orders.size());
  for (const SimOrder& order : snapshot.orders) entries.push_back(orderEntry(order, scenario));
  return entries;
}

Entries tradeEntries(const Scenario& scenario, const PortfolioSnapshot& snapshot) {
  Entries entries;
  for (const SimTrade& trade : snapshot.trades) entries.push_back(tradeEntry(trade, scenario));
  return entries;
}

Entries closedEntries(const Scenario&, const PortfolioSnapshot& snapshot) {
  Entries entries;
  for (const ClosedPosition& closed : snapshot.book.closed) entries.push_back(closedEntry(closed));
  return entries;
}

Entries realEntries(const std::vector<RealPosition>& positions) {
  Entries entries;
  for (const RealPosition& position : positions) entries.push_back(realPositionEntry(position));
  return entries;
}

using EntryList = Entries (*)(const Scenario&, const PortfolioSnapshot&);

// A single-portfolio list query: the kind in front of every entry, then the end record.
struct ListQuery {
  const char* path;
  const char* kind;
  int recordKind;
  EntryList entries;
};

constexpr ListQuery kListQueries[] = {
    {"/kx2/get-portfolio-mo-zbin.php", kMyOrdersKind, 3, orderEntries},
    {"/kx2/get-portfolio-mt-zbin.php", kMyTradesKind, 2, tradeEntries},
    {"/kx2/get-portfolio-cp-zbin.php", kClosePosKind, 1, closedEntries},
};

constexpr const char* kRealPositionsPath = "/kx2/get-portfolio-rp-zbin.php";
constexpr const char* kMassPath = "/kx2/get-portfolio-all-zbin.php";

// The portfolio a single-portfolio request names, when it is the user's.
std::optional<std::string> ownedPortfolio(Exchange& exchange) {
  std::vector<std::string> names = queryValues(exchange.request, "portfolio");
  if (names.empty() || !ownsPortfolio(exchange.server.scenario, exchange.login, names.front())) {
    refusePortfolio(exchange);
    return std::nullopt;
  }
  return names.front();
}

void sendAll(Exchange& exchange, Entries records) {
  if (exchange.reply.sendHead(200, "application/octet-stream")) exchange.reply.sendRecords(std::move(records));
}

void serveList(Exchange& exchange) {
  const ListQuery& query = *std::find_if(std::begin(kListQueries), std::end(kListQueries),
                                         [&](const ListQuery& q) { return exchange.request.path == q.path; });
  std::optional<std::string> portfolio = ownedPortfolio(exchange);
  if (!portfolio) return;
  PortfolioSnapshot snapshot = snapshotOf(exchange.server, exchange.login, *portfolio);
  Entries records = query.entries(exchange.server.scenario, snapshot);
  const std::string prefix = smallPrefix(query.recordKind);
  for (std::string& record : records) record.insert(0, prefix);
  records.push_back(smallPrefix(kEndKind) + endNibble());
  sendAll(exchange, std::move(records));
}

void serveRealPositions(Exchange& exchange) {
  std::optional<std::string> portfolio = ownedPortfolio(exchange);
  if (!portfolio) return;
  PortfolioSnapshot snapshot = snapshotOf(exchange.server, exchange.login, *portfolio);
  Entries records{smallPrefix(1)};
  for (std::string& entry : realEntries(moneyPositions(exchange.server.scenario, *portfolio, snapshot.book))) {
    records.push_back(std::move(entry));
  }
  records.push_back(smallPrefix(2));
  for (std::string& entry : realEntries(securityPositions(snapshot.book))) records.push_back(std::move(entry));
  records.push_back(smallPrefix(kEndKind));
  records.push_back(endNibble());
  sendAll(exchange, std::move(records));
}

// One list of the mass reply: the name and kind open its first record.
void addMassList(const std::string& portfolio, int kind, Entries entries, Entries& records) {
  RecordWriter opening;
  opening.string(std::string_view(portfolio).substr(0, kMassNameBytes)).small(kind);
  entries.push_back(endNibble());
  entries.front().insert(0, opening.take());
  for (std::string& entry : entries) records.push_back(std::move(entry));
}

void serveMass(Exchange& exchange) {
  const Scenario& scenario = exchange.server.scenario;
  std::vector<std::string> names = queryValues(exchange.request, "portfolio[]");
  for (const std::string& name : names) {
    if (!ownsPortfolio(scenario, exchange.login, name)) {
      refusePortfolio(exchange);
      return;
    }
  }
  Entries records;
  for (const std::string& name : names) {
    PortfolioSnapshot snapshot = snapshotOf(exchange.server, exchange.login, name);
    addMassList(name, 1, orderEntries(scenario, snapshot), records);
    addMassList(name, 2, tradeEntries(scenario, snapshot), records);
    addMassList(name, 3, closedEntries(scenario, snapshot), records);
    Entries real = realEntries(moneyPositions(scenario, name, snapshot.book));
    for (std::string& entry : realEntries(securityPositions(snapshot.book))) real.push_back(std::move(entry));
    addMassList(name, 4, std::move(real), records);
  }
  sendAll(exchange, std::move(records));
}

}  // namespace

std::vector<Route> portfolioRoutes() {
  std::vector<Route> routes{
      {kPortfolioPath, kPortfolioKind, true, servePortfolioStream},
      {kTimedPortfolioPath, kPortfolioKind, true, servePortfolioStream},
      {kRealPositionsPath, kRealPosKind, true, serveRealPositions},
      {kMassPath, kPortfolioMassKind, true, serveMass},
  };
  for (const ListQuery& query : kListQueries) routes.push_back({query.path, query.kind, true, serveList});
  return routes;
}

}  // namespace kexsim
