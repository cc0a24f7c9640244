// kexsim [--port P] [--tls-port P] [--scenario FILE] [--seed N]
// Serves until SIGINT or SIGTERM; prints the bound ports first.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "kexsim_server.h"

namespace {

void usage() {
  std::fprintf(stderr, "usage: kexsim [--port P] [--tls-port P] [--scenario FILE] [--seed N] [--firehose RATE]\n"
                       "  --firehose RATE  the quotes feed sends RATE quotes a second (-1: as fast as the\n"
                       "                   connection takes them), for benchmarks\n");
}

bool parseArguments(int argc, char** argv, kexsim::ServerOptions* options) {
  std::optional<int> firehose;  // applied last: a scenario file replaces the whole scenario
  for (int i = 1; i < argc; ++i) {
    std::string flag = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (flag == "--port") {
      options->plainPort = static_cast<uint16_t>(std::strtoul(value, nullptr, 10));
    } else if (flag == "--tls-port") {
      options->tlsPort = static_cast<uint16_t>(std::strtoul(value, nullptr, 10));
    } else if (flag == "--seed") {
      options->seed = std::strtoull(value, nullptr, 10);
    } else if (flag == "--scenario") {
      options->scenario = kexsim::loadScenarioFile(value);
    } else if (flag == "--firehose") {
      firehose = static_cast<int>(std::strtol(value, nullptr, 10));
    } else {
      return false;
    }
  }
  if (firehose) options->scenario.firehoseRate = *firehose;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Blocked before any thread starts, so only sigwait below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  kexsim::ServerOptions options;
  try {
    if (!parseArguments(argc, argv, &options)) {
      usage();
      return 2;
    }
  } catch (const kexsim::ScenarioError& error) {
    std::fprintf(stderr, "kexsim: %s\n", error.what());
    return 2;
  }
  kexsim::Server server(std::move(options));
  std::string error;
  if (!server.start(&error)) {
    std::fprintf(stderr, "kexsim: %s\n", error.c_str());
    return 1;
  }
  std::printf("kexsim plain port %u\nkexsim tls port %u\n", server.plainPort(), server.tlsPort());
  std::fflush(stdout);
  int received = 0;
  sigwait(&stopSignals, &received);
  server.stop();
  return 0;
}
