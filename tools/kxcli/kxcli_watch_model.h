// What `kxcli watch` shows, kept apart from the terminal: a row per symbol
// from its UpdateQuote events, the order book of the selected symbol from its
// UpdateBidAsk snapshots, the session's state and the errors met; and the
// throttle that bounds how often the board is repainted.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "kxcli_output.h"

namespace kxcli {

// The quote fields a row shows, named as in UpdateQuote. The change is
// last - close: close is the previous session's closing price.
struct QuoteRow {
  std::string symbol;
  bool quoted = false;  // an UpdateQuote has arrived
  double bid = 0;
  double ask = 0;
  double last = 0;
  double close = 0;
  double volume = 0;
  std::string error;  // the refusal of its subscription
};

struct BookLevel {
  double price = 0;
  double volume = 0;
};

// Both sides best first: bids by falling price, asks by rising price.
struct BookLadder {
  std::vector<BookLevel> bids;
  std::vector<BookLevel> asks;
};

enum class SessionState { kConnecting, kConnected, kDisconnected };

class WatchModel {
 public:
  WatchModel(std::vector<std::string> symbols, std::string server);

  // Takes one event line; UpdateQuote, UpdateBidAsk, Connected and
  // Disconnected change the board, other events are ignored.
  void apply(const std::string& event, const Line& line);
  // A refused call: `symbol` empty when it concerns no symbol (connect).
  // The same error twice is kept once.
  void fail(const std::string& symbol, const std::string& message);
  // Moves the selection by `step` rows, clamped; true when it moved.
  bool select(int step);

  const std::vector<QuoteRow>& rows() const { return rows_; }
  const std::string& selected() const { return rows_[selected_].symbol; }
  size_t selectedIndex() const { return selected_; }
  // The last complete snapshot of the selected symbol's book.
  const BookLadder& book() const { return book_; }
  const std::string& server() const { return server_; }
  SessionState state() const { return state_; }
  const std::string& reason() const { return reason_; }  // of the disconnection
  // Every refusal and the disconnection, in order, each as "WHAT: message".
  const std::vector<std::string>& errors() const { return errors_; }

  // Changed since markClean().
  bool dirty() const { return dirty_; }
  void markClean() { dirty_ = false; }

 private:
  void applyQuote(const Line& line);
  void applyBookRow(const Line& line);
  QuoteRow* row(const std::string& symbol);

  std::vector<QuoteRow> rows_;
  size_t selected_ = 0;
  std::string server_;
  SessionState state_ = SessionState::kConnecting;
  std::string reason_;
  std::vector<std::string> errors_;
  BookLadder book_;
  BookLadder pending_;  // the snapshot whose rows are arriving
  bool dirty_ = true;
};

// Allows a draw when at least `gap` has passed since the last allowed one.
class DrawThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  explicit DrawThrottle(Clock::duration gap) : gap_(gap) {}

  bool allow(Clock::time_point now);

 private:
  Clock::duration gap_;
  std::optional<Clock::time_point> last_;
};

}  // namespace kxcli
