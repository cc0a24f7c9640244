// What the four feed record parsers share: the manager they reach the
// instance through, the feed whose subscriptions their records name, and the
// report of a dead feed to its listeners.
#pragma once

#include "net/wexel_connection_manager.h"
#include "market/wexel_http_feed_request.h"
#include "codec/wexel_lz77_parser.h"

namespace wexel {

class WInstance;

class WFeedParser : public WLZ77Parser {
 public:
  explicit WFeedParser(WConnectionManager* manager) : manager_(manager) {}

  void bindFeed(WHttpFeedRequest* feed) { feed_ = feed; }
  WHttpFeedRequest* feed() const { return feed_; }
  WConnectionManager* manager() const { return manager_; }
  // The instance that owns the manager, or null (a parser used on its own).
  WInstance* instance() const;

  // A corrupt block or a refused response ends the feed: besides the log
  // line, every listener hears it (-1001 and the parse-error or status text),
  // so a dead feed is never mistaken for a quiet market.
  int onError(int code, const char* text) override;

 protected:
  // Result for a record that did not read: 0 while fewer than 1,024 bytes are
  // at hand (wait for more), -1001 from then on.
  static int needMore(int size) { return size < kIncompleteLimit ? 0 : kErrorMalformed; }

 private:
  WConnectionManager* manager_;
  WHttpFeedRequest* feed_ = nullptr;
};

}  // namespace wexel
