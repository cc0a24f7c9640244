#include "kx_session.h"

#include "kx_module.h"
#include "wexel/wexel_teardown.h"

namespace kx {

std::shared_ptr<Session> Session::open(KxServer& server, wexel::WexelInstance* instance) {
  CQuarnel3Module::instance().lock();
  return std::shared_ptr<Session>(new Session(server, instance), &Session::retire);
}

void Session::detach() {
  boost::lock_guard<boost::mutex> hold(linkLock_);
  server_ = nullptr;
}

ServerRef Session::enter() {
  boost::lock_guard<boost::mutex> hold(linkLock_);
  return ServerRef::tryHold(server_);
}

// Runs where the last holder let go, possibly inside a callback on one of the
// instance's own threads: the stop and deletion go to a teardown thread, where
// releaseInstance finishes them before the adapters are freed.
void Session::retire(Session* session) {
  session->detach();
  wexel::deferTeardown([session] {
    wexel::releaseInstance(session->instance_);
    delete session;
    CQuarnel3Module::instance().unlock();
  });
}

}  // namespace kx
