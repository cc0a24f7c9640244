// The quotes feed as a firehose, for benchmarks. Its blocks are encoded once,
// with literals only: a block that refers to no earlier bytes decodes the
// same wherever it is sent, so the same few blocks are sent again and again.
// Before each one goes a quote of its own stamped with the send time, so that
// a client can measure the delay from this server's send to its delivery.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kexsim_encoder.h"
#include "kexsim_market.h"

namespace kexsim {

// Monotonic microseconds (the same clock in every process of the machine).
double monotonicMicros();

// A stamped quote carries this trading status, and the send time in
// monotonic microseconds as its theoretical price.
inline constexpr int32_t kFirehoseStampStatus = 77;

class FirehoseBlocks {
 public:
  static constexpr size_t kQuotesPerBlock = 64;
  static constexpr size_t kBlocks = 16;

  // Encodes the blocks for these subscriptions (number, current view): long
  // and short quotes in turn, their prices walking a little from block to
  // block. Empty subscriptions leave no blocks.
  void rebuild(const std::vector<std::pair<int32_t, MarketView>>& subscribed);
  bool empty() const { return blocks_.empty(); }
  // The blocks in turn, endlessly.
  const std::string& next();
  // One long quote of the first subscription, stamped now, as a block of its own.
  std::string stamped();

 private:
  // Literals only: after each end-of-block code it holds no state that a
  // later block depends on.
  LZ77Encoder encoder_{LZ77Encoder::Mode::kLiteralOnly};
  std::string literalBlock(const std::vector<std::string>& records);
  std::vector<std::string> blocks_;
  size_t next_ = 0;
  int32_t stampNumber_ = 0;
  MarketView stampView_{};
};

}  // namespace kexsim
