// The parser base of every compressed data reply: decodes the LZ77 bit stream
// of the body incrementally into a 64 KB window and offers the decoded bytes to
// the subclass's record parser, one record per call. Also the readers of the
// nibble-coded record fields that every record parser uses.
#pragma once

#include <cstdint>

#include "net/wexel_parser.h"

namespace wexel {

// A read position in decoded bytes taken as 4-bit nibbles, the high nibble of
// each byte first. `nibbles` counts what is left; record parsers start with
// twice the byte count, so an odd count means the next nibble is a low nibble.
// The nibbles that are not digits: field markers and the decimal point.
enum WNibbleMarker : int {
  kPlus = 0xA,    // a number follows
  kMinus = 0xB,   // a negative number follows
  kString = 0xC,  // a text follows (also a group mark)
  kPoint = 0xD,   // the decimal point inside a number
  kSmall = 0xE,   // one nibble of value follows
  kEnd = 0xF,     // end of record
};

struct WNibbleCursor {
  const unsigned char* data;  // the byte that holds the next nibble
  int nibbles;                // nibbles remaining

  WNibbleCursor(const char* bytes, int size)
      : data(reinterpret_cast<const unsigned char*>(bytes)), nibbles(2 * size) {}

  // The nibble `ahead` places after the next one. Precondition: ahead < nibbles.
  int at(int ahead) const {
    const int index = (nibbles & 1) + ahead;  // counted from the high nibble of *data
    const unsigned char byte = data[index >> 1];
    return (index & 1) ? byte & 15 : byte >> 4;
  }
  // Precondition: count <= nibbles.
  void advance(int count) {
    data += ((nibbles & 1) + count) >> 1;
    nibbles -= count;
  }
  // Whole bytes consumed since a cursor that had `startNibbles` left.
  int bytesSince(int startNibbles) const { return (startNibbles - nibbles) / 2; }
};

class WLZ77Parser : public WexelParser {
 public:
  static constexpr int kWindowSize = 65536;
  static constexpr int kHistorySize = 32768;
  static constexpr int kSlideSize = 16384;
  static constexpr int kTokenRoom = 64;         // the longest token writes 63 bytes
  static constexpr int kIncompleteLimit = 1024;  // this many bytes without a record: corrupt

  // Decoder states as stored between decode steps; 0..6 wait for that many
  // offset extra bits.
  enum State : int32_t {
    kStateOffsetClass = 7,
    kStateOffsetLow = 8,
    kStateLengthCode = 9,
    kStateLiteral = 10,
    kStateFlags = 11,
    kStateWindowFull = 12,
    kStateBlockEnded = 14,
    kStateInitial = 15,
  };

  WLZ77Parser();

  // Body bytes consumed, or the negative result of a record parser.
  int parseBody(const char* data, int count) override;
  // One decode step over `data`, then the decoded bytes go to parseRecord
  // until it needs more. Input bytes consumed, or a negative record result.
  virtual int decodeAndDispatch(const char* data, int size);
  // One record from the unparsed decoded bytes: bytes consumed, 0 when the
  // record is incomplete (fewer than kIncompleteLimit bytes), or -1001.
  virtual int parseRecord(const char* data, int size) = 0;

  // Field readers. Each answers the nibbles consumed (> 0, cursor advanced),
  // 0 when the data ends too early, or -1 when the marker is not the expected
  // one (both leave the cursor where it was). All stay within the cursor.
  int readInt32(WNibbleCursor& cursor, int32_t& out) const;
  int readInt64(WNibbleCursor& cursor, int64_t& out) const;
  // A field with only its sign marker reads as the empty number value.
  int readDouble(WNibbleCursor& cursor, double& out) const;
  int readDateTime(WNibbleCursor& cursor, uint64_t& out) const;
  int readSmall(WNibbleCursor& cursor, int32_t& out) const;
  // Copies the bytes up to and including the NUL; `capacity` counts the NUL.
  int readString(WNibbleCursor& cursor, char* buffer, int capacity) const;
  int readRecordEnd(WNibbleCursor& cursor) const;
  int readGroupMark(WNibbleCursor& cursor) const;
  // Up to and including the next end-of-record nibble; never -1.
  int skipRecord(WNibbleCursor& cursor) const;
  // The number and small fields from the cursor to the next end-of-record
  // nibble, or -1 when a text field or the data's end comes first; once the
  // count passes `enough` it stops there and answers enough + 1. Reads
  // nothing into anything: it lets a parser pick a record's layout before
  // reading it.
  static int countNumberFields(const WNibbleCursor& cursor, int enough);

  // Decoder inspection, for diagnostics and tests.
  int32_t decoderState() const { return state_; }
  int32_t bitAccumulator() const { return bitAccumulator_; }
  int32_t bitCount() const { return bitCount_; }
  int32_t windowWritePosition() const { return writePosition_; }
  int32_t windowReadPosition() const { return readPosition_; }
  const unsigned char* window() const { return window_; }

 private:
  static double decimalValue(const WNibbleCursor& cursor, int whole, int used, uint64_t mantissa, bool overflow);
  static double decimalFromText(const WNibbleCursor& cursor, int whole, int used);
  int decodeStep(const unsigned char* data, int size);
  int decodeFast(const unsigned char* data, int size);
  int decodeExact(const unsigned char* data, int size, int position, bool& handedBack);
  void copyMatch();
  int reportBadBlock(int result);
  void slideWindow();

  int32_t state_ = kStateInitial;
  int32_t bitAccumulator_ = 0;
  int32_t bitCount_ = 0;
  int32_t pendingOffset_ = 0;
  int32_t pendingLength_ = 0;
  int32_t writePosition_ = kHistorySize;
  int32_t readPosition_ = kHistorySize;
  unsigned char window_[kWindowSize] = {};
};

}  // namespace wexel

// The number and time readers are defined inline there.
#include "codec/wexel_number_readers.h"
