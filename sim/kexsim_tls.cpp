#include "kexsim_tls.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace kexsim {
namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;
using ContextPtr = std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)>;

constexpr long kValiditySeconds = 24 * 60 * 60;

KeyPtr makeKey() { return KeyPtr(EVP_EC_gen("P-256"), EVP_PKEY_free); }

bool setName(X509* cert) {
  X509_NAME* name = X509_get_subject_name(cert);
  auto* cn = reinterpret_cast<const unsigned char*>("127.0.0.1");
  auto* o = reinterpret_cast<const unsigned char*>("kexsim");
  return X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, o, -1, -1, 0) == 1 &&
         X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, cn, -1, -1, 0) == 1 &&
         X509_set_issuer_name(cert, name) == 1;  // self-signed: issuer is subject
}

bool addAltName(X509* cert) {
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name,
                                            "IP:127.0.0.1");
  if (ext == nullptr) return false;
  bool added = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return added;
}

CertPtr makeCertificate(EVP_PKEY* key) {
  CertPtr cert(X509_new(), X509_free);
  if (!cert) return cert;
  bool ok = X509_set_version(cert.get(), 2) == 1 &&
            ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1) == 1 &&
            X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60) != nullptr &&
            X509_gmtime_adj(X509_getm_notAfter(cert.get()), kValiditySeconds) != nullptr &&
            X509_set_pubkey(cert.get(), key) == 1 && setName(cert.get()) &&
            addAltName(cert.get()) && X509_sign(cert.get(), key, EVP_sha256()) > 0;
  if (!ok) cert.reset();
  return cert;
}

}  // namespace

SSL_CTX* makeSelfSignedServerContext() {
  KeyPtr key = makeKey();
  if (!key) return nullptr;
  CertPtr cert = makeCertificate(key.get());
  if (!cert) return nullptr;
  ContextPtr context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
  if (!context) return nullptr;
  if (SSL_CTX_use_certificate(context.get(), cert.get()) != 1 ||
      SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1 ||
      SSL_CTX_check_private_key(context.get()) != 1) {
    return nullptr;
  }
  return context.release();
}

std::string certificatePemOf(SSL_CTX* context) {
  X509* certificate = context ? SSL_CTX_get0_certificate(context) : nullptr;
  BIO* memory = certificate ? BIO_new(BIO_s_mem()) : nullptr;
  if (!memory) return std::string();
  std::string pem;
  if (PEM_write_bio_X509(memory, certificate) == 1) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(memory, &data);
    if (size > 0) pem.assign(data, static_cast<size_t>(size));
  }
  BIO_free(memory);
  return pem;
}

}  // namespace kexsim
