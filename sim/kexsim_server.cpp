#include "kexsim_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "kexsim_alerts.h"
#include "kexsim_feeds.h"
#include "kexsim_guide.h"
#include "kexsim_history_queries.h"
#include "kexsim_logon.h"
#include "kexsim_message_query.h"
#include "kexsim_orders.h"
#include "kexsim_portfolio_queries.h"
#include "kexsim_tls.h"

namespace kexsim {
namespace {

constexpr const char* kTextType = "text/plain; charset=windows-1251";
constexpr const char* kNoSessionText = "Not authorized..";

std::vector<Route> builtInRoutes() {
  std::vector<Route> routes{
      {kLogonPath, kLogonKind, false, serveLogon},
      {kGuidePath, kGuideKind, true, serveGuide},
      {kQuotesPath, kQuotesKind, true, serveFeed},
      {kTradesPath, kTradesKind, true, serveFeed},
      {kOrdersPath, kOrdersKind, true, serveFeed},
      {kMessagesPath, kMessagesKind, true, serveFeed},
  };
  for (Route& route : orderRoutes()) routes.push_back(std::move(route));
  for (Route& route : portfolioRoutes()) routes.push_back(std::move(route));
  for (Route& route : alertRoutes()) routes.push_back(std::move(route));
  for (Route& route : messageQueryRoutes()) routes.push_back(std::move(route));
  for (Route& route : historyRoutes()) routes.push_back(std::move(route));
  return routes;
}

// OpenSSL writes to its socket with write(), which raises SIGPIPE when the
// client has gone. Blocked in the serving thread, the signal stays pending
// there and the write fails with EPIPE instead of ending the process.
void blockBrokenPipe() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

void setNoDelay(int fd) {
  int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

Server::Server(ServerOptions options)
    : options_(std::move(options)),
      routes_(builtInRoutes()),
      sessions_(options_.seed),
      scripts_(options_.scenario.scripts),
      market_(options_.scenario, options_.seed, marketStartTime(options_.scenario.marketStart),
              options_.scenario.tickMs),
      matching_(options_.scenario, market_),
      messages_(options_.scenario, marketStartTime(options_.scenario.marketStart)) {
  for (const auto& [kind, fault] : options_.scenario.faults) faults_.set(kind, fault);
}

Server::~Server() { stop(); }

void Server::addRoute(Route route) {
  if (started_) return;  // serving threads read the table without a lock
  std::erase_if(routes_, [&](const Route& known) { return known.path == route.path; });
  routes_.push_back(std::move(route));
}

bool Server::listenOn(uint16_t port, int* fd, uint16_t* bound, std::string* error) {
  *fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  ::setsockopt(*fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (*fd < 0 || ::bind(*fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(*fd, 64) != 0 || ::getsockname(*fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (error) *error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    return false;
  }
  *bound = ntohs(address.sin_port);
  return true;
}

bool Server::start(std::string* error) {
  if (started_) return true;
  sslContext_ = makeSelfSignedServerContext();
  if (sslContext_ == nullptr) {
    if (error) *error = "cannot make the TLS context";
    return false;
  }
  if (!listenOn(options_.plainPort, &plainListener_, &plainPort_, error) ||
      !listenOn(options_.tlsPort, &tlsListener_, &tlsPort_, error) || ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
    return false;
  }
  context_ = std::make_unique<ServerContext>(ServerContext{options_.scenario, sessions_, log_, faults_,
                                                           scripts_, market_, matching_, alerts_, messages_, stop_,
                                                           options_.seed, plainPort_, tlsPort_});
  started_ = true;
  acceptThread_ = std::thread([this] { acceptLoop(); });
  return true;
}

void Server::stop() {
  if (stopped_) return;
  stopped_ = true;
  stop_.raise();
  if (acceptThread_.joinable()) {
    [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], "x", 1);
    acceptThread_.join();
  }
  {
    std::lock_guard<std::mutex> lock(liveMutex_);
    for (Connection* connection : live_) connection->abort();
  }
  for (Worker& worker : workers_) worker.thread.join();
  workers_.clear();
  for (int fd : {plainListener_, tlsListener_, wakePipe_[0], wakePipe_[1]}) {
    if (fd >= 0) ::close(fd);
  }
  if (sslContext_ != nullptr) SSL_CTX_free(sslContext_);
  sslContext_ = nullptr;
}

void Server::dropConnections() {
  std::lock_guard<std::mutex> lock(liveMutex_);
  for (Connection* connection : live_) connection->abort();
}

void Server::acceptLoop() {
  while (!stop_.raised()) {
    pollfd watches[3] = {{plainListener_, POLLIN, 0}, {tlsListener_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    if (::poll(watches, 3, -1) < 0 && errno != EINTR) break;
    if (stop_.raised() || watches[2].revents != 0) break;
    if (watches[0].revents & POLLIN) acceptOne(plainListener_, false);
    if (watches[1].revents & POLLIN) acceptOne(tlsListener_, true);
    reapWorkers();
  }
}

void Server::acceptOne(int listener, bool tls) {
  int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  setNoDelay(fd);
  auto done = std::make_shared<std::atomic<bool>>(false);
  workers_.push_back({std::thread([this, fd, tls, done] {
                        blockBrokenPipe();
                        serve(fd, tls);
                        *done = true;
                      }),
                      done});
}

void Server::reapWorkers() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (*it->done) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

bool Server::enlist(Connection* connection) {
  std::lock_guard<std::mutex> lock(liveMutex_);
  live_.insert(connection);
  // stop() raises the signal before it aborts what is enlisted; whoever comes
  // later sees the signal here.
  if (stop_.raised()) connection->abort();
  return !stop_.raised();
}

void Server::delist(Connection* connection) {
  std::lock_guard<std::mutex> lock(liveMutex_);
  live_.erase(connection);
}

void Server::serve(int fd, bool tls) {
  Connection connection(fd);
  int number = ++connections_;
  if (enlist(&connection)) {
    bool refused = tls && faults_.take(kTlsKind).type == FaultType::kRefuseHandshake;
    if (!refused && (!tls || connection.acceptTls(sslContext_))) converse(connection, number, tls);
  }
  delist(&connection);
}

// Serves the requests of one connection in turn, for as long as the replies
// keep it open, then closes it the way the client expects.
void Server::converse(Connection& connection, int number, bool tls) {
  std::string pending;
  std::vector<int> logIds;
  int idleMs = -1;  // the first request may take its time
  bool open = true;
  for (int sequence = 1; open; ++sequence) {
    std::optional<HttpRequest> request = readRequest(connection, &pending, idleMs);
    if (!request) break;
    int logId = 0;
    open = dispatch(connection, *request, pending, {number, sequence, tls}, &logId);
    logIds.push_back(logId);
    idleMs = options_.scenario.orders.keepAliveTimeout * 1000;
  }
  if (!stop_.raised()) connection.finish();
  for (int id : logIds) log_.markClosed(id);
}

std::optional<HttpRequest> Server::readRequest(Connection& connection, std::string* pending, int idleMs) {
  RequestReader reader;
  char buffer[4096];
  RequestReader::State state = RequestReader::State::kIncomplete;
  if (!pending->empty()) state = reader.feed(pending->data(), pending->size());
  while (state == RequestReader::State::kIncomplete) {
    if (idleMs >= 0 && connection.waitReadable(idleMs) != 1) return std::nullopt;
    long n = connection.read(buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    state = reader.feed(buffer, static_cast<size_t>(n));
  }
  if (state == RequestReader::State::kBad) {
    Reply(connection, {}).sendText(400, kTextType, "");
    return std::nullopt;
  }
  *pending = reader.rest();
  return reader.request();
}

const Route* Server::findRoute(const std::string& path) const {
  for (const Route& route : routes_) {
    if (route.path == path) return &route;
  }
  return nullptr;
}

std::string Server::certificatePem() const { return certificatePemOf(sslContext_); }

bool Server::dispatch(Connection& connection, const HttpRequest& request, const std::string& rest,
                      const RequestPlace& place, int* logId) {
  const Route* route = findRoute(request.path);
  std::string kind = route ? route->kind : "";
  *logId = log_.add({0, kind, place.tls, request.method, request.path, request.query, request.headers,
                     request.body, {}, false, place.connection, place.sequence, {}});
  Fault fault = route ? faults_.take(kind) : Fault{};
  if (fault.type == FaultType::kDelay && !stop_.sleepFor(std::chrono::milliseconds(fault.delayMs))) return false;
  if (fault.type == FaultType::kCloseUnanswered) return false;
  if (fault.type == FaultType::kEndlessHeader) {
    sendEndlessHeader(connection, fault);
    return false;
  }
  connection.setDrip(fault.type == FaultType::kDrip);
  Reply reply(connection, fault);
  Exchange exchange{*context_, kind, request, rest, connection, reply, *logId, "", fault, place.sequence};
  respond(route, exchange, fault);
  return exchange.keepOpen && reply.open();
}

// A header that never ends: the client must give up on its own, since the
// connection stays open for a while after it.
void Server::sendEndlessHeader(Connection& connection, const Fault& fault) {
  std::string head = "HTTP/1.0 200 OK\r\n";
  while (head.size() < 16384) head += "X-Filler: " + std::string(70, 'x') + "\r\n";
  connection.writeAll(head);
  stop_.sleepFor(std::chrono::milliseconds(fault.delayMs > 0 ? fault.delayMs : 2000));
}

void Server::respond(const Route* route, Exchange& exchange, const Fault& fault) {
  if (route == nullptr) {
    exchange.reply.sendText(404, kTextType, "");
    return;
  }
  if (fault.type == FaultType::kStatus && !route->answersStatusFaults) {
    exchange.reply.sendText(fault.status, kTextType, "");
    return;
  }
  if (route->needsSession) {
    exchange.login = sessions_.loginOf(exchange.request.query);
    if (exchange.login.empty()) {
      exchange.reply.sendText(401, kTextType, kNoSessionText);
      return;
    }
  }
  route->handler(exchange);
}

}  // namespace kexsim
