// Writes seed inputs for the fuzz targets from kexsim's record writers and
// reply builders, so that every target starts from valid replies:
//
//   make_seeds DIR      writes DIR/corpus_<target>/seed-<name> for each target
//
// Each seed is laid out as its target reads it (a first byte choosing the
// parser, then the reply bytes); the targets' headers describe the layouts.
// Writing again replaces the seeds with the same names.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kexsim_encoder.h"
#include "kexsim_feed_records.h"
#include "kexsim_guide.h"
#include "kexsim_http.h"
#include "kexsim_logon.h"
#include "kexsim_order_texts.h"
#include "kexsim_portfolio_records.h"
#include "kexsim_record_writer.h"
#include "kexsim_scenario.h"

namespace {

using namespace kexsim;
namespace fs = std::filesystem;

const uint64_t kNow = packTime(2026, 12, 10, 14, 30, 5);
const uint64_t kLater = packTime(2026, 12, 10, 15, 0, 0);

class SeedWriter {
 public:
  explicit SeedWriter(fs::path root) : root_(std::move(root)) {}

  void write(const std::string& target, const std::string& name, uint8_t mode, const std::string& bytes) {
    const fs::path folder = root_ / ("corpus_" + target);
    fs::create_directories(folder);
    std::ofstream out(folder / ("seed-" + name), std::ios::binary | std::ios::trunc);
    out.put(static_cast<char>(mode));
    out << bytes;
    ++count_;
  }
  int count() const { return count_; }

 private:
  fs::path root_;
  int count_ = 0;
};

std::string joined(const std::vector<std::string>& records) {
  std::string out;
  for (const std::string& r : records) out += r;
  return out;
}

// ---- market: guide and feeds --------------------------------------------------

SimQuote sampleQuote() {
  SimQuote q{};
  q.open = 250.1;
  q.high = 252.75;
  q.low = 249.5;
  q.close = 250;
  q.last = 251.25;
  q.size = 10;
  q.volume = 123450;
  q.bid = 251.2;
  q.ask = 251.3;
  q.bidSize = 40;
  q.askSize = 55;
  q.openInterest = 7;
  q.time = kNow;
  q.volatility = 31.5;
  q.theoreticalPrice = 251;
  q.buyMargin = 1200;
  q.sellMargin = 1250;
  q.baseMargin = 1100;
  q.backedBaseMargin = 1000;
  q.lowLimit = 225;
  q.highLimit = 275;
  q.tradingStatus = 1;
  return q;
}

void marketSeeds(SeedWriter& seeds, const Scenario& scenario) {
  const std::string target = "market_replies_fuzz";
  const std::string guide = joined(guideRecords(scenario));
  seeds.write(target, "guide", 0, guide);
  seeds.write(target, "guide-bytewise", 10, guide);
  const SimQuote quote = sampleQuote();
  seeds.write(target, "quotes", 1, shortQuoteRecord(7, quote, 2) + longQuoteRecord(8, quote, 3));
  const std::vector<SimTick> ticks = {{kNow, 250.5, 10, 3000000001, 0, 1}, {kLater, 250.75, 3, 3000000002, 12, 2}};
  seeds.write(target, "trades", 2, keepAliveRecord(5, kNow) + joined(tradeGroup(3, ticks, 2)));
  const std::vector<SimBookRow> rows = {{true, 250.25, 100}, {true, 250, 40}, {false, 250.5, 70}};
  seeds.write(target, "book", 3, joined(bookGroup(4, rows, 2)) + joined(bookGroup(5, {}, 2)));
  seeds.write(target, "messages", 4, messageRecord(6, 1001) + messageRecord(6, 1002));
}

// ---- portfolio: the stream and the queries --------------------------------------

SimOrder sampleOrder(int64_t number, uint32_t cookie) {
  SimOrder o;
  o.number = number;
  o.id = 7000000 + number;
  o.cookie = cookie;
  o.login = "trader";
  o.portfolio = "D-10001";
  o.exchange = "MB";
  o.symbol = "SBER";
  o.action = 1;
  o.type = 2;
  o.validity = 1;
  o.price = 250.48;
  o.amount = 10;
  o.filled = 4;
  o.time = kNow;
  return o;
}

SimTrade sampleTrade(int64_t number) {
  SimTrade t;
  t.number = number;
  t.orderNumber = 1000000001;
  t.login = "trader";
  t.portfolio = "D-10001";
  t.exchange = "MB";
  t.symbol = "SBER";
  t.action = 2;
  t.price = 250.5;
  t.volume = 4;
  t.time = kNow;
  return t;
}

void portfolioSeeds(SeedWriter& seeds, const Scenario& scenario) {
  const std::string target = "portfolio_replies_fuzz";
  const PortfolioMoney money{1, 998765.43, 12.5, 1000120.25, kNow};
  const PortfolioPosition longPosition{"MB", "SBER", 6, 10, 250.48, kNow};
  const PortfolioPosition shortPosition{"MB", "GAZP", -3, -3, 160.1, kLater};
  const ClosedPosition closed{"MB", "LKOH", 5, 6900, 7010.5, kLater, 1000000003, 1000000004};
  const std::string end = smallPrefix(14) + RecordWriter().recordEnd().take();
  for (int mode = 0; mode <= 1; ++mode) {
    const bool timed = mode == 1;
    std::string stream = portfolioKeepAlive(3, kNow) + smallPrefix(kMoneyRecord) + moneyEntry(money, timed, kNow);
    stream += smallPrefix(kOrderRecord) + orderEntry(sampleOrder(1000000001, 77), scenario);
    stream += smallPrefix(kOrderRecord) + orderEntry(sampleOrder(1000000002, 0), scenario);
    stream += smallPrefix(kTradeRecord) + tradeEntry(sampleTrade(3000000001), scenario);
    stream += smallPrefix(kPositionRecord) + positionEntry(longPosition, timed);
    stream += smallPrefix(kPositionRecord) + positionEntry(shortPosition, timed);
    stream += smallPrefix(kClosedRecord) + closedEntry(closed);
    stream += joined(extraPortfolioRecords("D-10001", kNow));
    seeds.write(target, "stream-mode" + std::to_string(mode), static_cast<uint8_t>(mode), stream);
  }
  seeds.write(target, "my-orders", 2,
              smallPrefix(3) + orderEntry(sampleOrder(1000000001, 77), scenario) + smallPrefix(3) +
                  orderEntry(sampleOrder(1000000002, 0), scenario) + end);
  seeds.write(target, "my-trades", 3,
              smallPrefix(2) + tradeEntry(sampleTrade(3000000001), scenario) + smallPrefix(2) +
                  tradeEntry(sampleTrade(3000000002), scenario) + end);
  seeds.write(target, "closed-positions", 4, smallPrefix(1) + closedEntry(closed) + end);
  const RealPosition real{"MB", "SBER", 1520.25};
  seeds.write(target, "real-positions", 5,
              smallPrefix(1) + realPositionEntry(real) + smallPrefix(2) + realPositionEntry(real) +
                  realPositionEntry({"MB", "GAZP", -3}) + smallPrefix(14) + RecordWriter().recordEnd().take());
  // The several-portfolio reply: per kind the name and kind in front of the
  // first entry (or of the end nibble), further entries, the end nibble.
  const auto named = [](const std::string& portfolio, int kind) {
    return RecordWriter().string(portfolio).take() + smallPrefix(kind);
  };
  const std::string endNibble = RecordWriter().recordEnd().take();
  std::string mass = named("D-10001", 1) + orderEntry(sampleOrder(1000000001, 77), scenario) +
                     orderEntry(sampleOrder(1000000002, 0), scenario) + endNibble;
  mass += named("D-10001", 2) + tradeEntry(sampleTrade(3000000001), scenario) + endNibble;
  mass += named("D-10001", 3) + closedEntry(closed) + endNibble;
  mass += named("D-10001", 4) + realPositionEntry(real) + endNibble;
  mass += named("D-10002", 1) + endNibble;
  seeds.write(target, "mass", 6, mass);
}

// ---- alerts and messages ---------------------------------------------------------

void alertsSeeds(SeedWriter& seeds) {
  const std::string target = "alerts_replies_fuzz";
  RecordWriter alert;
  alert.string("MB").string("SBER").int64(12).dateTime(kNow).int32(30).dateTime(kLater);
  alert.int32(1).int32(2).int32(0).decimal(251.5, 6).emptyNumber().emptyNumber().int32(0).int32(0);
  alert.string("main").string("ding.wav").string("trader@example.org").string("+70000000000").recordEnd();
  RecordWriter fired;
  fired.string("MB").string("GAZP").int64(13).dateTime(kNow).int32(1).dateTime(kNow);
  fired.int32(4).int32(1).int32(3).decimal("160.1").dateTime(kLater).decimal("160.05").int32(1).int32(1);
  fired.string("").string("").string("").string("").recordEnd();
  const std::string end = RecordWriter().recordEnd().take();
  seeds.write(target, "alerts", 0, alert.take() + fired.take() + end);
  RecordWriter message;
  message.int64(1001).dateTime(kNow).string("Subject").string("Body of the message").string("desk").recordEnd();
  message.int64(1002).dateTime(kLater).string("").string(std::string(300, 'x')).string("desk").recordEnd();
  seeds.write(target, "messages", 1, message.take() + end);
}

// ---- text replies: header, logon, endpoint urls ---------------------------------------

void httpSeeds(SeedWriter& seeds, const Scenario& scenario) {
  const std::string target = "http_replies_fuzz";
  ReplyHead keepAlive{200, "text/html; charset=CP1251", 5, {{"Keep-Alive", "timeout=15, max=100"}}, "Keep-Alive"};
  seeds.write(target, "header-keep-alive", 0, responseHead(keepAlive) + "hello");
  seeds.write(target, "header-refused", 0, responseHead(403, "text/html", 0));
  const User& user = scenario.users.front();
  const std::string body = logonReplyBody(scenario, user, "session=0123456789abcdef", 8080, 8443);
  seeds.write(target, "logon", 1, responseHead(200, "text/html", static_cast<long>(body.size())) + body);
  seeds.write(target, "logon-no-length", 1, responseHead(200, "text/html", -1) + body);
  const std::string refusal = refusalBody(kBadCredentialsText);
  seeds.write(target, "logon-refused", 1, responseHead(401, "text/html", static_cast<long>(refusal.size())) + refusal);
  seeds.write(target, "logon-one-piece", 1, responseHead(200, "text/html", -1) + onePieceRefusal("Access denied"));
  seeds.write(target, "endpoint-numeric", 2, "https://127.0.0.1:8443/");
  seeds.write(target, "endpoint-name", 2, "http://localhost:8080/");
}

// ---- order replies -------------------------------------------------------------------

std::string actionReply(int status, const std::string& tag, int64_t number, uint32_t cookie, const std::string& text,
                        const std::string& charset, const std::string& connection) {
  ReplyHead head{status, "text/html; charset=" + charset};
  head.fields.emplace_back("X-Order-NO", std::to_string(number));
  head.fields.emplace_back("X-Order-NO-EXT", std::to_string(cookie));
  head.connection = connection;
  const std::string body = "<" + tag + ">" + encodeText(text, charset) + "</" + tag + ">";
  head.contentLength = static_cast<long>(body.size());
  return responseHead(head) + body;
}

void orderSeeds(SeedWriter& seeds) {
  const std::string target = "order_replies_fuzz";
  seeds.write(target, "placed", 0, actionReply(200, "place-order", 1000000001, 77, "", "CP1251", "close"));
  seeds.write(target, "refused", 0,
              actionReply(500, "cancel-order", 1000000002, 0, order_text::kUnknownOrder, "UTF-8", "close"));
  const std::string stream = actionReply(200, "place-order", 1000000001, 77, "", "CP1251", "Keep-Alive") +
                             actionReply(200, "move-order", 1000000001, 0, "", "CP1251", "Keep-Alive") +
                             actionReply(500, "cancel-order", 1000000009, 0, order_text::kNotActive, "CP1251", "close");
  seeds.write(target, "streaming", 1, stream);
  RecordWriter note;
  note.int64(1000000002).dateTime(kNow).string(encodeText(order_text::kBadPrice, "CP1251")).recordEnd();
  seeds.write(target, "order-error", 2, note.take());
  RecordWriter utf8;
  utf8.int64(1000000003).dateTime(kLater).string(order_text::kBadAmount).recordEnd();
  seeds.write(target, "order-error-utf8", 3, "UTF-8\n" + utf8.take());
}

// ---- the decoder, the field readers and the history replies ------------------------

// Bars and ticks as the history queries write them (one record each, the
// end nibble alone closing the reply).
std::string barRecord(uint64_t time, const char* open, const char* close) {
  return RecordWriter().dateTime(time).decimal(open).decimal("252.75").decimal("249.5").decimal(close)
      .decimal("1200").decimal("0").recordEnd().take();
}
std::string tickRecord(uint64_t time, int64_t number, int action) {
  return RecordWriter().dateTime(time).decimal("250.5").decimal("10").int64(number).decimal("0").int32(action)
      .recordEnd().take();
}

void codecSeeds(SeedWriter& seeds, const Scenario& scenario) {
  const std::string guide = joined(guideRecords(scenario));
  seeds.write("lz77_decode_fuzz", "guide", 0x5A, compressBlock(guide));
  seeds.write("lz77_decode_fuzz", "guide-literals", 0x11, compressBlock(guide, LZ77Encoder::Mode::kLiteralOnly));
  seeds.write("field_readers_fuzz", "quotes", 40, std::string(1, '\0') + shortQuoteRecord(7, sampleQuote(), 2));
  seeds.write("field_readers_fuzz", "guide", 79, std::string(1, '\1') + guide.substr(0, 600));
  const std::string end = RecordWriter().recordEnd().take();
  seeds.write("history_replies_fuzz", "bars", 0,
              barRecord(kNow, "250.1", "251.25") + barRecord(kLater, "251.25", "250") + end);
  seeds.write("history_replies_fuzz", "ticks", 1, tickRecord(kNow, 3000000001, 1) + tickRecord(kLater, 3000000002, 2) + end);
}

// ---- registry hives ----------------------------------------------------------------------

void registrySeeds(SeedWriter& seeds) {
  const std::string target = "registry_hive_fuzz";
  seeds.write(target, "classes", 1,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\Quarnel3.KxServer]\r\n@=\"KxServer\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\Quarnel3.KxServer\\CLSID]\r\n@=\"{8E6A2B4C-1D3F-4A5B-9C7D-0E1F2A3B4C5D}\"\r\n"
              "\"Count\"=dword:0000000a\r\n\"Path\"=\"C:\\\\Program Files\\\\Quarnel3\\\\q3.dll\"\r\n");
  seeds.write(target, "user", 2,
              "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Quarnel3]\n"
              "\"Host\"=\"127.0.0.1\"\n\"Port\"=dword:00001f90\n\"Say \\\"hi\\\"\"=\"a\\\\b\"\n"
              "[HKEY_CURRENT_USER\\Software\\Quarnel3\\Logs]\n\"Level\"=dword:3\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  SeedWriter seeds(argv[1]);
  const Scenario scenario = builtInScenario();
  marketSeeds(seeds, scenario);
  portfolioSeeds(seeds, scenario);
  alertsSeeds(seeds);
  httpSeeds(seeds, scenario);
  orderSeeds(seeds);
  registrySeeds(seeds);
  codecSeeds(seeds, scenario);
  std::printf("%d seeds written to %s\n", seeds.count(), argv[1]);
  return 0;
}
