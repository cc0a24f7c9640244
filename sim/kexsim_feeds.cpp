#include "kexsim_feeds.h"

#include <array>
#include <chrono>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "kexsim_feed_records.h"
#include "kexsim_firehose.h"
#include "kexsim_script.h"

namespace kexsim {
namespace {

using Clock = std::chrono::steady_clock;
using Records = std::vector<std::string>;

struct FeedLine {
  std::string verb;
  int32_t number = 0;
  std::string first;
  std::string second;  // empty for "ADD 3 NEWS " (a channel has no second key)
};

// "VERB number [first [second]]", blanks as separators; the second key is the
// rest of the line, so it may be empty.
std::optional<FeedLine> parseFeedLine(const std::string& line) {
  FeedLine parsed;
  std::istringstream words(line);
  std::string number;
  if (!(words >> parsed.verb >> number)) return std::nullopt;
  try {
    parsed.number = std::stoi(number);
  } catch (const std::logic_error&) {
    return std::nullopt;
  }
  words >> parsed.first;
  std::getline(words >> std::ws, parsed.second);
  return parsed;
}

struct Subscription {
  std::string first;
  std::string second;
  bool scripted = false;
  int64_t lastStep = -1;
  int64_t nextMessage = 1;
};

Records quoteRecords(int32_t number, const MarketView& view) {
  return {view.longQuotes ? longQuoteRecord(number, view.quote, view.decimals)
                          : shortQuoteRecord(number, view.quote, view.decimals)};
}

Records tradeRecords(int32_t number, const MarketView& view) {
  return tradeGroup(number, view.trades, view.decimals);
}

Records bookRecords(int32_t number, const MarketView& view) {
  return bookGroup(number, view.book, view.decimals);
}

// What sets the feeds apart: the records one market step gives a subscription
// (none for the messages feed, whose records do not come from the market), and
// whether keep-alive lines are answered (only the all-trades parser reads the
// reply record; on another feed it would be a corrupt record).
struct FeedBehaviour {
  const char* kind;
  bool answersPing;
  Records (*marketRecords)(int32_t number, const MarketView& view);
};

constexpr std::array<FeedBehaviour, 4> kFeeds{{
    {kQuotesKind, false, quoteRecords},
    {kTradesKind, true, tradeRecords},
    {kOrdersKind, false, bookRecords},
    {kMessagesKind, false, nullptr},
}};

const FeedBehaviour& behaviourOf(const std::string& kind) {
  for (const FeedBehaviour& feed : kFeeds) {
    if (kind == feed.kind) return feed;
  }
  return kFeeds[0];
}

class FeedSession {
 public:
  FeedSession(Exchange& exchange, const FeedBehaviour& behaviour)
      : exchange_(exchange), behaviour_(behaviour) {}

  void run();

 private:
  // The firehose: blocks encoded once, sent as fast as the connection takes
  // them or at the scenario's rate, each after a quote stamped with its send
  // time; subscription lines are read between blocks.
  void runFirehose(int rate);
  bool readLines(int timeoutMs);
  void receive(const std::string& bytes);
  void onLine(const std::string& line);
  void add(const FeedLine& line);
  void ping(const FeedLine& line);
  // Records of the subscription's next update; empty when nothing changed.
  Records update(int32_t number, Subscription& subscription);
  void tick();
  // A stalled feed (fault "stall") sends its first records and then nothing.
  bool send(Records records) {
    if (records.empty() || stalled_) return true;
    stalled_ = exchange_.fault.type == FaultType::kStall;
    return exchange_.reply.sendRecords(std::move(records));
  }

  Exchange& exchange_;
  const FeedBehaviour& behaviour_;
  std::map<int32_t, Subscription> subscriptions_;
  uint64_t subscriptionChanges_ = 0;  // ADD and REMOVE lines so far
  std::string partialLine_;
  bool stalled_ = false;
};

void FeedSession::run() {
  Reply& reply = exchange_.reply;
  if (!reply.sendHead(200, "application/octet-stream")) return;
  receive(exchange_.rest);
  const int firehose = exchange_.server.scenario.firehoseRate;
  if (firehose != 0 && std::string(behaviour_.kind) == kQuotesKind) return runFirehose(firehose);
  const auto period = exchange_.server.market.tick();
  auto nextTick = Clock::now() + period;
  char buffer[4096];
  while (reply.open()) {
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now());
    int ready = exchange_.connection.waitReadable(static_cast<int>(std::max<int64_t>(wait.count(), 0)));
    if (ready < 0) break;
    if (ready > 0) {
      long n = exchange_.connection.read(buffer, sizeof buffer);
      if (n <= 0) break;
      receive(std::string(buffer, static_cast<size_t>(n)));
    }
    if (Clock::now() >= nextTick) {
      tick();
      nextTick = std::max(nextTick + period, Clock::now());
    }
  }
}

// False when the client left or the connection failed.
bool FeedSession::readLines(int timeoutMs) {
  char buffer[4096];
  const int ready = exchange_.connection.waitReadable(timeoutMs);
  if (ready < 0) return false;
  if (ready == 0) return true;
  const long n = exchange_.connection.read(buffer, sizeof buffer);
  if (n <= 0) return false;
  receive(std::string(buffer, static_cast<size_t>(n)));
  return true;
}

void FeedSession::runFirehose(int rate) {
  Reply& reply = exchange_.reply;
  Market& market = exchange_.server.market;
  FirehoseBlocks blocks;
  uint64_t builtAt = UINT64_MAX;  // the subscription change the blocks were built after
  const auto perBlock = std::chrono::duration<double>(static_cast<double>(FirehoseBlocks::kQuotesPerBlock) /
                                                      std::max(rate, 1));
  auto due = Clock::now();
  while (reply.open()) {
    if (builtAt != subscriptionChanges_) {
      std::vector<std::pair<int32_t, MarketView>> subscribed;
      for (const auto& [number, s] : subscriptions_) {
        if (std::optional<MarketView> view = market.view(s.first, s.second)) subscribed.emplace_back(number, *view);
      }
      blocks.rebuild(subscribed);
      builtAt = subscriptionChanges_;
    }
    if (blocks.empty()) {
      if (!readLines(100)) return;
      continue;
    }
    if (!reply.sendEncoded(blocks.stamped() + blocks.next())) return;
    if (rate > 0) {
      due += std::chrono::duration_cast<Clock::duration>(perBlock);
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
      if (!readLines(static_cast<int>(std::max<int64_t>(wait.count(), 0)))) return;
      while (Clock::now() < due) std::this_thread::sleep_until(due);  // the rest below a millisecond
    } else if (!readLines(0)) {
      return;
    }
  }
}

void FeedSession::receive(const std::string& bytes) {
  partialLine_ += bytes;
  size_t end;
  while (exchange_.reply.open() && (end = partialLine_.find('\n')) != std::string::npos) {
    std::string line = partialLine_.substr(0, end);
    partialLine_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) onLine(line);
  }
}

void FeedSession::onLine(const std::string& line) {
  exchange_.server.log.addFeedLine(exchange_.logId, line);
  std::optional<FeedLine> parsed = parseFeedLine(line);
  if (!parsed) return;
  if (parsed->verb == "ADD") {
    add(*parsed);
  } else if (parsed->verb == "REMOVE") {
    subscriptions_.erase(parsed->number);
    ++subscriptionChanges_;
  } else if (parsed->verb == "PING") {
    ping(*parsed);
  }
}

void FeedSession::add(const FeedLine& line) {
  Subscription& subscription = subscriptions_[line.number];
  subscription = Subscription{line.first, line.second};
  ++subscriptionChanges_;
  std::optional<FeedScript> script =
      exchange_.server.scripts.find(behaviour_.kind, line.first, line.second);
  if (!script) {
    send(update(line.number, subscription));
    return;
  }
  subscription.scripted = true;
  Records records;
  for (const auto& tokens : script->records) records.push_back(compileRecord(tokens, line.number));
  send(std::move(records));
}

void FeedSession::ping(const FeedLine& line) {
  if (behaviour_.answersPing) send({keepAliveRecord(line.number, exchange_.server.market.now())});
}

Records FeedSession::update(int32_t number, Subscription& subscription) {
  if (subscription.scripted) return {};
  Market& market = exchange_.server.market;
  if (behaviour_.marketRecords == nullptr) {
    int64_t step = market.currentStep();
    if (step == subscription.lastStep) return {};
    subscription.lastStep = step;
    return {messageRecord(number, subscription.nextMessage++)};
  }
  std::optional<MarketView> view = market.view(subscription.first, subscription.second);
  if (!view || view->step == subscription.lastStep) return {};
  subscription.lastStep = view->step;
  return behaviour_.marketRecords(number, *view);
}

void FeedSession::tick() {
  Records batch;
  for (auto& [number, subscription] : subscriptions_) {
    Records records = update(number, subscription);
    batch.insert(batch.end(), records.begin(), records.end());
  }
  send(std::move(batch));
}

}  // namespace

void serveFeed(Exchange& exchange) {
  FeedSession session(exchange, behaviourOf(exchange.kind));
  session.run();
}

}  // namespace kexsim
