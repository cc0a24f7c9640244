// The subscriptions the host has made (quotes, books, ticks, portfolio
// streams), kept so that autoReconnect can make them again on a new session.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kx {

class SubscriptionList {
 public:
  enum class Kind { kQuotes, kBook, kTicks, kPortfolio };
  using Entry = std::pair<Kind, std::string>;

  void set(Kind kind, const std::string& name, bool active) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (active) {
      entries_.emplace(kind, name);
    } else {
      entries_.erase({kind, name});
    }
  }
  std::vector<Entry> all() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return {entries_.begin(), entries_.end()};
  }
  void clear() {
    std::lock_guard<std::mutex> hold(mutex_);
    entries_.clear();
  }

 private:
  mutable std::mutex mutex_;  // a leaf
  std::set<Entry> entries_;
};

}  // namespace kx
