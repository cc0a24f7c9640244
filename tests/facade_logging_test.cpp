// Configuration and the process-wide log file. The logger and the library
// start-up happen once per process, so each case runs its KxServer in a child
// process of its own and the test reads what the child left in the log folder.
#include <sys/wait.h>

#include <regex>

#include "facade_test_support.h"

namespace {

using namespace facade_testing;

constexpr const char* kUnresolvable = "256.256.256.256";

// Runs `body` in a forked child with its own module state; true when the
// child exited with success. The parent never loads the module, so the child
// starts from a process without the module's threads.
bool inChild(const std::string& root, const std::function<bool()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("FACADE_TEST_ROOT", root.c_str(), 1);
    const bool ok = body();
    std::fflush(nullptr);
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Configures, connects to a host that does not resolve (INFO, WARN, ERROR and
// library lines), then disconnects (a TRACE line).
bool connectOnce(const std::string& params) {
  Client client;
  return client.configure(params) == S_OK && client.connect(kUnresolvable, 443, "demo", "demo") == S_OK &&
         client.disconnect() == S_OK;
}

size_t countIn(const std::vector<std::string>& lines, const std::string& text) {
  size_t n = 0;
  for (const std::string& line : lines) n += line.find(text) != std::string::npos;
  return n;
}

TEST(Configuration, PairsAreTrimmedAndMalformedPiecesIgnored) {
  TempDir root, logs;
  const std::string params = " logLevel = 5 ;maxWorkerThreads=3;;maxWorkerThreads 9;logLevel=2=3; logFilePath = " +
                             logs.path() + " ;useOrderStreaming=Yes";
  ASSERT_TRUE(inChild(root.path(), [&] { return connectOnce(params); }));
  const auto lines = LogTail(logs.path() + "/quarnel3-cli.log").lines();
  EXPECT_EQ(countIn(lines, "INFO : Logging level is set to 5 value."), 1u);
  EXPECT_EQ(countIn(lines, "INFO : Using maximum 3 worker threads to process data."), 1u);
  EXPECT_EQ(countIn(lines, "INFO : Store logs in " + logs.path() + " "), 1u);
  EXPECT_EQ(countIn(lines, "TRACE : KxServer::disconnect method"), 1u);
}

TEST(Configuration, EmptyAndNullParameterTexts) {
  TempDir root;
  ASSERT_TRUE(inChild(root.path(), [] {
    Client client;
    const bool emptyAccepted = client.configure("") == S_OK;
    const bool nullRefused = call(client.server.get(), "ConfigureClient", args(Arg::nullText())) == E_FAIL;
    return emptyAccepted && nullRefused && takeErrorInfo().present;
  }));
}

TEST(Logging, EachLevelWritesItsLinesAndTheMoreSevereOnes) {
  struct Case {
    int level;
    bool trace, info, warn, error, library;
  } cases[] = {
      {5, true, true, true, true, true},     {4, false, true, true, true, true},
      {3, false, false, true, true, true},   {1, false, false, false, false, false},
      {-1, false, false, false, false, false},
  };
  for (const Case& c : cases) {
    TempDir root, logs;
    ASSERT_TRUE(inChild(root.path(), [&] {
      return connectOnce("logLevel=" + std::to_string(c.level) + ";logFilePath=" + logs.path());
    }));
    const auto lines = LogTail(logs.path() + "/quarnel3-cli.log").lines();
    EXPECT_EQ(countIn(lines, "TRACE : KxServer::disconnect method") > 0, c.trace) << c.level;
    EXPECT_EQ(countIn(lines, "INFO : Quarnel3 client module (v3.0.137.4293) logging started..") > 0, c.info) << c.level;
    EXPECT_EQ(countIn(lines, "WARN : SSL connection failed, no problem, trying to connect without SSL") > 0, c.warn)
        << c.level;
    EXPECT_EQ(countIn(lines, "ERROR : Login failed: DNS lookup error:1000") > 0, c.error) << c.level;
    EXPECT_EQ(countIn(lines, "wexel:  : resolve address failed \"256.256.256.256\"") > 0, c.library) << c.level;
  }
}

// Without a logLevel setting the level is the registry's (5 in the test set-up).
TEST(Logging, LinesCarryTimeThreadLevelAndMessage) {
  TempDir root, logs;
  ASSERT_TRUE(inChild(root.path(), [&] { return connectOnce("logFilePath=" + logs.path()); }));
  const auto lines = LogTail(logs.path() + "/quarnel3-cli.log").lines();
  EXPECT_EQ(countIn(lines, "INFO : Logging level is set to 5 value."), 1u);
  ASSERT_FALSE(lines.empty());
  const std::regex format(
      R"(\d{4}-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\d{2} \d{2}:\d{2}:\d{2}(\.\d{6})? )"
      R"(\[TID=[0-9a-f]+\] - (ERROR|WARN|INFO|TRACE|wexel: ) : .* )");
  for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, format)) << line;
}

TEST(Logging, AMessageTooLongIsPrecededByMessageTruncated) {
  TempDir root, logs;
  const std::string login(2000, 'L');
  ASSERT_TRUE(inChild(root.path(), [&] {
    Client client;
    client.configure("logFilePath=" + logs.path());
    return client.connect(kUnresolvable, 443, login, "demo") == S_OK;
  }));
  const auto lines = LogTail(logs.path() + "/quarnel3-cli.log").lines();
  const std::string start = "Trying to authenticate in 256.256.256.256:443 using SSL connection (login ";
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find(start) == std::string::npos) continue;
    ASSERT_GT(i, 0u);
    EXPECT_NE(lines[i - 1].find("- SYSTEM : message truncated "), std::string::npos);
    const std::string message = lines[i].substr(lines[i].find(" : ") + 3);
    EXPECT_EQ(message, (start + login).substr(0, 1023) + " ");
    return;
  }
  ADD_FAILURE() << "no logon line";
}

// An earlier log moves aside under the time of rotation; the log this process
// writes stays under its name on later connects.
TEST(Logging, ConnectRotatesAnEarlierLogButNotItsOwn) {
  TempDir root, logs;
  std::ofstream(logs.path() + "/quarnel3-cli.log") << "earlier run\n";
  ASSERT_TRUE(inChild(root.path(), [&] {
    Client client;
    client.configure("logFilePath=" + logs.path());
    return client.connect(kUnresolvable, 443, "first", "x") == S_OK &&
           client.connect(kUnresolvable, 443, "second", "x") == S_OK;
  }));
  std::vector<std::string> rotated;
  for (const auto& entry : fs::directory_iterator(logs.path())) {
    const std::string name = entry.path().filename().string();
    if (name != "quarnel3-cli.log") rotated.push_back(name);
  }
  ASSERT_EQ(rotated.size(), 1u);
  EXPECT_TRUE(std::regex_match(rotated[0], std::regex(R"(quarnel3-cli\.log\.\d{4}-\d{2}-\d{2}_\d{6})"))) << rotated[0];
  EXPECT_EQ(LogTail(logs.path() + "/" + rotated[0]).lines(), std::vector<std::string>{"earlier run"});
  const auto lines = LogTail(logs.path() + "/quarnel3-cli.log").lines();
  EXPECT_EQ(countIn(lines, "(login first)"), 1u);
  EXPECT_EQ(countIn(lines, "(login second)"), 1u);
}

TEST(Logging, ASecondObjectWithAnotherFolderWritesToTheFirstLog) {
  TempDir root, first, second;
  ASSERT_TRUE(inChild(root.path(), [&] {
    Client a, b;
    a.configure("logFilePath=" + first.path());
    b.configure("logFilePath=" + second.path());
    return a.connect(kUnresolvable, 443, "alpha", "x") == S_OK && b.connect(kUnresolvable, 443, "beta", "x") == S_OK;
  }));
  EXPECT_EQ(countIn(LogTail(first.path() + "/quarnel3-cli.log").lines(), "(login beta)"), 1u);
  EXPECT_FALSE(fs::exists(second.path() + "/quarnel3-cli.log"));
}

TEST(Configuration, ALogFolderThatDoesNotExistFailsConnect) {
  TempDir root;
  ASSERT_TRUE(inChild(root.path(), [] {
    Client client;
    client.configure("logFilePath=/nonexistent/quarnel3");
    const bool refused = client.connect(kUnresolvable, 443, "demo", "demo") == E_FAIL;
    const ErrorInfo info = takeErrorInfo();
    return refused && info.description == u"Parameter LogPath is a not valid directory.." && !client.isConnected() &&
           client.disconnect() == S_OK && client.sink->count(DISPID_Disconnected) == 1;
  }));
}

// A log folder where the log file cannot be written (here its name is taken
// by a folder, which stops root too) is refused at connect, saying why.
TEST(Configuration, ALogFileThatCannotBeWrittenFailsConnect) {
  TempDir root, logs;
  fs::create_directory(logs.path() + "/quarnel3-cli.log");
  ASSERT_TRUE(inChild(root.path(), [&] {
    Client client;
    client.configure("logFilePath=" + logs.path());
    const bool refused = client.connect(kUnresolvable, 443, "demo", "demo") == E_FAIL;
    const ErrorInfo info = takeErrorInfo();
    const std::u16string expected =
        u16("Parameter LogPath: the log file " + logs.path() + "/quarnel3-cli.log cannot be written (Is a directory)..");
    return refused && info.description == expected && !client.isConnected();
  }));
}

}  // namespace
