// Stands in for the QuickFIX/C++ peer where libquickfix-dev is not installed.
#include "fix_peer.h"

namespace fixpeer {

bool available() { return false; }

double parseAndRead(const std::vector<std::string>&, const std::vector<int>&, int, size_t& fields) {
  fields = 0;
  return 0;
}

}  // namespace fixpeer
