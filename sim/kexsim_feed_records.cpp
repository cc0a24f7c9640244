#include "kexsim_feed_records.h"

#include "kexsim_record_writer.h"

namespace kexsim {
namespace {

// The layouts as value tables: what goes on the wire, in wire order.
using QuoteValue = double SimQuote::*;

constexpr QuoteValue kShortBeforeTime[] = {&SimQuote::bid, &SimQuote::ask, &SimQuote::open,
                                           &SimQuote::high, &SimQuote::low, &SimQuote::last,
                                           &SimQuote::volume};
constexpr QuoteValue kShortAfterTime[] = {&SimQuote::close, &SimQuote::bidSize, &SimQuote::askSize,
                                          nullptr, nullptr, nullptr,  // extra 13, 14, 15
                                          &SimQuote::openInterest, &SimQuote::size,
                                          nullptr};  // extra 18
constexpr QuoteValue kLongBeforeTime[] = {&SimQuote::open, &SimQuote::high, &SimQuote::low, &SimQuote::close};
constexpr QuoteValue kLongAfterTime[] = {&SimQuote::last, &SimQuote::size, &SimQuote::volume,
                                         &SimQuote::bid, &SimQuote::ask, &SimQuote::bidSize,
                                         &SimQuote::askSize,
                                         nullptr, nullptr, nullptr,  // extra 13, 14, 15
                                         &SimQuote::openInterest,
                                         nullptr,  // extra 18
                                         &SimQuote::volatility,
                                         nullptr};  // extra 17
constexpr QuoteValue kLongMargins[] = {&SimQuote::theoreticalPrice, &SimQuote::buyMargin,
                                       &SimQuote::sellMargin, &SimQuote::baseMargin,
                                       &SimQuote::backedBaseMargin};

// Prices and sizes with the security's decimals; the values the library only
// carries go out as zero.
template <size_t N>
void writeValues(RecordWriter& w, const QuoteValue (&values)[N], const SimQuote& q, int decimals) {
  for (QuoteValue value : values) w.decimal(value ? q.*value : 0.0, decimals);
}

RecordWriter& header(RecordWriter& w, int32_t subscription) { return w.int32(subscription).recordEnd(); }

}  // namespace

std::string shortQuoteRecord(int32_t subscription, const SimQuote& q, int decimals) {
  RecordWriter w;
  header(w, subscription);
  writeValues(w, kShortBeforeTime, q, decimals);
  w.dateTime(q.time);
  writeValues(w, kShortAfterTime, q, decimals);
  return w.recordEnd().take();
}

std::string longQuoteRecord(int32_t subscription, const SimQuote& q, int decimals) {
  RecordWriter w;
  header(w, subscription);
  writeValues(w, kLongBeforeTime, q, decimals);
  w.dateTime(q.time);
  writeValues(w, kLongAfterTime, q, decimals);
  w.int32(0).dateTime(0).dateTime(0);  // extra 19, extra times 20 and 22
  writeValues(w, kLongMargins, q, decimals);
  w.int32(0);  // extra 28
  w.decimal(q.lowLimit, decimals).decimal(q.highLimit, decimals);
  w.int32(0).decimal(0.0, 0).int32(q.tradingStatus);  // extra 31, extra 32, status
  return w.recordEnd().take();
}

std::vector<std::string> tradeGroup(int32_t subscription, const std::vector<SimTick>& ticks, int decimals) {
  std::vector<std::string> records{RecordWriter().int32(subscription).recordEnd().take()};
  for (const SimTick& t : ticks) {
    RecordWriter w;
    w.dateTime(t.time).decimal(t.price, decimals).decimal(t.volume, 0).int64(t.tradeNumber);
    w.decimal(t.openInterest, 0).int32(t.action);
    records.push_back(w.recordEnd().take());
  }
  records.push_back(RecordWriter().recordEnd().take());
  return records;
}

std::vector<std::string> bookGroup(int32_t subscription, const std::vector<SimBookRow>& rows, int decimals) {
  std::vector<std::string> records{RecordWriter().int32(subscription).recordEnd().take()};
  for (const SimBookRow& row : rows) {
    RecordWriter w;
    w.int32(row.bid ? 1 : 2).decimal(row.price, decimals).decimal(row.volume, 0);
    records.push_back(w.recordEnd().take());
  }
  records.push_back(RecordWriter().recordEnd().take());
  return records;
}

std::string messageRecord(int32_t subscription, int64_t messageNumber) {
  RecordWriter w;
  header(w, subscription);
  return w.small(1).int64(messageNumber).int32(0).recordEnd().take();
}

std::string keepAliveRecord(int32_t value, uint64_t serverTime) {
  return RecordWriter().small(1).int32(value).dateTime(serverTime).recordEnd().take();
}

}  // namespace kexsim
