// Placing orders, one connection each: a plain order (with or without a
// condition), a take-stop, an iceberg and an expiry order. All four report
// against the order's cookie and carry order number 0 until the reply names it.
#pragma once

#include "orders/wexel_order_request.h"
#include "orders/wexel_order_urls.h"

namespace wexel {

inline constexpr WOrderSource kPlaceOrderSource = {"src/wexel_place_order_request", 28};

template <typename Tag>
class WPlaceOrderRequestBase : public WOrderActionRequest<Tag> {
 public:
  WPlaceOrderRequestBase(WConnectionManager* manager, const sockaddr_in& server,
                         WexelOrderActionResultListener* listener, const WOrderReportFields& order)
      : WOrderActionRequest<Tag>(manager, server, listener, order, kPlaceOrderSource) {}
};

template <typename Tag>
class WPlaceOrderRequest : public WPlaceOrderRequestBase<Tag> {
  using WPlaceOrderRequestBase<Tag>::WPlaceOrderRequestBase;
};
template <typename Tag>
class WPlaceTakestopOrderRequest : public WPlaceOrderRequestBase<Tag> {
  using WPlaceOrderRequestBase<Tag>::WPlaceOrderRequestBase;
};
template <typename Tag>
class WPlaceIcebergOrderRequest : public WPlaceOrderRequestBase<Tag> {
  using WPlaceOrderRequestBase<Tag>::WPlaceOrderRequestBase;
};
template <typename Tag>
class WPlaceExpireOrderRequest : public WPlaceOrderRequestBase<Tag> {
  using WPlaceOrderRequestBase<Tag>::WPlaceOrderRequestBase;
};

// What a place reply is reported against: the order's texts and cookie.
inline WOrderReportFields placeReport(const std::string& portfolio, const std::string& exchange,
                                      const std::string& security, WCookie cookie, WContext context) {
  return WOrderReportFields{portfolio, exchange, security, 0, cookie, context};
}

class WPlaceOrderFactory : public WOrderActionFactory<WPlaceOrderRequest> {
 public:
  WPlaceOrderFactory(const WPlaceOrderFields& order, WContext context, WexelOrderActionResultListener* listener,
                     const sockaddr_in& endpoint, bool tls)
      : WOrderActionFactory(placeOrderUrl(order), listener,
                            placeReport(order.portfolio, order.exchange, order.security, order.cookie, context),
                            endpoint, tls) {}
};

class WPlaceTakestopOrderFactory : public WOrderActionFactory<WPlaceTakestopOrderRequest> {
 public:
  WPlaceTakestopOrderFactory(const WTakestopOrderFields& order, WContext context,
                             WexelOrderActionResultListener* listener, const sockaddr_in& endpoint, bool tls)
      : WOrderActionFactory(takestopOrderUrl(order), listener,
                            placeReport(order.portfolio, order.exchange, order.security, order.cookie, context),
                            endpoint, tls) {}
};

// The iceberg URL carries no cookie; its reply is still reported against it.
class WPlaceIcebergOrderFactory : public WOrderActionFactory<WPlaceIcebergOrderRequest> {
 public:
  WPlaceIcebergOrderFactory(const WIcebergOrderFields& order, WCookie cookie, WContext context,
                            WexelOrderActionResultListener* listener, const sockaddr_in& endpoint, bool tls)
      : WOrderActionFactory(icebergOrderUrl(order), listener,
                            placeReport(order.portfolio, order.exchange, order.security, cookie, context), endpoint,
                            tls) {}
};

class WPlaceExpireOrderFactory : public WOrderActionFactory<WPlaceExpireOrderRequest> {
 public:
  WPlaceExpireOrderFactory(const WExpireOrderFields& order, WCookie cookie, WContext context,
                           WexelOrderActionResultListener* listener, const sockaddr_in& endpoint, bool tls)
      : WOrderActionFactory(expireOrderUrl(order), listener,
                            placeReport(order.portfolio, order.exchange, order.security, cookie, context), endpoint,
                            tls) {}
};

}  // namespace wexel
