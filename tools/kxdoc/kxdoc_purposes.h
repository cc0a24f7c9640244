// What the type library itself does not say: one line of purpose per method
// and event, and which enumeration a numeric parameter takes.
#pragma once

#include <span>

namespace kxdoc {

struct Purpose {
  const char* member;
  const char* text;
};

struct EnumeratedParam {
  const char* member;
  const char* param;
  const char* enumeration;
};

std::span<const Purpose> purposes();
std::span<const EnumeratedParam> enumeratedParams();

}  // namespace kxdoc
