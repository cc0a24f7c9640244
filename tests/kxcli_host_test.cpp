// kxcli as a host: late-bound calls and their result lines, the error
// information of refused calls, script directives and word splitting, exit
// statuses, and the commands for people — all through the real module
// against kexsim.
#include <functional>

#include "kxcli_test_support.h"

namespace {

using namespace kxcli_testing;

const std::string kRefused = "\"hresult\":-2147467259,";
const std::string kNoSession = "\"error\":\"Connection not established.. try to connect first!\",\"source\":\"IKxServer\"}";

TEST(KxcliScript, EachCallPrintsItsResultOrItsErrorInformation) {
  Simulator sim;
  Home home;
  const Result r = run(home, sim.script(),
                       "# a comment, then a blank line\n"
                       "\n"
                       "IsConnected\n"
                       "GetKxClientVersion\n"
                       "getkxclientversionstring\n"
                       "ConfigureClient null\n"
                       "ConfigureClient 'null'\n"
                       "ListenQuotes SBER\n"
                       "connect $KXCLI_HOST notaport demo demo\n"
                       "NoSuchMethod 1\n"
                       "quit\n"
                       "IsConnected\n");
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> expected = {
      R"({"call":"IsConnected","hresult":0,"result":false})",
      R"({"call":"GetKxClientVersion","hresult":0,"result":[3,0,137,4293]})",
      R"({"call":"GetKxClientVersionString","hresult":0,"result":"3,0,137,4293"})",
      R"({"call":"ConfigureClient",)" + kRefused +
          R"("error":"paramsSet is null ptr, use emply string like no params","source":"IKxServer"})",
      R"({"call":"ConfigureClient","hresult":0})",
      R"({"call":"ListenQuotes",)" + kRefused + kNoSession,
      R"({"call":"connect","hresult":-2147352571,"error":"argument 2 (port): cannot read \"notaport\" as USHORT","source":"kxcli"})",
      R"({"call":"NoSuchMethod","hresult":-2147352570,"error":"Unknown name.","source":null})",
  };
  EXPECT_EQ(r.lines, expected);
}

TEST(KxcliScript, AWaitThatRunsOutPrintsItsLineAndEndsWithStatus3) {
  Simulator sim;
  Home home;
  const Result r = run(home, sim.script(), "wait Connected 1 0.2\nIsConnected\n");
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.lines, std::vector<std::string>{R"({"wait":"Connected","timeout":true})"});
}

// Events count from the start; an event fired inside a call comes before the
// call's own line.
TEST(KxcliScript, WaitCountsEveryEventOfItsNameSinceTheStart) {
  Simulator sim;
  Home home;
  const Result r = run(home, sim.script(),
                       std::string(kConnect) + "wait Connected\ndisconnect\ndisconnect\nwait Disconnected 2\n");
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> expected = {
      R"({"call":"connect","hresult":0})",
      R"({"event":"Connected"})",
      R"({"event":"Disconnected","reason":"Disconnected by user"})",
      R"({"call":"disconnect","hresult":0})",
      R"({"event":"Disconnected","reason":"Disconnected by user"})",
      R"({"call":"disconnect","hresult":0})",
  };
  EXPECT_EQ(r.lines, expected);
}

// The refusal echoes the symbol as the component received it.
TEST(KxcliScript, WordsSplitLikeAShellAndTextsCrossAsUtf16) {
  Simulator sim;
  Home home;
  struct Case {
    const char* word;
    const char* echoed;
  } cases[] = {
      {"'S B'", "S B"},
      {R"("x\"$KXCLI_LOGIN\"y")", R"(x\"demo\"y)"},
      {"'$KXCLI_LOGIN'", "$KXCLI_LOGIN"},
      {R"(a\ b)", "a b"},
      {"null", ""},
      {"\"null\"", "null"},
      {"Сбер", "Сбер"},
      {"ab#c # a comment", "ab#c"},
  };
  std::string script = std::string(kConnect) + "wait Connected\n";
  for (const Case& c : cases) script += std::string("CancelQuotes ") + c.word + "\n";
  const Result r = run(home, sim.script(), script);
  EXPECT_EQ(r.status, 0);
  const auto refused = r.calls("CancelQuotes");
  ASSERT_EQ(refused.size(), std::size(cases));
  for (size_t i = 0; i < refused.size(); ++i) {
    EXPECT_EQ(refused[i], R"({"call":"CancelQuotes",)" + kRefused + R"("error":"Symbol not found )" +
                              cases[i].echoed + R"(","source":"IKxServer"})")
        << cases[i].word;
  }
}

TEST(KxcliScript, ABrokenLineEndsTheScriptWithStatus2) {
  Simulator sim;
  Home home;
  const Result r = run(home, sim.script(), "IsConnected\nListenQuotes 'SBER\nIsConnected\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.lines.size(), 1u);
}

// ---- commands for people ------------------------------------------------------------

TEST(KxcliCommands, OneShotCommandsConnectCallAndEndOnceTheirRowsAreIn) {
  Simulator sim;
  Home home;
  auto args = sim.connection();
  args.push_back("portfolios");
  const Result json = run(home, args);
  EXPECT_EQ(json.status, 0);
  const std::vector<std::string> expected = {
      R"({"call":"connect","hresult":0})",
      R"({"event":"Connected"})",
      R"({"event":"AddPortfolio","row":1,"nrows":2,"portfolioName":"D-10001","portfolioExch":"MB","portfolioStatus":0})",
      R"({"event":"AddPortfolio","row":2,"nrows":2,"portfolioName":"D-10001F","portfolioExch":"FO","portfolioStatus":0})",
      R"({"call":"GetPrortfolioList","hresult":0})",
  };
  EXPECT_EQ(json.lines, expected);

  args.insert(args.begin(), {"--format", "text"});
  const Result text = run(home, args);
  EXPECT_EQ(text.status, 0);
  ASSERT_EQ(text.lines.size(), 5u);
  EXPECT_EQ(text.lines[0], "connect         hresult=0");
  EXPECT_EQ(text.lines[2],
            "AddPortfolio    row=1  nrows=2  portfolioName=D-10001  portfolioExch=MB  portfolioStatus=0");
  EXPECT_EQ(text.lines[3],
            "AddPortfolio    row=2  nrows=2  portfolioName=D-10001F  portfolioExch=FO  portfolioStatus=0");
}

TEST(KxcliCommands, ARefusedLogonEndsWithItsReasonAndStatus1) {
  Simulator sim;
  Home home;
  auto args = sim.connection("blocked", "blocked");
  args.push_back("symbols");
  const Result r = run(home, args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.events("Disconnected"),
            std::vector<std::string>{R"({"event":"Disconnected","reason":"Account is blocked.."})"});
  EXPECT_TRUE(r.calls("GetSymbols").empty());
}

TEST(KxcliCommands, StreamingRunsUntilInterruptedOrForSeconds) {
  Simulator sim;
  Home home;
  auto args = sim.connection();
  args.insert(args.end(), {"quotes", "SBER"});
  {
    Child child(home, args);
    ASSERT_TRUE(child.readUntil(R"({"event":"UpdateQuote","symbol":"SBER")"));
    child.signal(SIGINT);
    EXPECT_EQ(child.finish(), 0);
  }
  args.insert(args.begin(), {"--for", "0"});
  const Result r = run(home, args);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.calls("ListenQuotes"), std::vector<std::string>{R"({"call":"ListenQuotes","hresult":0})"});
}

TEST(KxcliCommands, WithoutAHostTheBuiltInSimulatedServerAnswers) {
  Home home;
  const Result r = run(home, {"version"});
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.lines.size(), 6u);
  EXPECT_EQ(r.lines[1], R"({"event":"Connected"})");
  EXPECT_EQ(r.lines[2], R"x({"call":"GetServerVersionString","hresult":0,"result":"Kexora 4.12 (kexsim)"})x");
  EXPECT_EQ(r.lines[5], R"({"call":"GetKxClientVersion","hresult":0,"result":[3,0,137,4293]})");
}

TEST(KxcliCommands, MistakesOnTheCommandLineEndWithStatus2) {
  Home home;
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--host", "127.0.0.1", "symbols"}, {"nosuch"}, {"quotes"}, {"--format", "xml", "symbols"}, {}}) {
    EXPECT_EQ(run(home, args).status, 2) << (args.empty() ? "" : args.front());
  }
}

// ---- a new account ----------------------------------------------------------------------

// On a new account ~/.local/share does not exist: the component makes it,
// private to the user, and its profile folder under it.
TEST(KxcliNewAccount, TheDataHomeIsCreatedPrivateAndTheSessionConnects) {
  Simulator sim;
  Home home;
  ASSERT_FALSE(fs::exists(home.path() + "/.local"));
  const Result r = run(home, sim.script(), kConnect + std::string("wait Connected\n"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.events("Connected").size(), 1u);
  const auto mode = [](const std::string& path) { return fs::status(path).permissions() & fs::perms::all; };
  EXPECT_EQ(mode(home.path() + "/.local"), fs::perms::owner_all);
  EXPECT_EQ(mode(home.path() + "/.local/share"), fs::perms::owner_all);
  EXPECT_TRUE(fs::is_directory(home.path() + "/.local/share/Pellum"));
  EXPECT_EQ(home.logCount("INFO : Trying to authenticate in 127.0.0.1:"), 1u);
}

// When the object cannot be created the first line says why, in the
// component's words, with the code.
TEST(KxcliNewAccount, AFailedCreationPrintsTheComponentsDescription) {
  Simulator sim;
  struct Case {
    const char* name;
    std::function<void(Home&)> prepare;
    const char* description;
  } cases[] = {
      {"data home under a file",
       [](Home& home) {
         std::ofstream(home.path() + "/file") << "not a folder";
         home.setDataHome(home.path() + "/file/data");
       },
       "Failed to create directory for profile"},
      {"no HOME, no XDG_DATA_HOME", [](Home& home) { home.unsetHome(); }, "Failed to get profile path"},
  };
  for (const Case& c : cases) {
    Home home;
    c.prepare(home);
    const Result r = run(home, sim.script(), "IsConnected\n", true);
    EXPECT_EQ(r.status, 1) << c.name;
    ASSERT_FALSE(r.lines.empty()) << c.name;
    EXPECT_EQ(r.lines.front(), std::string("kxcli: KxServer was not created: ") + c.description +
                                   " (HRESULT 0x80004005: Unspecified error)")
        << c.name;
  }
}

}  // namespace
