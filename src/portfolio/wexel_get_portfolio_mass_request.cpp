#include "portfolio/wexel_get_portfolio_mass_request.h"

#include "codec/wexel_record_layout.h"
#include "core/wexel_log.h"
#include "core/wexel_text.h"
#include "portfolio/wexel_get_portfolio.h"
#include "portfolio/wexel_portfolio_records.h"
#include "wexel/wexel_errors.h"

namespace wexel {

namespace {

constexpr char kSourceName[] = "src/wexel_get_portfolio_mass_request";
constexpr int kSourceLine = 93;  // the line the socket-error log line cites: fixed
constexpr size_t kBatch = 10000;

enum MassKind : int32_t { kOrders = 1, kTrades = 2, kClosedPositions = 3, kRealPositions = 4 };

struct WMassName {
  char name[34];
};
constexpr int kNameAt = 1500;
constexpr WField<WMassName> kName[] = {{&WMassName::name}};


}  // namespace

WGetPortfolioMassRequestParser::WGetPortfolioMassRequestParser(WexelPortfolioMassListener* listener,
                                                               WContext context)
    : listener_(listener), context_(context) {}

// The name and the kind that open a list are kept only once the whole record
// has read: an incomplete one is offered again from its start.
int WGetPortfolioMassRequestParser::parseRecord(const char* data, int size) {
  logTrace("PortfolioMass data ready, available %d bytes", size);
  dumpTraffic(data, static_cast<size_t>(size));
  WNibbleCursor cursor(data, size);
  std::string portfolio = currentPortfolio_;
  int32_t kind = currentKind_;
  if (portfolio.empty()) {
    WMassName name{};
    const WLayoutRead read = readLayout(*this, cursor, name, kName, kSourceName, kNameAt);
    if (read.nibbles == 0) return needMoreBytes(size);
    if (read.ok()) portfolio = name.name;
  }
  WLayoutRead read = readKind(*this, cursor, kind, kSourceName);
  if (read.nibbles == 0) return needMoreBytes(size);
  if (kind < kOrders || kind > kRealPositions) {
    if (skipRecord(cursor) == 0) return needMoreBytes(size);
  } else {
    WNibbleCursor probe = cursor;
    read = readEndRecord(*this, probe, kSourceName);
    if (read.ok()) {
      cursor = probe;
      endList(kind, portfolio);
      portfolio.clear();
    } else if (read.nibbles == 0) {
      return needMoreBytes(size);
    } else {
      read = readEntry(kind, cursor);
      if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
      if (kind != kRealPositions) deliver(kind, portfolio);
    }
  }
  currentPortfolio_ = portfolio;
  currentKind_ = kind;
  return cursor.bytesSince(2 * size);
}

WLayoutRead WGetPortfolioMassRequestParser::readEntry(int32_t kind, WNibbleCursor& cursor) {
  auto append = [&](auto& list, auto reader) {
    typename std::remove_reference_t<decltype(list)>::value_type entry{};
    const WLayoutRead read = reader(entry);
    if (read.ok()) list.push_back(entry);
    return read;
  };
  switch (kind) {
    case kOrders:
      return append(orders_, [&](WMyOrder& o) { return readOrderRecord(*this, cursor, o, WPortfolioForm::kMass, kSourceName); });
    case kTrades:
      return append(trades_, [&](WMyTrade& t) { return readTradeRecord(*this, cursor, t, WPortfolioForm::kMass, kSourceName); });
    case kClosedPositions:
      return append(closedPositions_, [&](WMyClosePos& c) { return readClosePosRecord(*this, cursor, c, kSourceName); });
    default: {
      const WLayoutRead read =
          append(realPositions_, [&](WRealPosition& p) { return readRealPositionRecord(*this, cursor, p, kSourceName); });
      if (realPositions_.size() > kBatch) realPositions_.clear();  // read and dropped
      return read;
    }
  }
}

// A list past 10,000 entries is handed over on the way.
void WGetPortfolioMassRequestParser::deliver(int32_t kind, const std::string& portfolio) {
  const size_t held = kind == kOrders ? orders_.size() : kind == kTrades ? trades_.size() : closedPositions_.size();
  if (held <= kBatch || !listener_) return;
  if (kind == kOrders) listener_->onMassOrders(portfolio, orders_, context_);
  if (kind == kTrades) listener_->onMassTrades(portfolio, trades_, context_);
  if (kind == kClosedPositions) listener_->onMassClosePositions(portfolio, closedPositions_, context_);
  orders_.clear();
  trades_.clear();
  closedPositions_.clear();
}

void WGetPortfolioMassRequestParser::endList(int32_t kind, const std::string& portfolio) {
  ++listsEnded_;
  if (listener_ && kind == kOrders && !orders_.empty()) listener_->onMassOrders(portfolio, orders_, context_);
  if (listener_ && kind == kTrades && !trades_.empty()) listener_->onMassTrades(portfolio, trades_, context_);
  if (listener_ && kind == kClosedPositions && !closedPositions_.empty()) {
    listener_->onMassClosePositions(portfolio, closedPositions_, context_);
  }
  orders_.clear();
  trades_.clear();
  closedPositions_.clear();
  realPositions_.clear();
}

bool WGetPortfolioMassRequestParser::atRest() const {
  return listsEnded_ > 0 && currentPortfolio_.empty() && orders_.empty() && trades_.empty() &&
         closedPositions_.empty() && realPositions_.empty();
}

bool WGetPortfolioMassRequestParser::claimOutcome() { return !atRest() && !reported_.exchange(true); }

int WGetPortfolioMassRequestParser::onError(int code, const char* text) {
  if (!reported_.exchange(true) && listener_) listener_->onError(text, code, context_);
  return 0;
}

WGetPortfolioMassRequest::WGetPortfolioMassRequest(WConnectionManager* manager, WGetPortfolioMassRequestParser* parser,
                                                   const sockaddr_in& server, const std::string& url,
                                                   WexelPortfolioMassListener* listener, WContext context)
    : WGetRequest<Http>(manager, parser, server), mass_(parser), listener_(listener), context_(context) {
  setUrl(url);
}

// A reply that stops in the middle of a list, or before any, is reported.
void WGetPortfolioMassRequest::onError(int code, const std::string& text) {
  if (code != kErrorClosed) logSocketError(text, code, kSourceName, kSourceLine);
  if (mass_->claimOutcome() && listener_) listener_->onError(text + addressSuffix(), code, context_);
}

std::string portfolioMassUrl(const std::vector<std::string>& portfolios, int mode) {
  std::string url = "/kx2/get-portfolio-all-zbin.php?o_mode=" + std::to_string(mode);
  for (const std::string& portfolio : portfolios) {
    if (!isSafeUrlValue(portfolio)) return std::string();
    url += "&portfolio[]=" + portfolio;
  }
  return url;
}

WPortfolioMassRequestFactory::WPortfolioMassRequestFactory(WexelPortfolioMassListener* listener,
                                                           const sockaddr_in& server,
                                                           const std::vector<std::string>& portfolios, int mode,
                                                           WContext context)
    : listener_(listener), server_(server), context_(context), url_(portfolioMassUrl(portfolios, mode)) {}

WHttpRequest* WPortfolioMassRequestFactory::create(WConnectionManager* manager) {
  auto* parser = new WGetPortfolioMassRequestParser(listener_, context_);
  return new WGetPortfolioMassRequest(manager, parser, server_, url_, listener_, context_);
}

}  // namespace wexel
