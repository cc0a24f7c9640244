// The instance's four streaming feeds: each is opened on its first
// subscription and shared by every later one; a closed feed is forgotten and
// the next subscription opens a new one.
#include "instance/wexel_instance_reports.h"
#include "instance/wexel_winstance.h"
#include "market/wexel_feed_parser.h"
#include "market/wexel_http_feed_request.h"

namespace wexel {

WHttpFeedRequest* WInstance::acquireFeed(FeedKind kind) {
  sys::WLock hold(feedLock_);
  WHttpFeedRequest* feed = feeds_[kind];
  if (!feed) return nullptr;
  WConnectionManager* manager = manager_;
  if (manager && manager->acquireRegistered(feed)) return feed;
  feeds_[kind] = nullptr;  // closed: the manager disposes of it; the next subscription makes a new one
  return nullptr;
}

namespace {

// Builds and sends one feed of a kind; the created request through `created`.
using FeedMaker = bool (*)(WConnectionManager& manager, const std::string& query, const sockaddr_in& endpoint,
                           WHttpRequest** created);

template <typename Feed, typename Parser>
bool makeFeed(WConnectionManager& manager, const std::string& query, const sockaddr_in& endpoint,
              WHttpRequest** created) {
  WFeedFactory<Feed, Parser> factory(query, endpoint);
  return manager.createAndSend(factory, created, true);
}

}  // namespace

WHttpFeedRequest* WInstance::createFeed(FeedKind kind) {
  // In the order of FeedKind.
  static constexpr FeedMaker kMakers[kFeedKinds] = {
      &makeFeed<WAllTradesFeed, WTradesFeedParser>,
      &makeFeed<WOrdersFeed, WOrdersFeedParser>,
      &makeFeed<WQuotesFeed, WQuotesFeedParser>,
      &makeFeed<WMessagesFeed, WMessagesFeedParser>,
  };
  WHttpRequest* created = nullptr;
  const bool sent = kMakers[kind](*manager_.load(), sessionParameters(), dataEndpoint(), &created);
  feeds_[kind] = sent ? static_cast<WHttpFeedRequest*>(created) : nullptr;
  return feeds_[kind];
}

template <typename Listener>
bool WInstance::subscribe(FeedKind kind, const std::string& first, const std::string& second, Listener* listener) {
  if (!loggedOn_) {
    plainReport(listener)(kTextNotAuthorized, kErrorNotAuthorized);
    return false;
  }
  if (!isSafeParameter(first) || !isSafeParameter(second)) {
    plainReport(listener)(kTextBadParameter, kErrorMalformed);
    return false;
  }
  WHttpFeedRequest* feed = nullptr;
  {
    sys::WLock hold(feedLock_);
    if (!manager_) return false;
    feed = acquireFeed(kind);
    if (!feed && createFeed(kind)) feed = acquireFeed(kind);
  }
  if (!feed) return false;
  // Busy-marked, the feed stays alive without the instance's lock, which is
  // not held while the feed's own lock is taken.
  bool result = feed->subscribe(first, second, listener);
  feed->markIdle();
  return result;
}

template <typename Listener>
bool WInstance::unsubscribe(FeedKind kind, const std::string& first, const std::string& second, Listener* listener) {
  WHttpFeedRequest* feed = acquireFeed(kind);
  if (!feed) return false;
  bool result = feed->unsubscribe(first, second, listener);
  feed->markIdle();
  return result;
}

bool WInstance::listenTicks(const std::string& exchange, const std::string& security, WexelTradesListener* listener) {
  return subscribe(kAllTrades, exchange, security, listener);
}
bool WInstance::listenQuotes(const std::string& exchange, const std::string& security, WexelQuotesListener* listener) {
  return subscribe(kQuotes, exchange, security, listener);
}
bool WInstance::listenBidAsks(const std::string& exchange, const std::string& security, WexelOrdersListener* listener) {
  return subscribe(kOrderBook, exchange, security, listener);
}
bool WInstance::listenMessages(const std::string& channel, WexelMessagesListener* listener) {
  return subscribe(kMessages, channel, std::string(), listener);
}
bool WInstance::cancelTicks(const std::string& exchange, const std::string& security, WexelTradesListener* listener) {
  return unsubscribe(kAllTrades, exchange, security, listener);
}
bool WInstance::cancelQuotes(const std::string& exchange, const std::string& security, WexelQuotesListener* listener) {
  return unsubscribe(kQuotes, exchange, security, listener);
}
bool WInstance::cancelBidAsks(const std::string& exchange, const std::string& security, WexelOrdersListener* listener) {
  return unsubscribe(kOrderBook, exchange, security, listener);
}
bool WInstance::cancelMessages(const std::string& channel, WexelMessagesListener* listener) {
  return unsubscribe(kMessages, channel, std::string(), listener);
}

}  // namespace wexel
