#include "kexsim_alert_book.h"

namespace kexsim {

int64_t AlertBook::put(const std::string& login, SimAlert alert) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (alert.number == 0) alert.number = ++lastNumber_;
  int64_t number = alert.number;
  alerts_[login][number] = std::move(alert);
  return number;
}

bool AlertBook::remove(const std::string& login, int64_t number) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto user = alerts_.find(login);
  return user != alerts_.end() && user->second.erase(number) == 1;
}

bool AlertBook::has(const std::string& login, int64_t number) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto user = alerts_.find(login);
  return user != alerts_.end() && user->second.count(number) == 1;
}

std::vector<SimAlert> AlertBook::list(const std::string& login, int64_t number) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<SimAlert> found;
  auto user = alerts_.find(login);
  if (user == alerts_.end()) return found;
  for (const auto& [key, alert] : user->second) {
    if (number == 0 || key == number) found.push_back(alert);
  }
  return found;
}

}  // namespace kexsim
