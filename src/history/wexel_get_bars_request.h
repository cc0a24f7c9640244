// The bar query: bars of one security from a time, either up to a time or a
// number of them, in the compressed record format; one call to the listener
// with every bar when the reply's end record arrives.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "codec/wexel_lz77_parser.h"
#include "net/wexel_connection_manager.h"
#include "net/wexel_query_request.h"
#include "wexel/wexel_listeners.h"
#include "wexel/wexel_packed_time.h"

namespace wexel {

class WHistoryBarsParser : public WLZ77Parser {
 public:
  WHistoryBarsParser(WexelHistoryBarsListener* listener, const std::string& exchange,
                     const std::string& security, int interval, WContext context);
  int parseRecord(const char* data, int size) override;
  int onError(int code, const char* text) override;
  bool claimOutcome() { return !answered_.exchange(true); }

 private:
  WexelHistoryBarsListener* listener_;
  std::vector<WHistoryBar> bars_;
  std::string exchange_;
  std::string security_;
  int interval_;
  WContext context_;
  std::atomic<bool> answered_{false};
};

using WGetHisroryBarsRequest = WQueryRequest<WHistoryBarsParser, WexelHistoryBarsListener>;

// The query's path: the interval's base name and the count in base bars
// ("30min" and -80 for 10 bars of 4 hours); from and to as the digits
// YYYYMMDDhhmmss. Empty when the exchange or security would break the URL.
std::string historyBarsPath(const std::string& exchange, const std::string& security, int interval,
                            PackedTime from, PackedTime to, int count);

class WHistoryBarsRequestFactory : public WHttpRequestFactory {
 public:
  WHistoryBarsRequestFactory(WexelHistoryBarsListener* listener, const sockaddr_in& server,
                             const std::string& exchange, const std::string& security, int interval, PackedTime from,
                             PackedTime to, int count, WContext context);
  bool valid() const { return !path_.empty(); }
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  WexelHistoryBarsListener* listener_;
  sockaddr_in server_;
  std::string exchange_;
  std::string security_;
  int interval_;
  WContext context_;
  std::string path_;
};

}  // namespace wexel
