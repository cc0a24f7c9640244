#include "market/wexel_http_logon.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/wexel_log.h"
#include "core/wexel_statistics.h"
#include "core/wexel_text.h"
#include "instance/wexel_winstance.h"

namespace wexel {

namespace {

// Where a logon channel failure is reported from, as the log line names it.
constexpr char kSourceName[] = "src/wexel_http_logon";
constexpr int kSourceLine = 66;  // the line the socket-error log line cites: fixed, whatever this file's layout

constexpr size_t kInitialListCapacity = 10;
constexpr size_t kNameWidth = sizeof(WPortfolioEntry::name1);

struct TagLine {
  const char* tag;
  WLogonParser::Section section;
};

// A line selects a section only when it equals the tag as a whole.
constexpr TagLine kTagLines[] = {
    {"<cookie>", WLogonParser::kCookie},       {"<caps>", WLogonParser::kCaps},
    {"<update>", WLogonParser::kUpdate},       {"<portfolios>", WLogonParser::kPortfolios},
    {"<exchanges>", WLogonParser::kExchanges}, {"<news>", WLogonParser::kNews},
    {"<ProgUrl>", WLogonParser::kProgUrl},     {"<ProgType>", WLogonParser::kProgType},
    {"<version>", WLogonParser::kVersion},     {"<message>", WLogonParser::kMessage},
};

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// C atoi as the C library computes it, without its undefined overflow.
int atoiRule(const std::string& text) { return static_cast<int>(std::strtol(text.c_str(), nullptr, 10)); }

// A text field receives at most its width; a text of exactly that width has
// no terminating zero inside the field (the entry was zero-filled).
void copyField(char* field, size_t width, const std::string& text) {
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
    fields.push_back(line.substr(start, tab - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

}  // namespace

// ---- parser ----------------------------------------------------------------

// Indexed by section number; section 0 ignores its lines.
const WLogonParser::LineRule WLogonParser::kRules[] = {
    nullptr,
    [](WLogonParser& p, const std::string& line) { p.setSession(line); },
    [](WLogonParser& p, const std::string& line) { p.setCaps(line); },
    [](WLogonParser& p, const std::string& line) { p.setUpdate(line); },
    [](WLogonParser& p, const std::string& line) { p.addPortfolio(line); },
    [](WLogonParser& p, const std::string& line) { p.addExchange(line); },
    [](WLogonParser& p, const std::string& line) { p.addNews(line); },
    [](WLogonParser& p, const std::string& line) { p.setEndpointUrl(line); },
    [](WLogonParser& p, const std::string& line) { p.addEndpoint(line); },
    [](WLogonParser& p, const std::string& line) { p.setVersion(line); },
    [](WLogonParser& p, const std::string& line) { p.setMessage(line); },
};

WLogonParser::WLogonParser(WConnectionManager* manager, WexelLogonListener* listener)
    : manager_(manager), listener_(listener) {
  portfolios_.reserve(kInitialListCapacity);
  exchanges_.reserve(kInitialListCapacity);
  news_.reserve(kInitialListCapacity);
  endpoints_.reserve(kInitialListCapacity);
}

WInstance* WLogonParser::instance() const {
  return manager_ ? dynamic_cast<WInstance*>(manager_->instance()) : nullptr;
}

int WLogonParser::onHeaderField(const char* name, const char* value) {
  if (::strcasecmp(name, "Content-Length") == 0) contentLength_ = headerDecimal(value, INT64_MAX);
  return 0;
}

int WLogonParser::onErrorResponse(const char* text, int count, const char* status, const char* reason) {
  if (std::strcmp(status, "401") == 0) return 0;
  // Logs, then reaches onError (-1001, reason), which fails the logon.
  return WexelParser::onErrorResponse(text, count, status, reason);
}

int WLogonParser::onError(int code, const char* text) {
  WexelParser::onError(code, text);
  if (claimDecision()) {
    tellError(text, code);
    reportResult(false, std::string(), {});
  }
  return 0;
}

int WLogonParser::parseBody(const char* data, int count) {
  if (isDecided()) return count;  // what follows a decided reply has no use
  int64_t take = count;
  if (contentLength_ >= 0) take = std::min<int64_t>(count, contentLength_ - bodyBytes_);
  scanLines(data, static_cast<int>(take));
  bodyBytes_ += take;
  if (contentLength_ >= 0 && bodyBytes_ >= contentLength_) endOfReply();
  return count;
}

// A run of CR and LF is one line end, also when a read splits it; the bytes
// after the last line end wait in partialLine_ for the next read or the end.
void WLogonParser::scanLines(const char* data, int count) {
  const char* end = data + count;
  for (const char* p = data; p < end;) {
    const char* stop = std::find_if(p, end, isLineEnd);
    if (stop != p) {
      partialLine_.append(p, stop);
      inLineEnd_ = false;
    }
    if (stop == end) break;
    if (!inLineEnd_) {
      sawLineEnd_ = true;
      inLineEnd_ = true;
      applyLine(partialLine_);
      partialLine_.clear();
    }
    p = stop + 1;
  }
}

void WLogonParser::applyLine(const std::string& line) {
  for (const TagLine& t : kTagLines) {
    if (line == t.tag) {
      section_ = t.section;
      return;
    }
  }
  if (line.compare(0, 2, "</") == 0) {
    section_ = kNoSection;
    return;
  }
  if (section_ != kNoSection) kRules[section_](*this, line);
}

void WLogonParser::endOfReply() {
  if (claimDecision()) decide();
}

void WLogonParser::decide() {
  if (!sawLineEnd_) {
    refuseOnePiece(partialLine_);
    return;
  }
  if (!partialLine_.empty()) applyLine(partialLine_);
  partialLine_.clear();
  if (sessionText_.empty())
    refuse();
  else
    succeed();
}

// A body without any line end is a refusal in one piece: the text after the
// first ">" up to the next "<" is the server's message.
void WLogonParser::refuseOnePiece(const std::string& body) {
  size_t open = body.find('>');
  if (open == std::string::npos) {
    tellError(kTextBadServerResponse, kErrorMalformed);
  } else {
    size_t close = body.find('<', open + 1);
    messageText_ = close == std::string::npos ? kTextBadServerResponse : body.substr(open + 1, close - open - 1);
    tellError(messageText_, kErrorNotAuthorized);
  }
  reportResult(false, sessionText_, endpoints_);
}

// The instance learns first, so it is logged on (and knows its endpoints)
// when the listener hears of the portfolios.
void WLogonParser::succeed() {
  statsSetServerText(versionText_.c_str());
  reportResult(true, sessionText_, endpoints_);
  if (!listener_) return;
  listener_->onLogon(portfolios_, news_, exchanges_);
  listener_->onUpdateInfo(updateName_, updateVersion_, updateUrl_);
}

void WLogonParser::refuse() {
  if (messageText_.empty())
    tellError(kTextBadServerResponse, kErrorMalformed);
  else
    tellError(messageText_, kErrorNotAuthorized);
  reportResult(false, sessionText_, endpoints_);
}

void WLogonParser::tellError(const std::string& text, int code) {
  if (listener_) listener_->onError(text, code);
}

void WLogonParser::reportResult(bool ok, const std::string& sessionText, const std::vector<WEndpoint>& endpoints) {
  WInstance* owner = instance();
  if (!owner) return;
  // Copies: the instance may end this request's life before the call returns.
  std::string session = sessionText;
  std::vector<WEndpoint> list = endpoints;
  owner->onLogonResult(ok, session, list);
}

// ---- section rules ---------------------------------------------------------

void WLogonParser::setSession(const std::string& line) {
  if (!line.empty()) sessionText_ = line;
}

void WLogonParser::setCaps(const std::string& line) { capsText_ = line; }

// name TAB version TAB url [TAB ...]; fewer than two TABs: ignored.
void WLogonParser::setUpdate(const std::string& line) {
  size_t first = line.find('\t');
  size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
  if (second == std::string::npos) return;
  size_t third = line.find('\t', second + 1);
  updateName_ = line.substr(0, first);
  updateVersion_ = packUpdateVersion(line.substr(first + 1, second - first - 1));
  updateUrl_ = line.substr(second + 1, third == std::string::npos ? third : third - second - 1);
}

int64_t WLogonParser::packUpdateVersion(const std::string& version) {
  uint64_t packed = 0;  // unsigned: a long digit run wraps instead of overflowing
  for (char c : version) {
    if (c < '0' || c > '9') break;
    packed = packed * 16 + static_cast<uint64_t>(c - '0');
  }
  return static_cast<int64_t>(packed * 256);
}

void WLogonParser::addPortfolio(const std::string& line) {
  WPortfolioEntry entry;
  if (parsePortfolioLine(line, &entry)) portfolios_.push_back(entry);
}

bool WLogonParser::parsePortfolioLine(const std::string& line, WPortfolioEntry* entry) {
  if (line.find('\t') == std::string::npos) return false;
  std::vector<std::string> fields = splitTabs(line);
  *entry = WPortfolioEntry{};
  copyField(entry->exchange, sizeof entry->exchange, fields[0]);
  for (char* name : {entry->name1, entry->name2, entry->name3}) copyField(name, kNameWidth, fields[1]);
  if (fields.size() > 2) entry->status = static_cast<unsigned char>(atoiRule(fields[2]));
  if (fields.size() > 3) copyField(entry->moneyAccount, sizeof entry->moneyAccount, fields[3]);
  return true;
}

void WLogonParser::addExchange(const std::string& line) {
  exchanges_.push_back(line.substr(0, line.find_first_of("\t ")));
}

void WLogonParser::addNews(const std::string& line) { news_.push_back(line.substr(0, line.find_first_of("\t "))); }

void WLogonParser::setEndpointUrl(const std::string& line) { currentEndpoint_.url = line; }

// The type closes an endpoint: a type before its url keeps the previous url.
void WLogonParser::addEndpoint(const std::string& line) {
  currentEndpoint_.type = line;
  endpoints_.push_back(currentEndpoint_);
}

void WLogonParser::setVersion(const std::string& line) { versionText_ = line; }

void WLogonParser::setMessage(const std::string& line) { messageText_ = line; }

// ---- request -----------------------------------------------------------------

template <typename Tag>
WHttpLogon<Tag>::WHttpLogon(WConnectionManager* manager, WLogonParser* parser, const sockaddr_in& server,
                            const std::string& login, const std::string& password, WexelLogonListener* listener)
    : Tag::Channel(manager, parser, server),
      login_(login),
      password_(password),
      listener_(listener),
      logonParser_(parser) {}

template <typename Tag>
bool WHttpLogon<Tag>::prepareRequest() {
  std::string login = urlEncode(login_);
  std::string password = urlEncode(password_);
  // The length counts "pass=" and the password, not the CR LF after them.
  return this->format(
      "POST /kx2/login.php?user=%s HTTP/1.0\r\nUser-Agent: %s\r\nHost: %s:%d\r\n"
      "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: %d\r\n\r\npass=%s\r\n",
      login.c_str(), userAgent().c_str(), this->serverHost().c_str(), this->serverPort(),
      static_cast<int>(password.size() + 5), password.c_str());
}

template <typename Tag>
void WHttpLogon<Tag>::onError(int code, const std::string& text) {
  // The close ends an HTTP/1.0 reply: once its header is in, a reply without
  // a Content-Length is decided from what arrived. A close before any reply,
  // or before the bytes a Content-Length announced, is a failure: a cut reply
  // would log on with whatever sections happened to arrive.
  if (code == 0 && logonParser_ && logonParser_->isHeaderParsed() && !logonParser_->isBodyShort()) {
    logonParser_->endOfReply();
    return;
  }
  if (code != 0) {
    logError("Channel 0x%llX, sockErr '%s': %d, file: %s, line %d",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)), text.c_str(), code, kSourceName,
             kSourceLine);
  }
  if (logonParser_ && !logonParser_->claimDecision()) return;  // decided already: nothing more to tell
  if (listener_)
    listener_->onError(text + " (" + this->serverHost() + ":" + std::to_string(this->serverPort()) + ")", code);
  if (logonParser_) logonParser_->reportResult(false, std::string(), {});
}

// ---- factory -------------------------------------------------------------------

template <typename Tag>
WHttpRequest* WHttpLogonRequestFactory<Tag>::create(WConnectionManager* manager) {
  try {
    auto* parser = new WLogonParser(manager, listener_);
    try {
      return new WHttpLogon<Tag>(manager, parser, server_, login_, password_, listener_);
    } catch (const std::bad_alloc&) {
      delete parser;
      throw;
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

template class WHttpLogon<Http>;
template class WHttpLogon<Https>;
template class WHttpLogonRequestFactory<Http>;
template class WHttpLogonRequestFactory<Https>;

}  // namespace wexel
