#include "orders/wexel_orders_streaming.h"

#include <utility>

#include "core/wexel_log.h"
#include "net/wexel_get_request.h"
#include "wexel/wexel_errors.h"

namespace wexel {

namespace {

constexpr char kSourceName[] = "src/wexel_orders_streaming";
constexpr int kSourceLine = 149;  // the line the socket-error log line cites: fixed
constexpr char kKeepAliveHeader[] = "Connection: Keep-Alive\r\n";
constexpr int kLimitWaitSteps = 5;
constexpr int kLimitWaitStepMs = 100;

// The pacing of one keep-alive connection, on top of the GET request.
template <typename Tag>
class WStreamingRequest : public WGetRequest<Tag>, public WParserTracking, public WActionReplyObserver {
 public:
  WStreamingRequest(WConnectionManager* manager, WActionParser* parser, const sockaddr_in& server,
                    WexelOrderActionResultListener* listener)
      : WGetRequest<Tag>(manager, parser, server), listener_(listener) {
    this->setExtraHeaders(kKeepAliveHeader);
    parser->setTracking(this);
    parser->setObserver(this);
  }

  // The connection stays open between orders and says nothing while none is
  // on its way: no silence limit.
  int silenceLimitMs(const WInstanceConfig&) const override { return 0; }

  // Called by sendRequest on the back-send thread before each action.
  bool prepareRequest() override {
    for (;;) {
      if (stopping_.load()) return false;
      if (sentCount_.load() <= 1 && (!replyGate_.wait(-1) || stopping_.load())) return false;
      const int32_t max = this->parser()->keepAliveMax();
      if (max == 0 || sentCount_.load() < max - 1) {
        if (!WGetRequest<Tag>::prepareRequest()) return false;
        sentCount_.fetch_add(1);
        sys::WLock hold(trackingLock_);
        outstanding_.push_back(current_);
        return true;
      }
      waitForReplies(max);
      sentCount_.store(0);
      this->parser()->resetConnectionState();
      if (this->manager()) this->manager()->unregisterChannel(this);
    }
  }

  // Closed by the keep-alive limit, the server or an error: the next action
  // opens a new connection. Actions sent on this one and not answered are
  // reported lost, so that no caller waits for a reply that cannot come.
  bool close() override {
    WGetRequest<Tag>::close();
    sentCount_.store(0);
    this->parser()->resetConnectionState();
    logTrace("Post: Connection Destroy");
    reportLost();
    replyGate_.post();
    return true;
  }

  void onUnitParsed(int64_t unit, int) override {
    if (unit != 1 || this->parser()->closeRequested()) return;
    logTrace("Post: ParseComplete");
    replyGate_.post();
  }

  // Replies come in the order the actions were sent.
  void onActionReply(int64_t, WCookie) override {
    sys::WLock hold(trackingLock_);
    if (!outstanding_.empty()) outstanding_.pop_front();
  }

  void onError(int code, const std::string& text) override {
    if (code == kErrorClosed) return;
    this->logSocketError(text, code, kSourceName, kSourceLine);
    if (listener_) listener_->onError(0, 0, text + this->addressSuffix(), code);
  }

  bool isCollectable() override { return released_.load() == 1; }

 protected:
  void setCurrent(const WStreamingAction& action) { current_ = action; }
  void stopPacing() {
    stopping_.store(true);
    replyGate_.post();
  }
  std::atomic<int32_t> released_{0};
  WexelOrderActionResultListener* listener_;

 private:
  void waitForReplies(int32_t max) {
    for (int i = 0; i < kLimitWaitSteps; ++i) {
      sys::sleepMs(kLimitWaitStepMs);
      if (this->parser()->headersParsed() == sentCount_.load()) {
        logTrace("Keep-alive limit reached: %d-%d", sentCount_.load(), max);
        return;
      }
    }
  }

  void reportLost() {
    std::deque<WStreamingAction> lost;
    {
      sys::WLock hold(trackingLock_);
      lost.swap(outstanding_);
    }
    if (!listener_) return;
    for (const WStreamingAction& action : lost) {
      listener_->onError(action.cookie, 0, kTextClosedBeforeReply + this->addressSuffix(), kErrorClosed);
    }
  }

  sys::WMutex trackingLock_;  // outstanding_
  std::deque<WStreamingAction> outstanding_;  // sent on this connection, not answered yet
  WStreamingAction current_;                  // the action being sent (back-send thread only)
  std::atomic<int32_t> sentCount_{0};
  std::atomic<bool> stopping_{false};
  sys::WSemaphore replyGate_{1};
};

template <typename Tag>
class WStreamingOrdersRequestImpl : public WStreamingRequest<Tag>, public WStreamingOrdersRequest {
 public:
  WStreamingOrdersRequestImpl(WConnectionManager* manager, const sockaddr_in& server,
                              WexelOrderActionResultListener* listener)
      : WStreamingRequest<Tag>(manager, new WActionParser(listener, "", "", "", 0, 0, 0), server, listener),
        queue_([this](const WStreamingAction& action) { send(action); }) {}
  ~WStreamingOrdersRequestImpl() override { stop(); }

  bool place(const WPlaceOrderFields& order) override {
    queue_.push({placeOrderUrl(order), order.cookie, 0});
    return true;
  }
  bool move(const std::string& portfolio, int64_t orderNo, double price) override {
    queue_.push({moveOrderUrl(portfolio, orderNo, price, 0), 0, orderNo});
    return true;
  }
  bool cancel(const std::string& portfolio, const std::string& exchange, const std::string& security, int orderKind,
              int64_t orderNo) override {
    queue_.push({cancelOrderUrl(portfolio, exchange, security, orderKind, orderNo), 0, orderNo});
    return true;
  }
  WHttpRequest* request() override { return this; }
  void release() override { this->released_.store(1); }
  void stop() override {
    this->stopPacing();
    queue_.stop();
  }

 private:
  // On the back-send thread. A failed send closed the channel, which reported
  // the action lost once it was sent; one that never left is reported here.
  void send(const WStreamingAction& action) {
    this->setUrl(action.url);
    this->setCurrent(action);
    logTrace("DoRequest 0x%X: %s", static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)), action.url.c_str());
    if (this->manager()) this->manager()->sendRequest(this, true);
  }

  StreamingRequestQueue queue_;
};

}  // namespace

// ---- queue ---------------------------------------------------------------------

StreamingRequestQueue::StreamingRequestQueue(Sender send) : send_(std::move(send)) {
  thread_.startThread(this, nullptr);
}

StreamingRequestQueue::~StreamingRequestQueue() { stop(); }

void StreamingRequestQueue::push(WStreamingAction action) {
  sys::WLock hold(lock_);
  actions_.push_back(std::move(action));
  itemReady_.post();
}

void StreamingRequestQueue::stop() {
  running_.store(0);
  itemReady_.post();
  thread_.join();
  sys::WLock hold(lock_);
  actions_.clear();
}

void StreamingRequestQueue::run(void*) {
  logTrace("Backsend thread started");
  while (running_.load() == 1) {
    itemReady_.wait(kWaitMs);
    std::deque<WStreamingAction> batch;
    {
      sys::WLock hold(lock_);
      batch.swap(actions_);
    }
    for (const WStreamingAction& action : batch) {
      if (running_.load() != 1) break;
      logTrace("Request dequeued: %s", action.url.c_str());
      send_(action);
    }
  }
}

// ---- factory ---------------------------------------------------------------------

WOrdersStreamingRequestFactory::~WOrdersStreamingRequestFactory() { releaseChannel(nullptr); }

WStreamingOrdersRequest* WOrdersStreamingRequestFactory::channelFor(WConnectionManager* manager) {
  if (channel_) return channel_;
  WexelOrderActionResultListener* listener = listener_.load();
  if (tls_) {
    channel_ = new WStreamingOrdersRequestImpl<Https>(manager, endpoint_, listener);
  } else {
    channel_ = new WStreamingOrdersRequestImpl<Http>(manager, endpoint_, listener);
  }
  return channel_;
}

WHttpRequest* WOrdersStreamingRequestFactory::create(WConnectionManager* manager) {
  return channelFor(manager)->request();
}

void WOrdersStreamingRequestFactory::releaseChannel(WConnectionManager* manager) {
  WStreamingOrdersRequest* channel = std::exchange(channel_, nullptr);
  if (!channel) return;
  channel->stop();
  if (!manager) {
    channel->release();
    delete channel;
    return;
  }
  // Once released, the channel is the garbage collector's: the I/O thread may
  // unregister it at any moment (a failed connect) and delete it once idle.
  // Held busy, it stays alive until this thread's own unregister is done.
  WHttpRequest* request = channel->request();
  request->markBusy();
  channel->release();
  manager->unregisterChannel(request);
  request->markIdle();
}

}  // namespace wexel
