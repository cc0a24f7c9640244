// GUID text in the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <optional>
#include <string>

#include "quarnel3/automation.h"

namespace q3 {

std::string guidToString(const GUID& guid);
// Accepts either letter case; nullopt for anything else.
std::optional<GUID> guidFromString(const std::string& text);

}  // namespace q3
