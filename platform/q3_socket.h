// Windows Sockets 2 as the library uses them, on POSIX sockets. Error numbers
// are Windows socket error numbers (WSAE*), because hosts compare them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace q3 {

using Socket = int;
constexpr Socket kInvalidSocket = -1;
constexpr int kSocketError = -1;

// Windows socket error numbers the library names.
enum WsaError : int {
  kWsaNoError = 0,
  kWsaEintr = 10004,
  kWsaEbadf = 10009,
  kWsaEacces = 10013,
  kWsaEfault = 10014,
  kWsaEinval = 10022,
  kWsaEmfile = 10024,
  kWsaEwouldblock = 10035,
  kWsaEinprogress = 10036,
  kWsaEalready = 10037,
  kWsaEnotsock = 10038,
  kWsaEdestaddrreq = 10039,
  kWsaEmsgsize = 10040,
  kWsaEprototype = 10041,
  kWsaEnoprotoopt = 10042,
  kWsaEprotonosupport = 10043,
  kWsaEopnotsupp = 10045,
  kWsaEafnosupport = 10047,
  kWsaEaddrinuse = 10048,
  kWsaEaddrnotavail = 10049,
  kWsaEnetdown = 10050,
  kWsaEnetunreach = 10051,
  kWsaEnetreset = 10052,
  kWsaEconnaborted = 10053,
  kWsaEconnreset = 10054,
  kWsaEnobufs = 10055,
  kWsaEisconn = 10056,
  kWsaEnotconn = 10057,
  kWsaEshutdown = 10058,
  kWsaEtimedout = 10060,
  kWsaEconnrefused = 10061,
  kWsaEhostdown = 10064,
  kWsaEhostunreach = 10065,
  kWsaHostNotFound = 11001,
};

// Start-up and clean-up exist for symmetry with Winsock; they do nothing.
bool socketStartup();
void socketCleanup();

// Windows socket error number for an errno value (unknown: 10000 + errno).
int wsaErrorFromErrno(int errnoValue);
// The thread's last socket error as a Windows socket error number.
int lastSocketError();
// The system's message text for a Windows socket error number.
std::string socketErrorText(int wsaError);

// A TCP (or, with protocol 132, SCTP) stream socket; kInvalidSocket on failure.
Socket openStreamSocket(int protocol);
bool setNonBlocking(Socket s, bool nonBlocking);
bool setNoDelay(Socket s);
// TCP keep-alive probes after `idleSeconds` without traffic, every
// `intervalSeconds`, `count` of them before the connection counts as broken.
bool setKeepAlive(Socket s, int idleSeconds, int intervalSeconds, int count);
// 0 on success; kSocketError with lastSocketError() set otherwise (10035 for
// a non-blocking connect in progress).
int connectIPv4(Socket s, uint32_t addressNetworkOrder, uint16_t port);
// Pending error of the socket (SO_ERROR), as a Windows socket error number.
int pendingSocketError(Socket s);
// recv / send; send never raises SIGPIPE.
long receiveBytes(Socket s, void* buffer, size_t length);
long sendBytes(Socket s, const void* buffer, size_t length);
void closeSocket(Socket s);

// One socket watched by waitSockets, as the three Winsock sets would hold it.
struct SocketWatch {
  Socket socket;
  bool wantRead;
  bool wantWrite;  // a connect in progress: writable means it completed
  bool readable;
  bool writable;
  bool failed;     // error or hang-up: the exception set
};

// Waits with poll (descriptors above 1023 are fine) up to timeoutMs for any
// watched socket, at most kMaxSocketWatches of them. Returns the number of
// ready sockets, 0 on timeout, -1 on error.
constexpr size_t kMaxSocketWatches = 128;
int waitSockets(SocketWatch* watches, size_t count, int timeoutMs);

// A descriptor that any thread makes readable to end a waitSockets early
// (an eventfd; on Windows a loopback socket would stand in). post() writes
// only when no post is pending since the last drain(), so a busy waiter costs
// the posting threads an atomic exchange and no system call.
class WakeSignal {
 public:
  WakeSignal();
  ~WakeSignal();
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;

  Socket descriptor() const { return descriptor_; }
  void post();
  // By the waiting thread once the descriptor read as readable: takes the
  // posts, then lets the next post write again.
  void drain();

 private:
  Socket descriptor_;
  std::atomic<bool> pending_{false};
};

// IPv4 address of a host name or dotted text, network order; false when not found.
bool resolveIPv4(const std::string& host, uint32_t* addressNetworkOrder);
// Dotted text of a network-order address.
std::string ipv4Text(uint32_t addressNetworkOrder);

}  // namespace q3
