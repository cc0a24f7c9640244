// Arbitrary bytes as the text replies every channel starts with. The first
// byte modulo 3 picks what is read:
//   0  a response through the status and header parser every reply uses
//   1  a logon reply, then the endpoint URLs it named
//   2  an endpoint URL as the logon hands it over
// and its bits 2-3 how a response is cut into reads. A response read whole
// and in pieces gives the same calls; the header fields reported are the
// header's lines, a close request among them; a logon is decided exactly
// once (logged on or an error), the close of the connection included, and
// the update information follows the logon only. Host names are never looked
// up: this target answers every name lookup itself, with "no such host".
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "instance/wexel_endpoint.h"
#include "market/wexel_http_logon.h"
#include "net/wexel_parser.h"

// A fuzz target must not send its inputs to the name server.
extern "C" int getaddrinfo(const char*, const char*, const addrinfo*, addrinfo** result) {
  *result = nullptr;
  return EAI_NONAME;
}

namespace {

using fuzzcheck::EventLog;
using namespace wexel;

// ---- status and header -------------------------------------------------------------------

struct HeaderParser : WexelParser {
  EventLog log;
  std::string body;  // apart from the log: reads cut it differently
  bool closeField = false;

  int onHeaderField(const char* name, const char* value) override {
    FUZZ_REQUIRE(std::strchr(name, ':') == nullptr);
    FUZZ_REQUIRE(std::strstr(value, "\r\n") == nullptr && std::strstr(name, "\r\n") == nullptr);
    std::string lower = value;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (std::strcmp(name, "Connection") == 0 && lower == "close") closeField = true;
    log.tag('H');
    log.add(name);
    log.add(value);
    return 0;
  }
  int parseBody(const char* data, int count) override {
    FUZZ_REQUIRE(isHeaderParsed());
    body.append(data, static_cast<size_t>(count));
    return count;
  }
  int onErrorResponse(const char* text, int count, const char* status, const char* reason) override {
    log.tag('S');
    log.add(status);
    log.add(reason);
    return WexelParser::onErrorResponse(text, count, status, reason);
  }
  int onError(int code, const char* text) override {
    log.tag('!');
    log.add(text);
    log.record(code);
    log.error();
    return code;
  }
};

// ---- logon ---------------------------------------------------------------------------------

struct LogonListener : WexelLogonListener {
  EventLog* log;
  bool loggedOn = false;
  explicit LogonListener(EventLog* l) : log(l) {}
  void onLogon(const std::vector<WPortfolioEntry>& portfolios, const std::vector<std::string>& news,
               const std::vector<std::string>& exchanges) override {
    FUZZ_REQUIRE(log->answers == 0);
    loggedOn = true;
    log->tag('L');
    log->records(portfolios);
    for (const std::string& n : news) log->add(n);
    for (const std::string& e : exchanges) log->add(e);
    ++log->answers;
  }
  void onUpdateInfo(const std::string& name, int64_t version, const std::string& url) override {
    FUZZ_REQUIRE(loggedOn);
    log->tag('U');
    log->add(name);
    log->record(version);
    log->add(url);
  }
  void onError(const std::string& message, int code) override {
    FUZZ_REQUIRE(code <= 0 && log->answers == 0);
    log->tag('!');
    log->add(message);
    log->record(code);
    log->error();
    ++log->answers;
  }
};

void checkEndpoint(const WEndpoint& endpoint) {
  const sockaddr_in address = parseEndpointUrl(endpoint);
  // Unparsed (65535) exactly for an empty url; else no host name resolves
  // here, so an address means a numeric one.
  FUZZ_REQUIRE((address.sin_family == 65535) == endpoint.url.empty());
  FUZZ_REQUIRE(address.sin_family == 65535 || address.sin_family == 0 || address.sin_family == AF_INET);
}

struct LogonRun {
  EventLog log;
  LogonListener listener{&log};
  WLogonParser parser{nullptr, &listener};

  void read(std::string_view bytes, size_t piece) {
    fuzzcheck::deliverResponse(parser, bytes, piece);
    // As WHttpLogon::onError for the server's close (code 0).
    if (parser.isHeaderParsed() && !parser.isBodyShort()) {
      parser.endOfReply();
    } else if (parser.claimDecision()) {
      listener.onError("closed", kErrorClosed);
    }
    FUZZ_REQUIRE(log.answers == 1 && parser.isDecided());
    for (const WEndpoint& endpoint : parser.endpoints()) checkEndpoint(endpoint);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t piece = fuzzcheck::pieceSize(mode >> 2, bytes.size());
  // A single read holds at most the parser's buffer: only then is "whole" one read.
  const bool oneRead = bytes.size() < static_cast<size_t>(WexelParser::kBufferSize);
  switch (mode % 3) {
    case 0: {
      const auto whole = std::make_unique<HeaderParser>();
      const auto pieces = std::make_unique<HeaderParser>();
      const int wholeResult = fuzzcheck::deliverResponse(*whole, bytes, bytes.size());
      const int piecesResult = fuzzcheck::deliverResponse(*pieces, bytes, piece);
      // A close request comes from a field seen as "Connection: close" (the
      // fields reach onHeaderField as C strings, cut at a NUL, so a field
      // seen so may still be none).
      for (const HeaderParser* p : {whole.get(), pieces.get()}) FUZZ_REQUIRE(!p->closeRequested() || p->closeField);
      if (oneRead) {
        FUZZ_REQUIRE(whole->log.text == pieces->log.text && whole->body == pieces->body);
        FUZZ_REQUIRE(wholeResult == piecesResult);
        FUZZ_REQUIRE(whole->keepAliveMax() == pieces->keepAliveMax());
      }
      break;
    }
    case 1: {
      const auto whole = std::make_unique<LogonRun>();
      const auto pieces = std::make_unique<LogonRun>();
      whole->read(bytes, bytes.size());
      pieces->read(bytes, piece);
      if (oneRead) FUZZ_REQUIRE(whole->log.text == pieces->log.text);
      break;
    }
    default:
      checkEndpoint(WEndpoint{"OMS", std::string(bytes), ""});
      break;
  }
  return 0;
}
