#include "kexsim_order_texts.h"

#include <strings.h>

#include <array>

#include "kexsim_cp1251.h"

namespace kexsim {

std::string encodeText(const std::string& utf8, const std::string& charset) {
  static constexpr std::array<const char*, 2> kCodePageNames{"CP1251", "windows-1251"};
  for (const char* name : kCodePageNames) {
    if (strcasecmp(name, charset.c_str()) == 0) return toCp1251(utf8);
  }
  return utf8;
}

}  // namespace kexsim
