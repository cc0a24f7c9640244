// kexsim, the simulated server, in this process as kxcli --sim starts it: free
// loopback ports, the built-in scenario, the logon through the TLS port.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "kexsim_server.h"

namespace q3py {

class Simulator {
 public:
  void start() {
    if (server_) return;
    auto server = std::make_unique<kexsim::Server>();
    std::string error;
    if (!server->start(&error)) throw std::runtime_error("the simulated server did not start: " + error);
    server_ = std::move(server);
  }
  void stop() {
    if (server_) server_->stop();
    server_.reset();
  }
  bool running() const { return server_ != nullptr; }
  int tlsPort() const { return server_ ? server_->tlsPort() : 0; }
  int plainPort() const { return server_ ? server_->plainPort() : 0; }

 private:
  std::unique_ptr<kexsim::Server> server_;
};

}  // namespace q3py
