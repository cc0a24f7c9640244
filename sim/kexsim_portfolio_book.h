// A portfolio's money and positions as its trades leave them: the cash moves
// with every trade and pays a fixed commission rate, a position is the net of
// the trades per security, and a position that returns to zero becomes a
// closed position.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kexsim_matching.h"
#include "kexsim_scenario.h"

namespace kexsim {

struct PortfolioMoney {
  double leverage = 1;
  double cash = 0;
  double commission = 0;  // paid so far
  double saldo = 0;       // cash plus the open positions at their average prices
  uint64_t time = 0;      // packed time of the last trade; 0 before the first

  bool operator==(const PortfolioMoney&) const = default;
};

struct PortfolioPosition {
  std::string exchange;
  std::string symbol;
  double amount = 0;        // negative for a short position
  double planned = 0;       // amount with the unfilled rest of the active orders
  double averagePrice = 0;  // of the trades that opened it; 0 when flat
  uint64_t time = 0;        // packed time of its last trade

  bool operator==(const PortfolioPosition&) const = default;
};

struct ClosedPosition {
  std::string exchange;
  std::string symbol;
  double amount = 0;  // bought, and sold, while it was open
  double buyPrice = 0;
  double sellPrice = 0;
  uint64_t time = 0;  // of the trade that closed it
  int64_t openingOrder = 0;
  int64_t closingOrder = 0;
};

struct PortfolioBook {
  PortfolioMoney money;
  std::vector<PortfolioPosition> positions;  // every security traded, by exchange and symbol
  std::vector<ClosedPosition> closed;        // in the order they closed
};

// The book of one portfolio from its orders and trades (trades in number order).
PortfolioBook bookOf(const std::vector<SimOrder>& orders, const std::vector<SimTrade>& trades,
                     const PortfolioSettings& settings);

// Whether an action adds to the position (buy, close short) rather than takes from it.
bool buysOn(int32_t action);

}  // namespace kexsim
