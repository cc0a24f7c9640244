// Arbitrary bytes as a registry hive file: the first byte modulo 3 picks the
// hive, the rest is the file. The first keys the file's bracket lines name
// are looked up (each has values exactly when it exists) with their subkeys
// (each lookup reads the file again, so more keys mostly add file reads);
// then the hive is rewritten twice by an edit that changes nothing: the
// first rewrite keeps every lookup's answer, and the second gives the same
// file (what the writer writes, the reader reads back unchanged). The hives
// live in a folder of this process's own, in /dev/shm when there is one.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "q3_registry.h"

namespace {

namespace registry = q3::registry;
constexpr size_t kMostKeysLookedUp = 3;

std::string gFolder;  // the hives of this process, removed at exit
void removeFolder() { std::filesystem::remove_all(gFolder); }

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The key paths of the file's bracket lines, after the hive's name.
std::vector<std::string> namedKeys(std::string_view text, registry::Hive hive) {
  const std::string prefix = std::string("[") + registry::hiveName(hive) + "\\";
  std::vector<std::string> keys;
  for (size_t at = text.find(prefix); at != std::string_view::npos && keys.size() < kMostKeysLookedUp;
       at = text.find(prefix, at + 1)) {
    const size_t end = text.find_first_of("]\n", at);
    keys.emplace_back(text.substr(at + prefix.size(), end == std::string_view::npos ? end : end - at - prefix.size()));
  }
  return keys;
}

// What the lookups answer for one key, as text.
std::string lookups(registry::Hive hive, const std::string& key) {
  std::ostringstream out;
  const bool exists = registry::keyExists(hive, key);
  const auto values = registry::values(hive, key);
  FUZZ_REQUIRE(exists == values.has_value());
  out << exists << '\n';
  if (values) {
    for (const registry::Value& v : *values) {
      out << v.name.size() << ':' << v.name << v.isNumber << v.number << v.text.size() << ':' << v.text << '\n';
    }
  }
  for (const std::string& subkey : registry::subkeys(hive, key)) out << subkey.size() << ':' << subkey << '\n';
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gFolder = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  gFolder += "/quarnel3-registry-fuzz-XXXXXX";
  if (!::mkdtemp(gFolder.data())) return 1;
  std::atexit(removeFolder);
  ::setenv("QUARNEL3_REGISTRY_ROOT", gFolder.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto hive = static_cast<registry::Hive>(data[0] % 3);
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string file = registry::hiveFile(hive);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  const std::vector<std::string> keys = namedKeys(text, hive);
  std::string before;
  for (const std::string& key : keys) before += lookups(hive, key);

  FUZZ_REQUIRE(registry::edit(hive, [](registry::Editor&) {}));
  std::string after;
  for (const std::string& key : keys) after += lookups(hive, key);
  FUZZ_REQUIRE(before == after);
  const std::string written = fileText(file);
  FUZZ_REQUIRE(registry::edit(hive, [](registry::Editor&) {}));
  FUZZ_REQUIRE(fileText(file) == written);
  return 0;
}
