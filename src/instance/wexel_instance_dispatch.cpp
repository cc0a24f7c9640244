#include "market/wexel_http_feed_request.h"
#include "instance/wexel_winstance.h"

namespace wexel {

// ---- record dispatch ---------------------------------------------------------

namespace {

// The listeners of subscription `id` of the feed the record came on, copied
// so that none of the feed's locks is held while they run.
bool listenersOf(WHttpFeedRequest* feed, int id, WHttpFeedRequest::WFeedContent& content) {
  return feed && feed->findSubscription(id, content);
}

}  // namespace

void WInstance::dispatchTrades(WHttpFeedRequest* feed, int id, const std::vector<WTradeTick>& ticks) {
  WHttpFeedRequest::WFeedContent content;
  if (!listenersOf(feed, id, content)) return;
  for (void* l : content.listeners) {
    if (l) static_cast<WexelTradesListener*>(l)->onTrades(content.first, content.second, ticks);
  }
}

void WInstance::dispatchBidAsks(WHttpFeedRequest* feed, int id, const std::vector<WBidAskRow>& rows) {
  WHttpFeedRequest::WFeedContent content;
  if (!listenersOf(feed, id, content)) return;
  for (void* l : content.listeners) {
    if (l) static_cast<WexelOrdersListener*>(l)->onBidAsks(content.first, content.second, rows);
  }
}

void WInstance::dispatchQuote(WHttpFeedRequest* feed, int id, const WQuote& quote) {
  WHttpFeedRequest::WFeedContent content;
  if (!listenersOf(feed, id, content)) return;
  for (void* l : content.listeners) {
    if (l) static_cast<WexelQuotesListener*>(l)->onQuote(content.first, content.second, quote);
  }
}

void WInstance::dispatchMessage(WHttpFeedRequest* feed, int id, const WFeedMessage& message) {
  WHttpFeedRequest::WFeedContent content;
  if (!listenersOf(feed, id, content)) return;
  for (void* l : content.listeners) {
    if (l) static_cast<WexelMessagesListener*>(l)->onMessage(content.first, message);
  }
}

}  // namespace wexel
