#include "kexsim_faults.h"

#include <array>
#include <utility>

namespace kexsim {

std::optional<FaultType> faultTypeFromName(const std::string& name) {
  static constexpr std::array<std::pair<const char*, FaultType>, 12> kNames{{
      {"close-mid-body", FaultType::kCloseMidBody},
      {"close-before-end", FaultType::kCloseBeforeEnd},
      {"corrupt-record", FaultType::kCorruptRecord},
      {"status", FaultType::kStatus},
      {"drip", FaultType::kDrip},
      {"delay", FaultType::kDelay},
      {"refuse-handshake", FaultType::kRefuseHandshake},
      {"close-unanswered", FaultType::kCloseUnanswered},
      {"omit-order-no", FaultType::kOmitOrderNo},
      {"charset", FaultType::kCharset},
      {"endless-header", FaultType::kEndlessHeader},
      {"stall", FaultType::kStall},
  }};
  for (const auto& [text, type] : kNames) {
    if (name == text) return type;
  }
  return std::nullopt;
}

void FaultTable::set(const std::string& kind, const Fault& fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_[kind] = fault;
}

void FaultTable::clear(const std::string& kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.erase(kind);
}

void FaultTable::clearAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.clear();
}

Fault FaultTable::take(const std::string& kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = faults_.find(kind);
  if (it == faults_.end()) return {};
  Fault fault = it->second;
  if (fault.times > 0 && --it->second.times == 0) faults_.erase(it);
  return fault;
}

}  // namespace kexsim
