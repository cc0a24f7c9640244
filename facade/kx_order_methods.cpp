// The order actions: PlaceOrder, CancelOrder and MoveOrder. Each writes its
// INFO line, checks its arguments, the session, the portfolio (and the
// symbol) in that order, waits for its turn under maxOrdersPerSecond, and
// hands one action to the instance with the session's order-action adapter;
// the outcome comes back as an event.
#include <chrono>
#include <cstdio>
#include <new>

#include "kx_logger.h"
#include "kx_session.h"
#include "q3_codepage.h"

namespace {

// Place as a plain order: no condition, not fill-or-kill.
constexpr int kNoCondition = 0;
constexpr int kNotFillOrKill = 1;
// Cancel the order as a basic one; move without forcing.
constexpr int kBasicOrder = 0;
constexpr int kNotForced = 0;

// An order number as the host writes it: leading blanks allowed, trailing
// text ignored; no number at all reads as 0, which no order has.
int64_t orderNumber(const std::string& text) {
  long long number = 0;
  return std::sscanf(text.c_str(), "%lld", &number) == 1 ? number : 0;
}

}  // namespace

HRESULT KxServer::awaitOrderTurn() {
  kx::OrderThrottle::Clock::duration waited;
  if (!orderThrottle_.acquire(&waited)) {
    return refuse("Order action not sent: the connection was closed while it waited for its turn "
                  "(maxOrdersPerSecond)");
  }
  if (waited > kx::OrderThrottle::Clock::duration::zero()) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(waited).count();
    Utils::logTrace("Order action waited %lld ms for its turn (maxOrdersPerSecond=%d)", static_cast<long long>(ms),
                    orderThrottle_.rate());
  }
  return S_OK;
}

HRESULT KxServer::knownPortfolio(const std::string& portfolio) {
  if (!tables_.hasPortfolio(portfolio)) return refuse("Portfolio %s not found", kx::echoed(portfolio).c_str());
  return S_OK;
}

// The library may refuse an action on this thread (not logged on, an order it
// cannot write as a URL), which fires Disconnected here: hence the reference.
HRESULT KxServer::PlaceOrder(BSTR portfolio, BSTR symbol, KxOrder_Action action, KxOrder_Type type,
                             KxOrder_Validity validity, DOUBLE price, DOUBLE amount, DOUBLE stop, LONG cookie) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);
    const std::string code = q3::toAnsi(portfolio);
    const std::string name = q3::toAnsi(symbol);
    Utils::logInfo(
        "KxServer::PlaceOrder method (Portfolio: %s, Symbol %s, Action %d, Type %d, Validity %d, Price %f, "
        "Amount %f, Stop %f, cookie %d)",
        code.c_str(), name.c_str(), static_cast<int>(action), static_cast<int>(type), static_cast<int>(validity),
        price, amount, stop, static_cast<int>(cookie));
    if (!portfolio || !symbol) return refuse("Bad portfolio/symbol parameters!");
    std::shared_ptr<kx::Session> session;
    std::string exchange;
    if (const HRESULT hr = usableSession(&session); FAILED(hr)) return hr;
    if (const HRESULT hr = knownPortfolio(code); FAILED(hr)) return hr;
    if (const HRESULT hr = exchangeOf(name, &exchange); FAILED(hr)) return hr;
    if (const HRESULT hr = awaitOrderTurn(); FAILED(hr)) return hr;
    // The library takes the stop price before the amount.
    session->instance().placeOrder(code, exchange, name, action, type, validity, kNoCondition, price, stop, amount,
                                   std::string(), std::string(), 0.0, kNotFillOrKill,
                                   static_cast<wexel::WCookie>(cookie), kx::kPlaceContext, asyncOrders_,
                                   &session->orderActionListener);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT KxServer::CancelOrder(BSTR portfolio, BSTR symbol, BSTR orderid) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);
    const std::string code = q3::toAnsi(portfolio);
    const std::string name = q3::toAnsi(symbol);
    const std::string order = q3::toAnsi(orderid);
    Utils::logInfo("KxServer::CancelOrder method (Portfolio: %s, Symbol %s, OrderId %s", code.c_str(), name.c_str(),
                   order.c_str());
    if (!portfolio || !symbol || !orderid) return refuse("Bad portfolio/symbol parameters!");
    std::shared_ptr<kx::Session> session;
    std::string exchange;
    if (const HRESULT hr = usableSession(&session); FAILED(hr)) return hr;
    if (const HRESULT hr = knownPortfolio(code); FAILED(hr)) return hr;
    if (const HRESULT hr = exchangeOf(name, &exchange); FAILED(hr)) return hr;
    const int64_t number = orderNumber(order);
    if (number == 0) return refuse("Cancel failed, bad orderId %s", kx::echoed(order).c_str());
    if (const HRESULT hr = awaitOrderTurn(); FAILED(hr)) return hr;
    session->instance().cancelOrder(code, exchange, name, kBasicOrder, number, kx::kCancelContext, asyncOrders_,
                                    &session->orderActionListener);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT KxServer::MoveOrder(BSTR portfolio, BSTR orderid, DOUBLE targetPrice) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);
    const std::string code = q3::toAnsi(portfolio);
    const std::string order = q3::toAnsi(orderid);
    Utils::logInfo("KxServer::MoveOrder method (Portfolio: %s, OrderId %s, TargetPrice %f", code.c_str(),
                   order.c_str(), targetPrice);
    if (!portfolio || !orderid) return refuse("Bad portfolio/orderId parameters!");
    std::shared_ptr<kx::Session> session;
    if (const HRESULT hr = usableSession(&session); FAILED(hr)) return hr;
    if (const HRESULT hr = knownPortfolio(code); FAILED(hr)) return hr;
    const int64_t number = orderNumber(order);
    if (number == 0) return refuse("Move failed, bad orderId %s", kx::echoed(order).c_str());
    if (const HRESULT hr = awaitOrderTurn(); FAILED(hr)) return hr;
    session->instance().moveOrder(code, number, targetPrice, kNotForced, kx::kMoveContext, asyncOrders_,
                                  &session->orderActionListener);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
