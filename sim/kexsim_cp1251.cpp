#include "kexsim_cp1251.h"

#include <cstdint>

namespace kexsim {
namespace {

// The code points of bytes 0x80..0xBF; 0 where the code page leaves a hole.
// 0xC0..0xFF are U+0410..U+044F in order, and below 0x80 is ASCII.
constexpr char32_t kUpperHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0,      0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

char encode(char32_t c) {
  if (c < 0x80) return static_cast<char>(c);
  if (c >= 0x0410 && c <= 0x044F) return static_cast<char>(0xC0 + (c - 0x0410));
  for (int i = 0; i < 64; ++i) {
    if (kUpperHalf[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// The code point starting at `at`, moving `at` past it; U+FFFD for a byte
// that does not start a well-formed sequence (it alone is passed).
char32_t nextCodePoint(const std::string& text, size_t& at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at++);
  if (lead < 0x80) return lead;
  const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (more < 0 || at + static_cast<size_t>(more) > text.size()) return 0xFFFD;
  char32_t c = lead & (0x3F >> more);
  for (int i = 0; i < more; ++i) {
    if ((byte(at + static_cast<size_t>(i)) & 0xC0) != 0x80) return 0xFFFD;
    c = c << 6 | (byte(at + static_cast<size_t>(i)) & 0x3F);
  }
  at += static_cast<size_t>(more);
  return c;
}

}  // namespace

std::string toCp1251(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) out.push_back(encode(nextCodePoint(utf8, at)));
  return out;
}

}  // namespace kexsim
