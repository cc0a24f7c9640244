// Scenario texts are written in UTF-8; the server sends them in its code page,
// Windows-1251. kexsim has its own encoder so that it shares no code with the
// client it checks.
#pragma once

#include <string>

namespace kexsim {

// UTF-8 to Windows-1251; a character the code page lacks, or a byte that is
// not UTF-8, becomes '?'.
std::string toCp1251(const std::string& utf8);

}  // namespace kexsim
