// A WexelLogonListener that writes each call as one line of text, so a whole
// logon outcome compares as a list of strings.
#pragma once

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "wexel/wexel_listeners.h"

namespace wexel::testing {

// A fixed-width text field up to its first zero (or its whole width).
inline std::string fieldText(const char* field, size_t width) { return std::string(field, strnlen(field, width)); }

inline std::string describe(const WPortfolioEntry& e) {
  return fieldText(e.exchange, sizeof e.exchange) + "|" + fieldText(e.name1, sizeof e.name1) + "|" +
         fieldText(e.name2, sizeof e.name2) + "|" + fieldText(e.name3, sizeof e.name3) + "|" +
         std::to_string(e.status) + "|" + fieldText(e.moneyAccount, sizeof e.moneyAccount);
}

inline std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += (out.empty() ? "" : ",") + t;
  return out;
}

class RecordingLogonListener : public WexelLogonListener {
 public:
  void onLogon(const std::vector<WPortfolioEntry>& portfolios, const std::vector<std::string>& news,
               const std::vector<std::string>& exchanges) override {
    std::string line = "onLogon portfolios=";
    for (size_t i = 0; i < portfolios.size(); ++i) {
      if (i) line += ";";
      line += describe(portfolios[i]);
    }
    record(line + " news=" + joined(news) + " exchanges=" + joined(exchanges));
  }
  void onError(const std::string& message, int code) override {
    record("onError " + message + " " + std::to_string(code));
  }
  void onUpdateInfo(const std::string& name, int64_t version, const std::string& url) override {
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%llX", static_cast<unsigned long long>(version));
    record("onUpdateInfo " + name + " " + hex + " " + url);
  }

  std::vector<std::string> calls() {
    std::lock_guard<std::mutex> hold(mutex_);
    return calls_;
  }
  size_t count() {
    std::lock_guard<std::mutex> hold(mutex_);
    return calls_.size();
  }

 private:
  void record(const std::string& line) {
    std::lock_guard<std::mutex> hold(mutex_);
    calls_.push_back(line);
  }

  std::mutex mutex_;
  std::vector<std::string> calls_;
};

}  // namespace wexel::testing
