// Helpers for kexsim's own tests: a blocking loopback client (plain or TLS),
// delivery of received bytes into the client's parsers the way a channel does,
// and record parsers that read kexsim's replies with the client's decoder and
// field readers, driven by compact layout strings.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kexsim_server.h"
#include "codec/wexel_lz77_parser.h"

namespace kexsim::testing {

// A client connection. Reads give up after 10 s so that a broken server fails
// the test instead of hanging it; no test measures time with it.
class TestClient {
 public:
  TestClient(uint16_t port, bool tls = false) {
    // OpenSSL writes with write(): a server that hung up must fail the write,
    // not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval limit{10, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (connected_ && tls) startTls();
  }
  ~TestClient() {
    if (ssl_) SSL_free(ssl_);
    if (context_) SSL_CTX_free(context_);
    ::close(fd_);
  }
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool connected() const { return connected_; }

  bool send(const std::string& bytes) {
    long n = ssl_ ? SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()))
                  : ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return n == static_cast<long>(bytes.size());
  }
  // What one read gives; empty when the server closed (or the read failed).
  std::string readSome() {
    char buffer[8192];
    long n = ssl_ ? SSL_read(ssl_, buffer, sizeof buffer) : ::recv(fd_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }
  // Everything until the server closes.
  std::string readAll() {
    std::string all;
    for (std::string piece = readSome(); !piece.empty(); piece = readSome()) all += piece;
    return all;
  }

 private:
  void startTls() {
    context_ = SSL_CTX_new(TLS_client_method());
    ssl_ = SSL_new(context_);
    SSL_set_fd(ssl_, fd_);
    connected_ = SSL_connect(ssl_) == 1;
  }

  int fd_ = -1;
  bool connected_ = false;
  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
};

// One request, the whole reply.
inline std::string roundTrip(uint16_t port, const std::string& request, bool tls = false) {
  TestClient client(port, tls);
  client.send(request);
  return client.readAll();
}

// The client's logon POST, byte for byte as the library formats it.
inline std::string logonRequest(const std::string& encodedLogin, const std::string& encodedPassword,
                                uint16_t port) {
  return "POST /kx2/login.php?user=" + encodedLogin +
         " HTTP/1.0\r\nUser-Agent: Quarnel3/3,0,137,4293/wexel/2.1.0/1600/windows\r\nHost: 127.0.0.1:" +
         std::to_string(port) + "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
         std::to_string(encodedPassword.size() + 5) + "\r\n\r\npass=" + encodedPassword + "\r\n";
}

// The session line of a successful logon as demo/demo.
inline std::string logOn(uint16_t port) {
  std::string reply = roundTrip(port, logonRequest("demo", "demo", port));
  size_t start = reply.find("<cookie>\r\n");
  if (start == std::string::npos) return {};
  start += 10;
  return reply.substr(start, reply.find("\r\n", start) - start);
}

inline std::string getRequest(const std::string& pathAndQuery, uint16_t port) {
  return "GET " + pathAndQuery + " HTTP/1.0\r\nUser-Agent: Quarnel3/3,0,137,4293/wexel/2.1.0/1600/windows\r\nHost: 127.0.0.1:" +
         std::to_string(port) + "\r\n\r\n";
}

// Hands received bytes to a parser as the channel does, `piece` bytes per
// read. The first negative parser result, else 0.
inline int deliver(wexel::WexelParser& parser, std::string_view bytes, size_t piece) {
  for (size_t at = 0; at < bytes.size();) {
    size_t n = std::min({piece, bytes.size() - at, static_cast<size_t>(parser.freeSpace())});
    std::memcpy(parser.writePosition(), bytes.data() + at, n);
    int result = parser.onReceived(static_cast<int>(n));
    if (result < 0) return result;
    at += n;
  }
  return 0;
}

// A field value: integers and packed times as int64, numbers as double, texts.
using Value = std::variant<int64_t, double, std::string>;

// Layout letters, one per field read with the client's reader:
//   i int32   l int64   d double   t date-time   e small
//   s string of capacity 64   S capacity 256   c capacity 2
//   x capacity 40   n capacity 34
//   . record end   * rest of the record   ? the fields after it are optional
// Answers the nibbles consumed (> 0), 0 when the data ends early, -1 on a wrong marker.
inline int readField(const wexel::WLZ77Parser& reader, wexel::WNibbleCursor& cursor, char letter,
                     std::vector<Value>& values) {
  int32_t i32 = 0;
  int64_t i64 = 0;
  uint64_t time = 0;
  double d = 0;
  char buffer[256];
  int r = -1;
  switch (letter) {
    case 'i': if ((r = reader.readInt32(cursor, i32)) > 0) values.emplace_back(int64_t{i32}); break;
    case 'l': if ((r = reader.readInt64(cursor, i64)) > 0) values.emplace_back(i64); break;
    case 'd': if ((r = reader.readDouble(cursor, d)) > 0) values.emplace_back(d); break;
    case 't': if ((r = reader.readDateTime(cursor, time)) > 0) values.emplace_back(static_cast<int64_t>(time)); break;
    case 'e': if ((r = reader.readSmall(cursor, i32)) > 0) values.emplace_back(int64_t{i32}); break;
    case 's': case 'S': case 'c': case 'x': case 'n': {
      int capacity = letter == 's' ? 64 : letter == 'S' ? 256 : letter == 'x' ? 40 : letter == 'n' ? 34 : 2;
      if ((r = reader.readString(cursor, buffer, capacity)) > 0) values.emplace_back(std::string(buffer));
      break;
    }
    case '.': r = reader.readRecordEnd(cursor); break;
    case '*': r = reader.skipRecord(cursor); break;
  }
  return r;
}

inline int readLayout(const wexel::WLZ77Parser& reader, wexel::WNibbleCursor& cursor, std::string_view layout,
                      std::vector<Value>& values) {
  const int start = cursor.nibbles;
  bool optional = false;
  for (size_t i = 0; i < layout.size(); ++i) {
    if (layout[i] == '?') {
      optional = true;
      continue;
    }
    int r = readField(reader, cursor, layout[i], values);
    if (r > 0) continue;
    if (!optional || layout[i] == '*' || layout[i] == '.') return r;
    // An optional run ends quietly at its first field that does not read; the
    // rest of the record is skipped as the layout's last letter says.
    r = readField(reader, cursor, layout.back(), values);
    if (r <= 0) return r;
    break;
  }
  return start - cursor.nibbles;
}

struct Record {
  std::string layout;
  std::vector<Value> values;
};

// Reads each record with the first of the layouts that `layouts` offers for
// the parser's current state, as the client's record parsers do.
class LayoutParser : public wexel::WLZ77Parser {
 public:
  using Chooser = std::function<std::vector<std::string>(const LayoutParser&)>;
  using Observer = std::function<void(LayoutParser&, const Record&)>;

  LayoutParser(Chooser layouts, Observer observe = nullptr)
      : layouts_(std::move(layouts)), observe_(std::move(observe)) {}

  int parseRecord(const char* data, int size) override {
    for (const std::string& layout : layouts_(*this)) {
      wexel::WNibbleCursor cursor(data, size);
      Record record{layout, {}};
      int r = readLayout(*this, cursor, layout, record.values);
      if (r == 0) return size < kIncompleteLimit ? 0 : wexel::kErrorMalformed;
      if (r < 0) continue;
      records.push_back(record);
      if (observe_) observe_(*this, records.back());
      return cursor.bytesSince(2 * size);
    }
    return wexel::kErrorMalformed;
  }

  std::vector<Record> records;
  int state = 0;  // for the chooser: guide section, or 1 while a group is open

 private:
  Chooser layouts_;
  Observer observe_;
};

inline int64_t integer(const Value& value) { return std::get<int64_t>(value); }
inline double number(const Value& value) { return std::get<double>(value); }
inline const std::string& text(const Value& value) { return std::get<std::string>(value); }

// Layouts of kexsim's replies as the client reads them.
inline constexpr const char* kShortQuote = "i.ddddddd" "t" "ddddddddd.";
inline constexpr const char* kLongQuote = "i.dddd" "t" "dddddddddddddd" "i" "tt" "ddddd" "i" "dd" "?idi*";
inline constexpr const char* kKeepAlive = "eit.";
inline constexpr const char* kGroupStart = "i.";
inline constexpr const char* kTick = "tddl?di*";
inline constexpr const char* kBookRow = "idd*";
inline constexpr const char* kMessage = "i.el?i*";
inline constexpr const char* kSectionStart = "e.";
inline constexpr const char* kPair = "sS*";
inline constexpr const char* kSecurity = "sssssS" "iiiii" "t" "dd" "?Sdddciiiidddiii*";
inline constexpr const char* kEnd = ".";

inline std::vector<std::string> fixedLayouts(std::vector<std::string> layouts) { return layouts; }

inline LayoutParser quotesParser() {
  return LayoutParser([](const LayoutParser&) { return fixedLayouts({kShortQuote, kLongQuote}); });
}

inline LayoutParser messagesParser() {
  return LayoutParser([](const LayoutParser&) { return fixedLayouts({kMessage}); });
}

// Trades and order book: a group start opens, an empty record closes.
inline LayoutParser groupParser(const char* row, bool keepAlive) {
  return LayoutParser(
      [=](const LayoutParser& p) {
        std::vector<std::string> layouts;
        if (keepAlive) layouts.push_back(kKeepAlive);
        if (p.state == 0) layouts.push_back(kGroupStart);
        if (p.state == 1) layouts.insert(layouts.end(), {row, kEnd});
        return layouts;
      },
      [](LayoutParser& p, const Record& record) {
        if (record.layout == kGroupStart) p.state = 1;
        if (record.layout == kEnd) p.state = 0;
      });
}

inline LayoutParser tradesParser() { return groupParser(kTick, true); }
inline LayoutParser ordersParser() { return groupParser(kBookRow, false); }

// The guide: sections open with their number; section 4 holds securities.
inline LayoutParser guideParser() {
  return LayoutParser(
      [](const LayoutParser& p) {
        if (p.state == 4) return fixedLayouts({kEnd, kSecurity});
        if (p.state >= 1 && p.state <= 3) return fixedLayouts({kEnd, kPair});
        return fixedLayouts({kEnd, kSectionStart});
      },
      [](LayoutParser& p, const Record& record) {
        if (record.layout == kSectionStart) p.state = static_cast<int>(integer(record.values[0]));
        if (record.layout == kEnd) p.state = 0;
      });
}

// A message query's reply read as the client reads it: number, time and a
// group mark open a message; each of its three texts is raw bytes up to a NUL,
// taken in as many pieces as the decode steps offer, with a group mark between
// texts; the rest of the record is skipped; the end nibble alone ends the reply.
struct QueriedMessage {
  int64_t number = 0;
  int64_t time = 0;
  std::string texts[3];
  int pieces[3] = {0, 0, 0};  // how many pieces made each text
};

class MessageQueryParser : public wexel::WLZ77Parser {
 public:
  int parseRecord(const char* data, int size) override {
    if (size == 0) return 0;
    if (state == 2 || state == 4 || state == 6) return rawText(data, size);
    wexel::WNibbleCursor cursor(data, size);
    int r = -1;
    if (state == 3 || state == 5) {
      r = readGroupMark(cursor);
    } else if (state == 7) {
      r = skipRecord(cursor);
    } else if ((r = readRecordEnd(cursor)) > 0) {
      ++ends;
    } else if (r < 0) {
      r = head(cursor);
    }
    if (r == 0) return size < kIncompleteLimit ? 0 : wexel::kErrorMalformed;
    if (r < 0) return wexel::kErrorMalformed;
    if (state == 3 || state == 5 || state == 7) state = state == 7 ? 0 : state + 1;
    return cursor.bytesSince(2 * size);
  }

  std::vector<QueriedMessage> messages;
  int ends = 0;  // end nibbles read alone
  int state = 0;

 private:
  int head(wexel::WNibbleCursor& cursor) {
    QueriedMessage message;
    uint64_t time = 0;
    int r;
    if ((r = readInt64(cursor, message.number)) <= 0 || (r = readDateTime(cursor, time)) <= 0 ||
        (r = readGroupMark(cursor)) <= 0) {
      return r;
    }
    message.time = static_cast<int64_t>(time);
    messages.push_back(message);
    state = 2;
    return 1;
  }

  int rawText(const char* data, int size) {
    QueriedMessage& message = messages.back();
    int index = state / 2 - 1;
    const void* zero = std::memchr(data, 0, static_cast<size_t>(size));
    int taken = zero ? static_cast<int>(static_cast<const char*>(zero) - data) : size;
    message.texts[index].append(data, static_cast<size_t>(taken));
    ++message.pieces[index];
    if (!zero) return size;
    ++state;
    return taken + 1;
  }
};

// The built-in scenario with a market that stands still (one step an hour),
// so that generated records are those of step 0, from a known start time.
inline ServerOptions stillMarket(uint64_t seed = 7) {
  ServerOptions options;
  options.seed = seed;
  options.scenario.tickMs = 3600 * 1000;
  options.scenario.marketStart = "20240105100000";
  return options;
}

// Reads the feed until `enough` holds over the parser, delivering byte by
// byte; false when the server closed first.
inline bool readFeedUntil(TestClient& client, LayoutParser& parser,
                          const std::function<bool(const LayoutParser&)>& enough, std::string* raw = nullptr) {
  while (!enough(parser)) {
    std::string piece = client.readSome();
    if (piece.empty()) return false;
    if (raw) *raw += piece;
    if (deliver(parser, piece, 1) < 0) return false;
  }
  return true;
}

}  // namespace kexsim::testing
