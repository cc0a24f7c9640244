#include "instance/wexel_winstance.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <ctime>

#include "q3_socket.h"
#include "market/wexel_feed_parser.h"
#include "market/wexel_get_guide_request.h"
#include "market/wexel_http_feed_request.h"
#include "market/wexel_http_logon.h"
#include "net/wexel_https_request.h"
#include "core/wexel_log.h"
#include "core/wexel_statistics.h"
#include "wexel/wexel_errors.h"
#include "wexel/wexel_teardown.h"

namespace wexel {

namespace {

constexpr double kKeepAliveIntervalMs = 30000;

// A caller's text goes into a URL or a feed line unchanged: a line break,
// NUL, other control character or blank would split or rewrite the request.
bool isSafeParameter(const std::string& text) {
  for (unsigned char c : text) {
    if (c <= ' ' || c == 0x7F) return false;
  }
  return true;
}

// Reports through the listener's error operation, whatever its shape.
template <typename Listener>
void reportError(Listener* listener, const std::string& message, int code) {
  if (listener) listener->onError(message, code);
}
void reportError(WexelPortfolioListener* listener, const std::string& message, int code, const std::string& portfolio) {
  if (listener) listener->onError(portfolio, message, code);
}
template <typename Listener>
void reportContextError(Listener* listener, WContext context, const std::string& message, int code) {
  if (listener) listener->onError(context, message, code);
}

}  // namespace

// ---- process-wide --------------------------------------------------------

bool libraryStartup(WexelLogger* logger, int level, const std::string& product) {
  statsReset();
  if (!logInstall(logger, level)) return false;
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (!q3::socketStartup()) {
    logFatal("WSAStartup failed with error: %d\n", q3::lastSocketError());
    return false;
  }
  setUserAgent(product);
  tlsStartup();
  return true;
}

bool libraryShutdown() {
  waitForTeardowns();
  tlsShutdown();
  q3::socketCleanup();
  logUninstall();
  return true;
}

WexelInstance* createInstance(const WInstanceConfig& config) { return new WInstance(config); }

void releaseInstance(WexelInstance* instance) {
  auto* own = dynamic_cast<WInstance*>(instance);
  if (!own) {
    if (instance) instance->logout();
    delete instance;
    return;
  }
  WConnectionManager* manager = own->detachManager();
  if (manager && manager->runsOnThisThread()) {
    // The calling thread belongs to the manager: stop, join and delete on a
    // thread of their own, once this call has unwound.
    deferTeardown([manager, own] {
      manager->stop();
      delete manager;
      delete own;
    });
    return;
  }
  if (manager) manager->stop();
  delete manager;
  delete own;
}

// ---- lifecycle -------------------------------------------------------------

WInstance::WInstance(const WInstanceConfig& config) : config_(config), useOmsSsl_(config.useOmsSsl != 0) {}

WInstance::~WInstance() {
  // Polled rather than notified: the teardown job must not touch this object
  // after its count has dropped.
  while (pendingTeardowns_.load() != 0) sys::sleepMs(1);
}

uint16_t WInstance::scramblePort(uint16_t port, int random) {
  if (port % 3 == 0) return port;
  uint32_t b = port + static_cast<uint32_t>(random % 100) * 10000000u;
  return static_cast<uint16_t>(((b % 21247) + (b % 6947) + (b % 5531)) % 12000 + 20000);
}

bool WInstance::logon(const std::string& host, uint16_t port, const std::string& login, const std::string& password,
                      bool useSsl, WexelLogonListener* listener) {
  statsReset();
  if (loggedOn_) return false;
  useOmsSsl_ = config_.useOmsSsl != 0;
  if (config_.scramblePort) port = scramblePort(port, std::rand());
  serverAddress_ = sockaddr_in{};
  uint32_t address = 0;
  if (q3::resolveIPv4(host, &address)) {
    serverAddress_.sin_family = AF_INET;
    serverAddress_.sin_port = htons(port);
    serverAddress_.sin_addr.s_addr = address;
  } else {
    logError("resolve address failed \"%s\"", host.c_str());
  }
  if (serverAddress_.sin_family == 0) {
    reportError(listener, kTextDnsLookup, kErrorDnsLookup);
    return false;
  }
  manager_ = new WConnectionManager(this, config_);
  if (!manager_.load()->start()) return false;
  bool sent;
  if (useSsl) {
    WHttpLogonRequestFactory<Https> factory(login, password, listener, serverAddress_);
    sent = manager_.load()->createAndSend(factory, nullptr, false);
  } else {
    WHttpLogonRequestFactory<Http> factory(login, password, listener, serverAddress_);
    sent = manager_.load()->createAndSend(factory, nullptr, true);
  }
  if (!sent) {
    manager_.load()->stop();
    delete manager_.load();
    manager_ = nullptr;
  }
  return sent;
}

bool WInstance::logonAndWait(const std::string& host, uint16_t port, const std::string& login,
                             const std::string& password, uint32_t timeoutMs, bool useSsl,
                             WexelLogonListener* listener) {
  logon(host, port, login, password, useSsl, listener);
  if (!logonDone_.wait(static_cast<int>(std::min<uint32_t>(timeoutMs, 0x7FFFFFFF)))) {
    reportError(listener, kTextTimeout, kErrorTimeout);
  }
  if (loggedOn_) return true;
  logout();
  return false;
}

void WInstance::onLogonResult(bool ok, const std::string& sessionText, const std::vector<WEndpoint>& endpoints) {
  {
    sys::WLock hold(stateLock_);
    loggedOn_ = ok;
    sessionParameters_ = sessionText;
    if (statsSnapshot().serverText[0] == 0) useOmsSsl_ = false;
    for (const WEndpoint& endpoint : endpoints) {
      std::vector<sockaddr_in>* list = endpoint.type == "OMS"       ? &omsAddresses_
                                       : endpoint.type == "OMS_SSL" ? &omsSslAddresses_
                                       : endpoint.type == "DDP"     ? &ddpAddresses_
                                                                    : nullptr;
      if (!list) continue;
      sockaddr_in address = parseEndpointUrl(endpoint);
      if (address.sin_family == AF_INET) list->push_back(address);
    }
  }
  logonDone_.post();
}

WConnectionManager* WInstance::detachManager() {
  {
    sys::WLock feedsHold(feedLock_);
    for (auto& feed : feeds_) feed = nullptr;
  }
  {
    sys::WLock hold(portfolioLock_);
    portfolioRequests_.clear();
  }
  sys::WLock hold(stateLock_);
  WConnectionManager* manager = manager_;
  manager_ = nullptr;
  loggedOn_ = false;
  omsAddresses_.clear();
  ddpAddresses_.clear();
  omsSslAddresses_.clear();
  return manager;
}

// Called on one of this instance's own threads (from a listener), the stop
// would wait for the calling thread itself; the manager then goes to a
// teardown thread that stops and deletes it once the threads have unwound.
bool WInstance::logout() {
  WConnectionManager* manager = detachManager();
  if (!manager) return true;
  if (manager->runsOnThisThread()) {
    // The manager's threads still call this instance (tick, dispatch) until
    // they are joined; the destructor waits for that.
    pendingTeardowns_.fetch_add(1);
    deferTeardown([this, manager] {
      manager->stop();
      delete manager;
      pendingTeardowns_.fetch_sub(1);  // the last touch of this instance
    });
  } else {
    manager->stop();
    delete manager;
  }
  return true;
}

bool WInstance::isConnected() { return loggedOn_; }

bool WInstance::getStatistics(WTransportStatistics& statistics) {
  statistics = statsSnapshot();
  return true;
}

std::string WInstance::sessionParameters() {
  sys::WLock hold(stateLock_);
  return sessionParameters_;
}

sockaddr_in WInstance::dataEndpoint() {
  sys::WLock hold(stateLock_);
  return ddpAddresses_.empty() ? serverAddress_ : ddpAddresses_.front();
}

sockaddr_in WInstance::orderEndpoint() {
  sys::WLock hold(stateLock_);
  if (useOmsSsl_ && omsSslAddresses_.empty()) useOmsSsl_ = false;
  if (useOmsSsl_) return omsSslAddresses_.front();
  return omsAddresses_.empty() ? serverAddress_ : omsAddresses_.front();
}

void WInstance::tick() {
  if (!keepAliveDue(kKeepAliveIntervalMs)) return;
  if (WHttpFeedRequest* feed = acquireFeed(kAllTrades)) {
    feed->ping();
    feed->markIdle();
  }
  sys::WLock hold(portfolioLock_);
  for (auto& [key, request] : portfolioRequests_) {
    if (manager_ && manager_.load()->acquireRegistered(request)) {
      request->ping();
      request->markIdle();
    }
  }
}

// ---- feeds ------------------------------------------------------------------

WHttpFeedRequest* WInstance::acquireFeed(FeedKind kind) {
  sys::WLock hold(feedLock_);
  WHttpFeedRequest* feed = feeds_[kind];
  if (!feed) return nullptr;
  WConnectionManager* manager = manager_;
  if (manager && manager->acquireRegistered(feed)) return feed;
  feeds_[kind] = nullptr;  // closed: the manager disposes of it; the next subscription makes a new one
  return nullptr;
}

WHttpFeedRequest* WInstance::createFeed(FeedKind kind) {
  std::string query = sessionParameters();
  sockaddr_in endpoint = dataEndpoint();
  WHttpRequest* created = nullptr;
  bool sent = false;
  switch (kind) {
    case kAllTrades: {
      WFeedFactory<WAllTradesFeed, WTradesFeedParser> factory(query, endpoint);
      sent = manager_.load()->createAndSend(factory, &created, true);
      break;
    }
    case kOrderBook: {
      WFeedFactory<WOrdersFeed, WOrdersFeedParser> factory(query, endpoint);
      sent = manager_.load()->createAndSend(factory, &created, true);
      break;
    }
    case kQuotes: {
      WFeedFactory<WQuotesFeed, WQuotesFeedParser> factory(query, endpoint);
      sent = manager_.load()->createAndSend(factory, &created, true);
      break;
    }
    default: {
      WFeedFactory<WMessagesFeed, WMessagesFeedParser> factory(query, endpoint);
      sent = manager_.load()->createAndSend(factory, &created, true);
      break;
    }
  }
  feeds_[kind] = sent ? static_cast<WHttpFeedRequest*>(created) : nullptr;
  return feeds_[kind];
}

template <typename Listener>
bool WInstance::subscribe(FeedKind kind, const std::string& first, const std::string& second, Listener* listener) {
  if (!loggedOn_) {
    reportError(listener, kTextNotAuthorized, kErrorNotAuthorized);
    return false;
  }
  if (!isSafeParameter(first) || !isSafeParameter(second)) {
    reportError(listener, kTextBadParameter, kErrorMalformed);
    return false;
  }
  WHttpFeedRequest* feed = nullptr;
  {
    sys::WLock hold(feedLock_);
    if (!manager_) return false;
    feed = acquireFeed(kind);
    if (!feed && createFeed(kind)) feed = acquireFeed(kind);
  }
  if (!feed) return false;
  // Busy-marked, the feed stays alive without the instance's lock, which is
  // not held while the feed's own lock is taken.
  bool result = feed->subscribe(first, second, listener);
  feed->markIdle();
  return result;
}

template <typename Listener>
bool WInstance::unsubscribe(FeedKind kind, const std::string& first, const std::string& second, Listener* listener) {
  WHttpFeedRequest* feed = acquireFeed(kind);
  if (!feed) return false;
  bool result = feed->unsubscribe(first, second, listener);
  feed->markIdle();
  return result;
}

bool WInstance::listenTicks(const std::string& exchange, const std::string& security, WexelTradesListener* listener) {
  return subscribe(kAllTrades, exchange, security, listener);
}
bool WInstance::listenQuotes(const std::string& exchange, const std::string& security, WexelQuotesListener* listener) {
  return subscribe(kQuotes, exchange, security, listener);
}
bool WInstance::listenBidAsks(const std::string& exchange, const std::string& security, WexelOrdersListener* listener) {
  return subscribe(kOrderBook, exchange, security, listener);
}
bool WInstance::listenMessages(const std::string& channel, WexelMessagesListener* listener) {
  return subscribe(kMessages, channel, std::string(), listener);
}
bool WInstance::cancelTicks(const std::string& exchange, const std::string& security, WexelTradesListener* listener) {
  return unsubscribe(kAllTrades, exchange, security, listener);
}
bool WInstance::cancelQuotes(const std::string& exchange, const std::string& security, WexelQuotesListener* listener) {
  return unsubscribe(kQuotes, exchange, security, listener);
}
bool WInstance::cancelBidAsks(const std::string& exchange, const std::string& security, WexelOrdersListener* listener) {
  return unsubscribe(kOrderBook, exchange, security, listener);
}
bool WInstance::cancelMessages(const std::string& channel, WexelMessagesListener* listener) {
  return unsubscribe(kMessages, channel, std::string(), listener);
}

// ---- queries -------------------------------------------------------------------

bool WInstance::requestSecurities(WexelReferenceSecuritiesListener* listener) {
  if (!loggedOn_) {
    reportError(listener, kTextNotAuthorized, kErrorNotAuthorized);
    return false;
  }
  WConnectionManager* manager = manager_;
  if (!manager) return false;
  WGetGuideFactory factory(listener, dataEndpoint());
  return manager->createAndSend(factory, nullptr, true);
}

// Request kinds this client does not build yet: the authorisation rule holds,
// then the listener hears that the request was not sent.
#define WEXEL_REFUSE_WITH(report)                     \
  do {                                                \
    if (!loggedOn_) {                                 \
      report(kTextNotAuthorized, kErrorNotAuthorized);     \
      return false;                                   \
    }                                                 \
    report(kTextNotSupported, kErrorMalformed);                \
    return false;                                     \
  } while (0)

bool WInstance::listenPortfolio(const std::string& portfolio, WexelPortfolioListener* listener, int) {
  auto report = [&](const char* m, int c) { reportError(listener, m, c, portfolio); };
  WEXEL_REFUSE_WITH(report);
}

bool WInstance::cancelPortfolio(const std::string& portfolio, int mode) {
  sys::WLock hold(portfolioLock_);
  auto entry = portfolioRequests_.find(portfolio + "_" + std::to_string(mode));
  if (!manager_ || entry == portfolioRequests_.end() || !manager_.load()->acquireRegistered(entry->second)) return false;
  entry->second->markIdle();
  manager_.load()->unregisterChannel(entry->second);
  portfolioRequests_.erase(entry);
  return true;
}

bool WInstance::setOrderStreamingListener(WexelOrderActionResultListener* listener) { return listener != nullptr; }

#define WEXEL_ORDER_REFUSAL(cookie, context)                                                        \
  auto report = [&](const char* m, int c) { if (listener) listener->onError(cookie, context, m, c); }; \
  WEXEL_REFUSE_WITH(report)

bool WInstance::placeOrder(const std::string&, const std::string&, const std::string&, int, int, int, int, double,
                           double, double, const std::string&, const std::string&, double, int, WCookie cookie,
                           WContext context, bool, WexelOrderActionResultListener* listener) {
  WEXEL_ORDER_REFUSAL(cookie, context);
}
bool WInstance::placeTakestopOrder(const std::string&, const std::string&, const std::string&, int, int, double,
                                   double, double, double, WCookie cookie, WContext context, bool,
                                   WexelOrderActionResultListener* listener) {
  WEXEL_ORDER_REFUSAL(cookie, context);
}
bool WInstance::placeIcebergOrder(const std::string&, const std::string&, const std::string&, int, int, double,
                                  double, double, WCookie cookie, WContext context, bool,
                                  WexelOrderActionResultListener* listener) {
  WEXEL_ORDER_REFUSAL(cookie, context);
}
bool WInstance::placeExpireOrder(const std::string&, const std::string&, const std::string&, double, WCookie cookie,
                                 WContext context, bool, WexelOrderActionResultListener* listener) {
  WEXEL_ORDER_REFUSAL(cookie, context);
}
bool WInstance::moveOrder(const std::string&, int64_t, double, int, WContext context, bool,
                          WexelOrderActionResultListener* listener) {
  WEXEL_ORDER_REFUSAL(0, context);
}
bool WInstance::cancelOrder(const std::string&, const std::string&, const std::string&, int, int64_t,
                            WContext context, bool, WexelOrderActionResultListener* listener) {
  WEXEL_ORDER_REFUSAL(0, context);
}

#define WEXEL_QUERY_REFUSAL(context)                                                  \
  auto report = [&](const char* m, int c) { reportContextError(listener, context, m, c); }; \
  WEXEL_REFUSE_WITH(report)

bool WInstance::getBars(const std::string&, const std::string&, int, PackedTime, PackedTime, int, WContext context,
                        WexelHistoryBarsListener* listener) {
  WEXEL_QUERY_REFUSAL(context);
}
bool WInstance::getRealPositions(const std::string&, WContext context, WexelRealPositionsListener* listener) {
  WEXEL_QUERY_REFUSAL(context);
}
bool WInstance::addAlert(const std::string&, WexelAlertResultListener* listener, WContext context,
                         const std::string&, const std::string&, int64_t, const WAlertFields&) {
  WEXEL_QUERY_REFUSAL(context);
}
bool WInstance::getAlerts(int64_t, WexelAlertsListener* listener, WContext context) { WEXEL_QUERY_REFUSAL(context); }
bool WInstance::removeAlert(int64_t, const std::string&, WexelAlertResultListener* listener, WContext context) {
  WEXEL_QUERY_REFUSAL(context);
}
bool WInstance::getOrderError(int64_t, WexelOrderErrorListener* listener, WContext context) {
  WEXEL_QUERY_REFUSAL(context);
}
bool WInstance::getMessagesByNumber(const std::string&, int64_t, int64_t, WexelMessagesQueryListener* listener,
                                    WContext context) {
  WEXEL_QUERY_REFUSAL(context);
}
bool WInstance::getMessagesByTime(const std::string&, PackedTime, PackedTime, WexelMessagesQueryListener* listener,
                                  WContext context) {
  WEXEL_QUERY_REFUSAL(context);
}
bool WInstance::getMyOrders(const std::string&, WexelGetMyOrdersListener* listener, WContext context) {
  WEXEL_QUERY_REFUSAL(context);
}
bool WInstance::getMyTrades(const std::string&, WexelGetMyTradesListener* listener, WContext context) {
  WEXEL_QUERY_REFUSAL(context);
}
bool WInstance::getMyClosePos(const std::string&, WexelGetMyClosePosListener* listener, WContext context) {
  WEXEL_QUERY_REFUSAL(context);
}
bool WInstance::getTicks(const std::string&, const std::string&, PackedTime, int, WexelGetTicksListener* listener,
                         WContext context) {
  WEXEL_QUERY_REFUSAL(context);
}
bool WInstance::getPortfolioMass(const std::vector<std::string>&, int, WexelPortfolioMassListener* listener,
                                 WContext context) {
  auto report = [&](const char* m, int c) {
    if (listener) listener->onError(m, c, context);
  };
  WEXEL_REFUSE_WITH(report);
}

}  // namespace wexel
