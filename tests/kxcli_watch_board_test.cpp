// The watch board without a terminal: event lines go into the model, the
// rendered screen is read back row by row; the repaint throttle and the key
// decoder on their own.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "kxcli_watch_model.h"
#include "kxcli_watch_screen.h"

namespace {

using namespace kxcli;
using Tokens = std::vector<std::string>;

struct Event {
  std::string name;
  Line line;
};

Event quote(const std::string& symbol, double bid, double ask, double last, double close, double volume) {
  return {"UpdateQuote",
          {{"event", Value::text("UpdateQuote")}, {"symbol", Value::text(symbol)}, {"open", Value::number(close)},
           {"close", Value::number(close)}, {"last", Value::number(last)}, {"volume", Value::number(volume)},
           {"size", Value::number(7)}, {"bid", Value::number(bid)}, {"ask", Value::number(ask)},
           {"bidsize", Value::number(11)}, {"asksize", Value::number(12)}}};
}

// Rows come as the server sends them: each side by rising price, the shorter one padded with zeros.
Event bookRow(const std::string& symbol, int row, int rows, BookLevel bid, BookLevel ask) {
  return {"UpdateBidAsk",
          {{"event", Value::text("UpdateBidAsk")}, {"symbol", Value::text(symbol)}, {"row", Value::integer(row)},
           {"nrows", Value::integer(rows)}, {"bid", Value::number(bid.price)},
           {"bidsize", Value::number(bid.volume)}, {"ask", Value::number(ask.price)},
           {"asksize", Value::number(ask.volume)}}};
}

Event named(const std::string& name, Line fields = {}) {
  fields.insert(fields.begin(), {"event", Value::text(name)});
  return {name, fields};
}

Tokens split(const std::string& line) {
  std::istringstream in(line);
  Tokens out;
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

constexpr ScreenSize kScreen{100, 30};

std::vector<std::string> render(const std::vector<Event>& events, int select = 0, ScreenSize size = kScreen) {
  WatchModel model({"SBER", "GAZP"}, "127.0.0.1:4000");
  model.select(select);
  for (const Event& e : events) model.apply(e.name, e.line);
  return renderBoard(model, size, true);
}

// The words of the row of that symbol, '>' of the selection dropped.
Tokens rowOf(const std::vector<std::string>& screen, const std::string& symbol) {
  for (const std::string& line : screen) {
    Tokens words = split(line);
    if (!words.empty() && words[0] == ">") words.erase(words.begin());
    if (!words.empty() && words[0] == symbol) return words;
  }
  return {};
}

// The ladder's lines, below its column titles.
std::vector<Tokens> ladderOf(const std::vector<std::string>& screen) {
  std::vector<Tokens> out;
  bool inLadder = false;
  for (const std::string& line : screen) {
    const Tokens words = split(line);
    if (inLadder && (words.empty() || words[0] == "q")) break;
    if (inLadder) out.push_back(words);
    inLadder = inLadder || line.find("BID  |  ") != std::string::npos;
  }
  return out;
}

struct RowCase {
  const char* what;
  std::vector<Event> events;
  Tokens sber;
};

TEST(KxcliWatchBoard, QuoteEventsFillTheirSymbolsRow) {
  const RowCase cases[] = {
      {"no quote yet", {}, {"SBER", "-", "-", "-", "-", "-", "-"}},
      {"a quote", {quote("SBER", 250.49, 250.51, 250.5, 250, 1200)},
       {"SBER", "250.49", "250.51", "250.50", "+0.50", "+0.20%", "1200"}},
      {"the latest quote wins",
       {quote("SBER", 250.49, 250.51, 250.5, 250, 1200), quote("SBER", 249.7, 249.8, 249.75, 250, 1310)},
       {"SBER", "249.70", "249.80", "249.75", "-0.25", "-0.10%", "1310"}},
      {"another symbol's quote", {quote("GAZP", 160.1, 160.2, 160.15, 160, 5)}, {"SBER", "-", "-", "-", "-", "-", "-"}},
      {"all the digits a price has", {quote("SBER", 1.2344, 1.2346, 1.2345, 1.15, 3.5)},
       {"SBER", "1.2344", "1.2346", "1.2345", "+0.0845", "+7.35%", "3.5"}},
      {"no close to compare with", {quote("SBER", 10, 11, 10.5, 0, 1)},
       {"SBER", "10.00", "11.00", "10.50", "+10.50", "-", "1"}},
  };
  for (const RowCase& c : cases) EXPECT_EQ(rowOf(render(c.events), "SBER"), c.sber) << c.what;
}

struct LadderCase {
  const char* what;
  int select;
  std::vector<Event> events;
  std::vector<Tokens> ladder;
};

TEST(KxcliWatchBoard, TheSelectedSymbolsBookShowsBestPricesFirst) {
  const std::vector<Event> sberBook = {bookRow("SBER", 0, 3, {250.1, 30}, {250.6, 5}),
                                       bookRow("SBER", 1, 3, {250.2, 20}, {0, 0}),
                                       bookRow("SBER", 2, 3, {250.3, 10}, {0, 0})};
  const std::vector<Tokens> sberLadder = {
      {"10", "250.30", "|", "250.60", "5"}, {"20", "250.20", "|"}, {"30", "250.10", "|"}};
  std::vector<Event> thenPartial = sberBook;
  thenPartial.push_back(bookRow("SBER", 0, 2, {1, 1}, {2, 2}));
  std::vector<Event> thenAnother = sberBook;
  thenAnother.push_back(bookRow("SBER", 0, 1, {0, 0}, {251, 7}));
  const LadderCase cases[] = {
      {"nothing yet", 0, {}, {{"waiting", "for", "the", "order", "book"}}},
      {"a whole snapshot", 0, sberBook, sberLadder},
      {"a snapshot still arriving leaves the last whole one", 0, thenPartial, sberLadder},
      {"a new snapshot replaces the old one", 0, thenAnother, {{"|", "251.00", "7"}}},
      {"another symbol's book is not shown", 1, sberBook, {{"waiting", "for", "the", "order", "book"}}},
  };
  for (const LadderCase& c : cases) EXPECT_EQ(ladderOf(render(c.events, c.select)), c.ladder) << c.what;
}

struct StatusCase {
  const char* what;
  std::vector<Event> events;
  std::string refusedSymbol;  // empty: none
  std::string header;
  std::string errorLine;
};

TEST(KxcliWatchBoard, TheHeaderShowsTheSessionAndTheErrors) {
  const StatusCase cases[] = {
      {"before Connected", {}, "", "kxcli watch  127.0.0.1:4000  connecting", ""},
      {"connected", {named("Connected")}, "", "kxcli watch  127.0.0.1:4000  connected", ""},
      {"a refused symbol", {named("Connected")}, "GAZP", "kxcli watch  127.0.0.1:4000  connected",
       "error: GAZP: Symbol not found"},
      {"the session ended",
       {named("Connected"), named("Disconnected", {{"reason", Value::text("Connection refused")}})}, "",
       "kxcli watch  127.0.0.1:4000  disconnected: Connection refused", "error: disconnected: Connection refused"},
  };
  for (const StatusCase& c : cases) {
    WatchModel model({"SBER", "GAZP"}, "127.0.0.1:4000");
    for (const Event& e : c.events) model.apply(e.name, e.line);
    for (int twice = 0; twice < 2 && !c.refusedSymbol.empty(); ++twice) {
      model.fail(c.refusedSymbol, "Symbol not found");  // shown once
    }
    const auto screen = renderBoard(model, kScreen, true);
    EXPECT_EQ(screen[0], c.header) << c.what;
    EXPECT_EQ(screen[1], c.errorLine) << c.what;
    const Tokens gazp = c.refusedSymbol.empty() ? split("GAZP - - - - - -") : split("GAZP Symbol not found");
    EXPECT_EQ(rowOf(screen, "GAZP"), gazp) << c.what;
  }
}

TEST(KxcliWatchBoard, TheScreenIsFilledToItsSizeWithTheHintAtTheBottom) {
  std::vector<Event> deepBook;
  for (int row = 0; row < 50; ++row) deepBook.push_back(bookRow("SBER", row, 50, {100.0 + row, 1}, {200.0 + row, 1}));
  WatchModel model({"SBER"}, "127.0.0.1:4000");
  for (const Event& e : deepBook) model.apply(e.name, e.line);
  model.fail("SBER", "Символ не найден " + std::string(200, 'x'));  // wider than the screen, in UTF-8
  for (const ScreenSize size : {ScreenSize{100, 30}, ScreenSize{40, 12}, ScreenSize{80, 3}}) {
    for (const bool withKeys : {true, false}) {
      const auto screen = renderBoard(model, size, withKeys);
      ASSERT_EQ(screen.size(), size.rows);
      const std::string hint = withKeys ? "q or Ctrl-C to quit, up/down to choose the book's symbol" : "Ctrl-C to quit";
      EXPECT_EQ(screen.back(), hint.substr(0, size.columns));
      for (const std::string& line : screen) {
        size_t characters = 0;
        for (const char c : line) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        EXPECT_LE(characters, size.columns) << line;
      }
    }
  }
  const auto ladder = ladderOf(renderBoard(model, {100, 30}, true));
  ASSERT_FALSE(ladder.empty());
  EXPECT_EQ(ladder.front(), (Tokens{"1", "149.00", "|", "200.00", "1"}));  // the best prices stay in sight
}

TEST(KxcliWatchBoard, SelectionMovesWithinTheSymbols) {
  WatchModel model({"SBER", "GAZP", "KXRA", "SBER"}, "127.0.0.1:4000");  // a symbol given twice is one row
  ASSERT_EQ(model.rows().size(), 3u);
  const std::pair<int, std::string> steps[] = {{-1, "SBER"}, {1, "GAZP"}, {5, "KXRA"}, {1, "KXRA"}, {-2, "SBER"}};
  for (const auto& [step, selected] : steps) {
    model.select(step);
    EXPECT_EQ(model.selected(), selected) << step;
  }
  const auto screen = renderBoard(model, kScreen, true);
  EXPECT_EQ(split(screen[4])[0], ">");
  EXPECT_EQ(split(screen[5])[0], "GAZP");
}

TEST(KxcliWatchBoard, TheThrottleAllowsADrawAtMostEvery50Milliseconds) {
  DrawThrottle throttle(std::chrono::milliseconds(50));
  const DrawThrottle::Clock::time_point start{};
  const std::pair<int, bool> asked[] = {{0, true},    {1, false},   {49, false}, {50, true},
                                        {60, false},  {99, false},  {100, true}, {400, true}, {449, false}};
  for (const auto& [ms, allowed] : asked) {
    EXPECT_EQ(throttle.allow(start + std::chrono::milliseconds(ms)), allowed) << ms << " ms";
  }
}

TEST(KxcliWatchBoard, KeysAreReadFromWhatWasTyped) {
  const std::pair<std::string, std::vector<Key>> typed[] = {
      {"q", {Key::kQuit}},
      {"\x1b[A\x1b[B", {Key::kUp, Key::kDown}},
      {"\x1bOA\x1bOB", {Key::kUp, Key::kDown}},
      {"xkjQ", {Key::kUp, Key::kDown, Key::kQuit}},
      {"\x1b[C\x1b[", {}},
  };
  for (const auto& [bytes, keys] : typed) EXPECT_EQ(decodeKeys(bytes), keys) << bytes;
}

}  // namespace
