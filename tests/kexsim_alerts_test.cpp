// The alert endpoints and the message query over loopback sockets: alerts
// added, replaced, listed and removed with the texts the client URL-encodes
// read back as sent, refusals in Russian, messages by number and by time range
// read with the client's decoder (a text of several kilobytes in pieces), the
// session check and the faults of each request kind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "kexsim_cp1251.h"
#include "kexsim_record_writer.h"
#include "kexsim_test_support.h"

namespace kexsim::testing {
namespace {

const int64_t kStart = static_cast<int64_t>(packTime(2024, 1, 5, 10, 0, 0));

// An alert record as the client reads it, and the end nibble alone.
constexpr const char* kAlert = "ssltitiiidtdiiSSSs.";

// An add request's parameters; the last four are sent URL-encoded.
struct AddAlert {
  std::string portfolio = "D-10001";
  std::string exchange = "MB";
  std::string security = "SBER";
  long long number = 0;
  std::string field = "LAST";
  std::string condition = "FALL";
  double value = 245.5;
  int days = 3;
  int flags = 5;
  std::string workspace = "%D0%E0%E1%EE%F7%E0%FF%20%EE%E1%EB%E0%F1%F2%FC";  // "Рабочая область" in CP1251
  std::string sound = "C%3A%5Csounds%5Cding.wav";
  std::string email = "ivan%20petrov@mail.ru";
  std::string sms = "%2B79001234567";
};

std::string addUrl(const AddAlert& a) {
  char url[2048];
  std::snprintf(url, sizeof url,
                "/kx2/add-alert.php?portfolio=%s&exchange=%s&security=%s&alertno=%lld&field=%s&cond=%s"
                "&cond_value=%f&days=%d&flags=%d&flagkexora=&workspace=%s&sound=%s&email=%s&sms=%s",
                a.portfolio.c_str(), a.exchange.c_str(), a.security.c_str(), a.number, a.field.c_str(),
                a.condition.c_str(), a.value, a.days, a.flags, a.workspace.c_str(), a.sound.c_str(),
                a.email.c_str(), a.sms.c_str());
  return url;
}

std::string removeUrl(int64_t number) {
  return "/kx2/remove-alert.php?portfolio=D-10001&alertno=" + std::to_string(number);
}

std::string tagged(const std::string& tag, const std::string& utf8) {
  return "<" + tag + ">" + toCp1251(utf8) + "</" + tag + ">";
}

std::string statusLine(const std::string& reply) { return reply.substr(0, reply.find("\r\n")); }
std::string bodyOf(const std::string& reply) { return reply.substr(reply.find("\r\n\r\n") + 4); }

std::string headerOf(const std::string& reply, const std::string& name) {
  size_t at = reply.find("\r\n" + name + ": ");
  if (at == std::string::npos) return {};
  at += name.size() + 4;
  return reply.substr(at, reply.find("\r\n", at) - at);
}

LayoutParser alertsParser() { return LayoutParser([](const LayoutParser&) { return fixedLayouts({".", kAlert}); }); }

bool endsWithEndRecord(const LayoutParser& parser) {
  return !parser.records.empty() && parser.records.back().layout == ".";
}

class KexsimAlerts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.start());
    session = logOn(server.plainPort());
    ASSERT_FALSE(session.empty());
  }

  std::string query(const std::string& pathAndQuery) {
    return roundTrip(server.plainPort(), getRequest(pathAndQuery + "&" + session, server.plainPort()));
  }

  // The alert records of a list reply, without the end record.
  std::vector<Record> alerts(const std::string& pathAndQuery) {
    std::string reply = query(pathAndQuery);
    EXPECT_EQ(statusLine(reply), "HTTP/1.0 200 OK");
    LayoutParser parser = alertsParser();
    EXPECT_EQ(deliver(parser, reply, 7), 0);
    EXPECT_TRUE(endsWithEndRecord(parser));
    std::vector<Record> found(parser.records.begin(), parser.records.end());
    if (!found.empty()) found.pop_back();
    return found;
  }

  // The messages of a query's reply, read in pieces of the given size.
  std::vector<QueriedMessage> messages(const std::string& parameters, size_t piece = 4096) {
    std::string reply = query("/kx2/get-messages-zbin.php?" + parameters);
    EXPECT_EQ(statusLine(reply), "HTTP/1.0 200 OK");
    MessageQueryParser parser;
    EXPECT_EQ(deliver(parser, reply, piece), 0);
    EXPECT_EQ(parser.ends, 1) << parameters;
    return parser.messages;
  }

  Server server{stillMarket()};
  std::string session;
};

TEST_F(KexsimAlerts, AddReplaceListAndRemove) {
  std::string first = query(addUrl({}));
  EXPECT_EQ(statusLine(first), "HTTP/1.0 200 OK");
  EXPECT_EQ(bodyOf(first), "<add-alert></add-alert>");
  EXPECT_EQ(headerOf(first, "X-Order-NO"), "1");
  AddAlert second;
  second.security = "GAZP";
  second.field = "VOLUME";
  second.condition = "RAISE";
  second.value = 1000000;
  second.email = "";
  EXPECT_EQ(headerOf(query(addUrl(second)), "X-Order-NO"), "2");

  std::vector<Record> listed = alerts("/kx2/get-alerts-zbin.php?");
  ASSERT_EQ(listed.size(), 2u);
  const std::vector<Value>& v = listed[0].values;
  ASSERT_EQ(v.size(), 18u);
  EXPECT_EQ(text(v[0]), "MB");
  EXPECT_EQ(text(v[1]), "SBER");
  EXPECT_EQ(integer(v[2]), 1);
  EXPECT_EQ(integer(v[3]), kStart);
  EXPECT_EQ(integer(v[4]), 3);
  EXPECT_EQ(integer(v[5]), kStart);
  EXPECT_EQ(integer(v[6]), 1);  // LAST
  EXPECT_EQ(integer(v[7]), 1);  // FALL
  EXPECT_EQ(integer(v[8]), 5);
  EXPECT_EQ(number(v[9]), 245.5);
  EXPECT_EQ(integer(v[10]), 0);
  EXPECT_TRUE(std::isnan(number(v[11])));
  EXPECT_EQ(integer(v[12]), 0);
  EXPECT_EQ(integer(v[13]), 0);
  EXPECT_EQ(text(v[14]), toCp1251("Рабочая область"));
  EXPECT_EQ(text(v[15]), "C:\\sounds\\ding.wav");
  EXPECT_EQ(text(v[16]), "ivan petrov@mail.ru");
  EXPECT_EQ(text(v[17]), "+79001234567");
  EXPECT_EQ(text(listed[1].values[1]), "GAZP");
  EXPECT_EQ(integer(listed[1].values[6]), 4);  // VOLUME
  EXPECT_EQ(integer(listed[1].values[7]), 2);  // RAISE
  EXPECT_EQ(text(listed[1].values[16]), "");

  AddAlert replacement;
  replacement.number = 1;
  replacement.field = "BID";
  replacement.value = 240.25;
  EXPECT_EQ(headerOf(query(addUrl(replacement)), "X-Order-NO"), "1");
  std::vector<Record> one = alerts("/kx2/get-alerts-zbin.php?alertno=1");
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(integer(one[0].values[6]), 2);  // BID
  EXPECT_EQ(number(one[0].values[9]), 240.25);

  EXPECT_EQ(bodyOf(query(removeUrl(1))), "<remove-alert></remove-alert>");
  EXPECT_EQ(bodyOf(query(removeUrl(1))), tagged("remove-alert", "Оповещение не найдено"));
  listed = alerts("/kx2/get-alerts-zbin.php?");
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(integer(listed[0].values[2]), 2);
  EXPECT_TRUE(alerts("/kx2/get-alerts-zbin.php?alertno=1").empty());
  EXPECT_EQ(server.alerts().list("demo").size(), 1u);

  EXPECT_EQ(server.log().ofKind(kAddAlertKind).size(), 3u);
  EXPECT_EQ(server.log().ofKind(kRemoveAlertKind).size(), 2u);
  EXPECT_EQ(server.log().ofKind(kAlertsKind).size(), 4u);
}

TEST_F(KexsimAlerts, RefusalsLeaveTheAlertsAlone) {
  struct Case {
    const char* name;
    const char* parameter;
    const char* value;
    const char* text;
  };
  const Case cases[] = {
      {"other user's portfolio", "portfolio", "T-20002", "Неизвестный портфель"},
      {"unknown security", "security", "NONE", "Неизвестный инструмент"},
      {"field INVALID", "field", "INVALID", "Неверное поле оповещения"},
      {"field outside the list", "field", "PRICE", "Неверное поле оповещения"},
      {"condition outside the list", "cond", "BASIC", "Неверное условие оповещения"},
      {"unknown alert to replace", "alertno", "99", "Оповещение не найдено"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AddAlert alert;
    std::string parameter = c.parameter;
    if (parameter == "portfolio") alert.portfolio = c.value;
    if (parameter == "security") alert.security = c.value;
    if (parameter == "field") alert.field = c.value;
    if (parameter == "cond") alert.condition = c.value;
    if (parameter == "alertno") alert.number = std::stoll(c.value);
    std::string reply = query(addUrl(alert));
    EXPECT_EQ(statusLine(reply), "HTTP/1.0 200 OK");
    EXPECT_EQ(headerOf(reply, "Content-Type"), "text/html; charset=CP1251");
    EXPECT_EQ(bodyOf(reply), tagged("add-alert", c.text));
  }
  EXPECT_EQ(bodyOf(query("/kx2/remove-alert.php?portfolio=T-20002&alertno=1")),
            tagged("remove-alert", "Неизвестный портфель"));
  EXPECT_TRUE(server.alerts().list("demo").empty());
  EXPECT_TRUE(alerts("/kx2/get-alerts-zbin.php?").empty());
}

TEST_F(KexsimAlerts, EveryEndpointWantsASession) {
  for (const std::string& url : {addUrl({}), removeUrl(1), std::string("/kx2/get-alerts-zbin.php?"),
                                 std::string("/kx2/get-messages-zbin.php?channel=NEWS&from=1")}) {
    std::string reply = roundTrip(server.plainPort(), getRequest(url + "&sid=0000000000000000", server.plainPort()));
    EXPECT_EQ(statusLine(reply), "HTTP/1.0 401 Unauthorized") << url;
  }
  EXPECT_TRUE(server.alerts().list("demo").empty());
}

// The built-in channels hold messages 1 to 20, one a minute from 09:40 to
// 09:59 on the market's first day.
TEST_F(KexsimAlerts, MessagesByNumberAndByTime) {
  struct Case {
    const char* parameters;
    const char* numbers;
  };
  const Case cases[] = {
      {"channel=NEWS&from=3&to=5", "3 4 5"},
      {"channel=NEWS&from=18", "18 19 20"},
      {"channel=MSG&from=20&to=0", "20"},
      {"channel=NEWS&from=25", ""},
      {"channel=NONE&from=1", ""},
      {"channel=NEWS&since=20240105095000&till=20240105095200", "11 12 13"},
      {"channel=MSG&since=20240105095800", "19 20"},
      {"channel=NEWS&since=20240105100000", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parameters);
    std::string numbers;
    for (const QueriedMessage& message : messages(c.parameters, 5)) {
      if (!numbers.empty()) numbers += ' ';
      numbers += std::to_string(message.number);
    }
    EXPECT_EQ(numbers, c.numbers);
  }
  std::vector<QueriedMessage> found = messages("channel=MSG&from=7&to=7");
  ASSERT_EQ(found.size(), 1u);
  const QueriedMessage& seventh = found[0];
  EXPECT_EQ(seventh.time, static_cast<int64_t>(packTime(2024, 1, 5, 9, 46, 0)));
  EXPECT_EQ(seventh.texts[0], toCp1251("Сообщение 7"));
  EXPECT_EQ(seventh.texts[1], toCp1251("MSG: текст сообщения 7"));
  EXPECT_EQ(seventh.texts[2], toCp1251("Сообщения биржи"));
  EXPECT_EQ(server.log().ofKind(kMessageQueryKind).size(), std::size(cases) + 1);
}

TEST_F(KexsimAlerts, LongTextArrivesInPieces) {
  std::string body;
  for (int line = 0; body.size() < 6000; ++line) body += toCp1251("Строка " + std::to_string(line) + " длинного сообщения. ");
  int64_t time = static_cast<int64_t>(packTime(2024, 1, 5, 10, 30, 0));
  EXPECT_EQ(server.messages().add("NEWS", static_cast<uint64_t>(time), "subject", body, "source"), 21);
  EXPECT_EQ(server.messages().add("EXTRA", static_cast<uint64_t>(time), "", "", ""), 1);
  // Read a byte or 64 bytes at a time, the body reaches the parser in many
  // decode steps; read whole, in one.
  for (size_t piece : {size_t{1}, size_t{64}, size_t{100000}}) {
    SCOPED_TRACE(piece);
    std::vector<QueriedMessage> found = messages("channel=NEWS&from=20&to=21", piece);
    ASSERT_EQ(found.size(), 2u);
    const QueriedMessage& longOne = found[1];
    EXPECT_EQ(longOne.number, 21);
    EXPECT_EQ(longOne.time, time);
    EXPECT_EQ(longOne.texts[0], "subject");
    EXPECT_EQ(longOne.texts[1], body);
    EXPECT_EQ(longOne.texts[2], "source");
    EXPECT_EQ(longOne.pieces[1] > 1, piece < 100000);
  }
  std::vector<QueriedMessage> empty = messages("channel=EXTRA&since=20240105103000&till=20240105103000");
  ASSERT_EQ(empty.size(), 1u);
  EXPECT_EQ(empty[0].texts[1], "");
}

// Faults by request kind: what the client's reader makes of the reply.
TEST_F(KexsimAlerts, FaultsPerRequestKind) {
  ASSERT_EQ(bodyOf(query(addUrl({}))), "<add-alert></add-alert>");
  struct Case {
    const char* kind;
    const std::string& url;
    FaultType type;
    int status;
  };
  const std::string add = addUrl({});
  const std::string remove = removeUrl(1);
  const std::string list = "/kx2/get-alerts-zbin.php?";
  const std::string range = "/kx2/get-messages-zbin.php?channel=NEWS&from=1&to=4";
  const Case cases[] = {
      {kAddAlertKind, add, FaultType::kStatus, 500},
      {kRemoveAlertKind, remove, FaultType::kStatus, 403},
      {kAddAlertKind, add, FaultType::kCloseMidBody, 0},
      {kAlertsKind, list, FaultType::kStatus, 404},
      {kAlertsKind, list, FaultType::kCloseBeforeEnd, 0},
      {kAlertsKind, list, FaultType::kCloseMidBody, 0},
      {kAlertsKind, list, FaultType::kCorruptRecord, 0},
      {kAlertsKind, list, FaultType::kDelay, 0},
      {kMessageQueryKind, range, FaultType::kStatus, 500},
      {kMessageQueryKind, range, FaultType::kCloseBeforeEnd, 0},
      {kMessageQueryKind, range, FaultType::kCloseMidBody, 0},
      {kMessageQueryKind, range, FaultType::kCorruptRecord, 0},
      {kMessageQueryKind, range, FaultType::kDelay, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(static_cast<int>(c.type)));
    Fault fault;
    fault.type = c.type;
    fault.status = c.status;
    fault.delayMs = c.type == FaultType::kDelay ? 100 : 0;
    fault.times = 1;
    server.faults().set(c.kind, fault);
    std::string reply = query(c.url);
    bool action = std::string(c.kind) == kAddAlertKind || std::string(c.kind) == kRemoveAlertKind;
    if (c.type == FaultType::kStatus) {
      EXPECT_EQ(reply.rfind("HTTP/1.0 " + std::to_string(c.status) + " ", 0), 0u);
      if (action) {
        std::string tag = c.kind;
        EXPECT_EQ(bodyOf(reply), tagged(tag, c.status == 403 ? "Доступ запрещён" : "Внутренняя ошибка сервера"));
      }
      continue;
    }
    ASSERT_EQ(statusLine(reply), "HTTP/1.0 200 OK");
    if (action) {
      EXPECT_LT(bodyOf(reply).size(), std::string("<add-alert></add-alert>").size());
      continue;
    }
    bool ended = false;
    int result = 0;
    if (std::string(c.kind) == kAlertsKind) {
      LayoutParser parser = alertsParser();
      result = deliver(parser, reply, 4096);
      ended = endsWithEndRecord(parser);
    } else {
      MessageQueryParser parser;
      result = deliver(parser, reply, 4096);
      ended = parser.ends == 1;
    }
    EXPECT_EQ(result < 0, c.type == FaultType::kCorruptRecord);
    EXPECT_EQ(ended, c.type == FaultType::kDelay);
  }
  // The add refused by its status stored nothing; the one whose reply was cut did.
  EXPECT_EQ(server.alerts().list("demo").size(), 2u);
}

}  // namespace
}  // namespace kexsim::testing
