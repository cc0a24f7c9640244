// The library's log call: numeric levels filtered against the level the host
// configured, formatted into one shared buffer and handed to the installed sink.
#pragma once

#include <cstddef>
#include <string>

#include "wexel/wexel_logger.h"

namespace wexel {

constexpr size_t kLogBufferSize = 2048;

// False when a sink is already installed (the first one stays).
bool logInstall(WexelLogger* sink, int level);
// False when none is installed.
bool logUninstall();
// Formats and writes when a sink is installed and the configured level is at
// least `level`. A message that does not fit the 2048-byte buffer is dropped.
void logAt(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

void logFatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logDetail(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// True when a line at `level` would be written (lets callers skip work).
bool logEnabled(int level);

// Writes the traffic dump of `bytes` when the configured level is 7 or more.
void dumpTraffic(const void* bytes, size_t length);
// Writes the traffic dump whatever the configured level (bad-block reports).
void dumpTrafficAlways(const void* bytes, size_t length);
// The dump text itself: "Begin dump of N bytes:\n000000: 41 42 ...".
std::string formatTrafficDump(const void* bytes, size_t length);

}  // namespace wexel
