#include "net/wexel_connection_manager.h"

#include <algorithm>
#include <cerrno>

#include "net/wexel_http_request.h"
#include "q3_kernel.h"
#include "wexel/wexel_errors.h"
#include "core/wexel_log.h"

namespace wexel {

namespace {

unsigned addressOf(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

constexpr int kSctpProtocol = 132;

}  // namespace

WConnectionManager::WConnectionManager(WManagerOwner* owner, const WInstanceConfig& config)
    : owner_(owner),
      pool_(config.workerThreads),
      config_(config),
      tlsVerifier_(config.tlsVerify ? std::make_unique<WTlsVerifier>(config.tlsCaFile) : nullptr) {
  watched_.reserve(kMaxWatched + 1);
  watches_.reserve(kMaxWatched + 1);
  ready_.reserve(100);
  failed_.reserve(10);
}

WConnectionManager::~WConnectionManager() {
  if (ioThread_.started) stop();
}

bool WConnectionManager::start() {
  running_.store(1);
  pool_.startWorkers();
  return ioThread_.startThread(this, this);
}

bool WConnectionManager::stop() {
  running_.store(0);
  wake_.post();
  ioThread_.join();
  pool_.stopWorkers();
  for (;;) {
    WHttpRequest* first = nullptr;
    {
      sys::WLock hold(registryLock_);
      if (registry_.empty()) break;
      first = registry_.begin()->second;
    }
    unregisterChannel(first);
  }
  sys::WLock hold(registryLock_);
  for (WHttpRequest* channel : garbage_) delete channel;  // no worker runs any more
  garbage_.clear();
  return true;
}

bool WConnectionManager::registerChannel(WHttpRequest* channel) {
  if (!channel) return false;
  sys::WLock hold(registryLock_);
  logDetail("ConnectionManager registered new connection 0x%X", addressOf(channel));
  const bool added = registry_.emplace(channel->socket(), channel).second;
  wake_.post();  // a waiting loop watches it at once instead of after its wait
  return added;
}

// The channel is closed outside the registry lock: closing takes the
// channel's own locks, and a thread that holds a channel's send lock may wait
// for the registry lock (a failed send), so nesting the other way could deadlock.
// The garbage collector cannot delete the channel meanwhile: it is appended
// only after its close returned.
bool WConnectionManager::unregisterChannel(WHttpRequest* channel) {
  {
    sys::WLock hold(registryLock_);
    auto entry = registry_.find(channel->socket());
    if (entry != registry_.end() && entry->second == channel) {
      logDetail("ConnectionManager unregister connection 0x%X", addressOf(channel));
      registry_.erase(entry);
    }
  }
  channel->close();
  if (!channel->isCollectable()) return true;
  sys::WLock hold(registryLock_);
  if (std::find(garbage_.begin(), garbage_.end(), channel) != garbage_.end()) {
    logWarning("Resource 0x%X already in garbage collector", addressOf(channel));
  } else {
    garbage_.push_back(channel);
  }
  return true;
}

bool WConnectionManager::isRegistered(WHttpRequest* channel) {
  sys::WLock hold(registryLock_);
  return std::any_of(registry_.begin(), registry_.end(), [channel](const auto& e) { return e.second == channel; });
}

bool WConnectionManager::acquireRegistered(WHttpRequest* channel) {
  sys::WLock hold(registryLock_);
  if (!channel || std::none_of(registry_.begin(), registry_.end(), [channel](const auto& e) { return e.second == channel; })) {
    return false;
  }
  channel->markBusy();
  return true;
}

bool WConnectionManager::runsOnThisThread() {
  uint32_t self = sys::currentThreadId();
  return (ioThread_.started && ioThread_.threadId == self) || pool_.isWorkerThread(self);
}

// The request is held busy for the whole call: once connect has registered
// it, the I/O thread may fail it at once, and the garbage collector deletes
// only idle channels.
bool WConnectionManager::sendRequest(WHttpRequest* request, bool async) {
  if (!request) return false;
  request->markBusy();
  if (config_.useSctp) request->setProtocolFlag(kSctpProtocol);
  bool sent = false;
  if (!request->prepareRequest() || (!request->isConnected() && !request->connect(true, async))) {
    unregisterChannel(request);
  } else {
    sent = request->sendOrQueue();
  }
  request->markIdle();  // the last touch: the collector may delete it from here on
  return sent;
}

bool WConnectionManager::createAndSend(WHttpRequestFactory& factory, WHttpRequest** created, bool async) {
  WHttpRequest* request = factory.create(this);
  if (created) *created = request;
  return sendRequest(request, async);
}

std::string WConnectionManager::sessionParameters() {
  return owner_ ? owner_->sessionParameters() : std::string();
}

void WConnectionManager::collectGarbage() {
  sys::WLock hold(registryLock_);
  for (auto it = garbage_.begin(); it != garbage_.end();) {
    if ((*it)->isIdle()) {
      logDetail("Garbage collect: release resource 0x%X..", addressOf(*it));
      delete *it;
      it = garbage_.erase(it);
    } else {
      ++it;
    }
  }
}

// One pass watches at most kMaxWatched channels. Always taking the first 64
// of the registry would leave every channel past the 64th unwatched for as
// long as the first ones stay open, so each pass starts where the last one
// stopped and wraps around: every channel is watched within a few passes.
// A channel a worker is reading stays readable until the worker has read it;
// polling it meanwhile would only hand it over again and again.
bool WConnectionManager::buildWatchList() {
  watched_.clear();
  watches_.clear();
  watched_.push_back({wake_.descriptor(), nullptr});
  watches_.push_back({wake_.descriptor(), true, false, false, false, false});
  sys::WLock hold(registryLock_);
  auto next = registry_.lower_bound(nextWatchedSocket_);
  for (size_t n = 0; n < registry_.size() && watched_.size() <= kMaxWatched; ++n, ++next) {
    if (next == registry_.end()) next = registry_.begin();
    const auto& [socket, channel] = *next;
    if (channel->inService()) continue;
    const bool connected = channel->isConnected();
    watched_.push_back({socket, channel});
    watches_.push_back({socket, connected, !connected, false, false, false});
  }
  nextWatchedSocket_ = next == registry_.end() ? 0 : next->first;
  return watched_.size() > 1;
}

// Every polled channel is looked up again under the lock, so a channel that
// left the registry meanwhile (also during this walk, when a completing
// connect fails its first send) is skipped instead of touched.
void WConnectionManager::classifyChannels() {
  ready_.clear();
  failed_.clear();
  if (watches_[0].readable) wake_.drain();
  sys::WLock hold(registryLock_);
  for (size_t i = 1; i < watched_.size() && !registry_.empty(); ++i) {
    auto entry = registry_.find(watched_[i].socket);
    if (entry == registry_.end() || entry->second != watched_[i].channel) continue;
    WHttpRequest* channel = entry->second;
    const q3::SocketWatch& w = watches_[i];
    if (w.writable) {
      if (!channel->onConnectReady()) failed_.push_back(channel);
    } else if (w.failed) {
      failed_.push_back(channel);
    } else if (w.readable) {
      ready_.push_back(channel);
    }
  }
}

void WConnectionManager::serviceChannels() {
  for (WHttpRequest* channel : ready_) {
    channel->markBusy();
    channel->beginService();
    if (!pool_.submit(channel)) {
      channel->endService();
      channel->markIdle();
    }
  }
  for (WHttpRequest* channel : failed_) {
    // The error to report is the socket's pending one, not whatever an
    // earlier call on this thread left behind.
    errno = 0;
    channel->reportSocketError();
    unregisterChannel(channel);
  }
}

void WConnectionManager::run(void*) {
  while (running_.load() == 1) {
    const int timeoutMs = buildWatchList() ? kPassTimeoutMs : static_cast<int>(kIdleSleepMs);
    if (q3::waitSockets(watches_.data(), watches_.size(), timeoutMs) >= 1) {
      classifyChannels();
      serviceChannels();
    }
    collectGarbage();
    expireSilentChannels(static_cast<int64_t>(q3::monotonicMilliseconds()));
    if (owner_) owner_->tick();
  }
}

// A silent channel goes as a failed read does: out of the registry first,
// then its report, on this thread. Channels a worker holds are looked at in
// a later pass; bytes that arrive meanwhile keep them.
void WConnectionManager::expireSilentChannels(int64_t nowMs) {
  constexpr int64_t kCheckEveryMs = 250;
  if (nowMs - lastSilenceCheckMs_ < kCheckEveryMs) return;
  lastSilenceCheckMs_ = nowMs;
  std::vector<std::pair<WHttpRequest*, int>> silent;
  {
    sys::WLock hold(registryLock_);
    for (const auto& [socket, channel] : registry_) {
      const int limit = channel->silenceLimitMs(config_);
      if (limit <= 0 || !channel->isIdle() || channel->silentForMs(nowMs) <= limit) continue;
      channel->markBusy();
      silent.emplace_back(channel, limit);
    }
  }
  for (const auto& [channel, limit] : silent) {
    const std::string text = std::string(kTextSilentServer) + " for " +
                             (limit % 1000 == 0 ? std::to_string(limit / 1000) + " s" : std::to_string(limit) + " ms");
    logWarning("Channel 0x%X: %s", static_cast<unsigned>(reinterpret_cast<uintptr_t>(channel)), text.c_str());
    unregisterChannel(channel);
    channel->onError(kErrorTimeout, text);
    channel->markIdle();
  }
}

}  // namespace wexel
