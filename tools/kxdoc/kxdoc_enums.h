// The enumerations of the type library, read from its header text: every
// `enum Kx... : int32_t { Name = value, ... }` block, in the header's order.
#pragma once

#include <string>
#include <vector>

namespace kxdoc {

struct Enumerator {
  std::string name;
  long value;
};

struct Enumeration {
  std::string name;
  std::vector<Enumerator> values;
};

std::vector<Enumeration> readEnumerations(const std::string& headerText);

}  // namespace kxdoc
