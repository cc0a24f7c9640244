// The securities guide: one query after logon whose compressed reply lists
// every tradable security (section 4) and three auxiliary lists of text pairs
// (sections 1 to 3). The whole guide reaches the listener in one call once
// section 4 has ended.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "net/wexel_connection_manager.h"
#include "net/wexel_get_request.h"
#include "wexel/wexel_listeners.h"
#include "codec/wexel_lz77_parser.h"
#include "wexel/wexel_records.h"

namespace wexel {

class WGuideParser : public WLZ77Parser {
 public:
  explicit WGuideParser(WexelReferenceSecuritiesListener* listener);

  // A section start, a pair (sections 1-3), a security (section 4) or a
  // section end; the end of section 4 delivers the guide.
  int parseRecord(const char* data, int size) override;
  // A corrupt reply or a refused status: to the listener, nothing logged.
  // Answers 0.
  int onError(int code, const char* text) override;

  // The listener hears exactly one outcome, the guide or an error: the first
  // caller to claim it reports, later ones stay quiet.
  bool claimOutcome() { return !answered_.exchange(true); }
  bool answered() const { return answered_.load(); }
  int32_t section() const { return section_; }

 private:
  int readSecurity(WNibbleCursor& cursor, int size);
  int readPair(WNibbleCursor& cursor, int size);
  int readSectionStart(WNibbleCursor& cursor, int size);
  void deliver();

  WexelReferenceSecuritiesListener* listener_;
  int32_t section_ = 0;
  std::vector<WSecurity> securities_;
  std::vector<WGuidePair> pairs_[3];  // sections 1, 2 and 3
  std::atomic<bool> answered_{false};
};

class WGetGuideRequest : public WGetRequest<Http> {
 public:
  static constexpr const char* kPath = "/kx2/get-symbols-zbin.php?";

  WGetGuideRequest(WConnectionManager* manager, WGuideParser* parser, const sockaddr_in& server,
                   WexelReferenceSecuritiesListener* listener);

  // Socket errors go to the listener with the server address appended. The
  // server closing the connection is the normal end of the reply; before the
  // guide was delivered it is reported too (code 0), since the caller would
  // otherwise wait for a guide that never comes.
  void onError(int code, const std::string& text) override;

 private:
  WGuideParser* guide_;  // owned as the channel's parser
  WexelReferenceSecuritiesListener* listener_;
};

class WGetGuideFactory : public WHttpRequestFactory {
 public:
  WGetGuideFactory(WexelReferenceSecuritiesListener* listener, const sockaddr_in& server);
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  WexelReferenceSecuritiesListener* listener_;
  sockaddr_in server_;
};

}  // namespace wexel
