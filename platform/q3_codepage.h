// Narrow strings crossing the automation boundary are in the process's ANSI
// code page: Windows-1251 unless QUARNEL3_ANSI_CODEPAGE names another.
#pragma once

#include <string>
#include <string_view>

#include "quarnel3/automation.h"

namespace q3 {

// The iconv name of the ANSI code page in force.
std::string ansiCodePage();

// UTF-16 to the ANSI code page; characters it lacks become '?'.
std::string toAnsi(std::u16string_view text);
// A BSTR to the ANSI code page; a null BSTR gives the empty string.
std::string toAnsi(BSTR text);

// The ANSI code page to UTF-16; bytes it does not define become '?'.
std::u16string fromAnsi(std::string_view text);
// A new BSTR from ANSI text; a null pointer gives a null BSTR.
BSTR ansiToBstr(const char* text);

// UTF-8 to UTF-16 and back, for texts that are not in the ANSI code page.
std::u16string fromUtf8(std::string_view text);
std::string toUtf8(std::u16string_view text);

}  // namespace q3
