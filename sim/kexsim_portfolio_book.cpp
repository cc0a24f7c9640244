#include "kexsim_portfolio_book.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace kexsim {
namespace {

using SecurityKey = std::pair<std::string, std::string>;

// Both sides of the position open now: what was bought and what was sold.
struct Lot {
  double net = 0;
  double boughtVolume = 0;
  double boughtValue = 0;
  double soldVolume = 0;
  double soldValue = 0;
  int64_t openingOrder = 0;
  uint64_t lastTime = 0;

  double averagePrice() const {
    if (net > 0) return boughtValue / boughtVolume;
    if (net < 0) return soldValue / soldVolume;
    return 0;
  }
  void add(bool buy, double volume, double price) {
    (buy ? boughtVolume : soldVolume) += volume;
    (buy ? boughtValue : soldValue) += volume * price;
    net += buy ? volume : -volume;
  }
};

class BookBuilder {
 public:
  explicit BookBuilder(const PortfolioSettings& settings) { book_.money.cash = settings.startingCash; }

  void trade(const SimTrade& trade, double commissionRate);
  PortfolioBook finish(const std::vector<SimOrder>& orders);

 private:
  void close(Lot& lot, const SecurityKey& key, const SimTrade& trade);

  PortfolioBook book_;
  std::map<SecurityKey, Lot> lots_;
};

void BookBuilder::trade(const SimTrade& trade, double commissionRate) {
  const bool buy = buysOn(trade.action);
  const double value = trade.price * trade.volume;
  PortfolioMoney& money = book_.money;
  money.cash += buy ? -value : value;
  money.commission += value * commissionRate;
  money.cash -= value * commissionRate;
  money.time = trade.time;

  SecurityKey key{trade.exchange, trade.symbol};
  Lot& lot = lots_[key];
  lot.lastTime = trade.time;
  double left = trade.volume;
  if (lot.net != 0 && (lot.net > 0) != buy) {
    double closing = std::min(left, std::abs(lot.net));
    lot.add(buy, closing, trade.price);
    left -= closing;
    if (lot.net == 0) close(lot, key, trade);
  }
  if (left > 0) {
    if (lot.net == 0) lot.openingOrder = trade.orderNumber;
    lot.add(buy, left, trade.price);
  }
}

void BookBuilder::close(Lot& lot, const SecurityKey& key, const SimTrade& trade) {
  ClosedPosition closed;
  closed.exchange = key.first;
  closed.symbol = key.second;
  closed.amount = lot.boughtVolume;
  closed.buyPrice = lot.boughtValue / lot.boughtVolume;
  closed.sellPrice = lot.soldValue / lot.soldVolume;
  closed.time = trade.time;
  closed.openingOrder = lot.openingOrder;
  closed.closingOrder = trade.orderNumber;
  book_.closed.push_back(std::move(closed));
  lot = Lot{0, 0, 0, 0, 0, 0, trade.time};
}

PortfolioBook BookBuilder::finish(const std::vector<SimOrder>& orders) {
  std::map<SecurityKey, double> unfilled;
  for (const SimOrder& order : orders) {
    if (!order.active()) continue;
    double rest = order.amount - order.filled;
    unfilled[{order.exchange, order.symbol}] += buysOn(order.action) ? rest : -rest;
  }
  for (const auto& [key, lot] : lots_) {
    auto it = unfilled.find(key);
    double pending = it == unfilled.end() ? 0 : it->second;
    PortfolioPosition position;
    position.exchange = key.first;
    position.symbol = key.second;
    position.amount = lot.net;
    position.planned = lot.net + pending;
    position.averagePrice = lot.averagePrice();
    position.time = lot.lastTime;
    book_.positions.push_back(std::move(position));
    book_.money.saldo += lot.net * lot.averagePrice();
  }
  book_.money.saldo += book_.money.cash;
  return std::move(book_);
}

}  // namespace

bool buysOn(int32_t action) { return action == 1 || action == 4; }

PortfolioBook bookOf(const std::vector<SimOrder>& orders, const std::vector<SimTrade>& trades,
                     const PortfolioSettings& settings) {
  BookBuilder builder(settings);
  for (const SimTrade& trade : trades) builder.trade(trade, settings.commissionRate);
  return builder.finish(orders);
}

}  // namespace kexsim
