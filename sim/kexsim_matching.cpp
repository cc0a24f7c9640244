#include "kexsim_matching.h"

#include <algorithm>
#include <cmath>

#include "kexsim_order_texts.h"

namespace kexsim {
namespace {

// How an order type executes, by the number of its type word.
struct TypeRule {
  int32_t type;
  bool limited;     // waits for the market to reach its price
  bool stopped;     // waits for the market to cross its stop first
  bool takeStop;    // executes at its take price or at its stop, whichever comes
  bool neverFills;  // an expiry order waits for the expiry, which the session never sees
};

constexpr TypeRule kTypeRules[] = {
    {1, false, false, false, false},  // MARKET
    {2, true, false, false, false},   // LIMIT
    {3, false, true, false, false},   // STOP
    {4, true, true, false, false},    // STOPLIMIT
    {5, true, false, false, false},   // INTELLIMIT
    {6, false, false, false, false},  // INTELMARKET
    {7, true, false, false, false},   // ICEBERG
    {8, false, false, false, true},   // EXPIRATION
    {9, true, false, false, false},   // REPO
    {10, false, false, true, false},  // TAKESTOP
};

const TypeRule* ruleOf(int32_t type) {
  for (const TypeRule& rule : kTypeRules) {
    if (rule.type == type) return &rule;
  }
  return nullptr;
}

bool wholeLots(double amount) { return amount >= 1 && amount == std::floor(amount); }

bool buys(int32_t action) { return action == 1 || action == 4; }

// The price at which the order would execute now: the ask for a buy, the bid for a sell.
double marketFor(const SimOrder& order, const StepQuote& quote) { return buys(order.action) ? quote.ask : quote.bid; }

// Market prices are multiples of the price step computed in doubles, so
// "250.51" from the walk and from a URL may differ in the last bits.
constexpr double kPriceTolerance = 1e-7;

// Whether `price` is at least as good for the order as `limit`.
bool reaches(const SimOrder& order, double price, double limit) {
  return buys(order.action) ? price <= limit + kPriceTolerance : price >= limit - kPriceTolerance;
}

bool crossesStop(const SimOrder& order, double price) {
  return buys(order.action) ? price >= order.stop - kPriceTolerance : price <= order.stop + kPriceTolerance;
}

// Whether the order executes at `price`; a stop order's stop is remembered
// once crossed, so a stop-limit keeps waiting for its limit afterwards.
bool executes(SimOrder& order, double price) {
  const TypeRule& rule = *ruleOf(order.type);
  if (rule.neverFills) return false;
  if (rule.takeStop) return reaches(order, price, order.take) || crossesStop(order, price);
  if (rule.stopped && !order.triggered) {
    if (!crossesStop(order, price)) return false;
    order.triggered = true;
  }
  return !rule.limited || reaches(order, price, order.price);
}

}  // namespace

MatchingEngine::MatchingEngine(const Scenario& scenario, Market& market) : scenario_(scenario), market_(market) {
  for (const auto& [portfolio, count] : scenario.portfolio.syntheticOrders) {
    if (const User* owner = scenario.ownerOf(portfolio)) addSyntheticOrders(owner->login, portfolio, count);
  }
}

void MatchingEngine::addSyntheticOrders(const std::string& login, const std::string& portfolio, int count) {
  if (scenario_.securities.empty()) return;
  const Security& security = scenario_.securities.front();
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < count; ++i) {
    OrderTicket ticket;
    ticket.portfolio = portfolio;
    ticket.exchange = security.exchange;
    ticket.symbol = security.symbol;
    ticket.action = i % 2 == 0 ? 1 : 2;
    ticket.type = 2;
    ticket.validity = 1;
    ticket.price = security.price;
    ticket.amount = 1 + i % 10;
    ticket.cookie = static_cast<uint32_t>(i + 1);
    SimOrder order = newOrder(login, ticket);
    order.state = OrderState::kCancelled;
    orders_.push_back(std::move(order));
  }
  ++changes_;
}

bool MatchingEngine::ownsPortfolio(const std::string& login, const std::string& portfolio) const {
  const User* user = scenario_.findUser(login);
  if (user == nullptr) return false;
  return std::any_of(user->portfolios.begin(), user->portfolios.end(),
                     [&](const PortfolioEntry& entry) { return entry.name == portfolio; });
}

bool MatchingEngine::validPrice(const SecurityKey& key, double price) const {
  const Security* security = scenario_.findSecurity(key.first, key.second);
  if (!(price > 0) || security == nullptr) return false;
  double steps = price / (security->priceStep > 0 ? security->priceStep : 1);
  return std::abs(steps - std::round(steps)) < 1e-6;
}

// The reason a well-addressed order is refused; "" when it is accepted.
std::string MatchingEngine::refusalOf(const OrderTicket& ticket) const {
  const TypeRule* rule = ruleOf(ticket.type);
  if (!ticket.wellFormed || rule == nullptr) return order_text::kBadParameters;
  SecurityKey key{ticket.exchange, ticket.symbol};
  if (scenario_.findSecurity(key.first, key.second) == nullptr) return order_text::kUnknownSecurity;
  if (ticket.condition.kind != 0 &&
      scenario_.findSecurity(ticket.condition.exchange, ticket.condition.symbol) == nullptr) {
    return order_text::kUnknownSecurity;
  }
  if (!wholeLots(ticket.amount) || (ticket.slice != 0 && !wholeLots(ticket.slice))) return order_text::kBadAmount;
  bool pricesValid = (!rule->limited || validPrice(key, ticket.price)) &&
                     (!(rule->stopped || rule->takeStop) || validPrice(key, ticket.stop)) &&
                     (!rule->takeStop || validPrice(key, ticket.take));
  return pricesValid ? "" : order_text::kBadPrice;
}

SimOrder MatchingEngine::newOrder(const std::string& login, const OrderTicket& ticket) {
  int64_t index = static_cast<int64_t>(orders_.size());
  SimOrder order;
  order.number = kFirstOrderNumber + index;
  order.id = kFirstOrderId + index;
  order.cookie = ticket.cookie;
  order.login = login;
  order.portfolio = ticket.portfolio;
  order.exchange = ticket.exchange;
  order.symbol = ticket.symbol;
  order.action = ticket.action;
  order.type = ticket.type;
  order.validity = ticket.validity;
  order.price = ticket.price;
  order.stop = ticket.stop;
  order.amount = ticket.amount;
  order.take = ticket.take;
  order.slice = ticket.slice;
  order.condition = ticket.condition;
  order.time = market_.now();
  return order;
}

OrderOutcome MatchingEngine::reject(SimOrder order, const std::string& text) {
  order.state = OrderState::kRejected;
  order.error = text;
  order.errorTime = order.time;
  orders_.push_back(std::move(order));
  ++changes_;
  return {orders_.back().number, text};
}

OrderOutcome MatchingEngine::place(const std::string& login, const OrderTicket& ticket) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!ownsPortfolio(login, ticket.portfolio)) return {0, order_text::kUnknownPortfolio};
  catchUp();
  SimOrder order = newOrder(login, ticket);
  std::string refusal = refusalOf(ticket);
  if (!refusal.empty()) return reject(std::move(order), refusal);
  SecurityKey key{order.exchange, order.symbol};
  std::optional<StepQuote> quote = quoteNow(key);
  order.time = quote->time;
  order.state = conditionHolds(order) ? OrderState::kOpen : OrderState::kPending;
  orders_.push_back(std::move(order));
  SimOrder& placed = orders_.back();
  if (placed.state == OrderState::kOpen) evaluate(placed, *quote);
  if (ticket.fillOrKill && placed.active()) placed.state = OrderState::kKilled;
  if (placed.active()) rest(placed);
  ++changes_;
  return {placed.number, ""};
}

SimOrder* MatchingEngine::find(const std::string& login, const std::string& portfolio, int64_t number) {
  int64_t index = number - kFirstOrderNumber;
  if (index < 0 || index >= static_cast<int64_t>(orders_.size())) return nullptr;
  SimOrder& order = orders_[static_cast<size_t>(index)];
  return order.login == login && order.portfolio == portfolio ? &order : nullptr;
}

OrderOutcome MatchingEngine::refuse(SimOrder& order, const std::string& text) {
  order.error = text;
  order.errorTime = market_.now();
  ++changes_;
  return {order.number, text};
}

OrderOutcome MatchingEngine::move(const std::string& login, const std::string& portfolio, int64_t number,
                                  double price) {
  std::lock_guard<std::mutex> lock(mutex_);
  catchUp();
  SimOrder* order = find(login, portfolio, number);
  if (order == nullptr) return {number, order_text::kUnknownOrder};
  if (!order->active()) return refuse(*order, order_text::kNotActive);
  SecurityKey key{order->exchange, order->symbol};
  if (!validPrice(key, price)) return refuse(*order, order_text::kBadPrice);
  const TypeRule& rule = *ruleOf(order->type);
  (rule.limited ? order->price : order->stop) = price;
  std::optional<StepQuote> quote = quoteNow(key);
  order->time = quote->time;
  if (order->state != OrderState::kPending) evaluate(*order, *quote);
  if (!order->active()) dropFromBook(*order);
  ++changes_;
  return {order->number, ""};
}

OrderOutcome MatchingEngine::cancel(const std::string& login, const std::string& portfolio, int64_t number) {
  std::lock_guard<std::mutex> lock(mutex_);
  catchUp();
  SimOrder* order = find(login, portfolio, number);
  if (order == nullptr) return {number, order_text::kUnknownOrder};
  if (!order->active()) return refuse(*order, order_text::kNotActive);
  order->state = OrderState::kCancelled;
  order->time = market_.now();
  dropFromBook(*order);
  ++changes_;
  return {order->number, order_text::kCancelAccepted};
}

std::optional<OrderNote> MatchingEngine::note(const std::string& login, int64_t number) {
  std::lock_guard<std::mutex> lock(mutex_);
  int64_t index = number - kFirstOrderNumber;
  if (index < 0 || index >= static_cast<int64_t>(orders_.size())) return std::nullopt;
  const SimOrder& order = orders_[static_cast<size_t>(index)];
  if (order.login != login) return std::nullopt;
  return OrderNote{order.number, order.error.empty() ? order.time : order.errorTime, order.error};
}

std::vector<SimOrder> MatchingEngine::orders(const std::string& login, const std::string& portfolio) {
  std::lock_guard<std::mutex> lock(mutex_);
  catchUp();
  std::vector<SimOrder> matching;
  for (const SimOrder& order : orders_) {
    if (order.login == login && order.portfolio == portfolio) matching.push_back(order);
  }
  return matching;
}

std::vector<SimTrade> MatchingEngine::trades(const std::string& login, const std::string& portfolio) {
  std::lock_guard<std::mutex> lock(mutex_);
  catchUp();
  std::vector<SimTrade> matching;
  for (const SimTrade& trade : trades_) {
    if (trade.login == login && trade.portfolio == portfolio) matching.push_back(trade);
  }
  return matching;
}

std::optional<SimOrder> MatchingEngine::order(int64_t number) {
  std::lock_guard<std::mutex> lock(mutex_);
  catchUp();
  int64_t index = number - kFirstOrderNumber;
  if (index < 0 || index >= static_cast<int64_t>(orders_.size())) return std::nullopt;
  return orders_[static_cast<size_t>(index)];
}

uint64_t MatchingEngine::changes() {
  std::lock_guard<std::mutex> lock(mutex_);
  catchUp();
  return changes_;
}

// The security's best prices now; the steps up to now count as matched, so an
// order placed now never meets an older step.
std::optional<StepQuote> MatchingEngine::quoteNow(const SecurityKey& key) {
  std::optional<MarketView> view = market_.view(key.first, key.second);
  if (!view) return std::nullopt;
  int64_t& checked = checkedStep_.try_emplace(key, view->step).first->second;
  checked = std::max(checked, view->step);
  return StepQuote{view->step, view->quote.bid, view->quote.ask, view->quote.last, view->quote.time};
}

void MatchingEngine::catchUp() {
  for (const auto& [key, numbers] : books_) {
    if (!numbers.empty()) catchUp(key);
  }
}

void MatchingEngine::catchUp(const SecurityKey& key) {
  int64_t& checked = checkedStep_[key];
  for (const StepQuote& quote : market_.stepsAfter(key.first, key.second, checked)) {
    matchBook(key, quote);
    checked = quote.step;
  }
  activatePending(key);
}

void MatchingEngine::matchBook(const SecurityKey& key, const StepQuote& quote) {
  for (int64_t number : std::vector<int64_t>(books_[key])) {
    SimOrder& order = orders_[static_cast<size_t>(number - kFirstOrderNumber)];
    if (order.state != OrderState::kPending) evaluate(order, quote);
    if (!order.active()) dropFromBook(order);
  }
}

// Conditions look at another security's market, so they are checked at each
// look rather than at each step; an order whose condition holds meets the
// market as it is now.
void MatchingEngine::activatePending(const SecurityKey& key) {
  for (int64_t number : std::vector<int64_t>(books_[key])) {
    SimOrder& order = orders_[static_cast<size_t>(number - kFirstOrderNumber)];
    if (order.state != OrderState::kPending || !conditionHolds(order)) continue;
    order.state = OrderState::kOpen;
    evaluate(order, *quoteNow(key));
    if (!order.active()) dropFromBook(order);
    ++changes_;
  }
}

void MatchingEngine::rest(SimOrder& order) { books_[{order.exchange, order.symbol}].push_back(order.number); }

void MatchingEngine::dropFromBook(const SimOrder& order) {
  auto book = books_.find({order.exchange, order.symbol});
  if (book != books_.end()) std::erase(book->second, order.number);
}

void MatchingEngine::evaluate(SimOrder& order, const StepQuote& quote) {
  double price = marketFor(order, quote);
  if (executes(order, price)) fill(order, price, quote.time);
}

// A conditional order waits for the last price of its condition's security.
bool MatchingEngine::conditionHolds(const SimOrder& order) {
  const OrderCondition& condition = order.condition;
  if (condition.kind != 1 && condition.kind != 2) return true;
  std::optional<MarketView> view = market_.view(condition.exchange, condition.symbol);
  if (!view) return false;
  return condition.kind == 1 ? view->quote.last <= condition.price : view->quote.last >= condition.price;
}

void MatchingEngine::fill(SimOrder& order, double price, uint64_t time) {
  double left = order.amount - order.filled;
  double volume = order.slice > 0 ? std::min(order.slice, left) : left;
  order.filled += volume;
  order.state = order.filled >= order.amount ? OrderState::kFilled : OrderState::kPartial;
  order.time = time;
  int64_t number = kFirstTradeNumber + static_cast<int64_t>(trades_.size());
  trades_.push_back({number, order.number, order.login, order.portfolio, order.exchange, order.symbol,
                     order.action, price, volume, time});
  ++changes_;
}

}  // namespace kexsim
