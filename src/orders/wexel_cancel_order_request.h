// Cancelling an order, one connection per cancel (a plain or conditional
// order by its kind, an iceberg by its own URL), and the order-error query:
// the server's text about an order, a compressed record.
#pragma once

#include "codec/wexel_lz77_parser.h"
#include "orders/wexel_order_request.h"
#include "orders/wexel_order_urls.h"
#include "wexel/wexel_records.h"

namespace wexel {

inline constexpr WOrderSource kCancelOrderSource = {"src/wexel_cancel_order_request", 62};
inline constexpr WOrderSource kOrderErrorSource = {"src/wexel_cancel_order_request", 22};

template <typename Tag>
class WCancelOrderRequest : public WOrderActionRequest<Tag> {
 public:
  WCancelOrderRequest(WConnectionManager* manager, const sockaddr_in& server,
                      WexelOrderActionResultListener* listener, const WOrderReportFields& order)
      : WOrderActionRequest<Tag>(manager, server, listener, order, kCancelOrderSource) {}
};

class WCancelOrderFactory : public WOrderActionFactory<WCancelOrderRequest> {
 public:
  WCancelOrderFactory(const std::string& portfolio, const std::string& exchange, const std::string& security,
                      int orderKind, int64_t orderNo, WContext context, WexelOrderActionResultListener* listener,
                      const sockaddr_in& endpoint, bool tls)
      : WOrderActionFactory(cancelOrderUrl(portfolio, exchange, security, orderKind, orderNo), listener,
                            WOrderReportFields{portfolio, exchange, security, orderNo, 0, context}, endpoint, tls) {}
};

// The order-error reply: order number, time, the text (converted to CP1251
// from the reply's charset), then whatever follows.
class WGetCancelOrderDescrParser : public WLZ77Parser {
 public:
  WGetCancelOrderDescrParser(WexelOrderErrorListener* listener, WContext context);
  int onHeaderField(const char* name, const char* value) override;
  int parseRecord(const char* data, int size) override;
  int onError(int code, const char* text) override;
  bool claimOutcome() { return !answered_.exchange(true); }

 private:
  WexelOrderErrorListener* listener_;
  WContext context_;
  std::string charset_;
  std::atomic<bool> answered_{false};
};

class WGetCancelOrderDescr : public WGetRequest<Http> {
 public:
  WGetCancelOrderDescr(WConnectionManager* manager, WGetCancelOrderDescrParser* parser, const sockaddr_in& server,
                       WexelOrderErrorListener* listener, WContext context);
  // Socket errors, and a close before the record came, reach the listener.
  void onError(int code, const std::string& text) override;

 private:
  WGetCancelOrderDescrParser* descr_;  // owned as the channel's parser
  WexelOrderErrorListener* listener_;
  WContext context_;
};

class WGetCancelOrderDescrFactory : public WHttpRequestFactory {
 public:
  WGetCancelOrderDescrFactory(int64_t orderNo, WexelOrderErrorListener* listener, WContext context,
                              const sockaddr_in& endpoint);
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  int64_t orderNo_;
  WexelOrderErrorListener* listener_;
  WContext context_;
  sockaddr_in endpoint_;
};

}  // namespace wexel
