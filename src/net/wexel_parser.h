// HTTP/1.0 response framing for one channel: finds the header, checks the
// status line, records Keep-Alive and Connection, then hands every following
// byte to parseBody, which derived parsers implement.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "wexel/wexel_errors.h"

namespace wexel {

// The decimal number at the start of `text` (digits only, no sign), or -1
// when there is none or it exceeds `max`. `end`, when given, receives where
// the digits stop.
int64_t leadingDecimal(const char* text, int64_t max, const char** end = nullptr);
// A header value that is a decimal number alone (blanks may follow) within
// 0..max, or -1.
int64_t headerDecimal(const char* value, int64_t max);

// Progress notifications, for owners that need to know when a reply is used up.
class WParserTracking {
 public:
  virtual ~WParserTracking() = default;
  virtual void onUnitParsed(int64_t /*unit*/, int /*bytes*/) {}
  virtual void onUnitIncomplete(int64_t /*unit*/) {}
  virtual void onUnitError(int64_t /*unit*/) {}
  virtual void onChunkParsed(int64_t /*chunk*/, int /*bytes*/) {}
  virtual void onChunkIncomplete(int64_t /*chunk*/) {}
  virtual void onChunkError(int64_t /*chunk*/) {}
};

class WexelParser {
 public:
  static constexpr int kBufferSize = 8192;
  static constexpr int32_t kNoKeepAliveMax = 2147483647;

  WexelParser();
  virtual ~WexelParser();
  WexelParser(const WexelParser&) = delete;
  WexelParser& operator=(const WexelParser&) = delete;

  // Header length (blank line included), 0 when incomplete, -1 on error.
  virtual int parseHeader(const char* text, int count);
  virtual int onHeaderField(const char* name, const char* value);
  // Bytes consumed (> 0), 0 when more data is needed, or a negative error.
  virtual int parseBody(const char* data, int count);
  virtual int onError(int code, const char* text);
  virtual int onErrorResponse(const char* text, int count, const char* status, const char* reason);

  char* writePosition() { return buffer_ + buffered_; }
  int freeSpace() const { return kBufferSize - 1 - static_cast<int>(buffered_); }
  // The channel read n bytes to writePosition(); parses what is complete.
  int onReceived(int n);

  void resetConnectionState();
  void clearHeaderParsed() { headerParsed_.store(0); }
  bool isHeaderParsed() const { return headerParsed_.load() == 1; }
  // When result < 0, remembers "Parse error: FILE, line LINE"; returns result.
  // FILE is kept by pointer: pass a string literal (the source name).
  int recordParseError(int result, const char* file, int line) {
    if (result < 0) {
      errorFile_ = file;
      errorLine_ = line;
    }
    return result;
  }

  void setTracking(WParserTracking* tracking) { tracking_ = tracking; }
  double emptyNumber() const { return emptyNumber_; }
  int32_t headersParsed() const { return headersParsed_; }
  int32_t keepAliveMax() const { return keepAliveMax_; }
  bool closeRequested() const { return closeFlag_ != 0; }
  int64_t chunkCount() const { return chunkCounter_; }
  int64_t unitCount() const { return unitCounter_; }
  int64_t buffered() const { return buffered_; }
  // "Parse error: FILE, line LINE" of the last failed field read, or empty.
  std::string lastErrorText() const;

 protected:
  double emptyNumber_;

 private:
  int parseBuffer(int total);
  int parseStatusLine(const char* text, int count, const char* lineEnd);
  void onHeaderLine(const std::string& name, const std::string& value);

  // Read and reset by a channel's owner on other threads (the streaming order
  // channel paces itself by them), so each is atomic.
  std::atomic<int32_t> headersParsed_{0};
  std::atomic<int32_t> keepAliveMax_{kNoKeepAliveMax};
  std::atomic<int64_t> chunkCounter_{0};
  std::atomic<int64_t> unitCounter_{0};
  std::atomic<unsigned char> closeFlag_{0};
  WParserTracking* tracking_ = nullptr;
  char buffer_[kBufferSize] = {};
  int64_t buffered_ = 0;
  std::atomic<int32_t> headerParsed_{0};
  // Where the last failed field read was; the text is built only when asked
  // for, so a record parser trying a second layout allocates nothing.
  const char* errorFile_ = nullptr;
  int errorLine_ = 0;
};

}  // namespace wexel
