#include "q3_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "q3_kernel.h"

namespace q3 {

namespace {

struct ErrnoMapping {
  int errnoValue;
  int wsaError;
};

// errno -> Windows socket error number.
constexpr ErrnoMapping kErrnoToWsa[] = {
    {EINTR, kWsaEintr},
    {EBADF, kWsaEbadf},
    {EACCES, kWsaEacces},
    {EFAULT, kWsaEfault},
    {EINVAL, kWsaEinval},
    {EMFILE, kWsaEmfile},
    {EWOULDBLOCK, kWsaEwouldblock},
    {EINPROGRESS, kWsaEwouldblock},  // Winsock reports a pending connect as WSAEWOULDBLOCK
    {EALREADY, kWsaEalready},
    {ENOTSOCK, kWsaEnotsock},
    {EDESTADDRREQ, kWsaEdestaddrreq},
    {EMSGSIZE, kWsaEmsgsize},
    {EPROTOTYPE, kWsaEprototype},
    {ENOPROTOOPT, kWsaEnoprotoopt},
    {EPROTONOSUPPORT, kWsaEprotonosupport},
    {EOPNOTSUPP, kWsaEopnotsupp},
    {EAFNOSUPPORT, kWsaEafnosupport},
    {EADDRINUSE, kWsaEaddrinuse},
    {EADDRNOTAVAIL, kWsaEaddrnotavail},
    {ENETDOWN, kWsaEnetdown},
    {ENETUNREACH, kWsaEnetunreach},
    {ENETRESET, kWsaEnetreset},
    {ECONNABORTED, kWsaEconnaborted},
    {ECONNRESET, kWsaEconnreset},
    {EPIPE, kWsaEconnreset},
    {ENOBUFS, kWsaEnobufs},
    {EISCONN, kWsaEisconn},
    {ENOTCONN, kWsaEnotconn},
    {ESHUTDOWN, kWsaEshutdown},
    {ETIMEDOUT, kWsaEtimedout},
    {ECONNREFUSED, kWsaEconnrefused},
    {EHOSTDOWN, kWsaEhostdown},
    {EHOSTUNREACH, kWsaEhostunreach},
};

int errnoFromWsaError(int wsaError) {
  for (const auto& m : kErrnoToWsa) {
    if (m.wsaError == wsaError) return m.errnoValue;
  }
  return wsaError > 10000 ? wsaError - 10000 : wsaError;
}

}  // namespace

bool socketStartup() { return true; }
void socketCleanup() {}

int wsaErrorFromErrno(int errnoValue) {
  if (errnoValue == 0) return kWsaNoError;
  for (const auto& m : kErrnoToWsa) {
    if (m.errnoValue == errnoValue) return m.wsaError;
  }
  return 10000 + errnoValue;
}

int lastSocketError() { return wsaErrorFromErrno(errno); }

std::string socketErrorText(int wsaError) {
  if (wsaError == kWsaHostNotFound) return "No such host is known";
  return systemMessage(errnoFromWsaError(wsaError));
}

Socket openStreamSocket(int protocol) {
  return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, protocol);
}

bool setNonBlocking(Socket s, bool nonBlocking) {
  int flags = ::fcntl(s, F_GETFL, 0);
  if (flags < 0) return false;
  flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return ::fcntl(s, F_SETFL, flags) == 0;
}

bool setNoDelay(Socket s) {
  int one = 1;
  return ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0;
}

bool setKeepAlive(Socket s, int idleSeconds, int intervalSeconds, int count) {
  int on = 1;
  return ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
         ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds) == 0 &&
         ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds) == 0 &&
         ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) == 0;
}

int connectIPv4(Socket s, uint32_t addressNetworkOrder, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = addressNetworkOrder;
  int r;
  do {
    r = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  } while (r != 0 && errno == EINTR);
  return r == 0 ? 0 : kSocketError;
}

int pendingSocketError(Socket s) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return lastSocketError();
  return wsaErrorFromErrno(error);
}

long receiveBytes(Socket s, void* buffer, size_t length) {
  ssize_t r;
  do {
    r = ::recv(s, buffer, length, 0);
  } while (r < 0 && errno == EINTR);
  return static_cast<long>(r);
}

long sendBytes(Socket s, const void* buffer, size_t length) {
  ssize_t r;
  do {
    r = ::send(s, buffer, length, MSG_NOSIGNAL);
  } while (r < 0 && errno == EINTR);
  return static_cast<long>(r);
}

void closeSocket(Socket s) {
  if (s >= 0) ::close(s);
}

int waitSockets(SocketWatch* watches, size_t count, int timeoutMs) {
  pollfd fds[kMaxSocketWatches];
  if (count > kMaxSocketWatches) count = kMaxSocketWatches;
  for (size_t i = 0; i < count; ++i) {
    fds[i].fd = watches[i].socket;
    fds[i].events = static_cast<short>((watches[i].wantRead ? POLLIN : 0) | (watches[i].wantWrite ? POLLOUT : 0));
    fds[i].revents = 0;
  }
  int r = ::poll(fds, count, timeoutMs);
  if (r <= 0) return r;
  for (size_t i = 0; i < count; ++i) {
    short ev = fds[i].revents;
    SocketWatch& w = watches[i];
    // A hang-up on a connected socket still reads (0 bytes), as select reports it.
    // A failed connect shows as error or hang-up (often with POLLOUT too); a
    // hang-up on a connected socket still reads (0 bytes), as select reports it.
    w.failed = (w.wantWrite && (ev & (POLLERR | POLLHUP))) || (ev & POLLNVAL);
    w.writable = w.wantWrite && !w.failed && (ev & POLLOUT);
    w.readable = w.wantRead && !w.failed && (ev & (POLLIN | POLLHUP | POLLERR));
  }
  return r;
}

WakeSignal::WakeSignal() : descriptor_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeSignal::~WakeSignal() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

void WakeSignal::post() {
  if (pending_.exchange(true)) return;
  const uint64_t one = 1;
  // Only a full counter (2^64 - 2 posts undrained) could refuse the write.
  [[maybe_unused]] const ssize_t written = ::write(descriptor_, &one, sizeof one);
}

// Read first, then clear: a post between the two finds the flag still set
// and writes nothing, but whatever it announced happened before it posted,
// so the waiter, which looks again after draining, sees it.
void WakeSignal::drain() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t read = ::read(descriptor_, &count, sizeof count);
  pending_.store(false);
}

bool resolveIPv4(const std::string& host, uint32_t* addressNetworkOrder) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, host.c_str(), &parsed) == 1) {
    *addressNetworkOrder = parsed.s_addr;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  *addressNetworkOrder = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return true;
}

std::string ipv4Text(uint32_t addressNetworkOrder) {
  in_addr address{};
  address.s_addr = addressNetworkOrder;
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

}  // namespace q3
