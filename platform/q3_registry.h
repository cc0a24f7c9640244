// The registry: a small file-backed store with the hives HKEY_LOCAL_MACHINE,
// HKEY_CLASSES_ROOT (machine) and HKEY_CURRENT_USER, each one UTF-8 file in
// the registry export format. Key paths use "\" and are relative to the hive;
// keys and value names compare without regard to letter case. Every call reads
// the file afresh; writes replace it atomically under an advisory lock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace q3::registry {

enum class Hive { LocalMachine, ClassesRoot, CurrentUser };

struct Value {
  std::string name;  // empty: the key's default value
  bool isNumber = false;
  std::string text;
  uint32_t number = 0;
};

// Where the hive lives: $QUARNEL3_REGISTRY_ROOT for all three when set, else
// /etc/quarnel3/registry for the machine hives and $XDG_CONFIG_HOME (or
// ~/.config)/quarnel3/registry for the user's.
std::string hiveFile(Hive hive);
// "HKEY_CLASSES_ROOT" and so on.
const char* hiveName(Hive hive);

// Changes made together in one atomic write of the hive.
class Editor {
 public:
  virtual void createKey(const std::string& path) = 0;
  virtual void setString(const std::string& path, const std::string& name, const std::string& text) = 0;
  virtual void setNumber(const std::string& path, const std::string& name, uint32_t number) = 0;
  virtual void removeKey(const std::string& path) = 0;

 protected:
  ~Editor() = default;
};

bool edit(Hive hive, const std::function<void(Editor&)>& change);

// Creates the key and any missing parents.
bool createKey(Hive hive, const std::string& path);
bool setString(Hive hive, const std::string& path, const std::string& name, const std::string& text);
bool setNumber(Hive hive, const std::string& path, const std::string& name, uint32_t number);
// Removes the key with everything below it; true also when it did not exist.
bool removeKey(Hive hive, const std::string& path);

bool keyExists(Hive hive, const std::string& path);
// The key's values in the order they were set; nullopt when there is no such key.
std::optional<std::vector<Value>> values(Hive hive, const std::string& path);
std::optional<std::string> getString(Hive hive, const std::string& path, const std::string& name);
// Names of the direct subkeys.
std::vector<std::string> subkeys(Hive hive, const std::string& path);

}  // namespace q3::registry
