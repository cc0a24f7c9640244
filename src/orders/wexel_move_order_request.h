// Moving a resting order to a new price, one connection per move. The reply
// is reported against the portfolio and the order number, cookie 0.
#pragma once

#include "orders/wexel_order_request.h"
#include "orders/wexel_order_urls.h"

namespace wexel {

inline constexpr WOrderSource kMoveOrderSource = {"src/wexel_move_order_request", 46};

template <typename Tag>
class WMoveOrderRequest : public WOrderActionRequest<Tag> {
 public:
  WMoveOrderRequest(WConnectionManager* manager, const sockaddr_in& server, WexelOrderActionResultListener* listener,
                    const WOrderReportFields& order)
      : WOrderActionRequest<Tag>(manager, server, listener, order, kMoveOrderSource) {}
};

class WMoveOrderFactory : public WOrderActionFactory<WMoveOrderRequest> {
 public:
  WMoveOrderFactory(const std::string& portfolio, int64_t orderNo, double price, int forced, WContext context,
                    WexelOrderActionResultListener* listener, const sockaddr_in& endpoint, bool tls)
      : WOrderActionFactory(moveOrderUrl(portfolio, orderNo, price, forced), listener,
                            WOrderReportFields{portfolio, "", "", orderNo, 0, context}, endpoint, tls) {}
};

}  // namespace wexel
