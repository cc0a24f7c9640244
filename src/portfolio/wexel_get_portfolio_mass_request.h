// The orders, trades, closed and real positions of several portfolios in one
// reply. Per portfolio and kind the reply holds a record that begins with the
// portfolio's name and the kind and carries the first entry, further entries,
// and an end record; the name and the kind carry over from record to record.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "codec/wexel_lz77_parser.h"
#include "codec/wexel_record_layout.h"
#include "net/wexel_connection_manager.h"
#include "net/wexel_get_request.h"
#include "wexel/wexel_listeners.h"

namespace wexel {

class WGetPortfolioMassRequestParser : public WLZ77Parser {
 public:
  WGetPortfolioMassRequestParser(WexelPortfolioMassListener* listener, WContext context);
  int parseRecord(const char* data, int size) override;
  int onError(int code, const char* text) override;
  // Whether an outcome is still due: false once the reply stopped between two
  // lists after at least one, or something was reported already.
  bool claimOutcome();

 private:
  // The entry of `kind` at the cursor, appended to its list; its verdict.
  WLayoutRead readEntry(int32_t kind, WNibbleCursor& cursor);
  void endList(int32_t kind, const std::string& portfolio);
  void deliver(int32_t kind, const std::string& portfolio);
  bool atRest() const;

  WexelPortfolioMassListener* listener_;
  WContext context_;
  std::string currentPortfolio_;
  int32_t currentKind_ = -1;
  std::vector<WMyOrder> orders_;
  std::vector<WMyTrade> trades_;
  std::vector<WMyClosePos> closedPositions_;
  std::vector<WRealPosition> realPositions_;
  int listsEnded_ = 0;
  std::atomic<bool> reported_{false};
};

class WGetPortfolioMassRequest : public WGetRequest<Http> {
 public:
  WGetPortfolioMassRequest(WConnectionManager* manager, WGetPortfolioMassRequestParser* parser,
                           const sockaddr_in& server, const std::string& url, WexelPortfolioMassListener* listener,
                           WContext context);
  void onError(int code, const std::string& text) override;

 private:
  WGetPortfolioMassRequestParser* mass_;  // owned as the channel's parser
  WexelPortfolioMassListener* listener_;
  WContext context_;
};

// "/kx2/get-portfolio-all-zbin.php?o_mode=M&portfolio[]=A&portfolio[]=B"; empty
// when a name would break the request.
std::string portfolioMassUrl(const std::vector<std::string>& portfolios, int mode);

class WPortfolioMassRequestFactory : public WHttpRequestFactory {
 public:
  WPortfolioMassRequestFactory(WexelPortfolioMassListener* listener, const sockaddr_in& server,
                               const std::vector<std::string>& portfolios, int mode, WContext context);
  bool valid() const { return !url_.empty(); }
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  WexelPortfolioMassListener* listener_;
  sockaddr_in server_;
  WContext context_;
  std::string url_;
};

}  // namespace wexel
