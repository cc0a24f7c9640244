// A loopback port for a server that speaks plain HTTP only: a connection that
// opens with a TLS handshake record is closed at once, any other is passed
// through to the real server's plain port. Stops with the object.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <thread>

namespace facade_testing {

class PlainOnlyPort {
 public:
  explicit PlainOnlyPort(uint16_t target) : target_(target) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 8);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~PlainOnlyPort() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    for (std::thread& pump : pumps_) pump.join();
    ::close(listener_);
  }
  PlainOnlyPort(const PlainOnlyPort&) = delete;
  PlainOnlyPort& operator=(const PlainOnlyPort&) = delete;

  uint16_t port() const { return port_; }

 private:
  static constexpr unsigned char kTlsHandshakeRecord = 0x16;

  static sockaddr_in loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
  }

  void acceptLoop() {
    while (!stopping_) {
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      pumps_.emplace_back([this, client] { serve(client); });
    }
  }

  void serve(int client) {
    unsigned char first = 0;
    if (::recv(client, &first, 1, MSG_PEEK) != 1 || first == kTlsHandshakeRecord) {
      ::close(client);
      return;
    }
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(target_);
    if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) pump(client, server);
    ::close(server);
    ::close(client);
  }

  // Copies both ways until either side closes or the port stops.
  void pump(int a, int b) {
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    char buffer[16384];
    while (!stopping_) {
      if (::poll(fds, 2, 50) < 0) return;
      for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
        if (n <= 0 || ::send(fds[1 - i].fd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) return;
      }
    }
  }

  uint16_t target_;
  uint16_t port_ = 0;
  int listener_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::list<std::thread> pumps_;  // touched by the acceptor only, joined after it
};

}  // namespace facade_testing
