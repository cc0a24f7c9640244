// The tables a session fills: securities from the guide, portfolios and
// exchanges from the logon reply. Adapters write them on library threads
// while host threads read them, so they sit behind a reader-writer lock.
#pragma once

#include <boost/thread/shared_mutex.hpp>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "wexel/wexel_records.h"

namespace kx {

class Tables {
 public:
  // Replaces the portfolios (the first record of a code stays) and the exchanges.
  void storeLogon(const std::vector<wexel::WPortfolioEntry>& portfolios, const std::vector<std::string>& exchanges);
  // Adds securities; a symbol already present keeps its first record.
  void addSecurities(const std::vector<wexel::WSecurity>& securities);

  std::map<std::string, wexel::WPortfolioEntry> portfolios() const;
  bool hasPortfolio(const std::string& code) const;
  // The money-account code of a portfolio; nullopt when it is not in the table.
  std::optional<std::string> moneyAccount(const std::string& code) const;
  std::optional<wexel::WSecurity> security(const std::string& symbol) const;
  std::map<std::string, wexel::WSecurity> securities() const;

 private:
  mutable boost::shared_mutex lock_;
  std::map<std::string, wexel::WSecurity> securities_;
  std::map<std::string, wexel::WPortfolioEntry> portfolios_;
  std::set<std::string> exchanges_;
};

// A text field of a record, which may fill its whole width without a zero.
template <size_t N>
std::string fieldText(const char (&field)[N]) {
  size_t length = 0;
  while (length < N && field[length]) ++length;
  return std::string(field, length);
}

}  // namespace kx
