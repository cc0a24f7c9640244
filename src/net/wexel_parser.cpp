#include "net/wexel_parser.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "core/wexel_log.h"

namespace wexel {

namespace {

constexpr uint64_t kEmptyNumberBits = 0x7FFFFFFFFFFFFFFFULL;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Offset of the first CR LF CR LF within count bytes, or -1.
int findHeaderEnd(const char* text, int count) {
  for (int i = 0; i + 4 <= count; ++i) {
    if (text[i] == '\r' && text[i + 1] == '\n' && text[i + 2] == '\r' && text[i + 3] == '\n') return i;
  }
  return -1;
}

// Next CR LF at or after `from`, bounded by `end` (which always has one).
const char* findLineEnd(const char* from, const char* end) {
  for (const char* p = from; p + 1 < end; ++p) {
    if (p[0] == '\r' && p[1] == '\n') return p;
  }
  return end;
}

const char* skipBlanks(const char* p, const char* end) {
  while (p < end && isBlank(*p)) ++p;
  return p;
}

const char* skipWord(const char* p, const char* end) {
  while (p < end && !isBlank(*p)) ++p;
  return p;
}

}  // namespace

int64_t leadingDecimal(const char* text, int64_t max, const char** end) {
  int64_t value = 0;
  const char* last = text + std::strlen(text);
  const std::from_chars_result read = std::from_chars(text, last, value);
  if (end) *end = read.ptr;
  if (read.ec != std::errc() || *text < '0' || *text > '9' || value > max) return -1;
  return value;
}

int64_t headerDecimal(const char* value, int64_t max) {
  const char* end = nullptr;
  const int64_t number = leadingDecimal(value, max, &end);
  while (isBlank(*end)) ++end;
  return *end == 0 ? number : -1;
}

WexelParser::WexelParser() {
  static_assert(sizeof(double) == sizeof(kEmptyNumberBits));
  std::memcpy(&emptyNumber_, &kEmptyNumberBits, sizeof emptyNumber_);
}

WexelParser::~WexelParser() = default;

int WexelParser::onHeaderField(const char*, const char*) { return 0; }

int WexelParser::parseBody(const char*, int count) { return count; }

int WexelParser::onError(int code, const char* text) {
  logError("ERROR: %s, code: %d", text, code);
  return code;
}

int WexelParser::onErrorResponse(const char*, int, const char* status, const char* reason) {
  int code = kErrorMalformed;
  if (std::strcmp(status, "401") == 0) code = kErrorNotAuthorized;
  else if (std::strcmp(status, "403") == 0) code = kErrorForbidden;
  logError("Error response: %d, http code: %s, %s", code, status, reason);
  onError(kErrorMalformed, reason);
  return -1;
}

std::string WexelParser::lastErrorText() const {
  if (!errorFile_) return std::string();
  return std::string("Parse error: ") + errorFile_ + ", line " + std::to_string(errorLine_);
}

void WexelParser::resetConnectionState() {
  headersParsed_ = 0;
  keepAliveMax_ = kNoKeepAliveMax;
  closeFlag_ = 0;
  chunkCounter_ = 0;
  unitCounter_ = 0;
}

int WexelParser::onReceived(int n) {
  int total = static_cast<int>(buffered_) + n;
  int r = parseBuffer(total);
  if (r < 0) {
    if (tracking_) tracking_->onChunkError(chunkCounter_ + 1);
    return r;
  }
  if (r > 0) {
    ++chunkCounter_;
    if (tracking_) tracking_->onChunkParsed(chunkCounter_, r);
  } else if (tracking_) {
    tracking_->onChunkIncomplete(chunkCounter_ + 1);
  }
  int remaining = total - r;
  if (r > 0 && remaining > 0) std::memmove(buffer_, buffer_ + r, static_cast<size_t>(remaining));
  buffered_ = remaining;
  return r;
}

int WexelParser::parseBuffer(int total) {
  dumpTraffic(buffer_, static_cast<size_t>(total));
  int consumed = 0;
  if (total == 0) return 0;
  do {
    if (headerParsed_.load() != 1) {
      int h = parseHeader(buffer_ + consumed, total - consumed);
      if (h < 0) return h;
      if (h == 0 && total - consumed >= kBufferSize - 1) {
        // The buffer is full and still no blank line: reading on would read
        // nothing and look like the server's close.
        logError("Bad http response: %s", kTextHeaderTooLong);
        onError(kErrorMalformed, kTextHeaderTooLong);
        return -1;
      }
      if (h == 0) return consumed;
      logTrace("Http header parsed %d bytes", h);
      ++headersParsed_;
      headerParsed_.store(1);
      consumed += h;
    }
    int b = parseBody(buffer_ + consumed, total - consumed);
    if (b < 0) {
      std::string text = errorFile_ ? lastErrorText() : "Some parse error, closing channel force!";
      onError(b, text.c_str());
      if (tracking_) tracking_->onUnitError(unitCounter_ + 1);
      return b;
    }
    if (b == 0) {
      if (tracking_) tracking_->onUnitIncomplete(unitCounter_ + 1);
      return consumed;
    }
    ++unitCounter_;
    if (tracking_) tracking_->onUnitParsed(unitCounter_, b);
    consumed += b;
  } while (consumed < total);
  return consumed;
}

int WexelParser::parseStatusLine(const char* text, int count, const char* lineEnd) {
  const char* versionEnd = skipWord(text, lineEnd);
  const char* code = skipBlanks(versionEnd, lineEnd);
  const char* codeEnd = skipWord(code, lineEnd);
  if (versionEnd == lineEnd || codeEnd == lineEnd) {
    logError("Bad http response %d", kErrorMalformed);
    onError(kErrorMalformed, kTextBadHttpResponse);
    return -1;
  }
  std::string status(code, codeEnd);
  if (status == "200") return 0;
  std::string reason(skipBlanks(codeEnd, lineEnd), lineEnd);
  return onErrorResponse(text, count, status.c_str(), reason.c_str()) < 0 ? -1 : 0;
}

int WexelParser::parseHeader(const char* text, int count) {
  if (count < 4) return 0;
  int blank = findHeaderEnd(text, count);
  if (blank < 0) return 0;
  // Every search below stays within the header: its last line ends at `end`.
  const char* end = text + blank + 2;
  const char* lineEnd = findLineEnd(text, end);
  if (parseStatusLine(text, count, lineEnd) < 0) return -1;
  for (const char* line = lineEnd + 2; line < end; line = lineEnd + 2) {
    lineEnd = findLineEnd(line, end);
    const char* colon = static_cast<const char*>(std::memchr(line, ':', static_cast<size_t>(lineEnd - line)));
    if (!colon) continue;
    onHeaderLine(std::string(line, colon), std::string(skipBlanks(colon + 1, lineEnd), lineEnd));
  }
  return blank + 4;
}

void WexelParser::onHeaderLine(const std::string& name, const std::string& value) {
  if (keepAliveMax_ == kNoKeepAliveMax && name == "Keep-Alive") {
    size_t max = value.find("max");
    size_t equals = max == std::string::npos ? max : value.find('=', max);
    if (equals != std::string::npos) {
      const char* digits = skipBlanks(value.c_str() + equals + 1, value.c_str() + value.size());
      const int64_t max = leadingDecimal(digits, kNoKeepAliveMax);
      if (max >= 0) keepAliveMax_ = static_cast<int32_t>(max);  // a bad number leaves no limit
    }
  }
  if (name == "Connection") {
    std::string lower = value;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower == "close") closeFlag_ = 1;
  }
  onHeaderField(name.c_str(), value.c_str());
}

}  // namespace wexel
