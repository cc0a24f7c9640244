// kxcli, the command-line host of the component: runs a script of calls or
// one command for people against a real server or the built-in simulated
// one, and prints every call result and event as a JSON line.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>

#include "kexsim_server.h"
#include "kxcli_board.h"
#include "kxcli_commands.h"
#include "kxcli_component.h"
#include "kxcli_options.h"
#include "kxcli_script.h"
#include "kxcli_watch.h"

namespace {

using namespace kxcli;

constexpr const char* kSimHost = "127.0.0.1";
constexpr const char* kSimLogin = "demo";

// Scripts reach the connection's values through the environment, as a shell
// script would: connect $KXCLI_HOST $KXCLI_PORT $KXCLI_LOGIN $KXCLI_PASSWORD.
void publish(const Connection& c) {
  ::setenv("KXCLI_HOST", c.host.c_str(), 1);
  ::setenv("KXCLI_PORT", std::to_string(c.port).c_str(), 1);
  ::setenv("KXCLI_LOGIN", c.login.c_str(), 1);
  ::setenv("KXCLI_PASSWORD", c.password.c_str(), 1);
}

// The simulated server listens on free loopback ports; the logon goes to its
// TLS port (the data endpoints it announces are plain).
bool startSim(const Options& o, std::unique_ptr<kexsim::Server>* sim, Connection* c) {
  *sim = std::make_unique<kexsim::Server>();
  std::string error;
  if (!(*sim)->start(&error)) {
    std::fprintf(stderr, "kxcli: the simulated server did not start: %s\n", error.c_str());
    return false;
  }
  *c = {kSimHost, (*sim)->tlsPort(), o.login.value_or(kSimLogin), o.password.value_or(kSimLogin)};
  return true;
}

// The board draws the events itself instead of printing them.
bool watching(const Options& o) { return !o.script && !o.command.empty() && o.command.front() == kWatchCommand; }

int runWith(const Options& o, Component& component, EventBoard& board, Printer& printer, const Connection& c) {
  if (o.config) printer.printCall([&] { return component.call("ConfigureClient", {Word{*o.config, false}}); });
  if (watching(o)) return runWatch({o.command.begin() + 1, o.command.end()}, c, o.forSeconds, component, board);
  if (!o.script) return runCommand(o.command, c, o.forSeconds, component, board, printer);
  if (*o.script == "-") return runScript(std::cin, component, board, printer);
  std::ifstream file(*o.script);
  if (!file) {
    std::fprintf(stderr, "kxcli: cannot read %s\n", o.script->c_str());
    return kExitUsage;
  }
  return runScript(file, component, board, printer);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "kxcli: %s\n%s", error.c_str(), kUsage);
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (!options.script && !isCommand(options.command.front()) && !watching(options)) {
    std::fprintf(stderr, "kxcli: unknown command %s\n%s", options.command.front().c_str(), kUsage);
    return kExitUsage;
  }
  if (watching(options) && options.command.size() < 2) {
    std::fprintf(stderr, "kxcli: wrong number of words for %s\n", kWatchCommand);
    return kExitUsage;
  }

  EventBoard board;
  SignalWatcher signals(board);  // before any other thread starts
  Printer printer(options.format, stdout);

  std::unique_ptr<kexsim::Server> sim;
  Connection connection;
  if (options.host) {
    connection = {*options.host, *options.port, *options.login, options.password.value_or("")};
  } else if (!startSim(options, &sim, &connection)) {
    return kExitFailure;
  }
  publish(connection);

  auto component = Component::open(
      options.modulePath,
      [&, printed = !watching(options)](const std::string& event, const Line& line) {
        if (printed) printer.print(line);
        board.record(event, line);
      },
      &error,
      // Not printed: it only tells a row command that an answer, empty or not, is complete.
      [&](const std::string& rowEvent, int32_t rows) {
        board.record(kRowsDone, {{kRowsDone, Value::text(rowEvent)}, {"nrows", Value::integer(rows)}});
      });
  if (!component) {
    std::fprintf(stderr, "kxcli: %s\n", error.c_str());
    return kExitFailure;
  }
  const int status = runWith(options, *component, board, printer, connection);
  component->release();  // no disconnect call: releasing the object ends the session
  printer.close();
  component.reset();
  if (sim) sim->stop();
  return status;
}
