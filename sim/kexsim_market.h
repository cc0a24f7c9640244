// The market generator: a seeded random walk per security, in simulated time,
// from which the feeds take quotes, trades and order books. The same seed,
// security and start time give the same sequence on every run.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "kexsim_history.h"
#include "kexsim_scenario.h"

namespace kexsim {

struct SimQuote {
  double open, high, low, close, last, size, volume;
  double bid, ask, bidSize, askSize, openInterest;
  uint64_t time;  // packed
  // Carried only by the long layout.
  double volatility, theoreticalPrice;
  double buyMargin, sellMargin, baseMargin, backedBaseMargin;
  double lowLimit, highLimit;
  int32_t tradingStatus;
};

struct SimBookRow {
  bool bid;
  double price;
  double volume;
};

// The best prices of one step, as the matching engine sees them.
struct StepQuote {
  int64_t step;
  double bid;
  double ask;
  double last;
  uint64_t time;  // packed
};

// Simulated clock: seconds since the epoch, read as UTC.
std::time_t marketStartTime(const std::string& text);  // "" = the local time now
uint64_t packedTime(std::time_t seconds);
// The decimals a security's prices are written with.
int priceDecimals(const Security& security);

class MarketWalk {
 public:
  static constexpr int kBookDepth = 5;

  MarketWalk(const Security& security, uint64_t seed, std::time_t start, const HistorySettings& history = {});

  // Moves the market one step (one simulated second): a new price, its trades
  // and a new order book.
  void step();
  // An extra step to the given price, at the same simulated time: tests move
  // the market where they need it.
  void jumpTo(double price);

  int64_t stepIndex() const { return stepIndex_; }
  SimQuote quote() const;
  // The trades of the last step, oldest first (one to three).
  const std::vector<SimTick>& trades() const { return trades_; }
  // Bids from the best down, then asks from the best up.
  const std::vector<SimBookRow>& book() const { return book_; }
  int decimals() const { return decimals_; }
  double priceStep() const { return step_; }
  // The best prices of the recent steps after `step`, oldest first; the walk
  // remembers the last kHistory steps.
  std::vector<StepQuote> stepsAfter(int64_t step) const;

  static constexpr size_t kHistory = 4096;

  // The security's bars and trades, this walk's trades included.
  SecurityHistory& history() { return marketHistory_; }

 private:
  uint64_t draw(uint64_t range) { return random_() % range; }
  double roundToStep(double price) const;
  void trade();
  void makeBook();
  void remember();

  std::mt19937_64 random_;
  int decimals_;
  double step_;
  double price_;
  double open_, high_, low_, close_;
  double volume_ = 0;
  double lastSize_ = 0;
  double openInterest_;
  int64_t tradeNumber_;
  std::time_t now_;
  int64_t stepIndex_ = 0;
  std::vector<SimTick> trades_;
  std::vector<SimBookRow> book_;
  std::deque<StepQuote> history_;
  SecurityHistory marketHistory_;  // last: its anchor is the walk's starting state
};

// What a feed sends about one security at one step.
struct MarketView {
  int64_t step;
  SimQuote quote;
  std::vector<SimTick> trades;
  std::vector<SimBookRow> book;
  int decimals;
  bool longQuotes;
};

// The walks of every security, shared by all feeds so that quotes, trades and
// books of one security agree. The market moves one step per tick of real
// time; a walk is advanced lazily when a feed looks at it.
class Market {
 public:
  Market(const Scenario& scenario, uint64_t seed, std::time_t start, int tickMs);

  // The security's state at the current step; nullopt for an unknown security.
  std::optional<MarketView> view(const std::string& exchange, const std::string& symbol);
  // The best prices of the steps after `step` up to the current one, oldest
  // first; empty for an unknown security.
  std::vector<StepQuote> stepsAfter(const std::string& exchange, const std::string& symbol, int64_t step);
  // Moves the security's market to `price` at once (one extra step); false for
  // an unknown security.
  bool setPrice(const std::string& exchange, const std::string& symbol, double price);
  // The security's bars and trades up to the current step (kexsim_history.h);
  // nullopt for an unknown security.
  std::optional<std::vector<SimBar>> bars(const std::string& exchange, const std::string& symbol, BarBase base,
                                          const BarQuery& query);
  std::optional<std::vector<SimTick>> trades(const std::string& exchange, const std::string& symbol,
                                             const TickQuery& query);
  int64_t currentStep() const;
  // Packed simulated time of the current step.
  uint64_t now() const;
  std::chrono::milliseconds tick() const { return tick_; }

 private:
  const Scenario& scenario_;
  uint64_t seed_;
  std::time_t start_;
  std::chrono::milliseconds tick_;
  // The security's walk brought to the current step; null when unknown.
  // Called with the lock held.
  MarketWalk* walkOf(const std::string& exchange, const std::string& symbol);

  std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
  std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, MarketWalk> walks_;
};

}  // namespace kexsim
