// The portfolio stream and the portfolio queries over loopback sockets, read
// with the client's decoder and field readers: the stream's opening snapshot,
// changes as the exchange fills orders, the keep-alive answer, the records of
// each query with its end record, the several-portfolio reply, long order
// lists, refusals and faults.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "kexsim_record_writer.h"
#include "kexsim_test_support.h"

namespace kexsim::testing {
namespace {

// SBER of the built-in scenario stands at bid 250.49, ask 250.51.
constexpr double kAsk = 250.51;
constexpr double kBid = 250.49;
const int64_t kStart = static_cast<int64_t>(packTime(2024, 1, 5, 10, 0, 0));
const int64_t kStartDate = static_cast<int64_t>(packTime(2024, 1, 5, 0, 0, 0));

// Entry layouts, without what opens them.
constexpr const char* kOrder = "ssliiiddddisdtlilix.";
constexpr const char* kTrade = "ssiddtllxxt.";
constexpr const char* kPosition = "ssddd.";
constexpr const char* kTimedPosition = "ssdddt.";
constexpr const char* kClosed = "ssdddtll.";
constexpr const char* kMoney = "ddddddddddd.";
constexpr const char* kTimedMoney = "dddddddddddt.";
constexpr const char* kReal = "ssd.";

std::string opened(const char* prefix, const char* entry) { return std::string(prefix) + entry; }

// The stream's records by type: the layout names the type in its first value.
LayoutParser streamParser(bool timed) {
  std::vector<std::string> layouts{"eit.",
                                   opened("e", timed ? kTimedMoney : kMoney),
                                   opened("e", kOrder),
                                   opened("e", kTrade),
                                   opened("e", timed ? kTimedPosition : kPosition),
                                   opened("e", kClosed),
                                   "essltiiiidiiidtiid" "id.",   // type 6, kinds 7 and 9
                                   "essltiiiidiiidtiiddi" "id.",  // kind 8
                                   "essltiiiidiiidtiiii" "id.",   // kind 11
                                   "essltiiiidiiidt" "id.",       // other kinds
                                   "eldt.",
                                   "esssliiiidddt.",
                                   "esslidtl."};
  return LayoutParser([layouts](const LayoutParser&) { return layouts; });
}

std::vector<Record> ofType(const LayoutParser& parser, int64_t type) {
  std::vector<Record> records;
  for (const Record& record : parser.records) {
    if (integer(record.values[0]) == type && record.layout != "eit.") records.push_back(record);
  }
  return records;
}

// A query's records: the data kind in front of each entry, then kind 14 and the end.
LayoutParser listParser(const char* entry) {
  std::vector<std::string> layouts{"e.", opened("e", entry)};
  return LayoutParser([layouts](const LayoutParser&) { return layouts; });
}

// Real positions: kinds alone, entries, and after kind 14 the end nibble.
LayoutParser realParser() {
  return LayoutParser(
      [](const LayoutParser& p) { return p.state == 14 ? fixedLayouts({"."}) : fixedLayouts({"e", kReal}); },
      [](LayoutParser& p, const Record& record) {
        if (record.layout == "e") p.state = static_cast<int>(integer(record.values[0]));
      });
}

// The mass reply: the name and kind open a list (state 0), entries of the
// list's kind follow (state = kind) until an end nibble.
LayoutParser massParser() {
  static const std::map<int, std::string> kEntries{{1, kOrder}, {2, kTrade}, {3, kClosed}, {4, kReal}};
  return LayoutParser(
      [](const LayoutParser& p) {
        if (p.state != 0) return fixedLayouts({".", kEntries.at(p.state)});
        std::vector<std::string> layouts{"ne."};
        for (const auto& [kind, entry] : kEntries) layouts.push_back(opened("ne", entry.c_str()));
        return layouts;
      },
      [](LayoutParser& p, const Record& record) {
        bool ends = record.layout == "." || record.layout == "ne.";
        p.state = ends ? 0 : record.layout[0] == 'n' ? static_cast<int>(integer(record.values[1])) : p.state;
      });
}

OrderTicket ticket(int32_t action, int32_t type, double amount, double price, uint32_t cookie) {
  OrderTicket t;
  t.portfolio = "D-10001";
  t.exchange = "MB";
  t.symbol = "SBER";
  t.action = action;
  t.type = type;
  t.validity = 1;
  t.amount = amount;
  t.price = price;
  t.cookie = cookie;
  return t;
}

constexpr int32_t kBuy = 1;
constexpr int32_t kSell = 2;
constexpr int32_t kMarket = 1;
constexpr int32_t kLimit = 2;

class KexsimPortfolio : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.start());
    session = logOn(server.plainPort());
    ASSERT_FALSE(session.empty());
  }

  int64_t place(int32_t action, int32_t type, double amount, double price = 0, uint32_t cookie = 0) {
    OrderOutcome outcome = server.matching().place("demo", ticket(action, type, amount, price, cookie));
    EXPECT_EQ(outcome.text, "");
    return outcome.number;
  }

  std::unique_ptr<TestClient> openStream(const std::string& path, const std::string& portfolio = "D-10001") {
    auto client = std::make_unique<TestClient>(server.plainPort());
    client->send(getRequest(path + "?portfolio=" + portfolio + "&" + session, server.plainPort()));
    return client;
  }

  std::string query(const std::string& pathAndQuery) {
    return roundTrip(server.plainPort(), getRequest(pathAndQuery + "&" + session, server.plainPort()));
  }

  Server server{stillMarket()};
  std::string session;
};

bool atLeast(const LayoutParser& parser, size_t count) { return parser.records.size() >= count; }

TEST_F(KexsimPortfolio, StreamOpensWithMoneyOrdersTradesAndPositions) {
  int64_t bought = place(kBuy, kMarket, 10, 0, 41);
  int64_t resting = place(kSell, kLimit, 4, 260);
  auto client = openStream("/kx2/portfolio-zbin");
  LayoutParser parser = streamParser(false);
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return atLeast(p, 5); }));

  std::vector<int64_t> types;
  for (const Record& record : parser.records) types.push_back(integer(record.values[0]));
  EXPECT_EQ(types, (std::vector<int64_t>{0, 1, 1, 2, 3}));

  const auto& money = parser.records[0].values;
  const double value = 10 * kAsk;
  EXPECT_DOUBLE_EQ(number(money[1]), 1);
  EXPECT_NEAR(number(money[2]), 1000000 - value - value * 0.0005, 0.006);
  EXPECT_NEAR(number(money[3]), value * 0.0005, 0.006);
  EXPECT_NEAR(number(money[4]), 1000000 - value * 0.0005, 0.006);  // cash plus the position at cost

  const auto& filled = parser.records[1].values;
  EXPECT_EQ(text(filled[1]), "MB");
  EXPECT_EQ(text(filled[2]), "SBER");
  EXPECT_EQ(integer(filled[4]), kBuy);
  EXPECT_EQ(integer(filled[6]), static_cast<int64_t>(OrderState::kFilled));
  EXPECT_DOUBLE_EQ(number(filled[9]), 10);
  EXPECT_DOUBLE_EQ(number(filled[10]), 10);
  EXPECT_EQ(integer(filled[14]), kStart);
  EXPECT_EQ(integer(filled[15]), bought);
  EXPECT_NE(integer(filled[3]), bought);  // the exchange's id
  EXPECT_EQ(integer(filled[17]), 41);
  EXPECT_EQ(integer(filled[18]), 1);      // a cookie came with it
  EXPECT_EQ(text(filled[19]), "demo");
  const auto& open = parser.records[2].values;
  EXPECT_EQ(integer(open[15]), resting);
  EXPECT_EQ(integer(open[6]), static_cast<int64_t>(OrderState::kOpen));
  EXPECT_NEAR(number(open[7]), 260, 1e-9);
  EXPECT_EQ(integer(open[17]), 0);
  EXPECT_EQ(integer(open[18]), 0);

  const auto& trade = parser.records[3].values;
  EXPECT_EQ(integer(trade[3]), kBuy);
  EXPECT_NEAR(number(trade[4]), kAsk, 1e-9);
  EXPECT_DOUBLE_EQ(number(trade[5]), 10);
  EXPECT_EQ(integer(trade[6]), kStart);
  EXPECT_EQ(integer(trade[7]), bought);
  EXPECT_EQ(integer(trade[8]), MatchingEngine::kFirstTradeNumber);
  EXPECT_EQ(text(trade[9]), "D-10001");
  EXPECT_EQ(text(trade[10]), "demo");
  EXPECT_EQ(integer(trade[11]), kStartDate);

  const auto& position = parser.records[4].values;
  EXPECT_EQ(text(position[2]), "SBER");
  EXPECT_DOUBLE_EQ(number(position[3]), 10);
  EXPECT_DOUBLE_EQ(number(position[4]), 6);  // the resting sell of 4 is planned
  EXPECT_NEAR(number(position[5]), kAsk, 1e-9);
}

TEST_F(KexsimPortfolio, StreamSendsWhatChangesAndAClosedPosition) {
  auto client = openStream("/kx2/portfolio-zbin");
  LayoutParser parser = streamParser(false);
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return atLeast(p, 1); }));
  ASSERT_EQ(integer(parser.records[0].values[0]), 0);  // an untouched portfolio: its money alone

  int64_t opening = place(kSell, kMarket, 3);  // a short position
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return atLeast(p, 5); }));
  std::vector<int64_t> types;
  for (size_t i = 1; i < parser.records.size(); ++i) types.push_back(integer(parser.records[i].values[0]));
  EXPECT_EQ(types, (std::vector<int64_t>{1, 2, 3, 0}));
  EXPECT_DOUBLE_EQ(number(parser.records[3].values[3]), -3);
  EXPECT_NEAR(number(parser.records[3].values[5]), kBid, 1e-9);

  int64_t closing = place(kBuy, kMarket, 3);
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return !ofType(p, 4).empty() && atLeast(p, 10); }));
  std::vector<Record> positions = ofType(parser, 3);
  ASSERT_EQ(positions.size(), 2u);
  EXPECT_DOUBLE_EQ(number(positions[1].values[3]), 0);
  const std::vector<Value> closed = ofType(parser, 4)[0].values;
  EXPECT_DOUBLE_EQ(number(closed[3]), 3);
  EXPECT_NEAR(number(closed[4]), kAsk, 1e-9);
  EXPECT_NEAR(number(closed[5]), kBid, 1e-9);
  EXPECT_EQ(integer(closed[6]), kStart);
  EXPECT_EQ(integer(closed[7]), opening);
  EXPECT_EQ(integer(closed[8]), closing);
  EXPECT_EQ(ofType(parser, 0).size(), 3u);  // the money moved twice
}

TEST_F(KexsimPortfolio, StreamSendsAFillThatTheMarketBrings) {
  int64_t resting = place(kBuy, kLimit, 2, 249);
  auto client = openStream("/kx2/portfolio-zbin");
  LayoutParser parser = streamParser(false);
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return atLeast(p, 2); }));
  EXPECT_EQ(integer(parser.records[1].values[6]), static_cast<int64_t>(OrderState::kOpen));

  ASSERT_TRUE(server.market().setPrice("MB", "SBER", 248.9));
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return atLeast(p, 6); }));
  std::vector<int64_t> types;
  for (size_t i = 2; i < parser.records.size(); ++i) types.push_back(integer(parser.records[i].values[0]));
  EXPECT_EQ(types, (std::vector<int64_t>{1, 2, 3, 0}));
  EXPECT_EQ(integer(parser.records[2].values[15]), resting);
  EXPECT_EQ(integer(parser.records[2].values[6]), static_cast<int64_t>(OrderState::kFilled));
  EXPECT_LE(number(parser.records[3].values[4]), 249);  // filled at the ask that reached the limit
  EXPECT_EQ(integer(parser.records[3].values[7]), resting);
}

TEST_F(KexsimPortfolio, StreamAnswersEachPingWithAKeepAliveRecord) {
  auto client = openStream("/kx2/portfolio-zbin");
  LayoutParser parser = streamParser(false);
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return atLeast(p, 1); }));
  client->send("PING 1\nPING 7\n");
  ASSERT_TRUE(readFeedUntil(*client, parser, [](const LayoutParser& p) { return atLeast(p, 3); }));
  for (size_t i : {1u, 2u}) {
    EXPECT_EQ(parser.records[i].layout, "eit.");
    EXPECT_EQ(integer(parser.records[i].values[2]), kStart);
  }
  EXPECT_EQ(integer(parser.records[1].values[1]), 1);
  EXPECT_EQ(integer(parser.records[2].values[1]), 7);
  auto entries = server.log().ofKind(kPortfolioKind);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].feedLines, (std::vector<std::string>{"PING 1", "PING 7"}));
}

TEST(KexsimPortfolioTimed, TimedStreamCarriesTimesAndTheExtraRecords) {
  ServerOptions options = stillMarket();
  options.scenario.portfolio.extraRecords = true;
  Server server(std::move(options));
  ASSERT_TRUE(server.start());
  server.matching().place("demo", ticket(kBuy, kMarket, 2, 0, 0));
  TestClient client(server.plainPort());
  client.send(getRequest("/kx2/portfolio-tm-zbin?portfolio=D-10001&" + logOn(server.plainPort()),
                         server.plainPort()));
  LayoutParser parser = streamParser(true);
  ASSERT_TRUE(readFeedUntil(client, parser, [](const LayoutParser& p) { return atLeast(p, 12); }));
  std::vector<int64_t> types;
  for (const Record& record : parser.records) types.push_back(integer(record.values[0]));
  EXPECT_EQ(types, (std::vector<int64_t>{0, 1, 2, 3, 6, 6, 6, 6, 6, 7, 8, 9}));
  EXPECT_EQ(integer(parser.records[0].values[12]), kStart);  // money: the last trade's time
  EXPECT_EQ(integer(parser.records[3].values[6]), kStart);   // position
  std::vector<int64_t> kinds;
  for (size_t i = 4; i < 9; ++i) kinds.push_back(integer(parser.records[i].values[6]));
  EXPECT_EQ(kinds, (std::vector<int64_t>{7, 8, 9, 11, 1}));
}

TEST(KexsimPortfolioScenario, ScenarioSetsCashSyntheticOrdersAndExtraRecords) {
  ServerOptions options;
  options.scenario = parseScenario(R"json({
    "users": [{"login": "demo", "password": "demo", "portfolios": [{"exchange": "MB", "name": "P-1"}]}],
    "securities": [{"exchange": "MB", "symbol": "SBER", "type": "S", "price": 100}],
    "market": {"tickMs": 3600000, "start": "20240105100000"},
    "portfolio": {"startingCash": 5000, "commissionRate": 0, "extraRecords": true,
                  "syntheticOrders": {"P-1": 3}}})json");
  Server server(std::move(options));
  ASSERT_TRUE(server.start());
  TestClient client(server.plainPort());
  client.send(getRequest("/kx2/portfolio-zbin?portfolio=P-1&" + logOn(server.plainPort()), server.plainPort()));
  LayoutParser parser = streamParser(false);
  ASSERT_TRUE(readFeedUntil(client, parser, [](const LayoutParser& p) { return atLeast(p, 12); }));
  EXPECT_DOUBLE_EQ(number(parser.records[0].values[2]), 5000);
  for (int64_t i = 1; i <= 3; ++i) {
    const auto& order = parser.records[static_cast<size_t>(i)].values;
    EXPECT_EQ(integer(order[17]), i);
    EXPECT_EQ(integer(order[6]), static_cast<int64_t>(OrderState::kCancelled));
  }
  EXPECT_EQ(ofType(parser, 6).size(), 5u);
}

// Each list query: its kind in front of every entry, the end record last.
struct ListCase {
  const char* path;
  const char* entry;
  int64_t kind;
  size_t entries;
  size_t openingOrderField;  // where the first entry names the first order
};

TEST_F(KexsimPortfolio, ListQueriesEndWithTheEndRecord) {
  int64_t opening = place(kBuy, kMarket, 5, 0, 9);
  place(kSell, kMarket, 5);
  place(kBuy, kLimit, 1, 200);
  const ListCase cases[] = {
      {"/kx2/get-portfolio-mo-zbin.php", kOrder, 3, 3, 15},
      {"/kx2/get-portfolio-mt-zbin.php", kTrade, 2, 2, 7},
      {"/kx2/get-portfolio-cp-zbin.php", kClosed, 1, 1, 7},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.path);
    LayoutParser parser = listParser(c.entry);
    ASSERT_EQ(deliver(parser, query(std::string(c.path) + "?portfolio=D-10001"), 1), 0);
    ASSERT_EQ(parser.records.size(), c.entries + 1);
    for (size_t i = 0; i < c.entries; ++i) EXPECT_EQ(integer(parser.records[i].values[0]), c.kind);
    EXPECT_EQ(integer(parser.records[0].values[c.openingOrderField]), opening);
    EXPECT_EQ(parser.records.back().layout, "e.");
    EXPECT_EQ(integer(parser.records.back().values[0]), 14);
  }
  LayoutParser orders = listParser(kOrder);
  ASSERT_EQ(deliver(orders, query("/kx2/get-portfolio-mo-zbin.php?portfolio=D-10001"), 4096), 0);
  EXPECT_EQ(integer(orders.records[0].values[17]), 9);  // the cookie
  EXPECT_EQ(integer(orders.records[0].values[18]), 1);
  EXPECT_EQ(integer(orders.records[2].values[6]), static_cast<int64_t>(OrderState::kOpen));
}

TEST_F(KexsimPortfolio, AnEmptyListIsTheEndRecordAlone) {
  LayoutParser parser = listParser(kTrade);
  ASSERT_EQ(deliver(parser, query("/kx2/get-portfolio-mt-zbin.php?portfolio=D-10001F"), 1), 0);
  ASSERT_EQ(parser.records.size(), 1u);
  EXPECT_EQ(integer(parser.records[0].values[0]), 14);
}

TEST_F(KexsimPortfolio, RealPositionsHoldTheMoneyAndEachOpenPosition) {
  place(kBuy, kMarket, 7);
  LayoutParser parser = realParser();
  ASSERT_EQ(deliver(parser, query("/kx2/get-portfolio-rp-zbin.php?portfolio=D-10001"), 1), 0);
  std::vector<std::string> layouts;
  for (const Record& record : parser.records) layouts.push_back(record.layout);
  EXPECT_EQ(layouts, (std::vector<std::string>{"e", kReal, "e", kReal, "e", "."}));
  EXPECT_EQ(text(parser.records[1].values[0]), "MA-10001");
  EXPECT_EQ(text(parser.records[1].values[1]), "RUB");
  EXPECT_NEAR(number(parser.records[1].values[2]), 1000000 - 7 * kAsk * 1.0005, 0.006);
  EXPECT_EQ(text(parser.records[3].values[1]), "SBER");
  EXPECT_DOUBLE_EQ(number(parser.records[3].values[2]), 7);
  EXPECT_EQ(integer(parser.records[4].values[0]), 14);
}

TEST_F(KexsimPortfolio, MassReplyListsEachPortfolioByKind) {
  place(kBuy, kMarket, 2);
  place(kBuy, kLimit, 1, 200);
  LayoutParser parser = massParser();
  ASSERT_EQ(deliver(parser, query("/kx2/get-portfolio-all-zbin.php?o_mode=1&portfolio[]=D-10001F"
                                  "&portfolio[]=D-10001"), 1), 0);
  // Per list: the opening record, then (name, kind, entries in it).
  std::vector<std::tuple<std::string, int64_t, size_t>> lists;
  for (const Record& record : parser.records) {
    if (record.layout[0] == 'n') {
      lists.emplace_back(text(record.values[0]), integer(record.values[1]), record.layout == "ne." ? 0 : 1);
    } else if (record.layout != ".") {
      ++std::get<2>(lists.back());
    }
  }
  using List = std::tuple<std::string, int64_t, size_t>;
  EXPECT_EQ(lists, (std::vector<List>{{"D-10001F", 1, 0}, {"D-10001F", 2, 0}, {"D-10001F", 3, 0},
                                      {"D-10001F", 4, 1}, {"D-10001", 1, 2}, {"D-10001", 2, 1},
                                      {"D-10001", 3, 0}, {"D-10001", 4, 2}}));
  EXPECT_EQ(parser.state, 0);  // every list ended
  EXPECT_EQ(server.log().ofKind(kPortfolioMassKind).size(), 1u);
}

TEST(KexsimPortfolioLong, TwentyFiveThousandOrdersInOneReply) {
  ServerOptions options = stillMarket();
  options.scenario.portfolio.syntheticOrders["D-10001"] = 20000;
  Server server(std::move(options));
  ASSERT_TRUE(server.start());
  server.matching().addSyntheticOrders("demo", "D-10001", 5000);
  std::string session = logOn(server.plainPort());
  std::string reply = roundTrip(server.plainPort(),
                                getRequest("/kx2/get-portfolio-mo-zbin.php?portfolio=D-10001&" + session,
                                           server.plainPort()));
  LayoutParser parser = listParser(kOrder);
  ASSERT_EQ(deliver(parser, reply, 65536), 0);
  ASSERT_EQ(parser.records.size(), 25001u);
  for (size_t i : {0u, 9999u, 24999u}) {
    EXPECT_EQ(integer(parser.records[i].values[15]), MatchingEngine::kFirstOrderNumber + static_cast<int64_t>(i));
    EXPECT_EQ(integer(parser.records[i].values[17]), static_cast<int64_t>(i % 20000 + 1));
  }
  EXPECT_EQ(integer(parser.records.back().values[0]), 14);
}

TEST_F(KexsimPortfolio, RefusesOtherUsersPortfoliosAndRequestsWithoutSession) {
  for (const char* path : {"/kx2/portfolio-zbin", "/kx2/get-portfolio-mo-zbin.php", "/kx2/get-portfolio-rp-zbin.php"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(query(std::string(path) + "?portfolio=T-20002").rfind("HTTP/1.0 403 ", 0), 0u);
    std::string bare = roundTrip(server.plainPort(), getRequest(std::string(path) + "?portfolio=D-10001", server.plainPort()));
    EXPECT_EQ(bare.rfind("HTTP/1.0 401 ", 0), 0u);
  }
  EXPECT_EQ(query("/kx2/get-portfolio-all-zbin.php?o_mode=0&portfolio[]=D-10001&portfolio[]=T-20002")
                .rfind("HTTP/1.0 403 ", 0), 0u);
}

// Faults by request kind: what the client's reader makes of the reply.
struct FaultCase {
  const char* kind;
  const char* path;
  FaultType type;
  int status;
};

TEST_F(KexsimPortfolio, FaultsPerRequestKind) {
  place(kBuy, kMarket, 1);
  const FaultCase cases[] = {
      {kMyOrdersKind, "/kx2/get-portfolio-mo-zbin.php?portfolio=D-10001", FaultType::kStatus, 500},
      {kMyOrdersKind, "/kx2/get-portfolio-mo-zbin.php?portfolio=D-10001", FaultType::kCloseBeforeEnd, 0},
      {kMyTradesKind, "/kx2/get-portfolio-mt-zbin.php?portfolio=D-10001", FaultType::kCorruptRecord, 0},
      {kClosePosKind, "/kx2/get-portfolio-cp-zbin.php?portfolio=D-10001", FaultType::kCloseMidBody, 0},
      {kRealPosKind, "/kx2/get-portfolio-rp-zbin.php?portfolio=D-10001", FaultType::kCloseBeforeEnd, 0},
      {kPortfolioMassKind, "/kx2/get-portfolio-all-zbin.php?o_mode=0&portfolio[]=D-10001", FaultType::kCorruptRecord, 0},
      {kPortfolioKind, "/kx2/portfolio-zbin?portfolio=D-10001", FaultType::kStatus, 404},
      {kPortfolioKind, "/kx2/portfolio-zbin?portfolio=D-10001", FaultType::kCloseBeforeEnd, 0},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(static_cast<int>(c.type)));
    Fault fault;
    fault.type = c.type;
    fault.status = c.status;
    fault.times = 1;
    server.faults().set(c.kind, fault);
    std::string reply = query(c.path);
    if (c.type == FaultType::kStatus) {
      EXPECT_EQ(reply.rfind("HTTP/1.0 " + std::to_string(c.status) + " ", 0), 0u);
      continue;
    }
    ASSERT_EQ(reply.rfind("HTTP/1.0 200 ", 0), 0u);
    LayoutParser parser = std::string(c.kind) == kPortfolioKind       ? streamParser(false)
                          : std::string(c.kind) == kRealPosKind       ? realParser()
                          : std::string(c.kind) == kPortfolioMassKind ? massParser()
                          : listParser(std::string(c.kind) == kMyOrdersKind   ? kOrder
                                       : std::string(c.kind) == kMyTradesKind ? kTrade
                                                                              : kClosed);
    int result = deliver(parser, reply, 4096);
    if (c.type == FaultType::kCorruptRecord) {
      EXPECT_LT(result, 0);
      continue;
    }
    EXPECT_EQ(result, 0);
    bool ended = !parser.records.empty() && (parser.records.back().layout == "e." || parser.records.back().layout == ".");
    EXPECT_FALSE(ended);
  }
}

}  // namespace
}  // namespace kexsim::testing
