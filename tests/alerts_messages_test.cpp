// Alerts and message queries without a server: their URLs, the alerts reply,
// and the messages reply with its raw texts, whole, byte by byte and cut at
// every split, as the decoder would offer them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alerts/wexel_alerts.h"
#include "kexsim_record_writer.h"
#include "record_test_support.h"

namespace wexel {
namespace {

using kexsim::packTime;
using kexsim::RecordWriter;
using testing::compressed;
using testing::deliverResponse;
using testing::okResponse;

TEST(AlertUrls, EveryRequestAsTheServerReadsIt) {
  WAlertFields fields{2, 1, 250.5, 3, 1, "main desk", "bell.wav", "robot user@example.com", "+7 900"};
  const PackedTime since = packTime(2026, 12, 10, 9, 0, 0);
  const PackedTime till = packTime(2026, 12, 10, 18, 30, 0);
  EXPECT_EQ(getAlertsUrl(0), "/kx2/get-alerts-zbin.php?");
  EXPECT_EQ(getAlertsUrl(17), "/kx2/get-alerts-zbin.php?alertno=17");
  EXPECT_EQ(addAlertUrl("D-10001", "MB", "SBER", 0, fields),
            "/kx2/add-alert.php?portfolio=D-10001&exchange=MB&security=SBER&alertno=0&field=BID&cond=FALL"
            "&cond_value=250.500000&days=3&flags=1&flagkexora=&workspace=main%20desk&sound=bell.wav"
            "&email=robot%20user@example.com&sms=+7%20900");
  EXPECT_EQ(removeAlertUrl("D-10001", 17), "/kx2/remove-alert.php?portfolio=D-10001&alertno=17");
  EXPECT_EQ(messagesByNumberUrl("news", 5, 0), "/kx2/get-messages-zbin.php?channel=news&from=5");
  EXPECT_EQ(messagesByNumberUrl("news", 5, 9), "/kx2/get-messages-zbin.php?channel=news&from=5&to=9");
  EXPECT_EQ(messagesByTimeUrl("news", since, 0), "/kx2/get-messages-zbin.php?channel=news&since=20261210090000");
  EXPECT_EQ(messagesByTimeUrl("news", since, till),
            "/kx2/get-messages-zbin.php?channel=news&since=20261210090000&till=20261210183000");
  fields.fieldIndex = 5;
  EXPECT_EQ(addAlertUrl("D-10001", "MB", "SBER", 0, fields), "");
  EXPECT_EQ(messagesByNumberUrl("news&x=1", 1, 0), "");
}

struct MessagesRecorder : WexelMessagesQueryListener {
  std::vector<std::vector<WChannelMessage>> results;
  std::vector<std::string> errors;
  void onResult(const std::string&, const std::vector<WChannelMessage>& messages, WContext) override {
    results.push_back(messages);
  }
  void onError(WContext, const std::string& message, int code) override {
    errors.push_back(std::to_string(code) + " " + message);
  }
};

// A message: number, time, group mark, then three raw texts each ended by a
// zero byte, the later two opened by a group mark, then the end of its record.
std::string message(int64_t number, uint64_t time, const std::string& a, const std::string& b,
                    const std::string& c) {
  RecordWriter w;
  w.int64(number).dateTime(time).groupMark();
  std::string raw = w.take() + a + '\0';
  w.groupMark();
  raw += w.take() + b + '\0';
  w.groupMark();
  raw += w.take() + c + '\0';
  w.recordEnd();
  return raw + w.take();
}

std::string twoMessagesAndEnd(const std::string& longText) {
  const uint64_t t = packTime(2026, 12, 10, 9, 30, 0);
  RecordWriter end;
  end.recordEnd();
  return message(41, t, "Headline", longText, "") + message(42, t, "Second", "body", "tail") + end.take();
}

TEST(MessagesParser, TwoMessagesWithTheirTextsHoweverTheReplyIsCut) {
  const std::string longText(6000, 'x');  // spans several decode steps
  const std::string reply = okResponse(compressed(twoMessagesAndEnd(longText)));
  for (size_t piece : {size_t{8191}, size_t{1}, size_t{977}}) {
    MessagesRecorder listener;
    WGetMessagesParser parser(&listener, "news", 3);
    EXPECT_EQ(deliverResponse(parser, reply, piece), 0);
    ASSERT_EQ(listener.results.size(), 1u) << piece;
    const auto& messages = listener.results[0];
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].messageNumber, 41);
    EXPECT_EQ(messages[0].text1, "Headline");
    EXPECT_EQ(messages[0].text2, longText);
    EXPECT_EQ(messages[0].text3, "");
    EXPECT_EQ(messages[1].text1, "Second");
    EXPECT_EQ(messages[1].text3, "tail");
    EXPECT_EQ(parser.state(), 0);
    EXPECT_FALSE(parser.claimOutcome()) << "the reply ended: nothing more to report";
  }
}

// A reply that stops inside a message delivers nothing and leaves the outcome
// to be reported when the connection closes.
TEST(MessagesParser, AReplyCutBeforeItsEndDeliversNothing) {
  std::string records = twoMessagesAndEnd("text");
  records.resize(records.size() - 30);
  MessagesRecorder listener;
  WGetMessagesParser parser(&listener, "news", 3);
  EXPECT_EQ(deliverResponse(parser, okResponse(compressed(records)), 8191), 0);
  EXPECT_TRUE(listener.results.empty());
  EXPECT_TRUE(parser.claimOutcome());
}

struct AlertsRecorder : WexelAlertsListener {
  std::vector<WAlert> alerts;
  int calls = 0;
  void onAlerts(void*, const std::vector<WAlert>& a, WContext) override {
    alerts = a;
    ++calls;
  }
  void onError(WContext, const std::string&, int) override {}
};

TEST(AlertsParser, AlertsThenTheEndNibbleAlone) {
  RecordWriter w;
  const uint64_t t = packTime(2026, 12, 10, 9, 30, 0);
  for (int n : {1, 2}) {
    w.string("MB").string("SBER").int64(n).dateTime(t).int32(0).dateTime(t).int32(2).int32(1).int32(0)
        .decimal("250.5").dateTime(t).decimal("0").int32(3).int32(1).string("desk").string("bell")
        .string("a@b").string("+7").recordEnd();
  }
  w.recordEnd();
  for (size_t piece : {size_t{8191}, size_t{1}}) {
    AlertsRecorder listener;
    WAlertsParser parser(&listener, 1);
    EXPECT_EQ(deliverResponse(parser, okResponse(compressed(w.bytes())), piece), 0);
    EXPECT_EQ(listener.calls, 1);
    ASSERT_EQ(listener.alerts.size(), 2u);
    EXPECT_EQ(listener.alerts[1].number3, 2);
    EXPECT_EQ(listener.alerts[1].value10, 250.5);
    EXPECT_EQ(std::string(listener.alerts[1].text17), "a@b");
  }
}

}  // namespace
}  // namespace wexel
