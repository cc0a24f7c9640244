// One connect's client-library instance together with the adapters it calls
// back. The KxServer holds the current session; replacing or dropping it
// detaches the session at once and hands it to the library's teardown, which
// stops and deletes the instance once its threads have unwound, and only
// then the adapters.
#pragma once

#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <atomic>
#include <memory>

#include "kx_adapters.h"

namespace kx {

class Session {
 public:
  // Owns `instance` from now on. The session counts as a module lock until
  // its teardown has finished.
  static std::shared_ptr<Session> open(KxServer& server, wexel::WexelInstance* instance);

  wexel::WexelInstance& instance() { return *instance_; }
  // From now on no callback of this session reaches the server.
  void detach();
  // The server, referenced, while the session is attached; empty otherwise.
  ServerRef enter();
  // Connecting: the logon or the securities list is still on its way, and
  // neither Connected nor Disconnected has come yet.
  bool loading() const { return !securitiesLoaded_ && !ended_; }
  bool securitiesLoaded() const { return securitiesLoaded_.load(); }
  void markSecuritiesLoaded() { securitiesLoaded_ = true; }
  void markEnded() { ended_ = true; }

  KxServer::NativeLogonListener logonListener{*this};
  KxServer::NativeReferenceSecuritiesListener securitiesListener{*this};
  KxServer::NativeQuotesListener quotesListener{*this};
  KxServer::NativeBidAskListener bidAskListener{*this};
  KxServer::NativeTradesListener tradesListener{*this};
  KxServer::NativeMessagesListener messagesListener{*this};
  KxServer::NativeOrderActionResultListener orderActionListener{*this};
  KxServer::NativeHistoryBarsListener historyBarsListener{*this};
  KxServer::NativeGetTicksListener getTicksListener{*this};
  KxServer::NativePortfolioListener portfolioListener{*this};
  KxServer::NativePortfolioResultListener portfolioResultListener{*this};
  KxServer::NativeGetMyOrdersListener myOrdersListener{*this};
  KxServer::NativeGetMyTradesListener myTradesListener{*this};
  KxServer::NativeGetMyClosePosListener myClosePosListener{*this};

 private:
  Session(KxServer& server, wexel::WexelInstance* instance) : server_(&server), instance_(instance) {}
  ~Session() = default;
  static void retire(Session* session);

  boost::mutex linkLock_;  // server_, the way back to the object; a leaf
  KxServer* server_;
  wexel::WexelInstance* instance_;
  std::atomic<bool> securitiesLoaded_{false};
  std::atomic<bool> ended_{false};
};

// What every adapter's error operation does: the session ends with the text.
inline void endSession(Session& session, const std::string& message) {
  session.markEnded();
  if (ServerRef server = session.enter()) server->sessionEnded(session, message.c_str());
}

}  // namespace kx
