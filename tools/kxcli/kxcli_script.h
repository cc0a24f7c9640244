// Script mode: one directive per line — a method call by its type-library
// name, `wait EVENT [COUNT] [TIMEOUT_S]`, `sleep MS` or `quit`. Blank lines
// and comments are skipped.
#pragma once

#include <istream>

#include "kxcli_board.h"
#include "kxcli_component.h"
#include "kxcli_output.h"

namespace kxcli {

// Exit statuses of kxcli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitTimeout = 3;
inline constexpr int kExitInterrupted = 130;

// Runs the directives as they are read (so a script may come from a pipe
// that a person or a program writes while kxcli runs).
int runScript(std::istream& in, Component& component, EventBoard& board, Printer& printer);

}  // namespace kxcli
