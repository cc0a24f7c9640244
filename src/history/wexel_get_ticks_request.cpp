#include "history/wexel_get_ticks_request.h"

#include "codec/wexel_record_layout.h"
#include "core/wexel_text.h"

namespace wexel {
namespace {

constexpr char kSourceName[] = "src/wexel_get_ticks_request";
constexpr int kSourceLine = 58;  // the line the socket-error log line cites: fixed
constexpr size_t kPathSize = 256;

constexpr int kEndAt = 100;
struct WTicksEnd {};
constexpr WField<WTicksEnd> kEndRecord[] = {
    {WRecordEnd{}},
};

constexpr int kTickAt = 110;
constexpr WField<WTick> kTick[] = {
    {&WTick::time},
    {&WTick::price},
    {&WTick::volume},
    {&WTick::tradeNumber},
    {&WTick::openInterest, WPresence::kOptional},
    {&WTick::action, WPresence::kOptional},
    {WRecordRest{}},
};

}  // namespace

WGetTicksParser::WGetTicksParser(WexelGetTicksListener* listener, const std::string& exchange,
                                 const std::string& security, WContext context)
    : listener_(listener), exchange_(exchange), security_(security), context_(context) {}

int WGetTicksParser::parseRecord(const char* data, int size) {
  if (size <= 0) return 0;
  WNibbleCursor cursor(data, size);
  WTicksEnd end{};
  if (readLayout(*this, cursor, end, kEndRecord, kSourceName, kEndAt).ok()) {
    if (claimOutcome() && listener_) listener_->onTicks(exchange_, security_, ticks_, context_);
    return cursor.bytesSince(2 * size);
  }
  WTick tick{};
  const WLayoutRead read = readLayout(*this, cursor, tick, kTick, kSourceName, kTickAt);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
  ticks_.push_back(tick);
  return cursor.bytesSince(2 * size);
}

int WGetTicksParser::onError(int code, const char* text) {
  if (claimOutcome() && listener_) listener_->onError(context_, text, code);
  return 0;
}

std::string ticksPath(const std::string& exchange, const std::string& security, PackedTime from, int count) {
  if (!isSafeUrlValue(exchange) || !isSafeUrlValue(security)) return std::string();
  return formatBounded(kPathSize, "/kx2/get-trades-zbin.php?exchange=%s&security=%s&from=%lld&count=%d",
                       exchange.c_str(), security.c_str(), static_cast<long long>(from), count);
}

WGetTicksRequestFactory::WGetTicksRequestFactory(WexelGetTicksListener* listener, const sockaddr_in& server,
                                                 const std::string& exchange, const std::string& security,
                                                 PackedTime from, int count, WContext context)
    : listener_(listener),
      server_(server),
      exchange_(exchange),
      security_(security),
      context_(context),
      path_(ticksPath(exchange, security, from, count)) {}

WHttpRequest* WGetTicksRequestFactory::create(WConnectionManager* manager) {
  auto* parser = new WGetTicksParser(listener_, exchange_, security_, context_);
  return new WGetTicksRequest(manager, parser, server_, path_, listener_, context_, kSourceName, kSourceLine);
}

}  // namespace wexel
