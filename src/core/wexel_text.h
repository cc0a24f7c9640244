// Text utilities: URL encoding of query values, character set conversion,
// and the check of texts that go into a request unchanged.
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

// The charset parameter of a Content-Type value ("text/html; charset=UTF-8"):
// after the first "=" that follows "charset", up to the next ";" or the end;
// empty without one.
std::string charsetParameter(const std::string& contentType);

// A caller's text goes into a URL or a feed line unchanged: a line break,
// NUL, other control character or blank would split or rewrite the request.
inline bool isSafeParameter(const std::string& text) {
  for (unsigned char c : text) {
    if (c <= ' ' || c == 0x7F) return false;
  }
  return true;
}

// A text inserted unchanged as a URL parameter value: safe as above, and
// neither adding nor cutting a parameter ("&", "#").
inline bool isSafeUrlValue(const std::string& text) {
  return isSafeParameter(text) && text.find_first_of("&#") == std::string::npos;
}

// printf into a buffer of `size` bytes; empty when the text does not fit, so
// that nothing is ever sent cut.
std::string formatBounded(size_t size, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace wexel
