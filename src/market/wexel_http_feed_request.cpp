#include "market/wexel_http_feed_request.h"

#include <algorithm>

#include "core/wexel_log.h"

namespace wexel {

namespace {
constexpr char kSourceName[] = "src/wexel_http_feed_request";
}

WHttpFeedRequest::WHttpFeedRequest(const std::string& path, const std::string& query, WConnectionManager* manager,
                                   WexelParser* parser, const sockaddr_in& server, int errorLine)
    : WHttpRequest(manager, parser, server),
      path_(path),
      query_(query),
      subscriptionQueue_(this),
      errorLine_(errorLine) {}

WHttpFeedRequest::~WHttpFeedRequest() { subscriptionQueue_.clear(); }

bool WHttpFeedRequest::prepareRequest() {
  return format("GET %s?%s HTTP/1.0\r\nUser-Agent: %s\r\nHost: %s:%d\r\n\r\n", path_.c_str(), query_.c_str(),
                userAgent().c_str(), serverHost().c_str(), serverPort());
}

WHttpFeedRequest::Subscriptions::iterator WHttpFeedRequest::findByKeys(const std::string& first,
                                                                       const std::string& second) {
  return std::find_if(subscriptions_.begin(), subscriptions_.end(),
                      [&](const auto& entry) { return entry.second->first == first && entry.second->second == second; });
}

bool WHttpFeedRequest::subscribe(const std::string& first, const std::string& second, void* listener, int* number) {
  sys::WLock hold(sendLock_);
  auto entry = findByKeys(first, second);
  if (entry != subscriptions_.end()) {
    const auto& listeners = entry->second->listeners;
    if (std::find(listeners.begin(), listeners.end(), listener) == listeners.end()) {
      auto changed = std::make_shared<WFeedContent>(*entry->second);
      changed->listeners.push_back(listener);
      entry->second = std::move(changed);
      subscriptionsChanged();
    }
    return true;
  }
  int id = ++lastNumber_;
  subscriptions_.emplace(id, std::make_shared<const WFeedContent>(WFeedContent{first, second, {listener}}));
  subscriptionsChanged();
  if (!format("ADD %d %s %s\n", id, first.c_str(), second.c_str())) return false;
  if (number) *number = id;
  if (parser_ && parser_->isHeaderParsed() && subscriptionsFlushed_) return sendOrQueue();
  subscriptionQueue_.push();
  return true;
}

bool WHttpFeedRequest::unsubscribe(const std::string& first, const std::string& second, void* listener) {
  sys::WLock hold(sendLock_);
  auto entry = findByKeys(first, second);
  if (entry == subscriptions_.end()) return false;
  auto changed = std::make_shared<WFeedContent>(*entry->second);
  auto& listeners = changed->listeners;
  if (listener) {
    auto at = std::find(listeners.begin(), listeners.end(), listener);
    if (at != listeners.end()) listeners.erase(at);
  } else {
    listeners.clear();
  }
  if (!listeners.empty()) {
    entry->second = std::move(changed);
    subscriptionsChanged();
    return false;
  }
  format("REMOVE %d %s %s\n", entry->first, first.c_str(), second.c_str());
  subscriptions_.erase(entry);
  subscriptionsChanged();
  return sendOrQueue();
}

const WHttpFeedRequest::WFeedContent* WHttpFeedRequest::findSubscription(int number) {
  const uint64_t version = subscriptionsVersion_.load(std::memory_order_acquire);
  if (version != readerVersion_) {
    sys::WLock hold(sendLock_);
    readerCopy_ = {subscriptions_.begin(), subscriptions_.end()};
    readerVersion_ = subscriptionsVersion_.load(std::memory_order_relaxed);
  }
  const auto entry = readerCopy_.find(number);
  return entry == readerCopy_.end() ? nullptr : entry->second.get();
}

void WHttpFeedRequest::afterRead() {
  sys::WLock hold(sendLock_);
  if (!parser_ || !parser_->isHeaderParsed() || subscriptionsFlushed_) return;
  subscriptionQueue_.flush();
  subscriptionsFlushed_ = 1;
}

void WHttpFeedRequest::onError(int code, const std::string& text) {
  if (code != 0) {
    logError("Channel 0x%llX, sockErr '%s': %d, file: %s, line %d",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)), text.c_str(), code, kSourceName,
             errorLine_);
  }
  reportToListeners(code, text);
}

// The listeners are copied under the send lock and called without it: a
// listener may call back into the library (cancel, log out, release the
// instance), and holding a feed lock across that invites lock-order deadlocks.
void WHttpFeedRequest::reportToListeners(int code, const std::string& text) {
  std::vector<void*> listeners;
  {
    sys::WLock hold(sendLock_);
    for (const auto& entry : subscriptions_) {
      listeners.insert(listeners.end(), entry.second->listeners.begin(), entry.second->listeners.end());
    }
  }
  std::string message = text + " (" + serverHost() + ":" + std::to_string(serverPort()) + ")";
  for (void* listener : listeners) {
    if (listener) notifyError(listener, message, code);
  }
}

}  // namespace wexel
