// Text utilities: URL encoding of query values and character set conversion.
#pragma once

#include <cstddef>
#include <string>

namespace wexel {

// Percent-encodes every byte outside letters, digits and !$'()*+,-./:=@^_~.
// Returns a new zero-terminated text of capacity 3 * count + 1; free with delete[].
char* urlEncode(const unsigned char* bytes, size_t count);
std::string urlEncode(const std::string& text);

// Converts text from one character set to another with iconv. A text that
// cannot be converted, or an unknown character set, comes back unchanged.
std::string convertCharset(const std::string& text, const char* from, const char* to);

}  // namespace wexel
