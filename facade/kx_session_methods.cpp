// The session methods: connect, disconnect, IsConnected, and configuration.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "kx_library.h"
#include "kx_logger.h"
#include "kx_session.h"
#include "q3_codepage.h"
#include "q3_kernel.h"
#include "q3_shell.h"

namespace {

constexpr const char* kLogFileName = "quarnel3-cli.log";

// Moves an earlier log aside under the time of rotation. The file this
// process is writing stays where it is (on the original platform the rename
// of an open file fails), so the process keeps one log under one name.
void rotateLog(const std::string& logFile) {
  if (!q3::fileExists(logFile)) return;
  if (Utils::Logger* logger = Utils::Logger::instance(); logger && logger->writesTo(logFile)) return;
  const std::tm now = q3::localTime(std::time(nullptr));
  char suffix[32];
  std::strftime(suffix, sizeof suffix, ".%Y-%m-%d_%H%M%S", &now);
  const std::string rotated = logFile + suffix;
  if (!q3::fileExists(rotated)) q3::renameFile(logFile, rotated);
}

// Whether the log file can be written (opened for appending, so nothing it
// holds is lost here); on failure the system's reason.
bool logWritable(const std::string& logFile, std::string* reason) {
  std::FILE* file = std::fopen(logFile.c_str(), "a");
  if (!file) {
    *reason = std::strerror(errno);
    return false;
  }
  std::fclose(file);
  return true;
}

wexel::WInstanceConfig instanceConfig(int workerThreads, kx::Settings& settings) {
  wexel::WInstanceConfig config;
  config.useSctp = 0;
  config.workerThreads = workerThreads;
  config.scramblePort = 0;
  config.useOmsSsl = 1;
  config.tlsVerify = settings.read("tlsVerify") == "yes";
  config.tlsCaFile = settings.read("tlsCaFile");
  config.dataSilenceMs = std::max(0, std::atoi(settings.read("dataSilenceMs").c_str()));
  return config;
}

}  // namespace

std::shared_ptr<kx::Session> KxServer::currentSession() {
  boost::lock_guard<boost::mutex> hold(sessionLinkLock_);
  return session_;
}

void KxServer::replaceSession(std::shared_ptr<kx::Session> next) {
  std::shared_ptr<kx::Session> old;
  {
    boost::lock_guard<boost::mutex> hold(sessionLinkLock_);
    old = std::exchange(session_, std::move(next));
  }
  if (!old) return;
  orderThrottle_.cancel();  // order actions still waiting for their turn are not sent
  old->detach();
}

bool KxServer::isCurrent(const kx::Session* session) {
  boost::lock_guard<boost::mutex> hold(sessionLinkLock_);
  return session_.get() == session;
}

// Usable once this session's own securities list has come: after a second
// connect the flag of the first Connected still stands until then.
bool KxServer::sessionUsable() {
  if (!sessionOpen()) return false;
  const std::shared_ptr<kx::Session> session = currentSession();
  return session && session->securitiesLoaded() && session->instance().isConnected();
}

HRESULT KxServer::startSession(const std::string& logPath, int logLevel, int workerThreads,
                               std::shared_ptr<kx::Session>* session) {
  if (!q3::isDirectory(logPath)) return refuse("Parameter LogPath is a not valid directory..");
  const std::string logDirectory = logPath + "/";
  // The first connect of the process opens the log for good: one that cannot
  // be written is refused here rather than lost without a word.
  std::string reason;
  if (!Utils::Logger::instance() && !logWritable(logDirectory + kLogFileName, &reason)) {
    return refuse("Parameter LogPath: the log file %s%s cannot be written (%s)..", logDirectory.c_str(), kLogFileName,
                  reason.c_str());
  }
  rotateLog(logDirectory + kLogFileName);
  if (!kx::startLibraryOnce(logDirectory, logLevel, workerThreads, logPath)) {
    return refuse("KxServer::connect(): Wexel startup failed..");
  }
  wexel::WexelInstance* instance = wexel::createInstance(instanceConfig(workerThreads, settings_));
  if (!instance) return refuse("Wexel instance create failed..");
  *session = kx::Session::open(*this, instance);
  return S_OK;
}

void KxServer::logon(kx::Session& session) {
  const std::string& host = logon_.host;
  const USHORT port = logon_.port;
  const std::string& user = logon_.login;
  const std::string& secret = logon_.password;
  Utils::logInfo("Trying to authenticate in %s:%d using SSL connection (login %s)", host.c_str(), port, user.c_str());
  if (session.instance().logon(host, port, user, secret, true, &session.logonListener)) return;
  if (!isCurrent(&session)) return;  // a handler of the failure has connected anew
  // With the certificate checked, or clear text refused, the password never
  // goes out without TLS: the TLS failure is the logon's outcome.
  if (settings_.read("tlsVerify") == "yes" || settings_.read("allowPlainLogon") == "no") {
    Utils::logWarn("SSL connection failed, no logon without SSL (tlsVerify=yes or allowPlainLogon=no)");
    session.logonListener.reportTlsFailure();
    return;
  }
  Utils::logWarn("SSL connection failed, no problem, trying to connect without SSL");
  session.instance().logon(host, port, user, secret, false, &session.logonListener);
}

HRESULT KxServer::connect(BSTR ip, USHORT port, BSTR login, BSTR password) {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);
    boost::lock_guard<boost::recursive_mutex> hold(sessionLock_);
    reconnector_.stop();
    subscriptions_.clear();
    logon_ = {q3::toAnsi(ip), q3::toAnsi(login), q3::toAnsi(password), port};
    autoReconnect_ = settings_.read("autoReconnect") == "yes";
    cameUp_ = false;
    const std::string delay = settings_.read("reconnectDelayMs");
    const std::string maxDelay = settings_.read("reconnectMaxDelayMs");
    reconnectDelayMs_ = delay.empty() ? 1000 : std::max(1, std::atoi(delay.c_str()));
    reconnectMaxDelayMs_ = maxDelay.empty() ? 30000 : std::max(1, std::atoi(maxDelay.c_str()));
    return openAndLogon(true);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT KxServer::openAndLogon(bool byHost) {
  replaceSession(nullptr);
  if (byHost) openSession();
  reconnecting_ = !byHost;
  const std::string logPath = settings_.read("logFilePath");
  const int logLevel = std::atoi(settings_.read("logLevel").c_str());
  const int workerThreads = std::atoi(settings_.read("maxWorkerThreads").c_str());
  std::shared_ptr<kx::Session> session;
  const HRESULT hr = startSession(logPath, logLevel, workerThreads, &session);
  if (FAILED(hr)) return hr;
  asyncOrders_ = settings_.read("asyncSocketConnectionMode") == "yes";
  orderStreaming_ = settings_.read("useOrderStreaming") == "yes";
  orderThrottle_.setRate(std::atoi(settings_.read("maxOrdersPerSecond").c_str()));
  if (orderStreaming_) session->instance().setOrderStreamingListener(&session->orderActionListener);
  replaceSession(session);
  logon(*session);
  return S_OK;
}

// Decided under the session lock, so that a report that was on its way when
// the host called disconnect or connect neither tells a later session's
// Disconnected nor schedules an attempt after them. The event fires outside
// the lock: the library thread reporting this may hold a channel's send lock,
// and a host's handler that calls into the library while another thread waits
// here would need it.
void KxServer::sessionEnded(kx::Session& session, const char* reason) {
  bool tell = false;
  {
    boost::lock_guard<boost::recursive_mutex> hold(sessionLock_);
    if (!isCurrent(&session)) return;
    tell = claimDisconnected();
  }
  if (tell) fireClaimedDisconnected(reason);
  boost::lock_guard<boost::recursive_mutex> hold(sessionLock_);
  if (isCurrent(&session)) scheduleReconnect(reason);
}

void KxServer::currentSessionEnded(const char* reason) {
  fireDisconnected(reason);
  scheduleReconnect(reason);
}

void KxServer::scheduleReconnect(const char* reason) {
  // A connect that never came up (a wrong password, no server) is the host's
  // to look into; only a session that was up is brought back.
  if (!autoReconnect_ || !cameUp_) return;
  const auto delay = reconnector_.schedule({reconnectDelayMs_, reconnectMaxDelayMs_});
  if (delay.count() == 0) return;  // an attempt waits already
  Utils::logWarn("Session ended (%s): logging on again in %lld ms (autoReconnect)", reason,
                 static_cast<long long>(delay.count()));
}

// The attempt holds a reference of its own: the object stays whole while it
// runs, and if the host has released it meanwhile the attempt does nothing.
void KxServer::reconnectAttempt() {
  kx::ServerRef self = kx::ServerRef::tryHold(this);
  if (!self) return;
  boost::lock_guard<boost::recursive_mutex> hold(sessionLock_);
  if (!reconnector_.active()) return;  // the host connected or disconnected meanwhile
  Utils::logInfo("Logging on again to %s:%d (autoReconnect)", logon_.host.c_str(), logon_.port);
  try {
    if (FAILED(openAndLogon(false))) currentSessionEnded("Reconnect failed");
  } catch (const std::bad_alloc&) {
    currentSessionEnded("Reconnect failed: out of memory");
  }
}

void KxServer::sessionReady(kx::Session& session) {
  cameUp_ = true;
  if (!reconnecting_.exchange(false)) return;
  restoreMarketSubscriptions(session);
  restorePortfolioStreams(session);
  reconnector_.succeeded();
  Utils::logInfo("Logged on again; subscriptions restored (autoReconnect)");
}

HRESULT KxServer::disconnect() {
  kx::ServerRef self = kx::ServerRef::hold(this);
  boost::lock_guard<boost::recursive_mutex> hold(sessionLock_);
  reconnector_.stop();
  subscriptions_.clear();
  Utils::logTrace("KxServer::disconnect method");
  replaceSession(nullptr);
  openSession();
  fireDisconnected("Disconnected by user");
  Utils::logInfo("Disconnected by user..");
  return S_OK;
}

HRESULT KxServer::IsConnected(VARIANT_BOOL* connected) {
  if (!connected) return E_POINTER;
  *connected = sessionUsable() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT KxServer::ConfigureClient(BSTR paramsSet) {
  try {
    boost::lock_guard<boost::recursive_mutex> hold(sessionLock_);
    if (!paramsSet) return refuse("paramsSet is null ptr, use emply string like no params");
    settings_.configure(q3::toAnsi(paramsSet));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT KxServer::ConfigureServer(BSTR) { return S_OK; }
