// A one-shot query: a GET whose compressed reply is a list ended by an end
// record. Its parser claims the outcome (the end record, an error or the close,
// whichever comes first); the request reports a socket error, or the server
// closing before the end record, to the listener, so nobody waits for ever.
#pragma once

#include <string>

#include "net/wexel_get_request.h"
#include "wexel/wexel_errors.h"
#include "wexel/wexel_listeners.h"

namespace wexel {

template <typename Parser, typename Listener>
class WQueryRequest : public WGetRequest<Http> {
 public:
  WQueryRequest(WConnectionManager* manager, Parser* parser, const sockaddr_in& server, const std::string& url,
                Listener* listener, WContext context, const char* source, int line)
      : WGetRequest<Http>(manager, parser, server),
        query_(parser),
        listener_(listener),
        context_(context),
        source_(source),
        line_(line) {
    setUrl(url);
  }

  void onError(int code, const std::string& text) override {
    if (code != kErrorClosed) logSocketError(text, code, source_, line_);
    if (query_->claimOutcome() && listener_) listener_->onError(context_, text + addressSuffix(), code);
  }

 private:
  Parser* query_;  // owned as the channel's parser
  Listener* listener_;
  WContext context_;
  const char* source_;
  int line_;
};

}  // namespace wexel
