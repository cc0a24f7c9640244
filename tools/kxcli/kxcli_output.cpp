#include "kxcli_output.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "quarnel3/date.h"

namespace kxcli {

Value Value::boolean(bool v) {
  Value out(Kind::kBool);
  out.boolean_ = v;
  return out;
}

Value Value::integer(int64_t v) {
  Value out(Kind::kInteger);
  out.integer_ = v;
  return out;
}

Value Value::number(double v) {
  Value out(Kind::kNumber);
  out.number_ = v;
  return out;
}

Value Value::text(std::string utf8) {
  Value out(Kind::kText);
  out.text_ = std::move(utf8);
  return out;
}

Value Value::date(DATE v) {
  Value out(Kind::kDate);
  out.number_ = v;
  return out;
}

Value Value::integers(std::vector<int64_t> v) {
  Value out(Kind::kIntegers);
  out.integers_ = std::move(v);
  return out;
}

namespace {

// The shortest digits that read back as the same double, laid out as
// JavaScript prints numbers: plain decimals from 1e-7 up to 1e21 (100000, not
// 1e+05), exponent form outside that range. Appends nothing for NaN and
// infinities.
void appendNumber(std::string& out, double value) {
  if (!std::isfinite(value)) return;
  char scientific[64];
  const char* const last = std::to_chars(scientific, scientific + sizeof scientific, value,
                                         std::chars_format::scientific).ptr;
  const char* const e = std::find(static_cast<const char*>(scientific), last, 'e');
  const bool negative = scientific[0] == '-';
  char digits[32];
  int count = 0;
  for (const char* p = scientific + (negative ? 1 : 0); p < e; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  int exponent = 0;
  std::from_chars(e + 1 + (e[1] == '+'), last, exponent);

  if (negative) out.push_back('-');
  if (exponent >= 21 || exponent <= -7) {
    out.push_back(digits[0]);
    if (count > 1) {
      out.push_back('.');
      out.append(digits + 1, static_cast<size_t>(count - 1));
    }
    out.append(exponent < 0 ? "e-" : "e+");
    char power[8];
    out.append(power, std::to_chars(power, power + sizeof power, std::abs(exponent)).ptr);
  } else if (exponent < 0) {
    out.append("0.");
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out.append(digits, static_cast<size_t>(count));
  } else if (exponent >= count - 1) {
    out.append(digits, static_cast<size_t>(count));
    out.append(static_cast<size_t>(exponent - count + 1), '0');
  } else {
    const size_t point = static_cast<size_t>(exponent + 1);
    out.append(digits, point);
    out.push_back('.');
    out.append(digits + point, static_cast<size_t>(count) - point);
  }
}

void appendInteger(std::string& out, int64_t value) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void appendJsonString(std::string& out, std::string_view utf8) {
  out.push_back('"');
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", byte);
          out += escape;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

}  // namespace

std::string formatNumber(double value) {
  std::string out;
  appendNumber(out, value);
  return out;
}

std::string formatDate(DATE value) {
  const auto t = quarnel3::dateToCivil(value);
  if (!t) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t->year, t->month, t->day, t->hour, t->minute,
                t->second);
  return text;
}

std::string jsonString(const std::string& utf8) {
  std::string out;
  appendJsonString(out, utf8);
  return out;
}

namespace {

void appendJsonValue(std::string& out, const Value& value) {
  const size_t before = out.size();
  switch (value.kind()) {
    case Value::Kind::kNull: break;
    case Value::Kind::kBool: out += value.asBool() ? "true" : "false"; break;
    case Value::Kind::kInteger: appendInteger(out, value.asInteger()); break;
    case Value::Kind::kNumber: appendNumber(out, value.asNumber()); break;
    case Value::Kind::kText: appendJsonString(out, value.asText()); break;
    case Value::Kind::kDate: {
      const std::string text = formatDate(value.asNumber());
      if (!text.empty()) appendJsonString(out, text);
      break;
    }
    case Value::Kind::kIntegers: {
      out.push_back('[');
      for (size_t i = 0; i < value.asIntegers().size(); ++i) {
        if (i) out.push_back(',');
        appendInteger(out, value.asIntegers()[i]);
      }
      out.push_back(']');
      break;
    }
  }
  if (out.size() == before) out += "null";  // no value, or none that JSON can hold
}

std::string jsonValue(const Value& value) {
  std::string out;
  appendJsonValue(out, value);
  return out;
}

// Text values go bare; only the absence of a value is spelled out.
std::string plainValue(const Value& value) {
  if (value.kind() == Value::Kind::kText) return value.asText();
  if (value.kind() == Value::Kind::kDate) {
    const std::string text = formatDate(value.asNumber());
    return text.empty() ? "null" : text;
  }
  return jsonValue(value);
}

// Columns count characters, not bytes: UTF-8 continuation bytes take no room.
size_t displayWidth(const std::string& text) {
  size_t width = 0;
  for (const char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return width;
}

constexpr size_t kKindWidth = 16;

}  // namespace

void appendJson(std::string& out, const Line& line) {
  out.push_back('{');
  for (size_t i = 0; i < line.size(); ++i) {
    if (i) out.push_back(',');
    appendJsonString(out, line[i].first);
    out.push_back(':');
    appendJsonValue(out, line[i].second);
  }
  out.push_back('}');
}

std::string toJson(const Line& line) {
  std::string out;
  appendJson(out, line);
  return out;
}

std::string Printer::toText(const Line& line) {
  if (line.empty()) return "";
  const std::string kind = plainValue(line.front().second);
  std::string out = kind;
  size_t column = displayWidth(kind);
  size_t next = std::max(kKindWidth, column + 2);
  for (size_t i = 1; i < line.size(); ++i) {
    out.append(next - column, ' ');
    const std::string cell = line[i].first + "=" + plainValue(line[i].second);
    const size_t cellWidth = displayWidth(cell);
    size_t& width = widths_[{kind, line[i].first}];
    width = std::max(width, cellWidth);
    out += cell;
    column = next + cellWidth;
    next += width + 2;
  }
  return out;
}

Printer::Printer(Format format, FILE* out) : format_(format), out_(out) {
  buffer_.reserve(kFlushBytes + 4096);
  flusher_ = std::thread([this] { flushEvery(std::chrono::milliseconds(1)); });
}

Printer::~Printer() {
  close();
  flusher_.join();
}

// Events come in bursts: what one burst left is written a millisecond after
// its first line, so a reader never waits longer for a line, and a steady
// stream costs one write per millisecond or per buffer.
void Printer::flushEvery(std::chrono::milliseconds period) {
  std::unique_lock<std::mutex> hold(mutex_);
  while (!closed_) {
    buffered_.wait(hold, [this] { return closed_ || !buffer_.empty(); });
    if (closed_) break;
    buffered_.wait_for(hold, period, [this] { return closed_; });
    writeLocked();
  }
}

void Printer::writeLocked() {
  if (buffer_.empty()) return;
  std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
  std::fflush(out_);
  buffer_.clear();
}

void Printer::appendLine(std::string& out, const Line& line) {
  if (format_ == Format::kJson) {
    appendJson(out, line);
  } else {
    out += toText(line);
  }
  out.push_back('\n');
}

void Printer::printCall(const std::function<Line()>& call) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    holding_ = true;
    callThread_ = std::this_thread::get_id();
  }
  const Line line = call();
  std::lock_guard<std::mutex> hold(mutex_);
  holding_ = false;
  if (closed_) return;
  appendLine(buffer_, line);
  buffer_ += held_;
  held_.clear();
  writeLocked();
}

void Printer::print(const Line& line) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (closed_) return;
  if (holding_ && std::this_thread::get_id() != callThread_) {
    appendLine(held_, line);
    return;
  }
  const bool wasEmpty = buffer_.empty();
  appendLine(buffer_, line);
  const bool event = !line.empty() && line.front().first == "event";
  if (!event || buffer_.size() >= kFlushBytes) {
    writeLocked();
  } else if (wasEmpty) {
    buffered_.notify_one();
  }
}

void Printer::flush() {
  std::lock_guard<std::mutex> hold(mutex_);
  writeLocked();
}

void Printer::close() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (closed_) return;
    buffer_ += held_;
    held_.clear();
    writeLocked();
    closed_ = true;
  }
  buffered_.notify_one();
}

}  // namespace kxcli
