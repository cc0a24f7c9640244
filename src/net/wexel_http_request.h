// One HTTP/1.0 connection to the server, and the base of every request the
// library sends. It formats its request text, connects, registers with the
// connection manager, sends, and receives straight into its parser's buffer.
// It is also the worker task that reads the channel.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "net/wexel_parser.h"
#include "wexel/wexel_config.h"
#include "core/wexel_sys.h"
#include "core/wexel_thread_pool.h"

namespace wexel {

class WConnectionManager;
class WHttpRequest;

// Request texts formatted while the channel cannot send them yet.
class WPendingQueue {
 public:
  explicit WPendingQueue(WHttpRequest* owner) : owner_(owner) {}
  // Appends a copy of the owner's current send buffer text.
  void push();
  // Sends (or, when not connected, re-queues) every packet in order; returns
  // how many packets there were.
  int flush();
  void clear();
  size_t size() const { return packets_.size(); }

 private:
  WHttpRequest* owner_;
  std::deque<std::string> packets_;
};

class WHttpRequest : public WWorkerTask {
 public:
  WHttpRequest(WConnectionManager* manager, WexelParser* parser, const sockaddr_in& server);
  ~WHttpRequest() override;
  WHttpRequest(const WHttpRequest&) = delete;
  WHttpRequest& operator=(const WHttpRequest&) = delete;

  // Worker entry: reads the channel under the I/O lock.
  void run() override;
  // printf-style formatting into the send buffer, which grows as needed.
  virtual bool format(const char* text, ...) __attribute__((format(printf, 2, 3)));
  virtual bool prepareRequest();
  virtual bool connect(bool registerChannel, bool async);
  virtual bool close();
  virtual void onError(int code, const std::string& text);
  virtual void beforeRead();
  virtual void afterRead();
  virtual void beforeSend();
  virtual void afterSend();
  virtual bool isCollectable();
  virtual void onConnected();
  virtual bool onConnectReady();
  virtual bool sendBuffer();
  virtual bool receive();

  bool sendOrQueue();
  // Reports the thread's last socket error (or the socket's pending one).
  void reportSocketError();
  // Reports a known socket error; 0 means the socket's pending error.
  void reportSocketError(int code);
  // The keep-alive line of feeds and portfolio streams.
  bool ping();

  // How long the channel may go without receiving a byte; 0: without limit
  // (streams that may be quiet). The I/O thread fails a channel silent for
  // longer. Requests that wait for a reply take the configured reply limit.
  virtual int silenceLimitMs(const WInstanceConfig& config) const;
  // Milliseconds since the channel was made or last received a byte.
  int64_t silentForMs(int64_t nowMs) const;

  // A worker has been handed this channel to read and not yet given it back;
  // the I/O thread leaves it out of its polls meanwhile. Set by the I/O
  // thread only, cleared by the worker at the end of run().
  bool inService() const { return inService_.load(); }
  void beginService() { inService_.store(true); }
  void endService() { inService_.store(false); }

  void markBusy() { busy_.fetch_add(1); }
  void markIdle() { busy_.fetch_sub(1); }
  bool isIdle() const { return busy_.load() == 0; }
  int busyCount() const { return busy_.load(); }
  bool isConnected() const { return connected_.load() == 1; }

  int socket() const { return socket_.load(); }
  void setProtocolFlag(int flag) { protocolFlag_ = flag; }
  int protocolFlag() const { return protocolFlag_; }
  WexelParser* parser() const { return parser_; }
  WConnectionManager* manager() const { return manager_; }
  const sockaddr_in& serverAddress() const { return server_; }
  std::string serverHost() const;
  int serverPort() const;
  // " (ip:port)", as reports of this channel's failures end.
  std::string addressSuffix() const;
  // The level-2 line of a socket error, citing the request's source name and
  // the fixed line number its log readers know.
  void logSocketError(const std::string& text, int code, const char* source, int line) const;
  sys::WMutex& sendLock() { return sendLock_; }
  std::string sendText() const { return std::string(sendBuffer_.data(), sendLength_); }
  size_t sendCapacity() const { return sendBuffer_.size(); }
  size_t pendingPackets() const { return pending_.size(); }

  const std::string& url() const { return url_; }
  void setUrl(const std::string& url) { url_ = url; }
  const std::string& extraHeaders() const { return extraHeaders_; }
  void setExtraHeaders(const std::string& lines) { extraHeaders_ = lines; }

 protected:
  friend class WPendingQueue;

  // Sends the whole of bytes on the socket; false after reporting the error.
  bool sendAll(const char* bytes, size_t length);
  // Opens, configures and connects the socket; false after reporting.
  bool openSocket(bool async);
  bool unregisterSelf();
  void setConnected(bool connected) { connected_.store(connected ? 1 : 0); }
  void noteActivity();
  void freeSendBuffer();
  void setSendText(const std::string& text);
  // Closes the socket under the socket lock; answers whether one was open.
  bool closeSocket();
  unsigned channelId() const { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)); }

  std::atomic<int32_t> connected_{0};
  std::atomic<int32_t> socket_{-1};
  std::vector<char> sendBuffer_;
  size_t sendLength_ = 0;
  WConnectionManager* manager_;
  WexelParser* parser_;
  sys::WMutex sendLock_;  // send buffer, pending queue, connected flag while a connect completes
  sockaddr_in server_;
  sys::WMutex ioLock_;  // one reader at a time: read, parse and the listener calls it makes
  std::atomic<int32_t> busy_{0};
  std::atomic<bool> inService_{false};
  std::atomic<int64_t> lastActivityMs_{0};  // steady clock, of the last byte received
  int32_t protocolFlag_ = 0;
  WPendingQueue pending_;
  std::string url_;
  std::string extraHeaders_;
  // Guards the socket (and a TLS object) while one thread reads, writes or
  // closes it: a leaf lock, never held while taking another.
  sys::WMutex socketLock_;
};

// The library's User-Agent text, set once at start-up.
void setUserAgent(const std::string& productString);
const std::string& userAgent();

}  // namespace wexel
