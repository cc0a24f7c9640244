#include "kexsim_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace kexsim {
namespace {

// How long finish() waits for the client to close its side after the reply.
constexpr int kLingerMs = 2000;

}  // namespace

Connection::Connection(int fd) : fd_(fd) {}

Connection::~Connection() {
  if (ssl_ != nullptr) SSL_free(ssl_);
  ::close(fd_);
}

bool Connection::acceptTls(SSL_CTX* context) {
  ssl_ = SSL_new(context);
  if (ssl_ == nullptr) return false;
  SSL_set_fd(ssl_, fd_);
  return SSL_accept(ssl_) == 1;
}

long Connection::read(char* buffer, size_t capacity) {
  if (aborted_) return -1;
  if (ssl_ != nullptr) {
    int n = SSL_read(ssl_, buffer, static_cast<int>(capacity));
    if (n > 0) return n;
    return SSL_get_error(ssl_, n) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
  }
  long n;
  do {
    n = ::recv(fd_, buffer, capacity, 0);
  } while (n < 0 && errno == EINTR);
  return aborted_ ? -1 : n;
}

int Connection::waitReadable(int timeoutMs) {
  if (aborted_) return -1;
  if (ssl_ != nullptr && SSL_pending(ssl_) > 0) return 1;
  pollfd watch{fd_, POLLIN, 0};
  int ready = ::poll(&watch, 1, timeoutMs);
  if (aborted_) return -1;
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  // A hang-up still lets read() see the close (or the last bytes) first.
  return (watch.revents & (POLLIN | POLLHUP)) != 0 ? 1 : -1;
}

long Connection::writeSome(const char* data, size_t count) {
  if (ssl_ != nullptr) {
    int n = SSL_write(ssl_, data, static_cast<int>(count));
    return n > 0 ? n : -1;
  }
  long n;
  do {
    n = ::send(fd_, data, count, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n;
}

bool Connection::writeAll(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    if (aborted_) return false;
    size_t chunk = drip_ ? 1 : bytes.size() - sent;
    long n = writeSome(bytes.data() + sent, chunk);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void Connection::finish() {
  if (aborted_) return;
  if (ssl_ != nullptr) SSL_shutdown(ssl_);
  ::shutdown(fd_, SHUT_WR);
  char scratch[512];
  while (waitReadable(kLingerMs) == 1) {
    long n = ssl_ != nullptr ? SSL_read(ssl_, scratch, sizeof scratch)
                             : ::recv(fd_, scratch, sizeof scratch, 0);
    if (n <= 0) break;
  }
}

void Connection::abort() {
  aborted_ = true;
  ::shutdown(fd_, SHUT_RDWR);
}

}  // namespace kexsim
