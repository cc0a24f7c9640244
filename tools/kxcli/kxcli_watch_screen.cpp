#include "kxcli_watch_screen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kxcli {
namespace {

constexpr int kSymbolWidth = 12;
constexpr int kNumberWidth = 11;  // with the symbol's, a row fits 80 columns
constexpr const char* kNoValue = "-";

struct StateName {
  SessionState state;
  const char* text;
};

constexpr StateName kStateNames[] = {{SessionState::kConnecting, "connecting"},
                                     {SessionState::kConnected, "connected"},
                                     {SessionState::kDisconnected, "disconnected"}};

std::string stateText(const WatchModel& model) {
  std::string out;
  for (const StateName& s : kStateNames) {
    if (s.state == model.state()) out = s.text;
  }
  if (model.state() == SessionState::kDisconnected && !model.reason().empty()) out += ": " + model.reason();
  return out;
}

// Digits after the decimal point in the shortest text of the value.
int decimalsOf(double value) {
  const std::string text = formatNumber(value);
  const size_t point = text.find('.');
  if (point == std::string::npos || text.find('e') != std::string::npos) return 0;
  return static_cast<int>(text.size() - point - 1);
}

std::string fixed(double value, int decimals, bool withSign = false) {
  if (!std::isfinite(value)) return kNoValue;
  char text[64];
  std::snprintf(text, sizeof text, withSign ? "%+.*f" : "%.*f", decimals, value);
  return text;
}

// Prices keep all their digits, and at least two decimals so that a column lines up.
std::string price(double value) { return fixed(value, std::max(2, decimalsOf(value))); }

std::string volume(double value) {
  const std::string text = formatNumber(value);
  return text.empty() ? kNoValue : text;
}

std::string change(const QuoteRow& r) {
  return fixed(r.last - r.close, std::max({2, decimalsOf(r.last), decimalsOf(r.close)}), true);
}

std::string changePercent(const QuoteRow& r) {
  if (r.close == 0) return kNoValue;
  return fixed((r.last - r.close) / r.close * 100, 2, true) + "%";
}

std::string padLeft(const std::string& text, int width) {
  const auto n = static_cast<size_t>(width);
  return text.size() >= n ? text : std::string(n - text.size(), ' ') + text;
}

std::string padRight(const std::string& text, int width) {
  const auto n = static_cast<size_t>(width);
  return text.size() >= n ? text : text + std::string(n - text.size(), ' ');
}

std::string columns(const std::vector<std::string>& numbers) {
  std::string out;
  for (const std::string& n : numbers) out += padLeft(n, kNumberWidth);
  return out;
}

std::string quoteHeader() {
  return "  " + padRight("SYMBOL", kSymbolWidth) + columns({"BID", "ASK", "LAST", "CHANGE", "CHANGE%", "VOLUME"});
}

std::string quoteLine(const QuoteRow& r, bool selected) {
  std::string out = (selected ? "> " : "  ") + padRight(r.symbol, kSymbolWidth);
  if (!r.error.empty()) return out + "  " + r.error;
  if (!r.quoted) return out + columns(std::vector<std::string>(6, kNoValue));
  return out + columns({price(r.bid), price(r.ask), price(r.last), change(r), changePercent(r), volume(r.volume)});
}

std::string levelColumns(const std::vector<BookLevel>& side, size_t at, bool priceFirst) {
  if (at >= side.size()) return columns({"", ""});
  const BookLevel& l = side[at];
  return priceFirst ? columns({price(l.price), volume(l.volume)}) : columns({volume(l.volume), price(l.price)});
}

// Bid volume and price on the left, ask price and volume on the right, best prices on the first line.
void addLadder(const WatchModel& model, size_t room, std::vector<std::string>& lines) {
  const BookLadder& book = model.book();
  lines.push_back("Order book " + model.selected());
  lines.push_back("  " + columns({"VOLUME", "BID"}) + "  |" + columns({"ASK", "VOLUME"}));
  const size_t depth = std::max(book.bids.size(), book.asks.size());
  const std::string& refusal = model.rows()[model.selectedIndex()].error;
  if (depth == 0) lines.push_back("  " + (refusal.empty() ? std::string("waiting for the order book") : refusal));
  for (size_t at = 0; at < depth && at + 2 < room; ++at) {
    lines.push_back("  " + levelColumns(book.bids, at, false) + "  |" + levelColumns(book.asks, at, true));
  }
}

std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += (out.empty() ? "" : "; ") + t;
  return out;
}

// Cut to `width` characters of UTF-8 text (continuation bytes take no column).
std::string fit(const std::string& line, size_t width) {
  size_t used = 0;
  for (size_t at = 0; at < line.size(); ++at) {
    const bool starts = (static_cast<unsigned char>(line[at]) & 0xC0) != 0x80;
    if (starts && used++ == width) return line.substr(0, at);
  }
  return line;
}

struct KeyCode {
  const char* bytes;
  Key key;
};

constexpr KeyCode kKeyCodes[] = {{"q", Key::kQuit},    {"Q", Key::kQuit},  {"\x1b[A", Key::kUp},
                                 {"\x1bOA", Key::kUp}, {"k", Key::kUp},    {"\x1b[B", Key::kDown},
                                 {"\x1bOB", Key::kDown}, {"j", Key::kDown}};

}  // namespace

std::vector<std::string> renderBoard(const WatchModel& model, ScreenSize size, bool withKeys) {
  std::vector<std::string> lines;
  lines.push_back("kxcli watch  " + model.server() + "  " + stateText(model));
  lines.push_back(model.errors().empty() ? "" : "error: " + joined(model.errors()));
  lines.push_back("");
  lines.push_back(quoteHeader());
  for (size_t i = 0; i < model.rows().size(); ++i) lines.push_back(quoteLine(model.rows()[i], i == model.selectedIndex()));
  lines.push_back("");
  const size_t footerRows = 1;
  const size_t used = lines.size() + footerRows;
  addLadder(model, size.rows > used ? size.rows - used : 0, lines);

  lines.resize(size.rows > footerRows ? size.rows - footerRows : 0);
  lines.push_back(withKeys ? "q or Ctrl-C to quit, up/down to choose the book's symbol" : "Ctrl-C to quit");
  lines.resize(size.rows);
  for (std::string& line : lines) line = fit(line, size.columns);
  return lines;
}

std::vector<Key> decodeKeys(const std::string& typed) {
  std::vector<Key> keys;
  size_t at = 0;
  while (at < typed.size()) {
    const KeyCode* found = nullptr;
    for (const KeyCode& code : kKeyCodes) {
      if (typed.compare(at, std::char_traits<char>::length(code.bytes), code.bytes) == 0) found = &code;
    }
    if (found) keys.push_back(found->key);
    at += found ? std::char_traits<char>::length(found->bytes) : 1;
  }
  return keys;
}

}  // namespace kxcli
