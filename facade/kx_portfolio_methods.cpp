// The portfolio methods: the stream of ListenPortfolio and CancelPortfolio,
// the queries GetMyOrders, GetMyTrades and GetMyClosePos, and
// GetMoneyAccount, which answers from the portfolio table. Each writes its
// INFO line, checks in its order and hands one request to the instance.
#include <new>

#include "kx_logger.h"
#include "kx_session.h"
#include "q3_codepage.h"

namespace kx {

// The facade reads the plain portfolio stream, never the timed one.
inline constexpr int kPortfolioMode = 0;
// The queries carry no context of their own; their adapters ignore it.
inline constexpr wexel::WContext kNoContext = 0;

struct PortfolioRule {
  const char* infoLine;
  bool (*call)(Session& session, const std::string& portfolio);
  bool listen;  // else a cancel
};

struct QueryRule {
  bool (*call)(Session& session, const std::string& portfolio);
};

}  // namespace kx

namespace {

using kx::Session;

bool listenPortfolio(Session& s, const std::string& portfolio) {
  return s.instance().listenPortfolio(portfolio, &s.portfolioListener, kx::kPortfolioMode);
}
bool cancelPortfolio(Session& s, const std::string& portfolio) {
  return s.instance().cancelPortfolio(portfolio, kx::kPortfolioMode);
}
bool getMyOrders(Session& s, const std::string& portfolio) {
  return s.instance().getMyOrders(portfolio, &s.myOrdersListener, kx::kNoContext);
}
bool getMyTrades(Session& s, const std::string& portfolio) {
  return s.instance().getMyTrades(portfolio, &s.myTradesListener, kx::kNoContext);
}
bool getMyClosePos(Session& s, const std::string& portfolio) {
  return s.instance().getMyClosePos(portfolio, &s.myClosePosListener, kx::kNoContext);
}

constexpr kx::PortfolioRule kListenPortfolio{"KxServer::ListenPortfolio method (Portfolio: %s)", listenPortfolio,
                                             true};
constexpr kx::PortfolioRule kCancelPortfolio{"KxServer::CancelPortfolio method (Portfolio: %s)", cancelPortfolio,
                                             false};
constexpr kx::QueryRule kGetMyOrders{getMyOrders};
constexpr kx::QueryRule kGetMyTrades{getMyTrades};
constexpr kx::QueryRule kGetMyClosePos{getMyClosePos};

}  // namespace

// A null portfolio reads as the empty code, which no portfolio has.
HRESULT KxServer::portfolioStream(BSTR portfolio, const kx::PortfolioRule& rule) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);  // a refusal by the library fires on this thread
    const std::string code = q3::toAnsi(portfolio);
    Utils::logInfo(rule.infoLine, code.c_str());
    std::shared_ptr<kx::Session> session;
    if (const HRESULT hr = usableSession(&session); FAILED(hr)) return hr;
    if (!portfolio) return refuse("Portfolio %s not found", "");
    if (const HRESULT hr = knownPortfolio(code); FAILED(hr)) return hr;
    rule.call(*session, code);
    subscriptions_.set(kx::SubscriptionList::Kind::kPortfolio, code, rule.listen);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT KxServer::queryChecks(BSTR portfolio, const std::string& code, std::shared_ptr<kx::Session>* session) {
  if (!portfolio) return refuse("Bad portfolio parameters!");
  if (const HRESULT hr = usableSession(session); FAILED(hr)) return hr;
  return knownPortfolio(code);
}

HRESULT KxServer::portfolioQuery(BSTR portfolio, const std::string& code, const kx::QueryRule& rule) {
  std::shared_ptr<kx::Session> session;
  if (const HRESULT hr = queryChecks(portfolio, code, &session); FAILED(hr)) return hr;
  rule.call(*session, code);
  return S_OK;
}

// After a reconnect: the portfolio streams the host had, on the new session.
void KxServer::restorePortfolioStreams(kx::Session& session) {
  for (const auto& [kind, code] : subscriptions_.all()) {
    if (kind != kx::SubscriptionList::Kind::kPortfolio || !tables_.hasPortfolio(code)) continue;
    Utils::logInfo(kListenPortfolio.infoLine, code.c_str());
    kListenPortfolio.call(session, code);
  }
}

HRESULT KxServer::ListenPortfolio(BSTR portfolio) { return portfolioStream(portfolio, kListenPortfolio); }
HRESULT KxServer::CancelPortfolio(BSTR portfolio) { return portfolioStream(portfolio, kCancelPortfolio); }

// The server has no request for active orders only: onlyActive is reported
// and the query asks for all of the portfolio's orders.
HRESULT KxServer::GetMyOrders(INT onlyActive, BSTR portfolio) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);
    const std::string code = q3::toAnsi(portfolio);
    Utils::logInfo("KxServer::GetMyOrders method (Portfolio: %s, only active %d", code.c_str(), onlyActive);
    return portfolioQuery(portfolio, code, kGetMyOrders);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT KxServer::GetMyTrades(BSTR portfolio) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);
    const std::string code = q3::toAnsi(portfolio);
    Utils::logInfo("KxServer::GetMyTrades method (Portfolio: %s)", code.c_str());
    return portfolioQuery(portfolio, code, kGetMyTrades);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT KxServer::GetMyClosePos(BSTR portfolio) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);
    const std::string code = q3::toAnsi(portfolio);
    Utils::logInfo("KxServer::GetMyClosePos method (Portfolio: %s)", code.c_str());
    return portfolioQuery(portfolio, code, kGetMyClosePos);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// The out parameter is written only when the answer is S_OK.
HRESULT KxServer::GetMoneyAccount(BSTR portfolioID, BSTR* moneyAccount) {
  try {
    const std::string code = q3::toAnsi(portfolioID);
    Utils::logInfo("KxServer::GetMoneyAccount method (Portfolio: %s)", code.c_str());
    if (!moneyAccount) return E_POINTER;
    std::shared_ptr<kx::Session> session;
    if (const HRESULT hr = queryChecks(portfolioID, code, &session); FAILED(hr)) return hr;
    const std::optional<std::string> account = tables_.moneyAccount(code);
    if (!account) return refuse("Portfolio %s not found", kx::echoed(code).c_str());  // gone with a new logon meanwhile
    BSTR text = q3::ansiToBstr(account->c_str());
    if (!text) return E_OUTOFMEMORY;
    *moneyAccount = text;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
