// The price cache: bars of every interval built from the server's base bars
// (1 minute, 30 minutes, 1 day), fetched in pages on demand (a day, a month or
// a year of base bars), kept until logout, and kept current by the all-trades
// feed of every security somebody asked bars for.
//
// A request walks pages from its time backwards (negative count) or forwards
// (positive count), merging base bars into bars of its interval, and is
// answered with one onBars call when it has its count. After 7 pages in a row
// without bars it asks the server for the remaining bars in one counted query.
// Every request is answered: with its bars, or with onError when a query it
// waits for fails, closes early or stays unanswered for kReplyTimeoutMs.
//
// One lock guards everything; listeners are called after it is released, so
// a handler may ask for more bars from inside onBars.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/wexel_sys.h"
#include "wexel/wexel_listeners.h"
#include "wexel/wexel_packed_time.h"

namespace wexel {

class WConnectionManager;

// The hash of a page list's key: exchange + security + the base interval's
// letter, padded with '0' to a multiple of 12 characters. Different keys may
// share a hash; lists are told apart by the whole key.
int32_t priceCacheKeyHash(const std::string& exchange, const std::string& security, int baseInterval);

class WPricesCache : public WexelTradesListener {
 public:
  static constexpr int kReplyTimeoutMs = 30000;
  static constexpr int kEmptyPagesBeforeCountedQuery = 7;

  WPricesCache();
  ~WPricesCache() override;
  WPricesCache(const WPricesCache&) = delete;
  WPricesCache& operator=(const WPricesCache&) = delete;

  // Bars of `interval` from `from` (count < 0: before it; count > 0: after
  // it), or down to / up to `to` when not 0. Answers through the listener,
  // possibly before returning when the pages are loaded already.
  void requestBars(const std::string& exchange, const std::string& security, int interval, PackedTime from,
                   PackedTime to, int count, WexelHistoryBarsListener* listener, WContext context,
                   WConnectionManager* manager, const sockaddr_in& server);

  // The all-trades feed: ticks of keys with pages update or extend them.
  void onTrades(const std::string& exchange, const std::string& security, const std::vector<WTradeTick>& ticks) override;
  // The all-trades feed failed: loaded pages no longer follow the market and
  // are dropped, to be fetched again by the next request.
  void onError(const std::string& message, int code) override;

  // Fails the requests whose query has gone unanswered for kReplyTimeoutMs.
  void expire(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
  // Forgets every request (without answering) and every page; at logout, when
  // no query of the cache can answer any more (late replies are dropped).
  void reset();

  // What the cache holds: pages, and bytes of bar storage reserved for them.
  size_t pageCount();
  size_t reservedBytes();

 private:
  enum class PageState { kNew, kRequested, kLoaded };

  struct PageKey {
    std::string exchange;
    std::string security;
    int baseInterval;
    bool operator==(const PageKey&) const = default;
  };
  struct PageKeyHash {
    size_t operator()(const PageKey& key) const;
  };

  struct CachePage {
    std::vector<WHistoryBar> bars;  // ascending by time, start <= time < end
    PackedTime start;
    PackedTime end;
    PageState state = PageState::kNew;
  };
  using PageList = std::map<PackedTime, CachePage>;  // by page start

  struct Getter {
    uint64_t id;
    std::string exchange;
    std::string security;
    int interval;
    PackedTime current;  // the bar time from which the next page is read
    PackedTime to;       // 0: none
    int remaining;       // < 0: bars still wanted before current; > 0: after it
    bool backward;
    bool counted = false;  // waits for its counted query
    bool tail = false;     // has its count; reads one more page only to complete its last bar
    int emptyRun = 0;
    WexelHistoryBarsListener* listener;
    WContext context;
    std::vector<WHistoryBar> result;
    WConnectionManager* manager;
    sockaddr_in server;
  };

  // A query the cache has sent: a page, or a getter's counted query.
  struct Query {
    bool counted;
    PageKey key;
    PackedTime pageStart;
    uint64_t getter;
    std::string address;
    std::chrono::steady_clock::time_point sent;
  };

  // An answer to hand over once the lock is released.
  struct Delivery {
    WexelHistoryBarsListener* listener;
    std::string exchange;
    std::string security;
    int interval;
    WContext context;
    std::vector<WHistoryBar> bars;
    bool failed;
    std::string message;
    int code;
  };
  using Deliveries = std::vector<Delivery>;

  // Receives the replies of the cache's queries; the context is the query's
  // number, so a reply whose query was forgotten (reset, timed out) finds
  // nothing and is dropped.
  class Receiver : public WexelHistoryBarsListener {
   public:
    explicit Receiver(WPricesCache& cache) : cache_(cache) {}
    void onBars(const std::string&, const std::string&, int, WContext context,
                const std::vector<WHistoryBar>& bars) override;
    void onError(WContext context, const std::string& message, int code) override;

   private:
    WPricesCache& cache_;
  };

  enum class Step { kDone, kWaiting, kFailed };

  void processPending(Deliveries& out);
  Step advance(Getter& getter);
  CachePage& pageFor(const PageKey& key, const WPageRange& range);
  bool sendPageQuery(Getter& getter, const PageKey& key, CachePage& page);
  bool sendCountedQuery(Getter& getter);
  void copyBackward(const CachePage& page, Getter& getter);
  void copyForward(const CachePage& page, Getter& getter);
  void moveToNextPage(Getter& getter, const WPageRange& range);
  // Whether the request's last bar may go on into the next page in its direction.
  static bool lastBarGoesOn(const Getter& getter, const WPageRange& range);
  void onReply(uint64_t queryId, const std::vector<WHistoryBar>& bars);
  void onQueryError(uint64_t queryId, const std::string& message, int code);
  void fillPage(CachePage& page, std::vector<WHistoryBar> bars);
  void fillCounted(Getter& getter, std::vector<WHistoryBar> bars);
  // Fails the getters waiting for the page, or the getter of a counted query.
  void failWaiting(const Query& query, const std::string& message, int code, Deliveries& out);
  static Delivery answer(Getter& getter);
  static Delivery failure(const Getter& getter, const std::string& message, int code);
  static void deliver(Deliveries& deliveries);

  sys::WMutex lock_;  // everything below
  std::list<Getter> getters_;  // in arrival order
  std::unordered_map<PageKey, PageList, PageKeyHash> pages_;
  std::map<uint64_t, Query> queries_;
  uint64_t lastId_ = 0;
  Receiver receiver_{*this};
};

}  // namespace wexel
