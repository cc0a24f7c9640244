// Logs on again after a session ended without the host asking
// (autoReconnect): waits a delay that doubles after each failed attempt up to
// a maximum, plus up to a quarter more at random so that many clients do not
// come back at the same instant, then runs the attempt on a thread of its
// own. stop() (the host's disconnect or connect) ends a wait at once.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace kx {

class Reconnector {
 public:
  struct Plan {
    int delayMs = 1000;
    int maxDelayMs = 30000;
  };
  using Attempt = std::function<void()>;

  explicit Reconnector(Attempt attempt);
  // Stops; joins the thread, or hands the join to a teardown thread when the
  // owner is destroyed on it (an attempt may hold the last reference).
  ~Reconnector();
  Reconnector(const Reconnector&) = delete;
  Reconnector& operator=(const Reconnector&) = delete;

  // The session ended: an attempt after the current delay, which then
  // doubles. An attempt already waiting keeps its time. Answers the wait
  // chosen (zero when one was already waiting or the owner is going).
  std::chrono::milliseconds schedule(const Plan& plan);
  // The session is back: the next loss waits the first delay again.
  void succeeded();
  // No attempt after this one (the one running, if any, ends on its own).
  void stop();
  // Whether an attempt waits or runs.
  bool active() const;

  // The delay after `failures` failed attempts: plan.delayMs doubled that
  // often, at most plan.maxDelayMs; `jitter` in [0, 1) adds up to a quarter.
  static std::chrono::milliseconds delayAfter(const Plan& plan, int failures, double jitter);

 private:
  struct State;
  static void run(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace kx
