// What kxcli prints: one line per event, call result or failed wait, as a
// JSON object (the default) or as aligned text, from whichever thread
// produced them, in order of arrival. Event lines are gathered in a buffer
// and written when it fills or within a millisecond; any other line is
// written at once with everything before it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
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
// The same, appended to `out` (no allocation once `out` has grown).
void appendJson(std::string& out, const Line& line);

enum class Format { kJson, kText };

class Printer {
 public:
  Printer(Format format, FILE* out);
  ~Printer();  // writes what is left
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

  void print(const Line& line);
  // Makes a call and prints its line. Lines that other threads print while
  // the call runs (events it set off: Connected during connect, an order's
  // outcome) follow its line; those of the calling thread (rows fired inside
  // the call) come before it, as they happen.
  void printCall(const std::function<Line()>& call);
  // Writes what is buffered.
  void flush();
  // Writes what is buffered; later lines are dropped (events that race with
  // the end of the program).
  void close();

 private:
  static constexpr size_t kFlushBytes = 64 * 1024;
  void writeLocked();
  void appendLine(std::string& out, const Line& line);
  void flushEvery(std::chrono::milliseconds period);
  std::string toText(const Line& line);

  std::mutex mutex_;
  std::condition_variable buffered_;
  Format format_;
  FILE* out_;
  std::string buffer_;
  std::string held_;  // lines of other threads during a call
  bool holding_ = false;
  std::thread::id callThread_;
  bool closed_ = false;
  std::thread flusher_;
  // Text format: the widest value seen per line kind and field, so that
  // repeated lines of one kind fall into columns.
  std::map<std::pair<std::string, std::string>, size_t> widths_;
};

}  // namespace kxcli
