// The method and event reference, docs/reference.md, written from the type
// library's member tables (quarnel3/quarnel3.h) and its enumerations.
#pragma once

#include <string>
#include <vector>

#include "kxdoc_enums.h"

namespace kxdoc {

// The reference as markdown; false (and the reason in *error) when a member
// has no purpose line, a purpose line names no member, or an enumerated
// parameter names an unknown enumeration.
bool writeReference(const std::vector<Enumeration>& enumerations, std::string* text, std::string* error);

}  // namespace kxdoc
