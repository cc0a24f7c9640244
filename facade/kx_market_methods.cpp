// The market-data and reference methods: the six feed subscriptions, the
// history requests GetBars and GetTrades, and GetSymbols, which answers from
// the securities table on the caller's thread.
#include <algorithm>
#include <chrono>
#include <climits>
#include <new>

#include "kx_date.h"
#include "kx_logger.h"
#include "kx_session.h"
#include "q3_codepage.h"

namespace kx {

// One feed subscription method: its INFO line and the library operation it
// hands the symbol to, with the session's adapter of that feed.
struct SubscriptionRule {
  const char* infoLine;
  bool (*call)(Session& session, const std::string& exchange, const std::string& symbol);
  SubscriptionList::Kind kind;
  bool listen;  // else a cancel
};

}  // namespace kx

namespace {

constexpr const char* kNoSession = "Connection not established.. try to connect first!";
constexpr const char* kNotReady = "Session not ready: the securities list is still loading, wait for Connected";

using kx::Session;
using kx::SubscriptionRule;
using Kind = kx::SubscriptionList::Kind;

bool listenQuotes(Session& s, const std::string& exchange, const std::string& symbol) {
  return s.instance().listenQuotes(exchange, symbol, &s.quotesListener);
}
bool cancelQuotes(Session& s, const std::string& exchange, const std::string& symbol) {
  return s.instance().cancelQuotes(exchange, symbol, &s.quotesListener);
}
bool listenBidAsks(Session& s, const std::string& exchange, const std::string& symbol) {
  return s.instance().listenBidAsks(exchange, symbol, &s.bidAskListener);
}
bool cancelBidAsks(Session& s, const std::string& exchange, const std::string& symbol) {
  return s.instance().cancelBidAsks(exchange, symbol, &s.bidAskListener);
}
bool listenTicks(Session& s, const std::string& exchange, const std::string& symbol) {
  return s.instance().listenTicks(exchange, symbol, &s.tradesListener);
}
bool cancelTicks(Session& s, const std::string& exchange, const std::string& symbol) {
  return s.instance().cancelTicks(exchange, symbol, &s.tradesListener);
}

constexpr SubscriptionRule kListenQuotes{"KxServer::ListenQuotes method (Symbol: %s)", listenQuotes,
                                    Kind::kQuotes, true};
constexpr SubscriptionRule kCancelQuotes{"KxServer::CancelQuotes method (Symbol: %s)", cancelQuotes,
                                    Kind::kQuotes, false};
constexpr SubscriptionRule kListenBidAsks{"KxServer::ListenBidAsks method (Symbol: %s)", listenBidAsks,
                                    Kind::kBook, true};
constexpr SubscriptionRule kCancelBidAsks{"KxServer::CancelBidAsks method (Symbol: %s)", cancelBidAsks,
                                    Kind::kBook, false};
constexpr SubscriptionRule kListenTicks{"KxServer::ListenTicks method (Symbol: %s)", listenTicks,
                                    Kind::kTicks, true};
constexpr SubscriptionRule kCancelTicks{"KxServer::CancelTicks method (Symbol: %s)", cancelTicks,
                                    Kind::kTicks, false};

// The server reads a negative count as "this many back". -INT_MIN does not
// exist; the largest count stands in for it.
int negated(int32_t count) { return count == INT_MIN ? INT_MAX : -count; }

double utcNowAsDate() {
  using namespace std::chrono;
  const double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
  return seconds / quarnel3::kSecondsPerDay + 25569;  // 1970-01-01 is day 25569
}

}  // namespace

// ---- subscriptions ----------------------------------------------------------------

// Logged on but before Connected, the securities list is still on its way:
// the session is not ready yet, which is not the same as no session.
HRESULT KxServer::usableSession(std::shared_ptr<kx::Session>* session) {
  *session = currentSession();
  if (*session && sessionUsable()) return S_OK;
  if (*session && (*session)->loading()) return refuse("%s", kNotReady);
  return refuse("%s", kNoSession);
}

HRESULT KxServer::exchangeOf(const std::string& symbol, std::string* exchange) {
  const auto security = symbol.empty() ? std::nullopt : tables_.security(symbol);
  if (!security) return refuse("Symbol not found %s", kx::echoed(symbol).c_str());
  *exchange = kx::fieldText(security->exchangeCode);
  return S_OK;
}

HRESULT KxServer::resolveSymbol(const std::string& symbol, std::shared_ptr<kx::Session>* session,
                                std::string* exchange) {
  if (const HRESULT hr = usableSession(session); FAILED(hr)) return hr;
  return exchangeOf(symbol, exchange);
}

// The facade keeps no list of subscriptions: every call goes to the library.
HRESULT KxServer::subscription(BSTR symbol, const kx::SubscriptionRule& rule) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);  // a refusal by the library fires on this thread
    const std::string name = q3::toAnsi(symbol);
    Utils::logInfo(rule.infoLine, name.c_str());
    std::shared_ptr<kx::Session> session;
    std::string exchange;
    if (const HRESULT hr = resolveSymbol(name, &session, &exchange); FAILED(hr)) return hr;
    rule.call(*session, exchange, name);
    subscriptions_.set(rule.kind, name, rule.listen);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// After a reconnect: the quotes, books and ticks the host had, on the new session.
void KxServer::restoreMarketSubscriptions(kx::Session& session) {
  for (const auto& [kind, symbol] : subscriptions_.all()) {
    const auto security = tables_.security(symbol);
    if (kind == Kind::kPortfolio || !security) continue;
    const std::string exchange = kx::fieldText(security->exchangeCode);
    const SubscriptionRule& rule =
        kind == Kind::kQuotes ? kListenQuotes : kind == Kind::kBook ? kListenBidAsks : kListenTicks;
    Utils::logInfo(rule.infoLine, symbol.c_str());
    rule.call(session, exchange, symbol);
  }
}

HRESULT KxServer::ListenQuotes(BSTR symbol) { return subscription(symbol, kListenQuotes); }
HRESULT KxServer::CancelQuotes(BSTR symbol) { return subscription(symbol, kCancelQuotes); }
HRESULT KxServer::ListenBidAsks(BSTR symbol) { return subscription(symbol, kListenBidAsks); }
HRESULT KxServer::CancelBidAsks(BSTR symbol) { return subscription(symbol, kCancelBidAsks); }
HRESULT KxServer::ListenTicks(BSTR symbol) { return subscription(symbol, kListenTicks); }
HRESULT KxServer::CancelTicks(BSTR symbol) { return subscription(symbol, kCancelTicks); }

// ---- history ----------------------------------------------------------------------

HRESULT KxServer::GetBars(BSTR symbol, KxBarInterval interval, DATE since, LONG count) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);
    const std::string name = q3::toAnsi(symbol);
    const wexel::PackedTime from = kx::dateToPacked(since);
    const wexel::WDateTime t = wexel::unpackTime(from);
    Utils::logInfo("KxServer::GetBars method (Symbol: %s, Interval %d, Since %d:%d:%d %d:%d:%d, Count %d)",
                   name.c_str(), static_cast<int>(interval), t.year, t.month, t.day, t.hour, t.minute, t.second,
                   static_cast<int>(count));
    std::shared_ptr<kx::Session> session;
    std::string exchange;
    if (const HRESULT hr = resolveSymbol(name, &session, &exchange); FAILED(hr)) return hr;
    session->instance().getBars(exchange, name, interval, from, 0, negated(count), 0, &session->historyBarsListener);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT KxServer::GetTrades(BSTR symbol, DATE from, INT count) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);
    const std::string name = q3::toAnsi(symbol);
    const wexel::PackedTime since = kx::dateToPacked(from);
    const wexel::WDateTime t = wexel::unpackTime(since);
    Utils::logInfo("KxServer::GetTrades method (Symbol: %s, Since %d:%d:%d %d:%d:%d, Count %d)", name.c_str(), t.year,
                   t.month, t.day, t.hour, t.minute, t.second, count);
    std::shared_ptr<kx::Session> session;
    std::string exchange;
    if (const HRESULT hr = resolveSymbol(name, &session, &exchange); FAILED(hr)) return hr;
    session->instance().getTicks(name, exchange, since, negated(count), &session->getTicksListener, 0);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// ---- securities -------------------------------------------------------------------

namespace {

struct SymbolRow {
  int32_t row;
  int32_t count;
  double now;
};

void fireSymbol(KxServer& server, const std::string& symbol, const wexel::WSecurity& s, const SymbolRow& at) {
  const std::string shortName = kx::fieldText(s.shortName);
  const std::string longName = kx::fieldText(s.longName);
  const std::string type = kx::fieldText(s.type);
  const std::string exchange = kx::fieldText(s.exchangeCode);
  const DATE expiry = s.expiry == 0 ? 0 : kx::packedToDate(s.expiry);
  const double daysLeft = expiry == 0 ? -1 : std::max(0.0, expiry - at.now);
  server.fire(DISPID_AddSymbol, {at.row, at.count, symbol.c_str(), shortName.c_str(), longName.c_str(), type.c_str(),
                                 s.decimals, s.lotSize, s.pointValue, s.priceStep, static_cast<const char*>(nullptr),
                                 exchange.c_str(), expiry, daysLeft, s.strike});
}

}  // namespace

// The table is a map ordered by the symbol's bytes, so the rows come in that order.
HRESULT KxServer::GetSymbols() {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);
    Utils::logInfo("KxServer::GetSymbols method");
    std::shared_ptr<kx::Session> session;
    if (const HRESULT hr = usableSession(&session); FAILED(hr)) return hr;
    const auto securities = tables_.securities();
    SymbolRow at{0, static_cast<int32_t>(securities.size()), utcNowAsDate()};
    for (const auto& [symbol, security] : securities) {
      fireSymbol(*this, symbol, security, at);
      ++at.row;
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
