// The in-process server module: its lock count (objects, locked factories,
// sessions still being torn down), the per-user registration switch, and the
// one class factory of KxServer.
#pragma once

#include <atomic>

#include "quarnel3/automation.h"

class CQuarnel3Module {
 public:
  static CQuarnel3Module& instance();

  void lock() { locks_.fetch_add(1); }
  void unlock() { locks_.fetch_sub(1); }
  long lockCount() const { return locks_.load(); }

  bool perUser() const { return perUser_.load(); }
  void setPerUser(bool on) { perUser_.store(on); }

  // The cached class factory of KxServer.
  IClassFactory& classFactory();

 private:
  std::atomic<long> locks_{0};
  std::atomic<bool> perUser_{false};
};

// The application identifier of the component.
// {6B2E4AE6-81B9-4540-8827-BA62D2643115}
inline constexpr GUID APPID_Quarnel3 = {0x6B2E4AE6, 0x81B9, 0x4540, {0x88, 0x27, 0xBA, 0x62, 0xD2, 0x64, 0x31, 0x15}};
