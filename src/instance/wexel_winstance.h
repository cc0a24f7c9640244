// The client instance: logon state, endpoints, the connection manager and its
// feeds, and the dispatch of decoded feed records to their listeners.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "net/wexel_connection_manager.h"
#include "history/wexel_prices_cache.h"
#include "instance/wexel_endpoint.h"
#include "orders/wexel_orders_streaming.h"
#include "wexel/wexel_errors.h"
#include "wexel/wexel_instance.h"
#include "core/wexel_sys.h"

namespace wexel {

class WHttpFeedRequest;

class WInstance : public WexelInstance, public WManagerOwner {
 public:
  explicit WInstance(const WInstanceConfig& config);
  ~WInstance() override;

  // ---- WexelInstance --------------------------------------------------
  bool logonAndWait(const std::string& host, uint16_t port, const std::string& login, const std::string& password,
                    uint32_t timeoutMs, bool useSsl, WexelLogonListener* listener) override;
  bool logon(const std::string& host, uint16_t port, const std::string& login, const std::string& password,
             bool useSsl, WexelLogonListener* listener) override;
  bool logout() override;
  bool isConnected() override;
  bool getStatistics(WTransportStatistics& statistics) override;
  bool requestSecurities(WexelReferenceSecuritiesListener* listener) override;
  bool listenTicks(const std::string& exchange, const std::string& security, WexelTradesListener* listener) override;
  bool listenQuotes(const std::string& exchange, const std::string& security, WexelQuotesListener* listener) override;
  bool listenBidAsks(const std::string& exchange, const std::string& security, WexelOrdersListener* listener) override;
  bool listenMessages(const std::string& channel, WexelMessagesListener* listener) override;
  bool cancelTicks(const std::string& exchange, const std::string& security, WexelTradesListener* listener) override;
  bool cancelQuotes(const std::string& exchange, const std::string& security, WexelQuotesListener* listener) override;
  bool cancelBidAsks(const std::string& exchange, const std::string& security, WexelOrdersListener* listener) override;
  bool cancelMessages(const std::string& channel, WexelMessagesListener* listener) override;
  bool listenPortfolio(const std::string& portfolio, WexelPortfolioListener* listener, int mode) override;
  bool cancelPortfolio(const std::string& portfolio, int mode) override;
  bool setOrderStreamingListener(WexelOrderActionResultListener* listener) override;
  bool placeOrder(const std::string& portfolio, const std::string& exchange, const std::string& security, int action,
                  int type, int validity, int condition, double price, double stopPrice, double amount,
                  const std::string& conditionExchange, const std::string& conditionSecurity, double conditionPrice,
                  int fokMode, WCookie cookie, WContext context, bool asyncConnect,
                  WexelOrderActionResultListener* listener) override;
  bool placeTakestopOrder(const std::string& portfolio, const std::string& exchange, const std::string& security,
                          int action, int validity, double priceTake, double priceLimit, double stopPrice,
                          double amount, WCookie cookie, WContext context, bool asyncConnect,
                          WexelOrderActionResultListener* listener) override;
  bool placeIcebergOrder(const std::string& portfolio, const std::string& exchange, const std::string& security,
                         int action, int validity, double price, double amount, double amountStep, WCookie cookie,
                         WContext context, bool asyncConnect, WexelOrderActionResultListener* listener) override;
  bool placeExpireOrder(const std::string& portfolio, const std::string& exchange, const std::string& security,
                        double amount, WCookie cookie, WContext context, bool asyncConnect,
                        WexelOrderActionResultListener* listener) override;
  bool moveOrder(const std::string& portfolio, int64_t orderNo, double price, int forced, WContext context,
                 bool asyncConnect, WexelOrderActionResultListener* listener) override;
  bool cancelOrder(const std::string& portfolio, const std::string& exchange, const std::string& security,
                   int orderKind, int64_t orderNo, WContext context, bool asyncConnect,
                   WexelOrderActionResultListener* listener) override;
  bool getBars(const std::string& exchange, const std::string& security, int interval, PackedTime from, PackedTime to,
               int count, WContext context, WexelHistoryBarsListener* listener) override;
  bool getRealPositions(const std::string& portfolio, WContext context, WexelRealPositionsListener* listener) override;
  bool addAlert(const std::string& portfolio, WexelAlertResultListener* listener, WContext context,
                const std::string& exchange, const std::string& security, int64_t alertNo,
                const WAlertFields& fields) override;
  bool getAlerts(int64_t alertNo, WexelAlertsListener* listener, WContext context) override;
  bool removeAlert(int64_t alertNo, const std::string& portfolio, WexelAlertResultListener* listener,
                   WContext context) override;
  bool getOrderError(int64_t orderNo, WexelOrderErrorListener* listener, WContext context) override;
  bool getMessagesByNumber(const std::string& channel, int64_t from, int64_t to, WexelMessagesQueryListener* listener,
                           WContext context) override;
  bool getMessagesByTime(const std::string& channel, PackedTime since, PackedTime till,
                         WexelMessagesQueryListener* listener, WContext context) override;
  bool getMyOrders(const std::string& portfolio, WexelGetMyOrdersListener* listener, WContext context) override;
  bool getMyTrades(const std::string& portfolio, WexelGetMyTradesListener* listener, WContext context) override;
  bool getMyClosePos(const std::string& portfolio, WexelGetMyClosePosListener* listener, WContext context) override;
  bool getTicks(const std::string& security, const std::string& exchange, PackedTime from, int count,
                WexelGetTicksListener* listener, WContext context) override;
  bool getPortfolioMass(const std::vector<std::string>& portfolios, int mode, WexelPortfolioMassListener* listener,
                        WContext context) override;

  // ---- called by the library itself -----------------------------------
  // The logon outcome (logon parser and channel, worker thread).
  void onLogonResult(bool ok, const std::string& sessionText, const std::vector<WEndpoint>& endpoints);
  // Keep-alive, on the I/O thread after every loop pass.
  void tick() override;
  std::string sessionParameters() override;
  WInstance* asInstance() override { return this; }
  // Fan a decoded record of `feed` out to the listeners of subscription `id`.
  void dispatchTrades(WHttpFeedRequest* feed, int id, const std::vector<WTradeTick>& ticks);
  void dispatchBidAsks(WHttpFeedRequest* feed, int id, const std::vector<WBidAskRow>& rows);
  void dispatchQuote(WHttpFeedRequest* feed, int id, const WQuote& quote);
  void dispatchMessage(WHttpFeedRequest* feed, int id, const WFeedMessage& message);

  // Endpoints for data requests and for order actions.
  sockaddr_in dataEndpoint();
  sockaddr_in orderEndpoint();
  // The order endpoint and whether to reach it over TLS (OMS_SSL).
  struct OrderRoute {
    sockaddr_in endpoint;
    bool tls;
  };
  OrderRoute orderRoute();
  WConnectionManager* manager() { return manager_.load(); }
  const sockaddr_in& serverAddress() const { return serverAddress_; }

  static uint16_t scramblePort(uint16_t port, int random);
  // Logs off and hands over the manager (null when none) without stopping it.
  WConnectionManager* detachManager();

 private:
  // Which of the four feeds.
  enum FeedKind { kAllTrades, kOrderBook, kQuotes, kMessages, kFeedKinds };

  template <typename Listener>
  bool subscribe(FeedKind kind, const std::string& first, const std::string& second, Listener* listener);
  template <typename Listener>
  bool unsubscribe(FeedKind kind, const std::string& first, const std::string& second, Listener* listener);
  // The live feed of that kind, marked busy (the caller releases it), or null.
  WHttpFeedRequest* acquireFeed(FeedKind kind);
  WHttpFeedRequest* createFeed(FeedKind kind);
  // The streaming order channel, created on first use with the current route.
  WStreamingOrdersRequest* streamingChannel(WConnectionManager& manager);
  // Whether an action with this listener goes on the streaming channel.
  bool streams(const WexelOrderActionResultListener* listener) const { return !listener || orderStreaming_.load(); }
  // Sends a one-shot query; a request that cannot be written is refused.
  template <typename Factory, typename Report>
  bool sendQuery(Factory& factory, Report report);
  // Sends a one-shot order action; the refusals first.
  template <typename Factory, typename Report>
  bool sendOrderAction(Factory& factory, Report report, bool asyncConnect);

  std::atomic<bool> loggedOn_{false};
  std::string sessionParameters_;
  sockaddr_in serverAddress_{};
  std::vector<sockaddr_in> omsAddresses_;
  std::vector<sockaddr_in> omsSslAddresses_;
  std::vector<sockaddr_in> ddpAddresses_;
  std::atomic<WConnectionManager*> manager_{nullptr};
  sys::WSemaphore logonDone_{0};
  sys::WMutex feedLock_;  // guards the feed pointers against two subscribing threads
  WHttpFeedRequest* feeds_[kFeedKinds] = {};
  sys::WMutex portfolioLock_;  // portfolioRequests_
  std::map<std::string, WHttpRequest*> portfolioRequests_;
  WInstanceConfig config_;
  bool useOmsSsl_ = true;
  sys::WMutex stateLock_;  // session text, endpoint lists and useOmsSsl_; a leaf
  std::atomic<int> pendingTeardowns_{0};  // managers still stopping on a teardown thread
  WOrdersStreamingRequestFactory ordersStreaming_;
  WPricesCache priceCache_;
  std::atomic<double> keepAliveTickMs_{0};  // when this instance last sent its keep-alive  // bars for getBars; follows the all-trades feed of the securities it holds
  std::atomic<bool> orderStreaming_{false};  // a streaming listener is set
};

template <typename Factory, typename Report>
inline bool WInstance::sendQuery(Factory& factory, Report report) {
  WConnectionManager* manager = manager_;
  if (!manager) return false;
  if (!factory.valid()) {
    report(kTextBadParameter, kErrorMalformed);
    return false;
  }
  return manager->createAndSend(factory, nullptr, true);
}

}  // namespace wexel
