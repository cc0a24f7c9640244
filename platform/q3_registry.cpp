// File-backed registry hives in the registry export format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\Quarnel3.KxServer\CLSID]
//   @="{...}"
//   "Name"=dword:0000000a
#include "q3_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "q3_shell.h"

namespace q3::registry {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";

struct Key {
  std::string path;  // as created
  std::vector<Value> values;
};

// Keys by their lower-case path.
using HiveData = std::map<std::string, Key>;

std::string folded(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return text;
}

std::string trimmedPath(const std::string& path) {
  size_t begin = path.find_first_not_of('\\');
  size_t end = path.find_last_not_of('\\');
  return begin == std::string::npos ? std::string() : path.substr(begin, end - begin + 1);
}

std::string hiveFolder(Hive hive) {
  if (const char* root = std::getenv("QUARNEL3_REGISTRY_ROOT"); root && *root) return root;
  if (hive != Hive::CurrentUser) return "/etc/quarnel3/registry";
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base = config && *config ? config : pathAppend(std::getenv("HOME") ? std::getenv("HOME") : "", ".config");
  return pathAppend(pathAppend(base, "quarnel3"), "registry");
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Reads a quoted text starting at line[at] == '"'; `at` ends past the closing quote.
bool unquote(const std::string& line, size_t& at, std::string* text) {
  if (at >= line.size() || line[at] != '"') return false;
  text->clear();
  for (++at; at < line.size(); ++at) {
    if (line[at] == '\\' && at + 1 < line.size()) {
      *text += line[++at];
    } else if (line[at] == '"') {
      ++at;
      return true;
    } else {
      *text += line[at];
    }
  }
  return false;
}

bool parseValue(const std::string& line, Value* value) {
  size_t at = 0;
  if (line.compare(0, 2, "@=") == 0) {
    at = 1;
  } else if (!unquote(line, at, &value->name)) {
    return false;
  }
  if (at >= line.size() || line[at] != '=') return false;
  ++at;
  if (line.compare(at, 6, "dword:") == 0) {
    value->isNumber = true;
    value->number = static_cast<uint32_t>(std::strtoul(line.c_str() + at + 6, nullptr, 16));
    return true;
  }
  return unquote(line, at, &value->text);
}

HiveData parseHive(std::istream& in, Hive hive) {
  HiveData data;
  const std::string prefix = std::string(hiveName(hive)) + "\\";
  Key* current = nullptr;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      std::string path = line.substr(1, line.size() - 2);
      current = nullptr;
      if (path.compare(0, prefix.size(), prefix) != 0) continue;
      path = trimmedPath(path.substr(prefix.size()));
      current = &data.try_emplace(folded(path), Key{path, {}}).first->second;
      continue;
    }
    Value value;
    if (current && parseValue(line, &value)) current->values.push_back(value);
  }
  return data;
}

HiveData loadHive(Hive hive) {
  std::ifstream in(hiveFile(hive));
  return in ? parseHive(in, hive) : HiveData{};
}

std::string formatHive(const HiveData& data, Hive hive) {
  std::ostringstream out;
  out << kHeader << "\n";
  for (const auto& [folded, key] : data) {
    out << "\n[" << hiveName(hive) << "\\" << key.path << "]\n";
    for (const Value& v : key.values) {
      out << (v.name.empty() ? std::string("@") : quoted(v.name)) << "=";
      if (v.isNumber) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", v.number);
        out << digits << "\n";
      } else {
        out << quoted(v.text) << "\n";
      }
    }
  }
  return out.str();
}

bool saveHive(const HiveData& data, Hive hive) {
  const std::string file = hiveFile(hive);
  const std::string temporary = file + ".tmp." + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << formatHive(data, hive);
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  return renameFile(temporary, file);
}

// Holds the hive's advisory lock (a sibling lock file, since the hive file
// itself is replaced by rename) for the life of the object.
class HiveLock {
 public:
  HiveLock(Hive hive, bool exclusive) {
    const std::string folder = hiveFolder(hive);
    if (exclusive) createDirectories(folder);
    fd_ = ::open((hiveFile(hive) + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
  }
  ~HiveLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  HiveLock(const HiveLock&) = delete;
  HiveLock& operator=(const HiveLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool modify(Hive hive, const std::function<void(HiveData&)>& change) {
  HiveLock lock(hive, true);
  if (!lock.held()) return false;
  HiveData data = loadHive(hive);
  change(data);
  return saveHive(data, hive);
}

HiveData read(Hive hive) {
  HiveLock lock(hive, false);
  return loadHive(hive);
}

Key& ensureKey(HiveData& data, const std::string& rawPath) {
  const std::string path = trimmedPath(rawPath);
  for (size_t slash = path.find('\\'); slash != std::string::npos; slash = path.find('\\', slash + 1)) {
    const std::string parent = path.substr(0, slash);
    data.try_emplace(folded(parent), Key{parent, {}});
  }
  return data.try_emplace(folded(path), Key{path, {}}).first->second;
}

void putValue(Key& key, const Value& value) {
  for (Value& existing : key.values) {
    if (folded(existing.name) == folded(value.name)) {
      existing = value;
      return;
    }
  }
  key.values.push_back(value);
}

class HiveEditor : public Editor {
 public:
  explicit HiveEditor(HiveData& data) : data_(data) {}
  void createKey(const std::string& path) override { ensureKey(data_, path); }
  void setString(const std::string& path, const std::string& name, const std::string& text) override {
    putValue(ensureKey(data_, path), Value{name, false, text, 0});
  }
  void setNumber(const std::string& path, const std::string& name, uint32_t number) override {
    putValue(ensureKey(data_, path), Value{name, true, {}, number});
  }
  void removeKey(const std::string& path) override {
    const std::string top = folded(trimmedPath(path));
    std::erase_if(data_, [&](const auto& entry) {
      return entry.first == top || entry.first.compare(0, top.size() + 1, top + "\\") == 0;
    });
  }

 private:
  HiveData& data_;
};

}  // namespace

const char* hiveName(Hive hive) {
  switch (hive) {
    case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case Hive::CurrentUser: return "HKEY_CURRENT_USER";
  }
  return "";
}

std::string hiveFile(Hive hive) { return pathAppend(hiveFolder(hive), std::string(hiveName(hive)) + ".reg"); }

bool edit(Hive hive, const std::function<void(Editor&)>& change) {
  return modify(hive, [&](HiveData& data) {
    HiveEditor editor(data);
    change(editor);
  });
}

bool createKey(Hive hive, const std::string& path) {
  return edit(hive, [&](Editor& e) { e.createKey(path); });
}

bool setString(Hive hive, const std::string& path, const std::string& name, const std::string& text) {
  return edit(hive, [&](Editor& e) { e.setString(path, name, text); });
}

bool setNumber(Hive hive, const std::string& path, const std::string& name, uint32_t number) {
  return edit(hive, [&](Editor& e) { e.setNumber(path, name, number); });
}

bool removeKey(Hive hive, const std::string& path) {
  return edit(hive, [&](Editor& e) { e.removeKey(path); });
}

bool keyExists(Hive hive, const std::string& path) { return read(hive).count(folded(trimmedPath(path))) > 0; }

std::optional<std::vector<Value>> values(Hive hive, const std::string& path) {
  const HiveData data = read(hive);
  auto found = data.find(folded(trimmedPath(path)));
  if (found == data.end()) return std::nullopt;
  return found->second.values;
}

std::optional<std::string> getString(Hive hive, const std::string& path, const std::string& name) {
  const auto all = values(hive, path);
  if (!all) return std::nullopt;
  for (const Value& v : *all) {
    if (!v.isNumber && folded(v.name) == folded(name)) return v.text;
  }
  return std::nullopt;
}

std::vector<std::string> subkeys(Hive hive, const std::string& path) {
  const std::string top = folded(trimmedPath(path)) + "\\";
  std::vector<std::string> names;
  for (const auto& [key, entry] : read(hive)) {
    if (key.compare(0, top.size(), top) == 0 && key.find('\\', top.size()) == std::string::npos) {
      names.push_back(entry.path.substr(top.size()));
    }
  }
  return names;
}

}  // namespace q3::registry
