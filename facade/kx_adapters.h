// The adapters through which the client library reports a session's results.
// Each belongs to one Session and reaches the KxServer only while that
// session is current.
#pragma once

#include <cinttypes>
#include <cstdio>

#include "kx_server.h"
#include "wexel/wexel_instance.h"

namespace kx {
class Session;

// The context each order action hands the library, given back with its result.
inline constexpr wexel::WContext kPlaceContext = 1;
inline constexpr wexel::WContext kCancelContext = 2;
inline constexpr wexel::WContext kMoveContext = 3;

// 64-bit order and trade numbers travel to the host as decimal text.
inline std::string numberText(int64_t number) {
  char text[24];
  std::snprintf(text, sizeof text, "%" PRId64, number);
  return text;
}
}  // namespace kx

class KxServer::NativeLogonListener : public wexel::WexelLogonListener {
 public:
  explicit NativeLogonListener(kx::Session& session) : session_(session) {}
  void onLogon(const std::vector<wexel::WPortfolioEntry>& portfolios, const std::vector<std::string>& news,
               const std::vector<std::string>& exchanges) override;
  void onError(const std::string& message, int code) override;
  void onUpdateInfo(const std::string& name, int64_t version, const std::string& url) override;

  // The TLS attempt's failure, held back while a plain logon may follow;
  // reports it as the logon's outcome when none follows. Once only.
  void reportTlsFailure();

 private:
  void fail(const std::string& message, int code);

  kx::Session& session_;
  boost::mutex tlsFailureLock_;  // tlsFailure_; a leaf
  std::string tlsFailure_;
};

class KxServer::NativeReferenceSecuritiesListener : public wexel::WexelReferenceSecuritiesListener {
 public:
  explicit NativeReferenceSecuritiesListener(kx::Session& session) : session_(session) {}
  void onSecurities(const std::vector<wexel::WSecurity>& securities, const std::vector<wexel::WGuidePair>& section1,
                    const std::vector<wexel::WGuidePair>& section2,
                    const std::vector<wexel::WGuidePair>& section3) override;
  void onError(const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

class KxServer::NativeQuotesListener : public wexel::WexelQuotesListener {
 public:
  explicit NativeQuotesListener(kx::Session& session) : session_(session) {}
  void onQuote(const std::string& exchange, const std::string& security, const wexel::WQuote& quote) override;
  void onError(const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

// The order-book feed. Its scratch lists of bids and asks are per call.
class KxServer::NativeBidAskListener : public wexel::WexelOrdersListener {
 public:
  explicit NativeBidAskListener(kx::Session& session) : session_(session) {}
  void onBidAsks(const std::string& exchange, const std::string& security,
                 const std::vector<wexel::WBidAskRow>& rows) override;
  void onError(const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

// The all-trades feed.
class KxServer::NativeTradesListener : public wexel::WexelTradesListener {
 public:
  explicit NativeTradesListener(kx::Session& session) : session_(session) {}
  void onTrades(const std::string& exchange, const std::string& security,
                const std::vector<wexel::WTradeTick>& ticks) override;
  void onError(const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

class KxServer::NativeMessagesListener : public wexel::WexelMessagesListener {
 public:
  explicit NativeMessagesListener(kx::Session& session) : session_(session) {}
  void onMessage(const std::string& channel, const wexel::WFeedMessage& message) override;
  void onError(const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

// The bars of GetBars.
class KxServer::NativeHistoryBarsListener : public wexel::WexelHistoryBarsListener {
 public:
  explicit NativeHistoryBarsListener(kx::Session& session) : session_(session) {}
  void onBars(const std::string& exchange, const std::string& security, int interval, wexel::WContext context,
              const std::vector<wexel::WHistoryBar>& bars) override;
  void onError(wexel::WContext context, const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

// The tick history of GetTrades.
class KxServer::NativeGetTicksListener : public wexel::WexelGetTicksListener {
 public:
  explicit NativeGetTicksListener(kx::Session& session) : session_(session) {}
  void onTicks(const std::string& exchange, const std::string& security, const std::vector<wexel::WTick>& ticks,
               wexel::WContext context) override;
  void onError(wexel::WContext context, const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

// The portfolio stream of ListenPortfolio: money, orders, trades and
// positions. The record kinds hosts have no event for are dropped.
class KxServer::NativePortfolioListener : public wexel::WexelPortfolioListener {
 public:
  explicit NativePortfolioListener(kx::Session& session) : session_(session) {}
  void onMoney(const std::string& portfolio, const wexel::WPortfolioMoney& money) override;
  void onOrder(const std::string& portfolio, const wexel::WPortfolioOrder& order) override;
  void onRecord6(const std::string& portfolio, const wexel::WPortfolioRecord6& record) override;
  void onRecord8(const std::string& portfolio, const wexel::WPortfolioRecord8& record) override;
  void onRecord9(const std::string& portfolio, const wexel::WPortfolioRecord9& record) override;
  void onTrade(const std::string& portfolio, const wexel::WPortfolioTrade& trade) override;
  void onPosition(const std::string& portfolio, const wexel::WPortfolioPosition& position) override;
  void onRecord4(const std::string& portfolio, const wexel::WMyClosePos& closed) override;
  void onError(const std::string& portfolio, const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

// The outcome of a portfolio action; only its errors reach the host.
class KxServer::NativePortfolioResultListener : public wexel::WexelPortfolioActionResultListener {
 public:
  explicit NativePortfolioResultListener(kx::Session& session) : session_(session) {}
  void onResult(wexel::WContext context) override;
  void onError(wexel::WContext context, const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

// The rows of GetMyOrders.
class KxServer::NativeGetMyOrdersListener : public wexel::WexelGetMyOrdersListener {
 public:
  explicit NativeGetMyOrdersListener(kx::Session& session) : session_(session) {}
  void onResult(const std::string& portfolio, const std::vector<wexel::WMyOrder>& orders,
                wexel::WContext context) override;
  void onError(wexel::WContext context, const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

// The rows of GetMyTrades.
class KxServer::NativeGetMyTradesListener : public wexel::WexelGetMyTradesListener {
 public:
  explicit NativeGetMyTradesListener(kx::Session& session) : session_(session) {}
  void onResult(const std::string& portfolio, const std::vector<wexel::WMyTrade>& trades,
                wexel::WContext context) override;
  void onError(wexel::WContext context, const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

// The rows of GetMyClosePos.
class KxServer::NativeGetMyClosePosListener : public wexel::WexelGetMyClosePosListener {
 public:
  explicit NativeGetMyClosePosListener(kx::Session& session) : session_(session) {}
  void onResult(const std::string& portfolio, const std::vector<wexel::WMyClosePos>& positions,
                wexel::WContext context) override;
  void onError(wexel::WContext context, const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

// The results of PlaceOrder, CancelOrder and MoveOrder, by the action the
// reply names. A place that failed on the socket before any reply (no action,
// no order number, the place's context) is reported as OrderFailed with the
// error text, so that the host does not wait for an outcome that never comes.
class KxServer::NativeOrderActionResultListener : public wexel::WexelOrderActionResultListener {
 public:
  explicit NativeOrderActionResultListener(kx::Session& session) : session_(session) {}
  void onActionResult(void* reserved, const std::string& portfolio, const std::string& exchange,
                      const std::string& security, int64_t orderNo, const std::string& message,
                      const std::string& action, wexel::WCookie cookie, wexel::WContext context) override;
  void onError(wexel::WCookie cookie, wexel::WContext context, const std::string& message, int code) override;

 private:
  kx::Session& session_;
};
