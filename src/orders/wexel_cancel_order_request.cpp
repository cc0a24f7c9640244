#include "orders/wexel_cancel_order_request.h"

#include <cstring>

#include "codec/wexel_record_layout.h"
#include "core/wexel_text.h"

namespace wexel {

namespace {

constexpr char kSourceName[] = "src/wexel_cancel_order_request";
constexpr char kServerCodePage[] = "CP1251";
// A record that has not read from this many bytes on is corrupt: the text
// alone may take 2,048.
constexpr int kOrderErrorIncompleteLimit = 2112;

constexpr int kOrderErrorAt = 100;
constexpr WField<WOrderErrorInfo> kOrderErrorLayout[] = {
    {&WOrderErrorInfo::orderNo},
    {&WOrderErrorInfo::time},
    {&WOrderErrorInfo::text},
    {WRecordRest{}},
};

}  // namespace

WGetCancelOrderDescrParser::WGetCancelOrderDescrParser(WexelOrderErrorListener* listener, WContext context)
    : listener_(listener), context_(context) {}

int WGetCancelOrderDescrParser::onHeaderField(const char* name, const char* value) {
  if (std::strcmp(name, "Content-Type") == 0) charset_ = charsetParameter(value);
  return 0;
}

int WGetCancelOrderDescrParser::parseRecord(const char* data, int size) {
  WNibbleCursor cursor(data, size);
  WOrderErrorInfo info{};
  const WLayoutRead read = readLayout(*this, cursor, info, kOrderErrorLayout, kSourceName, kOrderErrorAt);
  if (!read.ok()) {
    const int needMore = size < kOrderErrorIncompleteLimit ? 0 : kErrorMalformed;
    return rejectRecord(*this, read, kSourceName, needMore);
  }
  if (!charset_.empty() && charset_ != kServerCodePage) {
    const std::string converted = convertCharset(info.text, charset_.c_str(), kServerCodePage);
    const size_t length = std::min(converted.size(), sizeof info.text - 1);
    std::memcpy(info.text, converted.data(), length);
    info.text[length] = '\0';
  }
  // One record answers the query; any later one is read and dropped.
  if (claimOutcome() && listener_) listener_->onOrderError(info, context_);
  return cursor.bytesSince(2 * size);
}

int WGetCancelOrderDescrParser::onError(int code, const char* text) {
  if (claimOutcome() && listener_) listener_->onError(context_, text, code);
  return 0;
}

WGetCancelOrderDescr::WGetCancelOrderDescr(WConnectionManager* manager, WGetCancelOrderDescrParser* parser,
                                           const sockaddr_in& server, WexelOrderErrorListener* listener,
                                           WContext context)
    : WGetRequest<Http>(manager, parser, server), descr_(parser), listener_(listener), context_(context) {}

void WGetCancelOrderDescr::onError(int code, const std::string& text) {
  if (code != kErrorClosed) logSocketError(text, code, kOrderErrorSource.name, kOrderErrorSource.line);
  if (!descr_->claimOutcome() || !listener_) return;
  listener_->onError(context_, (code == kErrorClosed ? std::string(kTextClosedBeforeReply) : text) + addressSuffix(),
                     code);
}

WGetCancelOrderDescrFactory::WGetCancelOrderDescrFactory(int64_t orderNo, WexelOrderErrorListener* listener,
                                                         WContext context, const sockaddr_in& endpoint)
    : orderNo_(orderNo), listener_(listener), context_(context), endpoint_(endpoint) {}

WHttpRequest* WGetCancelOrderDescrFactory::create(WConnectionManager* manager) {
  auto* parser = new WGetCancelOrderDescrParser(listener_, context_);
  auto* request = new WGetCancelOrderDescr(manager, parser, endpoint_, listener_, context_);
  request->setUrl(orderErrorUrl(orderNo_));
  return request;
}

}  // namespace wexel
