// `kxcli watch SYMBOL...`: a live board in the terminal instead of event
// lines. It subscribes to the quotes of every symbol and to the order book of
// the selected one (the first, or the one chosen with up/down), and repaints
// in place at most every 50 ms while events arrive. It ends on q, on Ctrl-C
// (through the board's stop), when --for SECONDS have passed; the terminal is
// restored then, and the errors met are printed to standard error.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kxcli_board.h"
#include "kxcli_commands.h"
#include "kxcli_component.h"

namespace kxcli {

inline constexpr const char* kWatchCommand = "watch";

// Answers kxcli's exit status: 0, or 1 when a call was refused or the session ended.
int runWatch(const std::vector<std::string>& symbols, const Connection& connection, std::optional<double> forSeconds,
             Component& component, EventBoard& board);

}  // namespace kxcli
