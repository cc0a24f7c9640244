// Writes records in the nibble-coded field encoding the client reads from
// decoded reply bodies: each field starts with a marker nibble, numbers are
// decimal digit nibbles, strings are NUL-terminated bytes, and every record
// ends with the end nibble padded to a whole byte.
//
//   nibble  0-9 digit   A plus   B minus   C string / group mark
//           D point     E small value follows   F end of record
//
// Usage (one short quote record of a quotes feed):
//
//   kexsim::RecordWriter w;
//   w.int32(7).recordEnd();                       // subscription header
//   w.decimal("101.25").decimal("101.5") ... .dateTime(kexsim::packTime(2013, 12, 31, 23, 59, 59))
//    ... .recordEnd();
//   std::string body = w.take();                  // decoded bytes, ready for the LZ77 encoder
//
// The writer never fails; preconditions are noted per call. bytes() holds whole
// bytes only: after a call that ends on a high nibble (a number, a small value)
// the pending low nibble reads as 0 until the next field fills it, so take the
// bytes after recordEnd(), groupMark() or string(), which end on a byte boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kexsim {

// Packed time: BCD digits, year in bits 63-48, month 47-40, day 39-32,
// hour 31-24, minute 23-16, second 15-8, bits 7-0 zero.
uint64_t packTime(int year, int month, int day, int hour, int minute, int second);

class RecordWriter {
 public:
  // Signed decimal number: marker A (or B when negative), then the digits.
  RecordWriter& int32(int32_t value);
  RecordWriter& int64(int64_t value);

  // Decimal number from text such as "12.5", "-0.30", "7", "0.": an optional
  // '-' or '+', digits, an optional '.' and fraction digits. The client reads
  // the digits back with its own digit loop, so the value it sees is the one
  // that loop gives for this exact text (e.g. "0.3" reads as 0.30000000000000004).
  // Precondition: the text matches that shape (other characters are skipped).
  RecordWriter& decimal(std::string_view text);
  // Decimal number rounded to `fractionDigits` digits after the point ("%.*f");
  // with 0 no point is written. Precondition: value is finite.
  RecordWriter& decimal(double value, int fractionDigits);
  // A number field without digits: the marker A alone. The client reads it as
  // its empty number value (a double) or as 0 (an integer).
  RecordWriter& emptyNumber();

  // Date-time: marker A and the 14 BCD digits YYYYMMDDhhmmss of a packed time.
  // Precondition: every digit nibble of `packed` is 0-9 (use packTime).
  RecordWriter& dateTime(uint64_t packed);

  // Small value: marker E and one nibble. Precondition: 0 <= value <= 15.
  RecordWriter& small(int value);

  // String: marker C, padding to the byte boundary, the bytes, then a NUL.
  // Bytes are copied unchanged (the server's single-byte code page).
  // Precondition: `bytes` contains no NUL (it would end the string early).
  RecordWriter& string(std::string_view bytes);
  // A lone string marker padded to the byte boundary (group mark).
  RecordWriter& groupMark();
  // End of record: marker F padded to the byte boundary.
  RecordWriter& recordEnd();

  // One raw nibble (0-15), for tests that need malformed records.
  RecordWriter& nibble(int value);

  const std::string& bytes() const { return out_; }
  // Hands the bytes over and leaves the writer empty.
  std::string take();
  void clear();
  size_t size() const { return out_.size(); }

 private:
  void put(int nibble);
  void alignToByte();
  void putDigits(uint64_t magnitude);

  std::string out_;
  bool lowNibbleNext_ = false;
};

}  // namespace kexsim
