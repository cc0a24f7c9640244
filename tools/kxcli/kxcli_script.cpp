#include "kxcli_script.h"

#include <cstdio>
#include <string>
#include <vector>

#include "kxcli_arguments.h"

namespace kxcli {
namespace {

constexpr double kDefaultWaitSeconds = 10;

enum class Step { kNext, kQuit };

struct Context {
  Component& component;
  EventBoard& board;
  Printer& printer;
  int lineNumber = 0;
  int status = kExitOk;
};

Step scriptError(Context& c, const std::string& reason) {
  std::fprintf(stderr, "kxcli: script line %d: %s\n", c.lineNumber, reason.c_str());
  c.status = kExitUsage;
  return Step::kQuit;
}

std::optional<double> nonNegative(const std::string& text) {
  const auto value = parseDouble(text);
  if (!value || !(*value >= 0)) return std::nullopt;
  return value;
}

Step waitDirective(Context& c, const std::vector<Word>& words) {
  if (words.size() < 2 || words.size() > 4) return scriptError(c, "usage: wait EVENT [COUNT] [TIMEOUT_S]");
  const std::string& event = words[1].text;
  const auto count = words.size() > 2 ? nonNegative(words[2].text) : 1.0;
  const auto seconds = words.size() > 3 ? nonNegative(words[3].text) : kDefaultWaitSeconds;
  if (!count || *count != static_cast<double>(static_cast<size_t>(*count))) {
    return scriptError(c, "wait: COUNT must be a whole number");
  }
  if (!seconds) return scriptError(c, "wait: TIMEOUT_S must be a number of seconds");
  const size_t wanted = static_cast<size_t>(*count);
  const auto outcome = c.board.waitUntil([&] { return c.board.countLocked(event) >= wanted; },
                                         std::chrono::duration<double>(*seconds));
  if (outcome == EventBoard::Outcome::kDone) return Step::kNext;
  if (outcome == EventBoard::Outcome::kStopped) {
    c.status = kExitInterrupted;
    return Step::kQuit;
  }
  c.printer.print({{"wait", Value::text(event)}, {"timeout", Value::boolean(true)}});
  c.status = kExitTimeout;
  return Step::kQuit;
}

Step sleepDirective(Context& c, const std::vector<Word>& words) {
  const auto ms = words.size() == 2 ? nonNegative(words[1].text) : std::nullopt;
  if (!ms) return scriptError(c, "usage: sleep MS");
  const auto outcome = c.board.waitUntil([] { return false; }, std::chrono::duration<double>(*ms / 1000));
  if (outcome != EventBoard::Outcome::kStopped) return Step::kNext;
  c.status = kExitInterrupted;
  return Step::kQuit;
}

Step callDirective(Context& c, const std::vector<Word>& words) {
  const std::vector<Word> arguments(words.begin() + 1, words.end());
  c.printer.printCall([&] { return c.component.call(words.front().text, arguments); });
  return Step::kNext;
}

Step runLine(Context& c, const std::string& line) {
  std::vector<Word> words;
  std::string error;
  if (!splitWords(line, &words, &error)) return scriptError(c, error);
  if (words.empty()) return Step::kNext;
  const std::string& directive = words.front().text;
  if (words.front().bare) {
    if (directive == "quit") return Step::kQuit;
    if (directive == "wait") return waitDirective(c, words);
    if (directive == "sleep") return sleepDirective(c, words);
  }
  return callDirective(c, words);
}

}  // namespace

int runScript(std::istream& in, Component& component, EventBoard& board, Printer& printer) {
  Context c{component, board, printer};
  for (std::string line; std::getline(in, line);) {
    ++c.lineNumber;
    if (board.stopped()) {
      c.status = kExitInterrupted;
      break;
    }
    if (runLine(c, line) == Step::kQuit) break;
  }
  return c.status;
}

}  // namespace kxcli
