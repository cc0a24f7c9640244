#include "history/wexel_get_bars_request.h"

#include <algorithm>

#include "codec/wexel_record_layout.h"
#include "core/wexel_text.h"

namespace wexel {
namespace {

constexpr char kSourceName[] = "src/wexel_get_bars_request";
constexpr int kSourceLine = 61;  // the line the socket-error log line cites: fixed
constexpr size_t kPathSize = 256;

constexpr int kEndAt = 100;
struct WBarsEnd {};
constexpr WField<WBarsEnd> kEndRecord[] = {
    {WRecordEnd{}},
};

constexpr int kBarAt = 110;
constexpr WField<WHistoryBar> kBar[] = {
    {&WHistoryBar::time},
    {&WHistoryBar::open},
    {&WHistoryBar::high},
    {&WHistoryBar::low},
    {&WHistoryBar::close},
    {&WHistoryBar::volume},
    {&WHistoryBar::openInterest, WPresence::kOptional},
    {WRecordRest{}},
};

// How the server names the base bars of each interval and how many base bars
// one bar of the interval spans.
struct WIntervalQuery {
  const char* name;
  int64_t baseBars;
};

constexpr WIntervalQuery kIntervalQueries[] = {
    {"1min", 1},  {"1min", 1},  {"1min", 5},  {"1min", 10}, {"1min", 15},  {"30min", 1},  {"30min", 2},
    {"30min", 4}, {"30min", 8}, {"1day", 1},  {"1day", 7},  {"1day", 31},  {"1day", 124}, {"1day", 366},
};

WIntervalQuery intervalQuery(int interval) {
  if (interval < 0 || interval >= static_cast<int>(std::size(kIntervalQueries))) return {"", 1};
  return kIntervalQueries[interval];
}

// The packed time's digits YYYYMMDDhhmmss, as hexadecimal.
unsigned long long digitsOf(PackedTime t) { return static_cast<unsigned long long>(t >> 8); }

}  // namespace

WHistoryBarsParser::WHistoryBarsParser(WexelHistoryBarsListener* listener,
                                       const std::string& exchange, const std::string& security, int interval,
                                       WContext context)
    : listener_(listener),
      exchange_(exchange),
      security_(security),
      interval_(interval),
      context_(context) {
  bars_.reserve(10);
}

int WHistoryBarsParser::parseRecord(const char* data, int size) {
  if (size <= 0) return 0;
  WNibbleCursor cursor(data, size);
  WBarsEnd end{};
  if (readLayout(*this, cursor, end, kEndRecord, kSourceName, kEndAt).ok()) {
    if (claimOutcome() && listener_) listener_->onBars(exchange_, security_, interval_, context_, bars_);
    return cursor.bytesSince(2 * size);
  }
  WHistoryBar bar{};
  const WLayoutRead read = readLayout(*this, cursor, bar, kBar, kSourceName, kBarAt);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
  bars_.push_back(bar);
  return cursor.bytesSince(2 * size);
}

int WHistoryBarsParser::onError(int code, const char* text) {
  if (claimOutcome() && listener_) listener_->onError(context_, text, code);
  return 0;
}

std::string historyBarsPath(const std::string& exchange, const std::string& security, int interval,
                            PackedTime from, PackedTime to, int count) {
  if (!isSafeUrlValue(exchange) || !isSafeUrlValue(security)) return std::string();
  const WIntervalQuery query = intervalQuery(interval);
  if (to != 0) {
    return formatBounded(kPathSize, "/kx2/get-prices-zbin.php?exchange=%s&security=%s&interval=%s&from=%llx&to=%llx",
                         exchange.c_str(), security.c_str(), query.name, digitsOf(from), digitsOf(to));
  }
  // A count beyond what 32 bits hold asks for as many as they hold.
  const int64_t baseCount = std::clamp<int64_t>(count * query.baseBars, INT32_MIN, INT32_MAX);
  return formatBounded(kPathSize, "/kx2/get-prices-zbin.php?exchange=%s&security=%s&interval=%s&from=%llx&count=%d",
                       exchange.c_str(), security.c_str(), query.name, digitsOf(from), static_cast<int>(baseCount));
}

WHistoryBarsRequestFactory::WHistoryBarsRequestFactory(WexelHistoryBarsListener* listener, const sockaddr_in& server,
                                                       const std::string& exchange, const std::string& security,
                                                       int interval, PackedTime from, PackedTime to, int count,
                                                       WContext context)
    : listener_(listener),
      server_(server),
      exchange_(exchange),
      security_(security),
      interval_(interval),
      context_(context),
      path_(historyBarsPath(exchange, security, interval, from, to, count)) {}

WHttpRequest* WHistoryBarsRequestFactory::create(WConnectionManager* manager) {
  auto* parser = new WHistoryBarsParser(listener_, exchange_, security_, interval_, context_);
  return new WGetHisroryBarsRequest(manager, parser, server_, path_, listener_, context_, kSourceName, kSourceLine);
}

}  // namespace wexel
