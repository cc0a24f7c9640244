// The board of `kxcli watch` as screen text, and the keys it knows: pure
// functions of the model and of the bytes typed, so that both are tested
// without a terminal.
#pragma once

#include <string>
#include <vector>

#include "kxcli_watch_model.h"

namespace kxcli {

struct ScreenSize {
  size_t columns = 80;
  size_t rows = 24;
};

// Exactly `size.rows` lines, none wider than `size.columns` characters: the
// header with the session's state, the errors, a row per symbol (bid, ask,
// last, change, change in percent, volume; '>' marks the selected one), the
// selected symbol's order book as a ladder, and at the bottom the hint of how
// to quit (`withKeys`: the keys are read too).
std::vector<std::string> renderBoard(const WatchModel& model, ScreenSize size, bool withKeys);

enum class Key { kQuit, kUp, kDown };

// The keys in what was typed; other bytes are skipped.
std::vector<Key> decodeKeys(const std::string& typed);

}  // namespace kxcli
