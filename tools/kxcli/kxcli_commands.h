// The commands for people: each connects, waits for Connected, makes its
// calls and prints the events. Streaming commands (quotes, book, ticks,
// portfolio) run until interrupted, until --for SECONDS have passed or until
// the session ends; one-shot commands end once their rows or their reply
// are complete.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kxcli_board.h"
#include "kxcli_component.h"
#include "kxcli_output.h"

namespace kxcli {

struct Connection {
  std::string host;
  uint16_t port = 0;
  std::string login;
  std::string password;
};

bool isCommand(const std::string& name);

// `command` holds the name and its words. Answers kxcli's exit status.
int runCommand(const std::vector<std::string>& command, const Connection& connection,
               std::optional<double> forSeconds, Component& component, EventBoard& board, Printer& printer);

}  // namespace kxcli
