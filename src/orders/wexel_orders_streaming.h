// The streaming order channel: place, move and cancel actions as GET requests
// over one persistent keep-alive connection to the order endpoint. Callers
// only queue the action's URL; a back-send thread sends them in order. The
// channel paces itself: the first request of a connection goes at once, the
// second after the first reply, later ones without waiting; before the
// server's keep-alive limit it waits for the replies and opens a new
// connection. Every reply goes to the one listener of the channel.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <deque>
#include <functional>
#include <string>

#include "core/wexel_sys.h"
#include "net/wexel_connection_manager.h"
#include "orders/wexel_action_parser.h"
#include "orders/wexel_order_urls.h"

namespace wexel {

// One queued action: its URL and what its reports name.
struct WStreamingAction {
  std::string url;
  WCookie cookie = 0;
  int64_t orderNo = 0;
};

class WStreamingOrdersRequest {
 public:
  virtual ~WStreamingOrdersRequest() = default;
  // Each queues the action and answers true; a URL that cannot be built was
  // refused by the caller before.
  virtual bool place(const WPlaceOrderFields& order) = 0;
  // Always forced=0 on the channel.
  virtual bool move(const std::string& portfolio, int64_t orderNo, double price) = 0;
  virtual bool cancel(const std::string& portfolio, const std::string& exchange, const std::string& security,
                      int orderKind, int64_t orderNo) = 0;
  virtual WHttpRequest* request() = 0;
  // The owner gives the channel up: the manager may collect it.
  virtual void release() = 0;
  // Ends the back-send thread, releasing every wait, and drops what is still
  // queued. Returns once the thread has ended.
  virtual void stop() = 0;
};

// The queue of URLs and its back-send thread.
class StreamingRequestQueue : public sys::WRunnable {
 public:
  using Sender = std::function<void(const WStreamingAction&)>;

  explicit StreamingRequestQueue(Sender send);
  ~StreamingRequestQueue() override;
  StreamingRequestQueue(const StreamingRequestQueue&) = delete;
  StreamingRequestQueue& operator=(const StreamingRequestQueue&) = delete;

  void push(WStreamingAction action);
  // Idempotent; never called on the back-send thread itself.
  void stop();
  bool running() const { return running_.load() == 1; }
  void run(void* argument) override;

 private:
  static constexpr int kWaitMs = 200;  // how long a stopped queue may take to notice

  sys::WMutex lock_;  // actions_
  sys::WThreadRecord thread_;
  sys::WSemaphore itemReady_{0};
  std::deque<WStreamingAction> actions_;
  std::atomic<int> running_{1};
  Sender send_;
};

// Holds the channel of an instance between logon and logout. The endpoint and
// TLS flag are written before every streaming action; they take effect when
// the channel is created.
class WOrdersStreamingRequestFactory : public WHttpRequestFactory {
 public:
  ~WOrdersStreamingRequestFactory() override;

  void setEndpoint(const sockaddr_in& endpoint) { endpoint_ = endpoint; }
  void setTls(bool tls) { tls_ = tls; }
  void setListener(WexelOrderActionResultListener* listener) { listener_ = listener; }
  WexelOrderActionResultListener* listener() const { return listener_; }

  // The current channel, created on first use.
  WStreamingOrdersRequest* channelFor(WConnectionManager* manager);
  WHttpRequest* create(WConnectionManager* manager) override;
  // Stops the channel's thread and hands the channel to the manager to
  // collect (registered or not); without a manager it is deleted here.
  void releaseChannel(WConnectionManager* manager);
  WStreamingOrdersRequest* channel() const { return channel_; }

 private:
  sockaddr_in endpoint_{};
  bool tls_ = false;
  std::atomic<WexelOrderActionResultListener*> listener_{nullptr};
  WStreamingOrdersRequest* channel_ = nullptr;
};

}  // namespace wexel
