// The message query: a channel's messages by number range or by time range.
//
//   /kx2/get-messages-zbin.php?channel=C&from=N[&to=M]      numbers, both ends included
//   /kx2/get-messages-zbin.php?channel=C&since=T[&till=T]   T: packed time >> 8 in hex,
//                                                           whose digits read YYYYMMDDhhmmss
//
// One record per message: number, time, then three texts each as a group mark,
// the raw bytes and a NUL (subject, body, source), then the end nibble; the
// reply ends with the end nibble alone. An unknown channel has no messages.
#pragma once

#include <vector>

#include "kexsim_exchange.h"

namespace kexsim {

// The query's route, kind "message-query" (the live feed has "messages").
std::vector<Route> messageQueryRoutes();

}  // namespace kexsim
