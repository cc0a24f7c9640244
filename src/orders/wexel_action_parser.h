// The reply of an order action: two headers name the order (X-Order-NO, the
// server's number; X-Order-NO-EXT, the caller's cookie), and a short body
// "<tag>message<..." names the action the server performed and, when not
// empty, why it refused. One parser serves a one-shot request (one reply) or
// the streaming order channel (a reply per action, on one connection).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "net/wexel_parser.h"
#include "wexel/wexel_listeners.h"

namespace wexel {

// Told of every reply the parser reported, in order (the streaming channel
// matches replies to the actions it sent).
class WActionReplyObserver {
 public:
  virtual void onActionReply(int64_t orderNo, WCookie cookie) = 0;
  virtual ~WActionReplyObserver() = default;
};

class WActionParser : public WexelParser {
 public:
  WActionParser(WexelOrderActionResultListener* listener, const std::string& portfolio, const std::string& exchange,
                const std::string& security, int64_t orderNo, WCookie cookie, WContext context);

  int onHeaderField(const char* name, const char* value) override;
  // Bytes of this reply's body taken (never more than offered, never past
  // its Content-Length); 0 for no bytes.
  int parseBody(const char* data, int count) override;
  // To the listener's onError with the cookie and context; answers 0.
  int onError(int code, const char* text) override;
  // Status 500 carries the refusal as a normal reply; any other status is the
  // base behaviour (reported with its reason, the channel closes).
  int onErrorResponse(const char* text, int count, const char* status, const char* reason) override;

  void setObserver(WActionReplyObserver* observer) { observer_ = observer; }
  // Whether any outcome (a reply or an error) reached the listener.
  bool answered() const { return answered_.load(); }
  // True for the first caller only: who reports an outcome that is not a reply.
  bool claimOutcome() { return !answered_.exchange(true); }
  int64_t orderNo() const { return orderNo_; }
  WCookie cookie() const { return cookie_; }
  const std::string& charset() const { return charset_; }

 private:
  // The message is complete in body_: tell the listener and the observer.
  void report(size_t tagEnd, size_t messageEnd);
  void nextReply();

  WexelOrderActionResultListener* listener_;
  std::string portfolio_;
  std::string exchange_;
  std::string security_;
  std::string body_;
  std::string charset_;
  int64_t orderNo_;
  WCookie cookie_;
  WContext context_;
  int32_t contentLength_ = 0;
  int64_t bodyTaken_ = 0;  // bytes of the current reply's body taken so far
  bool replied_ = false;   // the current reply was reported
  std::atomic<bool> answered_{false};
  WActionReplyObserver* observer_ = nullptr;
};

}  // namespace wexel
