// Decoded feed records fanned out to the listeners of the subscription they
// name, on the worker thread that parsed them.
#include "instance/wexel_winstance.h"
#include "market/wexel_http_feed_request.h"

namespace wexel {

namespace {

// Calls `deliver` on every listener of subscription `id` of the feed the
// record came on. The feed's reading side holds the subscription's content,
// so none of the feed's locks is held while the listeners run; the feed
// stores them untyped, and each feed kind holds listeners of one type only.
template <typename Listener, typename Deliver>
void fanOut(WHttpFeedRequest* feed, int id, Deliver deliver) {
  const WHttpFeedRequest::WFeedContent* content = feed ? feed->findSubscription(id) : nullptr;
  if (!content) return;
  for (void* listener : content->listeners) {
    if (listener) deliver(static_cast<Listener*>(listener), *content);
  }
}

using Content = WHttpFeedRequest::WFeedContent;

}  // namespace

void WInstance::dispatchTrades(WHttpFeedRequest* feed, int id, const std::vector<WTradeTick>& ticks) {
  fanOut<WexelTradesListener>(feed, id, [&](WexelTradesListener* l, const Content& c) {
    l->onTrades(c.first, c.second, ticks);
  });
}

void WInstance::dispatchBidAsks(WHttpFeedRequest* feed, int id, const std::vector<WBidAskRow>& rows) {
  fanOut<WexelOrdersListener>(feed, id, [&](WexelOrdersListener* l, const Content& c) {
    l->onBidAsks(c.first, c.second, rows);
  });
}

void WInstance::dispatchQuote(WHttpFeedRequest* feed, int id, const WQuote& quote) {
  fanOut<WexelQuotesListener>(feed, id, [&](WexelQuotesListener* l, const Content& c) {
    l->onQuote(c.first, c.second, quote);
  });
}

void WInstance::dispatchMessage(WHttpFeedRequest* feed, int id, const WFeedMessage& message) {
  fanOut<WexelMessagesListener>(feed, id, [&](WexelMessagesListener* l, const Content& c) {
    l->onMessage(c.first, message);
  });
}

}  // namespace wexel
