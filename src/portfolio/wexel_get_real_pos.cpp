#include "portfolio/wexel_get_real_pos.h"

#include "codec/wexel_record_layout.h"
#include "core/wexel_log.h"
#include "wexel/wexel_errors.h"

namespace wexel {

namespace {

constexpr char kSourceName[] = "src/wexel_get_real_pos";
constexpr int kSourceLine = 57;  // the line the socket-error log line cites: fixed
constexpr char kPath[] = "/kx2/get-portfolio-rp-zbin.php?portfolio=%s";
constexpr int32_t kEndKind = 14;


}  // namespace

WRealPosParser::WRealPosParser(WexelRealPositionsListener* listener, const std::string& portfolio, WContext context)
    : listener_(listener), portfolio_(portfolio), context_(context) {}

// A kind is a record of its own; after kind 14 comes the end record, before it
// the positions.
int WRealPosParser::parseRecord(const char* data, int size) {
  logTrace("RealPos data ready, available %d bytes", size);
  dumpTraffic(data, static_cast<size_t>(size));
  WNibbleCursor cursor(data, size);
  WNibbleCursor probe = cursor;
  int32_t kind = -1;
  WLayoutRead read = readKind(*this, probe, kind, kSourceName);
  if (read.ok()) {
    kind_ = kind;
    return probe.bytesSince(2 * size);
  }
  if (read.nibbles == 0) return needMoreBytes(size);
  if (kind_ == kEndKind) {
    read = readEndRecord(*this, cursor, kSourceName);
    if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
    // Answered once: what follows a first end is read and dropped.
    if (claimOutcome() && listener_) listener_->onResult(context_, portfolio_, positions_);
    kind_ = -1;
    positions_.clear();
    return cursor.bytesSince(2 * size);
  }
  WRealPosition position{};
  read = readRealPositionRecord(*this, cursor, position, kSourceName);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
  positions_.push_back(position);
  return cursor.bytesSince(2 * size);
}

int WRealPosParser::onError(int code, const char* text) {
  if (claimOutcome() && listener_) listener_->onError(context_, text, code);
  return 0;
}

WGetRealPosFactory::WGetRealPosFactory(WexelRealPositionsListener* listener, const sockaddr_in& server,
                                       WContext context, const std::string& portfolio)
    : listener_(listener),
      server_(server),
      context_(context),
      portfolio_(portfolio),
      url_(myPortfolioDataUrl(kPath, portfolio)) {}

WHttpRequest* WGetRealPosFactory::create(WConnectionManager* manager) {
  auto* parser = new WRealPosParser(listener_, portfolio_, context_);
  return new WGetRealPosRequest(manager, parser, server_, url_, listener_, context_, kSourceName, kSourceLine);
}

}  // namespace wexel
