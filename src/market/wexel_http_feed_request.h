// A streaming feed: one GET whose response never ends. Over the open
// connection the client adds and removes numbered subscriptions with text
// lines; the server streams compressed records tagged with those numbers.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/wexel_connection_manager.h"
#include "net/wexel_http_request.h"
#include "wexel/wexel_listeners.h"

namespace wexel {

class WHttpFeedRequest : public WHttpRequest {
 public:
  // One subscription: its two keys and its listeners in order of subscription.
  struct WFeedContent {
    std::string first;
    std::string second;
    std::vector<void*> listeners;
  };

  WHttpFeedRequest(const std::string& path, const std::string& query, WConnectionManager* manager,
                   WexelParser* parser, const sockaddr_in& server, int errorLine);
  ~WHttpFeedRequest() override;

  bool prepareRequest() override;
  void onError(int code, const std::string& text) override;
  void afterRead() override;

  bool subscribe(const std::string& first, const std::string& second, void* listener, int* number = nullptr);
  bool unsubscribe(const std::string& first, const std::string& second, void* listener);
  // The subscription a record names, or null; for the reading side only (one
  // thread at a time, as the channel is read). It is looked up in the
  // reader's own copy of the table, taken again under the lock only after a
  // change, so a record takes no lock. The content stays valid until the
  // reader's next lookup.
  const WFeedContent* findSubscription(int number);

  // Tells every listener of every subscription, with the server address appended.
  void reportToListeners(int code, const std::string& text);
  const std::string& path() const { return path_; }
  // A quiet market sends nothing: feeds may stay silent, unless the host set
  // a limit for data (dataSilenceMs), which holds while something is subscribed.
  int silenceLimitMs(const WInstanceConfig& config) const override {
    return subscriptionCount_.load(std::memory_order_acquire) > 0 ? config.dataSilenceMs : 0;
  }

 protected:
  // Calls one listener's error operation; each feed knows its listener type.
  virtual void notifyError(void* listener, const std::string& message, int code) = 0;

 private:
  using Subscriptions = std::map<int, std::shared_ptr<const WFeedContent>>;
  Subscriptions::iterator findByKeys(const std::string& first, const std::string& second);

  // Under sendLock_: the table changed (the reader's copy is stale).
  // A first subscription starts the silence clock anew: an idle feed may
  // have gone without a byte for longer than any limit.
  void subscriptionsChanged() {
    const int count = static_cast<int>(subscriptions_.size());
    if (count > 0 && subscriptionCount_.load(std::memory_order_relaxed) == 0) noteActivity();
    subscriptionCount_.store(count, std::memory_order_release);  // after the clock: the check reads it first
    subscriptionsVersion_.fetch_add(1, std::memory_order_release);
  }

  std::string path_;
  std::string query_;
  Subscriptions subscriptions_;
  std::atomic<uint64_t> subscriptionsVersion_{1};
  std::atomic<int> subscriptionCount_{0};  // for the silence check, which takes no channel lock
  uint64_t readerVersion_ = 0;  // the version readerCopy_ was taken at
  std::unordered_map<int, std::shared_ptr<const WFeedContent>> readerCopy_;
  int32_t lastNumber_ = 0;
  unsigned char subscriptionsFlushed_ = 0;
  WPendingQueue subscriptionQueue_;
  int errorLine_;
};

template <typename Listener>
class WTypedFeed : public WHttpFeedRequest {
 public:
  using ListenerType = Listener;
  using WHttpFeedRequest::WHttpFeedRequest;

 protected:
  void notifyError(void* listener, const std::string& message, int code) override {
    static_cast<Listener*>(listener)->onError(message, code);
  }
};

// The last constructor argument is the line number each feed's socket-error
// log line cites: fixed numbers that log readers match, not this file's lines.
class WAllTradesFeed : public WTypedFeed<WexelTradesListener> {
 public:
  WAllTradesFeed(const std::string& query, WConnectionManager* manager, WexelParser* parser, const sockaddr_in& server)
      : WTypedFeed("/kx2/trades-zbin", query, manager, parser, server, 156) {}
  // Its server answers the keep-alive: a feed silent for several periods is dead.
  // A shorter limit for data (dataSilenceMs) holds too while something is subscribed.
  int silenceLimitMs(const WInstanceConfig& config) const override {
    const int data = WTypedFeed::silenceLimitMs(config);
    return data > 0 && data < config.tradesFeedSilenceMs ? data : config.tradesFeedSilenceMs;
  }
};

class WQuotesFeed : public WTypedFeed<WexelQuotesListener> {
 public:
  WQuotesFeed(const std::string& query, WConnectionManager* manager, WexelParser* parser, const sockaddr_in& server)
      : WTypedFeed("/kx2/quotes-zbin", query, manager, parser, server, 181) {}
};

class WOrdersFeed : public WTypedFeed<WexelOrdersListener> {
 public:
  WOrdersFeed(const std::string& query, WConnectionManager* manager, WexelParser* parser, const sockaddr_in& server)
      : WTypedFeed("/kx2/orders-zbin", query, manager, parser, server, 199) {}
};

class WMessagesFeed : public WTypedFeed<WexelMessagesListener> {
 public:
  WMessagesFeed(const std::string& query, WConnectionManager* manager, WexelParser* parser, const sockaddr_in& server)
      : WTypedFeed("/kx2/messages-zbin", query, manager, parser, server, 217) {}
};

// Builds a feed and its record parser. The parser learns its feed, so that
// its records are looked up in the subscriptions of the connection they came on.
template <typename Feed, typename Parser>
class WFeedFactory : public WHttpRequestFactory {
 public:
  WFeedFactory(const std::string& query, const sockaddr_in& server) : query_(query), server_(server) {}
  WHttpRequest* create(WConnectionManager* manager) override {
    auto* parser = new Parser(manager);
    auto* feed = new Feed(query_, manager, parser, server_);
    parser->bindFeed(feed);
    return feed;
  }

 private:
  std::string query_;
  sockaddr_in server_;
};

}  // namespace wexel
