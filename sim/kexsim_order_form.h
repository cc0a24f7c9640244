// Reading the order URLs as the client formats them: the words of its value
// tables, prices with six decimals, amounts and numbers as plain integers.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "kexsim_matching.h"

namespace kexsim {

// The parameters of one query. A required parameter that is missing or does
// not read makes the whole form ill-formed; the readers then answer 0 or "".
class OrderForm {
 public:
  explicit OrderForm(const std::string& query);

  bool has(const char* name) const { return values_.count(name) != 0; }
  std::string text(const char* name);
  double number(const char* name);
  int64_t integer(const char* name);
  // Its position in the table (1, 2, ...); "INVALID" or an unknown word is ill-formed.
  template <size_t N>
  int32_t word(const char* name, const char* const (&words)[N]) {
    return wordIn(name, words, N);
  }
  // An optional unsigned 32-bit tag; 0 when absent or unreadable.
  uint32_t cookie(const char* name) const;

  bool wellFormed() const { return wellFormed_; }

 private:
  int32_t wordIn(const char* name, const char* const* words, size_t count);
  const std::string* find(const char* name);

  std::multimap<std::string, std::string> values_;
  bool wellFormed_ = true;
};

// The tickets of the four place endpoints.
OrderTicket placeTicket(OrderForm& form);     // place-order.php, with or without cond=
OrderTicket takeStopTicket(OrderForm& form);  // place-takestop-order.php
OrderTicket icebergTicket(OrderForm& form);   // place-iceberg.php
OrderTicket expiryTicket(OrderForm& form);    // place-expiry-order.php

}  // namespace kexsim
