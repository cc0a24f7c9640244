#include "kexsim_scenario.h"

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "kexsim_cp1251.h"
#include "kexsim_script.h"
#include "kexsim_security_fields.h"

namespace kexsim {
namespace {

using boost::property_tree::ptree;

std::string cp1251(const std::string& utf8) { return toCp1251(utf8); }

std::string text(const ptree& node, const char* key, const std::string& fallback = "") {
  auto value = node.get_optional<std::string>(key);
  return value ? cp1251(*value) : fallback;
}

template <typename T>
T number(const ptree& node, const char* key, T fallback) {
  return node.get<T>(key, fallback);
}

// Children of a JSON array (or nothing when the key is missing).
std::vector<const ptree*> items(const ptree& node, const char* key) {
  std::vector<const ptree*> list;
  if (auto child = node.get_child_optional(key)) {
    for (const auto& item : *child) list.push_back(&item.second);
  }
  return list;
}

PortfolioEntry readPortfolio(const ptree& node) {
  return {text(node, "exchange"), text(node, "name"), number(node, "status", 0),
          text(node, "moneyAccount")};
}

User readUser(const ptree& node) {
  User user{text(node, "login"), text(node, "password"), text(node, "refusal"), {}};
  for (const ptree* item : items(node, "portfolios")) user.portfolios.push_back(readPortfolio(*item));
  return user;
}

std::vector<NamedEntry> readNamed(const ptree& root, const char* key) {
  std::vector<NamedEntry> list;
  for (const ptree* item : items(root, key)) {
    list.push_back({text(*item, "code"), text(*item, "description")});
  }
  return list;
}

void readField(const ptree& node, const SecurityField& field, Security* security) {
  auto value = node.get_optional<std::string>(field.name);
  if (!value) return;
  std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(security->*member)>;
        if constexpr (std::is_same_v<T, std::string>) {
          security->*member = cp1251(*value);
        } else {
          security->*member = node.get<T>(field.name);
        }
      },
      field.member);
}

Security readSecurity(const ptree& node) {
  Security security;
  for (const SecurityField& field : securityFields()) readField(node, field, &security);
  security.optionalFields = number(node, "optionalFields", security.optionalFields);
  security.price = number(node, "price", security.price);
  security.longQuotes = number(node, "longQuotes", security.longQuotes);
  if (!security.expiry.empty()) packedTimeFromText(security.expiry);
  return security;
}

void readGuideSections(const ptree& root, Scenario* scenario) {
  auto sections = root.get_child_optional("guideSections");
  if (!sections) return;
  for (int section = 1; section <= 3; ++section) {
    for (const ptree* pair : items(*sections, std::to_string(section).c_str())) {
      std::vector<std::string> texts;
      for (const auto& value : *pair) texts.push_back(cp1251(value.second.data()));
      if (texts.size() != 2) throw ScenarioError("guide pair needs two texts");
      scenario->guideSections[section - 1].emplace_back(texts[0], texts[1]);
    }
  }
}

FeedScript readScript(const ptree& node) {
  FeedScript script{text(node, "kind"), text(node, "first"), text(node, "second"), {}};
  for (const ptree* record : items(node, "records")) {
    std::vector<std::string> tokens;
    for (const auto& token : *record) tokens.push_back(cp1251(token.second.data()));
    script.records.push_back(std::move(tokens));
  }
  checkRecords(script.records);
  return script;
}

Fault readFault(const ptree& node) {
  std::string name = node.get<std::string>("type", "");
  auto type = faultTypeFromName(name);
  if (!type) throw ScenarioError("unknown fault type '" + name + "'");
  return {*type, number(node, "status", 0), number(node, "delayMs", 0), number(node, "times", 0),
          node.get<std::string>("charset", "")};
}

void readMarket(const ptree& root, Scenario* scenario) {
  scenario->tickMs = root.get<int>("market.tickMs", scenario->tickMs);
  scenario->firehoseRate = root.get<int>("market.firehose", scenario->firehoseRate);
  scenario->marketStart = root.get<std::string>("market.start", "");
  if (!scenario->marketStart.empty()) packedTimeFromText(scenario->marketStart);
}

int readDate(const std::string& text) {
  bool digits = text.size() == 8 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits) throw ScenarioError("history date must be YYYYMMDD: '" + text + "'");
  return std::stoi(text);
}

void readHistory(const ptree& root, Scenario* scenario) {
  HistorySettings& history = scenario->history;
  history.days = root.get<int>("history.days", history.days);
  if (history.days < 0) throw ScenarioError("history days must not be negative");
  for (const ptree* range : items(root, "history.closed")) {
    std::vector<int> dates;
    for (const auto& value : *range) dates.push_back(readDate(value.second.data()));
    if (dates.size() != 2) throw ScenarioError("closed range needs two dates");
    history.closed.push_back({dates[0], dates[1]});
  }
}

void readOrders(const ptree& root, Scenario* scenario) {
  OrderSettings& orders = scenario->orders;
  orders.charset = root.get<std::string>("orders.charset", orders.charset);
  orders.keepAliveMax = root.get<int>("orders.keepAliveMax", orders.keepAliveMax);
  orders.keepAliveTimeout = root.get<int>("orders.keepAliveTimeout", orders.keepAliveTimeout);
}

void readPortfolioSettings(const ptree& root, Scenario* scenario) {
  PortfolioSettings& portfolio = scenario->portfolio;
  portfolio.startingCash = root.get<double>("portfolio.startingCash", portfolio.startingCash);
  portfolio.commissionRate = root.get<double>("portfolio.commissionRate", portfolio.commissionRate);
  portfolio.extraRecords = root.get<bool>("portfolio.extraRecords", portfolio.extraRecords);
  if (auto synthetic = root.get_child_optional("portfolio.syntheticOrders")) {
    for (const auto& [name, count] : *synthetic) portfolio.syntheticOrders[cp1251(name)] = count.get_value<int>();
  }
}

Scenario fromTree(const ptree& root) {
  Scenario scenario;
  for (const ptree* item : items(root, "users")) scenario.users.push_back(readUser(*item));
  scenario.exchanges = readNamed(root, "exchanges");
  scenario.news = readNamed(root, "news");
  scenario.version = text(root, "version");
  scenario.caps = text(root, "caps");
  scenario.message = text(root, "message");
  scenario.update = {text(root, "update.name"), text(root, "update.version"), text(root, "update.url")};
  for (const ptree* item : items(root, "endpoints")) {
    scenario.endpoints.push_back({text(*item, "type"), text(*item, "url")});
  }
  readGuideSections(root, &scenario);
  for (const ptree* item : items(root, "securities")) scenario.securities.push_back(readSecurity(*item));
  readMarket(root, &scenario);
  readHistory(root, &scenario);
  readOrders(root, &scenario);
  readPortfolioSettings(root, &scenario);
  for (const ptree* item : items(root, "scripts")) scenario.scripts.push_back(readScript(*item));
  if (auto faults = root.get_child_optional("faults")) {
    for (const auto& [kind, node] : *faults) scenario.faults[kind] = readFault(node);
  }
  return scenario;
}

}  // namespace

bool HistorySettings::closedOn(int date) const {
  return std::any_of(closed.begin(), closed.end(),
                     [date](const ClosedDays& range) { return range.first <= date && date <= range.last; });
}

const User* Scenario::findUser(const std::string& login) const {
  for (const User& user : users) {
    if (user.login == login) return &user;
  }
  return nullptr;
}

const User* Scenario::ownerOf(const std::string& portfolio) const {
  for (const User& user : users) {
    for (const PortfolioEntry& entry : user.portfolios) {
      if (entry.name == portfolio) return &user;
    }
  }
  return nullptr;
}

const Security* Scenario::findSecurity(const std::string& exchange, const std::string& symbol) const {
  for (const Security& security : securities) {
    if (security.exchange == exchange && security.symbol == symbol) return &security;
  }
  return nullptr;
}

Scenario parseScenario(const std::string& json) {
  ptree root;
  std::istringstream input(json);
  try {
    boost::property_tree::read_json(input, root);
    return fromTree(root);
  } catch (const boost::property_tree::ptree_error& error) {
    throw ScenarioError(std::string("scenario: ") + error.what());
  } catch (const ScriptError& error) {
    throw ScenarioError(std::string("scenario: ") + error.what());
  }
}

Scenario loadScenarioFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw ScenarioError("scenario: cannot read " + path);
  std::ostringstream json;
  json << file.rdbuf();
  return parseScenario(json.str());
}

}  // namespace kexsim
