// The market-data adapters: quotes, order books, ticks and messages of the
// feeds, and the bars and tick history of GetBars and GetTrades, turned into
// events. Every error operation ends the session with Disconnected.
#include <algorithm>
#include <cmath>

#include "kx_date.h"
#include "kx_logger.h"
#include "kx_session.h"

namespace {

// Price order for the book. An entry without a price (the empty value, a NaN)
// goes last: comparing a NaN with < would break the strict order a sort needs.
bool cheaper(const wexel::WBidAskRow& a, const wexel::WBidAskRow& b) {
  if (std::isnan(a.price)) return false;
  if (std::isnan(b.price)) return true;
  return a.price < b.price;
}

using kx::endSession;
using kx::numberText;

}  // namespace

// ---- quotes -----------------------------------------------------------------------

void KxServer::NativeQuotesListener::onQuote(const std::string& exchange, const std::string& security,
                                             const wexel::WQuote& q) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  Utils::logTrace("Fire Quotes: %s, %s", exchange.c_str(), security.c_str());
  server->fire(DISPID_UpdateQuote,
               {security.c_str(), kx::packedToDate(q.time), q.open, q.high, q.low, q.close, q.last, q.volume, q.size,
                q.bid, q.ask, q.bidSize, q.askSize, q.openInterest, q.buyMargin, q.sellMargin, q.baseMargin,
                q.backedBaseMargin, q.highLimit, q.lowLimit, q.tradingStatus, q.volatility, q.theoreticalPrice});
}

void KxServer::NativeQuotesListener::onError(const std::string& message, int) { endSession(session_, message); }

// ---- order book -------------------------------------------------------------------

// The scratch lists live in the call: two feed threads may deliver books to
// this adapter at the same time.
void KxServer::NativeBidAskListener::onBidAsks(const std::string& exchange, const std::string& security,
                                               const std::vector<wexel::WBidAskRow>& rows) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  Utils::logTrace("Fire BidAsks: %s, %s, [%d]", exchange.c_str(), security.c_str(), static_cast<int>(rows.size()));
  std::vector<wexel::WBidAskRow> sorted(rows);
  std::sort(sorted.begin(), sorted.end(), cheaper);
  std::vector<const wexel::WBidAskRow*> bids;
  std::vector<const wexel::WBidAskRow*> asks;
  for (const wexel::WBidAskRow& row : sorted) (row.side == 'B' ? bids : asks).push_back(&row);
  const size_t count = std::max(bids.size(), asks.size());
  const auto price = [](const std::vector<const wexel::WBidAskRow*>& side, size_t r) {
    return r < side.size() ? side[r]->price : 0.0;
  };
  const auto volume = [](const std::vector<const wexel::WBidAskRow*>& side, size_t r) {
    return r < side.size() ? side[r]->volume : 0.0;
  };
  for (size_t r = 0; r < count; ++r) {
    server->fire(DISPID_UpdateBidAsk, {security.c_str(), static_cast<int32_t>(r), static_cast<int32_t>(count),
                                       price(bids, r), volume(bids, r), price(asks, r), volume(asks, r)});
  }
}

void KxServer::NativeBidAskListener::onError(const std::string& message, int) { endSession(session_, message); }

// ---- all trades -------------------------------------------------------------------

void KxServer::NativeTradesListener::onTrades(const std::string&, const std::string& security,
                                              const std::vector<wexel::WTradeTick>& ticks) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  for (const wexel::WTradeTick& tick : ticks) {
    server->fireAddTick(security.c_str(), kx::packedToDate(tick.time), tick.price, tick.volume,
                        numberText(tick.tradeNumber).c_str(), tick.action);
  }
}

void KxServer::NativeTradesListener::onError(const std::string& message, int) { endSession(session_, message); }

// ---- messages ---------------------------------------------------------------------

void KxServer::NativeMessagesListener::onMessage(const std::string&, const wexel::WFeedMessage&) {}

void KxServer::NativeMessagesListener::onError(const std::string& message, int) { endSession(session_, message); }

// ---- history ----------------------------------------------------------------------

void KxServer::NativeHistoryBarsListener::onBars(const std::string& exchange, const std::string& security,
                                                 int interval, wexel::WContext,
                                                 const std::vector<wexel::WHistoryBar>& bars) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  const int32_t count = static_cast<int32_t>(bars.size());
  Utils::logTrace("Fire OnBars: %s, %s [%d]", exchange.c_str(), security.c_str(), count);
  for (int32_t row = 0; row < count; ++row) {
    const wexel::WHistoryBar& b = bars[static_cast<size_t>(row)];
    server->fire(DISPID_AddBar, {row, count, security.c_str(), static_cast<int32_t>(interval),
                                 kx::packedToDate(b.time), b.open, b.high, b.low, b.close, b.volume,
                                 b.openInterest});
  }
  server->fireRowsDone(DISPID_AddBar, count);
}

void KxServer::NativeHistoryBarsListener::onError(wexel::WContext, const std::string& message, int) {
  endSession(session_, message);
}

void KxServer::NativeGetTicksListener::onTicks(const std::string&, const std::string& security,
                                               const std::vector<wexel::WTick>& ticks, wexel::WContext) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  const int32_t count = static_cast<int32_t>(ticks.size());
  for (int32_t row = 0; row < count; ++row) {
    const wexel::WTick& t = ticks[static_cast<size_t>(row)];
    server->fire(DISPID_AddTickHistory, {row, count, security.c_str(), kx::packedToDate(t.time), t.price, t.volume,
                                         numberText(t.tradeNumber).c_str(), t.action});
  }
  server->fireRowsDone(DISPID_AddTickHistory, count);
}

void KxServer::NativeGetTicksListener::onError(wexel::WContext, const std::string& message, int) {
  endSession(session_, message);
}
