// What the main thread waits on: the events received so far (counted by
// name, and shown to a watcher that commands install), and the request to
// stop that an interrupt leaves.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "kxcli_output.h"

namespace kxcli {

// What the board records for the end of a query answer, beside the events: a
// line naming the answer's row event ("rows-done") and its count ("nrows").
// No event of the type library has this name.
inline constexpr const char* kRowsDone = "#rows-done";

class EventBoard {
 public:
  using Watcher = std::function<void(const std::string& event, const Line& line)>;
  enum class Outcome { kDone, kTimeout, kStopped };

  // Called on the firing thread once the event's line is printed.
  void record(const std::string& event, const Line& line);
  // The watcher runs under the board's lock, before waiters are woken.
  void setWatcher(Watcher watcher);
  void stop();
  bool stopped() const;

  // Events of that name received in all. Call from a predicate of waitUntil
  // or a watcher (the lock is held there).
  size_t countLocked(const std::string& event) const;

  // Runs `read` under the lock, for state that watchers write.
  void withLock(const std::function<void()>& read) const;

  // Until `done` (checked under the lock) holds, `limit` passes, or stop().
  // One thread waits at a time (the main thread).
  Outcome waitUntil(const std::function<bool()>& done, std::optional<std::chrono::duration<double>> limit);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, size_t> counts_;
  Watcher watcher_;
  const std::function<bool()>* waiting_ = nullptr;  // the condition of the thread in waitUntil
  bool stopped_ = false;
};

// Turns SIGINT and SIGTERM into EventBoard::stop on a thread of its own; a
// second one ends the process at once (the main thread may sit in a read).
// Construct before any other thread starts: it blocks both signals for the
// whole process so that only its sigwait receives them.
class SignalWatcher {
 public:
  explicit SignalWatcher(EventBoard& board);
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

  static void blockSignals();

 private:
  struct State;
  State* state_;
};

}  // namespace kxcli
