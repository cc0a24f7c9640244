#include "kxcli_watch_model.h"

#include <algorithm>

namespace kxcli {
namespace {

const Value* field(const Line& line, const char* name) {
  for (const auto& [key, value] : line) {
    if (key == name) return &value;
  }
  return nullptr;
}

double number(const Line& line, const char* name) {
  const Value* v = field(line, name);
  return v ? v->asNumber() : 0;
}

int64_t integer(const Line& line, const char* name) {
  const Value* v = field(line, name);
  return v ? v->asInteger() : 0;
}

std::string text(const Line& line, const char* name) {
  const Value* v = field(line, name);
  return v ? v->asText() : std::string();
}

// A book row pads the shorter side with price 0 and volume 0.
void addLevel(std::vector<BookLevel>& side, double price, double volume) {
  if (price != 0 || volume != 0) side.push_back({price, volume});
}

}  // namespace

WatchModel::WatchModel(std::vector<std::string> symbols, std::string server) : server_(std::move(server)) {
  for (std::string& symbol : symbols) {
    if (row(symbol)) continue;
    rows_.emplace_back();
    rows_.back().symbol = std::move(symbol);
  }
}

void WatchModel::apply(const std::string& event, const Line& line) {
  if (event == "UpdateQuote") {
    applyQuote(line);
  } else if (event == "UpdateBidAsk") {
    applyBookRow(line);
  } else if (event == "Connected") {
    state_ = SessionState::kConnected;
    dirty_ = true;
  } else if (event == "Disconnected") {
    state_ = SessionState::kDisconnected;
    reason_ = text(line, "reason");
    errors_.push_back("disconnected: " + reason_);
    dirty_ = true;
  }
}

void WatchModel::applyQuote(const Line& line) {
  QuoteRow* r = row(text(line, "symbol"));
  if (!r) return;
  r->quoted = true;
  r->bid = number(line, "bid");
  r->ask = number(line, "ask");
  r->last = number(line, "last");
  r->close = number(line, "close");
  r->volume = number(line, "volume");
  dirty_ = true;
}

// Rows 0..nrows-1 make one snapshot; it replaces the shown book once whole.
void WatchModel::applyBookRow(const Line& line) {
  if (text(line, "symbol") != selected()) return;
  const int64_t at = integer(line, "row");
  if (at == 0) pending_ = {};
  addLevel(pending_.bids, number(line, "bid"), number(line, "bidsize"));
  addLevel(pending_.asks, number(line, "ask"), number(line, "asksize"));
  if (at != integer(line, "nrows") - 1) return;
  auto byPrice = [](const BookLevel& a, const BookLevel& b) { return a.price < b.price; };
  std::sort(pending_.bids.begin(), pending_.bids.end(), [&](auto& a, auto& b) { return byPrice(b, a); });
  std::sort(pending_.asks.begin(), pending_.asks.end(), byPrice);
  book_ = std::move(pending_);
  pending_ = {};
  dirty_ = true;
}

void WatchModel::fail(const std::string& symbol, const std::string& message) {
  QuoteRow* r = row(symbol);
  if (r && r->error.empty()) r->error = message;
  const std::string error = (symbol.empty() ? std::string("connect") : symbol) + ": " + message;
  if (std::find(errors_.begin(), errors_.end(), error) == errors_.end()) errors_.push_back(error);
  dirty_ = true;
}

bool WatchModel::select(int step) {
  const auto last = static_cast<long>(rows_.size()) - 1;
  const auto to = static_cast<size_t>(std::clamp(static_cast<long>(selected_) + step, 0L, last));
  if (to == selected_) return false;
  selected_ = to;
  book_ = {};
  pending_ = {};
  dirty_ = true;
  return true;
}

QuoteRow* WatchModel::row(const std::string& symbol) {
  for (QuoteRow& r : rows_) {
    if (r.symbol == symbol) return &r;
  }
  return nullptr;
}

bool DrawThrottle::allow(Clock::time_point now) {
  if (last_ && now - *last_ < gap_) return false;
  last_ = now;
  return true;
}

}  // namespace kxcli
