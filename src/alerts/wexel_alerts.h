// Server-side price alerts of a portfolio (add, remove, list) and the messages
// of a message channel by number or time range. Adding and removing are
// action requests answered with the short text reply of the order actions;
// listing alerts and reading messages are compressed queries.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "codec/wexel_lz77_parser.h"
#include "net/wexel_connection_manager.h"
#include "net/wexel_get_request.h"
#include "orders/wexel_action_parser.h"
#include "wexel/wexel_instance.h"

namespace wexel {

// ---- URLs --------------------------------------------------------------------------
// Each answers the empty string for a request that cannot be written: a text
// that would break the URL, an index outside its list, or a URL longer than
// its buffer.

std::string getAlertsUrl(int64_t alertNo);
std::string addAlertUrl(const std::string& portfolio, const std::string& exchange, const std::string& security,
                        int64_t alertNo, const WAlertFields& fields);
std::string removeAlertUrl(const std::string& portfolio, int64_t alertNo);
std::string messagesByNumberUrl(const std::string& channel, int64_t from, int64_t to);
std::string messagesByTimeUrl(const std::string& channel, PackedTime since, PackedTime till);

// ---- add and remove ----------------------------------------------------------------

// Hands an action reply to an alert-result listener with the caller's context.
class WActionAlertsListener : public WexelOrderActionResultListener {
 public:
  WActionAlertsListener(WexelAlertResultListener* listener, WContext context)
      : listener_(listener), context_(context) {}
  void onActionResult(void*, const std::string& portfolio, const std::string&, const std::string&, int64_t alertNo,
                      const std::string& message, const std::string& action, WCookie, WContext) override {
    if (listener_) listener_->onResult(context_, portfolio, alertNo, message, action);
  }
  void onError(WCookie, WContext, const std::string& message, int code) override {
    if (listener_) listener_->onError(context_, message, code);
  }

 private:
  WexelAlertResultListener* listener_;
  WContext context_;
};

// One add or remove: the request owns the adapter its parser reports to, so
// it lives exactly as long as the reply can come.
class WAlertActionRequest : public WGetRequest<Http> {
 public:
  WAlertActionRequest(WConnectionManager* manager, const sockaddr_in& server, WexelAlertResultListener* listener,
                      const std::string& portfolio, int64_t alertNo, WContext context);
  // Socket errors, and the server closing before the reply, reach the listener.
  void onError(int code, const std::string& text) override;

 private:
  WActionParser* reply() const { return static_cast<WActionParser*>(parser()); }
  std::unique_ptr<WActionAlertsListener> adapter_;
};

class WAlertActionFactory : public WHttpRequestFactory {
 public:
  WAlertActionFactory(std::string url, WexelAlertResultListener* listener, const std::string& portfolio,
                      int64_t alertNo, WContext context, const sockaddr_in& server);
  bool valid() const { return !url_.empty(); }
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  std::string url_;
  WexelAlertResultListener* listener_;
  std::string portfolio_;
  int64_t alertNo_;
  WContext context_;
  sockaddr_in server_;
};
using WAddAlertFactory = WAlertActionFactory;
using WRemoveAlertFactory = WAlertActionFactory;

// ---- list alerts -------------------------------------------------------------------

class WAlertsParser : public WLZ77Parser {
 public:
  WAlertsParser(WexelAlertsListener* listener, WContext context);
  // An alert, or the end nibble alone, which delivers the list.
  int parseRecord(const char* data, int size) override;
  int onError(int code, const char* text) override;
  bool claimOutcome() { return !answered_.exchange(true); }

 private:
  WexelAlertsListener* listener_;
  WContext context_;
  std::vector<WAlert> alerts_;
  std::atomic<bool> answered_{false};
};

// ---- read messages -----------------------------------------------------------------

// The reply mixes fields with raw text: a message is its number, its time and
// a group mark, then three texts each ended by a zero byte and the two later
// ones opened by a group mark, then the rest of its record. The state says
// what comes next; a text split across decode steps is appended piece by piece.
class WGetMessagesParser : public WLZ77Parser {
 public:
  WGetMessagesParser(WexelMessagesQueryListener* listener, const std::string& channel, WContext context);
  int parseRecord(const char* data, int size) override;
  int onError(int code, const char* text) override;
  bool claimOutcome() { return !answered_.exchange(true); }
  int32_t state() const { return state_; }

 private:
  int readHeadOrEnd(const char* data, int size);
  int readText(const char* data, int size);
  int readMark(const char* data, int size);
  int readRest(const char* data, int size);

  WexelMessagesQueryListener* listener_;
  std::string channel_;
  WContext context_;
  std::vector<WChannelMessage> messages_;
  int32_t state_ = 0;
  std::atomic<bool> answered_{false};
};

// A compressed query of this family: its parser claims the outcome; the
// request reports a socket error, or a close before the end, once.
template <typename Parser, typename Listener>
class WAlertsQueryRequest : public WGetRequest<Http> {
 public:
  WAlertsQueryRequest(WConnectionManager* manager, Parser* parser, const sockaddr_in& server, const std::string& url,
                      Listener* listener, WContext context);
  void onError(int code, const std::string& text) override;

 private:
  Parser* query_;  // owned as the channel's parser
  Listener* listener_;
  WContext context_;
};
using WGetAlertsRequest = WAlertsQueryRequest<WAlertsParser, WexelAlertsListener>;
using WGetMessagesRequest = WAlertsQueryRequest<WGetMessagesParser, WexelMessagesQueryListener>;

class WGetAlertsFactory : public WHttpRequestFactory {
 public:
  WGetAlertsFactory(int64_t alertNo, WexelAlertsListener* listener, WContext context, const sockaddr_in& server);
  bool valid() const { return !url_.empty(); }
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  std::string url_;
  WexelAlertsListener* listener_;
  WContext context_;
  sockaddr_in server_;
};

class WGetMessagesFactory : public WHttpRequestFactory {
 public:
  WGetMessagesFactory(std::string url, const std::string& channel, WexelMessagesQueryListener* listener,
                      WContext context, const sockaddr_in& server);
  bool valid() const { return !url_.empty(); }
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  std::string url_;
  std::string channel_;
  WexelMessagesQueryListener* listener_;
  WContext context_;
  sockaddr_in server_;
};

}  // namespace wexel
