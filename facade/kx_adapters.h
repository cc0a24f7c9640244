// The adapters through which the client library reports a session's results.
// Each belongs to one Session and reaches the KxServer only while that
// session is current.
#pragma once

#include "kx_server.h"
#include "wexel/wexel_instance.h"

namespace kx {
class Session;

// The context each order action hands the library, given back with its result.
inline constexpr wexel::WContext kPlaceContext = 1;
inline constexpr wexel::WContext kCancelContext = 2;
inline constexpr wexel::WContext kMoveContext = 3;
}  // namespace kx

class KxServer::NativeLogonListener : public wexel::WexelLogonListener {
 public:
  explicit NativeLogonListener(kx::Session& session) : session_(session) {}
  void onLogon(const std::vector<wexel::WPortfolioEntry>& portfolios, const std::vector<std::string>& news,
               const std::vector<std::string>& exchanges) override;
  void onError(const std::string& message, int code) override;
  void onUpdateInfo(const std::string& name, int64_t version, const std::string& url) override;

 private:
  kx::Session& session_;
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
