#include "kexsim_history_queries.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "kexsim_record_writer.h"

namespace kexsim {
namespace {

using Form = std::multimap<std::string, std::string>;

constexpr const char* kBarsPath = "/kx2/get-prices-zbin.php";
constexpr const char* kTicksPath = "/kx2/get-trades-zbin.php";

struct Interval {
  const char* name;
  BarBase base;
};
constexpr Interval kIntervals[] = {
    {"1min", BarBase::kMinute}, {"30min", BarBase::kHalfHour}, {"1day", BarBase::kDay}};

const std::string* valueOf(const Form& form, const char* name) {
  auto it = form.find(name);
  return it == form.end() ? nullptr : &it->second;
}

std::optional<BarBase> intervalOf(const Form& form) {
  const std::string* name = valueOf(form, "interval");
  for (const Interval& interval : kIntervals) {
    if (name != nullptr && *name == interval.name) return interval.base;
  }
  return std::nullopt;
}

// 14 decimal digits read as hex: the packed time without its low byte.
std::optional<uint64_t> barTime(const std::string* text) {
  if (text == nullptr || text->size() != 14 ||
      !std::all_of(text->begin(), text->end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::strtoull(text->c_str(), nullptr, 16) << 8;
}

std::optional<int64_t> signedNumber(const std::string* text) {
  if (text == nullptr || text->empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text->c_str(), &end, 10);
  if (*end != '\0' || errno != 0) return std::nullopt;
  return static_cast<int64_t>(value);
}

std::optional<BarQuery> barQuery(const Form& form) {
  BarQuery query;
  std::optional<uint64_t> from = barTime(valueOf(form, "from"));
  if (!from) return std::nullopt;
  query.from = *from;
  if (const std::string* to = valueOf(form, "to")) {
    query.to = barTime(to);
    return query.to ? std::optional(query) : std::nullopt;
  }
  std::optional<int64_t> count = signedNumber(valueOf(form, "count"));
  if (!count) return std::nullopt;
  query.count = *count;
  return query;
}

std::optional<TickQuery> tickQuery(const Form& form) {
  std::optional<int64_t> from = signedNumber(valueOf(form, "from"));
  std::optional<int64_t> count = signedNumber(valueOf(form, "count"));
  if (!from || !count) return std::nullopt;
  return TickQuery{static_cast<uint64_t>(*from), *count};
}

std::string barRecord(const SimBar& bar, int decimals) {
  RecordWriter w;
  w.dateTime(bar.time);
  for (double price : {bar.open, bar.high, bar.low, bar.close}) w.decimal(price, decimals);
  w.decimal(bar.volume, 0).decimal(bar.openInterest, 0);
  return w.recordEnd().take();
}

std::string tickRecord(const SimTick& trade, int decimals) {
  RecordWriter w;
  w.dateTime(trade.time).decimal(trade.price, decimals).decimal(trade.volume, 0).int64(trade.tradeNumber);
  w.decimal(trade.openInterest, 0).int32(trade.action);
  return w.recordEnd().take();
}

void refuseQuery(Exchange& exchange) { exchange.reply.sendText(400, "text/plain; charset=windows-1251", ""); }

std::string textOf(const Form& form, const char* name) {
  const std::string* value = valueOf(form, name);
  return value ? *value : "";
}

// The decimals of the security the query names (none for an unknown one).
int decimalsOf(const Exchange& exchange, const Form& form) {
  const Security* security =
      exchange.server.scenario.findSecurity(textOf(form, "exchange"), textOf(form, "security"));
  return security ? priceDecimals(*security) : 0;
}

// A record per item, then the end record.
template <typename Item>
void sendHistory(Exchange& exchange, const std::vector<Item>& items, int decimals,
                 std::string (*record)(const Item&, int)) {
  std::vector<std::string> records;
  records.reserve(items.size() + 1);
  for (const Item& item : items) records.push_back(record(item, decimals));
  records.push_back(RecordWriter().recordEnd().take());
  if (exchange.reply.sendHead(200, "application/octet-stream")) exchange.reply.sendRecords(std::move(records));
}

void serveBars(Exchange& exchange) {
  const Form form = parseForm(exchange.request.query);
  std::optional<BarBase> base = intervalOf(form);
  std::optional<BarQuery> query = barQuery(form);
  if (!base || !query) return refuseQuery(exchange);
  auto bars = exchange.server.market.bars(textOf(form, "exchange"), textOf(form, "security"), *base, *query);
  sendHistory(exchange, bars.value_or(std::vector<SimBar>{}), decimalsOf(exchange, form), barRecord);
}

void serveTicks(Exchange& exchange) {
  const Form form = parseForm(exchange.request.query);
  std::optional<TickQuery> query = tickQuery(form);
  if (!query) return refuseQuery(exchange);
  auto trades = exchange.server.market.trades(textOf(form, "exchange"), textOf(form, "security"), *query);
  sendHistory(exchange, trades.value_or(std::vector<SimTick>{}), decimalsOf(exchange, form), tickRecord);
}

}  // namespace

std::vector<Route> historyRoutes() {
  return {
      {kBarsPath, kBarsKind, true, serveBars},
      {kTicksPath, kTicksKind, true, serveTicks},
  };
}

}  // namespace kexsim
