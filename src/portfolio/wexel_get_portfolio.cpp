#include "portfolio/wexel_get_portfolio.h"

#include <cstdio>

#include "codec/wexel_record_layout.h"
#include "core/wexel_log.h"
#include "core/wexel_text.h"
#include "wexel/wexel_errors.h"

namespace wexel {

namespace {

constexpr char kSourceName[] = "src/wexel_get_portfolio";
// The lines the socket-error log lines cite: fixed numbers, not this file's lines.
constexpr int kStreamSourceLine = 76;
constexpr int kQuerySourceLine = 212;
constexpr char kStreamPath[] = "/kx2/portfolio-zbin";
constexpr char kTimedStreamPath[] = "/kx2/portfolio-tm-zbin";
constexpr size_t kQueryUrlSize = 256;
constexpr int32_t kEndKind = 14;

int consumedBytes(const WNibbleCursor& cursor, int size) { return cursor.bytesSince(2 * size); }



// What each query of one portfolio reads: its data kind, its reader, whether
// it hands long lists over in batches, and its path.
template <typename Record>
struct WQueryTraits;

template <>
struct WQueryTraits<WMyOrder> {
  static constexpr int32_t kKind = 3;
  static constexpr size_t kBatch = 10000;
  static constexpr const char* kPath = "/kx2/get-portfolio-mo-zbin.php?portfolio=%s";
  static WLayoutRead read(WLZ77Parser& parser, WNibbleCursor& cursor, WMyOrder& order, const char* source) {
    return readOrderRecord(parser, cursor, order, WPortfolioForm::kQuery, source);
  }
};

template <>
struct WQueryTraits<WMyTrade> {
  static constexpr int32_t kKind = 2;
  static constexpr size_t kBatch = 0;
  static constexpr const char* kPath = "/kx2/get-portfolio-mt-zbin.php?portfolio=%s";
  static WLayoutRead read(WLZ77Parser& parser, WNibbleCursor& cursor, WMyTrade& trade, const char* source) {
    return readTradeRecord(parser, cursor, trade, WPortfolioForm::kQuery, source);
  }
};

template <>
struct WQueryTraits<WMyClosePos> {
  static constexpr int32_t kKind = 1;
  static constexpr size_t kBatch = 0;
  static constexpr const char* kPath = "/kx2/get-portfolio-cp-zbin.php?portfolio=%s";
  static WLayoutRead read(WLZ77Parser& parser, WNibbleCursor& cursor, WMyClosePos& closed, const char* source) {
    return readClosePosRecord(parser, cursor, closed, source);
  }
};

}  // namespace

// ---- the stream ------------------------------------------------------------------

WPortfolioParser::WPortfolioParser(WexelPortfolioListener* listener, const std::string& portfolio, int mode)
    : listener_(listener), portfolio_(portfolio), mode_(mode) {}

int WPortfolioParser::parseRecord(const char* data, int size) {
  WNibbleCursor cursor(data, size);
  int32_t type = -1;
  const WLayoutRead read = readKind(*this, cursor, type, kSourceName);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
  return deliver(type, cursor, size);
}

// Type 0 is first this connection's keep-alive reply (nothing to deliver),
// else the money record.
int WPortfolioParser::readMoneyOrKeepAlive(WNibbleCursor& cursor, int size) {
  WNibbleCursor probe = cursor;
  const WLayoutRead reply = readKeepAliveReply(*this, probe, kSourceName);
  if (reply.ok()) return consumedBytes(probe, size);
  if (reply.nibbles == 0) return needMoreBytes(size);
  WPortfolioMoney money{};
  const WLayoutRead read = readMoneyRecord(*this, cursor, money, mode_ == 1, kSourceName);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
  if (listener_) listener_->onMoney(portfolio_, money);
  return consumedBytes(cursor, size);
}

int WPortfolioParser::deliver(int32_t type, WNibbleCursor& cursor, int size) {
  // Reads one record of the type and, when it reads, hands it to `call`.
  auto take = [&](auto record, auto reader, auto call) {
    const WLayoutRead read = reader(record);
    if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
    if (listener_) call(record);
    return consumedBytes(cursor, size);
  };
  const char* source = kSourceName;
  const bool timed = mode_ == 1;
  switch (type) {
    case 0: return readMoneyOrKeepAlive(cursor, size);
    case 1:
      return take(WPortfolioOrder{}, [&](WPortfolioOrder& o) { return readOrderRecord(*this, cursor, o, WPortfolioForm::kStream, source); },
                  [&](const WPortfolioOrder& o) { listener_->onOrder(portfolio_, o); });
    case 2:
      return take(WPortfolioTrade{}, [&](WPortfolioTrade& t) { return readTradeRecord(*this, cursor, t, WPortfolioForm::kStream, source); },
                  [&](const WPortfolioTrade& t) { listener_->onTrade(portfolio_, t); });
    case 3:
      return take(WPortfolioPosition{}, [&](WPortfolioPosition& p) { return readPositionRecord(*this, cursor, p, timed, source); },
                  [&](const WPortfolioPosition& p) { listener_->onPosition(portfolio_, p); });
    case 4:
      return take(WMyClosePos{}, [&](WMyClosePos& c) { return readClosePosRecord(*this, cursor, c, source); },
                  [&](const WMyClosePos& c) { listener_->onRecord4(portfolio_, c); });
    case 5:
      return take(WPortfolioOrder{}, [&](WPortfolioOrder& o) { return readOrderRecordType5(*this, cursor, o, source); },
                  [&](const WPortfolioOrder& o) { listener_->onOrder(portfolio_, o); });
    case 6:
      return take(WPortfolioRecord6{}, [&](WPortfolioRecord6& r) { return readRecord6(*this, cursor, r, source); },
                  [&](const WPortfolioRecord6& r) { listener_->onRecord6(portfolio_, r); });
    case 7:
      return take(0, [&](int&) { return skipRecord7(*this, cursor, source); }, [](int) {});
    case 8:
      return take(WPortfolioRecord8{}, [&](WPortfolioRecord8& r) { return readRecord8(*this, cursor, r, source); },
                  [&](const WPortfolioRecord8& r) { listener_->onRecord8(portfolio_, r); });
    case 9:
      return take(WPortfolioRecord9{}, [&](WPortfolioRecord9& r) { return readRecord9(*this, cursor, r, source); },
                  [&](const WPortfolioRecord9& r) { listener_->onRecord9(portfolio_, r); });
    default:
      return recordParseError(kErrorMalformed, kSourceName, 1);  // a type this client does not know
  }
}

int WPortfolioParser::onError(int code, const char* text) {
  if (claimOutcome() && listener_) listener_->onError(portfolio_, text, code);
  return 0;
}

WGetPortfolioRequest::WGetPortfolioRequest(WConnectionManager* manager, WPortfolioParser* parser,
                                           const sockaddr_in& server, const std::string& portfolio, int mode,
                                           WexelPortfolioListener* listener)
    : WGetRequest<Http>(manager, parser, server),
      stream_(parser),
      portfolio_(portfolio),
      mode_(mode),
      listener_(listener) {}

bool WGetPortfolioRequest::prepareRequest() {
  const std::string session = manager_ ? manager_->sessionParameters() : std::string();
  return format("GET %s?portfolio=%s&%s HTTP/1.0\r\nUser-Agent: %s\r\nHost: %s:%d\r\n\r\n",
                mode_ == 1 ? kTimedStreamPath : kStreamPath, portfolio_.c_str(), session.c_str(),
                userAgent().c_str(), serverHost().c_str(), serverPort());
}

void WGetPortfolioRequest::onError(int code, const std::string& text) {
  if (code != kErrorClosed) logSocketError(text, code, kSourceName, kStreamSourceLine);
  if (stream_->claimOutcome() && listener_) listener_->onError(portfolio_, text + addressSuffix(), code);
}

WGetPortfolioFactory::WGetPortfolioFactory(const std::string& portfolio, int mode, WexelPortfolioListener* listener,
                                           const sockaddr_in& server)
    : portfolio_(portfolio), mode_(mode), listener_(listener), server_(server) {}

WHttpRequest* WGetPortfolioFactory::create(WConnectionManager* manager) {
  auto* parser = new WPortfolioParser(listener_, portfolio_, mode_);
  return new WGetPortfolioRequest(manager, parser, server_, portfolio_, mode_, listener_);
}

// ---- the queries of one portfolio ---------------------------------------------------

template <typename Record, typename Listener>
WMyPortfolioDataParser<Record, Listener>::WMyPortfolioDataParser(Listener* listener, const std::string& portfolio,
                                                                 WContext context, int32_t dataKind, Reader reader,
                                                                 size_t batch)
    : listener_(listener), portfolio_(portfolio), context_(context), dataKind_(dataKind), reader_(reader),
      batch_(batch) {}

template <typename Record, typename Listener>
void WMyPortfolioDataParser<Record, Listener>::hand() {
  if (listener_) listener_->onResult(portfolio_, records_, context_);
  records_.clear();
}

template <typename Record, typename Listener>
int WMyPortfolioDataParser<Record, Listener>::parseRecord(const char* data, int size) {
  WNibbleCursor cursor(data, size);
  int32_t kind = -1;
  WLayoutRead read = readKind(*this, cursor, kind, kSourceName);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
  if (kind == kEndKind) {
    read = readEndRecord(*this, cursor, kSourceName);
    if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
    // The whole list, or what remains of it after the batches (possibly
    // nothing), once: what follows a first end is read and dropped.
    if (claimOutcome()) hand();
    records_.clear();
    return consumedBytes(cursor, size);
  }
  if (kind != dataKind_) return recordParseError(kErrorMalformed, kSourceName, 2);
  Record record{};
  read = reader_(*this, cursor, record, kSourceName);
  if (!read.ok()) return rejectRecord(*this, read, kSourceName, needMoreBytes(size));
  records_.push_back(record);
  if (batch_ != 0 && records_.size() == batch_) hand();
  return consumedBytes(cursor, size);
}

template <typename Record, typename Listener>
int WMyPortfolioDataParser<Record, Listener>::onError(int code, const char* text) {
  if (claimOutcome() && listener_) listener_->onError(context_, text, code);
  return 0;
}

std::string myPortfolioDataUrl(const char* pathFormat, const std::string& portfolio) {
  if (!isSafeUrlValue(portfolio)) return std::string();
  char url[kQueryUrlSize];
  const int n = std::snprintf(url, sizeof url, pathFormat, portfolio.c_str());
  if (n < 0 || static_cast<size_t>(n) >= sizeof url) return std::string();  // never sent cut
  return std::string(url, static_cast<size_t>(n));
}

template <typename Request, typename Listener, typename Parser>
WGetMyPortfolioTradingDataFactory<Request, Listener, Parser>::WGetMyPortfolioTradingDataFactory(
    Listener* listener, const sockaddr_in& server, WContext context, const std::string& portfolio)
    : listener_(listener),
      server_(server),
      context_(context),
      portfolio_(portfolio),
      url_(myPortfolioDataUrl(WQueryTraits<typename Parser::RecordType>::kPath, portfolio)) {}

template <typename Request, typename Listener, typename Parser>
WHttpRequest* WGetMyPortfolioTradingDataFactory<Request, Listener, Parser>::create(WConnectionManager* manager) {
  using Traits = WQueryTraits<typename Parser::RecordType>;
  auto* parser = new Parser(listener_, portfolio_, context_, Traits::kKind, &Traits::read, Traits::kBatch);
  return new Request(manager, parser, server_, url_, listener_, context_, kSourceName, kQuerySourceLine);
}

template class WMyPortfolioDataParser<WMyOrder, WexelGetMyOrdersListener>;
template class WMyPortfolioDataParser<WMyTrade, WexelGetMyTradesListener>;
template class WMyPortfolioDataParser<WMyClosePos, WexelGetMyClosePosListener>;
template class WGetMyPortfolioTradingDataFactory<WGetMyOrdersRequest, WexelGetMyOrdersListener, WMyOrdersParser>;
template class WGetMyPortfolioTradingDataFactory<WGetMyTradesRequest, WexelGetMyTradesListener, WMyTradesParser>;
template class WGetMyPortfolioTradingDataFactory<WGetMyClosePosRequest, WexelGetMyClosePosListener, WMyClosePosParser>;

}  // namespace wexel
