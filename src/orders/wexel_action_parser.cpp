#include "orders/wexel_action_parser.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/wexel_text.h"

namespace wexel {

namespace {

constexpr char kServerCodePage[] = "CP1251";

}  // namespace

WActionParser::WActionParser(WexelOrderActionResultListener* listener, const std::string& portfolio,
                             const std::string& exchange, const std::string& security, int64_t orderNo,
                             WCookie cookie, WContext context)
    : listener_(listener),
      portfolio_(portfolio),
      exchange_(exchange),
      security_(security),
      orderNo_(orderNo),
      cookie_(cookie),
      context_(context) {}

// Header names are compared exactly, case included: the server's spelling.
int WActionParser::onHeaderField(const char* name, const char* value) {
  if (std::strcmp(name, "X-Order-NO") == 0) {
    long long number = 0;
    if (std::sscanf(value, "%lld", &number) == 1) orderNo_ = number;
  } else if (std::strcmp(name, "X-Order-NO-EXT") == 0) {
    unsigned number = 0;
    if (std::sscanf(value, "%u", &number) == 1) cookie_ = number;
  } else if (std::strcmp(name, "Content-Type") == 0) {
    const std::string charset = charsetParameter(value);
    if (!charset.empty()) charset_ = charset;
  } else if (std::strcmp(name, "Content-Length") == 0) {
    // A length that is not a number, or one no action reply comes near,
    // is taken as absent: the body then ends with the reply.
    const int64_t length = headerDecimal(value, INT32_MAX);
    contentLength_ = length > 0 ? static_cast<int32_t>(length) : 0;
  }
  return 0;
}

// With a Content-Length the reply's body is exactly that many bytes: the
// reply is reported as soon as its message is complete and the parser takes
// the rest of the body before it reads the next reply's header. Without one,
// everything offered belongs to this reply.
int WActionParser::parseBody(const char* data, int count) {
  if (count <= 0) return 0;
  const int taken = contentLength_ > 0 ? static_cast<int>(std::min<int64_t>(count, contentLength_ - bodyTaken_)) : count;
  body_.append(data, static_cast<size_t>(taken));
  bodyTaken_ += taken;
  if (!replied_) {
    const size_t tagEnd = body_.find('>');
    const size_t messageEnd = tagEnd == std::string::npos ? tagEnd : body_.find('<', tagEnd);
    if (messageEnd != std::string::npos) report(tagEnd, messageEnd);
  }
  const bool bodyDone = contentLength_ > 0 ? bodyTaken_ >= contentLength_ : replied_;
  if (bodyDone) nextReply();
  return taken;
}

void WActionParser::report(size_t tagEnd, size_t messageEnd) {
  const std::string tag = tagEnd >= 1 ? body_.substr(1, tagEnd - 1) : std::string();
  std::string message = body_.substr(tagEnd + 1, messageEnd - tagEnd - 1);
  message.erase(std::remove(message.begin(), message.end(), '\n'), message.end());
  if (!charset_.empty() && charset_ != kServerCodePage) {
    message = convertCharset(message, charset_.c_str(), kServerCodePage);
  }
  replied_ = true;
  answered_ = true;
  // The observer first: once the listener has the reply, a caller may close
  // the channel, which must not count this order as still waiting.
  if (observer_) observer_->onActionReply(orderNo_, cookie_);
  if (listener_) {
    listener_->onActionResult(nullptr, portfolio_, exchange_, security_, orderNo_, message, tag, cookie_, context_);
  }
}

// Ready for the next reply on the same connection, with or without a listener.
void WActionParser::nextReply() {
  clearHeaderParsed();
  body_.clear();
  bodyTaken_ = 0;
  contentLength_ = 0;
  replied_ = false;
}

int WActionParser::onError(int code, const char* text) {
  answered_ = true;
  if (listener_) listener_->onError(cookie_, context_, text, code);
  return 0;
}

int WActionParser::onErrorResponse(const char* text, int count, const char* status, const char* reason) {
  if (std::strcmp(status, "500") == 0) return 0;
  return WexelParser::onErrorResponse(text, count, status, reason);
}

}  // namespace wexel
