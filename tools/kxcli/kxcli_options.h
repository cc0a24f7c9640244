// kxcli's command line: connection options, the module, the output format,
// and either a script or a command for people with its words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kxcli_output.h"

namespace kxcli {

struct Options {
  // Without --host the built-in simulated server is started (as --sim).
  std::optional<std::string> host;
  std::optional<uint16_t> port;
  std::optional<std::string> login;
  std::optional<std::string> password;
  bool sim = false;
  std::optional<std::string> config;
  std::string modulePath;
  Format format = Format::kJson;
  std::optional<double> forSeconds;
  std::optional<std::string> script;
  std::vector<std::string> command;  // the command's name, then its words
  bool help = false;
};

// Options may stand before, between or after the command's words, as
// `--name VALUE` or `--name=VALUE`. False with the reason on a mistake.
bool parseOptions(int argc, char** argv, Options* options, std::string* error);

extern const char* const kUsage;

}  // namespace kxcli
