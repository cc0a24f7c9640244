// Time arithmetic of bars and pages, the bar and tick query paths, the page
// key hash, and the bar and tick reply parsers fed kexsim-written records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history/wexel_get_bars_request.h"
#include "history/wexel_get_ticks_request.h"
#include "history/wexel_prices_cache.h"
#include "kexsim_record_writer.h"
#include "record_test_support.h"
#include "wexel/wexel_packed_time.h"

namespace wexel {
namespace {

using kexsim::RecordWriter;
using testing::compressed;
using testing::deliverResponse;
using testing::okResponse;

PackedTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return packTime({y, mo, d, h, mi, s}); }

// ---- calendar ------------------------------------------------------------------------------

TEST(PackedTimeArithmetic, AddSecondsCarriesThroughTheCalendar) {
  struct Case {
    PackedTime from;
    int64_t seconds;
    PackedTime expected;
  } cases[] = {
      {at(2024, 2, 28, 23, 59, 59), 1, at(2024, 2, 29)},        // leap day
      {at(2023, 2, 28, 23, 59, 59), 1, at(2023, 3, 1)},         // none in 2023
      {at(2026, 1, 1), -1, at(2025, 12, 31, 23, 59, 59)},      // back over the year
      {at(2026, 12, 10, 10, 7, 30), 86400 * 30, at(2027, 1, 9, 10, 7, 30)},
      {at(2000, 2, 28, 12), 86400, at(2000, 2, 29, 12)},       // 2000 was a leap year
      {at(2026, 13, 1), 0, at(2027, 1, 1)},                    // a month out of range carries
      {at(9999, 12, 31, 23, 59, 59), 10, at(9999, 12, 31, 23, 59, 59)},  // the calendar's end holds
  };
  for (const Case& c : cases) EXPECT_EQ(addSeconds(c.from, c.seconds), c.expected) << std::hex << c.from;
  EXPECT_EQ(addSeconds(at(2026, 12, 10) | 0x5A, 0) & 0xFF, 0u);  // the low byte comes out 0
}

TEST(PackedTimeArithmetic, BarEndOfEveryInterval) {
  const PackedTime t = at(2026, 12, 9, 10, 7, 30);  // a Wednesday
  struct Case {
    int interval;
    PackedTime expected;
  } cases[] = {
      {kBarTick, at(2026, 12, 9, 10, 8)},
      {kBar1Min, at(2026, 12, 9, 10, 8)},
      {kBar5Min, at(2026, 12, 9, 10, 10)},
      {kBar10Min, at(2026, 12, 9, 10, 10)},
      {kBar15Min, at(2026, 12, 9, 10, 15)},
      {kBar30Min, at(2026, 12, 9, 10, 30)},
      {kBar60Min, at(2026, 12, 9, 11, 0)},
      {kBar2Hour, at(2026, 12, 9, 12, 0)},
      {kBar4Hour, at(2026, 12, 9, 12, 0)},  // hour 8, minutes 0, plus 4 hours
      {kBarDay, at(2026, 12, 9, 23, 59, 59)},
      {kBarWeek, at(2026, 12, 11, 23, 59, 59)},
      {kBarMonth, at(2026, 12, 31, 23, 59, 59)},
      {kBarQuarter, at(2026, 12, 31, 23, 59, 59)},
      {kBarYear, at(2026, 12, 31, 23, 59, 59)},
      {99, at(2026, 12, 9, 10, 8)},  // unknown: 1 minute
      {-1, at(2026, 12, 9, 10, 8)},
  };
  for (const Case& c : cases) EXPECT_EQ(barEnd(t, c.interval), c.expected) << "interval " << c.interval;
}

TEST(PackedTimeArithmetic, BarEndAtTheEdgesOfWeeksMonthsAndDays) {
  struct Case {
    PackedTime t;
    int interval;
    PackedTime expected;
  } cases[] = {
      {at(2026, 12, 13, 9), kBarWeek, at(2026, 12, 11, 23, 59, 59)},   // Sunday: the Friday two days before
      {at(2026, 12, 12, 9), kBarWeek, at(2026, 12, 11, 23, 59, 59)},   // Saturday: one day back
      {at(2026, 12, 7, 9), kBarWeek, at(2026, 12, 11, 23, 59, 59)},    // Monday
      {at(2026, 12, 11, 23, 59, 59), kBarWeek, at(2026, 12, 11, 23, 59, 59)},
      {at(2024, 2, 10), kBarMonth, at(2024, 2, 29, 23, 59, 59)},
      {at(2026, 5, 10), kBarQuarter, at(2026, 6, 30, 23, 59, 59)},
      {at(2026, 1, 1), kBarQuarter, at(2026, 3, 31, 23, 59, 59)},
      {at(2026, 12, 31, 23, 59, 30), kBar1Min, at(2027, 1, 1)},
      {at(2026, 12, 31, 22, 10), kBar4Hour, at(2027, 1, 1)},
      {at(2026, 12, 9, 23, 10), kBar2Hour, at(2026, 12, 10)},
  };
  for (const Case& c : cases) EXPECT_EQ(barEnd(c.t, c.interval), c.expected) << std::hex << c.t;
}

TEST(PackedTimeArithmetic, BaseBarsJoinTheBarThatEndsWithThem) {
  EXPECT_EQ(barStamp(at(2026, 12, 9, 10, 5), kBar5Min), at(2026, 12, 9, 10, 5));
  EXPECT_EQ(barStamp(at(2026, 12, 9, 10, 6), kBar5Min), at(2026, 12, 9, 10, 10));
  EXPECT_EQ(barStamp(at(2026, 12, 10), kBar60Min), at(2026, 12, 10));  // the last minute of the 9th
  EXPECT_EQ(barStamp(at(2026, 12, 9, 10, 30), kBar4Hour), at(2026, 12, 9, 12));
  // Daily base bars are stamped on their day's end; from a day on the stamp is taken as it is.
  EXPECT_EQ(barStamp(at(2026, 12, 9, 23, 59, 59), kBarWeek), at(2026, 12, 11, 23, 59, 59));
  EXPECT_EQ(barStamp(at(2026, 12, 9), kBarDay), at(2026, 12, 9, 23, 59, 59));
}

TEST(PackedTimeArithmetic, PagesOfEachBase) {
  struct Case {
    PackedTime t;
    int interval;
    WPageRange expected;
  } cases[] = {
      {at(2026, 12, 10, 10, 7), kBar5Min, {kBar1Min, at(2026, 12, 10), at(2026, 12, 11), 1440}},
      {at(2026, 12, 31, 23, 59, 59), kBarTick, {kBar1Min, at(2026, 12, 31), at(2027, 1, 1), 1440}},
      {at(2026, 12, 10, 10, 7), kBar4Hour, {kBar30Min, at(2026, 12, 1), at(2027, 1, 1), 1488}},
      {at(2026, 2, 10), kBar60Min, {kBar30Min, at(2026, 2, 1), at(2026, 3, 1), 1488}},
      {at(2026, 12, 10), kBarWeek, {kBarDay, at(2026, 1, 1), at(2027, 1, 1), 366}},
      {at(2026, 12, 10), 42, {kBar1Min, at(2026, 12, 10), at(2026, 12, 11), 1440}},
  };
  for (const Case& c : cases) {
    const WPageRange r = pageRange(c.t, c.interval);
    EXPECT_EQ(r.baseInterval, c.expected.baseInterval) << c.interval;
    EXPECT_EQ(r.start, c.expected.start) << c.interval;
    EXPECT_EQ(r.end, c.expected.end) << c.interval;
    EXPECT_EQ(r.capacity, c.expected.capacity) << c.interval;
  }
}

// ---- query paths and keys ---------------------------------------------------------------------

TEST(HistoryQueries, BarPathsAskForBaseBarsAndScaleTheCount) {
  const PackedTime from = at(2013, 12, 31, 23, 59, 59);
  EXPECT_EQ(historyBarsPath("MB", "SBER", kBar4Hour, from, 0, -10),
            "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=30min&from=20131231235959&count=-80");
  EXPECT_EQ(historyBarsPath("MB", "SBER", kBarQuarter, from, 0, 2),
            "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=1day&from=20131231235959&count=248");
  for (int base : {kBar1Min, kBar30Min, kBarDay}) {
    EXPECT_NE(historyBarsPath("MB", "SBER", base, from, 0, -10).find("&count=-10"), std::string::npos) << base;
  }
  EXPECT_EQ(historyBarsPath("MB", "SBER", kBar1Min, at(2026, 12, 10), at(2026, 12, 11), 0),
            "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=1min&from=20261210000000&to=20261211000000");
  EXPECT_EQ(historyBarsPath("MB", "SBER", 99, from, 0, -3),
            "/kx2/get-prices-zbin.php?exchange=MB&security=SBER&interval=&from=20131231235959&count=-3");
  // A count that no 32-bit number holds once scaled asks for the most it can.
  EXPECT_NE(historyBarsPath("MB", "SBER", kBarYear, from, 0, -2000000000).find("&count=-2147483648"),
            std::string::npos);
  for (const char* bad : {"SB ER", "SB&ER", "SB#ER", "SB\r\nER"}) {
    EXPECT_EQ(historyBarsPath("MB", bad, kBar1Min, from, 0, -1), "") << bad;
    EXPECT_EQ(ticksPath(bad, "SBER", from, -1), "") << bad;
  }
}

TEST(HistoryQueries, TickPathCarriesTheWholePackedTimeAsADecimal) {
  const PackedTime from = at(2013, 12, 31, 23, 59, 59);
  ASSERT_EQ(from, 0x2013123123595900u);
  EXPECT_EQ(ticksPath("MB", "SBER", from, -5),
            "/kx2/get-trades-zbin.php?exchange=MB&security=SBER&from=" +
                std::to_string(static_cast<long long>(0x2013123123595900)) + "&count=-5");
}

TEST(HistoryQueries, KeysThatShareAHashOrAKeyText) {
  // Different securities, one hash: the cache must tell them apart by the key.
  EXPECT_EQ(priceCacheKeyHash("TQBR", "U4FVD", kBar30Min), priceCacheKeyHash("TQBR", "64FVE", kBar30Min));
  EXPECT_EQ(priceCacheKeyHash("MB", "SEC1", kBar1Min), priceCacheKeyHash("MBS", "EC1", kBar1Min));
  EXPECT_NE(priceCacheKeyHash("MB", "SEC1", kBar1Min), priceCacheKeyHash("MB", "SEC1", kBarDay));
}

// ---- reply parsers ------------------------------------------------------------------------------

struct BarsRecorder : WexelHistoryBarsListener {
  std::vector<std::vector<WHistoryBar>> replies;
  std::vector<std::string> errors;
  int interval = -1;
  WContext context = 0;
  void onBars(const std::string& e, const std::string& s, int i, WContext c,
              const std::vector<WHistoryBar>& bars) override {
    EXPECT_EQ(e + " " + s, "MB SBER");
    interval = i;
    context = c;
    replies.push_back(bars);
  }
  void onError(WContext, const std::string& message, int code) override {
    errors.push_back(std::to_string(code) + " " + message);
  }
};

struct TicksRecorder : WexelGetTicksListener {
  std::vector<std::vector<WTick>> replies;
  std::vector<std::string> errors;
  void onTicks(const std::string&, const std::string&, const std::vector<WTick>& ticks, WContext) override {
    replies.push_back(ticks);
  }
  void onError(WContext, const std::string& message, int code) override {
    errors.push_back(std::to_string(code) + " " + message);
  }
};

std::string barRecord(PackedTime time, const char* open, bool withOpenInterest) {
  RecordWriter w;
  w.dateTime(time).decimal(open).decimal("251.5").decimal("249.25").decimal("250.75").decimal("1200");
  if (withOpenInterest) w.decimal("77");
  return w.recordEnd().take();
}

std::string endRecord() { return RecordWriter().recordEnd().take(); }

TEST(HistoryReplies, BarsArriveInOneCallAtTheEndRecordWholeAndByteByByte) {
  const std::string records = barRecord(at(2026, 12, 10, 10, 1), "250.48", true) +
                              barRecord(at(2026, 12, 10, 10, 2), "250.5", false) +
                              barRecord(at(2026, 12, 10, 10, 3), "250.25", true) + endRecord();
  for (size_t piece : {size_t{4096}, size_t{1}}) {
    BarsRecorder listener;
    WHistoryBarsParser parser(&listener, "MB", "SBER", kBar5Min, 42);
    ASSERT_EQ(deliverResponse(parser, okResponse(compressed(records)), piece), 0);
    ASSERT_EQ(listener.replies.size(), 1u) << piece;
    const std::vector<WHistoryBar>& bars = listener.replies[0];
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_EQ(bars[0].time, at(2026, 12, 10, 10, 1));
    EXPECT_EQ(bars[0].open, 250.48);
    EXPECT_EQ(bars[0].high, 251.5);
    EXPECT_EQ(bars[0].low, 249.25);
    EXPECT_EQ(bars[0].close, 250.75);
    EXPECT_EQ(bars[0].volume, 1200);
    EXPECT_EQ(bars[0].openInterest, 77);
    EXPECT_EQ(bars[1].openInterest, 0.0);  // left out: 0
    EXPECT_EQ(bars[2].open, 250.25);
    EXPECT_EQ(listener.interval, kBar5Min);
    EXPECT_EQ(listener.context, 42u);
    EXPECT_TRUE(listener.errors.empty());
  }
}

TEST(HistoryReplies, AnEmptyReplyAndABrokenBar) {
  BarsRecorder empty;
  WHistoryBarsParser emptyParser(&empty, "MB", "SBER", kBar1Min, 0);
  ASSERT_EQ(deliverResponse(emptyParser, okResponse(compressed(endRecord())), 4096), 0);
  ASSERT_EQ(empty.replies.size(), 1u);
  EXPECT_TRUE(empty.replies[0].empty());

  // A bar without its volume: the reply fails with one error and nothing is delivered.
  BarsRecorder broken;
  WHistoryBarsParser brokenParser(&broken, "MB", "SBER", kBar1Min, 0);
  RecordWriter w;
  w.dateTime(at(2026, 12, 10, 10, 1)).decimal("1").decimal("1").decimal("1").decimal("1").string("x").recordEnd();
  EXPECT_LT(deliverResponse(brokenParser, okResponse(compressed(w.take() + endRecord())), 4096), 0);
  EXPECT_TRUE(broken.replies.empty());
  ASSERT_EQ(broken.errors.size(), 1u);
  EXPECT_EQ(broken.errors[0].rfind("-1001 ", 0), 0u) << broken.errors[0];
}

std::string tickRecord(PackedTime time, const char* price, int64_t number, bool optional) {
  RecordWriter w;
  w.dateTime(time).decimal(price).decimal("10").int64(number);
  if (optional) w.decimal("5000").int32(2);
  return w.recordEnd().take();
}

TEST(HistoryReplies, TicksInArrivalOrderWithTheirOptionalFields) {
  const std::string records = tickRecord(at(2026, 12, 10, 10, 0, 1), "250.48", 7001, true) +
                              tickRecord(at(2026, 12, 10, 10, 0, 2), "0.3", 7002, false) +
                              tickRecord(at(2026, 12, 10, 10, 0, 2), "101.23", 7003, true) + endRecord();
  for (size_t piece : {size_t{4096}, size_t{1}}) {
    TicksRecorder listener;
    WGetTicksParser parser(&listener, "MB", "SBER", 0);
    ASSERT_EQ(deliverResponse(parser, okResponse(compressed(records)), piece), 0);
    ASSERT_EQ(listener.replies.size(), 1u);
    const std::vector<WTick>& ticks = listener.replies[0];
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[0].tradeNumber, 7001);
    EXPECT_EQ(ticks[0].price, 250.48);
    EXPECT_EQ(ticks[0].openInterest, 5000);
    EXPECT_EQ(ticks[0].action, 2);
    EXPECT_EQ(ticks[1].price, 0.3);
    EXPECT_EQ(ticks[1].openInterest, 0.0);
    EXPECT_EQ(ticks[1].action, 0);
    EXPECT_EQ(ticks[2].tradeNumber, 7003);
  }
  TicksRecorder empty;
  WGetTicksParser emptyParser(&empty, "MB", "SBER", 0);
  ASSERT_EQ(deliverResponse(emptyParser, okResponse(compressed(endRecord())), 4096), 0);
  ASSERT_EQ(empty.replies.size(), 1u);
  EXPECT_TRUE(empty.replies[0].empty());
}

}  // namespace
}  // namespace wexel
