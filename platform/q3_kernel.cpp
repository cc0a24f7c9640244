#include "q3_kernel.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace q3 {

uint32_t kernelThreadId() {
  return static_cast<uint32_t>(::syscall(SYS_gettid));
}

void sleepMilliseconds(uint32_t ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

double monotonicMilliseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

std::string systemMessage(int errnoValue) {
  char buffer[256];
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = ::strerror_r(errnoValue, buffer, sizeof buffer);
  return text ? std::string(text) : std::string();
}

std::tm localTime(std::time_t when) {
  std::tm result{};
  ::localtime_r(&when, &result);
  return result;
}

}  // namespace q3
