// The one interface through which hosts use the client library, and the
// process-wide start-up, shut-down and instance creation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wexel/wexel_config.h"
#include "wexel/wexel_listeners.h"
#include "wexel/wexel_logger.h"
#include "wexel/wexel_transport_statistics.h"

namespace wexel {

// The fields of an alert that addAlert sends after its number.
struct WAlertFields {
  int fieldIndex;      // 0..4: INVALID, LAST, BID, ASK, VOLUME
  int conditionIndex;  // 0..2: INVALID, FALL, RAISE
  double conditionValue;
  int days;
  int flags;
  std::string workspace;
  std::string sound;
  std::string email;
  std::string sms;
};

class WexelInstance {
 public:
  virtual bool logonAndWait(const std::string& host, uint16_t port, const std::string& login,
                            const std::string& password, uint32_t timeoutMs, bool useSsl,
                            WexelLogonListener* listener) = 0;
  virtual bool logon(const std::string& host, uint16_t port, const std::string& login, const std::string& password,
                     bool useSsl, WexelLogonListener* listener) = 0;
  virtual bool logout() = 0;
  virtual bool isConnected() = 0;
  virtual bool getStatistics(WTransportStatistics& statistics) = 0;
  virtual bool requestSecurities(WexelReferenceSecuritiesListener* listener) = 0;
  virtual bool listenTicks(const std::string& exchange, const std::string& security,
                           WexelTradesListener* listener) = 0;
  virtual bool listenQuotes(const std::string& exchange, const std::string& security,
                            WexelQuotesListener* listener) = 0;
  virtual bool listenBidAsks(const std::string& exchange, const std::string& security,
                             WexelOrdersListener* listener) = 0;
  virtual bool listenMessages(const std::string& channel, WexelMessagesListener* listener) = 0;
  virtual bool cancelTicks(const std::string& exchange, const std::string& security,
                           WexelTradesListener* listener) = 0;
  virtual bool cancelQuotes(const std::string& exchange, const std::string& security,
                            WexelQuotesListener* listener) = 0;
  virtual bool cancelBidAsks(const std::string& exchange, const std::string& security,
                             WexelOrdersListener* listener) = 0;
  virtual bool cancelMessages(const std::string& channel, WexelMessagesListener* listener) = 0;
  virtual bool listenPortfolio(const std::string& portfolio, WexelPortfolioListener* listener, int mode) = 0;
  virtual bool cancelPortfolio(const std::string& portfolio, int mode) = 0;
  virtual bool setOrderStreamingListener(WexelOrderActionResultListener* listener) = 0;
  virtual bool placeOrder(const std::string& portfolio, const std::string& exchange, const std::string& security,
                          int action, int type, int validity, int condition, double price, double stopPrice,
                          double amount, const std::string& conditionExchange, const std::string& conditionSecurity,
                          double conditionPrice, int fokMode, WCookie cookie, WContext context, bool asyncConnect,
                          WexelOrderActionResultListener* listener) = 0;
  virtual bool placeTakestopOrder(const std::string& portfolio, const std::string& exchange,
                                  const std::string& security, int action, int validity, double priceTake,
                                  double priceLimit, double stopPrice, double amount, WCookie cookie,
                                  WContext context, bool asyncConnect, WexelOrderActionResultListener* listener) = 0;
  virtual bool placeIcebergOrder(const std::string& portfolio, const std::string& exchange,
                                 const std::string& security, int action, int validity, double price, double amount,
                                 double amountStep, WCookie cookie, WContext context, bool asyncConnect,
                                 WexelOrderActionResultListener* listener) = 0;
  virtual bool placeExpireOrder(const std::string& portfolio, const std::string& exchange,
                                const std::string& security, double amount, WCookie cookie, WContext context,
                                bool asyncConnect, WexelOrderActionResultListener* listener) = 0;
  virtual bool moveOrder(const std::string& portfolio, int64_t orderNo, double price, int forced, WContext context,
                         bool asyncConnect, WexelOrderActionResultListener* listener) = 0;
  virtual bool cancelOrder(const std::string& portfolio, const std::string& exchange, const std::string& security,
                           int orderKind, int64_t orderNo, WContext context, bool asyncConnect,
                           WexelOrderActionResultListener* listener) = 0;
  virtual bool getBars(const std::string& exchange, const std::string& security, int interval, PackedTime from,
                       PackedTime to, int count, WContext context, WexelHistoryBarsListener* listener) = 0;
  virtual bool getRealPositions(const std::string& portfolio, WContext context,
                                WexelRealPositionsListener* listener) = 0;
  virtual bool addAlert(const std::string& portfolio, WexelAlertResultListener* listener, WContext context,
                        const std::string& exchange, const std::string& security, int64_t alertNo,
                        const WAlertFields& fields) = 0;
  virtual bool getAlerts(int64_t alertNo, WexelAlertsListener* listener, WContext context) = 0;
  virtual bool removeAlert(int64_t alertNo, const std::string& portfolio, WexelAlertResultListener* listener,
                           WContext context) = 0;
  virtual bool getOrderError(int64_t orderNo, WexelOrderErrorListener* listener, WContext context) = 0;
  virtual bool getMessagesByNumber(const std::string& channel, int64_t from, int64_t to,
                                   WexelMessagesQueryListener* listener, WContext context) = 0;
  virtual bool getMessagesByTime(const std::string& channel, PackedTime since, PackedTime till,
                                 WexelMessagesQueryListener* listener, WContext context) = 0;
  virtual bool getMyOrders(const std::string& portfolio, WexelGetMyOrdersListener* listener, WContext context) = 0;
  virtual bool getMyTrades(const std::string& portfolio, WexelGetMyTradesListener* listener, WContext context) = 0;
  virtual bool getMyClosePos(const std::string& portfolio, WexelGetMyClosePosListener* listener,
                             WContext context) = 0;
  virtual bool getTicks(const std::string& security, const std::string& exchange, PackedTime from, int count,
                        WexelGetTicksListener* listener, WContext context) = 0;
  virtual bool getPortfolioMass(const std::vector<std::string>& portfolios, int mode,
                                WexelPortfolioMassListener* listener, WContext context) = 0;
  virtual ~WexelInstance() = default;
};

// Once per process: statistics, log sink and level, user agent (the product
// string followed by "/wexel/2.1.0/1600/windows"), TLS. False when a log sink
// is already installed.
bool libraryStartup(WexelLogger* logger, int level, const std::string& product);
bool libraryShutdown();

// A new instance, or null.
WexelInstance* createInstance(const WInstanceConfig& config);

// Logs the instance out and deletes it. Safe from any thread, also from a
// listener running on one of the instance's own threads: then the stopping
// and deletion happen on a teardown thread once those threads have unwound.
void releaseInstance(WexelInstance* instance);

}  // namespace wexel
