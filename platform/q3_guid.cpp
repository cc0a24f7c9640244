#include "q3_guid.h"

#include <cstdio>

namespace q3 {

std::string guidToString(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

std::optional<GUID> guidFromString(const std::string& text) {
  GUID g{};
  unsigned d2 = 0, d3 = 0, b[8] = {};
  int used = 0;
  if (text.size() != 38 ||
      std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &g.Data1, &d2, &d3, &b[0], &b[1], &b[2],
                  &b[3], &b[4], &b[5], &b[6], &b[7], &used) != 11 ||
      used != 38) {
    return std::nullopt;
  }
  g.Data2 = static_cast<uint16_t>(d2);
  g.Data3 = static_cast<uint16_t>(d3);
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<uint8_t>(b[i]);
  return g;
}

}  // namespace q3
