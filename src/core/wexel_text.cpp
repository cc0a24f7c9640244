#include "core/wexel_text.h"

#include <cstdarg>
#include <cstdio>

#include <iconv.h>

#include <cstring>
#include <memory>
#include <vector>

namespace wexel {

namespace {

constexpr char kUnreserved[] = "!$'()*+,-./:=@^_~";

bool keepsItself(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         (c != 0 && std::strchr(kUnreserved, c) != nullptr);
}

}  // namespace

char* urlEncode(const unsigned char* bytes, size_t count) {
  static const char kHex[] = "0123456789ABCDEF";
  char* out = new char[3 * count + 1];
  char* p = out;
  for (size_t i = 0; i < count; ++i) {
    unsigned char c = bytes[i];
    if (keepsItself(c)) {
      *p++ = static_cast<char>(c);
    } else {
      *p++ = '%';
      *p++ = kHex[c >> 4];
      *p++ = kHex[c & 15];
    }
  }
  *p = 0;
  return out;
}

std::string urlEncode(const std::string& text) {
  std::unique_ptr<char[]> encoded(
      urlEncode(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
  return encoded.get();
}

std::string convertCharset(const std::string& text, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  // Converting into a wider set (UTF-8 from CP1251) may need up to 4 bytes a
  // character; the room is sized for that so nothing is cut.
  std::vector<char> output(text.size() * 4 + 4);
  char* in = const_cast<char*>(text.c_str());
  size_t inLeft = text.size() + 1;  // the terminating zero too
  char* out = output.data();
  size_t outLeft = output.size();
  size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1)) return text;
  return std::string(output.data());
}

std::string charsetParameter(const std::string& contentType) {
  const size_t name = contentType.find("charset");
  if (name == std::string::npos) return std::string();
  const size_t equals = contentType.find('=', name);
  if (equals == std::string::npos) return std::string();
  const size_t end = contentType.find(';', equals);
  return contentType.substr(equals + 1, end == std::string::npos ? std::string::npos : end - equals - 1);
}

std::string formatBounded(size_t size, const char* format, ...) {
  std::string text(size, '\0');
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text.data(), size, format, args);
  va_end(args);
  if (n < 0 || static_cast<size_t>(n) >= size) return std::string();
  text.resize(static_cast<size_t>(n));
  return text;
}

}  // namespace wexel
