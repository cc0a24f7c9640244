// The securities guide: the request text, the reply's sections, pairs and
// security records with their optional run, delivery of the whole guide in
// one call, and every way the listener hears of a failure.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kexsim_record_writer.h"
#include "log_capture.h"
#include "lz77_test_parsers.h"
#include "record_test_support.h"
#include "market/wexel_get_guide_request.h"

namespace wexel {
namespace {

using kexsim::packTime;
using kexsim::RecordWriter;
using testing::bitsOf;
using testing::compressed;

class GuideListener : public WexelReferenceSecuritiesListener {
 public:
  struct Guide {
    std::vector<WSecurity> securities;
    std::vector<WGuidePair> sections[3];
  };

  void onSecurities(const std::vector<WSecurity>& securities, const std::vector<WGuidePair>& section1,
                    const std::vector<WGuidePair>& section2, const std::vector<WGuidePair>& section3) override {
    guides.push_back({securities, {section1, section2, section3}});
  }
  void onError(const std::string& message, int code) override { errors.emplace_back(message, code); }

  std::vector<Guide> guides;
  std::vector<std::pair<std::string, int>> errors;
};

// ---- records compared field by field -------------------------------------

std::vector<std::string> fieldsOf(const WSecurity& s) {
  auto n = [](auto v) { return std::to_string(v); };
  auto d = [](double v) { return std::to_string(bitsOf(v)); };
  return {s.exchangeCode, s.extraText2,  s.type,        s.symbol,      s.shortName,   s.longName,
          s.extraText15,  n(s.extra7),   n(s.extra11),  n(s.decimals), n(s.lotSize),  n(s.extra10),
          n(s.expiry),    d(s.strike),   d(s.pointValue), d(s.priceStep), d(s.extra17), d(s.extra18),
          s.extraText19,  n(s.extra20),  n(s.extra21),  n(s.extra22),  n(s.extra23),  d(s.extra24),
          d(s.extra25),   d(s.extra26),  n(s.extra27),  n(s.extra28),  n(s.extra29)};
}

std::pair<std::string, std::string> fieldsOf(const WGuidePair& p) { return {p.first, p.second}; }

template <typename Record>
auto fieldsOf(const std::vector<Record>& records) {
  std::vector<decltype(fieldsOf(records.front()))> out;
  for (const Record& record : records) out.push_back(fieldsOf(record));
  return out;
}

auto fieldsOf(const GuideListener::Guide& g) {
  return std::tuple(fieldsOf(g.securities), fieldsOf(g.sections[0]), fieldsOf(g.sections[1]),
                    fieldsOf(g.sections[2]));
}

// ---- record builders --------------------------------------------------------

std::string sectionStart(int number) { return RecordWriter().small(number).recordEnd().take(); }
std::string sectionEnd() { return RecordWriter().recordEnd().take(); }
std::string pairRecord(const char* first, const char* second) {
  return RecordWriter().string(first).string(second).recordEnd().take();
}
WGuidePair pairFields(const char* first, const char* second) {
  WGuidePair p{};
  std::snprintf(p.first, sizeof p.first, "%s", first);
  std::snprintf(p.second, sizeof p.second, "%s", second);
  return p;
}

// The optional run, field 15 to 29: how each is written and what it reads as.
struct OptionalField {
  std::function<void(RecordWriter&)> write;
  std::function<void(WSecurity&)> expect;
};

const std::vector<OptionalField>& optionalRun() {
  static const std::vector<OptionalField> run = {
      {[](RecordWriter& w) { w.string("extra text 15"); },
       [](WSecurity& s) { std::snprintf(s.extraText15, sizeof s.extraText15, "extra text 15"); }},
      {[](RecordWriter& w) { w.decimal("0.5"); }, [](WSecurity& s) { s.priceStep = 0.5; }},
      {[](RecordWriter& w) { w.decimal("1.5"); }, [](WSecurity& s) { s.extra17 = 1.5; }},
      {[](RecordWriter& w) { w.decimal("-2.5"); }, [](WSecurity& s) { s.extra18 = -2.5; }},
      {[](RecordWriter& w) { w.string("Y"); }, [](WSecurity& s) { s.extraText19[0] = 'Y'; }},
      {[](RecordWriter& w) { w.int32(20); }, [](WSecurity& s) { s.extra20 = 20; }},
      {[](RecordWriter& w) { w.int32(21); }, [](WSecurity& s) { s.extra21 = 21; }},
      {[](RecordWriter& w) { w.int32(-22); }, [](WSecurity& s) { s.extra22 = -22; }},
      {[](RecordWriter& w) { w.int32(23); }, [](WSecurity& s) { s.extra23 = 23; }},
      {[](RecordWriter& w) { w.decimal("24.5"); }, [](WSecurity& s) { s.extra24 = 24.5; }},
      {[](RecordWriter& w) { w.decimal("25"); }, [](WSecurity& s) { s.extra25 = 25; }},
      {[](RecordWriter& w) { w.emptyNumber(); },
       [](WSecurity& s) { s.extra26 = std::bit_cast<double>(uint64_t{0x7FFFFFFFFFFFFFFF}); }},
      {[](RecordWriter& w) { w.int32(27); }, [](WSecurity& s) { s.extra27 = 27; }},
      {[](RecordWriter& w) { w.int32(28); }, [](WSecurity& s) { s.extra28 = 28; }},
      {[](RecordWriter& w) { w.int32(29); }, [](WSecurity& s) { s.extra29 = 29; }},
  };
  return run;
}

constexpr int kWholeRun = 15;
// CP1251 bytes travel unchanged.
const char kLongName[] = "\xD1\xE1\xE5\xF0\xE1\xE0\xED\xEA ordinary share";

// A security: the 14 required fields, then the first `optional` fields of
// the run; `wrongAt` (a wire position) writes a number in that field's place
// and goes on with the fields after it.
std::string securityRecord(const std::string& exchange, const char* symbol, int optional, int wrongAt = 0) {
  RecordWriter w;
  w.string(exchange).string("TQBR").string("Share").string(symbol).string("Short").string(kLongName);
  w.int32(1).int32(2).int32(10).int32(4).int32(5).dateTime(packTime(2024, 12, 20, 18, 45, 0));
  w.decimal("0").decimal("1");
  for (int i = 0; i < optional; ++i) {
    if (15 + i == wrongAt) w.int32(7);
    else optionalRun()[i].write(w);
  }
  return w.recordEnd().take();
}

WSecurity securityFields(const std::string& exchange, const char* symbol, int optional, int wrongAt = 0) {
  WSecurity s{};
  std::snprintf(s.exchangeCode, sizeof s.exchangeCode, "%s", exchange.c_str());
  std::snprintf(s.extraText2, sizeof s.extraText2, "TQBR");
  std::snprintf(s.type, sizeof s.type, "Share");
  std::snprintf(s.symbol, sizeof s.symbol, "%s", symbol);
  std::snprintf(s.shortName, sizeof s.shortName, "Short");
  std::snprintf(s.longName, sizeof s.longName, "%s", kLongName);
  s.extra7 = 1, s.decimals = 2, s.lotSize = 10, s.extra10 = 4, s.extra11 = 5;
  s.expiry = packTime(2024, 12, 20, 18, 45, 0);
  s.strike = 0, s.pointValue = 1;
  for (int i = 0; i < optional && (wrongAt == 0 || 15 + i < wrongAt); ++i) optionalRun()[i].expect(s);
  return s;
}

std::string joined(const std::vector<std::string>& records) {
  std::string out;
  for (const auto& record : records) out += record;
  return out;
}

int feed(WLZ77Parser& parser, const std::string& body, int split) {
  if (split == 0) return testing::feedWhole(parser, body);
  if (split == 1) return testing::feedBytewise(parser, body);
  return testing::feedRandomPieces(parser, body, static_cast<uint32_t>(split), 9);
}

constexpr int kSplits[] = {0, 1, 2, 3};  // whole, byte by byte, random pieces (two seeds)

// ---- parser ------------------------------------------------------------------

struct GuideCase {
  std::string name;
  std::vector<std::string> records;
  std::vector<GuideListener::Guide> expected;
};

std::vector<GuideCase> guideCases() {
  std::vector<GuideCase> cases = {
      {"sections 1 to 3, then the securities",
       {sectionStart(1), pairRecord("MICEX", "Moscow exchange"), pairRecord("FORTS", "Derivatives"), sectionEnd(),
        sectionStart(2), pairRecord("Share", "Ordinary share"), sectionEnd(), sectionStart(3), sectionEnd(),
        sectionStart(4), securityRecord("MICEX", "SBER", kWholeRun), securityRecord("FORTS", "RIZ4", 0),
        sectionEnd()},
       {{{securityFields("MICEX", "SBER", kWholeRun), securityFields("FORTS", "RIZ4", 0)},
         {{pairFields("MICEX", "Moscow exchange"), pairFields("FORTS", "Derivatives")},
          {pairFields("Share", "Ordinary share")},
          {}}}}},
      {"section 4 alone, three empty lists",
       {sectionStart(4), securityRecord("MICEX", "SBER", 3), securityRecord("MICEX", "GAZP", 3), sectionEnd()},
       {{{securityFields("MICEX", "SBER", 3), securityFields("MICEX", "GAZP", 3)}, {}}}},
      {"a section end before any section start delivers nothing",
       {sectionEnd(), sectionStart(4), securityRecord("MICEX", "SBER", 0), sectionEnd()},
       {{{securityFields("MICEX", "SBER", 0)}, {}}}},
      {"the end of section 2 delivers nothing", {sectionStart(2), pairRecord("a", "b"), sectionEnd()}, {}},
      {"a wrong marker at the one-character field ends the optional run",
       {sectionStart(4), securityRecord("MICEX", "SBER", kWholeRun, 19), sectionEnd()},
       {{{securityFields("MICEX", "SBER", kWholeRun, 19)}, {}}}},
      {"an exchange code of 63 bytes fits",
       {sectionStart(4), securityRecord(std::string(63, 'X'), "SBER", 0), sectionEnd()},
       {{{securityFields(std::string(63, 'X'), "SBER", 0)}, {}}}},
      {"pairs with fields after the second text",
       {sectionStart(1), RecordWriter().string("a").string("b").int32(3).string("c").recordEnd().take(),
        sectionEnd(), sectionStart(4), sectionEnd()},
       {{{}, {{pairFields("a", "b")}, {}, {}}}}},
  };
  for (int optional = 0; optional <= kWholeRun; ++optional) {
    cases.push_back({"optional run of " + std::to_string(optional) + " fields",
                     {sectionStart(4), securityRecord("MICEX", "SBER", optional), sectionEnd()},
                     {{{securityFields("MICEX", "SBER", optional)}, {}}}});
  }
  return cases;
}

TEST(GuideParser, DeliversTheWholeGuideInOneCallHoweverTheBodyIsSplit) {
  for (const GuideCase& c : guideCases()) {
    for (int split : kSplits) {
      SCOPED_TRACE(c.name + ", split " + std::to_string(split));
      GuideListener listener;
      WGuideParser parser(&listener);
      ASSERT_EQ(feed(parser, compressed(joined(c.records)), split), 0);
      ASSERT_EQ(listener.guides.size(), c.expected.size());
      for (size_t i = 0; i < c.expected.size(); ++i) {
        EXPECT_EQ(fieldsOf(listener.guides[i]), fieldsOf(c.expected[i]));
      }
      EXPECT_TRUE(listener.errors.empty());
      EXPECT_EQ(parser.section(), 0);
    }
  }
}

TEST(GuideParser, GoldenSectionAndPairRecords) {
  // Section start 1; a pair "AB" / "C" followed by a number; section end.
  const std::string records[] = {
      testing::nibbleBytes("E1F0"),
      testing::nibbleBytes("C0 4142 00 C0 43 00 A5 F0"),
      testing::nibbleBytes("F0"),
  };
  const int sectionAfter[] = {1, 1, 0};
  WGuideParser parser(nullptr);
  for (size_t i = 0; i < std::size(records); ++i) {
    const std::string& record = records[i];
    ASSERT_EQ(parser.parseRecord(record.data(), static_cast<int>(record.size())), static_cast<int>(record.size()));
    EXPECT_EQ(parser.section(), sectionAfter[i]);
  }
}

TEST(GuideParser, IncompleteRecordsWaitForTheirLastByte) {
  struct Case {
    const char* name;
    std::string before;
    std::string record;
  };
  const Case cases[] = {
      {"section start", "", sectionStart(4)},
      {"pair", sectionStart(1), pairRecord("MICEX", "Moscow exchange")},
      {"security with the whole optional run", sectionStart(4), securityRecord("MICEX", "SBER", kWholeRun)},
      {"security with required fields only", sectionStart(4), securityRecord("MICEX", "SBER", 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GuideListener listener;
    WGuideParser parser(&listener);
    if (!c.before.empty()) {
      ASSERT_EQ(parser.parseRecord(c.before.data(), static_cast<int>(c.before.size())),
                static_cast<int>(c.before.size()));
    }
    for (size_t cut = 1; cut < c.record.size(); ++cut) {
      EXPECT_EQ(parser.parseRecord(c.record.data(), static_cast<int>(cut)), 0) << "first " << cut << " bytes";
    }
    EXPECT_EQ(parser.parseRecord(c.record.data(), static_cast<int>(c.record.size())),
              static_cast<int>(c.record.size()));
  }
}

TEST(GuideParser, ASecurityStillIncompleteAtTheLimitIsCorrupt) {
  const std::string start = sectionStart(4);
  // Six texts, then a field 7 whose digits never end.
  std::string record = RecordWriter().string("M").string("T").string("S").string("SBER").string("s").string("L").take();
  record += "\xA1";
  record.resize(WLZ77Parser::kIncompleteLimit, '\x11');
  WGuideParser parser(nullptr);
  ASSERT_EQ(parser.parseRecord(start.data(), static_cast<int>(start.size())), static_cast<int>(start.size()));
  EXPECT_EQ(parser.parseRecord(record.data(), WLZ77Parser::kIncompleteLimit - 1), 0);
  EXPECT_EQ(parser.parseRecord(record.data(), WLZ77Parser::kIncompleteLimit), kErrorMalformed);
  EXPECT_EQ(parser.lastErrorText(), "Parse error: src/wexel_get_guide_request, line 107");
}

TEST(GuideParser, AFailedReplyReachesTheListenerOnceAndDeliversNothing) {
  struct Case {
    const char* name;
    std::string response;
    std::pair<std::string, int> error;
  };
  const Case cases[] = {
      {"an exchange code of 64 bytes",
       testing::okResponse(compressed(sectionStart(4) + securityRecord(std::string(64, 'X'), "SBER", 0))),
       {"Parse error: src/wexel_get_guide_request, line 101", -1001}},
      {"a pair whose first text is too long",
       testing::okResponse(compressed(sectionStart(1) + pairRecord(std::string(64, 'X').c_str(), "b"))),
       {"Parse error: src/wexel_get_guide_request, line 201", -1001}},
      {"a section start without its small value",
       testing::okResponse(compressed(RecordWriter().int32(4).recordEnd().take())),
       {"Parse error: src/wexel_get_guide_request, line 301", -1001}},
      {"a corrupt record after section 4 began",
       testing::okResponse(compressed(sectionStart(4) + securityRecord("MICEX", "SBER", 0) + pairRecord("a", "b"))),
       {"Parse error: src/wexel_get_guide_request, line 103", -1001}},
      {"a refused status", "HTTP/1.0 500 Internal Server Error\r\n\r\n", {"Internal Server Error", -1001}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::LogCapture log;
    GuideListener listener;
    WGuideParser parser(&listener);
    EXPECT_LT(testing::deliverResponse(parser, c.response, 3), 0);
    EXPECT_TRUE(listener.guides.empty());
    EXPECT_EQ(listener.errors, (std::vector{c.error}));
    EXPECT_FALSE(log.contains("ERROR: " + c.error.first));  // reported, not logged
  }
}

TEST(GuideParser, AnyBytesGetAnAnswerWithinTheBytesOffered) {
  const std::string guide = joined({sectionStart(1), pairRecord("MICEX", "Moscow exchange"), sectionEnd(),
                                    sectionStart(4), securityRecord("MICEX", "SBER", kWholeRun),
                                    securityRecord("MICEX", "GAZP", 0), sectionEnd()});
  std::mt19937 random(2024);
  for (int round = 0; round < 3000; ++round) {
    GuideListener listener;
    WGuideParser parser(&listener);
    ASSERT_TRUE(testing::offerAll(parser, testing::damaged(guide, random))) << "round " << round;
  }
}

// ---- request and factory ----------------------------------------------------------

sockaddr_in serverAt(const char* host, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  inet_pton(AF_INET, host, &address.sin_addr);
  return address;
}

std::unique_ptr<WGetGuideRequest> guideRequest(GuideListener& listener) {
  WGetGuideFactory factory(&listener, serverAt("127.0.0.1", 8443));
  WHttpRequest* request = factory.create(nullptr);
  return std::unique_ptr<WGetGuideRequest>(dynamic_cast<WGetGuideRequest*>(request));
}

TEST(GetGuideRequest, GoldenRequestText) {
  setUserAgent("Quarnel3/3,0,137,4293");
  GuideListener listener;
  auto request = guideRequest(listener);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->url(), "/kx2/get-symbols-zbin.php?");
  ASSERT_TRUE(request->prepareRequest());
  // Without a manager the session text is empty; it would follow the "&".
  EXPECT_EQ(request->sendText(),
            "GET /kx2/get-symbols-zbin.php?& HTTP/1.0\r\n"
            "User-Agent: Quarnel3/3,0,137,4293/wexel/2.1.0/1600/windows\r\n"
            "Host: 127.0.0.1:8443\r\n"
            "\r\n");
}

TEST(GetGuideRequest, ChannelErrorsReachTheListenerWithTheServerAddressUntilTheGuideArrived) {
  const std::string guide = testing::okResponse(compressed(sectionStart(4) + sectionEnd()));
  struct Case {
    const char* name;
    bool guideFirst;
    int code;
    std::vector<std::pair<std::string, int>> errors;
    bool logged;
  };
  const Case cases[] = {
      {"a socket error", false, 10061, {{"Connection refused (127.0.0.1:8443)", 10061}}, true},
      {"the server closing before the guide ended", false, 0, {{"Connection closed by server (127.0.0.1:8443)", 0}},
       false},
      {"the server closing after the guide", true, 0, {}, false},
      {"a socket error after the guide", true, 10054, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::LogCapture log;
    GuideListener listener;
    auto request = guideRequest(listener);
    if (c.guideFirst) {
      ASSERT_EQ(testing::deliverResponse(*request->parser(), guide, 4), 0);
    }
    const char* text = c.code == 10061 ? "Connection refused"
                       : c.code == 0   ? "Connection closed by server"
                                       : "Connection reset by peer";
    request->onError(c.code, text);
    EXPECT_EQ(listener.errors, c.errors);
    EXPECT_EQ(listener.guides.size(), c.guideFirst ? 1u : 0u);
    char channel[64];
    std::snprintf(channel, sizeof channel, "Channel 0x%llX, sockErr '",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(request.get())));
    EXPECT_EQ(log.contains(std::string(channel) + text + "': " + std::to_string(c.code) +
                           ", file: src/wexel_get_guide_request, line "),
              c.logged);
  }
}

TEST(GetGuideRequest, AParseErrorIsTheOnlyReportWhenTheConnectionThenCloses) {
  GuideListener listener;
  auto request = guideRequest(listener);
  const std::string response = testing::okResponse(compressed(RecordWriter().int32(4).recordEnd().take()));
  EXPECT_LT(testing::deliverResponse(*request->parser(), response, 64), 0);
  request->onError(0, "Connection closed by server");
  EXPECT_EQ(listener.errors,
            (std::vector<std::pair<std::string, int>>{{"Parse error: src/wexel_get_guide_request, line 301", -1001}}));
}

}  // namespace
}  // namespace wexel
