// Shared pieces of the transport tests: a body-recording parser, a GET request
// that records what reaches its error operation, and a running manager.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/wexel_connection_manager.h"
#include "net/wexel_get_request.h"
#include "net/wexel_parser.h"

namespace wexel::testing {

using namespace std::chrono_literals;

template <typename Predicate>
bool eventually(Predicate p, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!p()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// What a request saw; outlives the request, which the manager deletes.
struct Outcome {
  std::mutex mutex;
  std::string body;
  std::vector<std::pair<int, std::string>> errors;         // the channel's
  std::vector<std::pair<int, std::string>> parserErrors;   // the parser's
  std::vector<bool> registeredAtError;
  std::atomic<bool> deleted{false};

  std::string bodyText() {
    std::lock_guard<std::mutex> hold(mutex);
    return body;
  }
  size_t errorCount() {
    std::lock_guard<std::mutex> hold(mutex);
    return errors.size();
  }
  std::vector<std::pair<int, std::string>> parserErrorList() {
    std::lock_guard<std::mutex> hold(mutex);
    return parserErrors;
  }
  std::pair<int, std::string> firstError() {
    std::lock_guard<std::mutex> hold(mutex);
    return errors.empty() ? std::make_pair(-99999, std::string()) : errors.front();
  }
};

class BodyParser : public WexelParser {
 public:
  explicit BodyParser(Outcome* outcome) : outcome_(outcome) {}
  int parseBody(const char* data, int count) override {
    std::lock_guard<std::mutex> hold(outcome_->mutex);
    outcome_->body.append(data, static_cast<size_t>(count));
    return count;
  }
  int onError(int code, const char* text) override {
    std::lock_guard<std::mutex> hold(outcome_->mutex);
    outcome_->parserErrors.emplace_back(code, text);
    return code;
  }

 private:
  Outcome* outcome_;
};

template <typename Tag>
class TestGet : public WGetRequest<Tag> {
 public:
  TestGet(WConnectionManager* manager, const sockaddr_in& server, Outcome* outcome, const std::string& url = "/kx2/t?a=1")
      : WGetRequest<Tag>(manager, new BodyParser(outcome), server), outcome_(outcome) {
    this->setUrl(url);
  }
  ~TestGet() override { outcome_->deleted = true; }
  void onError(int code, const std::string& text) override {
    bool registered = this->manager() && this->manager()->isRegistered(this);
    std::lock_guard<std::mutex> hold(outcome_->mutex);
    outcome_->errors.emplace_back(code, text);
    outcome_->registeredAtError.push_back(registered);
  }

 private:
  Outcome* outcome_;
};

// Owner with a fixed session text; counts its ticks.
class FixedOwner : public WManagerOwner {
 public:
  std::string sessionParameters() override { return "sid=S1"; }
  void tick() override { ticks.fetch_add(1); }
  std::atomic<int> ticks{0};
};

struct RunningManager {
  explicit RunningManager(WManagerOwner* owner = nullptr, int workers = 7)
      : manager(owner, config(workers)) {
    EXPECT_TRUE(manager.start());
  }
  ~RunningManager() { manager.stop(); }
  static WInstanceConfig config(int workers) {
    WInstanceConfig c;
    c.workerThreads = workers;
    return c;
  }
  WConnectionManager manager;
};

}  // namespace wexel::testing
