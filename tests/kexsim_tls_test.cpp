// The simulated server's self-signed TLS context completes a handshake over
// loopback and presents a certificate for 127.0.0.1.
#include "kexsim_tls.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

int listenOnLoopback(uint16_t* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
  ::listen(fd, 1);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  *port = ntohs(addr.sin_port);
  return fd;
}

int connectTo(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  return fd;
}

std::string peerCommonName(SSL* ssl) {
  X509* cert = SSL_get1_peer_certificate(ssl);
  if (cert == nullptr) return {};
  char cn[64] = {};
  X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, cn, sizeof cn);
  X509_free(cert);
  return cn;
}

TEST(KexsimTls, HandshakeCarriesSelfSignedCertificateForLoopback) {
  SSL_CTX* serverContext = kexsim::makeSelfSignedServerContext();
  ASSERT_NE(serverContext, nullptr);
  uint16_t port = 0;
  int listener = listenOnLoopback(&port);

  std::thread server([&] {
    int fd = ::accept(listener, nullptr, nullptr);
    SSL* ssl = SSL_new(serverContext);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) SSL_write(ssl, "hello", 5);
    SSL_shutdown(ssl);
    SSL_free(ssl);
    ::close(fd);
  });

  SSL_CTX* clientContext = SSL_CTX_new(TLS_client_method());
  SSL* ssl = SSL_new(clientContext);
  int fd = connectTo(port);
  SSL_set_fd(ssl, fd);
  ASSERT_EQ(SSL_connect(ssl), 1);
  char reply[8] = {};
  EXPECT_EQ(SSL_read(ssl, reply, sizeof reply), 5);
  EXPECT_STREQ(reply, "hello");
  EXPECT_EQ(peerCommonName(ssl), "127.0.0.1");
  EXPECT_EQ(SSL_get_verify_result(ssl), X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT);

  server.join();
  SSL_free(ssl);
  ::close(fd);
  ::close(listener);
  SSL_CTX_free(clientContext);
  SSL_CTX_free(serverContext);
}

}  // namespace
