#include "history/wexel_prices_cache.h"

#include <arpa/inet.h>

#include <algorithm>
#include <utility>

#include "q3_socket.h"
#include "core/wexel_log.h"
#include "history/wexel_get_bars_request.h"
#include "net/wexel_connection_manager.h"
#include "wexel/wexel_errors.h"

namespace wexel {
namespace {

constexpr char kTextTransmitError[] = "Request transmit error, network problem";
constexpr int kErrorTransmit = -1006;
constexpr int kOldestYear = 1990;

std::string addressOf(const sockaddr_in& server) {
  return q3::ipv4Text(server.sin_addr.s_addr) + ":" + std::to_string(ntohs(server.sin_port));
}

bool byTime(const WHistoryBar& a, const WHistoryBar& b) { return a.time < b.time; }

// Index of the last bar stamped at or before t, or -1.
ptrdiff_t lastAtOrBefore(const std::vector<WHistoryBar>& bars, PackedTime t) {
  auto after = std::upper_bound(bars.begin(), bars.end(), t,
                                [](PackedTime value, const WHistoryBar& bar) { return value < bar.time; });
  return (after - bars.begin()) - 1;
}

// An older base bar joins a bar being built newest first.
void mergeOlder(WHistoryBar& into, const WHistoryBar& bar) {
  into.open = bar.open;
  into.high = std::max(into.high, bar.high);
  into.low = std::min(into.low, bar.low);
  into.volume += bar.volume;
}

// A newer base bar joins a bar being built oldest first.
void mergeNewer(WHistoryBar& into, const WHistoryBar& bar) {
  into.close = bar.close;
  into.openInterest = bar.openInterest;
  into.high = std::max(into.high, bar.high);
  into.low = std::min(into.low, bar.low);
  into.volume += bar.volume;
}

void logPageRequest(PackedTime start, PackedTime end) {
  const WDateTime s = unpackTime(start);
  const WDateTime e = unpackTime(end);
  logInfo("Request price cache page from (%d-%d-%d %d:%d:%d) to (%d-%d-%d %d:%d:%d)", s.year, s.month, s.day, s.hour,
          s.minute, s.second, e.year, e.month, e.day, e.hour, e.minute, e.second);
}

void logCountedRequest(PackedTime from, int count, uint64_t getter) {
  const WDateTime f = unpackTime(from);
  logInfo("Request price cache page from (%d-%d-%d %d:%d:%d) count %d. getter 0x%X", f.year, f.month, f.day, f.hour,
          f.minute, f.second, count, static_cast<unsigned>(getter));
}

// The current time of a request: the stamp of the bar that holds `from`
// (for intraday bars the one that holds the second before it, as base bars
// are stamped on their end). From a day on, the stamp is the end of the
// period (23:59:59), so the day of `from` is included whether the server
// stamps its daily bars at the start or at the end of the day.
PackedTime requestTime(PackedTime from, int interval) { return barStamp(from, interval); }

// A lower bound `to` normalised as the design has it: bar stamp below a day,
// the day's start from a day on.
PackedTime requestBound(PackedTime to, int interval) {
  if (to == 0) return 0;
  if (baseIntervalOf(interval) != kBarDay) return barEnd(addSeconds(to, -1), interval);
  return barEnd(to, interval) & ~static_cast<PackedTime>(0xFFFFFFFF);  // hour, minute, second and low byte cleared
}

}  // namespace

int32_t priceCacheKeyHash(const std::string& exchange, const std::string& security, int baseInterval) {
  static constexpr char kLetters[] = "ABCDEFGHIGKLMNOPQRST";
  std::string key = exchange + security;
  key += baseInterval >= 0 && baseInterval < 20 ? kLetters[baseInterval] : 'A';
  if (key.size() % 12 != 0) key.append(12 - key.size() % 12, '0');
  auto c = [&](size_t i) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(key[i]))); };
  auto mix = [](uint32_t h) { return h * 33u + static_cast<uint32_t>(static_cast<int32_t>(h) >> 27); };
  uint32_t h1 = 352654597u;
  uint32_t h2 = 352654597u;
  for (size_t j = key.size(); j >= 4; j -= 4) {
    h1 = mix(h1) ^ (c(j - 3) + c(j - 4) * 65536u);
    h2 = mix(h2) ^ (c(j - 2) * 65536u + c(j - 1));
  }
  return static_cast<int32_t>(h1 * 1566083941u + h2);
}

size_t WPricesCache::PageKeyHash::operator()(const PageKey& key) const {
  return static_cast<uint32_t>(priceCacheKeyHash(key.exchange, key.security, key.baseInterval));
}

WPricesCache::WPricesCache() = default;
WPricesCache::~WPricesCache() = default;

// ---- requests ------------------------------------------------------------------------

void WPricesCache::requestBars(const std::string& exchange, const std::string& security, int interval,
                               PackedTime from, PackedTime to, int count, WexelHistoryBarsListener* listener,
                               WContext context, WConnectionManager* manager, const sockaddr_in& server) {
  Deliveries out;
  {
    sys::WLock hold(lock_);
    getters_.push_back(Getter{++lastId_, exchange, security, interval, requestTime(from, interval),
                              requestBound(to, interval), count, count < 0, false, false, 0, listener, context, {},
                              manager, server});
    processPending(out);
  }
  deliver(out);
}

void WPricesCache::processPending(Deliveries& out) {
  for (auto it = getters_.begin(); it != getters_.end();) {
    const Step step = advance(*it);
    if (step == Step::kWaiting) {
      ++it;
      continue;
    }
    out.push_back(step == Step::kDone ? answer(*it) : failure(*it, kTextTransmitError, kErrorTransmit));
    it = getters_.erase(it);
  }
}

WPricesCache::Step WPricesCache::advance(Getter& getter) {
  for (;;) {
    if (getter.remaining == 0 && !getter.tail) return Step::kDone;
    if (getter.counted) return Step::kWaiting;
    const WPageRange range = pageRange(getter.current, getter.interval);
    const PageKey key{getter.exchange, getter.security, range.baseInterval};
    CachePage& page = pageFor(key, range);
    if (page.state == PageState::kNew) return sendPageQuery(getter, key, page) ? Step::kWaiting : Step::kFailed;
    if (page.state == PageState::kRequested) return Step::kWaiting;
    if (!getter.tail) {
      getter.emptyRun = page.bars.empty() ? getter.emptyRun + 1 : 0;
      if (getter.emptyRun >= kEmptyPagesBeforeCountedQuery) {
        return sendCountedQuery(getter) ? Step::kWaiting : Step::kFailed;
      }
    }
    if (getter.backward) {
      copyBackward(page, getter);
    } else {
      copyForward(page, getter);
    }
    if (std::exchange(getter.tail, false)) return Step::kDone;
    if (getter.remaining != 0) {
      moveToNextPage(getter, range);
    } else if (getter.to == 0 && lastBarGoesOn(getter, range)) {
      // The count is reached, but the last bar (a 5-minute bar at midnight, a
      // week over New Year) also holds base bars of the next page.
      moveToNextPage(getter, range);
      getter.tail = getter.current != 0;
    }
  }
}

WPricesCache::CachePage& WPricesCache::pageFor(const PageKey& key, const WPageRange& range) {
  PageList& list = pages_[key];
  auto [it, created] = list.try_emplace(range.start);
  if (created) {
    it->second.start = range.start;
    it->second.end = range.end;
    it->second.bars.reserve(static_cast<size_t>(range.capacity));
  }
  return it->second;
}

// The query is registered only once it is on its way: an error reported
// while it is being sent (on this thread, under the lock) finds no query and
// is left to the failed send.
bool WPricesCache::sendPageQuery(Getter& getter, const PageKey& key, CachePage& page) {
  if (!getter.manager) return false;
  const uint64_t id = ++lastId_;
  WHistoryBarsRequestFactory factory(&receiver_, getter.server, key.exchange, key.security, key.baseInterval,
                                     page.start, page.end, 0, id);
  if (!factory.valid()) return false;
  logPageRequest(page.start, page.end);
  if (!getter.manager->createAndSend(factory, nullptr, true)) return false;
  queries_.emplace(id, Query{false, key, page.start, 0, addressOf(getter.server), std::chrono::steady_clock::now()});
  page.state = PageState::kRequested;
  return true;
}

// The counted query asks for the remaining bars in the request's own interval,
// so that the server's count covers them in base bars.
bool WPricesCache::sendCountedQuery(Getter& getter) {
  getter.counted = true;
  if (!getter.manager) return false;
  const int interval = getter.interval >= kBarTick && getter.interval <= kBarYear ? getter.interval : kBar1Min;
  const uint64_t id = ++lastId_;
  WHistoryBarsRequestFactory factory(&receiver_, getter.server, getter.exchange, getter.security, interval,
                                     getter.current, 0, getter.remaining, id);
  if (!factory.valid()) return false;
  logCountedRequest(getter.current, getter.remaining, getter.id);
  if (!getter.manager->createAndSend(factory, nullptr, true)) return false;
  queries_.emplace(id, Query{true, {}, 0, getter.id, addressOf(getter.server), std::chrono::steady_clock::now()});
  return true;
}

// ---- copying from a page --------------------------------------------------------------

// Newest first, from the last bar at or before the current time. A base bar
// whose stamp is the last result bar's joins it, also across a page boundary.
void WPricesCache::copyBackward(const CachePage& page, Getter& getter) {
  bool taken = false;
  for (ptrdiff_t i = lastAtOrBefore(page.bars, getter.current); i >= 0; --i) {
    const WHistoryBar& bar = page.bars[static_cast<size_t>(i)];
    const PackedTime stamp = barStamp(bar.time, getter.interval);
    if (!getter.result.empty() && getter.result.back().time == stamp) {
      mergeOlder(getter.result.back(), bar);
      continue;
    }
    if (getter.to != 0 && getter.to >= stamp) {
      getter.remaining = 0;
      return;
    }
    if (getter.to == 0 && getter.remaining == 0 && (taken || getter.tail)) return;
    getter.result.push_back(bar);
    getter.result.back().time = stamp;
    ++getter.remaining;
    taken = true;
  }
}

// Oldest first, from the last bar at or before the current time (the first
// bar when there is none).
void WPricesCache::copyForward(const CachePage& page, Getter& getter) {
  bool taken = false;
  const ptrdiff_t first = std::max<ptrdiff_t>(lastAtOrBefore(page.bars, getter.current), 0);
  for (size_t i = static_cast<size_t>(first); i < page.bars.size(); ++i) {
    const WHistoryBar& bar = page.bars[i];
    const PackedTime stamp = barStamp(bar.time, getter.interval);
    if (!getter.result.empty() && getter.result.back().time == stamp) {
      mergeNewer(getter.result.back(), bar);
      continue;
    }
    if (getter.to != 0 && stamp >= getter.to) {
      getter.remaining = 0;
      return;
    }
    if (getter.to == 0 && getter.remaining == 0 && (taken || getter.tail)) return;
    getter.result.push_back(bar);
    getter.result.back().time = stamp;
    --getter.remaining;
    taken = true;
  }
}

// Backwards to the second before the page, forwards to its end. A request
// also ends at its bound, before 1990, and where time cannot move on (the
// ends of the packed calendar).
void WPricesCache::moveToNextPage(Getter& getter, const WPageRange& range) {
  const PackedTime next = getter.backward ? addSeconds(range.start, -1) : range.end;
  const bool stuck = getter.backward ? next >= getter.current : next <= getter.current;
  const bool bounded = getter.to != 0 && (getter.backward ? getter.to >= next : next >= getter.to);
  const bool tooOld = getter.backward && unpackTime(next).year < kOldestYear;
  getter.current = stuck || tooOld ? 0 : next;
  if (stuck || bounded || tooOld) getter.remaining = 0;
}

// The base bar of the next page nearest to this one: backwards the newest
// the previous page can hold (base bars sit on whole minutes, half hours or
// days), forwards the oldest of the following page.
bool WPricesCache::lastBarGoesOn(const Getter& getter, const WPageRange& range) {
  if (getter.result.empty()) return false;
  static constexpr std::pair<int, int64_t> kBaseSteps[] = {{kBar1Min, 60}, {kBar30Min, 1800}, {kBarDay, 1}};
  int64_t step = 1;
  for (const auto& [base, seconds] : kBaseSteps) {
    if (base == range.baseInterval) step = seconds;
  }
  const PackedTime nearest = getter.backward ? addSeconds(range.start, -step) : range.end;
  return barStamp(nearest, getter.interval) == getter.result.back().time;
}

// ---- replies ----------------------------------------------------------------------------

void WPricesCache::Receiver::onBars(const std::string&, const std::string&, int, WContext context,
                                    const std::vector<WHistoryBar>& bars) {
  cache_.onReply(context, bars);
}

void WPricesCache::Receiver::onError(WContext context, const std::string& message, int code) {
  cache_.onQueryError(context, message, code);
}

void WPricesCache::onReply(uint64_t queryId, const std::vector<WHistoryBar>& bars) {
  Deliveries out;
  {
    sys::WLock hold(lock_);
    auto found = queries_.find(queryId);
    if (found == queries_.end()) return;  // forgotten: reset or timed out
    const Query query = found->second;
    queries_.erase(found);
    if (query.counted) {
      auto getter = std::find_if(getters_.begin(), getters_.end(), [&](const Getter& g) { return g.id == query.getter; });
      if (getter != getters_.end()) fillCounted(*getter, bars);
    } else {
      auto list = pages_.find(query.key);
      auto page = list == pages_.end() ? PageList::iterator{} : list->second.find(query.pageStart);
      if (list != pages_.end() && page != list->second.end()) fillPage(page->second, bars);
    }
    processPending(out);
  }
  deliver(out);
}

// The server's bars take the page; bars the live feed added meanwhile stay
// where the server's end: those older than its last bar are in the server's
// bars already and go, one with the same stamp is merged into it, newer
// ones follow. Bars outside the page's range are not taken.
void WPricesCache::fillPage(CachePage& page, std::vector<WHistoryBar> bars) {
  std::erase_if(bars, [&](const WHistoryBar& bar) { return bar.time < page.start || bar.time >= page.end; });
  std::stable_sort(bars.begin(), bars.end(), byTime);
  page.state = PageState::kLoaded;
  if (bars.empty()) return;
  const PackedTime last = bars.back().time;
  for (const WHistoryBar& live : page.bars) {
    if (live.time == last) {
      mergeNewer(bars.back(), live);
    } else if (live.time > last) {
      bars.push_back(live);
    }
  }
  bars.reserve(page.bars.capacity());
  page.bars = std::move(bars);
}

// The remaining bars at once, newest first for a backward request.
void WPricesCache::fillCounted(Getter& getter, std::vector<WHistoryBar> bars) {
  std::stable_sort(bars.begin(), bars.end(), byTime);
  if (getter.backward) std::reverse(bars.begin(), bars.end());
  for (const WHistoryBar& bar : bars) {
    const PackedTime stamp = barStamp(bar.time, getter.interval);
    if (!getter.result.empty() && getter.result.back().time == stamp) {
      if (getter.backward) {
        mergeOlder(getter.result.back(), bar);
      } else {
        mergeNewer(getter.result.back(), bar);
      }
      continue;
    }
    getter.result.push_back(bar);
    getter.result.back().time = stamp;
  }
  getter.remaining = 0;
}

void WPricesCache::onQueryError(uint64_t queryId, const std::string& message, int code) {
  Deliveries out;
  {
    sys::WLock hold(lock_);
    auto found = queries_.find(queryId);
    if (found == queries_.end()) return;
    const Query query = found->second;
    queries_.erase(found);
    failWaiting(query, message, code, out);
    processPending(out);
  }
  deliver(out);
}

// A page that failed is fetched again by the next request that reaches it;
// the requests waiting for it now hear the failure instead of getting a hole
// in their bars.
void WPricesCache::failWaiting(const Query& query, const std::string& message, int code, Deliveries& out) {
  if (!query.counted) {
    auto list = pages_.find(query.key);
    if (list != pages_.end()) {
      auto page = list->second.find(query.pageStart);
      if (page != list->second.end()) page->second.state = PageState::kNew;
    }
  }
  auto waits = [&](const Getter& getter) {
    if (query.counted) return getter.id == query.getter;
    if (getter.counted || getter.exchange != query.key.exchange || getter.security != query.key.security) return false;
    const WPageRange range = pageRange(getter.current, getter.interval);
    return range.baseInterval == query.key.baseInterval && range.start == query.pageStart;
  };
  for (auto it = getters_.begin(); it != getters_.end();) {
    if (!waits(*it)) {
      ++it;
      continue;
    }
    out.push_back(failure(*it, message, code));
    it = getters_.erase(it);
  }
}

void WPricesCache::expire(std::chrono::steady_clock::time_point now) {
  Deliveries out;
  {
    sys::WLock hold(lock_);
    const auto limit = std::chrono::milliseconds(kReplyTimeoutMs);
    for (auto it = queries_.begin(); it != queries_.end();) {
      if (now - it->second.sent < limit) {
        ++it;
        continue;
      }
      const Query query = it->second;
      it = queries_.erase(it);
      failWaiting(query,
                  "No complete reply to the bar query within " + std::to_string(kReplyTimeoutMs / 1000) + " s (" +
                      query.address + ")",
                  kErrorTimeout, out);
    }
    if (!out.empty()) processPending(out);
  }
  deliver(out);
}

// ---- live ticks --------------------------------------------------------------------------

void WPricesCache::onTrades(const std::string& exchange, const std::string& security,
                            const std::vector<WTradeTick>& ticks) {
  sys::WLock hold(lock_);
  for (int base : {kBar1Min, kBar30Min, kBarDay}) {
    auto list = pages_.find(PageKey{exchange, security, base});
    if (list == pages_.end()) continue;
    for (const WTradeTick& tick : ticks) {
      const PackedTime stamp = barEnd(tick.time, base);
      const WPageRange range = pageRange(stamp, base);
      CachePage& page = pageFor(list->first, range);
      auto at = std::lower_bound(page.bars.begin(), page.bars.end(), stamp,
                                 [](const WHistoryBar& bar, PackedTime value) { return bar.time < value; });
      if (at != page.bars.end() && at->time == stamp) {
        at->close = tick.price;
        at->openInterest = tick.openInterest;
        at->high = std::max(at->high, tick.price);
        at->low = std::min(at->low, tick.price);
        at->volume += tick.volume;
      } else {
        page.bars.insert(at, {stamp, tick.price, tick.price, tick.price, tick.price, tick.volume, tick.openInterest});
      }
    }
  }
}

void WPricesCache::onError(const std::string&, int) {
  sys::WLock hold(lock_);
  for (auto& [key, list] : pages_) {
    std::erase_if(list, [](const auto& entry) { return entry.second.state == PageState::kLoaded; });
  }
}

// ---- lifetime and size ------------------------------------------------------------------

void WPricesCache::reset() {
  sys::WLock hold(lock_);
  getters_.clear();
  pages_.clear();
  queries_.clear();
}

size_t WPricesCache::pageCount() {
  sys::WLock hold(lock_);
  size_t count = 0;
  for (const auto& [key, list] : pages_) count += list.size();
  return count;
}

size_t WPricesCache::reservedBytes() {
  sys::WLock hold(lock_);
  size_t bytes = 0;
  for (const auto& [key, list] : pages_) {
    for (const auto& [start, page] : list) bytes += page.bars.capacity() * sizeof(WHistoryBar);
  }
  return bytes;
}

// ---- answers ------------------------------------------------------------------------------

WPricesCache::Delivery WPricesCache::answer(Getter& getter) {
  return {getter.listener, getter.exchange, getter.security, getter.interval, getter.context,
          std::move(getter.result), false, {}, 0};
}

WPricesCache::Delivery WPricesCache::failure(const Getter& getter, const std::string& message, int code) {
  return {getter.listener, getter.exchange, getter.security, getter.interval, getter.context, {}, true, message, code};
}

void WPricesCache::deliver(Deliveries& deliveries) {
  for (Delivery& d : deliveries) {
    if (!d.listener) continue;
    if (d.failed) {
      d.listener->onError(d.context, d.message, d.code);
    } else {
      d.listener->onBars(d.exchange, d.security, d.interval, d.context, d.bars);
    }
  }
}

}  // namespace wexel
