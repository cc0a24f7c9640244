// Code page conversions with iconv. Each thread keeps its own descriptors, so
// conversions never share iconv state.
#include "q3_codepage.h"

#include <iconv.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace q3 {
namespace {

class Converter {
 public:
  Converter(const std::string& to, const std::string& from) : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (valid()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`; an input unit the target lacks (of `unit` bytes)
  // becomes `replacement`.
  std::string run(std::string_view in, size_t unit, std::string_view replacement) {
    std::string out;
    if (!valid()) return out;
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    char* source = const_cast<char*>(in.data());
    size_t left = in.size();
    char buffer[1024];
    while (left > 0) {
      char* target = buffer;
      size_t room = sizeof buffer;
      const size_t r = iconv(handle_, &source, &left, &target, &room);
      out.append(buffer, static_cast<size_t>(target - buffer));
      if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
      const size_t skip = std::min(unit, left);  // EILSEQ or EINVAL: replace one unit
      source += skip;
      left -= skip;
      out.append(replacement);
    }
    return out;
  }

 private:
  iconv_t handle_;
};

struct ThreadConverters {
  std::string page = ansiCodePage();
  Converter toAnsi{page, "UTF-16LE"};
  Converter fromAnsi{"UTF-16LE", page};
  Converter toUtf8{"UTF-8", "UTF-16LE"};
  Converter fromUtf8{"UTF-16LE", "UTF-8"};
};

ThreadConverters& converters() {
  thread_local ThreadConverters instance;
  return instance;
}

std::u16string toUtf16(const std::string& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

std::string_view bytesOf(std::u16string_view text) {
  return {reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t)};
}

const std::string kQuestionUtf16("?\0", 2);

}  // namespace

std::string ansiCodePage() {
  const char* chosen = std::getenv("QUARNEL3_ANSI_CODEPAGE");
  return chosen && *chosen ? chosen : "CP1251";
}

std::string toAnsi(std::u16string_view text) { return converters().toAnsi.run(bytesOf(text), 2, "?"); }

std::string toAnsi(BSTR text) { return text ? toAnsi(std::u16string_view(text, SysStringLen(text))) : std::string(); }

std::u16string fromAnsi(std::string_view text) { return toUtf16(converters().fromAnsi.run(text, 1, kQuestionUtf16)); }

BSTR ansiToBstr(const char* text) {
  if (!text) return nullptr;
  const std::u16string wide = fromAnsi(text);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::u16string fromUtf8(std::string_view text) { return toUtf16(converters().fromUtf8.run(text, 1, kQuestionUtf16)); }

std::string toUtf8(std::u16string_view text) { return converters().toUtf8.run(bytesOf(text), 2, "?"); }

}  // namespace q3
