// The listener interfaces through which the library reports results. They
// are called on the library's own threads (I/O thread, pool workers), except
// the reports an operation makes before it returns. Records are valid only
// during the call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wexel/wexel_records.h"

namespace wexel {

using WContext = uint64_t;
using WCookie = uint32_t;

class WexelLogonListener {
 public:
  virtual void onLogon(const std::vector<WPortfolioEntry>& portfolios, const std::vector<std::string>& news,
                       const std::vector<std::string>& exchanges) = 0;
  virtual void onError(const std::string& message, int code) = 0;
  virtual void onUpdateInfo(const std::string& name, int64_t version, const std::string& url) = 0;
  virtual ~WexelLogonListener() = default;
};

class WexelQuotesListener {
 public:
  virtual void onQuote(const std::string& exchange, const std::string& security, const WQuote& quote) = 0;
  virtual void onError(const std::string& message, int code) = 0;
  virtual ~WexelQuotesListener() = default;
};

class WexelTradesListener {
 public:
  virtual void onTrades(const std::string& exchange, const std::string& security,
                        const std::vector<WTradeTick>& ticks) = 0;
  virtual void onError(const std::string& message, int code) = 0;
  virtual ~WexelTradesListener() = default;
};

class WexelOrdersListener {
 public:
  virtual void onBidAsks(const std::string& exchange, const std::string& security,
                         const std::vector<WBidAskRow>& rows) = 0;
  virtual void onError(const std::string& message, int code) = 0;
  virtual ~WexelOrdersListener() = default;
};

class WexelMessagesListener {
 public:
  virtual void onMessage(const std::string& channel, const WFeedMessage& message) = 0;
  virtual void onError(const std::string& message, int code) = 0;
  virtual ~WexelMessagesListener() = default;
};

class WexelReferenceSecuritiesListener {
 public:
  virtual void onSecurities(const std::vector<WSecurity>& securities, const std::vector<WGuidePair>& section1,
                            const std::vector<WGuidePair>& section2, const std::vector<WGuidePair>& section3) = 0;
  virtual void onError(const std::string& message, int code) = 0;
  virtual ~WexelReferenceSecuritiesListener() = default;
};

class WexelPortfolioListener {
 public:
  virtual void onMoney(const std::string& portfolio, const WPortfolioMoney& money) = 0;
  virtual void onOrder(const std::string& portfolio, const WPortfolioOrder& order) = 0;
  virtual void onRecord6(const std::string& portfolio, const WPortfolioRecord6& record) = 0;
  virtual void onRecord8(const std::string& portfolio, const WPortfolioRecord8& record) = 0;
  virtual void onRecord9(const std::string& portfolio, const WPortfolioRecord9& record) = 0;
  virtual void onTrade(const std::string& portfolio, const WPortfolioTrade& trade) = 0;
  virtual void onPosition(const std::string& portfolio, const WPortfolioPosition& position) = 0;
  virtual void onRecord4(const std::string& portfolio, const WMyClosePos& closed) = 0;
  virtual void onError(const std::string& portfolio, const std::string& message, int code) = 0;
  virtual ~WexelPortfolioListener() = default;
};

class WexelOrderActionResultListener {
 public:
  // reserved is always null; action is the reply's tag ("place-order", ...)
  // or empty when the request failed on the socket; message is empty on success.
  virtual void onActionResult(void* reserved, const std::string& portfolio, const std::string& exchange,
                              const std::string& security, int64_t orderNo, const std::string& message,
                              const std::string& action, WCookie cookie, WContext context) = 0;
  virtual void onError(WCookie cookie, WContext context, const std::string& message, int code) = 0;
  virtual ~WexelOrderActionResultListener() = default;
};

class WexelHistoryBarsListener {
 public:
  virtual void onBars(const std::string& exchange, const std::string& security, int interval, WContext context,
                      const std::vector<WHistoryBar>& bars) = 0;
  virtual void onError(WContext context, const std::string& message, int code) = 0;
  virtual ~WexelHistoryBarsListener() = default;
};

class WexelPortfolioActionResultListener {
 public:
  virtual void onResult(WContext context) = 0;
  virtual void onError(WContext context, const std::string& message, int code) = 0;
  virtual ~WexelPortfolioActionResultListener() = default;
};

class WexelGetMyOrdersListener {
 public:
  virtual void onResult(const std::string& portfolio, const std::vector<WMyOrder>& orders, WContext context) = 0;
  virtual void onError(WContext context, const std::string& message, int code) = 0;
  virtual ~WexelGetMyOrdersListener() = default;
};

class WexelGetMyTradesListener {
 public:
  virtual void onResult(const std::string& portfolio, const std::vector<WMyTrade>& trades, WContext context) = 0;
  virtual void onError(WContext context, const std::string& message, int code) = 0;
  virtual ~WexelGetMyTradesListener() = default;
};

class WexelGetMyClosePosListener {
 public:
  virtual void onResult(const std::string& portfolio, const std::vector<WMyClosePos>& positions,
                        WContext context) = 0;
  virtual void onError(WContext context, const std::string& message, int code) = 0;
  virtual ~WexelGetMyClosePosListener() = default;
};

class WexelGetTicksListener {
 public:
  virtual void onTicks(const std::string& exchange, const std::string& security, const std::vector<WTick>& ticks,
                       WContext context) = 0;
  virtual void onError(WContext context, const std::string& message, int code) = 0;
  virtual ~WexelGetTicksListener() = default;
};

// Listeners of the operations hosts seldom use.

class WexelRealPositionsListener {
 public:
  virtual void onResult(WContext context, const std::string& portfolio,
                        const std::vector<WRealPosition>& positions) = 0;
  virtual void onError(WContext context, const std::string& message, int code) = 0;
  virtual ~WexelRealPositionsListener() = default;
};

class WexelAlertResultListener {
 public:
  // The server's reply to an add or remove: its tag and text, as for orders.
  virtual void onResult(WContext context, const std::string& portfolio, int64_t alertNo, const std::string& message,
                        const std::string& action) = 0;
  virtual void onError(WContext context, const std::string& message, int code) = 0;
  virtual ~WexelAlertResultListener() = default;
};

class WexelAlertsListener {
 public:
  virtual void onAlerts(void* reserved, const std::vector<WAlert>& alerts, WContext context) = 0;
  virtual void onError(WContext context, const std::string& message, int code) = 0;
  virtual ~WexelAlertsListener() = default;
};

class WexelOrderErrorListener {
 public:
  virtual void onOrderError(const WOrderErrorInfo& info, WContext context) = 0;
  virtual void onError(WContext context, const std::string& message, int code) = 0;
  virtual ~WexelOrderErrorListener() = default;
};

class WexelMessagesQueryListener {
 public:
  virtual void onResult(const std::string& channel, const std::vector<WChannelMessage>& messages,
                        WContext context) = 0;
  virtual void onError(WContext context, const std::string& message, int code) = 0;
  virtual ~WexelMessagesQueryListener() = default;
};

class WexelPortfolioMassListener {
 public:
  virtual void onMassOrders(const std::string& portfolio, const std::vector<WMyOrder>& orders, WContext context) = 0;
  virtual void onMassTrades(const std::string& portfolio, const std::vector<WMyTrade>& trades, WContext context) = 0;
  virtual void onMassClosePositions(const std::string& portfolio, const std::vector<WMyClosePos>& positions,
                                    WContext context) = 0;
  virtual void onError(const std::string& message, int code, WContext context) = 0;
  virtual ~WexelPortfolioMassListener() = default;
};

}  // namespace wexel
