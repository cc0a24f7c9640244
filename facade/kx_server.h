// KxServer, the automation object hosts create: IKxServer and IQuarnelVersion
// (dual), its own error information, the _IKxClient connection point and its
// container, and class information naming the default source.
#pragma once

#include <atomic>
#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <memory>
#include <string>

#include "kx_dispatch.h"
#include "kx_events.h"
#include "kx_order_throttle.h"
#include "kx_reconnector.h"
#include "kx_settings.h"
#include "kx_subscription_list.h"
#include "kx_tables.h"

namespace kx {
class Session;
class ServerRef;
struct SubscriptionRule;
struct PortfolioRule;
struct QueryRule;
}  // namespace kx

namespace kx {
// Counts the object as a module lock from its first to its very last moment:
// as the first base it is destroyed after everything else of the object.
struct ModuleLockHolder {
  ModuleLockHolder();
  ~ModuleLockHolder();
};
}  // namespace kx

class KxServer final : private kx::ModuleLockHolder,
                       public kx::DualDispatch<IKxServer>,
                       public kx::DualDispatch<IQuarnelVersion>,
                       public ISupportErrorInfo,
                       public IErrorInfo,
                       public kx::KxClientEvents,
                       public IConnectionPointContainer,
                       public IProvideClassInfo2,
                       public IKxRowsDone {
 public:
  // Adapters between the client library's listeners and the events.
  class NativeLogonListener;
  class NativeReferenceSecuritiesListener;
  class NativeQuotesListener;
  class NativeBidAskListener;
  class NativeTradesListener;
  class NativeMessagesListener;
  class NativeOrderActionResultListener;
  class NativeHistoryBarsListener;
  class NativeGetTicksListener;
  class NativePortfolioListener;
  class NativePortfolioResultListener;
  class NativeGetMyOrdersListener;
  class NativeGetMyTradesListener;
  class NativeGetMyClosePosListener;

  // The class factory's creation: stand-alone, or aggregated when `outer` is
  // given (then `iid` must be IID_IUnknown).
  static HRESULT create(IUnknown* outer, REFIID iid, void** object);

  // IUnknown, delegating to the controlling unknown.
  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IKxServer
  HRESULT ListenQuotes(BSTR symbol) override;
  HRESULT CancelQuotes(BSTR symbol) override;
  HRESULT ListenBidAsks(BSTR symbol) override;
  HRESULT CancelBidAsks(BSTR symbol) override;
  HRESULT ListenTicks(BSTR symbol) override;
  HRESULT CancelTicks(BSTR symbol) override;
  HRESULT GetBars(BSTR symbol, KxBarInterval interval, DATE since, LONG count) override;
  HRESULT ListenPortfolio(BSTR portfolio) override;
  HRESULT CancelPortfolio(BSTR portfolio) override;
  HRESULT PlaceOrder(BSTR portfolio, BSTR symbol, KxOrder_Action action, KxOrder_Type type, KxOrder_Validity validity,
                     DOUBLE price, DOUBLE amount, DOUBLE stop, LONG cookie) override;
  HRESULT CancelOrder(BSTR portfolio, BSTR symbol, BSTR orderid) override;
  HRESULT MoveOrder(BSTR portfolio, BSTR orderid, DOUBLE targetPrice) override;
  HRESULT GetSymbols() override;
  HRESULT IsConnected(VARIANT_BOOL* connected) override;
  HRESULT connect(BSTR ip, USHORT port, BSTR login, BSTR password) override;
  HRESULT disconnect() override;
  HRESULT GetPrortfolioList() override;
  HRESULT GetMyOrders(INT onlyActive, BSTR portfolio) override;
  HRESULT GetMyTrades(BSTR portfolio) override;
  HRESULT GetMyClosePos(BSTR portfolio) override;
  HRESULT GetTrades(BSTR symbol, DATE from, INT count) override;
  HRESULT ConfigureClient(BSTR paramsSet) override;
  HRESULT ConfigureServer(BSTR paramsSet) override;
  HRESULT GetMoneyAccount(BSTR portfolioID, BSTR* moneyAccount) override;

  // IQuarnelVersion
  HRESULT GetServerVersionString(BSTR* stversion) override;
  HRESULT GetServerVersion(INT* major, INT* minor, INT* build, INT* rev) override;
  HRESULT GetKxClientVersionString(BSTR* stversion) override;
  HRESULT GetKxClientVersion(INT* major, INT* minor, INT* build, INT* rev) override;

  // ISupportErrorInfo
  HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

  // IErrorInfo: the object reports its own last error.
  HRESULT GetGUID(GUID* guid) override;
  HRESULT GetSource(BSTR* source) override;
  HRESULT GetDescription(BSTR* description) override;
  HRESULT GetHelpFile(BSTR* helpFile) override;
  HRESULT GetHelpContext(DWORD* helpContext) override;

  // IConnectionPointContainer
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

  // IProvideClassInfo2
  HRESULT GetClassInfo(ITypeInfo** info) override;
  HRESULT GetGUID(DWORD kind, GUID* guid) override;

  // IKxRowsDone
  HRESULT WatchRows(IDispatch* watcher) override;

  // The error routine: formats the message (cut to 1023 characters), keeps it
  // as the error description, logs it at ERROR level, makes the object the
  // thread's error information and answers E_FAIL.
  HRESULT refuse(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // References on the object's own count, for callers that must keep it
  // alive (adapters on library threads, methods that fire events).
  // addRefIfAlive fails once the count has reached zero.
  bool addRefIfAlive();
  void releaseInternal();

  kx::Tables& tables() { return tables_; }

  // A session ended without the host asking: Disconnected (once per loss),
  // then, with autoReconnect, a new logon after the backoff delay. Nothing
  // when the host has connected or disconnected since: the session is no
  // longer the current one.
  void sessionEnded(kx::Session& session, const char* reason);
  // The securities list of a session has come: after a reconnect, the
  // host's subscriptions are made again on it. Before Connected fires.
  void sessionReady(kx::Session& session);

 protected:
  IConnectionPointContainer* container() override { return this; }

 private:
  // The non-delegating IUnknown that owns the object's count.
  class InnerUnknown : public IUnknown {
   public:
    explicit InnerUnknown(KxServer& owner) : owner_(owner) {}
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

   private:
    KxServer& owner_;
  };

  KxServer();
  ~KxServer();

  HRESULT loadDefaults();
  std::shared_ptr<kx::Session> currentSession();
  // Replaces the current session; the old one is detached at once (none of
  // its events reach the host any more) and torn down by the library.
  void replaceSession(std::shared_ptr<kx::Session> next);
  bool isCurrent(const kx::Session* session);
  bool sessionUsable();
  HRESULT startSession(const std::string& logDirectory, int logLevel, int workerThreads,
                       std::shared_ptr<kx::Session>* session);
  void logon(kx::Session& session);
  // connect's work once the host's values are stored: a new session and its
  // logon. `byHost` re-arms Disconnected; a reconnect attempt does not, so a
  // loss is told once however many attempts fail.
  HRESULT openAndLogon(bool byHost);
  // On the reconnector's thread.
  void reconnectAttempt();
  // sessionEnded's work, under sessionLock_, for the current session.
  void currentSessionEnded(const char* reason);
  // With autoReconnect, after a session that had come up: the next attempt.
  // Under sessionLock_.
  void scheduleReconnect(const char* reason);
  void restoreMarketSubscriptions(kx::Session& session);
  void restorePortfolioStreams(kx::Session& session);
  // The six feed subscriptions: the INFO line, the checks, the library call.
  HRESULT subscription(BSTR symbol, const kx::SubscriptionRule& rule);
  // The session and the exchange of a symbol in the securities table, or the refusal.
  HRESULT resolveSymbol(const std::string& symbol, std::shared_ptr<kx::Session>* session, std::string* exchange);
  // The checks the methods share, each answering its refusal: a usable
  // session, a portfolio granted at logon, a symbol of the securities table
  // (giving its exchange).
  HRESULT usableSession(std::shared_ptr<kx::Session>* session);
  HRESULT knownPortfolio(const std::string& portfolio);
  // Waits for the order action's turn under maxOrdersPerSecond; the refusal
  // when the session was closed meanwhile.
  HRESULT awaitOrderTurn();
  // The checks of the portfolio queries and GetMoneyAccount: a portfolio
  // given, a usable session, the portfolio granted.
  HRESULT queryChecks(BSTR portfolio, const std::string& code, std::shared_ptr<kx::Session>* session);
  // ListenPortfolio and CancelPortfolio: the INFO line, the checks, the library call.
  HRESULT portfolioStream(BSTR portfolio, const kx::PortfolioRule& rule);
  // GetMyOrders, GetMyTrades and GetMyClosePos once their INFO line is written.
  HRESULT portfolioQuery(BSTR portfolio, const std::string& code, const kx::QueryRule& rule);
  HRESULT exchangeOf(const std::string& symbol, std::string* exchange);

  InnerUnknown inner_;
  IUnknown* outer_;
  std::atomic<ULONG> refs_{0};

  kx::Settings settings_;
  kx::Tables tables_;
  boost::mutex errorLock_;  // the error description; a leaf
  std::u16string errorDescription_;
  bool hasErrorDescription_ = false;

  // Serialises connect, disconnect, ConfigureClient, reconnect attempts and
  // the decisions on a session's end (taken there on a library thread, never
  // while a host's handler runs there); re-entrant so that a host may call
  // them from inside the Disconnected that disconnect fires.
  boost::recursive_mutex sessionLock_;
  boost::mutex sessionLinkLock_;  // session_, the pointer only; a leaf
  std::shared_ptr<kx::Session> session_;
  std::atomic<bool> asyncOrders_{true};
  std::atomic<bool> orderStreaming_{false};
  kx::OrderThrottle orderThrottle_;

  // What connect was given, for reconnect attempts (under sessionLock_).
  struct Logon {
    std::string host, login, password;
    USHORT port = 0;
  } logon_;
  std::atomic<bool> autoReconnect_{false};
  std::atomic<int> reconnectDelayMs_{1000};
  std::atomic<int> reconnectMaxDelayMs_{30000};
  std::atomic<bool> reconnecting_{false};  // the current session comes from a reconnect attempt
  std::atomic<bool> cameUp_{false};        // a session of the last connect reached Connected
  kx::SubscriptionList subscriptions_;
  // Last, so that it is destroyed first: its thread stops before anything
  // an attempt uses goes.
  kx::Reconnector reconnector_{[this] { reconnectAttempt(); }};

  friend class kx::ServerRef;
};

namespace kx {

// A host's argument quoted in an error text: at most 64 bytes, the rest
// counted, so that a huge argument does not come back whole.
inline std::string echoed(const std::string& argument) {
  constexpr size_t kLimit = 64;
  if (argument.size() <= kLimit) return argument;
  return argument.substr(0, kLimit) + "... (" + std::to_string(argument.size()) + " bytes)";
}

// One reference on a KxServer's own count, released on destruction.
class ServerRef {
 public:
  ServerRef() = default;
  // Adds a reference to an object known to be alive.
  static ServerRef hold(KxServer* server) {
    server->addRefIfAlive();
    return ServerRef(server);
  }
  // Adds a reference unless the object is already being destroyed.
  static ServerRef tryHold(KxServer* server) {
    return server && server->addRefIfAlive() ? ServerRef(server) : ServerRef();
  }
  ServerRef(ServerRef&& other) noexcept : server_(std::exchange(other.server_, nullptr)) {}
  ServerRef& operator=(ServerRef&&) = delete;
  ~ServerRef() {
    if (server_) server_->releaseInternal();
  }

  explicit operator bool() const { return server_ != nullptr; }
  KxServer* operator->() const { return server_; }
  KxServer& operator*() const { return *server_; }

 private:
  explicit ServerRef(KxServer* server) : server_(server) {}
  KxServer* server_ = nullptr;
};

}  // namespace kx
