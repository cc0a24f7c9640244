// The sink a host installs for the library's log lines, and the numeric levels
// it filters them by.
#pragma once

namespace wexel {

// Receives each finished library log line that passes the level filter.
class WexelLogger {
 public:
  virtual void log(const char* line) = 0;
  virtual ~WexelLogger() = default;
};

// Levels: 1 fatal, 2 errors, 3 warnings, 4 information, 5 details, 6 trace,
// 7 traffic dump.
enum WLogLevel : int {
  kLogFatal = 1,
  kLogError = 2,
  kLogWarning = 3,
  kLogInfo = 4,
  kLogDetail = 5,
  kLogTrace = 6,
  kLogTraffic = 7,
};

}  // namespace wexel
