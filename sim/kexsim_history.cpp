#include "kexsim_history.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <random>

#include "kexsim_market.h"

namespace kexsim {
namespace {

constexpr std::time_t kMinute = 60;
constexpr std::time_t kDay = 86400;

// Per base: the length of a bar and where its stamp stands from the start of
// the next one (a day ends a second before midnight).
struct BaseShape {
  std::time_t length;
  std::time_t stampOffset;
};
constexpr BaseShape kShapes[] = {{kMinute, 0}, {30 * kMinute, 0}, {kDay, -1}};

std::time_t barEnd(const BaseShape& shape, std::time_t seconds) {
  return seconds - seconds % shape.length + shape.length + shape.stampOffset;
}

void addToBars(std::vector<SimBar>& bars, uint64_t stamp, const SimTick& trade) {
  if (bars.empty() || bars.back().time != stamp) {
    bars.push_back({stamp, trade.price, trade.price, trade.price, trade.price, trade.volume, trade.openInterest});
    return;
  }
  SimBar& bar = bars.back();
  bar.high = std::max(bar.high, trade.price);
  bar.low = std::min(bar.low, trade.price);
  bar.close = trade.price;
  bar.volume += trade.volume;
  bar.openInterest = trade.openInterest;
}

void addToAllBars(std::array<std::vector<SimBar>, 3>& bars, const SimTick& trade, std::time_t seconds) {
  for (size_t base = 0; base < bars.size(); ++base) {
    addToBars(bars[base], packedTime(barEnd(kShapes[base], seconds)), trade);
  }
}

// Appends `later` to `bars`; a bar both hold (the one the market started in)
// becomes one.
void joinBars(std::vector<SimBar>& bars, const std::vector<SimBar>& later) {
  auto rest = later.begin();
  if (!bars.empty() && rest != later.end() && bars.back().time == rest->time) {
    SimBar& bar = bars.back();
    bar.high = std::max(bar.high, rest->high);
    bar.low = std::min(bar.low, rest->low);
    bar.close = rest->close;
    bar.volume += rest->volume;
    bar.openInterest = rest->openInterest;
    ++rest;
  }
  bars.insert(bars.end(), rest, later.end());
}

int dateOf(std::time_t seconds) {
  std::tm f{};
  gmtime_r(&seconds, &f);
  return (f.tm_year + 1900) * 10000 + (f.tm_mon + 1) * 100 + f.tm_mday;
}

struct PastTrade {
  std::time_t seconds;
  SimTick tick;
};

// Walks the price backwards from the anchor, minute by minute, so that the
// newest generated trade is at the anchor's price. Prices stay within half and
// one and a half times the anchor's.
class PastWalk {
 public:
  explicit PastWalk(const HistoryAnchor& anchor)
      : random_(anchor.seed), step_(anchor.priceStep), price_(anchor.price),
        low_(std::max(onStep(anchor.price * 0.5), step_)), high_(onStep(anchor.price * 1.5)),
        openInterest_(anchor.openInterest) {}

  // The trades of one minute, newest first.
  void minute(std::time_t start, std::vector<PastTrade>& trades) {
    std::vector<std::time_t> seconds(2 + draw(4));
    for (std::time_t& second : seconds) second = start + static_cast<std::time_t>(draw(kMinute));
    std::sort(seconds.rbegin(), seconds.rend());
    for (std::time_t second : seconds) {
      double volume = static_cast<double>(1 + draw(50));
      int32_t action = 1 + static_cast<int32_t>(draw(2));
      trades.push_back({second, {packedTime(second), price_, volume, 0, openInterest_, action}});
      double move = static_cast<double>(draw(3)) - 1.0;
      price_ = std::clamp(onStep(price_ + move * step_), low_, high_);
      openInterest_ = std::max(openInterest_ + static_cast<double>(draw(3)) - 1.0, 0.0);
    }
  }

 private:
  uint64_t draw(uint64_t range) { return random_() % range; }
  double onStep(double price) const { return std::round(price / step_) * step_; }

  std::mt19937_64 random_;
  double step_, price_, low_, high_;
  double openInterest_;
};

// Every minute of the `days` days before the start's minute, closed dates
// left out, oldest first and numbered up to the first live trade.
std::vector<PastTrade> generatePast(const HistoryAnchor& anchor, const HistorySettings& settings) {
  const std::time_t end = anchor.start - anchor.start % kMinute;
  const std::time_t begin = end - static_cast<std::time_t>(settings.days) * kDay;
  PastWalk walk(anchor);
  std::vector<PastTrade> trades;
  for (std::time_t minute = end - kMinute; minute >= begin; minute -= kMinute) {
    if (!settings.closedOn(dateOf(minute))) walk.minute(minute, trades);
  }
  std::reverse(trades.begin(), trades.end());
  int64_t number = anchor.firstTradeNumber - static_cast<int64_t>(trades.size());
  for (PastTrade& trade : trades) trade.tick.tradeNumber = number++;
  return trades;
}

uint64_t magnitude(int64_t count) {
  return count < 0 ? 0 - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
}

std::vector<SimBar> selectBars(const std::vector<SimBar>& bars, const BarQuery& query) {
  auto before = [](const SimBar& bar, uint64_t time) { return bar.time < time; };
  auto first = std::lower_bound(bars.begin(), bars.end(), query.from, before);
  if (query.to) {
    auto last = std::lower_bound(first, bars.end(), *query.to, before);
    return {first, last};
  }
  const uint64_t wanted = magnitude(query.count);
  if (query.count >= 0) {
    return {first, first + static_cast<std::ptrdiff_t>(std::min<uint64_t>(wanted, bars.end() - first))};
  }
  auto after = std::upper_bound(bars.begin(), bars.end(), query.from,
                                [](uint64_t time, const SimBar& bar) { return time < bar.time; });
  auto newest = std::make_reverse_iterator(after);
  return {newest, newest + static_cast<std::ptrdiff_t>(std::min<uint64_t>(wanted, after - bars.begin()))};
}

// Appends up to `wanted` trades with time >= from, oldest first.
template <typename Trades>
void takeForward(const Trades& trades, uint64_t from, uint64_t wanted, std::vector<SimTick>& out) {
  auto it = std::lower_bound(trades.begin(), trades.end(), from,
                             [](const SimTick& trade, uint64_t time) { return trade.time < time; });
  for (; it != trades.end() && out.size() < wanted; ++it) out.push_back(*it);
}

// Appends up to `wanted` trades with time <= from, newest first.
template <typename Trades>
void takeBackward(const Trades& trades, uint64_t from, uint64_t wanted, std::vector<SimTick>& out) {
  auto it = std::upper_bound(trades.begin(), trades.end(), from,
                             [](uint64_t time, const SimTick& trade) { return time < trade.time; });
  while (it != trades.begin() && out.size() < wanted) out.push_back(*--it);
}

}  // namespace

SecurityHistory::SecurityHistory(const HistoryAnchor& anchor, const HistorySettings& settings)
    : anchor_(anchor), settings_(settings) {}

void SecurityHistory::record(const SimTick& trade, std::time_t seconds) {
  live_.push_back(trade);
  if (live_.size() > kLiveTradeLimit) live_.pop_front();
  addToAllBars(bars_, trade, seconds);
}

// The past comes before every live trade, so its bars go in front of the live
// ones; only the bars the market started in are shared.
void SecurityHistory::makePast() {
  if (pastMade_) return;
  pastMade_ = true;
  std::array<std::vector<SimBar>, 3> bars;
  for (const PastTrade& trade : generatePast(anchor_, settings_)) {
    past_.push_back(trade.tick);
    addToAllBars(bars, trade.tick, trade.seconds);
  }
  for (size_t base = 0; base < bars.size(); ++base) {
    joinBars(bars[base], bars_[base]);
    bars_[base] = std::move(bars[base]);
  }
}

std::vector<SimBar> SecurityHistory::bars(BarBase base, const BarQuery& query) {
  makePast();
  return selectBars(bars_[static_cast<size_t>(base)], query);
}

std::vector<SimTick> SecurityHistory::trades(const TickQuery& query) {
  makePast();
  const uint64_t wanted = magnitude(query.count);
  std::vector<SimTick> out;
  if (query.count > 0) {
    takeForward(past_, query.from, wanted, out);
    takeForward(live_, query.from, wanted, out);
  } else if (query.count < 0) {
    takeBackward(live_, query.from, wanted, out);
    takeBackward(past_, query.from, wanted, out);
    std::reverse(out.begin(), out.end());
  }
  return out;
}

}  // namespace kexsim
