// Arbitrary bytes as decoded records of the securities guide or of one of the
// four feeds (quotes, all trades, order book, messages). The first byte picks
// the parser (its value modulo 5) and, in bits 3-4, how the reply is cut.
// Each parser reads the records twice, offered one by one from exact-size
// copies and compressed in a reply cut into pieces: every answer stays within
// the bytes offered, both runs make the same calls, and the guide is answered
// exactly once (the guide or an error), the close of the connection included.
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "market/wexel_feed_parser.h"
#include "market/wexel_get_guide_request.h"

namespace {

using fuzzcheck::EventLog;
using namespace wexel;

struct GuideListener : WexelReferenceSecuritiesListener {
  EventLog* log;
  explicit GuideListener(EventLog* l) : log(l) {}
  void onSecurities(const std::vector<WSecurity>& securities, const std::vector<WGuidePair>& section1,
                    const std::vector<WGuidePair>& section2, const std::vector<WGuidePair>& section3) override {
    log->tag('G');
    log->records(securities);
    log->records(section1);
    log->records(section2);
    log->records(section3);
    ++log->answers;
  }
  void onError(const std::string&, int code) override {
    FUZZ_REQUIRE(code <= 0);
    log->error();
    ++log->answers;
  }
};

struct GuideSubject {
  EventLog log;
  GuideListener listener{&log};
  WGuideParser parser{&listener};
  // As WGetGuideRequest::onError: the close is news only before an outcome.
  void close() {
    if (parser.claimOutcome()) listener.onError("closed", kErrorClosed);
  }
  void check() const { FUZZ_REQUIRE(log.answers == 1); }
};

// The feed parsers without an instance, their deliveries logged.
struct QuotesParser : WQuotesFeedParser {
  EventLog* log;
  explicit QuotesParser(EventLog* l) : WQuotesFeedParser(nullptr), log(l) {}
  void deliverQuote(int subscription, const WQuote& quote) override {
    log->tag('Q');
    log->record(subscription);
    log->record(quote);
  }
};

struct TradesParser : WTradesFeedParser {
  EventLog* log;
  explicit TradesParser(EventLog* l) : WTradesFeedParser(nullptr), log(l) {}
  void deliverTrades(int subscription, const std::vector<WTradeTick>& ticks) override {
    log->tag('T');
    log->record(subscription);
    log->records(ticks);
  }
};

struct BookParser : WOrdersFeedParser {
  EventLog* log;
  explicit BookParser(EventLog* l) : WOrdersFeedParser(nullptr), log(l) {}
  void deliverBidAsks(int subscription, const std::vector<WBidAskRow>& rows) override {
    log->tag('B');
    log->record(subscription);
    for (const WBidAskRow& row : rows) {  // field by field: the record has padding
      FUZZ_REQUIRE(row.side == 'B' || row.side == 'A');
      log->record(row.side);
      log->record(row.price);
      log->record(row.volume);
    }
  }
};

struct MessagesParser : WMessagesFeedParser {
  EventLog* log;
  explicit MessagesParser(EventLog* l) : WMessagesFeedParser(nullptr), log(l) {}
  void deliverMessage(int subscription, const WFeedMessage& message) override {
    log->tag('M');
    log->record(subscription);
    log->record(message.messageNumber);  // field by field: the record has padding
    log->record(message.extra);
  }
};

// A feed never ends by itself and reports a dead feed to its listeners
// through the feed, which a parser on its own does not have.
template <typename Parser>
struct FeedSubject {
  EventLog log;
  Parser parser{&log};
  void close() {}
  void check() const {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const std::string_view records(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t piece = fuzzcheck::pieceSize(mode >> 3, records.size());
  switch (mode % 5) {
    case 0: fuzzcheck::runBothWays<GuideSubject>(records, piece); break;
    case 1: fuzzcheck::runBothWays<FeedSubject<QuotesParser>>(records, piece); break;
    case 2: fuzzcheck::runBothWays<FeedSubject<TradesParser>>(records, piece); break;
    case 3: fuzzcheck::runBothWays<FeedSubject<BookParser>>(records, piece); break;
    default: fuzzcheck::runBothWays<FeedSubject<MessagesParser>>(records, piece); break;
  }
  return 0;
}
