#include "instance/wexel_endpoint.h"

#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>

#include "q3_socket.h"
#include "core/wexel_log.h"

namespace wexel {

namespace {

// Marks a url that could not be parsed at all; only AF_INET results are used.
constexpr sa_family_t kUnparsedFamily = 65535;

// "host:port" of a url, without scheme and final "/". The url is not empty.
std::string hostAndPort(const std::string& url) {
  size_t slashes = url.find("//");
  std::string text = slashes == std::string::npos ? url.substr(1) : url.substr(slashes + 2);
  if (!text.empty() && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

sockaddr_in parseEndpointUrl(const WEndpoint& endpoint) {
  sockaddr_in address{};
  if (endpoint.url.empty()) {
    logError("Url parse error, point type %s, url %s, error: %s", endpoint.type.c_str(), endpoint.url.c_str(),
             "empty url");
    address.sin_family = kUnparsedFamily;
    return address;
  }
  std::string text = hostAndPort(endpoint.url);
  size_t colon = text.find(':');
  std::string host = text.substr(0, colon);
  // C atoi on the rest ("8443/path" gives 8443), then modulo 65536.
  long port = colon == std::string::npos ? 0 : std::strtol(text.c_str() + colon + 1, nullptr, 10);
  address.sin_port = htons(static_cast<uint16_t>(static_cast<int>(port)));
  uint32_t ip = 0;
  if (!q3::resolveIPv4(host, &ip)) {
    logError("resolve address failed \"%s\"", host.c_str());
    return address;  // family 0
  }
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = ip;
  return address;
}

}  // namespace wexel
