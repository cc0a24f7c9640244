// What the clients sent: one entry per request, with the feed lines that came
// after it on the same connection. Tests read it to check the client's wire text.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kexsim {

struct LoggedRequest {
  int id = 0;         // 1, 2, ... in arrival order
  std::string kind;   // the route's request kind ("logon", "quotes", ...), "" when unknown
  bool tls = false;
  std::string method;
  std::string path;
  std::string query;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::vector<std::string> feedLines;  // without their line end
  bool closed = false;                 // the server is done with the connection
  int connection = 0;  // the connection it came on: 1, 2, ... in accept order
  int sequence = 0;    // its turn on that connection: 1, 2, ... (keep-alive)
  std::chrono::steady_clock::time_point arrived;  // set when logged

  // Path and query as the request line had them.
  std::string url() const { return query.empty() ? path : path + "?" + query; }
};

class RequestLog {
 public:
  using Entries = std::vector<LoggedRequest>;

  // Adds an entry and answers its id.
  int add(LoggedRequest entry);
  void addFeedLine(int id, const std::string& line);
  void markClosed(int id);

  Entries entries() const;
  // The entries of one kind, in arrival order.
  Entries ofKind(const std::string& kind) const;
  // How many connections carried requests of this kind.
  size_t connectionsOf(const std::string& kind) const;
  void clear();

  // Blocks until the predicate holds over the entries or the limit passes; the
  // limit only guards against a hang, callers do not measure time with it.
  bool waitUntil(const std::function<bool(const Entries&)>& predicate,
                 std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

 private:
  LoggedRequest* find(int id);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  Entries entries_;
  int lastId_ = 0;
};

}  // namespace kexsim
