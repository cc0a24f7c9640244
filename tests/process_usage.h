// What the test process holds, read from /proc/self: threads, memory mappings,
// virtual size and open descriptors. Used to show that repeated sessions leave
// nothing behind.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace process_usage {

// Sanitizers map shadow and allocator memory as the program runs, so their
// builds compare threads only (ThreadSanitizer reports an unjoined thread
// itself); plain builds also compare mappings and address space.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

struct Usage {
  long threads = 0;
  long mappings = 0;
  long virtualKib = 0;
  long descriptors = 0;
};

inline long entriesIn(const char* directory) {
  long n = 0;
  std::error_code ignored;
  for (auto it = std::filesystem::directory_iterator(directory, ignored); it != std::filesystem::directory_iterator();
       it.increment(ignored)) {
    ++n;
  }
  return n;
}

inline Usage now() {
  Usage u;
  u.threads = entriesIn("/proc/self/task");
  u.descriptors = entriesIn("/proc/self/fd");
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) ++u.mappings;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmSize:", 0) == 0) std::istringstream(line.substr(7)) >> u.virtualKib;
  }
  return u;
}

inline std::string describe(const Usage& u) {
  return std::to_string(u.threads) + " threads, " + std::to_string(u.mappings) + " mappings, " +
         std::to_string(u.virtualKib / 1024) + " MiB virtual, " + std::to_string(u.descriptors) + " descriptors";
}

// Whether the usage comes back to `base`: no more threads and (in plain
// builds) at most `extraMappings` more mappings. Address space is not
// compared: the allocator reserves 64 MiB per arena as threads contend.
// Threads that ended are only released when joined, so this waits (up to a
// limit that only keeps a broken build from hanging) for the joins.
inline bool settlesWithin(const Usage& base, long extraMappings, Usage* last) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    *last = now();
    if (last->threads <= base.threads && (kSanitized || last->mappings <= base.mappings + extraMappings)) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace process_usage

namespace process_usage {

// Waits until the process has no more than `threads` threads; false when that
// does not happen within a limit that only keeps a broken build from hanging.
inline bool threadsDropTo(long threads) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (now().threads > threads) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Enough cycles for a leak of one mapping per cycle to stand out in a plain
// build; fewer where each cycle is slow and only threads are compared.
inline constexpr int kCycles = kSanitized ? 10 : 25;

}  // namespace process_usage
