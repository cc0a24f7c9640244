// The market history of one security: bars of 1 minute, 30 minutes and 1 day,
// and the trades behind them. A generated past leads up to the market start;
// every trade of the live walk is added as it is made.
//
// Bars are stamped on their end: a 1-minute bar of [10:05:00, 10:06:00) at
// 10:06:00, a 30-minute bar of [10:00, 10:30) at 10:30:00, the daily bar of a
// date at 23:59:59 of that date. The clock is read as UTC, as the walk's is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <optional>
#include <vector>

#include "kexsim_scenario.h"

namespace kexsim {

struct SimTick {
  uint64_t time;  // packed
  double price;
  double volume;
  int64_t tradeNumber;
  double openInterest;
  int32_t action;  // 1 buy, 2 sell
};

enum class BarBase { kMinute, kHalfHour, kDay };

struct SimBar {
  uint64_t time;  // packed, the bar's end
  double open, high, low, close;
  double volume;
  double openInterest;  // of the bar's last trade
};

// Bars with from <= stamp < to when `to` is set; otherwise the `count` oldest
// bars with stamp >= from (count > 0, ascending) or the -count newest bars with
// stamp <= from (count < 0, newest first). Times are packed.
struct BarQuery {
  uint64_t from = 0;
  std::optional<uint64_t> to;
  int64_t count = 0;
};

// The first `count` trades with time >= from (count > 0) or the last -count
// trades with time <= from (count < 0), oldest first either way.
struct TickQuery {
  uint64_t from = 0;
  int64_t count = 0;
};

// Where the live walk starts. The generated past ends on this price, with
// trade numbers below the first live one and open interest leading to it.
struct HistoryAnchor {
  std::time_t start;
  double price;
  double priceStep;
  int64_t firstTradeNumber;
  double openInterest;
  uint64_t seed;  // of the past's own random sequence
};

class SecurityHistory {
 public:
  // Live trades kept for the tick queries: the latest 200,000 (a few days of a
  // market at its default pace). Bars and the generated past are kept always.
  static constexpr size_t kLiveTradeLimit = 200000;

  SecurityHistory(const HistoryAnchor& anchor, const HistorySettings& settings);

  // A live trade made at `seconds` (simulated clock); trades come in time order.
  void record(const SimTick& trade, std::time_t seconds);
  // The first call of either query generates the past.
  std::vector<SimBar> bars(BarBase base, const BarQuery& query);
  std::vector<SimTick> trades(const TickQuery& query);

 private:
  void makePast();

  HistoryAnchor anchor_;
  HistorySettings settings_;
  bool pastMade_ = false;
  std::vector<SimTick> past_;  // generated, oldest first
  std::deque<SimTick> live_;   // oldest first, at most kLiveTradeLimit
  std::array<std::vector<SimBar>, 3> bars_;  // by BarBase, ascending
};

}  // namespace kexsim
