#include "kexsim_http.h"

#include <strings.h>

#include <array>
#include <cstdlib>

namespace kexsim {
namespace {

std::string trimLeft(const std::string& text) {
  size_t start = text.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : text.substr(start);
}

std::string trimLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

std::vector<std::string> splitLines(const std::string& head) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < head.size()) {
    size_t end = head.find('\n', start);
    if (end == std::string::npos) end = head.size();
    lines.push_back(trimLineEnd(head.substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

bool parseRequestLine(const std::string& line, HttpRequest* request) {
  size_t first = line.find(' ');
  size_t second = line.find(' ', first + 1);
  if (first == std::string::npos || second == std::string::npos) return false;
  request->method = line.substr(0, first);
  std::string target = line.substr(first + 1, second - first - 1);
  request->version = line.substr(second + 1);
  size_t question = target.find('?');
  request->path = target.substr(0, question);
  if (question != std::string::npos) request->query = target.substr(question + 1);
  return !request->method.empty() && !request->path.empty();
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string HttpRequest::header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
  }
  return {};
}

RequestReader::State RequestReader::feed(const char* data, size_t count) {
  if (headDone_) {
    rest_.append(data, count);
    return takeBody();
  }
  pending_.append(data, count);
  // Hand-typed requests (nc) may end their lines in a bare LF.
  size_t crlf = pending_.find("\r\n\r\n");
  size_t lf = pending_.find("\n\n");
  if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) return parseHead(crlf, 4);
  if (lf != std::string::npos) return parseHead(lf, 2);
  return pending_.size() > kMaxHead ? State::kBad : State::kIncomplete;
}

RequestReader::State RequestReader::parseHead(size_t headLength, size_t separatorLength) {
  std::vector<std::string> lines = splitLines(pending_.substr(0, headLength));
  rest_ = pending_.substr(headLength + separatorLength);
  pending_.clear();
  headDone_ = true;
  if (lines.empty() || !parseRequestLine(lines[0], &request_)) return State::kBad;
  for (size_t i = 1; i < lines.size(); ++i) {
    size_t colon = lines[i].find(':');
    if (colon == std::string::npos) continue;
    request_.headers.emplace_back(lines[i].substr(0, colon), trimLeft(lines[i].substr(colon + 1)));
  }
  std::string length = request_.header("Content-Length");
  long declared = length.empty() ? 0 : std::strtol(length.c_str(), nullptr, 10);
  if (declared < 0 || static_cast<size_t>(declared) > kMaxBody) return State::kBad;
  bodyLength_ = static_cast<size_t>(declared);
  return takeBody();
}

RequestReader::State RequestReader::takeBody() {
  if (request_.body.size() < bodyLength_) {
    size_t take = std::min(bodyLength_ - request_.body.size(), rest_.size());
    request_.body.append(rest_, 0, take);
    rest_.erase(0, take);
  }
  return request_.body.size() == bodyLength_ ? State::kComplete : State::kIncomplete;
}

std::string urlDecode(const std::string& text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
        hexValue(text[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
      i += 2;
    } else {
      decoded.push_back(text[i]);
    }
  }
  return decoded;
}

std::multimap<std::string, std::string> parseForm(const std::string& text) {
  std::multimap<std::string, std::string> form;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('&', start);
    if (end == std::string::npos) end = text.size();
    std::string piece = trimLineEnd(text.substr(start, end - start));
    if (!piece.empty()) {
      size_t equals = piece.find('=');
      std::string name = piece.substr(0, equals);
      std::string value = equals == std::string::npos ? "" : piece.substr(equals + 1);
      form.emplace(urlDecode(name), urlDecode(value));
    }
    start = end + 1;
  }
  return form;
}

const char* reasonPhrase(int status) {
  static constexpr std::array<std::pair<int, const char*>, 8> kReasons{{
      {200, "OK"},
      {400, "Bad Request"},
      {401, "Unauthorized"},
      {403, "Forbidden"},
      {404, "Not Found"},
      {405, "Method Not Allowed"},
      {500, "Internal Server Error"},
      {503, "Service Unavailable"},
  }};
  for (const auto& [code, reason] : kReasons) {
    if (code == status) return reason;
  }
  return "Error";
}

std::string responseHead(const ReplyHead& head) {
  std::string text = "HTTP/1.0 " + std::to_string(head.status) + " " + reasonPhrase(head.status) + "\r\n";
  text += "Server: kexsim\r\n";
  if (!head.contentType.empty()) text += "Content-Type: " + head.contentType + "\r\n";
  if (head.contentLength >= 0) text += "Content-Length: " + std::to_string(head.contentLength) + "\r\n";
  for (const auto& [name, value] : head.fields) text += name + ": " + value + "\r\n";
  text += "Connection: " + head.connection + "\r\n\r\n";
  return text;
}

std::string responseHead(int status, const std::string& contentType, long contentLength) {
  return responseHead(ReplyHead{status, contentType, contentLength});
}

}  // namespace kexsim
