#include "kx_library.h"

#include <algorithm>
#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <cxxabi.h>

#include "kx_logger.h"
#include "kx_module.h"
#include "wexel/wexel_instance.h"
#include "wexel/wexel_teardown.h"

// This shared object's own handle: exit handlers registered with it run when
// the object unloads (or at process exit, whichever comes first).
extern void* __dso_handle __attribute__((visibility("hidden")));

namespace kx {
namespace {

boost::mutex startMutex;  // libraryStarted, bridge, stopRegistered
bool libraryStarted = false;
bool stopRegistered = false;
// The client library's lines reach the facade's file through this bridge,
// installed while the library runs.
ContextHelper::NativeLogger* bridge = nullptr;

// Waits for the session teardowns, then, when no object or session of the
// module is left, shuts the client library down (TLS context, socket method,
// log sink) and frees the log bridge and the logger (its file closed). Runs at
// module unload and at process exit; does nothing once the library is
// stopped, so it may run more than once.
void stopLibrary() {
  // Session teardowns end with the module's unlock; their threads still run
  // the module's code until joined.
  wexel::waitForTeardowns();
  boost::lock_guard<boost::mutex> hold(startMutex);
  if (!libraryStarted) return;
  // An object or session still alive (a process exiting without releasing
  // its objects) keeps using the TLS context and the log sink.
  if (CQuarnel3Module::instance().lockCount() != 0) return;
  wexel::libraryShutdown();
  delete bridge;
  bridge = nullptr;
  libraryStarted = false;
  Utils::Logger::release();
}

void stopLibraryAtExit(void*) { stopLibrary(); }

}  // namespace

bool startLibraryOnce(const std::string& logDirectory, int logLevel, int workerThreads,
                      const std::string& logFilePath) {
  boost::lock_guard<boost::mutex> hold(startMutex);
  if (libraryStarted) return true;
  Utils::Logger::create(logLevel, logDirectory);
  Utils::logInfo("Quarnel3 client module (v%d.%d.%d.%d) logging started..", kVersion[0], kVersion[1], kVersion[2],
                 kVersion[3]);
  Utils::logInfo("Logging level is set to %d value.", logLevel);
  Utils::logInfo("Using maximum %d worker threads to process data.", workerThreads);
  Utils::logInfo("Store logs in %s", logFilePath.c_str());
  if (!bridge) bridge = new ContextHelper::NativeLogger();
  if (!wexel::libraryStartup(bridge, std::min(logLevel, 6), kProduct)) return false;
  libraryStarted = true;
  // Registered once the library has started (and OpenSSL has registered its
  // own exit handler), so it runs before OpenSSL's clean-up at process exit,
  // and at dlclose. Registered with the module's handle rather than through
  // atexit, which a sanitizer runtime may turn into a process-wide handler.
  if (!stopRegistered) stopRegistered = __cxxabiv1::__cxa_atexit(stopLibraryAtExit, nullptr, &__dso_handle) == 0;
  return true;
}

}  // namespace kx
