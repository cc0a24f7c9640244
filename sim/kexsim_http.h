// The HTTP/1.0 side of the simulated server: reading one request off a
// connection (request line, headers, a body of Content-Length bytes), query
// decoding, and the status lines of the replies.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kexsim {

struct HttpRequest {
  std::string method;
  std::string path;   // target up to its first '?'
  std::string query;  // target after its first '?', undecoded; empty without one
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
  std::string body;

  // The first header of that name (names compare without case), or "".
  std::string header(const std::string& name) const;
};

// Collects the bytes of one request as they arrive. The client keeps its feed
// connection open and writes subscription lines after the request, sometimes in
// the same segment, so whatever follows the request is kept as `rest`.
class RequestReader {
 public:
  enum class State { kIncomplete, kComplete, kBad };

  // Appends received bytes and tells how far the request is.
  State feed(const char* data, size_t count);
  const HttpRequest& request() const { return request_; }
  // Bytes received after the end of the request.
  const std::string& rest() const { return rest_; }

 private:
  State parseHead(size_t headLength, size_t separatorLength);
  State takeBody();

  static constexpr size_t kMaxHead = 64 * 1024;
  static constexpr size_t kMaxBody = 1024 * 1024;

  std::string pending_;
  HttpRequest request_;
  bool headDone_ = false;
  size_t bodyLength_ = 0;
  std::string rest_;
};

// %XX sequences become their byte; everything else, '+' included, stays as it is:
// the client leaves '+' unencoded, so it never stands for a blank here.
std::string urlDecode(const std::string& text);

// Splits a query or form body at '&' into decoded name/value pairs. Empty pieces
// (the "?&" of a query that starts with the session parameters) are skipped.
std::multimap<std::string, std::string> parseForm(const std::string& text);

// The reason phrase the server sends with a status code.
const char* reasonPhrase(int status);

// What a reply head says. A content length below 0 sends no Content-Length
// header; `fields` follow it in their order, then the Connection header.
struct ReplyHead {
  int status = 200;
  std::string contentType;
  long contentLength = -1;
  std::vector<std::pair<std::string, std::string>> fields = {};
  std::string connection = "close";
};

// "HTTP/1.0 <status> <reason>\r\n", the header lines, the blank line.
std::string responseHead(const ReplyHead& head);
std::string responseHead(int status, const std::string& contentType, long contentLength);

}  // namespace kexsim
