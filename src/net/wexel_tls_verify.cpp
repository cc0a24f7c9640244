#include "net/wexel_tls_verify.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace wexel {

WTlsVerifier::WTlsVerifier(std::string caFile) : caFile_(std::move(caFile)) {}

WTlsVerifier::~WTlsVerifier() {
  if (store_) X509_STORE_free(store_);
}

X509_STORE* WTlsVerifier::store(std::string* error) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (!store_ && loadError_.empty()) {
    X509_STORE* made = X509_STORE_new();
    const bool loaded = made && (caFile_.empty() ? X509_STORE_set_default_paths(made) == 1
                                                 : X509_STORE_load_file(made, caFile_.c_str()) == 1);
    ERR_clear_error();
    if (loaded) {
      store_ = made;
    } else {
      if (made) X509_STORE_free(made);
      loadError_ = caFile_.empty() ? "the system's trusted certificates cannot be read"
                                   : "tlsCaFile " + caFile_ + " cannot be read as PEM certificates";
    }
  }
  if (!store_) *error = loadError_;
  return store_;
}

bool WTlsVerifier::prepare(SSL* ssl, const std::string& host, std::string* error) {
  X509_STORE* trusted = store(error);
  if (!trusted) return false;
  SSL_set_verify(ssl, SSL_VERIFY_PEER, nullptr);
  SSL_set1_verify_cert_store(ssl, trusted);
  in_addr address{};
  const bool ok = inet_pton(AF_INET, host.c_str(), &address) == 1
                      ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1
                      : SSL_set1_host(ssl, host.c_str()) == 1 && SSL_set_tlsext_host_name(ssl, host.c_str()) == 1;
  ERR_clear_error();
  if (!ok) *error = "the host name " + host + " cannot be checked";
  return ok;
}

std::string WTlsVerifier::refusal(SSL* ssl) {
  const long result = SSL_get_verify_result(ssl);
  if (result == X509_V_OK) return std::string();
  return X509_verify_cert_error_string(result);
}

}  // namespace wexel
