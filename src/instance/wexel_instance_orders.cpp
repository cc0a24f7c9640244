// The instance's order actions. Place, move and cancel go on the streaming
// order channel when a streaming listener is set or the caller gives none;
// otherwise, and always for take-stop, iceberg and expiry orders, each action
// is a one-shot request to the order endpoint. An order that cannot be
// expressed as a URL is refused before anything is sent.
#include "instance/wexel_instance_reports.h"
#include "instance/wexel_winstance.h"
#include "orders/wexel_cancel_order_request.h"
#include "orders/wexel_move_order_request.h"
#include "orders/wexel_place_order_request.h"

namespace wexel {

bool WInstance::setOrderStreamingListener(WexelOrderActionResultListener* listener) {
  ordersStreaming_.setListener(listener);
  orderStreaming_.store(listener != nullptr);
  return listener != nullptr;
}

WStreamingOrdersRequest* WInstance::streamingChannel(WConnectionManager& manager) {
  const OrderRoute route = orderRoute();
  ordersStreaming_.setEndpoint(route.endpoint);
  ordersStreaming_.setTls(route.tls);
  return ordersStreaming_.channelFor(&manager);
}

template <typename Factory, typename Report>
bool WInstance::sendOrderAction(Factory& factory, Report report, bool asyncConnect) {
  WConnectionManager* manager = manager_;
  if (!manager) return false;
  if (!factory.valid()) {
    report(kTextBadOrderParameters, kErrorMalformed);
    return false;
  }
  return manager->createAndSend(factory, nullptr, asyncConnect);
}

bool WInstance::placeOrder(const std::string& portfolio, const std::string& exchange, const std::string& security,
                           int action, int type, int validity, int condition, double price, double stopPrice,
                           double amount, const std::string& conditionExchange, const std::string& conditionSecurity,
                           double conditionPrice, int fokMode, WCookie cookie, WContext context, bool asyncConnect,
                           WexelOrderActionResultListener* listener) {
  const auto report = orderReport(listener, cookie, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  const WPlaceOrderFields order{portfolio, exchange,         security,          action,         type,
                                validity,  condition,        price,             stopPrice,      amount,
                                conditionExchange, conditionSecurity, conditionPrice, fokMode, cookie};
  WConnectionManager* manager = manager_;
  if (manager && streams(listener)) {
    if (placeOrderUrl(order).empty()) return refuseBadOrder(report);
    return streamingChannel(*manager)->place(order);
  }
  const OrderRoute route = orderRoute();
  WPlaceOrderFactory factory(order, context, listener, route.endpoint, route.tls);
  return sendOrderAction(factory, report, asyncConnect);
}

bool WInstance::placeTakestopOrder(const std::string& portfolio, const std::string& exchange,
                                   const std::string& security, int action, int validity, double priceTake,
                                   double priceLimit, double stopPrice, double amount, WCookie cookie,
                                   WContext context, bool asyncConnect, WexelOrderActionResultListener* listener) {
  const auto report = orderReport(listener, cookie, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  const WTakestopOrderFields order{portfolio, exchange,  security, action, validity, priceTake,
                                   priceLimit, stopPrice, amount,   cookie};
  const OrderRoute route = orderRoute();
  WPlaceTakestopOrderFactory factory(order, context, listener, route.endpoint, route.tls);
  return sendOrderAction(factory, report, asyncConnect);
}

bool WInstance::placeIcebergOrder(const std::string& portfolio, const std::string& exchange,
                                  const std::string& security, int action, int validity, double price, double amount,
                                  double amountStep, WCookie cookie, WContext context, bool asyncConnect,
                                  WexelOrderActionResultListener* listener) {
  const auto report = orderReport(listener, cookie, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  const WIcebergOrderFields order{portfolio, exchange, security, action, validity, price, amount, amountStep};
  const OrderRoute route = orderRoute();
  WPlaceIcebergOrderFactory factory(order, cookie, context, listener, route.endpoint, route.tls);
  return sendOrderAction(factory, report, asyncConnect);
}

bool WInstance::placeExpireOrder(const std::string& portfolio, const std::string& exchange,
                                 const std::string& security, double amount, WCookie cookie, WContext context,
                                 bool asyncConnect, WexelOrderActionResultListener* listener) {
  const auto report = orderReport(listener, cookie, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  const WExpireOrderFields order{portfolio, exchange, security, amount};
  const OrderRoute route = orderRoute();
  WPlaceExpireOrderFactory factory(order, cookie, context, listener, route.endpoint, route.tls);
  return sendOrderAction(factory, report, asyncConnect);
}

// Moves and cancels carry no cookie: their reports pass 0.
bool WInstance::moveOrder(const std::string& portfolio, int64_t orderNo, double price, int forced, WContext context,
                          bool asyncConnect, WexelOrderActionResultListener* listener) {
  const auto report = orderReport(listener, 0, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WConnectionManager* manager = manager_;
  if (manager && streams(listener)) {
    if (moveOrderUrl(portfolio, orderNo, price, 0).empty()) return refuseBadOrder(report);
    return streamingChannel(*manager)->move(portfolio, orderNo, price);
  }
  const OrderRoute route = orderRoute();
  WMoveOrderFactory factory(portfolio, orderNo, price, forced, context, listener, route.endpoint, route.tls);
  return sendOrderAction(factory, report, asyncConnect);
}

bool WInstance::cancelOrder(const std::string& portfolio, const std::string& exchange, const std::string& security,
                            int orderKind, int64_t orderNo, WContext context, bool asyncConnect,
                            WexelOrderActionResultListener* listener) {
  const auto report = orderReport(listener, 0, context);
  if (!loggedOn_) return refuseNotLoggedOn(report);
  WConnectionManager* manager = manager_;
  if (manager && streams(listener)) {
    if (cancelOrderUrl(portfolio, exchange, security, orderKind, orderNo).empty()) return refuseBadOrder(report);
    return streamingChannel(*manager)->cancel(portfolio, exchange, security, orderKind, orderNo);
  }
  const OrderRoute route = orderRoute();
  WCancelOrderFactory factory(portfolio, exchange, security, orderKind, orderNo, context, listener, route.endpoint,
                              route.tls);
  return sendOrderAction(factory, report, asyncConnect);
}

bool WInstance::getOrderError(int64_t orderNo, WexelOrderErrorListener* listener, WContext context) {
  if (!loggedOn_) return refuseNotLoggedOn(contextReport(listener, context));
  WConnectionManager* manager = manager_;
  if (!manager) return false;
  WGetCancelOrderDescrFactory factory(orderNo, listener, context, dataEndpoint());
  return manager->createAndSend(factory, nullptr, true);
}

}  // namespace wexel
