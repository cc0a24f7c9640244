// TLS for the simulated server: a self-signed certificate made in memory at
// start-up, so neither tests nor the demo need key files on disk.
#pragma once

#include <openssl/ssl.h>

#include <string>

namespace kexsim {

// A server context holding a fresh self-signed certificate (EC P-256,
// CN=127.0.0.1, valid for a day) and its key. Returns nullptr when OpenSSL
// refuses any step. The caller frees it with SSL_CTX_free.
SSL_CTX* makeSelfSignedServerContext();

// The context's certificate as PEM text; empty when it has none.
std::string certificatePemOf(SSL_CTX* context);

}  // namespace kexsim
