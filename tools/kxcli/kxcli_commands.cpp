#include "kxcli_commands.h"

#include <cstdio>
#include <cstring>

#include "kxcli_script.h"

namespace kxcli {
namespace {

// Generous bounds for answers that should come at once; they only keep a
// silent server from holding kxcli forever.
constexpr double kConnectLimitSeconds = 60;
constexpr double kOneShotLimitSeconds = 60;

struct Call {
  const char* method;
  std::vector<std::string> words;
};

enum class Shape {
  kSync,    // the events arrive during the call
  kStream,  // events until interrupted, --for, or the session's end
  kRows,    // rows of one event until the last (row == nrows - 1) or the answer's end
  kReply,   // one of two reply events
};

using CallBuilder = std::vector<Call> (*)(const std::vector<std::string>& words);

struct Command {
  const char* name;
  int words;  // exact count; -1: one or more
  Shape shape;
  CallBuilder calls;
  const char* done[2];
};

// Enumerations may be given by their member names, for people; numbers pass.
struct EnumName {
  const char* name;
  int value;
};

constexpr EnumName kIntervals[] = {{"Tick", 0},   {"1Min", 1},  {"5Min", 2},  {"10Min", 3},    {"15Min", 4},
                                   {"30Min", 5},  {"60Min", 6}, {"2Hour", 7}, {"4Hour", 8},    {"Day", 9},
                                   {"Week", 10},  {"Month", 11}, {"Quarter", 12}, {"Year", 13}};
constexpr EnumName kActions[] = {{"Buy", 1}, {"Sell", 2}, {"Short", 3}, {"Cover", 4}};
constexpr EnumName kTypes[] = {{"Market", 1}, {"Limit", 2}, {"Stop", 3}, {"StopLimit", 4}};
constexpr EnumName kValidities[] = {{"Day", 1}, {"Gtc", 2}};

template <size_t N>
std::string enumWord(const std::string& word, const EnumName (&names)[N]) {
  for (const EnumName& e : names) {
    if (::strcasecmp(word.c_str(), e.name) == 0) return std::to_string(e.value);
  }
  return word;
}

std::vector<Call> perSymbol(const char* method, const std::vector<std::string>& symbols) {
  std::vector<Call> calls;
  for (const std::string& symbol : symbols) calls.push_back({method, {symbol}});
  return calls;
}

const Command kCommands[] = {
    {"quotes", -1, Shape::kStream, [](const auto& w) { return perSymbol("ListenQuotes", w); }, {}},
    {"book", -1, Shape::kStream, [](const auto& w) { return perSymbol("ListenBidAsks", w); }, {}},
    {"ticks", -1, Shape::kStream, [](const auto& w) { return perSymbol("ListenTicks", w); }, {}},
    {"symbols", 0, Shape::kSync, [](const auto&) { return std::vector<Call>{{"GetSymbols", {}}}; }, {}},
    {"portfolios", 0, Shape::kSync, [](const auto&) { return std::vector<Call>{{"GetPrortfolioList", {}}}; }, {}},
    {"bars", 4, Shape::kRows,
     [](const auto& w) { return std::vector<Call>{{"GetBars", {w[0], enumWord(w[1], kIntervals), w[2], w[3]}}}; },
     {"AddBar"}},
    {"trades", 3, Shape::kRows, [](const auto& w) { return std::vector<Call>{{"GetTrades", w}}; },
     {"AddTickHistory"}},
    {"portfolio", 1, Shape::kStream, [](const auto& w) { return std::vector<Call>{{"ListenPortfolio", w}}; }, {}},
    {"place", 9, Shape::kReply,
     [](const auto& w) {
       return std::vector<Call>{{"PlaceOrder",
                                 {w[0], w[1], enumWord(w[2], kActions), enumWord(w[3], kTypes),
                                  enumWord(w[4], kValidities), w[5], w[6], w[7], w[8]}}};
     },
     {"OrderSucceeded", "OrderFailed"}},
    {"cancel", 3, Shape::kReply, [](const auto& w) { return std::vector<Call>{{"CancelOrder", w}}; },
     {"OrderCancelSucceeded", "OrderCancelFailed"}},
    {"move", 3, Shape::kReply, [](const auto& w) { return std::vector<Call>{{"MoveOrder", w}}; },
     {"OrderMoveSucceeded", "OrderMoveFailed"}},
    {"orders", 1, Shape::kRows, [](const auto& w) { return std::vector<Call>{{"GetMyOrders", {"0", w[0]}}}; },
     {"SetMyOrder"}},
    {"my-trades", 1, Shape::kRows, [](const auto& w) { return std::vector<Call>{{"GetMyTrades", w}}; },
     {"SetMyTrade"}},
    {"closed", 1, Shape::kRows, [](const auto& w) { return std::vector<Call>{{"GetMyClosePos", w}}; },
     {"SetMyClosePos"}},
    {"version", 0, Shape::kSync,
     [](const auto&) {
       return std::vector<Call>{{"GetServerVersionString", {}},
                                {"GetServerVersion", {}},
                                {"GetKxClientVersionString", {}},
                                {"GetKxClientVersion", {}}};
     },
     {}},
};

const Command* findCommand(const std::string& name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

const Value* field(const Line& line, const char* name) {
  for (const auto& [key, value] : line) {
    if (key == name) return &value;
  }
  return nullptr;
}

bool lastRow(const Line& line) {
  const Value* row = field(line, "row");
  const Value* rows = field(line, "nrows");
  return row && rows && row->asInteger() == rows->asInteger() - 1;
}

// What the watcher has seen; read and written under the board's lock.
struct Progress {
  bool connected = false;
  bool disconnected = false;
  bool complete = false;
};

// The end of an answer with the awaited row event; the only end an empty
// answer has, as it fires no row.
bool answerDone(const Command& command, const Line& line) {
  const Value* rowEvent = field(line, kRowsDone);
  return command.shape == Shape::kRows && rowEvent && rowEvent->asText() == command.done[0];
}

bool completes(const Command& command, const std::string& event, const Line& line) {
  if (event == kRowsDone) return answerDone(command, line);
  for (const char* done : command.done) {
    if (!done || event != done) continue;
    return command.shape != Shape::kRows || lastRow(line);
  }
  return false;
}

std::vector<Word> words(const std::vector<std::string>& texts) {
  std::vector<Word> out;
  for (const std::string& t : texts) out.push_back(Word{t, false});
  return out;
}

std::chrono::duration<double> seconds(double value) { return std::chrono::duration<double>(value); }

class Run {
 public:
  Run(const Command& command, Component& component, EventBoard& board, Printer& printer)
      : command_(command), component_(component), board_(board), printer_(printer) {
    board_.setWatcher([this](const std::string& event, const Line& line) {
      if (event == "Connected") progress_.connected = true;
      if (event == "Disconnected") progress_.disconnected = true;
      if (completes(command_, event, line)) progress_.complete = true;
    });
  }
  // The watcher refers to this run: events after it must not reach it.
  ~Run() { board_.setWatcher(nullptr); }

  int execute(const std::vector<std::string>& arguments, const Connection& connection,
              std::optional<double> forSeconds) {
    if (!call("connect", {connection.host, std::to_string(connection.port), connection.login, connection.password})) {
      return kExitFailure;
    }
    const auto connected = board_.waitUntil([this] { return progress_.connected || progress_.disconnected; },
                                            seconds(kConnectLimitSeconds));
    if (connected != EventBoard::Outcome::kDone) return ended(connected, "Connected");
    if (!seen().connected) return kExitFailure;
    for (const Call& c : command_.calls(arguments)) {
      if (!call(c.method, c.words)) return kExitFailure;
    }
    return finish(forSeconds);
  }

 private:
  bool call(const char* method, const std::vector<std::string>& texts) {
    HRESULT hr = S_OK;
    printer_.printCall([&] { return component_.call(method, words(texts), &hr); });
    return SUCCEEDED(hr);
  }

  int finish(std::optional<double> forSeconds) {
    switch (command_.shape) {
      case Shape::kSync: return kExitOk;
      case Shape::kStream: {
        std::optional<std::chrono::duration<double>> limit;
        if (forSeconds) limit = seconds(*forSeconds);
        const auto outcome = board_.waitUntil([this] { return progress_.disconnected; }, limit);
        return outcome == EventBoard::Outcome::kDone ? kExitFailure : kExitOk;
      }
      case Shape::kRows:
      case Shape::kReply: {
        const auto outcome = board_.waitUntil([this] { return progress_.complete || progress_.disconnected; },
                                              seconds(forSeconds.value_or(kOneShotLimitSeconds)));
        if (outcome != EventBoard::Outcome::kDone) return ended(outcome, command_.done[0]);
        return seen().complete ? kExitOk : kExitFailure;
      }
    }
    return kExitFailure;
  }

  Progress seen() const {
    Progress copy;
    board_.withLock([&] { copy = progress_; });
    return copy;
  }

  int ended(EventBoard::Outcome outcome, const char* awaited) {
    if (outcome == EventBoard::Outcome::kStopped) return kExitInterrupted;
    printer_.print({{"wait", Value::text(awaited)}, {"timeout", Value::boolean(true)}});
    return kExitTimeout;
  }

  const Command& command_;
  Component& component_;
  EventBoard& board_;
  Printer& printer_;
  Progress progress_;
};

}  // namespace

bool isCommand(const std::string& name) { return findCommand(name) != nullptr; }

int runCommand(const std::vector<std::string>& command, const Connection& connection,
               std::optional<double> forSeconds, Component& component, EventBoard& board, Printer& printer) {
  const Command* rule = findCommand(command.front());
  if (!rule) {
    std::fprintf(stderr, "kxcli: unknown command %s\n", command.front().c_str());
    return kExitUsage;
  }
  const std::vector<std::string> arguments(command.begin() + 1, command.end());
  const bool countOk = rule->words < 0 ? !arguments.empty() : arguments.size() == static_cast<size_t>(rule->words);
  if (!countOk) {
    std::fprintf(stderr, "kxcli: wrong number of words for %s\n", rule->name);
    return kExitUsage;
  }
  Run run(*rule, component, board, printer);
  return run.execute(arguments, connection, forSeconds);
}

}  // namespace kxcli
