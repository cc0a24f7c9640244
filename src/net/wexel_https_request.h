// The TLS variant of the channel: the same request life with OpenSSL between
// the socket and the request text. One TLS context serves the whole process.
#pragma once

#include <openssl/ssl.h>

#include "net/wexel_http_request.h"

namespace wexel {

// Creates the process-wide TLS context; false (after logging) on failure.
bool tlsStartup();
void tlsShutdown();
// Logs every queued OpenSSL error, oldest first; answers false.
bool logTlsErrors();

class WHttpsRequest : public WHttpRequest {
 public:
  WHttpsRequest(WConnectionManager* manager, WexelParser* parser, const sockaddr_in& server);
  ~WHttpsRequest() override;

  bool connect(bool registerChannel, bool async) override;
  bool close() override;
  bool onConnectReady() override;
  bool sendBuffer() override;
  bool receive() override;

  // One handshake step; false with retry set when it must be repeated.
  bool tlsHandshake(bool* retry);
  void reportTlsError(int code);

 private:
  bool createTlsObject();
  // Sets the certificate check up when the manager has one; false with the reason.
  bool prepareVerification(std::string* error);
  // Send and receive time limit of the socket while it is blocking; 0 = none.
  void setHandshakeTimeout(int milliseconds);
  void logHandshakeDone();
  // The unexpected end of the TCP stream, however OpenSSL words it.
  bool isUnexpectedEof(int readResult, int error) const;
  // One SSL_read into the parser; *more when OpenSSL still holds bytes.
  bool readOnce(bool* more);
  bool deliver(int n);

  BIO* bio_ = nullptr;
  SSL* ssl_ = nullptr;
  bool verificationPrepared_ = false;  // under socketLock_, as ssl_
};

}  // namespace wexel
