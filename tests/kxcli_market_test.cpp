// Market data end to end: kxcli's script mode drives the real module against
// kexsim, whose scripted feed records give exact events. Connected after the
// guide, the securities list, quotes of both layouts, order books, ticks,
// refusals, subscriptions cancelled on the wire, and feeds that fail.
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "kxcli_test_support.h"
#include "kexsim_record_writer.h"
#include "quarnel3/date.h"

namespace {

using namespace kxcli_testing;
using kexsim::FaultType;

const std::string kConnected = std::string(kConnect) + "wait Connected\n";
const std::string kRefused = "\"hresult\":-2147467259,";
const std::string kNoSession = "Connection not established.. try to connect first!";

std::string refusal(const std::string& method, const std::string& message) {
  return R"({"call":")" + method + "\"," + kRefused + R"("error":")" + message + R"(","source":"IKxServer"})";
}

// ---- the session and the securities list ----------------------------------------------

TEST(KxcliMarket, ConnectedComesOnlyOnceTheGuideHasArrived) {
  {
    Simulator sim;
    Home home;
    Child child(home, sim.script());
    child.write(kConnected + "GetSymbols\n");
    ASSERT_TRUE(child.readUntil(R"({"event":"Connected"})"));
    EXPECT_EQ(sim.server().log().ofKind("guide").size(), 1u);
    EXPECT_EQ(child.finish(), 0);
    Result r{0, child.lines()};
    EXPECT_EQ(r.events("AddSymbol").size(), sim.server().scenario().securities.size());
  }
  Simulator sim;
  Home home;
  sim.server().faults().set("guide", {FaultType::kStatus, 500, 0, 0});
  const Result r = run(home, sim.script(), std::string(kConnect) + "wait Disconnected\nGetSymbols\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.events("Connected").empty());
  ASSERT_EQ(r.events("Disconnected").size(), 1u);
  EXPECT_EQ(r.lines.back(), refusal("GetSymbols", kNoSession));
}

// A second connect loads its own securities list: until its Connected a
// symbol call says the session is not ready rather than that the symbol is
// unknown. A huge symbol is not echoed whole.
TEST(KxcliMarket, SymbolCallsWhileTheSecuritiesListLoadsAndHugeSymbols) {
  Simulator sim;
  Home home;
  Child child(home, sim.script());
  child.write(kConnected);
  ASSERT_TRUE(child.readUntil(R"({"event":"Connected"})"));
  sim.server().faults().set("guide", {FaultType::kDelay, 0, 1500, 1});
  const std::string huge(100000, 'A');
  // The second call comes once the new logon is through, while the list is still delayed.
  child.write(std::string(kConnect) + "ListenQuotes SBER\nsleep 500\nIsConnected\nListenQuotes SBER\n" +
              "wait Connected 2\nListenQuotes SBER\nListenQuotes " + huge + "\nquit\n");
  EXPECT_EQ(child.finish(), 0);
  const Result r{0, child.lines()};
  EXPECT_EQ(r.calls("ListenQuotes"),
            (std::vector<std::string>{
                refusal("ListenQuotes", "Session not ready: the securities list is still loading, wait for Connected"),
                refusal("ListenQuotes", "Session not ready: the securities list is still loading, wait for Connected"),
                R"({"call":"ListenQuotes","hresult":0})",
                refusal("ListenQuotes", "Symbol not found " + huge.substr(0, 64) + "... (100000 bytes)")}));
  EXPECT_EQ(r.calls("IsConnected"), std::vector<std::string>{R"({"call":"IsConnected","hresult":0,"result":false})"});
}

kexsim::Security security(const char* exchange, const char* type, const char* symbol, const char* shortName,
                          const char* expiry) {
  kexsim::Security s;
  s.exchange = exchange;
  s.type = type;
  s.symbol = symbol;
  s.shortName = shortName;
  s.longName = std::string(shortName) + " (long)";
  s.expiry = expiry;
  s.decimals = 1;
  s.lotSize = 5;
  s.pointValue = 2.5;
  s.priceStep = 0.5;
  s.strike = 0;
  return s;
}

double nowAsDate() {
  const auto seconds = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  return seconds / 86400 + 25569;
}

TEST(KxcliMarket, GetSymbolsFiresTheTableInByteOrderOnTheCallersThread) {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  scenario.securities.push_back(security("FO", "F", "FUT9", "Future 2099", "20991231184500"));
  scenario.securities.push_back(security("MB", "S", "abc", "lower case", ""));
  Simulator sim(scenario);
  Home home;
  const Result r = run(home, sim.script(), kConnected + "GetSymbols\n");
  EXPECT_EQ(r.status, 0);
  const auto rows = r.events("AddSymbol");
  ASSERT_EQ(rows.size(), 7u);
  const char* order[] = {"FUT9", "GAZP", "KXRA", "RI110000BC5", "RIH5", "SBER", "abc"};
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(member(rows[i], "row"), std::to_string(i));
    EXPECT_EQ(member(rows[i], "nrows"), "7");
    EXPECT_EQ(member(rows[i], "symbol"), std::string("\"") + order[i] + "\"");
  }
  EXPECT_EQ(r.lines.back(), R"({"call":"GetSymbols","hresult":0})");  // the rows came during the call
  // No expiry: date 0 and -1 days; an expiry in the past: 0 days.
  EXPECT_EQ(rows[5],
            R"({"event":"AddSymbol","row":5,"nrows":7,"symbol":"SBER","short_name":"Сбербанк",)"
            R"("long_name":"Сбербанк России ПАО ао","type":"S","decimals":2,"lot_size":10,"punkt":1,"step":0.01,)"
            R"("sec_ext_id":null,"sec_exch_name":"MB","expiry_date":"1899-12-30T00:00:00",)"
            R"("days_before_expiry":-1,"strike":0})");
  EXPECT_EQ(rows[4],
            R"({"event":"AddSymbol","row":4,"nrows":7,"symbol":"RIH5","short_name":"RTS-3.25",)"
            R"("long_name":"Фьючерс на индекс РТС, март 2025","type":"F","decimals":0,"lot_size":1,"punkt":1.3,)"
            R"("step":10,"sec_ext_id":null,"sec_exch_name":"FO","expiry_date":"2025-03-20T18:45:00",)"
            R"("days_before_expiry":0,"strike":0})");
  EXPECT_EQ(member(rows[3], "strike"), "110000");
  EXPECT_EQ(member(rows[0], "expiry_date"), "\"2099-12-31T18:45:00\"");
  const double expiry = quarnel3::civilToDate({2099, 12, 31, 18, 45, 0}).value();
  const double days = std::strtod(member(rows[0], "days_before_expiry").c_str(), nullptr);
  EXPECT_NEAR(days, expiry - nowAsDate(), 0.01);
  EXPECT_EQ(member(rows[6], "lot_size"), "5");
  EXPECT_EQ(member(rows[6], "step"), "0.5");
}

// ---- feeds ---------------------------------------------------------------------------------

TEST(KxcliMarket, UpdateQuoteCarriesEveryFieldOfBothQuoteLayouts) {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  // Short layout: bid ask open high low last volume time close bidsize asksize e13 e14 e15 oi size e18.
  scenario.scripts.push_back({"quotes", "MB", "SBER",
                              {{"#", "f", "d:10.5", "d:10.6", "d:10", "d:11", "d:9", "d:10.55", "d:1000",
                                "t:20131231235959", "d:10.4", "d:5", "d:6", "d:", "d:", "d:", "d:7", "d:8", "d:",
                                "f"}}});
  // Long layout: open high low close time last size volume bid ask bidsize asksize e13 e14 e15 oi e18
  // volatility e17 e19 t20 t22 theoretical buy sell base backed e28 low-limit high-limit e31 e32 status.
  scenario.scripts.push_back(
      {"quotes", "FO", "RIH5",
       {{"#", "f", "d:110000", "d:110500", "d:109500", "d:110010", "t:20250320184500", "d:110250", "d:3",
         "d:1200", "d:110240", "d:110260", "d:12", "d:14", "d:", "d:", "d:", "d:35000", "d:", "d:", "d:",
         "i:0", "t:20250320184500", "t:20250320184500", "d:110100.25", "d:15000", "d:14500", "d:14000",
         "d:13500", "i:0", "d:100000", "d:120000", "i:0", "d:0", "i:17", "f"}}});
  Simulator sim(scenario);
  Home home;
  const Result r =
      run(home, sim.script(), kConnected + "ListenQuotes SBER\nListenQuotes RIH5\nwait UpdateQuote 2\n");
  EXPECT_EQ(r.status, 0);
  const auto quotes = r.events("UpdateQuote");
  ASSERT_EQ(quotes.size(), 2u);
  const std::string shortQuote =
      R"({"event":"UpdateQuote","symbol":"SBER","datetime":"2013-12-31T23:59:59","open":10,"high":11,"low":9,)"
      R"("close":10.4,"last":10.55,"volume":1000,"size":8,"bid":10.5,"ask":10.6,"bidsize":5,"asksize":6,)"
      R"("open_int":7,"go_buy":null,"go_sell":null,"go_base":null,"go_base_backed":null,"high_limit":null,)"
      R"("low_limit":null,"trading_status":0,"volat":null,"theor_price":null})";
  const std::string longQuote =
      R"({"event":"UpdateQuote","symbol":"RIH5","datetime":"2025-03-20T18:45:00","open":110000,"high":110500,)"
      R"("low":109500,"close":110010,"last":110250,"volume":1200,"size":3,"bid":110240,"ask":110260,)"
      R"("bidsize":12,"asksize":14,"open_int":35000,"go_buy":15000,"go_sell":14500,"go_base":14000,)"
      R"("go_base_backed":13500,"high_limit":120000,"low_limit":100000,"trading_status":17,"volat":null,)"
      R"("theor_price":110100.25})";
  EXPECT_EQ(quotes[0] == shortQuote ? quotes[1] : quotes[0], longQuote);
  EXPECT_TRUE(quotes[0] == shortQuote || quotes[1] == shortQuote) << quotes[0] << "\n" << quotes[1];
  EXPECT_EQ(home.logCount("INFO : KxServer::ListenQuotes method (Symbol: SBER)"), 1u);
  EXPECT_EQ(home.logCount("TRACE : Fire Quotes: MB, SBER"), 1u);
  EXPECT_EQ(home.logCount("TRACE : Fire Quotes: FO, RIH5"), 1u);
}

// Bids and asks side by side in ascending price, the shorter side padded with
// zeros; an empty book fires nothing.
TEST(KxcliMarket, UpdateBidAskRowsPairBidsWithAsksInAscendingPrice) {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  scenario.scripts.push_back({"orders", "MB", "SBER",
                              {{"#", "f"},
                               {"f"},
                               {"#", "f"},
                               {"i:1", "d:99", "d:5", "f"},
                               {"i:1", "d:97", "d:7", "f"},
                               {"i:2", "d:101", "d:1", "f"},
                               {"i:1", "d:98", "d:6", "f"},
                               {"f"}}});
  // A row without a price sorts after every priced row of its side.
  scenario.scripts.push_back({"orders", "MB", "GAZP",
                              {{"#", "f"}, {"i:1", "d:", "d:5", "f"}, {"i:2", "d:11", "d:2", "f"},
                               {"i:1", "d:10", "d:3", "f"}, {"f"}}});
  Simulator sim(scenario);
  Home home;
  const Result r =
      run(home, sim.script(), kConnected + "ListenBidAsks SBER\nListenBidAsks GAZP\nwait UpdateBidAsk 5\n");
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> expected = {
      R"({"event":"UpdateBidAsk","symbol":"SBER","row":0,"nrows":3,"bid":97,"bidsize":7,"ask":101,"asksize":1})",
      R"({"event":"UpdateBidAsk","symbol":"SBER","row":1,"nrows":3,"bid":98,"bidsize":6,"ask":0,"asksize":0})",
      R"({"event":"UpdateBidAsk","symbol":"SBER","row":2,"nrows":3,"bid":99,"bidsize":5,"ask":0,"asksize":0})",
  };
  EXPECT_EQ(r.starting(R"({"event":"UpdateBidAsk","symbol":"SBER")"), expected);
  const std::vector<std::string> unpriced = {
      R"({"event":"UpdateBidAsk","symbol":"GAZP","row":0,"nrows":2,"bid":10,"bidsize":3,"ask":11,"asksize":2})",
      R"({"event":"UpdateBidAsk","symbol":"GAZP","row":1,"nrows":2,"bid":null,"bidsize":5,"ask":0,"asksize":0})",
  };
  EXPECT_EQ(r.starting(R"({"event":"UpdateBidAsk","symbol":"GAZP")"), unpriced);
  EXPECT_EQ(home.logCount("TRACE : Fire BidAsks: MB, SBER, [0]"), 1u);
  EXPECT_EQ(home.logCount("TRACE : Fire BidAsks: MB, SBER, [4]"), 1u);
}

// The feed's group holds the ticks in arrival order; they reach the host
// newest first, with 64-bit trade numbers as text and prices as sent.
TEST(KxcliMarket, AddTickFiresTheGroupNewestFirst) {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  scenario.scripts.push_back({"trades", "MB", "SBER",
                              {{"#", "f"},
                               {"t:20240102100000", "d:250.48", "d:10", "l:123456789012", "d:0", "i:1", "f"},
                               {"t:20240102100001", "d:0.3", "d:3", "l:123456789013", "d:0", "i:2", "f"},
                               {"t:20240102100002", "d:101.23", "d:1", "l:-5", "d:0", "i:1", "f"},
                               {"f"}}});
  Simulator sim(scenario);
  Home home;
  const Result r = run(home, sim.script(), kConnected + "ListenTicks SBER\nwait AddTick 3\n");
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> expected = {
      R"({"event":"AddTick","symbol":"SBER","datetime":"2024-01-02T10:00:02","price":101.23,"volume":1,"tradeno":"-5","action":1})",
      R"({"event":"AddTick","symbol":"SBER","datetime":"2024-01-02T10:00:01","price":0.3,"volume":3,"tradeno":"123456789013","action":2})",
      R"({"event":"AddTick","symbol":"SBER","datetime":"2024-01-02T10:00:00","price":250.48,"volume":10,"tradeno":"123456789012","action":1})",
  };
  EXPECT_EQ(r.events("AddTick"), expected);
}

// ---- refusals --------------------------------------------------------------------------------

TEST(KxcliMarket, MethodsRefuseWithoutASessionAndForSymbolsNotInTheTable) {
  const char* subscriptions[] = {"ListenQuotes", "CancelQuotes", "ListenBidAsks",
                                 "CancelBidAsks", "ListenTicks", "CancelTicks"};
  std::string script;
  for (const char* method : subscriptions) script += std::string(method) + " SBER\n";
  script += "GetBars SBER 9 2012-01-02T10:00:00 10\nGetTrades SBER 2012-01-02T10:00:00 10\nGetSymbols\n";
  script += kConnected;
  for (const char* symbol : {"sber", "NOPE", "null"}) {
    for (const char* method : subscriptions) script += std::string(method) + " " + symbol + "\n";
  }
  script += "GetBars Sber 9 2012-01-02T10:00:00 10\nGetTrades Sber 2012-01-02T10:00:00 10\n";

  Simulator sim;
  Home home;
  const Result r = run(home, sim.script(), script);
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> expected;
  for (const char* method : subscriptions) expected.push_back(refusal(method, kNoSession));
  for (const char* method : {"GetBars", "GetTrades", "GetSymbols"}) expected.push_back(refusal(method, kNoSession));
  expected.push_back(R"({"call":"connect","hresult":0})");
  expected.push_back(R"({"event":"Connected"})");
  for (const char* symbol : {"sber", "NOPE", ""}) {
    for (const char* method : subscriptions) {
      expected.push_back(refusal(method, std::string("Symbol not found ") + symbol));
    }
  }
  expected.push_back(refusal("GetBars", "Symbol not found Sber"));
  expected.push_back(refusal("GetTrades", "Symbol not found Sber"));
  EXPECT_EQ(r.lines, expected);
  // The method's INFO line comes first, refused or not (the log starts with
  // the first connect).
  const std::string log = home.log();
  const size_t info = log.find("INFO : KxServer::CancelTicks method (Symbol: sber) \n");
  ASSERT_NE(info, std::string::npos);
  EXPECT_LT(info, log.find("ERROR : Symbol not found sber \n", info));
  EXPECT_EQ(home.logCount("INFO : KxServer::ListenBidAsks method (Symbol: NOPE) \n"), 1u);
  EXPECT_EQ(home.logCount("INFO : KxServer::GetBars method (Symbol: Sber, Interval 9, Since 2012:1:2 10:0:0, Count 10)"),
            1u);
  EXPECT_EQ(home.logCount("ERROR : Symbol not found NOPE"), 6u);
  EXPECT_TRUE(sim.server().log().ofKind("quotes").empty());
}

// GetBars and GetTrades log their request with the date rounded to the
// second; asked for history before anything the server keeps, the bars come
// back as an empty answer (no rows) and the session stays.
TEST(KxcliMarket, HistoryRequestsLogTheirRoundedDates) {
  Simulator sim;
  Home home;
  const Result r = run(home, sim.script(),
                       kConnected +
                           "GetBars SBER 9 2012-02-29T23:59:59.6 100\n"
                           "GetTrades GAZP 40968.43767361 -5\n"
                           "sleep 300\nIsConnected\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(home.logCount("INFO : KxServer::GetBars method (Symbol: SBER, Interval 9, Since 2012:3:1 0:0:0, Count 100)"),
            1u);
  EXPECT_EQ(home.logCount("INFO : KxServer::GetTrades method (Symbol: GAZP, Since 2012:2:29 10:30:15, Count -5)"),
            1u);
  EXPECT_EQ(r.calls("GetBars"), std::vector<std::string>{R"({"call":"GetBars","hresult":0})"});
  EXPECT_EQ(r.calls("GetTrades"), std::vector<std::string>{R"({"call":"GetTrades","hresult":0})"});
  EXPECT_EQ(r.calls("IsConnected"), std::vector<std::string>{R"({"call":"IsConnected","hresult":0,"result":true})"});
  EXPECT_TRUE(r.events("Disconnected").empty());
  // The count goes negated: bars before the date, in base bars of the interval.
  ASSERT_TRUE(sim.server().log().waitUntil([](const kexsim::RequestLog::Entries& entries) {
    size_t seen = 0;
    for (const auto& e : entries) seen += e.kind == "ticks";
    return seen == 1;
  }));
  const auto bars = sim.server().log().ofKind("bars");
  ASSERT_FALSE(bars.empty());
  EXPECT_NE(bars.front().url().find("security=SBER&interval=1day&from=20120101000000&to=20130101000000"),
            std::string::npos);
  const auto ticks = sim.server().log().ofKind("ticks");
  ASSERT_EQ(ticks.size(), 1u);
  EXPECT_NE(ticks.front().url().find("exchange=MB&security=GAZP&from="), std::string::npos);
  EXPECT_NE(ticks.front().url().find("&count=5&"), std::string::npos);
}

// Bars and ticks from kexsim's history reach the host as numbered rows.
TEST(KxcliMarket, GetBarsAndGetTradesFireRowsFromTheServersHistory) {
  kexsim::Scenario scenario = kexsim::builtInScenario();
  scenario.marketStart = "20261210120000";
  scenario.tickMs = 60000;
  Simulator sim(scenario);
  Home home;
  const Result r = run(home, sim.script(),
                       kConnected +
                           "GetBars SBER 2 2026-12-10T11:00:00 4\nwait AddBar 4\n"
                           "GetTrades SBER 2026-12-10T11:00:00 3\nwait AddTickHistory 3\n");
  ASSERT_EQ(r.status, 0);
  const auto bars = r.events("AddBar");
  ASSERT_EQ(bars.size(), 4u);
  const char* stamps[] = {"2026-12-10T11:00:00", "2026-12-10T10:55:00", "2026-12-10T10:50:00", "2026-12-10T10:45:00"};
  for (size_t i = 0; i < 4; ++i) {
    const std::string head = R"({"event":"AddBar","row":)" + std::to_string(i) +
                             R"(,"nrows":4,"symbol":"SBER","interval":2,"datetime":")" + stamps[i] + "\"";
    EXPECT_EQ(bars[i].rfind(head, 0), 0u) << bars[i];
  }
  kexsim::TickQuery query;
  query.from = kexsim::packTime(2026, 12, 10, 11, 0, 0);
  query.count = -3;
  const std::vector<kexsim::SimTick> expected = *sim.server().market().trades("MB", "SBER", query);
  const auto ticks = r.events("AddTickHistory");
  ASSERT_EQ(ticks.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const std::string head = R"({"event":"AddTickHistory","row":)" + std::to_string(i) +
                             R"(,"nrows":3,"symbol":"SBER",)";
    EXPECT_EQ(ticks[i].rfind(head, 0), 0u) << ticks[i];
    EXPECT_NE(ticks[i].find(R"("tradeno":")" + std::to_string(expected[i].tradeNumber) + "\""), std::string::npos)
        << ticks[i];
  }
  EXPECT_TRUE(r.events("Disconnected").empty());
}

// A bar query the server refuses ends the session with the reason, as every
// failed request does.
TEST(KxcliMarket, ARefusedBarQueryDisconnects) {
  Simulator sim;
  Home home;
  sim.server().faults().set("bars", {FaultType::kStatus, 500, 0, 0});
  const Result r = run(home, sim.script(), kConnected + "GetBars SBER 2 2026-12-10T11:00:00 4\nwait Disconnected\n");
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.events("Disconnected").size(), 1u);
  EXPECT_TRUE(r.events("AddBar").empty());
}

// ---- subscriptions on the wire and feeds that fail ------------------------------------------

TEST(KxcliMarket, CancellingASubscriptionSendsTheRemoveLine) {
  struct Case {
    const char* listen;
    const char* cancel;
    const char* kind;
    const char* event;
  } cases[] = {
      {"ListenQuotes", "CancelQuotes", "quotes", "UpdateQuote"},
      {"ListenBidAsks", "CancelBidAsks", "orders", "UpdateBidAsk"},
      {"ListenTicks", "CancelTicks", "trades", "AddTick"},
  };
  for (const Case& c : cases) {
    Simulator sim;
    Home home;
    Child child(home, sim.script());
    child.write(kConnected + c.listen + " SBER\n");
    ASSERT_TRUE(child.readUntil(std::string("{\"event\":\"") + c.event + "\"")) << c.kind;
    child.write(std::string(c.cancel) + " SBER\n");
    EXPECT_TRUE(sim.waitForFeedLine(c.kind, "REMOVE 1 MB SBER")) << c.kind;
    child.write("quit\n");
    EXPECT_EQ(child.finish(), 0);
    std::vector<std::string> lines;
    for (const std::string& line : sim.feedLines(c.kind)) {
      if (line.rfind("PING", 0) != 0) lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"ADD 1 MB SBER", "REMOVE 1 MB SBER"})) << c.kind;
  }
}

TEST(KxcliMarket, AFeedThatFailsEndsTheSessionWithDisconnected) {
  struct Case {
    const char* kind;
    const char* listen;
    kexsim::Fault fault;
    bool closed;  // else a parse error
  } cases[] = {
      {"quotes", "ListenQuotes", {FaultType::kCloseMidBody, 0, 0, 1}, true},
      {"orders", "ListenBidAsks", {FaultType::kCloseBeforeEnd, 0, 0, 1}, true},
      {"trades", "ListenTicks", {FaultType::kCorruptRecord, 0, 0, 1}, false},
      {"quotes", "ListenQuotes", {FaultType::kCorruptRecord, 0, 0, 1}, false},
  };
  for (const Case& c : cases) {
    Simulator sim;
    Home home;
    sim.server().faults().set(c.kind, c.fault);
    const Result r = run(home, sim.script(),
                         kConnected + c.listen + " SBER\nwait Disconnected\nIsConnected\n" + c.listen + " SBER\n");
    EXPECT_EQ(r.status, 0) << c.kind;
    const auto disconnected = r.events("Disconnected");
    ASSERT_EQ(disconnected.size(), 1u) << c.kind;
    const std::string reason = member(disconnected[0], "reason");
    if (c.closed) {
      EXPECT_EQ(reason, "\"Connection closed by server (" + sim.plainAddress() + ")\"");
    } else {
      EXPECT_EQ(reason.rfind("\"Parse error: src/wexel_feed_parser", 0), 0u) << reason;
    }
    ASSERT_GE(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[r.lines.size() - 2], R"({"call":"IsConnected","hresult":0,"result":false})");
    EXPECT_EQ(r.lines.back(), refusal(c.listen, kNoSession));
  }
}

// dataSilenceMs: a feed or portfolio stream that goes silent with the
// connection open (the server stalled) ends the session once the limit has
// passed; without the setting the session stays, as a quiet market's would.
TEST(KxcliMarket, DataSilenceMsEndsASessionWhoseSubscribedStreamGoesSilent) {
  struct Case {
    const char* kind;
    const char* listen;
    const char* configure;
  } cases[] = {
      {"quotes", "ListenQuotes SBER", "dataSilenceMs=1500"},
      {"orders", "ListenBidAsks SBER", "dataSilenceMs=1500"},
      {"portfolio", "ListenPortfolio D-10001", "dataSilenceMs=1500"},
      {"quotes", "ListenQuotes SBER", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + c.configure);
    Simulator sim;
    Home home;
    sim.server().faults().set(c.kind, {FaultType::kStall, 0, 0, 1});
    const bool limited = *c.configure != 0;
    const std::string script = "ConfigureClient '" + std::string(c.configure) + "'\n" + kConnected + c.listen +
                               (limited ? "\nwait Disconnected\n" : "\nsleep 3500\n") + "IsConnected\n";
    const Result r = run(home, sim.script(), script);
    EXPECT_EQ(r.status, 0);
    const auto disconnected = r.events("Disconnected");
    EXPECT_EQ(r.lines.back(), std::string(R"({"call":"IsConnected","hresult":0,"result":)") +
                                  (limited ? "false}" : "true}"));
    if (!limited) {
      EXPECT_TRUE(disconnected.empty());
      continue;
    }
    ASSERT_EQ(disconnected.size(), 1u);
    EXPECT_EQ(member(disconnected[0], "reason"), "\"No data from server for 1500 ms (" + sim.plainAddress() + ")\"");
  }
}

}  // namespace
