#include "kexsim_logon.h"

#include <utility>
#include <vector>

namespace kexsim {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kTextType = "text/plain; charset=windows-1251";

using Section = std::pair<std::string, std::vector<std::string>>;  // tag name, lines

std::string render(const std::vector<Section>& sections) {
  std::string body;
  for (const auto& [tag, lines] : sections) {
    body += "<" + tag + ">" + kLineEnd;
    for (const std::string& line : lines) body += line + kLineEnd;
    body += "</" + tag + ">" + kLineEnd;
  }
  return body;
}

std::string joinTabs(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i ? "\t" : "") + fields[i];
  return line;
}

std::string namedLine(const NamedEntry& entry) {
  return entry.description.empty() ? entry.code : joinTabs({entry.code, entry.description});
}

std::string endpointUrl(const Endpoint& endpoint, uint16_t plainPort, uint16_t tlsPort) {
  if (!endpoint.url.empty()) return endpoint.url;
  if (endpoint.type == "OMS_SSL") return "https://127.0.0.1:" + std::to_string(tlsPort) + "/";
  return "http://127.0.0.1:" + std::to_string(plainPort) + "/";
}

void addIfSet(std::vector<Section>& sections, const char* tag, const std::string& line) {
  if (!line.empty()) sections.push_back({tag, {line}});
}

std::vector<std::string> portfolioLines(const User& user) {
  std::vector<std::string> lines;
  for (const PortfolioEntry& p : user.portfolios) {
    lines.push_back(joinTabs({p.exchange, p.name, std::to_string(p.status), p.moneyAccount}));
  }
  return lines;
}

std::vector<std::string> namedLines(const std::vector<NamedEntry>& entries) {
  std::vector<std::string> lines;
  for (const NamedEntry& entry : entries) lines.push_back(namedLine(entry));
  return lines;
}

}  // namespace

std::string logonReplyBody(const Scenario& scenario, const User& user, const std::string& session,
                           uint16_t plainPort, uint16_t tlsPort) {
  std::vector<Section> sections{{"cookie", {session}}};
  addIfSet(sections, "caps", scenario.caps);
  if (!scenario.update.name.empty()) {
    const UpdateInfo& u = scenario.update;
    sections.push_back({"update", {joinTabs({u.name, u.version, u.url})}});
  }
  sections.push_back({"portfolios", portfolioLines(user)});
  sections.push_back({"exchanges", namedLines(scenario.exchanges)});
  sections.push_back({"news", namedLines(scenario.news)});
  // The client records an endpoint when it reads the type, so the url goes first.
  for (const Endpoint& endpoint : scenario.endpoints) {
    sections.push_back({"ProgUrl", {endpointUrl(endpoint, plainPort, tlsPort)}});
    sections.push_back({"ProgType", {endpoint.type}});
  }
  addIfSet(sections, "version", scenario.version);
  addIfSet(sections, "message", scenario.message);
  return render(sections);
}

std::string refusalBody(const std::string& message) { return render({{"message", {message}}}); }

std::string onePieceRefusal(const std::string& message) { return "<error>" + message + "</error>"; }

void serveLogon(Exchange& exchange) {
  const HttpRequest& request = exchange.request;
  Reply& reply = exchange.reply;
  if (request.method != "POST") {
    reply.sendText(405, kTextType, "");
    return;
  }
  auto query = parseForm(request.query);
  auto form = parseForm(request.body);
  std::string login = query.count("user") ? query.find("user")->second : "";
  std::string password = form.count("pass") ? form.find("pass")->second : "";
  const User* user = exchange.server.scenario.findUser(login);
  if (user == nullptr || user->password != password) {
    reply.sendText(401, kTextType, refusalBody(kBadCredentialsText));
  } else if (!user->refusal.empty()) {
    reply.sendText(200, kTextType, onePieceRefusal(user->refusal));
  } else {
    std::string session = exchange.server.sessions.open(login);
    reply.sendText(200, kTextType,
                   logonReplyBody(exchange.server.scenario, *user, session, exchange.server.plainPort,
                                  exchange.server.tlsPort));
  }
}

}  // namespace kexsim
