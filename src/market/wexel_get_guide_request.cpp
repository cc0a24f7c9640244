#include "market/wexel_get_guide_request.h"

#include "core/wexel_log.h"
#include "codec/wexel_record_layout.h"

namespace wexel {

namespace {

constexpr char kSourceName[] = "src/wexel_get_guide_request";
constexpr int kSecuritiesSection = 4;
constexpr auto kOptional = WPresence::kOptional;

// ---- layouts ------------------------------------------------------------
// Parse-error locations: a security's field n is 100 + n, a pair's 200 + n,
// a section start's 300 + n.

// Fields 1 to 14 required, the run 15 to 29 optional, then the rest.
constexpr int kSecurityAt = 101;
constexpr WField<WSecurity> kSecurity[] = {
    {&WSecurity::exchangeCode},         // 1
    {&WSecurity::extraText2},           // 2
    {&WSecurity::type},                 // 3
    {&WSecurity::symbol},               // 4
    {&WSecurity::shortName},            // 5
    {&WSecurity::longName},             // 6
    {&WSecurity::extra7},               // 7
    {&WSecurity::decimals},             // 8
    {&WSecurity::lotSize},              // 9
    {&WSecurity::extra10},              // 10
    {&WSecurity::extra11},              // 11
    {&WSecurity::expiry},               // 12
    {&WSecurity::strike},               // 13
    {&WSecurity::pointValue},           // 14
    {&WSecurity::extraText15, kOptional},  // 15
    {&WSecurity::priceStep, kOptional},    // 16
    {&WSecurity::extra17, kOptional},      // 17
    {&WSecurity::extra18, kOptional},      // 18
    {&WSecurity::extraText19, kOptional},  // 19
    {&WSecurity::extra20, kOptional},      // 20
    {&WSecurity::extra21, kOptional},      // 21
    {&WSecurity::extra22, kOptional},      // 22
    {&WSecurity::extra23, kOptional},      // 23
    {&WSecurity::extra24, kOptional},      // 24
    {&WSecurity::extra25, kOptional},      // 25
    {&WSecurity::extra26, kOptional},      // 26
    {&WSecurity::extra27, kOptional},      // 27
    {&WSecurity::extra28, kOptional},      // 28
    {&WSecurity::extra29, kOptional},      // 29
    {WRecordRest{}},
};

constexpr int kPairAt = 201;
constexpr WField<WGuidePair> kPair[] = {
    {&WGuidePair::first},
    {&WGuidePair::second},
    {WRecordRest{}},
};

struct WSectionStart {
  int32_t number;
};

constexpr int kSectionStartAt = 301;
constexpr WField<WSectionStart> kSectionStart[] = {
    {WSmallInto<WSectionStart>{&WSectionStart::number}},
    {WRecordEnd{}},
};

int consumedBytes(const WNibbleCursor& cursor, int size) { return cursor.bytesSince(2 * size); }

}  // namespace

// ---- parser --------------------------------------------------------------

WGuideParser::WGuideParser(WexelReferenceSecuritiesListener* listener) : listener_(listener) {}

int WGuideParser::parseRecord(const char* data, int size) {
  dumpTraffic(data, static_cast<size_t>(size));
  WNibbleCursor cursor(data, size);
  // A section end is accepted in any section, so it is tried first.
  if (readRecordEnd(cursor) > 0) {
    if (section_ == kSecuritiesSection) deliver();
    section_ = 0;
    return consumedBytes(cursor, size);
  }
  switch (section_) {
    case kSecuritiesSection:
      return readSecurity(cursor, size);
    case 1:
    case 2:
    case 3:
      return readPair(cursor, size);
    default:
      return readSectionStart(cursor, size);
  }
}

int WGuideParser::readSecurity(WNibbleCursor& cursor, int size) {
  WSecurity security{};
  const WLayoutRead read = readLayout(*this, cursor, security, kSecurity, kSourceName, kSecurityAt);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
  securities_.push_back(security);
  return consumedBytes(cursor, size);
}

int WGuideParser::readPair(WNibbleCursor& cursor, int size) {
  WGuidePair pair{};
  const WLayoutRead read = readLayout(*this, cursor, pair, kPair, kSourceName, kPairAt);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
  pairs_[section_ - 1].push_back(pair);
  return consumedBytes(cursor, size);
}

int WGuideParser::readSectionStart(WNibbleCursor& cursor, int size) {
  WSectionStart start{};
  const WLayoutRead read = readLayout(*this, cursor, start, kSectionStart, kSourceName, kSectionStartAt);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
  section_ = start.number;
  return consumedBytes(cursor, size);
}

// The vectors stay as they are: the listener copies what it keeps during the call.
void WGuideParser::deliver() {
  if (!claimOutcome() || !listener_) return;
  listener_->onSecurities(securities_, pairs_[0], pairs_[1], pairs_[2]);
}

int WGuideParser::onError(int code, const char* text) {
  if (!claimOutcome()) {
    // The listener already has its outcome; keep the late failure in the log.
    WLZ77Parser::onError(code, text);
    return 0;
  }
  if (listener_) listener_->onError(text ? text : "", code);
  return 0;
}

// ---- request -------------------------------------------------------------

WGetGuideRequest::WGetGuideRequest(WConnectionManager* manager, WGuideParser* parser, const sockaddr_in& server,
                                   WexelReferenceSecuritiesListener* listener)
    : WGetRequest<Http>(manager, parser, server), guide_(parser), listener_(listener) {
  setUrl(kPath);
}

void WGetGuideRequest::onError(int code, const std::string& text) {
  if (code != 0) {
    logError("Channel 0x%llX, sockErr '%s': %d, file: %s, line %d",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)), text.c_str(), code, kSourceName,
             __LINE__);
  }
  // After the guide (or a parse error) the closing connection is no news.
  if (guide_ && !guide_->claimOutcome()) return;
  if (listener_) listener_->onError(text + " (" + serverHost() + ":" + std::to_string(serverPort()) + ")", code);
}

// ---- factory -------------------------------------------------------------

WGetGuideFactory::WGetGuideFactory(WexelReferenceSecuritiesListener* listener, const sockaddr_in& server)
    : listener_(listener), server_(server) {}

WHttpRequest* WGetGuideFactory::create(WConnectionManager* manager) {
  auto* parser = new WGuideParser(listener_);
  return new WGetGuideRequest(manager, parser, server_, listener_);
}

}  // namespace wexel
