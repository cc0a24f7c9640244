#include "market/wexel_feed_parser.h"

#include <algorithm>
#include <iterator>

#include "core/wexel_log.h"
#include "codec/wexel_record_layout.h"
#include "core/wexel_statistics.h"
#include "instance/wexel_winstance.h"

namespace wexel {

namespace {

constexpr char kSourceName[] = "src/wexel_feed_parser";
constexpr auto kOptional = WPresence::kOptional;
constexpr auto kOptionalReported = WPresence::kOptionalReported;

// ---- layouts ------------------------------------------------------------
// Each table has its own range of parse-error locations (first row = the number
// beside it). Hosts see them as "Parse error: src/wexel_feed_parser, line N",
// so they stay fixed however this file changes.

// A quote's header and a group start: the subscription number.
struct WSubscriptionHeader {
  int32_t subscription;
};

constexpr int kQuoteHeaderAt = 100;
constexpr int kTradesGroupStartAt = 500;
constexpr int kOrdersGroupStartAt = 800;
constexpr WField<WSubscriptionHeader> kSubscriptionHeader[] = {
    {&WSubscriptionHeader::subscription},
    {WRecordEnd{}},
};

constexpr int kShortQuoteAt = 200;
constexpr WField<WQuote> kShortQuote[] = {
    {&WQuote::bid},
    {&WQuote::ask},
    {&WQuote::open},
    {&WQuote::high},
    {&WQuote::low},
    {&WQuote::last},
    {&WQuote::volume},
    {&WQuote::time},
    {&WQuote::close},
    {&WQuote::bidSize},
    {&WQuote::askSize},
    {&WQuote::extra13},
    {&WQuote::extra14},
    {&WQuote::extra15},
    {&WQuote::openInterest},
    {&WQuote::size},
    {&WQuote::extra18},
    {WRecordEnd{}},
};
// The fields of a short quote: every row but the end.
constexpr int kShortQuoteFields = static_cast<int>(std::size(kShortQuote)) - 1;
// What the short layout does not carry and reads as the empty value; every
// other field it lacks stays 0.
constexpr double WQuote::*kShortQuoteEmpty[] = {
    &WQuote::extra17,   &WQuote::volatility,       &WQuote::theoreticalPrice,
    &WQuote::buyMargin, &WQuote::sellMargin,       &WQuote::baseMargin,
    &WQuote::backedBaseMargin, &WQuote::lowLimit, &WQuote::highLimit,
};

constexpr int kLongQuoteAt = 300;
constexpr WField<WQuote> kLongQuote[] = {
    {&WQuote::open},
    {&WQuote::high},
    {&WQuote::low},
    {&WQuote::close},
    {&WQuote::time},
    {&WQuote::last},
    {&WQuote::size},
    {&WQuote::volume},
    {&WQuote::bid},
    {&WQuote::ask},
    {&WQuote::bidSize},
    {&WQuote::askSize},
    {&WQuote::extra13},
    {&WQuote::extra14},
    {&WQuote::extra15},
    {&WQuote::openInterest},
    {&WQuote::extra18},
    {&WQuote::volatility},
    {&WQuote::extra17},
    {&WQuote::extra19},
    {&WQuote::extraTime20},
    {&WQuote::extraTime22},
    {&WQuote::theoreticalPrice},
    {&WQuote::buyMargin},
    {&WQuote::sellMargin},
    {&WQuote::baseMargin},
    {&WQuote::backedBaseMargin},
    {&WQuote::extra28},
    {&WQuote::lowLimit},
    {&WQuote::highLimit},
    {&WQuote::extra31, kOptional},
    {&WQuote::extra32, kOptional},
    {&WQuote::tradingStatus, kOptional},
    {WRecordRest{}},
};

// The server's answer to the keep-alive line of the all-trades feed.
struct WKeepAliveReply {
  PackedTime serverTime;
};

constexpr int kKeepAliveReplyAt = 400;
constexpr WField<WKeepAliveReply> kKeepAliveReply[] = {
    {WUnusedSmall{}},
    {WUnusedInt32{}},
    {&WKeepAliveReply::serverTime},
    {WRecordEnd{}},
};

constexpr int kTickAt = 600;
constexpr WField<WTradeTick> kTick[] = {
    {&WTradeTick::time},
    {&WTradeTick::price},
    {&WTradeTick::volume},
    {&WTradeTick::tradeNumber},
    {&WTradeTick::openInterest, kOptional},
    {&WTradeTick::action, kOptional},
    {WRecordRest{}},
};

// A group end: the end nibble alone.
struct WGroupEnd {};

constexpr int kTradesGroupEndAt = 700;
constexpr int kOrdersGroupEndAt = 1000;
constexpr WField<WGroupEnd> kGroupEnd[] = {
    {WRecordEnd{}},
};

// An order-book row as it comes: the side is a number, 1 for a bid.
struct WBookRowFields {
  int32_t side;
  double price;
  double volume;
};

constexpr int kBookRowAt = 900;
constexpr WField<WBookRowFields> kBookRow[] = {
    {&WBookRowFields::side},
    {&WBookRowFields::price},
    {&WBookRowFields::volume},
    {WRecordRest{}},
};

struct WMessageFields {
  int32_t subscription;
  int64_t messageNumber;
  int32_t extra;
};

constexpr int kMessageAt = 1100;
constexpr WField<WMessageFields> kMessage[] = {
    {&WMessageFields::subscription},
    {WRecordEnd{}},
    {WUnusedSmall{}},
    {&WMessageFields::messageNumber},
    {&WMessageFields::extra, kOptionalReported},
    {WRecordRest{}},
};

// ---- shared steps --------------------------------------------------------

int consumedBytes(const WNibbleCursor& cursor, int size) { return cursor.bytesSince(2 * size); }

// A group start: the number becomes the open group.
int readGroupStart(WLZ77Parser& parser, WNibbleCursor& cursor, int size, int needMore, int firstLocation,
              int32_t& group) {
  WSubscriptionHeader header{};
  const WLayoutRead read = readLayout(parser, cursor, header, kSubscriptionHeader, kSourceName, firstLocation);
  if (!read.ok()) return rejectRecord(parser, read, kSourceName, needMore);
  group = header.subscription;
  return consumedBytes(cursor, size);
}

}  // namespace

// ---- quotes --------------------------------------------------------------

WQuotesFeedParser::WQuotesFeedParser(WConnectionManager* manager) : WFeedParser(manager) {}

int WQuotesFeedParser::parseRecord(const char* data, int size) {
  logTrace("Quotes data ready, available %d bytes", size);
  dumpTraffic(data, static_cast<size_t>(size));
  WNibbleCursor cursor(data, size);
  WSubscriptionHeader header{};
  WLayoutRead read = readLayout(*this, cursor, header, kSubscriptionHeader, kSourceName, kQuoteHeaderAt);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMore(size));

  WQuote quote{};
  // A record with more fields than the short layout can only be long: read it
  // so at once. Any other is tried as short first.
  const bool surelyLong = countNumberFields(cursor, kShortQuoteFields) > kShortQuoteFields;
  read = surelyLong ? WLayoutRead{-1, 0} : readLayout(*this, cursor, quote, kShortQuote, kSourceName, kShortQuoteAt);
  if (read.ok()) {
    for (double WQuote::*field : kShortQuoteEmpty) quote.*field = emptyNumber_;
  } else if (read.nibbles < 0) {
    // A long record: its eighteenth field is a number where the short layout
    // ends. The long layout reads from the same place (the cursor has not moved).
    quote = WQuote{};
    read = readLayout(*this, cursor, quote, kLongQuote, kSourceName, kLongQuoteAt);
  }
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMore(size));
  deliverQuote(header.subscription, quote);
  return consumedBytes(cursor, size);
}

void WQuotesFeedParser::deliverQuote(int subscription, const WQuote& quote) {
  if (WInstance* owner = instance()) owner->dispatchQuote(feed(), subscription, quote);
}

// ---- all trades ----------------------------------------------------------

WTradesFeedParser::WTradesFeedParser(WConnectionManager* manager) : WFeedParser(manager) { ticks_.reserve(10); }

int WTradesFeedParser::parseRecord(const char* data, int size) {
  logTrace("Trades data ready, available %d bytes", size);
  dumpTraffic(data, static_cast<size_t>(size));
  if (size <= 0) return 0;
  WNibbleCursor cursor(data, size);
  if (cursor.at(0) == kSmall) return readKeepAliveReply(cursor, size);
  if (group_ == kNoGroup) return readGroupStart(*this, cursor, size, needMore(size), kTradesGroupStartAt, group_);
  return readTick(cursor, size);
}

int WTradesFeedParser::readKeepAliveReply(WNibbleCursor& cursor, int size) {
  WKeepAliveReply reply{};
  const WLayoutRead read = readLayout(*this, cursor, reply, kKeepAliveReply, kSourceName, kKeepAliveReplyAt);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMore(size));
  statsSetKeepAliveReply(static_cast<int64_t>(reply.serverTime));
  return consumedBytes(cursor, size);
}

int WTradesFeedParser::readTick(WNibbleCursor& cursor, int size) {
  WTradeTick tick{};
  const WLayoutRead read = readLayout(*this, cursor, tick, kTick, kSourceName, kTickAt);
  if (read.ok()) {
    ticks_.push_back(tick);
    return consumedBytes(cursor, size);
  }
  if (read.nibbles == 0 && needMore(size) == 0) return 0;
  return closeGroup(cursor, size);
}

int WTradesFeedParser::closeGroup(WNibbleCursor& cursor, int size) {
  WGroupEnd end;
  const WLayoutRead read = readLayout(*this, cursor, end, kGroupEnd, kSourceName, kTradesGroupEndAt);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMore(size));
  // The server sends a group oldest first; listeners get the newest first.
  std::reverse(ticks_.begin(), ticks_.end());
  deliverTrades(group_, ticks_);
  ticks_.clear();
  group_ = kNoGroup;
  return consumedBytes(cursor, size);
}

void WTradesFeedParser::deliverTrades(int subscription, const std::vector<WTradeTick>& ticks) {
  if (WInstance* owner = instance()) owner->dispatchTrades(feed(), subscription, ticks);
}

// ---- order book ----------------------------------------------------------

WOrdersFeedParser::WOrdersFeedParser(WConnectionManager* manager) : WFeedParser(manager) { rows_.reserve(40); }

int WOrdersFeedParser::parseRecord(const char* data, int size) {
  logTrace("Orders data ready, available %d bytes", size);
  dumpTraffic(data, static_cast<size_t>(size));
  WNibbleCursor cursor(data, size);
  if (group_ == kNoGroup) return readGroupStart(*this, cursor, size, needMore(size), kOrdersGroupStartAt, group_);
  return readRow(cursor, size);
}

int WOrdersFeedParser::readRow(WNibbleCursor& cursor, int size) {
  WBookRowFields row{};
  const WLayoutRead read = readLayout(*this, cursor, row, kBookRow, kSourceName, kBookRowAt);
  if (read.ok()) {
    rows_.push_back({row.side == 1 ? 'B' : 'A', row.price, row.volume});
    return consumedBytes(cursor, size);
  }
  if (read.nibbles == 0 && needMore(size) == 0) return 0;
  return closeGroup(cursor, size);
}

int WOrdersFeedParser::closeGroup(WNibbleCursor& cursor, int size) {
  WGroupEnd end;
  const WLayoutRead read = readLayout(*this, cursor, end, kGroupEnd, kSourceName, kOrdersGroupEndAt);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMore(size));
  deliverBidAsks(group_, rows_);
  group_ = kNoGroup;
  rows_.clear();
  return consumedBytes(cursor, size);
}

void WOrdersFeedParser::deliverBidAsks(int subscription, const std::vector<WBidAskRow>& rows) {
  if (WInstance* owner = instance()) owner->dispatchBidAsks(feed(), subscription, rows);
}

// ---- messages ------------------------------------------------------------

WMessagesFeedParser::WMessagesFeedParser(WConnectionManager* manager) : WFeedParser(manager) {}

int WMessagesFeedParser::parseRecord(const char* data, int size) {
  // "Orders", not "Messages": the log line the messages parser has always written.
  logTrace("Orders data ready, available %d bytes", size);
  dumpTraffic(data, static_cast<size_t>(size));
  WNibbleCursor cursor(data, size);
  WMessageFields fields{};
  const WLayoutRead read = readLayout(*this, cursor, fields, kMessage, kSourceName, kMessageAt);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMore(size));
  subscription_ = fields.subscription;
  deliverMessage(subscription_, WFeedMessage{fields.messageNumber, fields.extra});
  return consumedBytes(cursor, size);
}

void WMessagesFeedParser::deliverMessage(int subscription, const WFeedMessage& message) {
  if (WInstance* owner = instance()) owner->dispatchMessage(feed(), subscription, message);
}

}  // namespace wexel
