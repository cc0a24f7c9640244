// The settings table of one KxServer: built-in defaults, the registry's log
// level, then the host's ConfigureClient pairs. Keys compare byte for byte.
#pragma once

#include <map>
#include <string>

namespace kx {

// Why the defaults step failed.
enum class DefaultsFailure { kNone, kNoProfilePath, kNoProfileDirectory };

class Settings {
 public:
  // Finds or creates the profile folder "Pellum", reads the registry level
  // and fills the table with the defaults.
  DefaultsFailure loadDefaults();
  // The value, or the empty string (then inserted) when the key is absent.
  std::string read(const std::string& key);
  // Applies "key = value; key2=value2" pieces; malformed pieces are ignored.
  void configure(const std::string& paramsSet);

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace kx
