#include "core/wexel_log.h"

#include <cstdarg>
#include <atomic>
#include <cstdio>

#include "core/wexel_sys.h"

namespace wexel {

namespace {

struct LogState {
  sys::WMutex lock;  // buffer and the sink's installation; a leaf
  // Read without the lock for the level test, so a filtered message costs one
  // comparison; written only under the lock.
  std::atomic<WexelLogger*> sink{nullptr};
  std::atomic<int> level{0};
  char buffer[kLogBufferSize] = {};
};

LogState& state() {
  static LogState* instance = new LogState;  // process-wide, never destroyed
  return *instance;
}

void writeFormatted(int level, const char* format, va_list args) {
  LogState& s = state();
  if (!s.sink.load(std::memory_order_relaxed) || s.level.load(std::memory_order_relaxed) < level) return;
  sys::WLock hold(s.lock);
  if (!s.sink || s.level < level) return;
  int n = std::vsnprintf(s.buffer, kLogBufferSize, format, args);
  if (n < 0 || static_cast<size_t>(n) >= kLogBufferSize) return;  // too long: dropped, not cut
  s.sink.load()->log(s.buffer);
}

// Characters column of one finished 16-byte line: CR shown as '|', LF, tab
// and zero left out, anything else as itself.
void appendCharacterColumn(std::string& out, const unsigned char* line) {
  out += '\t';
  for (int i = 0; i < 16; ++i) {
    unsigned char c = line[i];
    if (c == '\r') out += '|';
    else if (c != '\n' && c != '\t' && c != 0) out += static_cast<char>(c);
  }
}

}  // namespace

bool logInstall(WexelLogger* sink, int level) {
  LogState& s = state();
  sys::WLock hold(s.lock);
  if (s.sink) return false;
  s.sink = sink;
  s.level = level;
  return true;
}

bool logUninstall() {
  LogState& s = state();
  sys::WLock hold(s.lock);
  if (!s.sink) return false;
  s.sink = nullptr;
  s.level = 0;
  return true;
}

bool logEnabled(int level) {
  LogState& s = state();
  return s.sink.load(std::memory_order_relaxed) && s.level.load(std::memory_order_relaxed) >= level;
}

void logAt(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  writeFormatted(level, format, args);
  va_end(args);
}

#define WEXEL_LOG_ENTRY(name, level)        \
  void name(const char* format, ...) {      \
    va_list args;                           \
    va_start(args, format);                 \
    writeFormatted(level, format, args);    \
    va_end(args);                           \
  }
WEXEL_LOG_ENTRY(logFatal, kLogFatal)
WEXEL_LOG_ENTRY(logError, kLogError)
WEXEL_LOG_ENTRY(logWarning, kLogWarning)
WEXEL_LOG_ENTRY(logInfo, kLogInfo)
WEXEL_LOG_ENTRY(logDetail, kLogDetail)
WEXEL_LOG_ENTRY(logTrace, kLogTrace)
#undef WEXEL_LOG_ENTRY

std::string formatTrafficDump(const void* bytes, size_t length) {
  const auto* data = static_cast<const unsigned char*>(bytes);
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "Begin dump of " + std::to_string(length) + " bytes:\n000000: ";
  out.reserve(out.size() + length * 4 + length / 16 * 10 + 2);
  for (size_t i = 0; i < length; ++i) {
    if (i != 0 && i % 16 == 0) {
      appendCharacterColumn(out, data + i - 16);
      char offset[32];
      std::snprintf(offset, sizeof offset, "\n%06zu: ", i);
      out += offset;
    }
    out += kHex[data[i] >> 4];
    out += kHex[data[i] & 15];
    out += ' ';
  }
  out += '\n';
  return out;
}

void dumpTrafficAlways(const void* bytes, size_t length) {
  LogState& s = state();
  sys::WLock hold(s.lock);
  if (!s.sink) return;
  s.sink.load()->log(formatTrafficDump(bytes, length).c_str());
}

void dumpTraffic(const void* bytes, size_t length) {
  if (!logEnabled(kLogTraffic)) return;
  dumpTrafficAlways(bytes, length);
}

}  // namespace wexel
