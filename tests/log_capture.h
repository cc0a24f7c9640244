// A WexelLogger that keeps every line, installed for the life of a test.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/wexel_log.h"

namespace wexel::testing {

class LogCapture : public WexelLogger {
 public:
  explicit LogCapture(int level = 6) {
    logUninstall();
    logInstall(this, level);
  }
  ~LogCapture() override { logUninstall(); }

  void log(const char* line) override {
    std::lock_guard<std::mutex> hold(mutex_);
    lines_.emplace_back(line);
  }

  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> hold(mutex_);
    return lines_;
  }

  bool contains(const std::string& text) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (const auto& line : lines_) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  size_t count(const std::string& text) {
    std::lock_guard<std::mutex> hold(mutex_);
    size_t n = 0;
    for (const auto& line : lines_) n += line.find(text) != std::string::npos;
    return n;
  }

  void clear() {
    std::lock_guard<std::mutex> hold(mutex_);
    lines_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace wexel::testing
