// Arbitrary bytes as the replies of the order endpoints. The first byte's low
// two bits pick what is read:
//   0  the reply of one order action (HTTP header and "<tag>text<..." body)
//   1  the replies of the streaming order channel, one after another on one
//      connection
//   2  the decoded record of the order-error query
//   3  the same, the reply's charset being the bytes up to the first line end
// and bits 2-3 how the bytes are cut into reads. Action replies are read
// whole and in pieces, which must give the same first answer; every reply reported
// reaches the observer first, with the same order number and cookie; a
// one-shot action is answered, the close of the connection included (the
// parser reads on after the first reply, so a server that sends more on a
// one-shot connection is heard more than once). The order-error record is read twice, offered from exact-size
// copies and compressed in a reply cut into pieces: answers stay within the
// bytes offered, both runs make the same calls, and the query is answered
// exactly once.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "orders/wexel_action_parser.h"
#include "orders/wexel_cancel_order_request.h"

namespace {

using fuzzcheck::EventLog;
using namespace wexel;

constexpr WContext kContext = 9;
constexpr WCookie kCookie = 5;
constexpr int64_t kOrderNo = 123;

// ---- action replies ------------------------------------------------------------------

struct ActionListener : WexelOrderActionResultListener, WActionReplyObserver {
  EventLog* log;
  std::string firstAnswer;  // the log once the first answer is in
  int observed = 0;
  int64_t observedOrderNo = 0;
  WCookie observedCookie = 0;
  explicit ActionListener(EventLog* l) : log(l) {}

  void onActionReply(int64_t orderNo, WCookie cookie) override {
    ++observed;
    observedOrderNo = orderNo;
    observedCookie = cookie;
  }
  void onActionResult(void* reserved, const std::string& portfolio, const std::string&, const std::string&,
                      int64_t orderNo, const std::string& message, const std::string& action, WCookie cookie,
                      WContext context) override {
    FUZZ_REQUIRE(reserved == nullptr && portfolio == "D-10001" && context == kContext);
    // The observer heard of this reply just before.
    FUZZ_REQUIRE(observed == log->answers + 1 && observedOrderNo == orderNo && observedCookie == cookie);
    FUZZ_REQUIRE(message.find('\n') == std::string::npos);
    log->tag('R');
    log->record(orderNo);
    log->record(cookie);
    log->add(message);
    log->add(action);
    if (++log->answers == 1) firstAnswer = log->text;
  }
  void onError(WCookie cookie, WContext context, const std::string& message, int code) override {
    FUZZ_REQUIRE(context == kContext && code <= 0);
    log->tag('!');
    log->record(cookie);
    log->add(message);
    log->record(code);
    log->error();
    if (++log->answers == 1) firstAnswer = log->text;
  }
};

struct ActionRun {
  EventLog log;
  ActionListener listener{&log};
  WActionParser parser{&listener, "D-10001", "MB", "SBER", kOrderNo, kCookie, kContext};
  ActionRun() { parser.setObserver(&listener); }
};

// One connection's bytes read whole and in pieces.
void readActionReplies(std::string_view bytes, size_t piece, bool oneShot) {
  const auto whole = std::make_unique<ActionRun>();
  const auto pieces = std::make_unique<ActionRun>();
  for (ActionRun* run : {whole.get(), pieces.get()}) {
    fuzzcheck::deliverResponse(run->parser, bytes, run == whole.get() ? bytes.size() : piece);
    FUZZ_REQUIRE(run->listener.observed + run->log.errors == run->log.answers);
    if (oneShot) {
      // As WOrderActionRequest::onError: the close is news only before an outcome.
      if (run->parser.claimOutcome()) run->listener.onError(kCookie, kContext, "closed", kErrorClosed);
      FUZZ_REQUIRE(run->log.answers >= 1);
    }
  }
  // A single read holds at most the parser's buffer: only then is "whole" one
  // read. Only the first answer is compared: after a reply without a
  // Content-Length the parser takes the rest of the read as that reply's
  // while a later read starts a new reply, so what follows depends on the cuts.
  if (bytes.size() < static_cast<size_t>(WexelParser::kBufferSize)) {
    FUZZ_REQUIRE(whole->listener.firstAnswer == pieces->listener.firstAnswer);
  }
}

// ---- the order-error query ------------------------------------------------------------

std::string gCharset;  // the reply's charset for the subjects of one input

struct OrderErrorListener : WexelOrderErrorListener {
  EventLog* log;
  explicit OrderErrorListener(EventLog* l) : log(l) {}
  void onOrderError(const WOrderErrorInfo& info, WContext context) override {
    FUZZ_REQUIRE(context == kContext);
    FUZZ_REQUIRE(std::memchr(info.text, 0, sizeof info.text) != nullptr);
    log->tag('E');
    log->record(info.orderNo);
    log->record(info.time);
    log->add(info.text);
    ++log->answers;
  }
  void onError(WContext context, const std::string&, int code) override {
    FUZZ_REQUIRE(context == kContext && code <= 0);
    log->error();
    ++log->answers;
  }
};

struct OrderErrorSubject {
  EventLog log;
  OrderErrorListener listener{&log};
  WGetCancelOrderDescrParser parser{&listener, kContext};
  OrderErrorSubject() {
    if (!gCharset.empty()) parser.onHeaderField("Content-Type", ("text/html; charset=" + gCharset).c_str());
  }
  // As WGetCancelOrderDescr::onError.
  void close() {
    if (parser.claimOutcome()) listener.onError(kContext, "closed", kErrorClosed);
  }
  void check() const { FUZZ_REQUIRE(log.answers == 1); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t piece = fuzzcheck::pieceSize(mode >> 2, bytes.size());
  switch (mode & 3) {
    case 0:
    case 1: readActionReplies(bytes, piece, (mode & 3) == 0); break;
    default: {
      gCharset.clear();
      if ((mode & 3) == 3) {
        const size_t line = bytes.find('\n');
        gCharset = std::string(bytes.substr(0, std::min(line, size_t{40})));
        gCharset.erase(std::find(gCharset.begin(), gCharset.end(), '\0'), gCharset.end());
        bytes.remove_prefix(line == std::string_view::npos ? bytes.size() : line + 1);
      }
      fuzzcheck::runBothWays<OrderErrorSubject>(bytes, piece);
      break;
    }
  }
  return 0;
}
