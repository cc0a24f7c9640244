// The small exchange behind the order endpoints: every user's orders and
// trades, and per security a book of resting orders that is matched against
// the simulated market's best prices, step by step.
//
// A buy executes at the ask, a sell at the bid, once its type allows: a market
// order at once, a limit order when the market reaches its price, a stop order
// when the market crosses its stop, a take-stop when the market reaches either
// of its prices. Resting orders are matched lazily: every call looks at the
// market steps that passed since the last one, oldest first, so an order fills
// at the step (and the simulated time) where the market first crossed it.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kexsim_market.h"
#include "kexsim_scenario.h"

namespace kexsim {

// Order states, numbered as the portfolio records carry them.
enum class OrderState : int32_t {
  kPending = 1,    // waits for its condition
  kOpen = 2,       // rests in the book
  kCancelled = 4,
  kFilled = 5,
  kPartial = 6,    // rests with a part filled
  kRejected = 8,   // refused when placed
  kKilled = 9,     // fill-or-kill that could not fill at once
};

// A condition of a conditional order: the order waits until the last price of
// another security has fallen to (kind 1) or risen to (kind 2) a price.
struct OrderCondition {
  int32_t kind = 0;  // 0 none, 1 fall, 2 raise; the other words act at once
  std::string exchange;
  std::string symbol;
  double price = 0;
};

// What a place request asks for, read off its URL.
struct OrderTicket {
  std::string portfolio;
  std::string exchange;
  std::string symbol;
  int32_t action = 0;    // 1 buy, 2 sell, 3 sell short, 4 close short, 5 close all
  int32_t type = 0;      // the type word's number: 1 market, 2 limit, 3 stop, 4 stop-limit, ... 10 take-stop
  int32_t validity = 0;  // 1 day, 2 good till cancelled
  double price = 0;      // limit price (take-stop: its price_limit)
  double stop = 0;
  double take = 0;       // take-stop: the profit price
  double amount = 0;
  double slice = 0;      // iceberg: the most that fills per market step
  OrderCondition condition;
  bool fillOrKill = false;
  uint32_t cookie = 0;   // ext_order_id or mark_order_id
  bool wellFormed = true;  // every word known, every required number read
};

// One order as the portfolio stream reports it.
struct SimOrder {
  int64_t number = 0;   // the X-Order-NO of its replies
  int64_t id = 0;       // the exchange's own id, never equal to a number
  uint32_t cookie = 0;
  std::string login;
  std::string portfolio;
  std::string exchange;
  std::string symbol;
  int32_t action = 0;
  int32_t type = 0;
  int32_t validity = 0;
  OrderState state = OrderState::kOpen;
  double price = 0;
  double stop = 0;
  double amount = 0;
  double filled = 0;
  uint64_t time = 0;    // packed simulated time of its last change
  // How it executes, beyond the reported fields.
  double take = 0;
  double slice = 0;
  bool triggered = false;  // a stop order whose stop the market crossed
  OrderCondition condition;
  // The last refusal about the order (UTF-8), for the order-error query.
  std::string error;
  uint64_t errorTime = 0;

  bool active() const {
    return state == OrderState::kPending || state == OrderState::kOpen || state == OrderState::kPartial;
  }
};

struct SimTrade {
  int64_t number = 0;
  int64_t orderNumber = 0;
  std::string login;
  std::string portfolio;
  std::string exchange;
  std::string symbol;
  int32_t action = 0;
  double price = 0;
  double volume = 0;
  uint64_t time = 0;  // packed
};

// The answer to an order action: the order's number (0 when none was given)
// and the text of the reply, UTF-8, empty on success.
struct OrderOutcome {
  int64_t number = 0;
  std::string text;
};

// The last refusal about an order, as the order-error query reports it.
struct OrderNote {
  int64_t number = 0;
  uint64_t time = 0;
  std::string text;  // UTF-8
};

class MatchingEngine {
 public:
  static constexpr int64_t kFirstOrderNumber = 1000000001;
  static constexpr int64_t kFirstOrderId = 7000001;
  static constexpr int64_t kFirstTradeNumber = 3000000001;

  // Starts with the synthetic orders the scenario gives its portfolios.
  MatchingEngine(const Scenario& scenario, Market& market);

  // A refused order keeps its number (state kRejected) unless its portfolio is
  // not the user's: then there is nowhere to keep it and the number is 0.
  OrderOutcome place(const std::string& login, const OrderTicket& ticket);
  // Changes a resting order's price (a stop order's stop); it may fill at once.
  OrderOutcome move(const std::string& login, const std::string& portfolio, int64_t number, double price);
  OrderOutcome cancel(const std::string& login, const std::string& portfolio, int64_t number);
  // The last refusal about one of the user's orders; nullopt for an order the
  // user does not have. An order never refused has an empty text.
  std::optional<OrderNote> note(const std::string& login, int64_t number);

  // Adds `count` cancelled limit orders to a portfolio (cookies 1, 2, ...), so
  // that its order lists grow long without any matching work.
  void addSyntheticOrders(const std::string& login, const std::string& portfolio, int count);

  // Snapshots after matching what the market did since the last look.
  std::vector<SimOrder> orders(const std::string& login, const std::string& portfolio);
  std::vector<SimTrade> trades(const std::string& login, const std::string& portfolio);
  std::optional<SimOrder> order(int64_t number);
  // Counts every change to orders and trades, so a stream can tell when to look.
  uint64_t changes();

 private:
  using SecurityKey = std::pair<std::string, std::string>;  // exchange, symbol

  bool ownsPortfolio(const std::string& login, const std::string& portfolio) const;
  std::string refusalOf(const OrderTicket& ticket) const;
  bool validPrice(const SecurityKey& key, double price) const;
  SimOrder newOrder(const std::string& login, const OrderTicket& ticket);
  OrderOutcome reject(SimOrder order, const std::string& text);
  SimOrder* find(const std::string& login, const std::string& portfolio, int64_t number);
  OrderOutcome refuse(SimOrder& order, const std::string& text);
  std::optional<StepQuote> quoteNow(const SecurityKey& key);

  void catchUp();
  void catchUp(const SecurityKey& key);
  void matchBook(const SecurityKey& key, const StepQuote& quote);
  void activatePending(const SecurityKey& key);
  void rest(SimOrder& order);
  void evaluate(SimOrder& order, const StepQuote& quote);
  bool conditionHolds(const SimOrder& order);
  void fill(SimOrder& order, double price, uint64_t time);
  void dropFromBook(const SimOrder& order);

  const Scenario& scenario_;
  Market& market_;
  std::mutex mutex_;
  std::vector<SimOrder> orders_;                     // by number - kFirstOrderNumber
  std::vector<SimTrade> trades_;
  std::map<SecurityKey, std::vector<int64_t>> books_;  // numbers of the resting orders
  std::map<SecurityKey, int64_t> checkedStep_;         // the last market step matched
  uint64_t changes_ = 0;
};

}  // namespace kexsim
