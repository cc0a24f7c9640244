#include "kexsim_request_log.h"

#include <algorithm>
#include <set>

namespace kexsim {

int RequestLog::add(LoggedRequest entry) {
  std::lock_guard<std::mutex> lock(mutex_);
  entry.id = ++lastId_;
  entry.arrived = std::chrono::steady_clock::now();
  entries_.push_back(std::move(entry));
  changed_.notify_all();
  return lastId_;
}

// Entries are appended in id order, so a binary search finds one: a busy
// connection (thousands of pipelined orders) must not make each lookup slower.
LoggedRequest* RequestLog::find(int id) {
  auto at = std::lower_bound(entries_.begin(), entries_.end(), id,
                             [](const LoggedRequest& entry, int wanted) { return entry.id < wanted; });
  return at != entries_.end() && at->id == id ? &*at : nullptr;
}

void RequestLog::addFeedLine(int id, const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (LoggedRequest* entry = find(id)) entry->feedLines.push_back(line);
  changed_.notify_all();
}

void RequestLog::markClosed(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (LoggedRequest* entry = find(id)) entry->closed = true;
  changed_.notify_all();
}

RequestLog::Entries RequestLog::entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

RequestLog::Entries RequestLog::ofKind(const std::string& kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Entries matching;
  for (const auto& entry : entries_) {
    if (entry.kind == kind) matching.push_back(entry);
  }
  return matching;
}

size_t RequestLog::connectionsOf(const std::string& kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::set<int> connections;
  for (const auto& entry : entries_) {
    if (entry.kind == kind) connections.insert(entry.connection);
  }
  return connections.size();
}

void RequestLog::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

bool RequestLog::waitUntil(const std::function<bool(const Entries&)>& predicate,
                           std::chrono::milliseconds limit) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return predicate(entries_); });
}

}  // namespace kexsim
