#include "kx_settings.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <vector>

#include "q3_registry.h"
#include "q3_shell.h"

namespace kx {
namespace {

constexpr const char* kProfileFolder = "Pellum";
constexpr const char* kRegistryKey = "SOFTWARE\\Pellum\\quarnel";
constexpr const char* kRegistryLevel = "logLevel";
constexpr int kDefaultLevel = 4;

struct Default {
  const char* key;
  const char* value;
};

constexpr Default kFixedDefaults[] = {
    {"CalcPlannedPos", "yes"},
    {"maxWorkerThreads", "7"},
    {"asyncSocketConnectionMode", "yes"},
    {"useOrderStreaming", "no"},
};

// The REG_DWORD value named exactly "logLevel", else the built-in level.
int registryLevel() {
  const auto values = q3::registry::values(q3::registry::Hive::LocalMachine, kRegistryKey);
  if (!values) return kDefaultLevel;
  for (const q3::registry::Value& value : *values) {
    if (value.isNumber && value.name == kRegistryLevel) return static_cast<int32_t>(value.number);
  }
  return kDefaultLevel;
}

}  // namespace

DefaultsFailure Settings::loadDefaults() {
  const auto folder = q3::localAppDataFolder();
  if (!folder) return DefaultsFailure::kNoProfilePath;
  const std::string profile = q3::pathAppend(*folder, kProfileFolder);
  if (!q3::isDirectory(profile) && !q3::createDirectory(profile)) return DefaultsFailure::kNoProfileDirectory;
  values_["logFilePath"] = profile;
  values_["logLevel"] = std::to_string(registryLevel());
  for (const Default& entry : kFixedDefaults) values_[entry.key] = entry.value;
  return DefaultsFailure::kNone;
}

std::string Settings::read(const std::string& key) { return values_[key]; }

void Settings::configure(const std::string& paramsSet) {
  std::vector<std::string> pieces;
  boost::split(pieces, paramsSet, boost::is_any_of(";"));
  for (std::string& piece : pieces) {
    boost::trim(piece);
    std::vector<std::string> parts;
    boost::split(parts, piece, boost::is_any_of("="));
    if (parts.size() != 2) continue;
    boost::trim(parts[0]);
    boost::trim(parts[1]);
    values_[parts[0]] = parts[1];
  }
}

}  // namespace kx
