#include "net/wexel_http_request.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "q3_kernel.h"
#include "q3_socket.h"
#include "net/wexel_connection_manager.h"
#include "core/wexel_log.h"
#include "core/wexel_statistics.h"

namespace wexel {

namespace {

constexpr size_t kInitialSendCapacity = 256;
constexpr size_t kMaxUserAgent = 255;
// The platform word is "windows" on every system: servers key on this text.
constexpr char kUserAgentSuffix[] = "/wexel/2.1.0/1600/windows";
constexpr int kTcpProtocol = 6;
// A send that makes no progress for this long gives up instead of hanging.
constexpr int kSendStallLimitMs = 30000;
constexpr int kSendWaitStepMs = 100;

std::string& userAgentText() {
  static std::string* text = new std::string;
  return *text;
}

int64_t steadyMilliseconds() { return static_cast<int64_t>(q3::monotonicMilliseconds()); }

// A vanished host (no reset, no close) is found by TCP keep-alive: probes
// after a minute without traffic, five of them ten seconds apart.
void configureSocket(int socket, bool tcp) {
  q3::setKeepAlive(socket, 60, 10, 5);
  if (!tcp) return;
  q3::setNoDelay(socket);
  linger noLinger{0, 0};
  ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
}

}  // namespace

void setUserAgent(const std::string& productString) {
  userAgentText() = (productString + kUserAgentSuffix).substr(0, kMaxUserAgent);
}

const std::string& userAgent() { return userAgentText(); }

// ---- pending queue -------------------------------------------------------

void WPendingQueue::push() {
  sys::WLock hold(owner_->sendLock_);
  packets_.push_back(owner_->sendText());
}

int WPendingQueue::flush() {
  sys::WLock hold(owner_->sendLock_);
  if (owner_->socket() < 0) {
    packets_.clear();  // queued for a connection that no longer exists
    return 0;
  }
  if (packets_.empty()) return 0;
  logTrace("Http channel 0x%X has %d packets in pending queue, send it now..", owner_->channelId(),
           static_cast<int>(packets_.size()));
  std::deque<std::string> packets;
  packets.swap(packets_);
  for (const std::string& packet : packets) {
    owner_->setSendText(packet);
    owner_->beforeSend();
    if (!packet.empty()) {
      if (owner_->isConnected()) owner_->sendBuffer();
      else packets_.push_back(packet);
    }
    owner_->afterSend();
    // A failed send closed the channel: what is left belongs to no connection.
    if (owner_->socket() < 0) {
      packets_.clear();
      break;
    }
  }
  return static_cast<int>(packets.size());
}

void WPendingQueue::clear() {
  sys::WLock hold(owner_->sendLock_);
  packets_.clear();
}

// ---- channel -------------------------------------------------------------

WHttpRequest::WHttpRequest(WConnectionManager* manager, WexelParser* parser, const sockaddr_in& server)
    : manager_(manager), parser_(parser), server_(server), pending_(this) {
  noteActivity();
}

int WHttpRequest::silenceLimitMs(const WInstanceConfig& config) const { return config.replySilenceMs; }

void WHttpRequest::noteActivity() { lastActivityMs_.store(steadyMilliseconds()); }

int64_t WHttpRequest::silentForMs(int64_t nowMs) const { return nowMs - lastActivityMs_.load(); }

WHttpRequest::~WHttpRequest() {
  closeSocket();
  delete parser_;
}

std::string WHttpRequest::serverHost() const { return q3::ipv4Text(server_.sin_addr.s_addr); }

int WHttpRequest::serverPort() const { return ntohs(server_.sin_port); }

std::string WHttpRequest::addressSuffix() const {
  return " (" + serverHost() + ":" + std::to_string(serverPort()) + ")";
}

void WHttpRequest::logSocketError(const std::string& text, int code, const char* source, int line) const {
  logError("Channel 0x%llX, sockErr '%s': %d, file: %s, line %d",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)), text.c_str(), code, source, line);
}

void WHttpRequest::run() {
  {
    sys::WLock hold(ioLock_);
    beforeRead();
    if (isConnected()) receive();
    afterRead();
  }
  // Handed back: the I/O thread polls the socket again from its next pass,
  // woken now in case it is waiting on the other sockets.
  endService();
  if (manager_) manager_->channelReturned();
  // Last: once the count is 0 the garbage collector may delete this object,
  // so nothing of it (the I/O lock included) may be touched afterwards.
  markIdle();
}

bool WHttpRequest::format(const char* text, ...) {
  sys::WLock hold(sendLock_);
  if (sendBuffer_.empty()) sendBuffer_.resize(kInitialSendCapacity);
  for (;;) {
    va_list args;
    va_start(args, text);
    int n = std::vsnprintf(sendBuffer_.data(), sendBuffer_.size(), text, args);
    va_end(args);
    // vsnprintf needs room for its terminator; a text that exactly fills the
    // buffer is accepted, as the length alone says where it ends.
    if (n >= 0 && static_cast<size_t>(n) <= sendBuffer_.size()) {
      if (static_cast<size_t>(n) == sendBuffer_.size()) {
        std::vector<char> full(sendBuffer_.size() + 1);
        va_start(args, text);
        std::vsnprintf(full.data(), full.size(), text, args);
        va_end(args);
        std::copy(full.begin(), full.end() - 1, sendBuffer_.begin());
      }
      sendLength_ = static_cast<size_t>(n);
      return true;
    }
    sendBuffer_.resize(sendBuffer_.size() * 2);
  }
}

void WHttpRequest::setSendText(const std::string& text) {
  sys::WLock hold(sendLock_);
  size_t capacity = sendBuffer_.empty() ? kInitialSendCapacity : sendBuffer_.size();
  while (capacity < text.size()) capacity *= 2;
  sendBuffer_.resize(capacity);
  std::copy(text.begin(), text.end(), sendBuffer_.begin());
  sendLength_ = text.size();
}

void WHttpRequest::freeSendBuffer() {
  sys::WLock hold(sendLock_);
  std::vector<char>().swap(sendBuffer_);
  sendLength_ = 0;
}

bool WHttpRequest::prepareRequest() { return true; }

bool WHttpRequest::openSocket(bool async) {
  bool tcp = protocolFlag_ == 0;
  int s = q3::openStreamSocket(tcp ? kTcpProtocol : protocolFlag_);
  if (s < 0) {
    reportSocketError();
    return false;
  }
  socket_.store(s);
  configureSocket(s, tcp);
  logInfo("Trying connect to %s:%d", serverHost().c_str(), serverPort());
  if (async) return true;
  if (q3::connectIPv4(s, server_.sin_addr.s_addr, static_cast<uint16_t>(serverPort())) != 0) {
    reportSocketError();
    return false;
  }
  logDetail("Http channel 0x%X socket connected OK.. (%d)", channelId(), s);
  return true;
}

bool WHttpRequest::connect(bool registerChannel, bool async) {
  if (socket_.load() > 0) return true;
  if (!openSocket(async)) return false;
  int s = socket_.load();
  if (!async) {
    if (!registerChannel) return true;
    logInfo("Http channel 0x%X OK..", channelId());
    statsAddPlainConnections(1);
    setConnected(true);
  }
  if (!q3::setNonBlocking(s, true)) {
    reportSocketError();
    return false;
  }
  if (async) {
    logInfo("Channel 0x%X will use async connect mode (%d)", channelId(), s);
    q3::connectIPv4(s, server_.sin_addr.s_addr, static_cast<uint16_t>(serverPort()));
  }
  if (manager_) manager_->registerChannel(this);
  return true;
}

bool WHttpRequest::closeSocket() {
  sys::WLock hold(socketLock_);
  int s = socket_.exchange(-1);
  if (s < 0) return false;
  q3::closeSocket(s);
  return true;
}

bool WHttpRequest::close() {
  // The send lock keeps a sender on another thread out while the buffer and
  // queue go; the socket lock (inside closeSocket) keeps a reader out.
  sys::WLock hold(sendLock_);
  logInfo("Destroying http channel..0x%X", channelId());
  statsAddPlainConnections(-1);
  int s = socket_.load();
  if (closeSocket()) logDetail("Http channel 0x%X socket closed.. (%d)", channelId(), s);
  freeSendBuffer();
  setConnected(false);
  pending_.clear();
  return true;
}

void WHttpRequest::onError(int, const std::string&) {}
void WHttpRequest::beforeRead() {}
void WHttpRequest::afterRead() {}
void WHttpRequest::beforeSend() {}
void WHttpRequest::afterSend() {}
bool WHttpRequest::isCollectable() { return true; }
void WHttpRequest::onConnected() {}

bool WHttpRequest::onConnectReady() {
  logDetail("Http channel 0x%X async socket connected OK.. (%d)", channelId(), socket_.load());
  logInfo("Http channel 0x%X OK..", channelId());
  {
    // Connected and flushed under the send lock, so a text formatted on
    // another thread meanwhile cannot overtake the queued ones.
    sys::WLock hold(sendLock_);
    setConnected(true);
    statsAddPlainConnections(1);
    pending_.flush();
  }
  onConnected();
  return true;
}

bool WHttpRequest::sendOrQueue() {
  sys::WLock hold(sendLock_);
  beforeSend();
  bool result = true;
  if (sendLength_ > 0) {
    if (isConnected()) result = sendBuffer();
    else pending_.push();
  }
  afterSend();
  return result;
}

bool WHttpRequest::sendAll(const char* bytes, size_t length) {
  size_t sent = 0;
  int stalledMs = 0;
  while (sent < length) {
    long n;
    int error = 0;
    {
      sys::WLock hold(socketLock_);
      int s = socket_.load();
      if (s < 0) return false;
      n = q3::sendBytes(s, bytes + sent, length - sent);
      if (n < 0) error = q3::lastSocketError();
    }
    if (n > 0) {
      sent += static_cast<size_t>(n);
      stalledMs = 0;
      continue;
    }
    if (error != q3::kWsaEwouldblock || stalledMs >= kSendStallLimitMs) {
      reportSocketError(error == q3::kWsaEwouldblock ? q3::kWsaEtimedout : error);
      unregisterSelf();
      return false;
    }
    // The socket buffer is full: wait until it drains rather than spin.
    pollfd p{socket_.load(), POLLOUT, 0};
    ::poll(&p, 1, kSendWaitStepMs);
    stalledMs += kSendWaitStepMs;
  }
  return true;
}

bool WHttpRequest::sendBuffer() {
  sys::WLock hold(sendLock_);
  if (!sendAll(sendBuffer_.data(), sendLength_)) return false;
  logTrace("Http channel 0x%X bytes %d sent OK..", channelId(), static_cast<int>(sendLength_));
  statsAddSends(1);
  statsAddBytesSent(static_cast<int64_t>(sendLength_));
  dumpTraffic(sendBuffer_.data(), sendLength_);
  return true;
}

bool WHttpRequest::unregisterSelf() {
  if (manager_) return manager_->unregisterChannel(this);
  close();
  return true;
}

bool WHttpRequest::receive() {
  logTrace("Http channel 0x%X ready to read data", channelId());
  long n = 0;
  int error = 0;
  {
    sys::WLock hold(socketLock_);
    int s = socket_.load();
    if (s < 0) return false;
    size_t room = parser_ ? static_cast<size_t>(parser_->freeSpace()) : 0;
    char scratch[1];
    n = q3::receiveBytes(s, parser_ ? parser_->writePosition() : scratch, parser_ ? room : sizeof scratch);
    if (n < 0) error = q3::lastSocketError();
  }
  if (n < 0) {
    if (error == q3::kWsaEwouldblock) return true;
    reportSocketError(error);
    unregisterSelf();
    return false;
  }
  if (n == 0) {
    logDetail("Http channel 0x%X closed by server...", channelId());
    unregisterSelf();
    onError(kErrorClosed, kTextClosedByServer);
    return true;
  }
  noteActivity();
  logTrace("Http channel 0x%X received bytes %d OK...", channelId(), static_cast<int>(n));
  statsAddReceives(1);
  statsAddBytesReceived(n);
  if (!parser_) return true;
  int parsed = parser_->onReceived(static_cast<int>(n));
  if (parsed < 0) {
    unregisterSelf();
    return false;
  }
  logTrace("Parsed bytes %d OK...", parsed);
  return true;
}

void WHttpRequest::reportSocketError() { reportSocketError(q3::lastSocketError()); }

void WHttpRequest::reportSocketError(int code) {
  int s = socket_.load();
  if (code == 0 && s >= 0) code = q3::pendingSocketError(s);
  onError(code, q3::socketErrorText(code));
}

bool WHttpRequest::ping() {
  sys::WLock hold(sendLock_);
  format("PING 1\n");
  return sendOrQueue();
}

}  // namespace wexel
