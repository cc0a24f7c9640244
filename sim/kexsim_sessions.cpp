#include "kexsim_sessions.h"

#include <cstdio>

#include "kexsim_http.h"

namespace kexsim {

std::string Sessions::open(const std::string& login) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string id;
  do {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random_()));
    id = hex;
  } while (logins_.count(id) != 0);
  logins_[id] = login;
  return "sid=" + id;
}

std::string Sessions::loginOf(const std::string& query) const {
  auto form = parseForm(query);
  std::lock_guard<std::mutex> lock(mutex_);
  auto [begin, end] = form.equal_range("sid");
  for (auto it = begin; it != end; ++it) {
    auto session = logins_.find(it->second);
    if (session != logins_.end()) return session->second;
  }
  return {};
}

}  // namespace kexsim
