// A portfolio's money, orders, trades and positions: the portfolio stream (a
// GET whose compressed reply never ends, one record per change) and the three
// one-shot queries of one portfolio (its orders, trades and closed positions,
// each a list ended by an end record).
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "codec/wexel_lz77_parser.h"
#include "net/wexel_connection_manager.h"
#include "net/wexel_get_request.h"
#include "net/wexel_query_request.h"
#include "portfolio/wexel_portfolio_records.h"
#include "wexel/wexel_errors.h"
#include "wexel/wexel_listeners.h"

namespace wexel {

// ---- the stream ------------------------------------------------------------------

class WPortfolioParser : public WLZ77Parser {
 public:
  WPortfolioParser(WexelPortfolioListener* listener, const std::string& portfolio, int mode);
  // One record of types 0 to 9; any other type ends the stream.
  int parseRecord(const char* data, int size) override;
  // A corrupt record or a refused status: to the listener, once.
  int onError(int code, const char* text) override;
  bool claimOutcome() { return !reported_.exchange(true); }

 private:
  int deliver(int32_t type, WNibbleCursor& cursor, int size);
  int readMoneyOrKeepAlive(WNibbleCursor& cursor, int size);

  WexelPortfolioListener* listener_;
  std::string portfolio_;
  int mode_;
  std::atomic<bool> reported_{false};
};

class WGetPortfolioRequest : public WGetRequest<Http> {
 public:
  WGetPortfolioRequest(WConnectionManager* manager, WPortfolioParser* parser, const sockaddr_in& server,
                       const std::string& portfolio, int mode, WexelPortfolioListener* listener);
  // Its own request text: the portfolio goes first, before the session.
  bool prepareRequest() override;
  // A portfolio without changes sends nothing: the stream may stay silent,
  // unless the host set a limit for data (dataSilenceMs).
  int silenceLimitMs(const WInstanceConfig& config) const override { return config.dataSilenceMs; }
  // Socket errors and the server closing the stream reach the listener with
  // the address appended, once.
  void onError(int code, const std::string& text) override;

 private:
  WPortfolioParser* stream_;  // owned as the channel's parser
  std::string portfolio_;
  int mode_;
  WexelPortfolioListener* listener_;
};

class WGetPortfolioFactory : public WHttpRequestFactory {
 public:
  WGetPortfolioFactory(const std::string& portfolio, int mode, WexelPortfolioListener* listener,
                       const sockaddr_in& server);
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  std::string portfolio_;
  int mode_;
  WexelPortfolioListener* listener_;
  sockaddr_in server_;
};

// ---- the queries of one portfolio ---------------------------------------------------

// Collects the records of one list and hands them over at its end record
// (orders also in batches of 10,000 on the way).
template <typename Record, typename Listener>
class WMyPortfolioDataParser : public WLZ77Parser {
 public:
  using RecordType = Record;
  using Reader = WLayoutRead (*)(WLZ77Parser&, WNibbleCursor&, Record&, const char*);

  WMyPortfolioDataParser(Listener* listener, const std::string& portfolio, WContext context, int32_t dataKind,
                         Reader reader, size_t batch);
  int parseRecord(const char* data, int size) override;
  int onError(int code, const char* text) override;
  // True for the first caller only: the end record, an error, or the close.
  bool claimOutcome() { return !answered_.exchange(true); }

 private:
  void hand();

  Listener* listener_;
  std::string portfolio_;
  WContext context_;
  int32_t dataKind_;
  Reader reader_;
  size_t batch_;  // 0: the whole list at its end
  std::vector<Record> records_;
  std::atomic<bool> answered_{false};
};

using WMyOrdersParser = WMyPortfolioDataParser<WMyOrder, WexelGetMyOrdersListener>;
using WMyTradesParser = WMyPortfolioDataParser<WMyTrade, WexelGetMyTradesListener>;
using WMyClosePosParser = WMyPortfolioDataParser<WMyClosePos, WexelGetMyClosePosListener>;

using WGetMyOrdersRequest = WQueryRequest<WMyOrdersParser, WexelGetMyOrdersListener>;
using WGetMyTradesRequest = WQueryRequest<WMyTradesParser, WexelGetMyTradesListener>;
using WGetMyClosePosRequest = WQueryRequest<WMyClosePosParser, WexelGetMyClosePosListener>;

// The query's URL for one portfolio: "/kx2/get-portfolio-mo-zbin.php?portfolio=NAME" and its
// siblings; empty when the name would break the request.
std::string myPortfolioDataUrl(const char* pathFormat, const std::string& portfolio);

template <typename Request, typename Listener, typename Parser>
class WGetMyPortfolioTradingDataFactory : public WHttpRequestFactory {
 public:
  WGetMyPortfolioTradingDataFactory(Listener* listener, const sockaddr_in& server, WContext context,
                                    const std::string& portfolio);
  bool valid() const { return !url_.empty(); }
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  Listener* listener_;
  sockaddr_in server_;
  WContext context_;
  std::string portfolio_;
  std::string url_;
};

using WGetMyOrdersFactory = WGetMyPortfolioTradingDataFactory<WGetMyOrdersRequest, WexelGetMyOrdersListener, WMyOrdersParser>;
using WGetMyTradesFactory = WGetMyPortfolioTradingDataFactory<WGetMyTradesRequest, WexelGetMyTradesListener, WMyTradesParser>;
using WGetMyClosePosFactory =
    WGetMyPortfolioTradingDataFactory<WGetMyClosePosRequest, WexelGetMyClosePosListener, WMyClosePosParser>;

}  // namespace wexel
