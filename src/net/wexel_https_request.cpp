#include "net/wexel_https_request.h"

#include <openssl/err.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>

#include "q3_socket.h"
#include "net/wexel_connection_manager.h"
#include "net/wexel_tls_verify.h"
#include "core/wexel_log.h"
#include "core/wexel_statistics.h"

namespace wexel {

namespace {

// A write that makes no progress for this long gives up instead of hanging.
constexpr int kWriteStallLimitMs = 30000;
constexpr int kWriteWaitStepMs = 100;
constexpr int kBlockingHandshakeLimitMs = 15000;

SSL_CTX* g_context = nullptr;
BIO_METHOD* g_socketMethod = nullptr;

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE in the
// host process when the server has gone. This one sends with the platform's
// send (MSG_NOSIGNAL) and reads with its recv; the channel closes the socket.
int socketBioWrite(BIO* bio, const char* data, int length) {
  BIO_clear_retry_flags(bio);
  long n = q3::sendBytes(static_cast<int>(BIO_get_fd(bio, nullptr)), data, static_cast<size_t>(length));
  if (n < 0 && q3::lastSocketError() == q3::kWsaEwouldblock) BIO_set_retry_write(bio);
  return static_cast<int>(n);
}

int socketBioRead(BIO* bio, char* data, int length) {
  BIO_clear_retry_flags(bio);
  long n = q3::receiveBytes(static_cast<int>(BIO_get_fd(bio, nullptr)), data, static_cast<size_t>(length));
  if (n < 0 && q3::lastSocketError() == q3::kWsaEwouldblock) BIO_set_retry_read(bio);
  return static_cast<int>(n);
}

long socketBioControl(BIO* bio, int command, long number, void* pointer) {
  switch (command) {
    case BIO_C_SET_FD:
      BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(*static_cast<int*>(pointer))));
      BIO_set_init(bio, 1);
      (void)number;
      return 1;
    case BIO_C_GET_FD:
      if (!BIO_get_init(bio)) return -1;
      if (pointer) *static_cast<int*>(pointer) = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
      return static_cast<long>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    case BIO_CTRL_FLUSH:
      return 1;
    default:
      return 0;
  }
}

BIO* newSocketBio(int socket) {
  if (!g_socketMethod) return nullptr;
  BIO* bio = BIO_new(g_socketMethod);
  if (bio) BIO_set_fd(bio, socket, BIO_NOCLOSE);
  return bio;
}

std::string errorString(unsigned long code) {
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

}  // namespace

bool logTlsErrors() {
  while (unsigned long code = ERR_get_error()) {
    const char* reason = ERR_reason_error_string(code);
    logError("SSL error: %d, descr %s, reason %s", static_cast<int>(code), errorString(code).c_str(),
             reason ? reason : "");
  }
  return false;
}

// OpenSSL 3 initialises itself and is thread-safe for a shared context. It has
// no temporary RSA key any more, so no such key is made.
bool tlsStartup() {
  if (g_context) return true;
  g_socketMethod = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "wexel socket");
  if (!g_socketMethod || !BIO_meth_set_write(g_socketMethod, socketBioWrite) ||
      !BIO_meth_set_read(g_socketMethod, socketBioRead) || !BIO_meth_set_ctrl(g_socketMethod, socketBioControl)) {
    return logTlsErrors();
  }
  g_context = SSL_CTX_new(TLS_client_method());
  if (!g_context) return logTlsErrors();
  return true;
}

void tlsShutdown() {
  if (g_context) SSL_CTX_free(g_context);
  g_context = nullptr;
  if (g_socketMethod) BIO_meth_free(g_socketMethod);
  g_socketMethod = nullptr;
}

WHttpsRequest::WHttpsRequest(WConnectionManager* manager, WexelParser* parser, const sockaddr_in& server)
    : WHttpRequest(manager, parser, server) {}

WHttpsRequest::~WHttpsRequest() {
  sys::WLock hold(socketLock_);
  if (ssl_) SSL_free(ssl_);
  ssl_ = nullptr;
}

bool WHttpsRequest::createTlsObject() {
  ssl_ = g_context ? SSL_new(g_context) : nullptr;
  if (!ssl_) return logTlsErrors();
  bio_ = newSocketBio(socket_.load());
  if (!bio_) {
    SSL_free(ssl_);
    ssl_ = nullptr;
    return logTlsErrors();
  }
  SSL_set_bio(ssl_, bio_, bio_);
  verificationPrepared_ = false;
  return true;
}

// With tlsVerify, the logon server's certificate must name the host the
// caller gave; a channel to another address (an order endpoint) its address.
bool WHttpsRequest::prepareVerification(std::string* error) {
  WTlsVerifier* verifier = manager_ ? manager_->tlsVerifier() : nullptr;
  if (!verifier) return true;
  const WInstanceConfig& config = manager_->config();
  uint32_t address = 0;
  const bool sameServer = !config.tlsServerName.empty() && q3::resolveIPv4(config.tlsServerName, &address) &&
                          address == serverAddress().sin_addr.s_addr;
  return verifier->prepare(ssl_, sameServer ? config.tlsServerName : serverHost(), error);
}

bool WHttpsRequest::tlsHandshake(bool* retry) {
  *retry = false;
  int result;
  int error = 0;
  std::string reason;  // why the handshake cannot succeed, when known
  {
    sys::WLock hold(socketLock_);
    if (socket_.load() < 0) return false;
    if (!ssl_ && !createTlsObject()) {
      // Without a TLS object the caller would otherwise hear nothing.
      error = -1;
      result = 0;
    } else if (!verificationPrepared_ && !prepareVerification(&reason)) {
      error = -1;
      result = 0;
    } else {
      verificationPrepared_ = true;
      result = SSL_connect(ssl_);
      if (result < 1) error = SSL_get_error(ssl_, result);
      if (result < 1 && manager_ && manager_->tlsVerifier()) {
        const std::string refused = WTlsVerifier::refusal(ssl_);
        if (!refused.empty()) reason = "server certificate refused: " + refused;
      }
    }
  }
  if (result < 1) {
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      *retry = true;
      return false;
    }
    ERR_clear_error();
    const std::string text = reason.empty() ? "Create SSL session failed" : "Create SSL session failed: " + reason;
    // Logged before it is reported: a listener may end everything at once.
    logError("%s for channel 0x%X, code %d", text.c_str(), channelId(), error);
    onError(kErrorTls, text);
    return false;
  }
  logHandshakeDone();
  statsAddTlsConnections(1);
  return true;
}

void WHttpsRequest::logHandshakeDone() {
  sys::WLock hold(socketLock_);
  logDetail("SSL handshake for channel 0x%X OK, encrypted method is %s", channelId(), SSL_get_cipher(ssl_));
  if (X509* certificate = SSL_get1_peer_certificate(ssl_)) {
    char subject[512];
    X509_NAME_oneline(X509_get_subject_name(certificate), subject, sizeof subject);
    logDetail("Certificate info: %s", subject);
    X509_free(certificate);
  }
  long verify = SSL_get_verify_result(ssl_);
  if (verify != X509_V_OK) {
    logWarning("SSL server certificate for channel 0x%X not valid, code %ld..", channelId(), verify);
  } else {
    logDetail("SSL server certificate for channel 0x%X verify OK..", channelId());
  }
}

void WHttpsRequest::reportTlsError(int code) {
  std::string text = errorString(static_cast<unsigned long>(code));
  logError("SSL error: %d, reason %s", code, text.c_str());
  ERR_clear_error();
  onError(kErrorTls, text);
}

bool WHttpsRequest::connect(bool registerChannel, bool async) {
  if (!WHttpRequest::connect(async, async)) return false;
  if (async) return true;
  // A blocking handshake with a server that never answers (a plain HTTP
  // port waits for a request line) would block the caller for ever.
  setHandshakeTimeout(kBlockingHandshakeLimitMs);
  bool retry = false;
  bool done = tlsHandshake(&retry);
  setHandshakeTimeout(0);
  if (!done) {
    if (!retry) return false;
    // Only the time limit makes a blocking socket want more.
    logError("Create SSL session failed for channel 0x%X, code %d", channelId(), SSL_ERROR_WANT_READ);
    onError(kErrorTls, "Create SSL session failed");
    return false;
  }
  if (!registerChannel) return true;
  if (!q3::setNonBlocking(socket_.load(), true)) {
    onError(q3::lastSocketError(), "");
    return false;
  }
  // Connected before it is registered: the I/O thread would otherwise take
  // it for a connect in progress and complete it a second time.
  setConnected(true);
  if (manager_) manager_->registerChannel(this);
  logInfo("Https channel 0x%X OK..", channelId());
  return true;
}

void WHttpsRequest::setHandshakeTimeout(int milliseconds) {
  timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
  int s = socket_.load();
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

bool WHttpsRequest::onConnectReady() {
  bool retry = false;
  if (!tlsHandshake(&retry)) return retry;
  logInfo("Https channel 0x%X OK..", channelId());
  {
    sys::WLock hold(sendLock_);
    setConnected(true);
    pending_.flush();
  }
  onConnected();
  return true;
}

bool WHttpsRequest::close() {
  sys::WLock sendHold(sendLock_);
  logInfo("Destroying https channel..0x%X", channelId());
  {
    sys::WLock hold(socketLock_);
    if (ssl_) SSL_free(ssl_);  // frees the BIO too; no close alert is sent
    ssl_ = nullptr;
    bio_ = nullptr;
  }
  int s = socket_.load();
  if (closeSocket()) {
    logDetail("Https channel 0x%X socket closed.. (%d)", channelId(), s);
    statsAddTlsConnections(-1);
  }
  freeSendBuffer();
  pending_.clear();
  setConnected(false);
  return true;
}

bool WHttpsRequest::sendBuffer() {
  sys::WLock hold(sendLock_);
  if (!isConnected()) return false;
  int stalledMs = 0;
  for (;;) {
    int result;
    int error = 0;
    {
      // Reads and writes of one TLS object never overlap: both hold this lock.
      sys::WLock socketHold(socketLock_);
      if (!ssl_) return false;
      ERR_clear_error();
      result = SSL_write(ssl_, sendBuffer_.data(), static_cast<int>(sendLength_));
      if (result <= 0) error = SSL_get_error(ssl_, result);
    }
    if (result > 0) break;
    bool wouldBlock = error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE;
    if (!wouldBlock || stalledMs >= kWriteStallLimitMs) {
      reportTlsError(wouldBlock ? SSL_ERROR_SYSCALL : error);
      unregisterSelf();
      return false;
    }
    pollfd p{socket_.load(), static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
    ::poll(&p, 1, kWriteWaitStepMs);
    stalledMs += kWriteWaitStepMs;
  }
  logTrace("Https channel 0x%X sended bytes %d OK..", channelId(), static_cast<int>(sendLength_));
  statsAddSends(1);
  statsAddBytesSent(static_cast<int64_t>(sendLength_));
  dumpTraffic(sendBuffer_.data(), sendLength_);
  return true;
}

bool WHttpsRequest::isUnexpectedEof(int readResult, int error) const {
  if (error == SSL_ERROR_SYSCALL && readResult == 0) return true;
  // OpenSSL 3 reports a TCP close without a close alert as an SSL error.
  return error == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

bool WHttpsRequest::receive() {
  if (!isConnected()) return false;
  logTrace("Https channel 0x%X ready to read data", channelId());
  // OpenSSL may hold decrypted bytes of a record beyond what one read took;
  // the socket will not turn readable for them, so they are read now.
  bool more = true;
  bool result = true;
  while (more && result) result = readOnce(&more);
  return result;
}

bool WHttpsRequest::readOnce(bool* more) {
  *more = false;
  int n;
  int error = 0;
  bool unexpectedEof = false;
  int room = parser_ ? parser_->freeSpace() : 1;
  if (room == 0) {
    // A header or body unit that can never fit: closed as the plain channel does.
    logDetail("Https channel 0x%X closed by server...", channelId());
    unregisterSelf();
    onError(kErrorClosed, kTextClosedByServer);
    return true;
  }
  {
    sys::WLock hold(socketLock_);
    if (!ssl_) return false;
    ERR_clear_error();
    char scratch[1];
    n = SSL_read(ssl_, parser_ ? parser_->writePosition() : scratch, room);
    if (n <= 0) {
      error = SSL_get_error(ssl_, n);
      unexpectedEof = isUnexpectedEof(n, error);
    } else {
      *more = SSL_pending(ssl_) > 0;
    }
  }
  if (n > 0) {
    noteActivity();
    return deliver(n);
  }
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) return true;
  if (unexpectedEof) {
    ERR_clear_error();
    logDetail("Https channel 0x%X unexpected closed by server...", channelId());
    unregisterSelf();
    onError(kErrorClosed, "Connection unexpected closed by server");
    return true;
  }
  if (error == SSL_ERROR_ZERO_RETURN) {
    logDetail("Https channel 0x%X closed by server...", channelId());
    unregisterSelf();
    onError(kErrorClosed, kTextClosedByServer);
    return true;
  }
  reportTlsError(error);
  unregisterSelf();
  return false;
}

bool WHttpsRequest::deliver(int n) {
  logTrace("Https channel 0x%X decrypt %d bytes OK...", channelId(), n);
  statsAddReceives(1);
  statsAddBytesReceived(n);
  if (!parser_) return true;
  int parsed = parser_->onReceived(n);
  if (parsed < 0) {
    unregisterSelf();
    return false;
  }
  logTrace("Parsed bytes %d OK...", parsed);
  return true;
}

}  // namespace wexel
