// A portfolio's real positions: a one-shot query whose reply is a kind record,
// then position records (two texts and a value), ended by kind 14 and an end
// record.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "codec/wexel_lz77_parser.h"
#include "net/wexel_connection_manager.h"
#include "portfolio/wexel_get_portfolio.h"

namespace wexel {

class WRealPosParser : public WLZ77Parser {
 public:
  WRealPosParser(WexelRealPositionsListener* listener, const std::string& portfolio, WContext context);
  int parseRecord(const char* data, int size) override;
  int onError(int code, const char* text) override;
  bool claimOutcome() { return !answered_.exchange(true); }

 private:
  WexelRealPositionsListener* listener_;
  std::string portfolio_;
  WContext context_;
  int32_t kind_ = -1;
  std::vector<WRealPosition> positions_;
  std::atomic<bool> answered_{false};
};

using WGetRealPosRequest = WQueryRequest<WRealPosParser, WexelRealPositionsListener>;

class WGetRealPosFactory : public WHttpRequestFactory {
 public:
  WGetRealPosFactory(WexelRealPositionsListener* listener, const sockaddr_in& server, WContext context,
                     const std::string& portfolio);
  bool valid() const { return !url_.empty(); }
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  WexelRealPositionsListener* listener_;
  sockaddr_in server_;
  WContext context_;
  std::string portfolio_;
  std::string url_;
};

}  // namespace wexel
