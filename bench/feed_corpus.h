// A deterministic corpus of feed records written with kexsim's record
// writer, and its compression as a feed sends it, shared by the benchmarks
// that decode or parse feeds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "kexsim_encoder.h"
#include "kexsim_record_writer.h"

namespace benchfeed {

using kexsim::RecordWriter;

// A small market: each security walks its price in ticks of its own size and
// keeps its session figures (open, high, low, cumulative volume, open
// interest), so quotes repeat most fields the way a real feed does.
struct Security {
  int id;
  double price;
  double step;
  int decimals;
  double open, high, low, close;
  double volume = 0;
  double openInterest = 0;
};

// The share of each kind of record, in tenths.
struct FeedMix {
  unsigned shortQuotes;
  unsigned longQuotes;
  unsigned tradeGroups;
  unsigned orderBookGroups;
};
inline constexpr FeedMix kFeedMix{4, 1, 3, 2};     // what a client subscribed to everything receives
inline constexpr FeedMix kQuotesOnly{8, 2, 0, 0};  // the quotes feed

class FeedCorpus {
 public:
  explicit FeedCorpus(uint32_t seed, FeedMix mix = kFeedMix) : random_(seed), mix_(mix) {
    for (int i = 0; i < 60; ++i) {
      const bool future = i % 3 == 0;
      const double price = future ? 50000.0 + 1000 * i : 20.0 + 7.5 * i;
      securities_.push_back({i + 1, price, future ? 10.0 : 0.01, future ? 0 : 2, price, price, price,
                             price - (future ? 50 : 0.25), 0, future ? 100000.0 + pick(50000) : 0});
    }
  }

  std::string build(size_t bytes) {
    while (w_.size() < bytes) {
      Security& s = securities_[pick(securities_.size())];
      walk(s);
      const unsigned kind = pick(10);
      if (kind < mix_.shortQuotes) shortQuote(s);
      else if (kind < mix_.shortQuotes + mix_.longQuotes) longQuote(s);
      else if (kind < mix_.shortQuotes + mix_.longQuotes + mix_.tradeGroups) tradeGroup(s);
      else orderBookGroup(s);
    }
    return w_.take();
  }

 private:
  unsigned pick(size_t n) { return static_cast<unsigned>(random_() % n); }

  // Order sizes: mostly a few lots, sometimes tens or hundreds.
  double lot() {
    const unsigned r = pick(100);
    return r < 70 ? 1 + pick(10) : r < 95 ? 10 + pick(90) : 100 + pick(900);
  }

  void walk(Security& s) {
    s.price += s.step * (static_cast<int>(pick(5)) - 2);
    if (s.price < 100 * s.step) s.price = 100 * s.step;
    s.high = std::max(s.high, s.price);
    s.low = std::min(s.low, s.price);
    seconds_ += pick(2);
  }

  uint64_t now() const {
    const int s = seconds_ % 50400;
    return kexsim::packTime(2024, 3, 15, 10 + s / 3600, s / 60 % 60, s % 60);
  }

  void value(const Security& s, double v) { w_.decimal(v, s.decimals); }
  void count(double v) { w_.decimal(v, 0); }

  void shortQuote(Security& s) {
    const double size = lot();
    s.volume += size;
    w_.int32(s.id).recordEnd();
    value(s, s.price - s.step), value(s, s.price + s.step), value(s, s.open), value(s, s.high), value(s, s.low);
    value(s, s.price);
    count(s.volume);
    w_.dateTime(now());
    value(s, s.close), count(lot()), count(lot());
    w_.emptyNumber().emptyNumber().emptyNumber();
    count(s.openInterest), count(size);
    w_.emptyNumber().recordEnd();
  }

  void longQuote(Security& s) {
    const double size = lot();
    s.volume += size;
    w_.int32(s.id).recordEnd();
    value(s, s.open), value(s, s.high), value(s, s.low), value(s, s.close);
    w_.dateTime(now());
    value(s, s.price), count(size), count(s.volume), value(s, s.price - s.step), value(s, s.price + s.step);
    count(lot()), count(lot());
    w_.emptyNumber().emptyNumber().emptyNumber();
    count(s.openInterest);
    w_.emptyNumber().decimal("23.75").emptyNumber().int32(0).dateTime(now()).dateTime(now());
    value(s, s.price);
    value(s, s.close * 0.15), value(s, s.close * 0.15), value(s, s.close * 0.12), value(s, s.close * 0.12);
    w_.int32(1);
    value(s, s.close * 0.8), value(s, s.close * 1.2);
    w_.int32(0).decimal(0.0, 0).int32(17).recordEnd();
  }

  void tradeGroup(Security& s) {
    w_.int32(1000 + s.id).recordEnd();
    for (unsigned n = 1 + pick(6); n > 0; --n) {
      const double size = lot();
      s.volume += size;
      if (s.openInterest > 0) s.openInterest += static_cast<int>(pick(3)) - 1;
      w_.dateTime(now());
      value(s, s.price + s.step * (static_cast<int>(pick(3)) - 1));
      count(size);
      w_.int64(++tradeNumber_);
      count(s.openInterest);
      w_.int32(static_cast<int32_t>(1 + pick(2))).recordEnd();
    }
    w_.recordEnd();
  }

  void orderBookGroup(const Security& s) {
    w_.int32(2000 + s.id).recordEnd();
    for (int level = 10; level >= -10; --level) {
      if (level == 0) continue;
      w_.int32(level < 0 ? 1 : 2);
      value(s, s.price + level * s.step);
      count(lot() * (1 + pick(4)));
      w_.recordEnd();
    }
    w_.recordEnd();
  }

  std::mt19937 random_;
  FeedMix mix_;
  std::vector<Security> securities_;
  RecordWriter w_;
  int seconds_ = 0;
  int64_t tradeNumber_ = 4100000000LL;
};

// Our encoding as a feed sends it: a block, ended by its end-of-block code,
// after every few kilobytes of records.
inline std::string encodeOurs(const std::string& corpus) {
  std::mt19937 random(17);
  kexsim::LZ77Encoder encoder;
  std::string out;
  for (size_t at = 0; at < corpus.size();) {
    const size_t n = std::min<size_t>(corpus.size() - at, 2048 + random() % 6144);
    encoder.compress(std::string_view(corpus).substr(at, n), out);
    encoder.endBlock(out);
    at += n;
  }
  return out;
}

}  // namespace benchfeed
