// The securities guide as the client reads it, and the faults on demand seen
// through the client's parsers.
#include <gtest/gtest.h>

#include "kexsim_record_writer.h"
#include "kexsim_test_support.h"
#include "core/wexel_text.h"

namespace kexsim::testing {
namespace {

std::string cp1251(const std::string& utf8) { return wexel::convertCharset(utf8, "UTF-8", "CP1251"); }

std::vector<Record> ofLayout(const LayoutParser& parser, const char* layout) {
  std::vector<Record> matching;
  for (const Record& record : parser.records) {
    if (record.layout == layout) matching.push_back(record);
  }
  return matching;
}

// The client delivers the guide when section 4 ends.
bool guideDelivered(const LayoutParser& parser) {
  return parser.state == 0 && !parser.records.empty() && parser.records.back().layout == kEnd &&
         ofLayout(parser, kSecurity).size() == 5;
}

std::string guideReply(Server& server, const std::string& session) {
  return roundTrip(server.plainPort(), getRequest("/kx2/get-symbols-zbin.php?&" + session, server.plainPort()));
}

TEST(KexsimGuide, ReadsWithTheClientReadersWholeAndSplitAtEveryByte) {
  Server server(stillMarket());
  ASSERT_TRUE(server.start());
  std::string reply = guideReply(server, logOn(server.plainPort()));

  LayoutParser whole = guideParser();
  ASSERT_EQ(deliver(whole, reply, reply.size()), 0);
  LayoutParser bytewise = guideParser();
  ASSERT_EQ(deliver(bytewise, reply, 1), 0);
  ASSERT_TRUE(guideDelivered(bytewise));
  ASSERT_EQ(whole.records.size(), bytewise.records.size());
  for (size_t i = 0; i < whole.records.size(); ++i) EXPECT_EQ(whole.records[i].values, bytewise.records[i].values);

  std::vector<int64_t> sections;
  for (const Record& start : ofLayout(bytewise, kSectionStart)) sections.push_back(integer(start.values[0]));
  EXPECT_EQ(sections, (std::vector<int64_t>{1, 2, 3, 4}));
  EXPECT_EQ(ofLayout(bytewise, kPair).size(), 6u);
  EXPECT_EQ(text(ofLayout(bytewise, kPair)[1].values[1]), cp1251("Futures and options"));
  EXPECT_EQ(text(ofLayout(bytewise, kPair)[2].values[1]), cp1251("Акции"));

  std::vector<Record> securities = ofLayout(bytewise, kSecurity);
  const auto& sber = securities[0].values;
  EXPECT_EQ(text(sber[0]), "MB");
  EXPECT_EQ(text(sber[3]), "SBER");
  EXPECT_EQ(text(sber[4]), cp1251("Сбербанк"));
  EXPECT_EQ(text(sber[5]), cp1251("Сбербанк России ПАО ао"));
  EXPECT_EQ(integer(sber[8]), 10);        // lot size
  EXPECT_EQ(integer(sber[11]), 0);        // no expiry
  EXPECT_EQ(number(sber[15]), 0.01);      // price step, first of the optional run
  EXPECT_EQ(text(sber[18]), "R");         // the one-character field
  ASSERT_EQ(sber.size(), 29u);
  EXPECT_EQ(securities[2].values.size(), 14u);  // KXRA carries the required fields only
  const auto& option = securities[4].values;
  EXPECT_EQ(integer(option[11]), static_cast<int64_t>(packTime(2025, 3, 20, 18, 45, 0)));
  EXPECT_EQ(number(option[12]), 110000.0);  // strike
  EXPECT_EQ(number(option[13]), 1.3);       // point value

  auto logged = server.log().ofKind(kGuideKind);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].path, "/kx2/get-symbols-zbin.php");
  EXPECT_EQ(logged[0].query.substr(0, 5), "&sid=");
}

struct FaultCase {
  const char* name;
  Fault fault;
  int parserResult;  // of delivering the whole reply
  bool delivered;
};

TEST(KexsimGuide, FaultsOnDemandAsTheClientSeesThem) {
  const FaultCase cases[] = {
      {"none", {}, 0, true},
      {"corrupt record", {FaultType::kCorruptRecord}, -1001, false},
      {"close before end", {FaultType::kCloseBeforeEnd}, 0, false},
      {"close mid body", {FaultType::kCloseMidBody}, 0, false},
      {"status 403", {FaultType::kStatus, 403}, -1, false},
      {"status 500", {FaultType::kStatus, 500}, -1, false},
      {"drip", {FaultType::kDrip}, 0, true},
      {"delay", {FaultType::kDelay, 0, 30}, 0, true},
  };
  Server server(stillMarket());
  ASSERT_TRUE(server.start());
  std::string session = logOn(server.plainPort());
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    server.faults().set(kGuideKind, {c.fault.type, c.fault.status, c.fault.delayMs, 1});
    std::string reply = guideReply(server, session);
    LayoutParser parser = guideParser();
    EXPECT_EQ(deliver(parser, reply, reply.size()), c.parserResult);
    EXPECT_EQ(guideDelivered(parser), c.delivered);
  }
  // Each fault hit one request only.
  std::string reply = guideReply(server, session);
  LayoutParser parser = guideParser();
  EXPECT_EQ(deliver(parser, reply, reply.size()), 0);
  EXPECT_TRUE(guideDelivered(parser));
}

TEST(KexsimGuide, RequestWithoutAValidSessionIsRefused) {
  Server server(stillMarket());
  ASSERT_TRUE(server.start());
  for (const char* query : {"?", "?&sid=0123456789abcdef", "?&user=demo"}) {
    std::string reply = roundTrip(server.plainPort(), getRequest(std::string("/kx2/get-symbols-zbin.php") + query,
                                                                server.plainPort()));
    EXPECT_EQ(reply.substr(0, 26), "HTTP/1.0 401 Unauthorized\r") << query;
  }
}

TEST(KexsimTlsFault, RefusedHandshakeThenServedAgain) {
  Server server(stillMarket());
  ASSERT_TRUE(server.start());
  server.faults().set(kTlsKind, {FaultType::kRefuseHandshake, 0, 0, 1});
  EXPECT_FALSE(TestClient(server.tlsPort(), true).connected());
  TestClient again(server.tlsPort(), true);
  EXPECT_TRUE(again.connected());
}

}  // namespace
}  // namespace kexsim::testing
