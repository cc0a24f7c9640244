#include "market/wexel_feed_parser_base.h"


namespace wexel {

WInstance* WFeedParser::instance() const {
  return manager_ && manager_->instance() ? manager_->instance()->asInstance() : nullptr;
}

int WFeedParser::onError(int code, const char* text) {
  WLZ77Parser::onError(code, text);
  if (feed_) feed_->reportToListeners(code, text);
  return code;
}

}  // namespace wexel
