// A server endpoint learned at logon: its kind ("DDP", "OMS", "OMS_SSL" or
// anything else) and its URL.
#pragma once

#include <netinet/in.h>

#include <string>

namespace wexel {

struct WEndpoint {
  std::string type;
  std::string url;
  std::string extra;  // left empty by the logon
};

// "scheme://host:port/" to an IPv4 address. Family AF_INET on success, 0 when
// the host does not resolve, 65535 when the url is too short to parse.
sockaddr_in parseEndpointUrl(const WEndpoint& endpoint);

}  // namespace wexel
