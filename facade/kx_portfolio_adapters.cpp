// The portfolio adapters: the portfolio stream of ListenPortfolio and the
// answers of GetMyOrders, GetMyTrades and GetMyClosePos, turned into events.
// Every error operation ends the session with Disconnected.
#include "kx_date.h"
#include "kx_logger.h"
#include "kx_session.h"

namespace {

using kx::numberText;

// KxOrder_Action_Sell and KxOrder_Action_Short: on the stream a trade's amount
// carries the direction as its sign.
bool sells(int32_t action) { return action == KxOrder_Action_Sell || action == KxOrder_Action_Short; }

// A short position (side 2) is shown as negative amounts; every other side as is.
constexpr int32_t kShortSide = 2;

// The low 32 bits are the cookie the host gave PlaceOrder.
int32_t hostCookie(int64_t cookie) { return static_cast<int32_t>(static_cast<uint32_t>(cookie)); }

// Rows numbered from 0, then the rows-done notice, also for an empty answer.
template <typename Record, typename FireRow>
void fireRows(KxServer& server, DISPID rowEvent, const std::vector<Record>& records, FireRow fireRow) {
  const int32_t count = static_cast<int32_t>(records.size());
  for (int32_t row = 0; row < count; ++row) fireRow(row, count, records[static_cast<size_t>(row)]);
  server.fireRowsDone(rowEvent, count);
}

}  // namespace

// ---- portfolio stream -------------------------------------------------------------

void KxServer::NativePortfolioListener::onMoney(const std::string& portfolio, const wexel::WPortfolioMoney& m) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  Utils::logTrace("Fire Portfolio: %s", portfolio.c_str());
  server->fire(DISPID_SetPortfolio, {portfolio.c_str(), m.cash, m.leverage, m.commission, m.saldo});
}

void KxServer::NativePortfolioListener::onOrder(const std::string& portfolio, const wexel::WPortfolioOrder& o) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  Utils::logTrace("Fire MyOrders: %s, orderno[%lld], id[%lld], status %d, cookie %lld", portfolio.c_str(),
                  static_cast<long long>(o.orderNumber), static_cast<long long>(o.orderId), o.state,
                  static_cast<long long>(o.cookie));
  const std::string symbol = kx::fieldText(o.symbol);
  server->fire(DISPID_UpdateOrder,
               {portfolio.c_str(), symbol.c_str(), o.state, o.action, o.type, o.validity, o.price, o.amount, o.stop,
                o.filled, kx::packedToDate(o.time), numberText(o.orderId).c_str(),
                numberText(o.orderNumber).c_str(), o.statusMask, hostCookie(o.cookie)});
}

void KxServer::NativePortfolioListener::onRecord6(const std::string&, const wexel::WPortfolioRecord6&) {}
void KxServer::NativePortfolioListener::onRecord8(const std::string&, const wexel::WPortfolioRecord8&) {}
void KxServer::NativePortfolioListener::onRecord9(const std::string&, const wexel::WPortfolioRecord9&) {}

void KxServer::NativePortfolioListener::onTrade(const std::string& portfolio, const wexel::WPortfolioTrade& t) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  Utils::logTrace("Fire MyTrades: %s, [%lld]", portfolio.c_str(), static_cast<long long>(t.tradeNumber));
  const std::string symbol = kx::fieldText(t.symbol);
  const double amount = sells(t.action) ? -t.volume : t.volume;
  server->fire(DISPID_AddTrade, {portfolio.c_str(), symbol.c_str(), numberText(t.orderNumber).c_str(), t.price,
                                 amount, kx::packedToDate(t.time), numberText(t.tradeNumber).c_str()});
}

void KxServer::NativePortfolioListener::onPosition(const std::string& portfolio,
                                                   const wexel::WPortfolioPosition& p) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  const double sign = p.side == kShortSide ? -1 : 1;
  const std::string symbol = kx::fieldText(p.symbol);
  server->fire(DISPID_UpdatePosition,
               {portfolio.c_str(), symbol.c_str(), p.averagePrice, sign * p.amount, sign * p.plannedAmount});
}

void KxServer::NativePortfolioListener::onRecord4(const std::string&, const wexel::WMyClosePos&) {}

void KxServer::NativePortfolioListener::onError(const std::string&, const std::string& message, int) {
  kx::endSession(session_, message);
}

// ---- portfolio actions --------------------------------------------------------------

void KxServer::NativePortfolioResultListener::onResult(wexel::WContext) {}

void KxServer::NativePortfolioResultListener::onError(wexel::WContext, const std::string& message, int) {
  kx::endSession(session_, message);
}

// ---- queries ------------------------------------------------------------------------

void KxServer::NativeGetMyOrdersListener::onResult(const std::string& portfolio,
                                                   const std::vector<wexel::WMyOrder>& orders, wexel::WContext) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  Utils::logTrace("Fire SetMyOrders: %s, [%d]", portfolio.c_str(), static_cast<int>(orders.size()));
  fireRows(*server, DISPID_SetMyOrder, orders, [&](int32_t row, int32_t count, const wexel::WMyOrder& o) {
    const std::string symbol = kx::fieldText(o.symbol);
    server->fire(DISPID_SetMyOrder,
                 {row, count, portfolio.c_str(), symbol.c_str(), o.state, o.action, o.type, o.validity, o.price,
                  o.amount, o.stop, o.filled, kx::packedToDate(o.time), numberText(o.orderId).c_str(),
                  numberText(o.orderNumber).c_str(), hostCookie(o.cookie)});
  });
}

void KxServer::NativeGetMyOrdersListener::onError(wexel::WContext, const std::string& message, int) {
  kx::endSession(session_, message);
}

// The query shows a trade's volume as the server gives it; the direction is in buysell.
void KxServer::NativeGetMyTradesListener::onResult(const std::string& portfolio,
                                                   const std::vector<wexel::WMyTrade>& trades, wexel::WContext) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  Utils::logTrace("Fire SetMyTrades: %s, [%d]", portfolio.c_str(), static_cast<int>(trades.size()));
  fireRows(*server, DISPID_SetMyTrade, trades, [&](int32_t row, int32_t count, const wexel::WMyTrade& t) {
    const std::string symbol = kx::fieldText(t.symbol);
    server->fire(DISPID_SetMyTrade,
                 {row, count, portfolio.c_str(), symbol.c_str(), kx::packedToDate(t.time), t.price, t.volume,
                  numberText(t.tradeNumber).c_str(), t.action, numberText(t.orderNumber).c_str()});
  });
}

void KxServer::NativeGetMyTradesListener::onError(wexel::WContext, const std::string& message, int) {
  kx::endSession(session_, message);
}

void KxServer::NativeGetMyClosePosListener::onResult(const std::string& portfolio,
                                                     const std::vector<wexel::WMyClosePos>& positions,
                                                     wexel::WContext) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  Utils::logTrace("Fire SetMyClosePos: %s, [%d]", portfolio.c_str(), static_cast<int>(positions.size()));
  fireRows(*server, DISPID_SetMyClosePos, positions, [&](int32_t row, int32_t count, const wexel::WMyClosePos& p) {
    const std::string symbol = kx::fieldText(p.symbol);
    server->fire(DISPID_SetMyClosePos,
                 {row, count, portfolio.c_str(), symbol.c_str(), p.amount, p.buyPrice, p.sellPrice,
                  kx::packedToDate(p.time), numberText(p.openingOrderNumber).c_str(),
                  numberText(p.closingOrderNumber).c_str()});
  });
}

void KxServer::NativeGetMyClosePosListener::onError(wexel::WContext, const std::string& message, int) {
  kx::endSession(session_, message);
}
