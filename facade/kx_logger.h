// The facade's process-wide log file: one logger per process, created by the
// first connect that starts the client library, never replaced. Lines read
// "<time> [TID=<hex>] - <LEVEL> : <message> \n".
#pragma once

#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <cstdio>
#include <string>

#include "wexel/wexel_logger.h"

namespace Utils {

enum LogLevel : int {
  kLevelLibrary = 0,  // lines of the client library, named "wexel: "
  kLevelError = 2,
  kLevelWarn = 3,
  kLevelInfo = 4,
  kLevelTrace = 5,
};

constexpr size_t kLogMessageSize = 1024;

class Logger {
 public:
  // The process's logger, or null before the first connect created it.
  static Logger* instance();
  // Creates the logger writing "quarnel3-cli.log" in `directory`; when one
  // exists already, writes the WARN line "Reinitializing logger. command
  // ignored" and leaves it as it is.
  static void create(int level, const std::string& directory);
  // Closes and frees the process's logger: when the module unloads, once
  // nothing of it runs any more.
  static void release();

  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  int level() const { return level_; }
  // Writes one finished line when `level` passes the filter.
  void write(int level, const char* name, const char* message);
  // Whether `path` names the file this logger writes (so it is not rotated away).
  bool writesTo(const std::string& path) const;

 private:
  Logger(int level, const std::string& directory);

  int level_;
  FILE* file_ = nullptr;
  boost::mutex mutex_;  // the file: one line written at a time
};

// Facade lines: C format, cut to 1023 characters (after a "message truncated"
// line), dropped while no logger exists or above its level.
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logWarn(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace Utils

namespace ContextHelper {

// The client library's log sink: its finished lines go to the facade's file
// at level 0 under the name "wexel: ".
class NativeLogger : public wexel::WexelLogger {
 public:
  void log(const char* line) override;
};

}  // namespace ContextHelper
