// One accepted client connection, plain or TLS, owned by the thread that
// serves it. Another thread may only abort it, which wakes every blocked read,
// write or wait of the owner.
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <cstddef>
#include <string>

namespace kexsim {

class Connection {
 public:
  explicit Connection(int fd);
  ~Connection();  // shuts TLS down quietly and closes the socket
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs the server side of the TLS handshake; false when it fails.
  bool acceptTls(SSL_CTX* context);
  bool isTls() const { return ssl_ != nullptr; }

  // Bytes read (> 0), 0 when the peer closed, -1 on error or abort.
  long read(char* buffer, size_t capacity);
  // Waits up to timeoutMs for something to read. 1 ready, 0 timeout, -1 error,
  // hang-up or abort.
  int waitReadable(int timeoutMs);
  // Writes everything; in drip mode one byte per write call. False on error.
  bool writeAll(const std::string& bytes);
  void setDrip(bool drip) { drip_ = drip; }

  // Ends the reply the way the client expects it: the server closes first. Lets
  // late client bytes (the CR LF after a form body) be read off before the close,
  // so the kernel sends FIN rather than a reset that could destroy the reply.
  void finish();
  // From any thread: wakes the owner; its calls fail from now on.
  void abort();

 private:
  long writeSome(const char* data, size_t count);

  int fd_;
  SSL* ssl_ = nullptr;
  bool drip_ = false;
  std::atomic<bool> aborted_{false};
};

}  // namespace kexsim
