// Scripted feed records by subscription keys: those of the scenario, and those
// tests add while the server runs.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kexsim_scenario.h"

namespace kexsim {

class ScriptTable {
 public:
  explicit ScriptTable(std::vector<FeedScript> scripts) : scripts_(std::move(scripts)) {}

  // A later script for the same keys replaces the earlier one. Throws
  // ScriptError when a record does not compile.
  void add(const FeedScript& script);
  std::optional<FeedScript> find(const std::string& kind, const std::string& first,
                                 const std::string& second) const;

 private:
  mutable std::mutex mutex_;
  std::vector<FeedScript> scripts_;
};

}  // namespace kexsim
