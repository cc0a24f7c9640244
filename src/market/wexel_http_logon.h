// The logon exchange: the one POST of a connection, which sends the login and
// the password, and the parser of its reply (session text, portfolios,
// exchanges, news, endpoints, update and version information).
//
// The reply is decided exactly once, when it is complete: when a
// Content-Length header is present and that many body bytes have arrived, or
// else when the server closes the connection (which ends an HTTP/1.0 reply).
// A reply that TCP hands over in pieces therefore gives the same outcome as
// one that arrives whole.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "net/wexel_connection_manager.h"
#include "instance/wexel_endpoint.h"
#include "net/wexel_get_request.h"
#include "wexel/wexel_listeners.h"
#include "net/wexel_parser.h"
#include "wexel/wexel_records.h"

namespace wexel {

class WInstance;

class WLogonParser : public WexelParser {
 public:
  // Reply sections; 0 = none (lines are ignored).
  enum Section : int32_t {
    kNoSection = 0,
    kCookie,
    kCaps,
    kUpdate,
    kPortfolios,
    kExchanges,
    kNews,
    kProgUrl,
    kProgType,
    kVersion,
    kMessage,
  };

  // manager may be null (no instance is told then); listener may be null.
  WLogonParser(WConnectionManager* manager, WexelLogonListener* listener);

  int onHeaderField(const char* name, const char* value) override;
  // Consumes every byte; decides the reply once Content-Length is reached.
  int parseBody(const char* data, int count) override;
  // Logs, and the first report decides the reply as failed.
  int onError(int code, const char* text) override;
  // 0 for "401" (its body carries the refusal); any other status decides the
  // reply as failed with the reason phrase and -1001, and closes (-1).
  int onErrorResponse(const char* text, int count, const char* status, const char* reason) override;

  // The server closed the connection: the reply is complete, decide it from
  // what arrived (a last line without a line end included).
  void endOfReply();
  // Takes the one decision of this reply; false when it was already taken.
  // A channel failure takes it before it reports.
  bool claimDecision() { return !decided_.exchange(true); }
  bool isDecided() const { return decided_.load(); }
  // A Content-Length was given and fewer body bytes came: the reply was cut.
  bool isBodyShort() const { return contentLength_ >= 0 && bodyBytes_ < contentLength_; }
  // Tells the instance (when there is one) the outcome.
  void reportResult(bool ok, const std::string& sessionText, const std::vector<WEndpoint>& endpoints);

  WInstance* instance() const;
  WexelLogonListener* listener() const { return listener_; }
  const std::string& sessionText() const { return sessionText_; }
  const std::string& capsText() const { return capsText_; }
  const std::string& updateUrl() const { return updateUrl_; }
  const std::string& updateName() const { return updateName_; }
  const std::string& versionText() const { return versionText_; }
  const std::string& messageText() const { return messageText_; }
  int32_t section() const { return section_; }
  int64_t updateVersion() const { return updateVersion_; }
  const std::vector<WPortfolioEntry>& portfolios() const { return portfolios_; }
  const std::vector<std::string>& exchanges() const { return exchanges_; }
  const std::vector<std::string>& news() const { return news_; }
  const std::vector<WEndpoint>& endpoints() const { return endpoints_; }

  // "21" gives 0x2100, "2.1.0" gives 0x200: leading digits as hexadecimal
  // digits, shifted by one byte.
  static int64_t packUpdateVersion(const std::string& version);
  // A portfolio line (exchange, name, optional status, optional money
  // account, TAB-separated); false for a line without a TAB.
  static bool parsePortfolioLine(const std::string& line, WPortfolioEntry* entry);

 private:
  using LineRule = void (*)(WLogonParser& parser, const std::string& line);

  void scanLines(const char* data, int count);
  void applyLine(const std::string& line);
  void decide();
  void refuseOnePiece(const std::string& body);
  void succeed();
  void refuse();
  void tellError(const std::string& text, int code);

  void setSession(const std::string& line);
  void setCaps(const std::string& line);
  void setUpdate(const std::string& line);
  void addPortfolio(const std::string& line);
  void addExchange(const std::string& line);
  void addNews(const std::string& line);
  void setEndpointUrl(const std::string& line);
  void addEndpoint(const std::string& line);
  void setVersion(const std::string& line);
  void setMessage(const std::string& line);

  static const LineRule kRules[];

  WConnectionManager* manager_;
  WexelLogonListener* listener_;
  std::string sessionText_;
  std::string capsText_;
  std::string updateUrl_;
  std::string updateName_;
  std::string versionText_;
  std::string messageText_;
  int32_t section_ = kNoSection;
  int64_t updateVersion_ = 0;
  std::vector<WPortfolioEntry> portfolios_;
  std::vector<std::string> exchanges_;
  std::vector<std::string> news_;
  std::vector<WEndpoint> endpoints_;
  WEndpoint currentEndpoint_;

  // Reply framing.
  std::string partialLine_;     // body bytes after the last line end
  bool inLineEnd_ = true;       // the body start counts as a line end: leading CR/LF are skipped
  bool sawLineEnd_ = false;     // false: the body is a one-piece text
  int64_t contentLength_ = -1;  // -1: none given, the close ends the reply
  int64_t bodyBytes_ = 0;
  std::atomic<bool> decided_{false};
};

template <typename Tag>
class WHttpLogon : public Tag::Channel {
 public:
  WHttpLogon(WConnectionManager* manager, WLogonParser* parser, const sockaddr_in& server, const std::string& login,
             const std::string& password, WexelLogonListener* listener);

  // The POST text.
  bool prepareRequest() override;
  // A socket or TLS failure (code != 0) fails the logon unless the reply was
  // decided already; the server's close (code 0) ends a reply without a
  // Content-Length, and fails one that announced more bytes than came.
  void onError(int code, const std::string& text) override;

  const std::string& login() const { return login_; }
  const std::string& password() const { return password_; }
  WexelLogonListener* listener() const { return listener_; }
  WLogonParser* logonParser() const { return logonParser_; }

 private:
  std::string login_;
  std::string password_;
  WexelLogonListener* listener_;
  WLogonParser* logonParser_;  // the channel's parser (the base owns it)
};

template <typename Tag>
class WHttpLogonRequestFactory : public WHttpRequestFactory {
 public:
  WHttpLogonRequestFactory(const std::string& login, const std::string& password, WexelLogonListener* listener,
                           const sockaddr_in& server)
      : login_(login), password_(password), listener_(listener), server_(server) {}

  // A new logon request with its parser, or null when memory runs out.
  WHttpRequest* create(WConnectionManager* manager) override;

 private:
  std::string login_;
  std::string password_;
  WexelLogonListener* listener_;
  sockaddr_in server_;
};

extern template class WHttpLogon<Http>;
extern template class WHttpLogon<Https>;
extern template class WHttpLogonRequestFactory<Http>;
extern template class WHttpLogonRequestFactory<Https>;

}  // namespace wexel
