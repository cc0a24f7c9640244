// Script words to the types the type library declares: texts from UTF-8 (the
// bare word null is a null text), integers and enumerations in decimal,
// doubles in decimal (nan and inf accepted), dates as
// YYYY-MM-DDTHH:MM:SS[.fff] or as a plain number.
#pragma once

#include <optional>
#include <string>

#include "kxcli_words.h"
#include "quarnel3/host.h"

namespace kxcli {

// Fills `out` (empty on entry) with a variant of `type`. On failure: the
// HRESULT a dispatch layer would give (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW)
// and a reason for people.
HRESULT toArgument(const Word& word, VARTYPE type, const quarnel3::host::Runtime& runtime, VARIANT* out,
                   std::string* reason);

std::optional<DATE> parseDate(const std::string& text);
std::optional<double> parseDouble(const std::string& text);

// The name of a declared type, for messages ("BSTR", "INT", ...).
const char* typeName(VARTYPE type);

}  // namespace kxcli
