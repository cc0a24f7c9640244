#include "instance/wexel_winstance.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>

#include "core/wexel_log.h"
#include "core/wexel_statistics.h"
#include "instance/wexel_instance_reports.h"
#include "market/wexel_http_feed_request.h"
#include "market/wexel_http_logon.h"
#include "q3_socket.h"
#include "wexel/wexel_teardown.h"

namespace wexel {

namespace {


}  // namespace

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
    plainReport(listener)(kTextDnsLookup, kErrorDnsLookup);
    return false;
  }
  WInstanceConfig managerConfig = config_;
  managerConfig.tlsServerName = host;
  manager_ = new WConnectionManager(this, managerConfig);
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
    plainReport(listener)(kTextTimeout, kErrorTimeout);
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
  // The streaming channel's thread ends first: nothing more is sent through
  // a manager about to stop. The manager collects the channel.
  ordersStreaming_.releaseChannel(manager_.load());
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
  // Counted from before the session is marked logged off: a host that sees
  // isConnected turn false may release the instance at once, and the
  // destructor must wait until this call and its teardown are done with it.
  pendingTeardowns_.fetch_add(1);
  WConnectionManager* manager = detachManager();
  if (!manager) {
    pendingTeardowns_.fetch_sub(1);
    return true;
  }
  // Before the stop: a page reply still on its way finds nothing to fill,
  // and no request can send through the stopping manager any more.
  priceCache_.reset();
  if (manager->runsOnThisThread()) {
    // The manager's threads still call this instance (tick, dispatch) until
    // they are joined; the destructor waits for that.
    deferTeardown([this, manager] {
      manager->stop();
      delete manager;
      pendingTeardowns_.fetch_sub(1);  // the last touch of this instance
    });
  } else {
    manager->stop();
    delete manager;
    pendingTeardowns_.fetch_sub(1);
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

sockaddr_in WInstance::orderEndpoint() { return orderRoute().endpoint; }

// OMS_SSL while there is one and TLS orders are on; an empty OMS_SSL list
// turns TLS orders off until the next logon. Then OMS, then the logon server.
WInstance::OrderRoute WInstance::orderRoute() {
  sys::WLock hold(stateLock_);
  if (useOmsSsl_ && omsSslAddresses_.empty()) useOmsSsl_ = false;
  if (useOmsSsl_) return {omsSslAddresses_.front(), true};
  return {omsAddresses_.empty() ? serverAddress_ : omsAddresses_.front(), false};
}

void WInstance::tick() {
  priceCache_.expire();
  if (!keepAliveDue(keepAliveTickMs_, config_.keepAliveMs)) return;
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

}  // namespace wexel
