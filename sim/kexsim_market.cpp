#include "kexsim_market.h"

#include <algorithm>
#include <cmath>

#include "kexsim_record_writer.h"
#include "kexsim_script.h"

namespace kexsim {
namespace {

uint64_t fnv1a(const std::string& text, uint64_t hash = 1469598103934665603ull) {
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

uint64_t securitySeed(uint64_t seed, const Security& security) {
  return seed ^ fnv1a(security.symbol, fnv1a(security.exchange));
}

// Sets the generated past's random sequence apart from the walk's.
constexpr uint64_t kPastSalt = 0x9e3779b97f4a7c15ull;

}  // namespace

std::time_t marketStartTime(const std::string& text) {
  std::tm fields{};
  if (text.empty()) {
    std::time_t now = std::time(nullptr);
    localtime_r(&now, &fields);
  } else {
    uint64_t packed = packedTimeFromText(text);
    auto bcd = [&](int shift, int digits) {
      int value = 0;
      for (int i = digits - 1; i >= 0; --i) value = value * 10 + static_cast<int>((packed >> (shift + 4 * i)) & 15);
      return value;
    };
    fields.tm_year = bcd(48, 4) - 1900;
    fields.tm_mon = bcd(40, 2) - 1;
    fields.tm_mday = bcd(32, 2);
    fields.tm_hour = bcd(24, 2);
    fields.tm_min = bcd(16, 2);
    fields.tm_sec = bcd(8, 2);
  }
  return timegm(&fields);
}

uint64_t packedTime(std::time_t seconds) {
  std::tm f{};
  gmtime_r(&seconds, &f);
  return packTime(f.tm_year + 1900, f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec);
}

int priceDecimals(const Security& security) { return std::clamp(security.decimals, 0, 8); }

MarketWalk::MarketWalk(const Security& security, uint64_t seed, std::time_t start, const HistorySettings& history)
    : random_(securitySeed(seed, security)),
      decimals_(priceDecimals(security)),
      step_(security.priceStep > 0 ? security.priceStep : std::pow(10.0, -decimals_)),
      price_(roundToStep(std::max(security.price, step_ * 10))),
      open_(price_), high_(price_), low_(price_), close_(price_),
      openInterest_(static_cast<double>(1000 + draw(9000))),
      tradeNumber_(static_cast<int64_t>(1000000 + draw(1000000))),
      now_(start),
      marketHistory_({start, price_, step_, tradeNumber_ + 1, openInterest_, securitySeed(seed, security) ^ kPastSalt},
                     history) {
  trade();
  makeBook();
  remember();
}

double MarketWalk::roundToStep(double price) const { return std::round(price / step_) * step_; }

void MarketWalk::step() {
  ++now_;
  ++stepIndex_;
  double move = static_cast<double>(draw(5)) - 2.0;
  price_ = std::max(roundToStep(price_ + move * step_), step_);
  high_ = std::max(high_, price_);
  low_ = std::min(low_, price_);
  trade();
  makeBook();
  remember();
}

void MarketWalk::jumpTo(double price) {
  ++stepIndex_;
  price_ = std::max(roundToStep(price), step_);
  high_ = std::max(high_, price_);
  low_ = std::min(low_, price_);
  trade();
  makeBook();
  remember();
}

void MarketWalk::remember() {
  SimQuote q = quote();
  history_.push_back({stepIndex_, q.bid, q.ask, q.last, q.time});
  if (history_.size() > kHistory) history_.pop_front();
}

std::vector<StepQuote> MarketWalk::stepsAfter(int64_t step) const {
  std::vector<StepQuote> steps;
  for (const StepQuote& quote : history_) {
    if (quote.step > step) steps.push_back(quote);
  }
  return steps;
}

void MarketWalk::trade() {
  trades_.clear();
  int count = 1 + static_cast<int>(draw(3));
  for (int i = 0; i < count; ++i) {
    int32_t action = 1 + static_cast<int32_t>(draw(2));
    double price = action == 1 ? price_ + step_ * static_cast<double>(draw(2)) : price_;
    lastSize_ = static_cast<double>(1 + draw(50));
    volume_ += lastSize_;
    openInterest_ += static_cast<double>(draw(3)) - 1.0;
    trades_.push_back({packedTime(now_), price, lastSize_, ++tradeNumber_, openInterest_, action});
    marketHistory_.record(trades_.back(), now_);
  }
}

SimQuote MarketWalk::quote() const {
  SimQuote q{};
  q.open = open_;
  q.high = high_;
  q.low = low_;
  q.close = close_;
  q.last = trades_.empty() ? price_ : trades_.back().price;
  q.size = lastSize_;
  q.volume = volume_;
  q.bid = roundToStep(price_ - step_);
  q.ask = roundToStep(price_ + step_);
  q.bidSize = static_cast<double>(10 + (tradeNumber_ % 90));
  q.askSize = static_cast<double>(10 + ((tradeNumber_ / 7) % 90));
  q.openInterest = openInterest_;
  q.time = packedTime(now_);
  q.volatility = 25.5;
  q.theoreticalPrice = price_;
  q.buyMargin = roundToStep(price_ * 0.15);
  q.sellMargin = roundToStep(price_ * 0.15);
  q.baseMargin = roundToStep(price_ * 0.12);
  q.backedBaseMargin = roundToStep(price_ * 0.12);
  q.lowLimit = roundToStep(close_ * 0.9);
  q.highLimit = roundToStep(close_ * 1.1);
  q.tradingStatus = 1;
  return q;
}

void MarketWalk::makeBook() {
  book_.clear();
  for (int level = 1; level <= kBookDepth; ++level) {
    book_.push_back({true, roundToStep(price_ - step_ * level), static_cast<double>(1 + draw(500))});
  }
  for (int level = 1; level <= kBookDepth; ++level) {
    book_.push_back({false, roundToStep(price_ + step_ * level), static_cast<double>(1 + draw(500))});
  }
}

Market::Market(const Scenario& scenario, uint64_t seed, std::time_t start, int tickMs)
    : scenario_(scenario), seed_(seed), start_(start), tick_(std::max(tickMs, 1)) {}

int64_t Market::currentStep() const {
  return (std::chrono::steady_clock::now() - began_) / tick_;
}

uint64_t Market::now() const { return packedTime(start_ + static_cast<std::time_t>(currentStep())); }

MarketWalk* Market::walkOf(const std::string& exchange, const std::string& symbol) {
  const Security* security = scenario_.findSecurity(exchange, symbol);
  if (security == nullptr) return nullptr;
  auto key = std::make_pair(exchange, symbol);
  auto it = walks_.find(key);
  if (it == walks_.end()) it = walks_.emplace(key, MarketWalk(*security, seed_, start_, scenario_.history)).first;
  MarketWalk& walk = it->second;
  int64_t step = currentStep();
  while (walk.stepIndex() < step) walk.step();
  return &walk;
}

std::optional<MarketView> Market::view(const std::string& exchange, const std::string& symbol) {
  std::lock_guard<std::mutex> lock(mutex_);
  MarketWalk* walk = walkOf(exchange, symbol);
  if (walk == nullptr) return std::nullopt;
  return MarketView{walk->stepIndex(), walk->quote(), walk->trades(), walk->book(), walk->decimals(),
                    scenario_.findSecurity(exchange, symbol)->longQuotes};
}

std::vector<StepQuote> Market::stepsAfter(const std::string& exchange, const std::string& symbol,
                                          int64_t step) {
  std::lock_guard<std::mutex> lock(mutex_);
  MarketWalk* walk = walkOf(exchange, symbol);
  return walk ? walk->stepsAfter(step) : std::vector<StepQuote>{};
}

bool Market::setPrice(const std::string& exchange, const std::string& symbol, double price) {
  std::lock_guard<std::mutex> lock(mutex_);
  MarketWalk* walk = walkOf(exchange, symbol);
  if (walk != nullptr) walk->jumpTo(price);
  return walk != nullptr;
}


std::optional<std::vector<SimBar>> Market::bars(const std::string& exchange, const std::string& symbol,
                                                BarBase base, const BarQuery& query) {
  std::lock_guard<std::mutex> lock(mutex_);
  MarketWalk* walk = walkOf(exchange, symbol);
  if (walk == nullptr) return std::nullopt;
  return walk->history().bars(base, query);
}

std::optional<std::vector<SimTick>> Market::trades(const std::string& exchange, const std::string& symbol,
                                                   const TickQuery& query) {
  std::lock_guard<std::mutex> lock(mutex_);
  MarketWalk* walk = walkOf(exchange, symbol);
  if (walk == nullptr) return std::nullopt;
  return walk->history().trades(query);
}

}  // namespace kexsim
