// The record parsers of the four streaming feeds. Each reads one record per
// call from the decoded feed stream and hands it to the client instance, which
// finds the listeners of the subscription the record names. Quotes and
// messages name their subscription in every record; trade ticks and
// order-book rows come in groups that a subscription number opens and an
// empty record closes.
#pragma once

#include <cstdint>
#include <vector>

#include "market/wexel_feed_parser_base.h"
#include "wexel/wexel_records.h"

namespace wexel {

// The group number of trades and order-book parsers while no group is open.
inline constexpr int32_t kNoGroup = -1;

class WQuotesFeedParser : public WFeedParser {
 public:
  explicit WQuotesFeedParser(WConnectionManager* manager);
  // A quote record in its short (17 values) or long (33 values) layout.
  int parseRecord(const char* data, int size) override;

 protected:
  // To the instance's dispatch; skipped for a parser without an instance.
  virtual void deliverQuote(int subscription, const WQuote& quote);
};

class WTradesFeedParser : public WFeedParser {
 public:
  explicit WTradesFeedParser(WConnectionManager* manager);
  // A group start, a tick, a group end, or a keep-alive reply at any time.
  int parseRecord(const char* data, int size) override;
  // The subscription number of the open group, or kNoGroup.
  int32_t openGroup() const { return group_; }

 protected:
  // The ticks of a closed group, the last received first.
  virtual void deliverTrades(int subscription, const std::vector<WTradeTick>& ticks);

 private:
  int readKeepAliveReply(WNibbleCursor& cursor, int size);
  int readTick(WNibbleCursor& cursor, int size);
  int closeGroup(WNibbleCursor& cursor, int size);

  std::vector<WTradeTick> ticks_;
  int32_t group_ = kNoGroup;
};

class WOrdersFeedParser : public WFeedParser {
 public:
  explicit WOrdersFeedParser(WConnectionManager* manager);
  // A group start, an order-book row or a group end.
  int parseRecord(const char* data, int size) override;
  int32_t openGroup() const { return group_; }

 protected:
  // The rows of a closed group, in arrival order.
  virtual void deliverBidAsks(int subscription, const std::vector<WBidAskRow>& rows);

 private:
  int readRow(WNibbleCursor& cursor, int size);
  int closeGroup(WNibbleCursor& cursor, int size);

  std::vector<WBidAskRow> rows_;
  int32_t group_ = kNoGroup;
};

class WMessagesFeedParser : public WFeedParser {
 public:
  explicit WMessagesFeedParser(WConnectionManager* manager);
  int parseRecord(const char* data, int size) override;

 protected:
  virtual void deliverMessage(int subscription, const WFeedMessage& message);

 private:
  int32_t subscription_ = 0;  // of the record being read
};

}  // namespace wexel
