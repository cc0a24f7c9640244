#include "kx_library.h"

#include <algorithm>
#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>

#include "kx_logger.h"
#include "wexel/wexel_instance.h"

namespace kx {
namespace {

boost::mutex startMutex;  // libraryStarted: the library starts once per process
bool libraryStarted = false;

// The client library's lines reach the facade's file through this bridge,
// which lives as long as the process.
ContextHelper::NativeLogger& libraryLogger() {
  static ContextHelper::NativeLogger* bridge = new ContextHelper::NativeLogger();
  return *bridge;
}

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
  if (!wexel::libraryStartup(&libraryLogger(), std::min(logLevel, 6), kProduct)) return false;
  libraryStarted = true;
  return true;
}

}  // namespace kx
