#include "kexsim_script_table.h"

#include <algorithm>

#include "kexsim_script.h"

namespace kexsim {

void ScriptTable::add(const FeedScript& script) {
  checkRecords(script.records);
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(scripts_, [&](const FeedScript& known) {
    return known.kind == script.kind && known.first == script.first && known.second == script.second;
  });
  scripts_.push_back(script);
}

std::optional<FeedScript> ScriptTable::find(const std::string& kind, const std::string& first,
                                            const std::string& second) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const FeedScript& script : scripts_) {
    if (script.kind == kind && script.first == first && script.second == second) return script;
  }
  return std::nullopt;
}

}  // namespace kexsim
