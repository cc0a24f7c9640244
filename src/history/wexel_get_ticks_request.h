// The tick history query: the trades of one security before or after a time,
// handed to the listener in one call when the reply's end record arrives.
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

class WGetTicksParser : public WLZ77Parser {
 public:
  WGetTicksParser(WexelGetTicksListener* listener, const std::string& exchange, const std::string& security,
                  WContext context);
  int parseRecord(const char* data, int size) override;
  int onError(int code, const char* text) override;
  bool claimOutcome() { return !answered_.exchange(true); }

 private:
  WexelGetTicksListener* listener_;
  std::vector<WTick> ticks_;
  std::string exchange_;
  std::string security_;
  WContext context_;
  std::atomic<bool> answered_{false};
};

// A reply closed before its end record reaches the listener as an error.
using WGetTicksRequest = WQueryRequest<WGetTicksParser, WexelGetTicksListener>;

// "/kx2/get-trades-zbin.php?exchange=E&security=S&from=<packed time as a
// signed decimal>&count=N"; empty when the exchange or security would break
// the URL.
std::string ticksPath(const std::string& exchange, const std::string& security, PackedTime from, int count);

class WGetTicksRequestFactory : public WHttpRequestFactory {
 public:
  WGetTicksRequestFactory(WexelGetTicksListener* listener, const sockaddr_in& server, const std::string& exchange,
                          const std::string& security, PackedTime from, int count, WContext context);
  bool valid() const { return !path_.empty(); }
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  WexelGetTicksListener* listener_;
  sockaddr_in server_;
  std::string exchange_;
  std::string security_;
  WContext context_;
  std::string path_;
};

}  // namespace wexel
