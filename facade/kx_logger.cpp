#include "kx_logger.h"

#include <sys/stat.h>

#include <atomic>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstdarg>

#include "q3_kernel.h"

namespace Utils {
namespace {

constexpr const char* kLogFileName = "quarnel3-cli.log";
constexpr size_t kMaxDirectory = 1024;

// Created once and kept for the life of the process, as the library may log
// from its threads until the very end.
std::atomic<Logger*> processLogger{nullptr};
boost::mutex creationMutex;  // creating or re-initialising processLogger

struct LevelName {
  int level;
  const char* name;
};

constexpr LevelName kLevelNames[] = {
    {kLevelLibrary, "wexel: "}, {kLevelError, "ERROR"}, {kLevelWarn, "WARN"}, {kLevelInfo, "INFO"}, {kLevelTrace, "TRACE"}};

const char* nameOf(int level) {
  for (const LevelName& entry : kLevelNames) {
    if (entry.level == level) return entry.name;
  }
  return "";
}

void writeFormatted(int level, const char* format, va_list args) {
  Logger* logger = Logger::instance();
  if (!logger || level > logger->level()) return;
  char message[kLogMessageSize];
  const int length = std::vsnprintf(message, sizeof message, format, args);
  if (length >= static_cast<int>(sizeof message)) logger->write(level, "SYSTEM", "message truncated");
  logger->write(level, nameOf(level), message);
}

}  // namespace

Logger* Logger::instance() { return processLogger.load(std::memory_order_acquire); }

void Logger::create(int level, const std::string& directory) {
  boost::lock_guard<boost::mutex> hold(creationMutex);
  if (instance()) {
    logWarn("Reinitializing logger. command ignored");
    return;
  }
  processLogger.store(new Logger(level, directory), std::memory_order_release);
}

void Logger::release() {
  boost::lock_guard<boost::mutex> hold(creationMutex);
  delete processLogger.exchange(nullptr, std::memory_order_acq_rel);
}

Logger::~Logger() {
  if (file_) std::fclose(file_);
}

Logger::Logger(int level, const std::string& directory) : level_(level) {
  if (directory.size() > kMaxDirectory) return;
  std::string path = directory;
  if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += "/";
  file_ = std::fopen((path + kLogFileName).c_str(), "w");
}

void Logger::write(int level, const char* name, const char* message) {
  if (level > level_ || !file_) return;
  boost::lock_guard<boost::mutex> hold(mutex_);
  const std::string time = boost::posix_time::to_simple_string(boost::posix_time::microsec_clock::local_time());
  std::fprintf(file_, "%s [TID=%x] - %s : %s \n", time.c_str(), q3::kernelThreadId(), name, message);
  std::fflush(file_);
}

bool Logger::writesTo(const std::string& path) const {
  struct stat open {}, named {};
  return file_ && ::fstat(fileno(file_), &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

#define KX_LOG_FUNCTION(function, level)   \
  void function(const char* format, ...) { \
    va_list args;                          \
    va_start(args, format);                \
    writeFormatted(level, format, args);   \
    va_end(args);                          \
  }

KX_LOG_FUNCTION(logError, kLevelError)
KX_LOG_FUNCTION(logWarn, kLevelWarn)
KX_LOG_FUNCTION(logInfo, kLevelInfo)
KX_LOG_FUNCTION(logTrace, kLevelTrace)

#undef KX_LOG_FUNCTION

}  // namespace Utils

namespace ContextHelper {

void NativeLogger::log(const char* line) {
  if (Utils::Logger* logger = Utils::Logger::instance()) logger->write(Utils::kLevelLibrary, "wexel: ", line);
}

}  // namespace ContextHelper
