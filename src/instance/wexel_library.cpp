// The process-wide part of the library: start-up and shut-down, and the
// creation and release of client instances.
#include <cstdlib>
#include <ctime>

#include "core/wexel_log.h"
#include "core/wexel_statistics.h"
#include "instance/wexel_winstance.h"
#include "net/wexel_https_request.h"
#include "q3_socket.h"
#include "wexel/wexel_teardown.h"

namespace wexel {

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

}  // namespace wexel
