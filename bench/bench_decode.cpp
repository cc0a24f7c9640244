// Decoding speed of our compressed reply format against zlib and LZ4 on the
// same feed corpus, with memcpy as the physical limit. Every figure is in
// decoded bytes per second; the `ratio` counter is decoded / compressed size.
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "kexsim_encoder.h"
#include "kexsim_record_writer.h"
#include "codec/wexel_lz77_parser.h"

namespace {

using kexsim::RecordWriter;

constexpr size_t kCorpusBytes = 10u << 20;
constexpr int kReadSize = 8191;  // what one channel read hands the parser at most

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

class FeedCorpus {
 public:
  explicit FeedCorpus(uint32_t seed) : random_(seed) {
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
      if (kind < 4) shortQuote(s);
      else if (kind < 5) longQuote(s);
      else if (kind < 8) tradeGroup(s);
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
  std::vector<Security> securities_;
  RecordWriter w_;
  int seconds_ = 0;
  int64_t tradeNumber_ = 4100000000LL;
};

// Our encoding as a feed sends it: a block, ended by its end-of-block code,
// after every few kilobytes of records.
std::string encodeOurs(const std::string& corpus) {
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

std::string encodeZlib(const std::string& corpus) {
  uLongf size = compressBound(corpus.size());
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(corpus.data()),
                corpus.size(), Z_DEFAULT_COMPRESSION) != Z_OK)
    throw std::runtime_error("zlib compress failed");
  out.resize(size);
  return out;
}

std::string encodeLz4(const std::string& corpus) {
  std::string out(static_cast<size_t>(LZ4_compressBound(static_cast<int>(corpus.size()))), '\0');
  const int size = LZ4_compress_default(corpus.data(), out.data(), static_cast<int>(corpus.size()),
                                        static_cast<int>(out.size()));
  if (size <= 0) throw std::runtime_error("lz4 compress failed");
  out.resize(static_cast<size_t>(size));
  return out;
}

// Keeps every decoded byte, to check the corpus round trip once.
class KeepingParser : public wexel::WLZ77Parser {
 public:
  int parseRecord(const char* data, int size) override {
    decoded.append(data, static_cast<size_t>(size));
    return size;
  }
  std::string decoded;
};

std::string checkedOurs(const std::string& plain) {
  std::string body = encodeOurs(plain);
  auto parser = std::make_unique<KeepingParser>();
  if (parser->parseBody(body.data(), static_cast<int>(body.size())) != static_cast<int>(body.size()) ||
      parser->decoded != plain)
    throw std::runtime_error("our encoding does not round-trip");
  return body;
}

struct Corpus {
  std::string plain = FeedCorpus(2024).build(kCorpusBytes);
  std::string ours = checkedOurs(plain);
  std::string zlib = encodeZlib(plain);
  std::string lz4 = encodeLz4(plain);
};

const Corpus& corpus() {
  static const Corpus c;
  return c;
}

// Takes all decoded bytes at each offer: the decoder's cost alone.
class DrainingParser : public wexel::WLZ77Parser {
 public:
  int parseRecord(const char* data, int size) override {
    checksum_ += static_cast<unsigned char>(data[size - 1]);
    return size;
  }
  uint64_t checksum_ = 0;
};

// Cuts the decoded bytes into records, as a record parser walks them.
class RecordWalkingParser : public wexel::WLZ77Parser {
 public:
  int parseRecord(const char* data, int size) override {
    wexel::WNibbleCursor cursor(data, size);
    if (skipRecord(cursor) == 0) return size < kIncompleteLimit ? 0 : wexel::kErrorMalformed;
    return cursor.bytesSince(2 * size);
  }
};

void finish(benchmark::State& state, size_t compressed) {
  const Corpus& c = corpus();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.plain.size()));
  state.counters["ratio"] = static_cast<double>(c.plain.size()) / static_cast<double>(compressed);
}

// The body arrives in channel reads; what parseBody leaves is offered again.
template <typename Parser>
void decodeOurs(benchmark::State& state) {
  const std::string& body = corpus().ours;
  for (auto _ : state) {
    auto parser = std::make_unique<Parser>();
    char read[kReadSize];
    size_t held = 0;
    for (size_t at = 0; at < body.size();) {
      const size_t n = std::min(body.size() - at, sizeof read - held);
      std::memcpy(read + held, body.data() + at, n);
      at += n;
      held += n;
      const int used = parser->parseBody(read, static_cast<int>(held));
      if (used < 0) {
        state.SkipWithError("decode failed");
        return;
      }
      std::memmove(read, read + used, held - static_cast<size_t>(used));
      held -= static_cast<size_t>(used);
    }
    benchmark::DoNotOptimize(parser->windowWritePosition());
  }
  finish(state, body.size());
}

void BM_DecodeOurs(benchmark::State& state) { decodeOurs<DrainingParser>(state); }
void BM_DecodeOursSkipRecords(benchmark::State& state) { decodeOurs<RecordWalkingParser>(state); }

void BM_DecodeZlib(benchmark::State& state) {
  const Corpus& c = corpus();
  std::string out(c.plain.size(), '\0');
  for (auto _ : state) {
    uLongf size = out.size();
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(c.zlib.data()),
                   c.zlib.size()) != Z_OK)
      state.SkipWithError("inflate failed");
    benchmark::DoNotOptimize(out.data());
  }
  finish(state, c.zlib.size());
}

void BM_DecodeLz4(benchmark::State& state) {
  const Corpus& c = corpus();
  std::string out(c.plain.size(), '\0');
  for (auto _ : state) {
    const int size = LZ4_decompress_safe(c.lz4.data(), out.data(), static_cast<int>(c.lz4.size()),
                                         static_cast<int>(out.size()));
    if (size != static_cast<int>(c.plain.size())) state.SkipWithError("lz4 decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  finish(state, c.lz4.size());
}

void BM_Memcpy(benchmark::State& state) {
  const Corpus& c = corpus();
  std::string out(c.plain.size(), '\0');
  for (auto _ : state) {
    std::memcpy(out.data(), c.plain.data(), c.plain.size());
    benchmark::DoNotOptimize(out.data());
  }
  finish(state, c.plain.size());
}

BENCHMARK(BM_DecodeOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOursSkipRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeZlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLz4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
