// The GET request used by queries and order actions, over plain TCP (Http) or
// TLS (Https): "GET url&session HTTP/1.0" with User-Agent and Host.
#pragma once

#include "net/wexel_connection_manager.h"
#include "net/wexel_http_request.h"
#include "net/wexel_https_request.h"

namespace wexel {

struct Http {
  using Channel = WHttpRequest;
};

struct Https {
  using Channel = WHttpsRequest;
};

template <typename Tag>
class WGetRequest : public Tag::Channel {
 public:
  using Tag::Channel::Channel;

  bool prepareRequest() override {
    std::string session = this->manager_ ? this->manager_->sessionParameters() : std::string();
    return this->format("GET %s&%s HTTP/1.0\r\nUser-Agent: %s\r\nHost: %s:%d\r\n%s\r\n", this->url_.c_str(),
                        session.c_str(), userAgent().c_str(), this->serverHost().c_str(), this->serverPort(),
                        this->extraHeaders_.c_str());
  }
};

}  // namespace wexel
