// Checking the server's certificate on TLS channels (tlsVerify): its chain
// against the trusted certificates (a PEM file, else the system's) and its
// name against the host the caller named.
#pragma once

#include <openssl/ssl.h>

#include <mutex>
#include <string>

namespace wexel {

class WTlsVerifier {
 public:
  // `caFile` empty: the system's trusted certificates.
  explicit WTlsVerifier(std::string caFile);
  ~WTlsVerifier();
  WTlsVerifier(const WTlsVerifier&) = delete;
  WTlsVerifier& operator=(const WTlsVerifier&) = delete;

  // Makes the handshake of `ssl` fail unless the chain is trusted and the
  // certificate names `host` (a host name or an IPv4 address). False with
  // the reason when the trusted certificates cannot be read.
  bool prepare(SSL* ssl, const std::string& host, std::string* error);

  // Why the server's certificate was refused in the last handshake of `ssl`,
  // or empty when it was not.
  static std::string refusal(SSL* ssl);

 private:
  // Loads the trusted certificates once; null with *error after a failure.
  X509_STORE* store(std::string* error);

  const std::string caFile_;
  std::mutex mutex_;  // store_, loadError_
  X509_STORE* store_ = nullptr;
  std::string loadError_;
};

}  // namespace wexel
