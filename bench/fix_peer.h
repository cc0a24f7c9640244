// QuickFIX/C++ as the peer of the record benchmark, behind plain types: its
// headers use throw() lists, which C++17 removed, so its one source is
// compiled as C++14, apart from the rest.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fixpeer {

// Whether QuickFIX/C++ was found when the benchmarks were built.
bool available();

// Parses every message (FIX 4.4 tag=value text with SOH separators) into a
// QuickFIX message, then converts each of its fields whose tag is in
// `numberTags` to a double and the field `timeTag` to a timestamp, as an
// application reads a quote. Returns the sum of the numbers (so that nothing
// is optimized away); `fields` counts the fields converted.
double parseAndRead(const std::vector<std::string>& messages, const std::vector<int>& numberTags, int timeTag,
                    size_t& fields);

}  // namespace fixpeer
