// `kxcli watch` as a person sees it: kxcli runs against its built-in kexsim
// in a real terminal (a detached tmux pane of 120 x 40 on a private server),
// started from a shell as a person would, and the tests read the pane's
// screen. After kxcli the shell prints its exit status and stays, so that the
// terminal kxcli left behind can be checked too.
#include <chrono>
#include <functional>
#include <thread>

#include "kxcli_test_support.h"

namespace {

using namespace kxcli_testing;
using std::chrono::steady_clock;

constexpr auto kDeadline = std::chrono::seconds(60);
constexpr auto kPollGap = std::chrono::milliseconds(50);

bool eventually(const std::function<bool()>& done) {
  const auto until = steady_clock::now() + kDeadline;
  while (!done()) {
    if (steady_clock::now() > until) return false;
    std::this_thread::sleep_for(kPollGap);
  }
  return true;
}

std::vector<std::string> splitWords(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

// A tmux server of its own with one session, "watch", running kxcli.
class Tmux {
 public:
  static bool available() {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    for (std::string folder; std::getline(path, folder, ':');) {
      if (::access((folder + "/tmux").c_str(), X_OK) == 0) return true;
    }
    return false;
  }

  Tmux(const Home& home, const std::vector<std::string>& kxcliArguments) : home_(home) {
    static int serial = 0;
    socket_ = "kxcli-watch-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
    // bash goes on after a Ctrl-C that its foreground command handled and survived.
    std::string shell = "'" + kxcliPath() + "'";
    for (const std::string& a : kxcliArguments) shell += " '" + a + "'";
    shell += "; echo \"kxcli ended with status $?\"; exec sleep 600";
    EXPECT_EQ(tmux({"new-session", "-d", "-s", "watch", "-x", "120", "-y", "40", "bash", "-c", shell}), "");
  }
  ~Tmux() { tmux({"kill-server"}); }
  Tmux(const Tmux&) = delete;
  Tmux& operator=(const Tmux&) = delete;

  std::string screen() { return tmux({"capture-pane", "-p", "-t", "watch"}); }
  void keys(const std::string& keys) { tmux({"send-keys", "-t", "watch", keys}); }
  // Whether the pane is on the alternate screen and whether the cursor shows.
  std::string terminalState() {
    return tmux({"display-message", "-p", "-t", "watch", "alternate=#{alternate_on} cursor=#{cursor_flag}"});
  }
  bool ended() { return screen().find(kEnded) != std::string::npos; }
  static constexpr const char* kEnded = "kxcli ended with status ";

  // The words of the board's row of that symbol ('>' of the selection dropped).
  std::vector<std::string> row(const std::string& symbol) {
    std::istringstream lines(screen());
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> words = splitWords(line);
      if (!words.empty() && words[0] == ">") words.erase(words.begin());
      if (!words.empty() && words[0] == symbol) return words;
    }
    return {};
  }

 private:
  // Runs one tmux command in the test's home; answers what it printed.
  std::string tmux(const std::vector<std::string>& command) {
    std::vector<std::string> argv = {"tmux", "-L", socket_, "-f", "/dev/null"};
    argv.insert(argv.end(), command.begin(), command.end());
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> env;
    for (const std::string& e : home_.environment()) {
      if (e.rfind("TMUX", 0) != 0 && e.rfind("TERM=", 0) != 0) env.push_back(e);
    }
    env.push_back("TERM=xterm");
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2];
    if (::pipe(out) != 0) return "pipe failed";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "tmux", &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; spawned == 0 && (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
      text.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    if (spawned == 0) ::waitpid(pid, nullptr, 0);
    return text;
  }

  const Home& home_;
  std::string socket_;
};

bool priced(const std::vector<std::string>& row) {
  return row.size() == 7 && row[1].find('.') != std::string::npos && std::isdigit(static_cast<unsigned char>(row[1][0]));
}

// Left as a shell would find it: the normal screen, the cursor shown, no board on it.
void expectRestored(Tmux& tmux, const std::string& status) {
  ASSERT_TRUE(eventually([&] { return tmux.ended(); })) << tmux.screen();
  EXPECT_EQ(tmux.terminalState(), "alternate=0 cursor=1\n");
  const std::string screen = tmux.screen();
  EXPECT_NE(screen.find(Tmux::kEnded + status + "\n"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("SYMBOL"), std::string::npos) << screen;
}

TEST(KxcliWatch, QuotesOfEverySymbolMoveInPlaceUntilCtrlC) {
  if (!Tmux::available()) GTEST_SKIP() << "tmux is not installed";
  Home home;
  Tmux tmux(home, {"--sim", "watch", "SBER", "GAZP", "--for", "8"});
  ASSERT_TRUE(eventually([&] { return priced(tmux.row("SBER")) && priced(tmux.row("GAZP")); })) << tmux.screen();
  const std::string first = tmux.screen();
  EXPECT_NE(first.find("connected"), std::string::npos) << first;
  EXPECT_NE(first.find("Order book SBER"), std::string::npos) << first;
  EXPECT_NE(first.find("Ctrl-C to quit"), std::string::npos) << first;
  const auto sber = tmux.row("SBER");
  const auto gazp = tmux.row("GAZP");
  ASSERT_TRUE(eventually([&] { return tmux.row("SBER") != sber && tmux.row("GAZP") != gazp; })) << tmux.screen();
  EXPECT_TRUE(priced(tmux.row("SBER")) && priced(tmux.row("GAZP"))) << tmux.screen();

  ASSERT_FALSE(tmux.ended()) << "--for ran out before the test could interrupt: " << tmux.screen();
  tmux.keys("C-c");
  expectRestored(tmux, "0");
}

struct Ending {
  const char* what;
  std::vector<std::string> arguments;
  const char* keys;  // null: none
  const char* status;
  const char* onScreen;   // while it runs
  const char* leftBehind; // after it ended (standard error)
};

TEST(KxcliWatch, EveryEndLeavesTheTerminalAsItWas) {
  if (!Tmux::available()) GTEST_SKIP() << "tmux is not installed";
  const Ending endings[] = {
      {"q", {"--sim", "watch", "SBER", "GAZP"}, "q", "0", "Order book SBER", nullptr},
      {"--for", {"--sim", "watch", "SBER", "--for", "1"}, nullptr, "0", nullptr, nullptr},
      {"an unknown symbol", {"--sim", "watch", "NOSUCH", "SBER"}, "q", "1", "error: NOSUCH: Symbol not found NOSUCH",
       "kxcli: NOSUCH: Symbol not found NOSUCH"},
      {"a refused logon", {"--sim", "--login", "blocked", "--password", "blocked", "watch", "SBER"}, "q", "1",
       "disconnected: ", "kxcli: disconnected: "},
  };
  for (const Ending& e : endings) {
    SCOPED_TRACE(e.what);
    Home home;
    Tmux tmux(home, e.arguments);
    if (e.onScreen) {
      ASSERT_TRUE(eventually([&] { return tmux.screen().find(e.onScreen) != std::string::npos; })) << tmux.screen();
    }
    if (e.keys) tmux.keys(e.keys);
    expectRestored(tmux, e.status);
    if (e.leftBehind) {
      EXPECT_NE(tmux.screen().find(e.leftBehind), std::string::npos) << tmux.screen();
    }
  }
}

}  // namespace
