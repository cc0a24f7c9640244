// The system message text of an HRESULT, as FormatMessage gives it.
#pragma once

#include <string>

#include "quarnel3/automation.h"

namespace q3 {

std::string hresultMessage(HRESULT hr);

}  // namespace q3
