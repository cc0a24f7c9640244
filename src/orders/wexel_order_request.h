// What every one-shot order action shares: a GET over plain TCP or TLS to an
// order endpoint, one reply read by a WActionParser, and the report of a
// request that fails before its reply. Each kind names its source and line
// for the socket-error log line.
#pragma once

#include <cinttypes>
#include <string>

#include "core/wexel_log.h"
#include "net/wexel_get_request.h"
#include "orders/wexel_action_parser.h"
#include "wexel/wexel_errors.h"

namespace wexel {

// The order an action is about, as its reports name it.
struct WOrderReportFields {
  std::string portfolio;
  std::string exchange;
  std::string security;
  int64_t orderNo = 0;
  WCookie cookie = 0;
  WContext context = 0;
};

// Where the socket-error log line says it comes from: fixed texts and numbers
// that log readers match.
struct WOrderSource {
  const char* name;
  int line;
};

template <typename Tag>
class WOrderActionRequest : public WGetRequest<Tag> {
 public:
  WOrderActionRequest(WConnectionManager* manager, const sockaddr_in& server, WexelOrderActionResultListener* listener,
                      const WOrderReportFields& order, WOrderSource source)
      : WGetRequest<Tag>(manager, newParser(listener, order), server),
        listener_(listener),
        order_(order),
        source_(source) {}

  // A socket error reaches the listener as a result with no action and the
  // error text; the server closing before any reply, or staying silent, leaves
  // the order's fate unknown, which the listener hears as an error (code 0 or
  // -1). After a reply the close is the normal end and says nothing.
  void onError(int code, const std::string& text) override {
    if (code != kErrorClosed) this->logSocketError(text, code, source_.name, source_.line);
    if (!actionParser()->claimOutcome() || !listener_) return;
    const std::string where = this->addressSuffix();
    if (code == kErrorClosed) {
      listener_->onError(order_.cookie, order_.context, kTextClosedBeforeReply + where, kErrorClosed);
      return;
    }
    if (code == kErrorTimeout) {  // no reply: the order's fate is unknown, as after a close
      listener_->onError(order_.cookie, order_.context, text + where, kErrorTimeout);
      return;
    }
    listener_->onActionResult(nullptr, order_.portfolio, order_.exchange, order_.security, order_.orderNo,
                              text + where, std::string(), order_.cookie, order_.context);
  }

 private:
  static WActionParser* newParser(WexelOrderActionResultListener* listener, const WOrderReportFields& o) {
    return new WActionParser(listener, o.portfolio, o.exchange, o.security, o.orderNo, o.cookie, o.context);
  }
  WActionParser* actionParser() const { return static_cast<WActionParser*>(this->parser()); }

  WexelOrderActionResultListener* listener_;
  WOrderReportFields order_;
  WOrderSource source_;
};

// Builds a one-shot action request of kind Request<Http> or Request<Https>
// with its URL; a factory whose URL is empty must not be used (the instance
// refuses the order before anything is sent).
template <template <typename> class Request>
class WOrderActionFactory : public WHttpRequestFactory {
 public:
  WOrderActionFactory(std::string url, WexelOrderActionResultListener* listener, const WOrderReportFields& order,
                      const sockaddr_in& endpoint, bool tls)
      : url_(std::move(url)), listener_(listener), order_(order), endpoint_(endpoint), tls_(tls) {}

  bool valid() const { return !url_.empty(); }
  const std::string& url() const { return url_; }

  WHttpRequest* create(WConnectionManager* manager) override {
    WHttpRequest* request = tls_ ? static_cast<WHttpRequest*>(new Request<Https>(manager, endpoint_, listener_, order_))
                                 : static_cast<WHttpRequest*>(new Request<Http>(manager, endpoint_, listener_, order_));
    request->setUrl(url_);
    return request;
  }

 private:
  std::string url_;
  WexelOrderActionResultListener* listener_;
  WOrderReportFields order_;
  sockaddr_in endpoint_;
  bool tls_;
};

}  // namespace wexel
