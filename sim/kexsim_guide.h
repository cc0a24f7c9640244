// The securities guide: GET /kx2/get-symbols-zbin.php?&<session>. One compressed
// reply holding sections 1 to 3 (pairs of texts) and section 4 (the securities),
// each opened by its number and closed by an empty record.
#pragma once

#include <string>
#include <vector>

#include "kexsim_exchange.h"

namespace kexsim {

inline constexpr const char* kGuidePath = "/kx2/get-symbols-zbin.php";

// Decoded records of one security (required fields, then as many of the
// optional run as the scenario asks for).
std::string securityRecord(const Security& security);
// Every record of the guide reply, in order.
std::vector<std::string> guideRecords(const Scenario& scenario);

void serveGuide(Exchange& exchange);

}  // namespace kexsim
