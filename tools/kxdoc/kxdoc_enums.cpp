#include "kxdoc_enums.h"

#include <regex>

namespace kxdoc {

std::vector<Enumeration> readEnumerations(const std::string& headerText) {
  static const std::regex block(R"(enum (Kx\w+) : int32_t \{([^}]*)\})");
  static const std::regex entry(R"((\w+) = (-?\d+))");
  std::vector<Enumeration> found;
  for (std::sregex_iterator b(headerText.begin(), headerText.end(), block), end; b != end; ++b) {
    Enumeration enumeration{(*b)[1].str(), {}};
    const std::string body = (*b)[2].str();
    for (std::sregex_iterator e(body.begin(), body.end(), entry); e != end; ++e) {
      enumeration.values.push_back({(*e)[1].str(), std::stol((*e)[2].str())});
    }
    found.push_back(std::move(enumeration));
  }
  return found;
}

}  // namespace kxdoc
