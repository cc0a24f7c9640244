// The record parsers of the four feeds, fed compressed bodies built with
// kexsim's record writer and encoder: both quote layouts, trade groups newest
// first, order books in arrival order, the keep-alive reply, the need-more
// rule, parse errors, and the same records however a body is split.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "kexsim_record_writer.h"
#include "log_capture.h"
#include "lz77_test_parsers.h"
#include "record_test_support.h"
#include "market/wexel_feed_parser.h"
#include "core/wexel_statistics.h"

namespace wexel {
namespace {

using kexsim::packTime;
using kexsim::RecordWriter;
using testing::bitsOf;
using testing::compressed;
using testing::nibbleBytes;

// ---- parsers that keep what they deliver ----------------------------------

class QuotesProbe : public WQuotesFeedParser {
 public:
  QuotesProbe() : WQuotesFeedParser(nullptr) {}
  std::vector<std::pair<int, WQuote>> quotes;

 protected:
  void deliverQuote(int subscription, const WQuote& quote) override { quotes.emplace_back(subscription, quote); }
};

class TradesProbe : public WTradesFeedParser {
 public:
  TradesProbe() : WTradesFeedParser(nullptr) {}
  std::vector<std::pair<int, std::vector<WTradeTick>>> groups;

 protected:
  void deliverTrades(int subscription, const std::vector<WTradeTick>& ticks) override {
    groups.emplace_back(subscription, ticks);
  }
};

class OrdersProbe : public WOrdersFeedParser {
 public:
  OrdersProbe() : WOrdersFeedParser(nullptr) {}
  std::vector<std::pair<int, std::vector<WBidAskRow>>> books;

 protected:
  void deliverBidAsks(int subscription, const std::vector<WBidAskRow>& rows) override {
    books.emplace_back(subscription, rows);
  }
};

class MessagesProbe : public WMessagesFeedParser {
 public:
  MessagesProbe() : WMessagesFeedParser(nullptr) {}
  std::vector<std::pair<int, WFeedMessage>> messages;

 protected:
  void deliverMessage(int subscription, const WFeedMessage& message) override {
    messages.emplace_back(subscription, message);
  }
};

// ---- records compared field by field (doubles by bit pattern) -------------

std::vector<uint64_t> fieldsOf(const WQuote& q) {
  auto i = [](int32_t v) { return static_cast<uint64_t>(static_cast<uint32_t>(v)); };
  return {bitsOf(q.open),       bitsOf(q.high),       bitsOf(q.low),           bitsOf(q.close),
          bitsOf(q.last),       bitsOf(q.size),       bitsOf(q.volume),        q.time,
          bitsOf(q.bid),        bitsOf(q.ask),        bitsOf(q.bidSize),       bitsOf(q.askSize),
          bitsOf(q.extra13),    bitsOf(q.extra14),    bitsOf(q.extra15),       bitsOf(q.openInterest),
          bitsOf(q.extra17),    bitsOf(q.extra18),    i(q.extra19),            q.extraTime20,
          bitsOf(q.volatility), q.extraTime22,        bitsOf(q.theoreticalPrice), bitsOf(q.buyMargin),
          bitsOf(q.sellMargin), bitsOf(q.baseMargin), bitsOf(q.backedBaseMargin), i(q.extra28),
          bitsOf(q.lowLimit),   bitsOf(q.highLimit),  i(q.extra31),            bitsOf(q.extra32),
          i(q.tradingStatus)};
}

auto fieldsOf(const WTradeTick& t) {
  return std::tuple(t.time, bitsOf(t.price), bitsOf(t.volume), t.tradeNumber, bitsOf(t.openInterest), t.action);
}

auto fieldsOf(const WBidAskRow& r) { return std::tuple(r.side, bitsOf(r.price), bitsOf(r.volume)); }

auto fieldsOf(const WFeedMessage& m) { return std::tuple(m.messageNumber, m.extra); }

template <typename Record>
auto fieldsOf(const std::vector<Record>& records) {
  std::vector<decltype(fieldsOf(records.front()))> out;
  for (const Record& record : records) out.push_back(fieldsOf(record));
  return out;
}

template <typename Delivered>
auto fieldsOf(const std::vector<std::pair<int, Delivered>>& deliveries) {
  std::vector<std::pair<int, decltype(fieldsOf(deliveries.front().second))>> out;
  for (const auto& [subscription, record] : deliveries) out.emplace_back(subscription, fieldsOf(record));
  return out;
}

const double kEmpty = std::bit_cast<double>(uint64_t{0x7FFFFFFFFFFFFFFF});
const PackedTime kTime = packTime(2013, 12, 31, 23, 59, 59);
const PackedTime kTime20 = packTime(2024, 1, 5, 10, 0, 0);
const PackedTime kTime22 = packTime(2024, 3, 15, 18, 45, 0);

// ---- record builders ------------------------------------------------------

std::string numberHeader(int32_t subscription) { return RecordWriter().int32(subscription).recordEnd().take(); }
std::string groupEnd() { return RecordWriter().recordEnd().take(); }

std::string shortQuote(int32_t subscription) {
  RecordWriter w;
  w.int32(subscription).recordEnd();
  w.decimal("101.5").decimal("102").decimal("100").decimal("103").decimal("99.5").decimal("101").decimal("1500");
  w.dateTime(kTime);
  w.decimal("100.5").decimal("10").decimal("20").decimal("1").emptyNumber().decimal("3").decimal("4000");
  w.decimal("5").decimal("-6");
  return w.recordEnd().take();
}

WQuote shortQuoteFields() {
  WQuote q{};
  q.bid = 101.5, q.ask = 102, q.open = 100, q.high = 103, q.low = 99.5, q.last = 101, q.volume = 1500;
  q.time = kTime;
  q.close = 100.5, q.bidSize = 10, q.askSize = 20, q.extra13 = 1, q.extra14 = kEmpty, q.extra15 = 3;
  q.openInterest = 4000, q.size = 5, q.extra18 = -6;
  // Not in the short layout: these read as the empty value, the rest as 0.
  q.extra17 = q.volatility = q.theoreticalPrice = kEmpty;
  q.buyMargin = q.sellMargin = q.baseMargin = q.backedBaseMargin = q.lowLimit = q.highLimit = kEmpty;
  return q;
}

enum class LongTail { kNone, kOptionalRun, kBeyondStatus };

std::string longQuote(int32_t subscription, LongTail tail) {
  RecordWriter w;
  w.int32(subscription).recordEnd();
  w.decimal("100").decimal("103").decimal("99.5").decimal("100.5").dateTime(kTime);
  w.decimal("101").decimal("5").decimal("1500").decimal("101.5").decimal("102").decimal("10").decimal("20");
  w.decimal("1").decimal("2").decimal("3").decimal("4000").decimal("6").decimal("25.5").decimal("7");
  w.int32(19).dateTime(kTime20).dateTime(kTime22);
  w.decimal("101.5").decimal("1000").decimal("1100").decimal("900").decimal("950").int32(-28);
  w.decimal("90").decimal("110");
  if (tail != LongTail::kNone) w.int32(31).decimal("32.5").int32(17);
  if (tail == LongTail::kBeyondStatus) w.int32(99).string("later field").decimal("1.5");
  return w.recordEnd().take();
}

WQuote longQuoteFields(LongTail tail) {
  WQuote q{};
  q.open = 100, q.high = 103, q.low = 99.5, q.close = 100.5, q.time = kTime;
  q.last = 101, q.size = 5, q.volume = 1500, q.bid = 101.5, q.ask = 102, q.bidSize = 10, q.askSize = 20;
  q.extra13 = 1, q.extra14 = 2, q.extra15 = 3, q.openInterest = 4000, q.extra18 = 6, q.volatility = 25.5;
  q.extra17 = 7, q.extra19 = 19, q.extraTime20 = kTime20, q.extraTime22 = kTime22;
  q.theoreticalPrice = 101.5, q.buyMargin = 1000, q.sellMargin = 1100, q.baseMargin = 900;
  q.backedBaseMargin = 950, q.extra28 = -28, q.lowLimit = 90, q.highLimit = 110;
  if (tail != LongTail::kNone) q.extra31 = 31, q.extra32 = 32.5, q.tradingStatus = 17;
  return q;
}

WTradeTick tick(int second, const char* price, const char* volume, int64_t number, const char* openInterest,
                int action) {
  return {packTime(2024, 1, 5, 10, 0, second), std::stod(price), std::stod(volume), number,
          openInterest ? std::stod(openInterest) : 0.0, action};
}

// A tick record; without open interest the record ends after the trade number.
std::string tickRecord(const WTradeTick& t, const char* price, const char* volume, const char* openInterest) {
  RecordWriter w;
  w.dateTime(t.time).decimal(price).decimal(volume).int64(t.tradeNumber);
  if (openInterest) w.decimal(openInterest).int32(t.action);
  return w.recordEnd().take();
}

struct TickSample {
  int second;
  const char* price;
  const char* volume;
  int64_t number;
  const char* openInterest;
  int action;
  WTradeTick fields() const { return tick(second, price, volume, number, openInterest, action); }
  std::string record() const { return tickRecord(fields(), price, volume, openInterest); }
};

const TickSample kT1{1, "101.5", "10", 9000000001, "4000", 1};
const TickSample kT2{2, "101", "3", 9000000002, "4001", 2};
const TickSample kT3{3, "100.5", "7", 9000000003, nullptr, 0};

std::string keepAliveReply(PackedTime serverTime) {
  return RecordWriter().small(1).int32(1).dateTime(serverTime).recordEnd().take();
}

std::string bookRow(int side, const char* price, const char* volume) {
  return RecordWriter().int32(side).decimal(price).decimal(volume).recordEnd().take();
}

std::string messageRecord(int32_t subscription, int64_t number, const int32_t* extra) {
  RecordWriter w;
  w.int32(subscription).recordEnd().small(3).int64(number);
  if (extra) w.int32(*extra);
  return w.recordEnd().take();
}

std::string joined(const std::vector<std::string>& records) {
  std::string out;
  for (const auto& record : records) out += record;
  return out;
}

// ---- feeding ----------------------------------------------------------------

enum class Split { kWhole, kBytewise, kRandom };

int feed(WLZ77Parser& parser, const std::string& body, Split split, uint32_t seed = 1) {
  switch (split) {
    case Split::kWhole:
      return testing::feedWhole(parser, body);
    case Split::kBytewise:
      return testing::feedBytewise(parser, body);
    case Split::kRandom:
      return testing::feedRandomPieces(parser, body, seed, 7);
  }
  return -1;
}

constexpr Split kSplits[] = {Split::kWhole, Split::kBytewise, Split::kRandom};

const char* nameOf(Split split) {
  return split == Split::kWhole ? "whole" : split == Split::kBytewise ? "bytewise" : "random pieces";
}

// ---- quotes -------------------------------------------------------------------

TEST(QuotesFeedParser, ReadsBothLayoutsHoweverTheBodyIsSplit) {
  struct Case {
    const char* name;
    std::string record;
    int subscription;
    WQuote expected;
  };
  const Case cases[] = {
      {"short layout, empty value where it carries no field", shortQuote(7), 7, shortQuoteFields()},
      {"long layout with its optional run", longQuote(8, LongTail::kOptionalRun), 8,
       longQuoteFields(LongTail::kOptionalRun)},
      {"long layout ending at high limit", longQuote(9, LongTail::kNone), 9, longQuoteFields(LongTail::kNone)},
      {"long layout with fields after trading status", longQuote(10, LongTail::kBeyondStatus), 10,
       longQuoteFields(LongTail::kBeyondStatus)},
  };
  for (const Case& c : cases) {
    for (Split split : kSplits) {
      SCOPED_TRACE(std::string(c.name) + ", " + nameOf(split));
      QuotesProbe parser;
      ASSERT_EQ(feed(parser, compressed(c.record), split), 0);
      ASSERT_EQ(parser.quotes.size(), 1u);
      EXPECT_EQ(parser.quotes[0].first, c.subscription);
      EXPECT_EQ(fieldsOf(parser.quotes[0].second), fieldsOf(c.expected));
    }
  }
}

TEST(QuotesFeedParser, GoldenShortRecord) {
  // Header 7, then bid 1 ... extra 18 16 with the time in eighth place.
  const std::string record = nibbleBytes("A7F0 A1A2A3A4A5A6A7 A20131231235959 A8A9A10A11A12A13A14A15A16 F0");
  QuotesProbe parser;
  ASSERT_EQ(parser.parseRecord(record.data(), static_cast<int>(record.size())), static_cast<int>(record.size()));
  ASSERT_EQ(parser.quotes.size(), 1u);
  const WQuote& q = parser.quotes[0].second;
  EXPECT_EQ(parser.quotes[0].first, 7);
  EXPECT_EQ(std::tuple(q.bid, q.ask, q.open, q.high, q.low, q.last, q.volume), std::tuple(1, 2, 3, 4, 5, 6, 7));
  EXPECT_EQ(q.time, kTime);
  EXPECT_EQ(std::tuple(q.close, q.bidSize, q.askSize, q.extra13, q.extra14, q.extra15, q.openInterest, q.size,
                       q.extra18),
            std::tuple(8, 9, 10, 11, 12, 13, 14, 15, 16));
  EXPECT_EQ(bitsOf(q.volatility), bitsOf(kEmpty));
  EXPECT_EQ(q.tradingStatus, 0);
}

TEST(QuotesFeedParser, WithoutAnInstanceRecordsAreConsumedAndDropped) {
  WQuotesFeedParser parser(nullptr);
  EXPECT_EQ(testing::feedWhole(parser, compressed(shortQuote(7) + longQuote(8, LongTail::kNone))), 0);
  EXPECT_EQ(parser.windowReadPosition(), parser.windowWritePosition());
}

// ---- all trades ---------------------------------------------------------------

TEST(TradesFeedParser, GroupsAreDeliveredNewestFirst) {
  struct Case {
    const char* name;
    std::vector<std::string> records;
    std::vector<std::pair<int, std::vector<WTradeTick>>> expected;
  };
  const Case cases[] = {
      {"three ticks",
       {numberHeader(3), kT1.record(), kT2.record(), kT3.record(), groupEnd()},
       {{3, {kT3.fields(), kT2.fields(), kT1.fields()}}}},
      {"a group start followed at once by its end", {numberHeader(4), groupEnd()}, {{4, {}}}},
      {"a tick without open interest and action reads them as 0",
       {numberHeader(5), kT3.record(), groupEnd()},
       {{5, {kT3.fields()}}}},
      {"two groups",
       {numberHeader(6), kT1.record(), groupEnd(), numberHeader(7), kT2.record(), kT3.record(), groupEnd()},
       {{6, {kT1.fields()}}, {7, {kT3.fields(), kT2.fields()}}}},
      {"fields after the action are skipped",
       {numberHeader(8), RecordWriter().dateTime(kT1.fields().time).decimal("101.5").decimal("10")
                             .int64(9000000001).decimal("4000").int32(1).string("later").int32(5).recordEnd().take(),
        groupEnd()},
       {{8, {kT1.fields()}}}},
  };
  for (const Case& c : cases) {
    for (Split split : kSplits) {
      SCOPED_TRACE(std::string(c.name) + ", " + nameOf(split));
      TradesProbe parser;
      ASSERT_EQ(feed(parser, compressed(joined(c.records)), split), 0);
      EXPECT_EQ(fieldsOf(parser.groups), fieldsOf(c.expected));
      EXPECT_EQ(parser.openGroup(), -1);
    }
  }
}

TEST(TradesFeedParser, GoldenGroupWithKeepAliveReply) {
  // Group 3; a tick at 10:00:00, 101.5, volume 10, trade 123456789012, open
  // interest 0, buy; a keep-alive reply; group end.
  const std::string records[] = {
      nibbleBytes("A3F0"),
      nibbleBytes("A20240105100000 A101D5 A10 A123456789012 A0 A1 F"),
      nibbleBytes("E1 A1 A20240105100000 F"),
      nibbleBytes("F0"),
  };
  statsReset();
  TradesProbe parser;
  for (const std::string& record : records) {
    ASSERT_EQ(parser.parseRecord(record.data(), static_cast<int>(record.size())), static_cast<int>(record.size()));
  }
  ASSERT_EQ(parser.groups.size(), 1u);
  EXPECT_EQ(parser.groups[0].first, 3);
  ASSERT_EQ(parser.groups[0].second.size(), 1u);
  EXPECT_EQ(fieldsOf(parser.groups[0].second[0]),
            fieldsOf(WTradeTick{packTime(2024, 1, 5, 10, 0, 0), 101.5, 10, 123456789012, 0, 1}));
  EXPECT_EQ(statsSnapshot().keepAliveReplyValue, static_cast<int64_t>(packTime(2024, 1, 5, 10, 0, 0)));
}

TEST(TradesFeedParser, KeepAliveReplyBetweenTwoTicksUpdatesStatisticsAndLeavesTheGroupOpen) {
  const PackedTime serverTime = packTime(2024, 1, 5, 10, 30, 0);
  const std::string records[] = {numberHeader(3), kT1.record(), keepAliveReply(serverTime), kT2.record(),
                                 groupEnd()};
  const int32_t openAfter[] = {3, 3, 3, 3, -1};
  statsReset();
  TradesProbe parser;
  for (size_t i = 0; i < std::size(records); ++i) {
    const std::string& record = records[i];
    ASSERT_EQ(parser.parseRecord(record.data(), static_cast<int>(record.size())), static_cast<int>(record.size()));
    EXPECT_EQ(parser.openGroup(), openAfter[i]) << "after record " << i;
  }
  EXPECT_EQ(statsSnapshot().keepAliveReplyValue, static_cast<int64_t>(serverTime));
  EXPECT_EQ(fieldsOf(parser.groups), fieldsOf(std::vector<std::pair<int, std::vector<WTradeTick>>>{
                                         {3, {kT2.fields(), kT1.fields()}}}));
}

TEST(TradesFeedParser, KeepAliveReplyOutsideAGroupOpensNone) {
  const std::string reply = keepAliveReply(packTime(2024, 1, 5, 11, 0, 0));
  TradesProbe parser;
  ASSERT_EQ(parser.parseRecord(reply.data(), static_cast<int>(reply.size())), static_cast<int>(reply.size()));
  EXPECT_EQ(parser.openGroup(), -1);
  EXPECT_TRUE(parser.groups.empty());
}

// ---- order book ---------------------------------------------------------------

TEST(OrdersFeedParser, BooksAreDeliveredInArrivalOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> records;
    std::vector<std::pair<int, std::vector<WBidAskRow>>> expected;
  };
  const Case cases[] = {
      {"side 1 is a bid, 2 and 0 are asks",
       {numberHeader(2), bookRow(1, "101.5", "10"), bookRow(2, "102", "20"), bookRow(0, "102.5", "5"), groupEnd()},
       {{2, {{'B', 101.5, 10}, {'A', 102, 20}, {'A', 102.5, 5}}}}},
      {"an empty book", {numberHeader(4), groupEnd()}, {{4, {}}}},
      {"rows with fields after the volume",
       {numberHeader(5), RecordWriter().int32(1).decimal("99").decimal("1").int32(7).string("x").recordEnd().take(),
        groupEnd(), numberHeader(6), bookRow(2, "100", "3"), groupEnd()},
       {{5, {{'B', 99, 1}}}, {6, {{'A', 100, 3}}}}},
  };
  for (const Case& c : cases) {
    for (Split split : kSplits) {
      SCOPED_TRACE(std::string(c.name) + ", " + nameOf(split));
      OrdersProbe parser;
      ASSERT_EQ(feed(parser, compressed(joined(c.records)), split), 0);
      EXPECT_EQ(fieldsOf(parser.books), fieldsOf(c.expected));
      EXPECT_EQ(parser.openGroup(), -1);
    }
  }
}

// ---- messages -----------------------------------------------------------------

TEST(MessagesFeedParser, ReadsNumberAndExtraValue) {
  const int32_t extra = -12;
  struct Case {
    const char* name;
    std::string record;
    std::pair<int, WFeedMessage> expected;
    std::string errorText;
  };
  const Case cases[] = {
      {"with extra value", messageRecord(4, 70000000001, &extra), {4, {70000000001, -12}}, ""},
      {"without extra value, which reads as 0 and names its field",
       messageRecord(5, 3, nullptr),
       {5, {3, 0}},
       "Parse error: src/wexel_feed_parser, line 1104"},
  };
  for (const Case& c : cases) {
    for (Split split : kSplits) {
      SCOPED_TRACE(std::string(c.name) + ", " + nameOf(split));
      MessagesProbe parser;
      ASSERT_EQ(feed(parser, compressed(c.record), split), 0);
      EXPECT_EQ(fieldsOf(parser.messages), fieldsOf(std::vector{c.expected}));
      EXPECT_EQ(parser.lastErrorText(), c.errorText);
    }
  }
}

// ---- what all four share -------------------------------------------------------

using ParserMaker = std::unique_ptr<WFeedParser> (*)();

template <typename Probe>
std::unique_ptr<WFeedParser> make() {
  return std::make_unique<Probe>();
}

TEST(FeedParsers, CorruptRecordFailsTheReplyWithItsParseError) {
  struct Case {
    const char* name;
    ParserMaker parser;
    std::vector<std::string> records;
    std::string errorText;
  };
  const Case cases[] = {
      {"quote header without its end", make<QuotesProbe>, {RecordWriter().int32(7).string("x").recordEnd().take()},
       "Parse error: src/wexel_feed_parser, line 101"},
      {"quote that fits neither layout", make<QuotesProbe>,
       {RecordWriter().int32(7).recordEnd().string("x").recordEnd().take()},
       "Parse error: src/wexel_feed_parser, line 300"},
      {"trades group start that is a text", make<TradesProbe>, {RecordWriter().string("x").recordEnd().take()},
       "Parse error: src/wexel_feed_parser, line 500"},
      {"trades record in a group that is neither tick nor end", make<TradesProbe>,
       {numberHeader(3), RecordWriter().string("x").recordEnd().take()},
       "Parse error: src/wexel_feed_parser, line 700"},
      {"keep-alive reply without its number", make<TradesProbe>, {RecordWriter().small(1).recordEnd().take()},
       "Parse error: src/wexel_feed_parser, line 401"},
      {"order-book group start that is a text", make<OrdersProbe>, {RecordWriter().string("x").recordEnd().take()},
       "Parse error: src/wexel_feed_parser, line 800"},
      {"order-book record in a group that is neither row nor end", make<OrdersProbe>,
       {numberHeader(3), RecordWriter().small(2).recordEnd().take()},
       "Parse error: src/wexel_feed_parser, line 1000"},
      {"message without its small value", make<MessagesProbe>,
       {RecordWriter().int32(1).recordEnd().int64(5).recordEnd().take()},
       "Parse error: src/wexel_feed_parser, line 1102"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::LogCapture log;
    auto parser = c.parser();
    const std::string response = testing::okResponse(compressed(joined(c.records)));
    EXPECT_EQ(testing::deliverResponse(*parser, response, 5), kErrorMalformed);
    EXPECT_EQ(parser->lastErrorText(), c.errorText);
    EXPECT_TRUE(log.contains("ERROR: " + c.errorText + ", code: -1001"));
  }
}

// Each parser with one record of every kind it reads, after the records that
// put it in the state to read it.
struct RecordInState {
  const char* name;
  ParserMaker parser;
  std::vector<std::string> before;
  std::string record;
};

std::vector<RecordInState> recordsInState() {
  const int32_t extra = 1;
  return {
      {"short quote", make<QuotesProbe>, {}, shortQuote(7)},
      {"long quote", make<QuotesProbe>, {}, longQuote(7, LongTail::kOptionalRun)},
      {"trades group start", make<TradesProbe>, {}, numberHeader(3)},
      {"tick", make<TradesProbe>, {numberHeader(3)}, kT1.record()},
      {"tick without optional fields", make<TradesProbe>, {numberHeader(3)}, kT3.record()},
      {"keep-alive reply", make<TradesProbe>, {numberHeader(3)}, keepAliveReply(kTime)},
      {"order-book group start", make<OrdersProbe>, {}, numberHeader(3)},
      {"order-book row", make<OrdersProbe>, {numberHeader(3)}, bookRow(1, "101.5", "7")},
      {"message", make<MessagesProbe>, {}, messageRecord(4, 5, &extra)},
  };
}

TEST(FeedParsers, IncompleteRecordsWaitForTheirLastByte) {
  for (const RecordInState& c : recordsInState()) {
    SCOPED_TRACE(c.name);
    auto parser = c.parser();
    for (const std::string& record : c.before) {
      ASSERT_EQ(parser->parseRecord(record.data(), static_cast<int>(record.size())),
                static_cast<int>(record.size()));
    }
    for (size_t cut = 1; cut < c.record.size(); ++cut) {
      EXPECT_EQ(parser->parseRecord(c.record.data(), static_cast<int>(cut)), 0) << "first " << cut << " bytes";
    }
    EXPECT_EQ(parser->parseRecord(c.record.data(), static_cast<int>(c.record.size())),
              static_cast<int>(c.record.size()));
  }
}

TEST(FeedParsers, ARecordStillIncompleteAtTheLimitIsCorrupt) {
  struct Case {
    const char* name;
    ParserMaker parser;
    std::vector<std::string> before;
    std::string errorText;
  };
  const Case cases[] = {
      {"quotes", make<QuotesProbe>, {}, "Parse error: src/wexel_feed_parser, line 100"},
      {"trades, no group", make<TradesProbe>, {}, "Parse error: src/wexel_feed_parser, line 500"},
      {"trades, in a group", make<TradesProbe>, {numberHeader(3)}, "Parse error: src/wexel_feed_parser, line 700"},
      {"order book, no group", make<OrdersProbe>, {}, "Parse error: src/wexel_feed_parser, line 800"},
      {"order book, in a group", make<OrdersProbe>, {numberHeader(3)},
       "Parse error: src/wexel_feed_parser, line 1000"},
      {"messages", make<MessagesProbe>, {}, "Parse error: src/wexel_feed_parser, line 1100"},
  };
  // A number that never ends: a plus marker and digits.
  const std::string endless = "\xA1" + std::string(WLZ77Parser::kIncompleteLimit, '\x11');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto parser = c.parser();
    for (const std::string& record : c.before) {
      ASSERT_EQ(parser->parseRecord(record.data(), static_cast<int>(record.size())),
                static_cast<int>(record.size()));
    }
    EXPECT_EQ(parser->parseRecord(endless.data(), WLZ77Parser::kIncompleteLimit - 1), 0);
    EXPECT_EQ(parser->parseRecord(endless.data(), WLZ77Parser::kIncompleteLimit), kErrorMalformed);
    EXPECT_EQ(parser->lastErrorText(), c.errorText);
  }
}

TEST(FeedParsers, AnyBytesGetAnAnswerWithinTheBytesOffered) {
  const std::vector<std::string> streams[] = {
      {shortQuote(7), longQuote(8, LongTail::kBeyondStatus)},
      {numberHeader(3), kT1.record(), keepAliveReply(kTime), kT3.record(), groupEnd()},
      {numberHeader(3), bookRow(1, "101.5", "10"), groupEnd()},
      {messageRecord(4, 5, nullptr)},
  };
  const ParserMaker parsers[] = {make<QuotesProbe>, make<TradesProbe>, make<OrdersProbe>, make<MessagesProbe>};
  std::mt19937 random(2024);
  for (size_t kind = 0; kind < std::size(parsers); ++kind) {
    for (int round = 0; round < 3000; ++round) {
      auto parser = parsers[kind]();
      const std::string bytes = testing::damaged(joined(streams[kind]), random);
      ASSERT_TRUE(testing::offerAll(*parser, bytes)) << "parser " << kind << ", round " << round;
    }
  }
}

// A long stream of every record kind (well past the 64 KB window) gives the
// same deliveries however its body is cut.
template <typename Probe, typename Deliveries>
void expectSameHoweverSplit(const std::vector<std::string>& records, Deliveries deliveries) {
  const std::string body = compressed(joined(records));
  Probe whole;
  ASSERT_EQ(testing::feedWhole(whole, body), 0);
  const auto expected = fieldsOf(deliveries(whole));
  ASSERT_FALSE(expected.empty());
  Probe bytewise;
  ASSERT_EQ(testing::feedBytewise(bytewise, body), 0);
  EXPECT_EQ(fieldsOf(deliveries(bytewise)), expected);
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    Probe pieces;
    ASSERT_EQ(testing::feedRandomPieces(pieces, body, seed), 0);
    EXPECT_EQ(fieldsOf(deliveries(pieces)), expected) << "seed " << seed;
  }
}

TEST(FeedParsers, SameRecordsWholeBytewiseAndInRandomPieces) {
  std::vector<std::string> quotes, trades, books, messages;
  for (int i = 0; i < 1200; ++i) {
    quotes.push_back(i % 2 ? shortQuote(i) : longQuote(i, static_cast<LongTail>(i / 2 % 3)));
    trades.insert(trades.end(), {numberHeader(i), kT1.record(), kT2.record()});
    if (i % 5 == 0) trades.push_back(keepAliveReply(kTime));
    trades.insert(trades.end(), {kT3.record(), groupEnd()});
    books.insert(books.end(), {numberHeader(i), bookRow(i % 3, "101.5", "10"), bookRow(1, "99", "4"), groupEnd()});
    const int32_t extra = i;
    messages.push_back(messageRecord(i, 1000 + i, i % 4 ? &extra : nullptr));
  }
  expectSameHoweverSplit<QuotesProbe>(quotes, [](QuotesProbe& p) { return p.quotes; });
  expectSameHoweverSplit<TradesProbe>(trades, [](TradesProbe& p) { return p.groups; });
  expectSameHoweverSplit<OrdersProbe>(books, [](OrdersProbe& p) { return p.books; });
  expectSameHoweverSplit<MessagesProbe>(messages, [](MessagesProbe& p) { return p.messages; });
}

}  // namespace
}  // namespace wexel
