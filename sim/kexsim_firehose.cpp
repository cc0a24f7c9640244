#include "kexsim_firehose.h"

#include <time.h>

#include <algorithm>

#include "kexsim_feed_records.h"

namespace kexsim {

namespace {

// The view's quote moved by `steps` price steps, its volume grown.
SimQuote walked(const MarketView& view, int steps) {
  SimQuote q = view.quote;
  double step = 1;
  for (int i = 0; i < view.decimals; ++i) step /= 10;
  const double move = step * steps;
  q.last += move;
  q.bid += move;
  q.ask += move;
  q.high = std::max(q.high, q.last);
  q.low = std::min(q.low, q.last);
  q.size = 1 + (steps & 7);
  q.volume += q.size * (steps + 8);
  return q;
}

}  // namespace

// The records as one block of literals, ended by its end-of-block code.
std::string FirehoseBlocks::literalBlock(const std::vector<std::string>& records) {
  std::string block;
  for (const std::string& record : records) encoder_.compress(record, block);
  encoder_.endBlock(block);
  return block;
}

double monotonicMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec / 1000);
}

void FirehoseBlocks::rebuild(const std::vector<std::pair<int32_t, MarketView>>& subscribed) {
  blocks_.clear();
  next_ = 0;
  if (subscribed.empty()) return;
  stampNumber_ = subscribed.front().first;
  stampView_ = subscribed.front().second;
  size_t turn = 0;
  for (size_t b = 0; b < kBlocks; ++b) {
    std::vector<std::string> records;
    for (size_t q = 0; q < kQuotesPerBlock; ++q, ++turn) {
      const auto& [number, view] = subscribed[turn % subscribed.size()];
      const SimQuote quote = walked(view, static_cast<int>(turn % 16) - 8);
      records.push_back(turn % 2 ? shortQuoteRecord(number, quote, view.decimals)
                                 : longQuoteRecord(number, quote, view.decimals));
    }
    blocks_.push_back(literalBlock(records));
  }
}

const std::string& FirehoseBlocks::next() {
  const std::string& block = blocks_[next_];
  next_ = (next_ + 1) % blocks_.size();
  return block;
}

std::string FirehoseBlocks::stamped() {
  SimQuote quote = stampView_.quote;
  quote.tradingStatus = kFirehoseStampStatus;
  quote.theoreticalPrice = monotonicMicros();
  return literalBlock({longQuoteRecord(stampNumber_, quote, stampView_.decimals)});
}

}  // namespace kexsim
