// Session texts handed out at logon. The client appends the text to every later
// request's query, so it is one query parameter: "sid=" and 16 hex digits.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <string>

namespace kexsim {

class Sessions {
 public:
  explicit Sessions(uint64_t seed) : random_(seed) {}

  // A fresh session text for the user.
  std::string open(const std::string& login);
  // The login of the session the query carries, or "" when it carries none
  // that this server handed out.
  std::string loginOf(const std::string& query) const;

 private:
  mutable std::mutex mutex_;
  std::mt19937_64 random_;
  std::map<std::string, std::string> logins_;  // session id -> login
};

}  // namespace kexsim
