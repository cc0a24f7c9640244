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

#include "codec/wexel_lz77_parser.h"
#include "feed_corpus.h"

namespace {

using benchfeed::encodeOurs;
using benchfeed::FeedCorpus;

constexpr size_t kCorpusBytes = 10u << 20;
constexpr int kReadSize = 8191;  // what one channel read hands the parser at most

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
