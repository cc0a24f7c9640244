// Quotes: ListenQuotes and CancelQuotes, and the adapter that turns quote
// records into UpdateQuote events.
#include <new>

#include "kx_logger.h"
#include "kx_date.h"
#include "kx_session.h"
#include "q3_codepage.h"

HRESULT KxServer::quoteSubscription(BSTR symbol, const char* infoLine, bool listen) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);  // a refusal by the library fires on this thread
    const std::string name = q3::toAnsi(symbol);
    Utils::logInfo(infoLine, name.c_str());
    const std::shared_ptr<kx::Session> session = currentSession();
    if (!session || !sessionUsable()) return refuse("Connection not established.. try to connect first!");
    const auto security = tables_.security(name);
    if (!security) return refuse("Symbol not found %s", name.c_str());
    const std::string exchange = kx::fieldText(security->exchangeCode);
    auto& listener = session->quotesListener;
    if (listen) {
      session->instance().listenQuotes(exchange, name, &listener);
    } else {
      session->instance().cancelQuotes(exchange, name, &listener);
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT KxServer::ListenQuotes(BSTR symbol) {
  return quoteSubscription(symbol, "KxServer::ListenQuotes method (Symbol: %s)", true);
}

HRESULT KxServer::CancelQuotes(BSTR symbol) {
  return quoteSubscription(symbol, "KxServer::CancelQuotes method (Symbol: %s)", false);
}

void KxServer::NativeQuotesListener::onQuote(const std::string& exchange, const std::string& security,
                                             const wexel::WQuote& q) {
  kx::ServerRef server = session_.enter();
  if (!server) return;
  Utils::logTrace("Fire Quotes: %s, %s", exchange.c_str(), security.c_str());
  server->fire(DISPID_UpdateQuote,
               {security.c_str(), kx::packedToDate(q.time), q.open, q.high, q.low, q.close, q.last, q.volume,
                q.size, q.bid, q.ask, q.bidSize, q.askSize, q.openInterest, q.buyMargin, q.sellMargin, q.baseMargin,
                q.backedBaseMargin, q.highLimit, q.lowLimit, q.tradingStatus, q.volatility, q.theoreticalPrice});
}

void KxServer::NativeQuotesListener::onError(const std::string& message, int) {
  if (kx::ServerRef server = session_.enter()) server->fireDisconnected(message.c_str());
}
