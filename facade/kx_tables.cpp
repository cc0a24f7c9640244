#include "kx_tables.h"

#include <boost/thread/locks.hpp>

namespace kx {

void Tables::storeLogon(const std::vector<wexel::WPortfolioEntry>& portfolios,
                        const std::vector<std::string>& exchanges) {
  boost::unique_lock<boost::shared_mutex> hold(lock_);
  portfolios_.clear();
  for (const wexel::WPortfolioEntry& entry : portfolios) portfolios_.emplace(fieldText(entry.name3), entry);
  exchanges_ = std::set<std::string>(exchanges.begin(), exchanges.end());
}

void Tables::addSecurities(const std::vector<wexel::WSecurity>& securities) {
  boost::unique_lock<boost::shared_mutex> hold(lock_);
  for (const wexel::WSecurity& security : securities) securities_.emplace(fieldText(security.symbol), security);
}

std::map<std::string, wexel::WPortfolioEntry> Tables::portfolios() const {
  boost::shared_lock<boost::shared_mutex> hold(lock_);
  return portfolios_;
}

bool Tables::hasPortfolio(const std::string& code) const {
  boost::shared_lock<boost::shared_mutex> hold(lock_);
  return portfolios_.count(code) != 0;
}

std::optional<std::string> Tables::moneyAccount(const std::string& code) const {
  boost::shared_lock<boost::shared_mutex> hold(lock_);
  auto found = portfolios_.find(code);
  if (found == portfolios_.end()) return std::nullopt;
  return fieldText(found->second.moneyAccount);
}

std::optional<wexel::WSecurity> Tables::security(const std::string& symbol) const {
  boost::shared_lock<boost::shared_mutex> hold(lock_);
  auto found = securities_.find(symbol);
  if (found == securities_.end()) return std::nullopt;
  return found->second;
}

std::map<std::string, wexel::WSecurity> Tables::securities() const {
  boost::shared_lock<boost::shared_mutex> hold(lock_);
  return securities_;
}

}  // namespace kx
