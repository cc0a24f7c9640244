// The logon: POST /kx2/login.php?user=<login> with the form body pass=<password>.
// The reply is a text of tagged sections; the server closes the connection
// after it, which is how the client knows the reply is whole.
#pragma once

#include <cstdint>
#include <string>

#include "kexsim_exchange.h"

namespace kexsim {

inline constexpr const char* kLogonPath = "/kx2/login.php";
inline constexpr const char* kBadCredentialsText = "Invalid login or password..";

// The sections of a successful logon, each tag line followed by its lines and
// a closing tag line.
std::string logonReplyBody(const Scenario& scenario, const User& user, const std::string& session,
                           uint16_t plainPort, uint16_t tlsPort);
// The refusal sent with status 401: a "<message>" section and nothing else.
std::string refusalBody(const std::string& message);
// The refusal in one piece, without any line end: ">" text "<".
std::string onePieceRefusal(const std::string& message);

void serveLogon(Exchange& exchange);

}  // namespace kexsim
