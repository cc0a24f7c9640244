// A small server on 127.0.0.1 (an ephemeral port) inside the test process,
// plain or TLS, that runs a handler for every accepted connection.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kexsim_tls.h"

namespace wexel::testing {

// One accepted connection as the handler sees it.
class Peer {
 public:
  Peer(int socket, SSL* ssl) : socket_(socket), ssl_(ssl) {}

  bool write(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      long n = ssl_ ? SSL_write(ssl_, bytes.data() + sent, static_cast<int>(bytes.size() - sent))
                    : ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  // Reads what is there (waiting up to timeoutMs); empty on close or timeout.
  std::string readSome(int timeoutMs = 5000) {
    if (!ssl_ || SSL_pending(ssl_) == 0) {
      pollfd p{socket_, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) <= 0) return {};
    }
    char buffer[65536];
    long n = ssl_ ? SSL_read(ssl_, buffer, sizeof buffer) : ::recv(socket_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }

  // Reads until `terminator` has arrived (or the peer closes / times out).
  std::string readUntil(const std::string& terminator, int timeoutMs = 5000) {
    std::string text;
    while (text.find(terminator) == std::string::npos) {
      std::string more = readSome(timeoutMs);
      if (more.empty()) break;
      text += more;
    }
    return text;
  }

  std::string readExactly(size_t count, int timeoutMs = 5000) {
    std::string text;
    while (text.size() < count) {
      std::string more = readSome(timeoutMs);
      if (more.empty()) break;
      text += more;
    }
    return text;
  }

  int socket() const { return socket_; }
  SSL* ssl() const { return ssl_; }

 private:
  int socket_;
  SSL* ssl_;
};

class LoopbackServer {
 public:
  using Handler = std::function<void(Peer&)>;

  // tls: complete a TLS handshake (self-signed certificate) before the handler runs.
  explicit LoopbackServer(Handler handler, bool tls = false) : handler_(std::move(handler)) {
    if (tls) context_ = kexsim::makeSelfSignedServerContext();
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = loopback(0);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 64);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }

  ~LoopbackServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    for (auto& t : handlers_) t.join();
    if (context_) SSL_CTX_free(context_);
  }

  int port() const { return port_; }
  sockaddr_in address() const { return loopback(port_); }
  int accepted() const { return accepted_.load(); }

  static sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }

 private:
  void acceptLoop() {
    while (!stopping_) {
      int s = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (s < 0) return;
      accepted_.fetch_add(1);
      handlers_.emplace_back([this, s] { serve(s); });
    }
  }

  void serve(int s) {
    SSL* ssl = nullptr;
    if (context_) {
      ssl = SSL_new(context_);
      SSL_set_fd(ssl, s);
      if (SSL_accept(ssl) != 1) {
        ERR_clear_error();
        SSL_free(ssl);
        ::close(s);
        return;
      }
    }
    Peer peer(s, ssl);
    handler_(peer);
    if (ssl) SSL_free(ssl);  // no close alert: handlers send one themselves when they mean to
    ::close(s);
  }

  Handler handler_;
  SSL_CTX* context_ = nullptr;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::thread acceptor_;
  std::vector<std::thread> handlers_;
};

}  // namespace wexel::testing
