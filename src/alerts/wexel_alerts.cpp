#include "alerts/wexel_alerts.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "codec/wexel_record_layout.h"
#include "core/wexel_log.h"
#include "core/wexel_text.h"
#include "wexel/wexel_errors.h"

namespace wexel {

namespace {

constexpr char kSourceName[] = "src/wexel_alerts";
constexpr int kSourceLine = 121;  // the line the socket-error log line cites: fixed
constexpr size_t kUrlSize = 256;
constexpr size_t kAddAlertUrlSize = 2048;

constexpr const char* kFieldWords[] = {"INVALID", "LAST", "BID", "ASK", "VOLUME"};
constexpr const char* kConditionWords[] = {"INVALID", "FALL", "RAISE"};

template <size_t N>
const char* wordAt(const char* const (&words)[N], int index) {
  return index >= 0 && static_cast<size_t>(index) < N ? words[index] : nullptr;
}

// Message times go as the 14 digits of the packed time, in hexadecimal.
unsigned long long timeDigits(PackedTime time) { return static_cast<unsigned long long>(time >> 8); }

// ---- layouts ---------------------------------------------------------------------

constexpr int kAlertAt = 100;
constexpr WField<WAlert> kAlert[] = {
    {&WAlert::text1},   {&WAlert::text2},  {&WAlert::number3}, {&WAlert::time4},   {&WAlert::int5},
    {&WAlert::time6},   {&WAlert::int7},   {&WAlert::int8},    {&WAlert::int9},    {&WAlert::value10},
    {&WAlert::time11},  {&WAlert::value12}, {&WAlert::int13},  {&WAlert::int14},   {&WAlert::text15},
    {&WAlert::text16},  {&WAlert::text17}, {&WAlert::text18},  {WRecordRest{}},
};

struct WNoFields {};
constexpr int kEndAt = 200;
constexpr WField<WNoFields> kEndRecord[] = {{WRecordEnd{}}};

struct WMessageHead {
  int64_t number;
  PackedTime time;
};
constexpr int kMessageHeadAt = 300;

}  // namespace

// ---- URLs ------------------------------------------------------------------------

std::string getAlertsUrl(int64_t alertNo) {
  if (alertNo == 0) return "/kx2/get-alerts-zbin.php?";
  return formatBounded(kUrlSize, "/kx2/get-alerts-zbin.php?alertno=%lld", static_cast<long long>(alertNo));
}

std::string addAlertUrl(const std::string& portfolio, const std::string& exchange, const std::string& security,
                        int64_t alertNo, const WAlertFields& f) {
  const char* field = wordAt(kFieldWords, f.fieldIndex);
  const char* condition = wordAt(kConditionWords, f.conditionIndex);
  if (!field || !condition) return {};
  if (!isSafeUrlValue(portfolio) || !isSafeUrlValue(exchange) || !isSafeUrlValue(security)) return {};
  return formatBounded(kAddAlertUrlSize,
                   "/kx2/add-alert.php?portfolio=%s&exchange=%s&security=%s&alertno=%lld&field=%s&cond=%s"
                   "&cond_value=%f&days=%d&flags=%d&flagkexora=%s&workspace=%s&sound=%s&email=%s&sms=%s",
                   portfolio.c_str(), exchange.c_str(), security.c_str(), static_cast<long long>(alertNo), field,
                   condition, f.conditionValue, f.days, f.flags, "", urlEncode(f.workspace).c_str(),
                   urlEncode(f.sound).c_str(), urlEncode(f.email).c_str(), urlEncode(f.sms).c_str());
}

std::string removeAlertUrl(const std::string& portfolio, int64_t alertNo) {
  if (!isSafeUrlValue(portfolio)) return {};
  return formatBounded(kUrlSize, "/kx2/remove-alert.php?portfolio=%s&alertno=%lld", portfolio.c_str(),
                   static_cast<long long>(alertNo));
}

std::string messagesByNumberUrl(const std::string& channel, int64_t from, int64_t to) {
  if (!isSafeUrlValue(channel)) return {};
  if (to == 0) {
    return formatBounded(kUrlSize, "/kx2/get-messages-zbin.php?channel=%s&from=%lld", channel.c_str(),
                     static_cast<long long>(from));
  }
  return formatBounded(kUrlSize, "/kx2/get-messages-zbin.php?channel=%s&from=%lld&to=%lld", channel.c_str(),
                   static_cast<long long>(from), static_cast<long long>(to));
}

std::string messagesByTimeUrl(const std::string& channel, PackedTime since, PackedTime till) {
  if (!isSafeUrlValue(channel)) return {};
  if (till == 0) {
    return formatBounded(kUrlSize, "/kx2/get-messages-zbin.php?channel=%s&since=%llx", channel.c_str(),
                     timeDigits(since));
  }
  return formatBounded(kUrlSize, "/kx2/get-messages-zbin.php?channel=%s&since=%llx&till=%llx", channel.c_str(),
                   timeDigits(since), timeDigits(till));
}

// ---- add and remove ------------------------------------------------------------------

WAlertActionRequest::WAlertActionRequest(WConnectionManager* manager, const sockaddr_in& server,
                                         WexelAlertResultListener* listener, const std::string& portfolio,
                                         int64_t alertNo, WContext context)
    : WGetRequest<Http>(manager, nullptr, server),
      adapter_(std::make_unique<WActionAlertsListener>(listener, context)) {
  parser_ = new WActionParser(adapter_.get(), portfolio, "", "", alertNo, 0, context);
}

void WAlertActionRequest::onError(int code, const std::string& text) {
  if (code != kErrorClosed) logSocketError(text, code, kSourceName, kSourceLine);
  if (!reply()->claimOutcome()) return;
  const std::string message = code == kErrorClosed ? std::string(kTextClosedBeforeReply) : text;
  adapter_->onError(0, 0, message + addressSuffix(), code);
}

WAlertActionFactory::WAlertActionFactory(std::string url, WexelAlertResultListener* listener,
                                         const std::string& portfolio, int64_t alertNo, WContext context,
                                         const sockaddr_in& server)
    : url_(std::move(url)), listener_(listener), portfolio_(portfolio), alertNo_(alertNo), context_(context),
      server_(server) {}

WHttpRequest* WAlertActionFactory::create(WConnectionManager* manager) {
  auto* request = new WAlertActionRequest(manager, server_, listener_, portfolio_, alertNo_, context_);
  request->setUrl(url_);
  return request;
}

// ---- list alerts -------------------------------------------------------------------

WAlertsParser::WAlertsParser(WexelAlertsListener* listener, WContext context)
    : listener_(listener), context_(context) {}

int WAlertsParser::parseRecord(const char* data, int size) {
  if (size <= 0) return 0;
  WNibbleCursor cursor(data, size);
  WNoFields none{};
  WNibbleCursor probe = cursor;
  WLayoutRead read = readLayout(*this, probe, none, kEndRecord, kSourceName, kEndAt);
  if (read.ok()) {
    // The list is answered once: what follows a first end is read and dropped.
    if (claimOutcome() && listener_) listener_->onAlerts(nullptr, alerts_, context_);
    alerts_.clear();
    return probe.bytesSince(2 * size);
  }
  if (read.nibbles == 0) return needMoreBytes(size);
  WAlert alert{};
  read = readLayout(*this, cursor, alert, kAlert, kSourceName, kAlertAt);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
  alerts_.push_back(alert);
  return cursor.bytesSince(2 * size);
}

int WAlertsParser::onError(int code, const char* text) {
  if (claimOutcome() && listener_) listener_->onError(context_, text, code);
  return 0;
}

// ---- read messages -----------------------------------------------------------------

WGetMessagesParser::WGetMessagesParser(WexelMessagesQueryListener* listener, const std::string& channel,
                                       WContext context)
    : listener_(listener), channel_(channel), context_(context) {}

int WGetMessagesParser::parseRecord(const char* data, int size) {
  if (size <= 0) return 0;
  switch (state_) {
    case 2:
    case 4:
    case 6: return readText(data, size);
    case 3:
    case 5: return readMark(data, size);
    case 7: return readRest(data, size);
    default: return readHeadOrEnd(data, size);
  }
}

// The end nibble alone delivers the messages; else a message begins.
int WGetMessagesParser::readHeadOrEnd(const char* data, int size) {
  WNibbleCursor cursor(data, size);
  const int end = readRecordEnd(cursor);
  if (end > 0) {
    // The messages are answered once: what follows a first end is read and dropped.
    if (claimOutcome() && listener_) listener_->onResult(channel_, messages_, context_);
    messages_.clear();
    state_ = 0;
    return cursor.bytesSince(2 * size);
  }
  if (end == 0) return needMoreBytes(size);
  WChannelMessage message{};
  int read = recordParseError(readInt64(cursor, message.messageNumber), kSourceName, kMessageHeadAt);
  if (read > 0) read = recordParseError(readDateTime(cursor, message.time), kSourceName, kMessageHeadAt + 1);
  if (read > 0) read = recordParseError(readGroupMark(cursor), kSourceName, kMessageHeadAt + 2);
  if (read == 0) return needMoreBytes(size);
  if (read < 0) return kErrorMalformed;
  messages_.push_back(std::move(message));
  state_ = 2;
  return cursor.bytesSince(2 * size);
}

// Raw bytes up to and including a zero byte; without one, all of them, and
// the text goes on in the next step.
int WGetMessagesParser::readText(const char* data, int size) {
  std::string& text = state_ == 2 ? messages_.back().text1 : state_ == 4 ? messages_.back().text2
                                                                          : messages_.back().text3;
  const void* zero = std::memchr(data, 0, static_cast<size_t>(size));
  if (!zero) {
    text.append(data, static_cast<size_t>(size));
    return size;
  }
  const int length = static_cast<int>(static_cast<const char*>(zero) - data);
  text.append(data, static_cast<size_t>(length));
  ++state_;
  return length + 1;
}

int WGetMessagesParser::readMark(const char* data, int size) {
  WNibbleCursor cursor(data, size);
  const int read = recordParseError(readGroupMark(cursor), kSourceName, kMessageHeadAt + 3 + state_);
  if (read == 0) return needMoreBytes(size);
  if (read < 0) return kErrorMalformed;
  ++state_;
  return cursor.bytesSince(2 * size);
}

int WGetMessagesParser::readRest(const char* data, int size) {
  WNibbleCursor cursor(data, size);
  if (skipRecord(cursor) == 0) return needMoreBytes(size);
  state_ = 0;
  return cursor.bytesSince(2 * size);
}

int WGetMessagesParser::onError(int code, const char* text) {
  if (claimOutcome() && listener_) listener_->onError(context_, text, code);
  return 0;
}

// ---- query requests and factories ----------------------------------------------------

template <typename Parser, typename Listener>
WAlertsQueryRequest<Parser, Listener>::WAlertsQueryRequest(WConnectionManager* manager, Parser* parser,
                                                           const sockaddr_in& server, const std::string& url,
                                                           Listener* listener, WContext context)
    : WGetRequest<Http>(manager, parser, server), query_(parser), listener_(listener), context_(context) {
  setUrl(url);
}

// The server closing before the end means no answer will come: reported too.
template <typename Parser, typename Listener>
void WAlertsQueryRequest<Parser, Listener>::onError(int code, const std::string& text) {
  if (code != kErrorClosed) logSocketError(text, code, kSourceName, kSourceLine);
  if (query_->claimOutcome() && listener_) listener_->onError(context_, text + addressSuffix(), code);
}

template class WAlertsQueryRequest<WAlertsParser, WexelAlertsListener>;
template class WAlertsQueryRequest<WGetMessagesParser, WexelMessagesQueryListener>;

WGetAlertsFactory::WGetAlertsFactory(int64_t alertNo, WexelAlertsListener* listener, WContext context,
                                     const sockaddr_in& server)
    : url_(getAlertsUrl(alertNo)), listener_(listener), context_(context), server_(server) {}

WHttpRequest* WGetAlertsFactory::create(WConnectionManager* manager) {
  return new WGetAlertsRequest(manager, new WAlertsParser(listener_, context_), server_, url_, listener_, context_);
}

WGetMessagesFactory::WGetMessagesFactory(std::string url, const std::string& channel,
                                         WexelMessagesQueryListener* listener, WContext context,
                                         const sockaddr_in& server)
    : url_(std::move(url)), channel_(channel), listener_(listener), context_(context), server_(server) {}

WHttpRequest* WGetMessagesFactory::create(WConnectionManager* manager) {
  auto* parser = new WGetMessagesParser(listener_, channel_, context_);
  return new WGetMessagesRequest(manager, parser, server_, url_, listener_, context_);
}

}  // namespace wexel
