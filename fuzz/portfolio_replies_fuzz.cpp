// Arbitrary bytes as decoded records of the portfolio stream or of a
// portfolio query. The first byte modulo 7 picks the parser: 0 the stream,
// 1 the timed stream (mode 1), 2 my orders, 3 my trades, 4 closed positions,
// 5 real positions, 6 the several-portfolio reply; its bits 3-4 how the reply
// is cut. Each parser reads the records twice, offered one by one from
// exact-size copies and compressed in a reply cut into pieces: every answer
// stays within the bytes offered, both runs make the same calls, and a
// listener hears at most one error. A one-shot query is answered exactly
// once (its list or an error), the close of the connection included.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "portfolio/wexel_get_portfolio.h"
#include "portfolio/wexel_get_portfolio_mass_request.h"
#include "portfolio/wexel_get_real_pos.h"
#include "portfolio/wexel_portfolio_records.h"

namespace {

using fuzzcheck::EventLog;
using namespace wexel;

constexpr char kPortfolio[] = "D-10001";
constexpr WContext kContext = 42;

// ---- the stream ----------------------------------------------------------------------

struct StreamListener : WexelPortfolioListener {
  EventLog* log;
  explicit StreamListener(EventLog* l) : log(l) {}
  void onMoney(const std::string&, const WPortfolioMoney& r) override { logged('0', r); }
  void onOrder(const std::string&, const WPortfolioOrder& r) override { logged('1', r); }
  void onTrade(const std::string&, const WPortfolioTrade& r) override { logged('2', r); }
  void onPosition(const std::string&, const WPortfolioPosition& r) override {
    FUZZ_REQUIRE(r.side == 1 || r.side == 2);
    logged('3', r);
  }
  void onRecord4(const std::string&, const WMyClosePos& r) override { logged('4', r); }
  void onRecord6(const std::string&, const WPortfolioRecord6& r) override { logged('6', r); }
  void onRecord8(const std::string&, const WPortfolioRecord8& r) override { logged('8', r); }
  void onRecord9(const std::string&, const WPortfolioRecord9& r) override { logged('9', r); }
  void onError(const std::string& portfolio, const std::string&, int code) override {
    FUZZ_REQUIRE(portfolio == kPortfolio && code <= 0);
    FUZZ_REQUIRE(log->errors == 0);
    log->error();
  }

 private:
  template <typename Record>
  void logged(char tag, const Record& r) {
    FUZZ_REQUIRE(log->errors == 0);  // nothing after the stream was reported dead
    log->tag(tag);
    log->record(r);
  }
};

template <int Mode>
struct StreamSubject {
  EventLog log;
  StreamListener listener{&log};
  WPortfolioParser parser{&listener, kPortfolio, Mode};
  // As WGetPortfolioRequest::onError: the close of a stream is reported once.
  void close() {
    if (parser.claimOutcome()) listener.onError(kPortfolio, "closed", kErrorClosed);
  }
  void check() const { FUZZ_REQUIRE(log.errors == 1); }
};

// ---- the queries of one portfolio -------------------------------------------------------

template <typename Record>
struct ListListener {
  EventLog* log;
  void result(const std::vector<Record>& records, WContext context) {
    FUZZ_REQUIRE(context == kContext);
    log->tag('L');
    log->records(records);
    ++log->answers;
  }
  void error(WContext context, int code) {
    FUZZ_REQUIRE(context == kContext && code <= 0);
    log->error();
    ++log->answers;
  }
};

struct OrdersListener : WexelGetMyOrdersListener, ListListener<WMyOrder> {
  explicit OrdersListener(EventLog* l) : ListListener{l} {}
  void onResult(const std::string&, const std::vector<WMyOrder>& r, WContext c) override { result(r, c); }
  void onError(WContext c, const std::string&, int code) override { error(c, code); }
};
struct TradesListener : WexelGetMyTradesListener, ListListener<WMyTrade> {
  explicit TradesListener(EventLog* l) : ListListener{l} {}
  void onResult(const std::string&, const std::vector<WMyTrade>& r, WContext c) override { result(r, c); }
  void onError(WContext c, const std::string&, int code) override { error(c, code); }
};
struct ClosedListener : WexelGetMyClosePosListener, ListListener<WMyClosePos> {
  explicit ClosedListener(EventLog* l) : ListListener{l} {}
  void onResult(const std::string&, const std::vector<WMyClosePos>& r, WContext c) override { result(r, c); }
  void onError(WContext c, const std::string&, int code) override { error(c, code); }
};
struct RealListener : WexelRealPositionsListener, ListListener<WRealPosition> {
  explicit RealListener(EventLog* l) : ListListener{l} {}
  void onResult(WContext c, const std::string&, const std::vector<WRealPosition>& r) override { result(r, c); }
  void onError(WContext c, const std::string&, int code) override { error(c, code); }
};

// The kinds and readers the query factories give their parsers.
WLayoutRead readQueryOrder(WLZ77Parser& p, WNibbleCursor& c, WMyOrder& r, const char* s) {
  return readOrderRecord(p, c, r, WPortfolioForm::kQuery, s);
}
WLayoutRead readQueryTrade(WLZ77Parser& p, WNibbleCursor& c, WMyTrade& r, const char* s) {
  return readTradeRecord(p, c, r, WPortfolioForm::kQuery, s);
}

template <typename Parser, typename Listener>
struct QuerySubject {
  EventLog log;
  Listener listener{&log};
  Parser parser;
  template <typename... Arguments>
  explicit QuerySubject(Arguments... arguments) : parser(&listener, kPortfolio, kContext, arguments...) {}
  // As WQueryRequest::onError: the close is news only before an outcome.
  void close() {
    if (parser.claimOutcome()) listener.onError(kContext, "closed", kErrorClosed);
  }
  void check() const { FUZZ_REQUIRE(log.answers == 1); }
};

struct OrdersSubject : QuerySubject<WMyOrdersParser, OrdersListener> {
  OrdersSubject() : QuerySubject(3, &readQueryOrder, size_t{10000}) {}
};
struct TradesSubject : QuerySubject<WMyTradesParser, TradesListener> {
  TradesSubject() : QuerySubject(2, &readQueryTrade, size_t{0}) {}
};
struct ClosedSubject : QuerySubject<WMyClosePosParser, ClosedListener> {
  ClosedSubject() : QuerySubject(1, &readClosePosRecord, size_t{0}) {}
};
struct RealSubject : QuerySubject<WRealPosParser, RealListener> {};

// ---- several portfolios ------------------------------------------------------------------

struct MassListener : WexelPortfolioMassListener {
  EventLog* log;
  explicit MassListener(EventLog* l) : log(l) {}
  void onMassOrders(const std::string& p, const std::vector<WMyOrder>& r, WContext c) override { list('O', p, r, c); }
  void onMassTrades(const std::string& p, const std::vector<WMyTrade>& r, WContext c) override { list('T', p, r, c); }
  void onMassClosePositions(const std::string& p, const std::vector<WMyClosePos>& r, WContext c) override {
    list('C', p, r, c);
  }
  void onError(const std::string&, int code, WContext context) override {
    FUZZ_REQUIRE(context == kContext && code <= 0);
    FUZZ_REQUIRE(log->errors == 0);
    log->error();
  }

 private:
  template <typename Record>
  void list(char tag, const std::string& portfolio, const std::vector<Record>& records, WContext context) {
    FUZZ_REQUIRE(context == kContext && !records.empty() && log->errors == 0);
    FUZZ_REQUIRE(portfolio.size() < 34);  // the name field holds 33 bytes and its NUL
    log->tag(tag);
    log->add(portfolio);
    log->records(records);
  }
};

struct MassSubject {
  EventLog log;
  MassListener listener{&log};
  WGetPortfolioMassRequestParser parser{&listener, kContext};
  // As WGetPortfolioMassRequest::onError.
  void close() {
    if (parser.claimOutcome()) listener.onError("closed", kErrorClosed, kContext);
  }
  void check() const { FUZZ_REQUIRE(log.errors <= 1); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const std::string_view records(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t piece = fuzzcheck::pieceSize(mode >> 3, records.size());
  switch (mode % 7) {
    case 0: fuzzcheck::runBothWays<StreamSubject<0>>(records, piece); break;
    case 1: fuzzcheck::runBothWays<StreamSubject<1>>(records, piece); break;
    case 2: fuzzcheck::runBothWays<OrdersSubject>(records, piece); break;
    case 3: fuzzcheck::runBothWays<TradesSubject>(records, piece); break;
    case 4: fuzzcheck::runBothWays<ClosedSubject>(records, piece); break;
    case 5: fuzzcheck::runBothWays<RealSubject>(records, piece); break;
    default: fuzzcheck::runBothWays<MassSubject>(records, piece); break;
  }
  return 0;
}
