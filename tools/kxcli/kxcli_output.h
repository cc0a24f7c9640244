// What kxcli prints: one line per event, call result or failed wait, as a
// JSON object (the default) or as aligned text. Lines are written whole and
// flushed at once, from whichever thread produced them, in order of arrival.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "quarnel3/automation.h"

namespace kxcli {

class Value {
 public:
  enum class Kind { kNull, kBool, kInteger, kNumber, kText, kDate, kIntegers };

  static Value null() { return Value(Kind::kNull); }
  static Value boolean(bool v);
  static Value integer(int64_t v);
  static Value number(double v);
  static Value text(std::string utf8);
  static Value date(DATE v);
  static Value integers(std::vector<int64_t> v);

  Kind kind() const { return kind_; }
  bool asBool() const { return boolean_; }
  int64_t asInteger() const { return integer_; }
  double asNumber() const { return number_; }
  const std::string& asText() const { return text_; }
  const std::vector<int64_t>& asIntegers() const { return integers_; }

 private:
  explicit Value(Kind kind) : kind_(kind) {}
  Kind kind_;
  bool boolean_ = false;
  int64_t integer_ = 0;
  double number_ = 0;
  std::string text_;
  std::vector<int64_t> integers_;
};

// Ordered name/value pairs; the first names what the line is ("event",
// "call" or "wait").
using Line = std::vector<std::pair<std::string, Value>>;

// The shortest decimal text that reads back as the same double; empty for
// NaN and infinities, which print as null.
std::string formatNumber(double value);
// "YYYY-MM-DDTHH:MM:SS", rounded to the nearest second; empty when the value
// is no date of the automation range.
std::string formatDate(DATE value);
std::string jsonString(const std::string& utf8);

std::string toJson(const Line& line);

enum class Format { kJson, kText };

class Printer {
 public:
  Printer(Format format, FILE* out) : format_(format), out_(out) {}

  void print(const Line& line);
  // Later lines are dropped (events that race with the end of the program).
  void close();

 private:
  std::string toText(const Line& line);

  std::mutex mutex_;
  Format format_;
  FILE* out_;
  bool closed_ = false;
  // Text format: the widest value seen per line kind and field, so that
  // repeated lines of one kind fall into columns.
  std::map<std::pair<std::string, std::string>, size_t> widths_;
};

}  // namespace kxcli
