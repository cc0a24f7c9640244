// Kernel services the library expects from Windows, on Linux: thread ids,
// sleeping, the high-resolution clock, system message texts and local time.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace q3 {

// Kernel thread id (gettid), the value log lines print in hex.
uint32_t kernelThreadId();

// Sleeps for the given milliseconds with nanosleep, resuming after signals.
void sleepMilliseconds(uint32_t ms);

// Monotonic clock in milliseconds (CLOCK_MONOTONIC), as a double like the
// performance counter divided by its frequency.
double monotonicMilliseconds();

// The system's message text for an errno value (strerror_r).
std::string systemMessage(int errnoValue);

// Local broken-down time (localtime_r).
std::tm localTime(std::time_t when);

}  // namespace q3
