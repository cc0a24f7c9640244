// The set of open channels of one client instance and the single I/O thread
// that serves them: it waits on every socket, completes connects, hands
// readable channels to the worker pool, closes failed ones and deletes closed
// channels once no worker uses them.
#pragma once

#include <atomic>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "q3_socket.h"
#include "wexel/wexel_config.h"
#include "core/wexel_sys.h"
#include "core/wexel_thread_pool.h"
#include "net/wexel_tls_verify.h"

namespace wexel {

class WHttpRequest;
class WConnectionManager;
class WInstance;

// What the manager needs of the instance that owns it.
class WManagerOwner {
 public:
  virtual ~WManagerOwner() = default;
  // The session query text every GET request carries.
  virtual std::string sessionParameters() = 0;
  // Periodic work of the I/O thread (the keep-alive), once per loop pass.
  virtual void tick() = 0;
  // The owner as the client instance it is (null for other owners).
  virtual WInstance* asInstance() { return nullptr; }
};

class WHttpRequestFactory {
 public:
  virtual ~WHttpRequestFactory() = default;
  // A new request (with its parser) bound to the manager, or null.
  virtual WHttpRequest* create(WConnectionManager* manager) = 0;
};

class WConnectionManager : public sys::WRunnable {
 public:
  static constexpr int kPassTimeoutMs = 5;
  static constexpr uint32_t kIdleSleepMs = 100;
  static constexpr size_t kMaxWatched = 64;
  static_assert(kMaxWatched + 1 <= q3::kMaxSocketWatches, "the wake signal takes one more entry");

  WConnectionManager(WManagerOwner* owner, const WInstanceConfig& config);
  ~WConnectionManager() override;

  bool start();
  bool stop();
  bool registerChannel(WHttpRequest* channel);
  bool unregisterChannel(WHttpRequest* channel);
  bool isRegistered(WHttpRequest* channel);
  // When the channel is still registered, marks it busy (so the garbage
  // collector keeps it) and answers true; the caller then calls markIdle.
  bool acquireRegistered(WHttpRequest* channel);
  // True on the I/O thread or a pool worker of this manager.
  bool runsOnThisThread();
  bool sendRequest(WHttpRequest* request, bool async);
  bool createAndSend(WHttpRequestFactory& factory, WHttpRequest** created, bool async);
  std::string sessionParameters();
  WManagerOwner* instance() const { return owner_; }
  WThreadPool& pool() { return pool_; }
  const WInstanceConfig& config() const { return config_; }
  // The certificate check of TLS channels; null unless tlsVerify is set.
  WTlsVerifier* tlsVerifier() const { return tlsVerifier_.get(); }

  // A worker gives a channel back after reading it: wakes the I/O loop so
  // that it polls the channel again at once.
  void channelReturned() { wake_.post(); }

  // The I/O loop.
  void run(void* argument) override;
  // Fails the channels that have gone without a byte for longer than their
  // silence limit (checked a few times a second by the I/O loop).
  void expireSilentChannels(int64_t nowMs);

 private:
  struct Watched {
    int socket;
    WHttpRequest* channel;
  };

  void collectGarbage();
  // Walks the registry into the poll list, after the wake signal: at most 64
  // channels, none that a worker is reading, starting where the last pass
  // stopped. False when no channel is in it.
  bool buildWatchList();
  // Sorts the polled channels into ready and failed, completing connects.
  void classifyChannels();
  void serviceChannels();

  sys::WMutex registryLock_;  // registry_ and garbage_; never held while a channel closes
  int64_t lastSilenceCheckMs_ = 0;  // the I/O thread's own
  std::atomic<int32_t> running_{1};
  // Ends the loop's wait when a channel registers or comes back from a
  // worker, or the manager stops. Always the first entry of the poll list.
  q3::WakeSignal wake_;
  std::map<int, WHttpRequest*> registry_;
  std::list<WHttpRequest*> garbage_;
  sys::WThreadRecord ioThread_;
  WManagerOwner* owner_;
  WThreadPool pool_;
  WInstanceConfig config_;
  std::unique_ptr<WTlsVerifier> tlsVerifier_;

  // Reused by every pass of the loop (I/O thread only).
  int nextWatchedSocket_ = 0;  // where the next pass starts its walk
  std::vector<Watched> watched_;
  std::vector<q3::SocketWatch> watches_;
  std::vector<WHttpRequest*> ready_;
  std::vector<WHttpRequest*> failed_;
};

}  // namespace wexel
