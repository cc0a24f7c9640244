// The price alerts each user keeps on the server (see kexsim_alerts.h for
// how the endpoints read and write them).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace kexsim {

struct SimAlert {
  int64_t number = 0;
  std::string portfolio;
  std::string exchange;
  std::string symbol;
  int32_t field = 0;      // 1 LAST, 2 BID, 3 ASK, 4 VOLUME
  int32_t condition = 0;  // 1 FALL, 2 RAISE
  double value = 0;
  int32_t days = 0;
  int32_t flags = 0;
  std::string workspace;
  std::string sound;
  std::string email;
  std::string sms;
  uint64_t added = 0;    // packed
  uint64_t changed = 0;  // packed
};

// Thread-safe; numbers are unique across users, from 1.
class AlertBook {
 public:
  // Stores the alert; number 0 takes a new number. Answers the number.
  int64_t put(const std::string& login, SimAlert alert);
  // False when the user has no such alert.
  bool remove(const std::string& login, int64_t number);
  bool has(const std::string& login, int64_t number) const;
  // The user's alerts by number; with a number other than 0 only that one.
  std::vector<SimAlert> list(const std::string& login, int64_t number = 0) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::map<int64_t, SimAlert>> alerts_;  // login -> number -> alert
  int64_t lastNumber_ = 0;
};

}  // namespace kexsim
