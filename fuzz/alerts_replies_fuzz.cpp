// Arbitrary bytes as decoded records of the alert list (first byte even) or
// of the message query (odd); bits 3-4 of the first byte say how the reply is
// cut. Each parser reads the records twice, offered one by one from
// exact-size copies and compressed in a reply cut into pieces: every answer
// stays within the bytes offered, both runs make the same calls, and the
// query is answered exactly once (its list or an error), the close of the
// connection included.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "alerts/wexel_alerts.h"
#include "fuzz_checks.h"

namespace {

using fuzzcheck::EventLog;
using namespace wexel;

constexpr WContext kContext = 7;
constexpr char kChannel[] = "desk";

template <size_t N>
bool terminated(const char (&text)[N]) {
  return std::memchr(text, 0, N) != nullptr;
}

struct AlertsListener : WexelAlertsListener {
  EventLog* log;
  explicit AlertsListener(EventLog* l) : log(l) {}
  void onAlerts(void* reserved, const std::vector<WAlert>& alerts, WContext context) override {
    FUZZ_REQUIRE(reserved == nullptr && context == kContext);
    for (const WAlert& a : alerts) {
      FUZZ_REQUIRE(terminated(a.text1) && terminated(a.text2) && terminated(a.text15) && terminated(a.text16) &&
                   terminated(a.text17) && terminated(a.text18));
    }
    log->tag('A');
    log->records(alerts);
    ++log->answers;
  }
  void onError(WContext context, const std::string&, int code) override {
    FUZZ_REQUIRE(context == kContext && code <= 0);
    log->error();
    ++log->answers;
  }
};

struct AlertsSubject {
  EventLog log;
  AlertsListener listener{&log};
  WAlertsParser parser{&listener, kContext};
  // As WAlertsQueryRequest::onError: the close is news only before an outcome.
  void close() {
    if (parser.claimOutcome()) listener.onError(kContext, "closed", kErrorClosed);
  }
  void check() const { FUZZ_REQUIRE(log.answers == 1); }
};

struct MessagesListener : WexelMessagesQueryListener {
  EventLog* log;
  explicit MessagesListener(EventLog* l) : log(l) {}
  void onResult(const std::string& channel, const std::vector<WChannelMessage>& messages, WContext context) override {
    FUZZ_REQUIRE(channel == kChannel && context == kContext);
    log->tag('M');
    for (const WChannelMessage& m : messages) {
      log->record(m.messageNumber);
      log->record(m.time);
      log->add(m.text1);
      log->add(m.text2);
      log->add(m.text3);
    }
    ++log->answers;
  }
  void onError(WContext context, const std::string&, int code) override {
    FUZZ_REQUIRE(context == kContext && code <= 0);
    log->error();
    ++log->answers;
  }
};

struct MessagesSubject {
  EventLog log;
  MessagesListener listener{&log};
  WGetMessagesParser parser{&listener, kChannel, kContext};
  void close() {
    if (parser.claimOutcome()) listener.onError(kContext, "closed", kErrorClosed);
  }
  void check() const { FUZZ_REQUIRE(log.answers == 1); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const std::string_view records(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t piece = fuzzcheck::pieceSize(mode >> 3, records.size());
  if (mode & 1) {
    fuzzcheck::runBothWays<MessagesSubject>(records, piece);
  } else {
    fuzzcheck::runBothWays<AlertsSubject>(records, piece);
  }
  return 0;
}
