// Scripted records: a record written as a list of field tokens, so that a
// scenario file or a test can make the server send exact bytes.
//
//   "#"          the subscription number the client chose (int32)
//   "i:-42"      int32            "l:123456789012"  int64
//   "d:101.25"   decimal number   "d:"              number without digits (empty)
//   "t:20131231235959"  date-time "e:3"             small value 0..15
//   "s:text"     string           "g"               group mark
//   "f"          end of record    "n:D"             one raw nibble (hex digit)
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kexsim {

class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The decoded bytes of one record. Throws ScriptError on an unknown token.
std::string compileRecord(const std::vector<std::string>& tokens, int32_t subscription);

// Throws ScriptError when any record of the list does not compile.
void checkRecords(const std::vector<std::vector<std::string>>& records);

// "YYYYMMDDhhmmss" to a packed time; throws ScriptError on another shape.
uint64_t packedTimeFromText(const std::string& text);

}  // namespace kexsim
