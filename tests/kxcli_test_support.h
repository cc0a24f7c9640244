// Running kxcli as a child process: a private home (profile folder, registry,
// configuration) per test, the script on its standard input, its JSON lines
// read back from standard output, and a little reading of those lines.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "kexsim_server.h"

extern char** environ;

namespace kxcli_testing {

namespace fs = std::filesystem;

// kxcli lies in the build tree at tools/kxcli beside tests/, with the module
// linked next to it.
inline std::string kxcliPath() {
#ifdef KXCLI_PATH
  return KXCLI_PATH;
#else
  const fs::path self = fs::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path() / "tools" / "kxcli" / "kxcli").string();
#endif
}

// A new account's home for one kxcli run: HOME is a new empty folder and the
// profile folder is left to the component (it creates ~/.local/share as on a
// fresh account); only the registry is prepared, with log level 5 so the log
// keeps TRACE lines too. A test may choose another data home or no HOME.
class Home {
 public:
  Home() {
    std::string pattern = (fs::temp_directory_path() / "kxcli-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
    fs::create_directories(path_ + "/registry");
    std::ofstream(path_ + "/registry/HKEY_LOCAL_MACHINE.reg")
        << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pellum\\quarnel]\n"
           "\"logLevel\"=dword:00000005\n";
  }
  ~Home() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  Home(const Home&) = delete;
  Home& operator=(const Home&) = delete;

  const std::string& path() const { return path_; }
  std::string dataHome() const { return dataHome_.value_or(path_ + "/.local/share"); }
  std::string logFile() const { return dataHome() + "/Pellum/quarnel3-cli.log"; }
  std::string log() const {
    std::ifstream in(logFile());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  size_t logCount(const std::string& needle) const {
    const std::string text = log();
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
  }

  void setDataHome(const std::string& folder) { dataHome_ = folder; }
  void unsetHome() { withHome_ = false; }

  std::vector<std::string> environment() const {
    static const char* const kReplaced[] = {"HOME=", "XDG_DATA_HOME=", "XDG_CONFIG_HOME=", "QUARNEL3_REGISTRY_ROOT="};
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      bool replaced = false;
      for (const char* prefix : kReplaced) replaced |= entry.rfind(prefix, 0) == 0;
      if (!replaced) out.push_back(entry);
    }
    if (withHome_) out.push_back("HOME=" + path_);
    if (dataHome_) out.push_back("XDG_DATA_HOME=" + *dataHome_);
    out.push_back("XDG_CONFIG_HOME=" + path_ + "/config");
    out.push_back("QUARNEL3_REGISTRY_ROOT=" + path_ + "/registry");
    return out;
  }

 private:
  std::string path_;
  std::optional<std::string> dataHome_;
  bool withHome_ = true;
};

// One kxcli process. Lines are read as they come, so a test can act on what
// it has seen (write more of the script, interrupt) before kxcli ends.
class Child {
 public:
  // With `withErrors`, what kxcli writes to standard error is read as lines too.
  Child(const Home& home, const std::vector<std::string>& arguments, bool withErrors = false) {
    ::signal(SIGPIPE, SIG_IGN);  // a script written to a kxcli that has already ended
    int in[2];
    int out[2];
    EXPECT_EQ(::pipe(in), 0);
    EXPECT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (withErrors) posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1]}) posix_spawn_file_actions_addclose(&actions, fd);

    std::vector<std::string> argv = {kxcliPath()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> env = home.environment();
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
    EXPECT_EQ(spawned, 0) << std::strerror(spawned);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
  }
  ~Child() {
    closeInput();
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) ::close(output_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void write(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(input_, text.data() + done, text.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }
  void closeInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
  }
  void signal(int number) { ::kill(pid_, number); }

  // The next line of output; nullopt once kxcli has closed it.
  std::optional<std::string> readLine() {
    for (;;) {
      const size_t end = pending_.find('\n');
      if (end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        lines_.push_back(line);
        return line;
      }
      char buffer[4096];
      const ssize_t n = ::read(output_, buffer, sizeof buffer);
      if (n <= 0) return std::nullopt;
      pending_.append(buffer, static_cast<size_t>(n));
    }
  }
  // Reads until a line holds `needle`; false if the output ends first.
  bool readUntil(const std::string& needle) {
    while (auto line = readLine()) {
      if (line->find(needle) != std::string::npos) return true;
    }
    return false;
  }
  // Reads to the end and answers the exit status.
  int finish() {
    closeInput();
    while (readLine()) {
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  const std::vector<std::string>& lines() const { return lines_; }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  bool exited_ = false;
  std::string pending_;
  std::vector<std::string> lines_;
};

struct Result {
  int status = -1;
  std::vector<std::string> lines;

  // The lines that begin as `prefix` does ({"event":"AddTick" ...).
  std::vector<std::string> starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& l : lines) {
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    }
    return out;
  }
  std::vector<std::string> events(const std::string& name) const {
    return starting("{\"event\":\"" + name + "\"");
  }
  std::vector<std::string> calls(const std::string& name) const { return starting("{\"call\":\"" + name + "\""); }
};

inline Result run(const Home& home, const std::vector<std::string>& arguments, const std::string& script = "",
                  bool withErrors = false) {
  Child child(home, arguments, withErrors);
  child.write(script);
  Result result;
  result.status = child.finish();
  result.lines = child.lines();
  return result;
}

// The raw JSON text of one member of a line: a number, true/false/null, or a
// string with its quotes.
inline std::string member(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  size_t at = line.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  size_t end = at;
  if (line[at] == '"') {
    for (end = at + 1; end < line.size() && line[end] != '"'; ++end) {
      if (line[end] == '\\') ++end;
    }
    ++end;
  } else {
    while (end < line.size() && line[end] != ',' && line[end] != '}') ++end;
  }
  return line.substr(at, end - at);
}

// A kexsim on loopback and the options that point kxcli at it.
class Simulator {
 public:
  explicit Simulator(kexsim::Scenario scenario = kexsim::builtInScenario()) : server_(options(std::move(scenario))) {
    EXPECT_TRUE(server_.start());
  }
  kexsim::Server& server() { return server_; }

  std::vector<std::string> connection(const std::string& login = "demo", const std::string& password = "demo") {
    return {"--host", "127.0.0.1", "--port", std::to_string(server_.tlsPort()), "--login", login,
            "--password", password};
  }
  std::vector<std::string> script(const std::string& login = "demo", const std::string& password = "demo") {
    std::vector<std::string> out = connection(login, password);
    out.insert(out.end(), {"--script", "-"});
    return out;
  }
  std::string plainAddress() const { return "127.0.0.1:" + std::to_string(server_.plainPort()); }

  // The feed lines the server received on connections of one kind, in order.
  std::vector<std::string> feedLines(const std::string& kind) {
    std::vector<std::string> lines;
    for (const auto& entry : server_.log().ofKind(kind)) {
      lines.insert(lines.end(), entry.feedLines.begin(), entry.feedLines.end());
    }
    return lines;
  }
  bool waitForFeedLine(const std::string& kind, const std::string& line) {
    return server_.log().waitUntil([&](const kexsim::RequestLog::Entries& entries) {
      for (const auto& e : entries) {
        if (e.kind != kind) continue;
        for (const std::string& l : e.feedLines) {
          if (l == line) return true;
        }
      }
      return false;
    }, std::chrono::seconds(60));
  }

 private:
  static kexsim::ServerOptions options(kexsim::Scenario scenario) {
    kexsim::ServerOptions o;
    o.scenario = std::move(scenario);
    return o;
  }
  kexsim::Server server_;
};

// The script line that connects to the server kxcli was pointed at.
inline constexpr const char* kConnect = "connect $KXCLI_HOST $KXCLI_PORT $KXCLI_LOGIN $KXCLI_PASSWORD\n";

}  // namespace kxcli_testing
