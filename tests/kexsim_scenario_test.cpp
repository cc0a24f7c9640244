// Scenario files: every part reaches the server's model, texts become CP1251,
// and mistakes are reported before the server starts.
#include <gtest/gtest.h>
#include <iconv.h>

#include <vector>

#include "kexsim_scenario.h"
#include "kexsim_script.h"
#include "kexsim_cp1251.h"

namespace kexsim {
namespace {

// kexsim's own encoder against the system's iconv, for every character the
// code page has; what it lacks becomes '?'.
TEST(KexsimCp1251, EncodesTheWholeCodePageAsIconvDoes) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (int byte = 1; byte < 256; ++byte) {
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inAt = in;
    char* outAt = out;
    size_t inLeft = 1;
    size_t outLeft = sizeof out;
    if (iconv(cd, &inAt, &inLeft, &outAt, &outLeft) == static_cast<size_t>(-1)) continue;  // a hole (0x98)
    EXPECT_EQ(kexsim::toCp1251(std::string(out, outAt)), std::string(1, in[0])) << byte;
  }
  iconv_close(cd);
  EXPECT_EQ(kexsim::toCp1251("Ω中\xFF\xC3"), "????");
}

TEST(KexsimScenario, EveryPartIsRead) {
  Scenario s = parseScenario(R"({
    "users": [{"login": "u", "password": "p", "refusal": "No..",
               "portfolios": [{"exchange": "MB", "name": "Счёт", "status": 3, "moneyAccount": "A"}]}],
    "exchanges": [{"code": "MB", "description": "Main"}], "news": [{"code": "N"}],
    "version": "V", "caps": "C", "message": "M", "update": {"name": "Q", "version": "2.1", "url": "U"},
    "endpoints": [{"type": "DDP"}, {"type": "OMS", "url": "http://h:1/"}],
    "guideSections": {"2": [["a", "б"]]},
    "securities": [{"exchange": "MB", "symbol": "X", "longName": "Икс", "decimals": 0, "expiry": "20250320184500",
                    "strike": 5.5, "extra29": 29, "optionalFields": 3, "price": 10, "longQuotes": true}],
    "market": {"tickMs": 5, "start": "20240105100000"},
    "scripts": [{"kind": "quotes", "first": "MB", "second": "X", "records": [["#", "f", "d:1", "f"]]}],
    "faults": {"guide": {"type": "status", "status": 500, "times": 2}}
  })");
  ASSERT_EQ(s.users.size(), 1u);
  EXPECT_EQ(s.users[0].refusal, "No..");
  EXPECT_EQ(s.users[0].portfolios[0].name, "\xD1\xF7\xB8\xF2");
  EXPECT_EQ(s.users[0].portfolios[0].name.size(), 4u);  // one byte per letter
  EXPECT_EQ(s.users[0].portfolios[0].status, 3);
  EXPECT_EQ(s.news[0].code, "N");
  EXPECT_EQ(s.update.version, "2.1");
  EXPECT_EQ(s.endpoints[1].url, "http://h:1/");
  EXPECT_EQ(s.guideSections[1][0].second, "\xE1");
  const Security* x = s.findSecurity("MB", "X");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->decimals, 0);
  EXPECT_EQ(x->expiry, "20250320184500");
  EXPECT_EQ(x->strike, 5.5);
  EXPECT_EQ(x->extra29, 29);
  EXPECT_EQ(x->optionalFields, 3);
  EXPECT_TRUE(x->longQuotes);
  EXPECT_EQ(s.tickMs, 5);
  EXPECT_EQ(s.scripts[0].records[0], (std::vector<std::string>{"#", "f", "d:1", "f"}));
  EXPECT_EQ(s.faults.at("guide").status, 500);
  EXPECT_EQ(s.faults.at("guide").times, 2);
}

TEST(KexsimScenario, MistakesAreReported) {
  const char* cases[] = {
      "{",
      R"({"faults": {"guide": {"type": "melt"}}})",
      R"({"scripts": [{"kind": "quotes", "records": [["q:1"]]}]})",
      R"({"securities": [{"symbol": "X", "expiry": "2025-03-20"}]})",
      R"({"market": {"start": "now"}})",
      R"({"guideSections": {"1": [["only one"]]}})",
  };
  for (const char* json : cases) EXPECT_THROW(parseScenario(json), ScenarioError) << json;
  EXPECT_THROW(loadScenarioFile("/nonexistent/kexsim.json"), ScenarioError);
}

TEST(KexsimScenario, BuiltInHasCyrillicAndLatinSecuritiesWithExpiries) {
  Scenario s = builtInScenario();
  ASSERT_NE(s.findUser("demo"), nullptr);
  int cyrillic = 0, expiring = 0;
  for (const Security& security : s.securities) {
    cyrillic += static_cast<unsigned char>(security.shortName[0]) >= 0xC0;
    expiring += !security.expiry.empty();
  }
  EXPECT_GT(cyrillic, 0);
  EXPECT_LT(cyrillic, static_cast<int>(s.securities.size()));
  EXPECT_GT(expiring, 0);
  std::vector<std::string> kinds;
  for (const Endpoint& endpoint : s.endpoints) kinds.push_back(endpoint.type);
  EXPECT_EQ(kinds, (std::vector<std::string>{"DDP", "OMS", "OMS_SSL"}));
}

}  // namespace
}  // namespace kexsim
