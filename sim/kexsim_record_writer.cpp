#include "kexsim_record_writer.h"

#include <cstdio>

namespace kexsim {

namespace {

enum Marker : int {
  kPlus = 0xA,
  kMinus = 0xB,
  kString = 0xC,
  kPoint = 0xD,
  kSmall = 0xE,
  kEnd = 0xF,
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

uint64_t bcd(int value, int digits) {
  uint64_t out = 0;
  for (int shift = 0; shift < digits * 4; shift += 4) {
    out |= static_cast<uint64_t>(value % 10) << shift;
    value /= 10;
  }
  return out;
}

}  // namespace

uint64_t packTime(int year, int month, int day, int hour, int minute, int second) {
  return bcd(year, 4) << 48 | bcd(month, 2) << 40 | bcd(day, 2) << 32 | bcd(hour, 2) << 24 |
         bcd(minute, 2) << 16 | bcd(second, 2) << 8;
}

void RecordWriter::put(int nibble) {
  const auto value = static_cast<char>(nibble & 15);
  if (lowNibbleNext_) {
    out_.back() = static_cast<char>(out_.back() | value);
  } else {
    out_.push_back(static_cast<char>(value << 4));
  }
  lowNibbleNext_ = !lowNibbleNext_;
}

// The reader skips the rest of the byte after an end or string marker; the
// skipped low nibble is written as 0.
void RecordWriter::alignToByte() { lowNibbleNext_ = false; }

void RecordWriter::putDigits(uint64_t magnitude) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>(magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) put(digits[--count]);
}

RecordWriter& RecordWriter::int32(int32_t value) { return int64(value); }

RecordWriter& RecordWriter::int64(int64_t value) {
  // The magnitude of INT64_MIN does not fit int64; unsigned negation keeps it.
  const auto raw = static_cast<uint64_t>(value);
  put(value < 0 ? kMinus : kPlus);
  putDigits(value < 0 ? 0 - raw : raw);
  return *this;
}

RecordWriter& RecordWriter::decimal(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  put(negative ? kMinus : kPlus);
  for (; i < text.size(); ++i) {
    if (isDigit(text[i])) put(text[i] - '0');
    else if (text[i] == '.') put(kPoint);
  }
  return *this;
}

RecordWriter& RecordWriter::decimal(double value, int fractionDigits) {
  char text[400];
  std::snprintf(text, sizeof text, "%.*f", fractionDigits, value);
  return decimal(std::string_view(text));
}

RecordWriter& RecordWriter::emptyNumber() {
  put(kPlus);
  return *this;
}

RecordWriter& RecordWriter::dateTime(uint64_t packed) {
  put(kPlus);
  for (int shift = 60; shift >= 8; shift -= 4) put(static_cast<int>(packed >> shift));
  return *this;
}

RecordWriter& RecordWriter::small(int value) {
  put(kSmall);
  put(value);
  return *this;
}

RecordWriter& RecordWriter::string(std::string_view bytes) {
  groupMark();
  out_.append(bytes);
  out_.push_back('\0');
  return *this;
}

RecordWriter& RecordWriter::groupMark() {
  put(kString);
  alignToByte();
  return *this;
}

RecordWriter& RecordWriter::recordEnd() {
  put(kEnd);
  alignToByte();
  return *this;
}

RecordWriter& RecordWriter::nibble(int value) {
  put(value);
  return *this;
}

std::string RecordWriter::take() {
  std::string out;
  out.swap(out_);
  lowNibbleNext_ = false;
  return out;
}

void RecordWriter::clear() {
  out_.clear();
  lowNibbleNext_ = false;
}

}  // namespace kexsim
