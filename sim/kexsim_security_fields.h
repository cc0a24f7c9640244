// The 29 fields of a guide security in wire order, with the reader the client
// uses for each: the guide writer walks this table, the scenario loader takes
// the JSON names from it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>

#include "kexsim_scenario.h"

namespace kexsim {

enum class WireType { kString, kInt32, kDouble, kDateTime };

struct SecurityField {
  const char* name;  // JSON key
  WireType type;
  std::variant<std::string Security::*, int32_t Security::*, double Security::*> member;
};

// Positions 1 to 14 are required; 15 to 29 are the optional run.
inline constexpr int kRequiredSecurityFields = 14;
const std::array<SecurityField, 29>& securityFields();

}  // namespace kexsim
