// Quotes decoded and parsed per second on one core. Ours: the quotes feed's
// reply (kexsim's record writer and encoder) handed to the quotes parser in
// channel reads, every record read into a WQuote and delivered through the
// instance's dispatch (subscription lookup included) to a listener that
// counts. The peer: QuickFIX/C++ parsing FIX 4.4 quote messages that carry
// the same values, and converting each value as an application would.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "feed_corpus.h"
#include "fix_peer.h"
#include "instance/wexel_winstance.h"
#include "market/wexel_feed_parser.h"
#include "market/wexel_http_feed_request.h"
#include "wexel/wexel_packed_time.h"

namespace {

using namespace wexel;

constexpr size_t kCorpusBytes = 4u << 20;
constexpr int kSecurities = 60;
constexpr int kReadSize = 8191;

class CountingListener : public WexelQuotesListener {
 public:
  void onQuote(const std::string&, const std::string&, const WQuote& quote) override {
    ++quotes;
    sum += quote.last;
  }
  void onError(const std::string&, int) override { ++errors; }
  size_t quotes = 0;
  size_t errors = 0;
  double sum = 0;
};

// The quotes feed of one instance, with the corpus's securities subscribed
// (numbers 1..60, as the corpus names them).
struct Subscribed {
  WInstance instance{WInstanceConfig{}};
  WQuotesFeed feed{"", nullptr, nullptr, sockaddr_in{}};
  CountingListener listener;
  Subscribed() {
    for (int i = 1; i <= kSecurities; ++i) {
      char symbol[8];
      std::snprintf(symbol, sizeof symbol, "S%03d", i);
      feed.subscribe("MB", symbol, &listener);
    }
  }
};

// Hands every quote to the instance's dispatch, as the feed's own parser does.
class DispatchingParser : public WQuotesFeedParser {
 public:
  explicit DispatchingParser(Subscribed& s) : WQuotesFeedParser(nullptr), s_(s) {}

 protected:
  void deliverQuote(int subscription, const WQuote& quote) override {
    s_.instance.dispatchQuote(&s_.feed, subscription, quote);
  }

 private:
  Subscribed& s_;
};

// Keeps every quote, to write the FIX messages from the same values.
class KeepingParser : public WQuotesFeedParser {
 public:
  KeepingParser() : WQuotesFeedParser(nullptr) {}
  std::vector<std::pair<int, WQuote>> quotes;

 protected:
  void deliverQuote(int subscription, const WQuote& quote) override { quotes.emplace_back(subscription, quote); }
};

// The reply in channel reads, as a channel hands them to its parser.
template <typename Parser>
bool deliverReply(Parser& parser, const std::string& reply) {
  for (size_t at = 0; at < reply.size();) {
    const size_t n = std::min({reply.size() - at, static_cast<size_t>(parser.freeSpace()), size_t{kReadSize}});
    std::memcpy(parser.writePosition(), reply.data() + at, n);
    if (parser.onReceived(static_cast<int>(n)) < 0) return false;
    at += n;
  }
  return true;
}

// ---- the FIX side ----------------------------------------------------------------

// Each value of a quote and the tag it travels under: the standard tags of a
// FIX 4.4 Quote where one exists, user-defined tags (5000 and up) for the rest.
struct Tagged {
  int tag;
  double WQuote::*member;
};
constexpr Tagged kTags[] = {
    {132, &WQuote::bid},          {133, &WQuote::ask},          {134, &WQuote::bidSize},
    {135, &WQuote::askSize},      {31, &WQuote::last},          {32, &WQuote::size},
    {5001, &WQuote::open},        {5002, &WQuote::high},        {5003, &WQuote::low},
    {5004, &WQuote::close},       {5005, &WQuote::volume},      {5006, &WQuote::openInterest},
    {5013, &WQuote::extra13},     {5014, &WQuote::extra14},     {5015, &WQuote::extra15},
    {5017, &WQuote::extra17},     {5018, &WQuote::extra18},     {5021, &WQuote::volatility},
    {5023, &WQuote::theoreticalPrice}, {5024, &WQuote::buyMargin}, {5025, &WQuote::sellMargin},
    {5026, &WQuote::baseMargin},  {5027, &WQuote::backedBaseMargin}, {5029, &WQuote::lowLimit},
    {5030, &WQuote::highLimit},   {5032, &WQuote::extra32},
};
constexpr int kTimeTag = 60;  // TransactTime

std::vector<int> numberTags() {
  std::vector<int> tags;
  for (const Tagged& t : kTags) tags.push_back(t.tag);
  std::sort(tags.begin(), tags.end());
  return tags;
}

void field(std::string& out, int tag, const char* value) {
  out += std::to_string(tag);
  out += '=';
  out += value;
  out += '\x01';
}

// A FIX 4.4 Quote (35=S) with the quote's values; absent values are left out.
std::string fixMessage(int sequence, int subscription, const WQuote& quote) {
  std::string body;
  char text[64];
  field(body, 35, "S");
  field(body, 49, "KEXSIM");
  field(body, 56, "CLIENT");
  field(body, 34, std::to_string(sequence).c_str());
  field(body, 52, "20240315-10:00:00");
  field(body, 117, std::to_string(sequence).c_str());
  std::snprintf(text, sizeof text, "S%03d", subscription);
  field(body, 55, text);
  const WDateTime t = unpackTime(quote.time);
  std::snprintf(text, sizeof text, "%04d%02d%02d-%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  field(body, kTimeTag, text);
  for (const Tagged& tagged : kTags) {
    const double value = quote.*tagged.member;
    if (std::isnan(value)) continue;
    const auto end = std::to_chars(text, text + sizeof text - 1, value).ptr;
    *end = 0;
    field(body, tagged.tag, text);
  }
  std::string message = "8=FIX.4.4\x01" "9=" + std::to_string(body.size()) + '\x01' + body;
  unsigned checksum = 0;
  for (unsigned char c : message) checksum += c;
  std::snprintf(text, sizeof text, "%03u", checksum % 256);
  field(message, 10, text);
  return message;
}

struct Corpus {
  std::string reply;
  size_t quotes = 0;
  std::vector<std::string> fix;
  size_t fixBytes = 0;

  Corpus() {
    const std::string plain = benchfeed::FeedCorpus(2024, benchfeed::kQuotesOnly).build(kCorpusBytes);
    reply = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + benchfeed::encodeOurs(plain);
    auto keeping = std::make_unique<KeepingParser>();
    if (!deliverReply(*keeping, reply)) throw std::runtime_error("the corpus does not parse");
    quotes = keeping->quotes.size();
    int sequence = 0;
    for (const auto& [subscription, quote] : keeping->quotes) {
      fix.push_back(fixMessage(++sequence, subscription, quote));
      fixBytes += fix.back().size();
    }
  }
};

const Corpus& corpus() {
  static const Corpus c;
  return c;
}

void BM_QuotesOurs(benchmark::State& state) {
  const Corpus& c = corpus();
  Subscribed subscribed;
  for (auto _ : state) {
    auto parser = std::make_unique<DispatchingParser>(subscribed);
    if (!deliverReply(*parser, c.reply)) state.SkipWithError("parse failed");
  }
  if (subscribed.listener.quotes != state.iterations() * c.quotes) state.SkipWithError("quotes lost");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.quotes));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.reply.size()));
}

void BM_QuotesQuickFix(benchmark::State& state) {
  if (!fixpeer::available()) {
    state.SkipWithError("QuickFIX/C++ is not installed (Debian package libquickfix-dev)");
    return;
  }
  const Corpus& c = corpus();
  const std::vector<int> tags = numberTags();
  for (auto _ : state) {
    size_t fields = 0;
    benchmark::DoNotOptimize(fixpeer::parseAndRead(c.fix, tags, kTimeTag, fields));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.fix.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.fixBytes));
}

BENCHMARK(BM_QuotesOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuotesQuickFix)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
