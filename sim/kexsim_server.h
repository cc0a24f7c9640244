// kexsim, the simulated Kexora server: HTTP/1.0 on 127.0.0.1, plain and TLS,
// one thread per connection. A connection carries one request, or several in
// turn when an order request asks for keep-alive. Tests start it in-process on
// ephemeral ports:
//
//   kexsim::Server server;                 // built-in scenario, seed 1
//   ASSERT_TRUE(server.start());
//   connect to server.plainPort() / server.tlsPort() ...
//   server.faults().set("guide", {kexsim::FaultType::kCorruptRecord});
//   server.log().waitUntil(...);           // what the client sent
//   server.market().setPrice("MB", "SBER", 250);   // move a market at once
//   server.market().bars("MB", "SBER", kexsim::BarBase::kMinute, query);  // its history
//   server.matching().orders("demo", "D-10001");   // what the exchange did
//   server.matching().addSyntheticOrders("demo", "D-10001", 25000);  // long order lists
//   server.alerts().list("demo");          // the alerts a client added
//   server.messages().add("NEWS", time, subject, body, source);  // a message for the queries
//   server.stop();                         // also done by the destructor
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kexsim_exchange.h"
#include "kexsim_market.h"

namespace kexsim {

struct ServerOptions {
  uint16_t plainPort = 0;  // 0: an ephemeral port
  uint16_t tlsPort = 0;
  uint64_t seed = 1;       // market walks and session texts
  Scenario scenario = builtInScenario();
};

// Where a request came: the connection's number and the request's turn on it.
struct RequestPlace {
  int connection;
  int sequence;
  bool tls;
};

class Server {
 public:
  explicit Server(ServerOptions options = {});
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Replaces the route of the same path. Ignored once started.
  void addRoute(Route route);

  // Binds both ports and starts serving. False (with a reason) when a port or
  // the TLS context cannot be had.
  bool start(std::string* error = nullptr);
  // Closes the listeners and every open connection and joins all threads.
  void stop();
  // Drops every open connection (a network cut); the listeners stay, so
  // clients may connect again at once.
  void dropConnections();

  uint16_t plainPort() const { return plainPort_; }
  uint16_t tlsPort() const { return tlsPort_; }
  // The TLS port's self-signed certificate (CN and address 127.0.0.1) as PEM,
  // for clients that check it; empty before start.
  std::string certificatePem() const;
  const Scenario& scenario() const { return options_.scenario; }
  RequestLog& log() { return log_; }
  FaultTable& faults() { return faults_; }
  Market& market() { return market_; }
  MatchingEngine& matching() { return matching_; }
  AlertBook& alerts() { return alerts_; }
  MessageBoard& messages() { return messages_; }
  // Exact records for a feed subscription from now on (see kexsim_script.h).
  void addScript(const FeedScript& script) { scripts_.add(script); }

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  bool listenOn(uint16_t port, int* fd, uint16_t* bound, std::string* error);
  void acceptLoop();
  void acceptOne(int listener, bool tls);
  void reapWorkers();
  void serve(int fd, bool tls);
  void converse(Connection& connection, int number, bool tls);
  bool enlist(Connection* connection);
  void delist(Connection* connection);
  std::optional<HttpRequest> readRequest(Connection& connection, std::string* pending, int idleMs);
  // Answers one request; true when the connection stays open for the next.
  bool dispatch(Connection& connection, const HttpRequest& request, const std::string& rest,
                const RequestPlace& place, int* logId);
  void respond(const Route* route, Exchange& exchange, const Fault& fault);
  void sendEndlessHeader(Connection& connection, const Fault& fault);
  const Route* findRoute(const std::string& path) const;

  ServerOptions options_;
  std::vector<Route> routes_;
  Sessions sessions_;
  RequestLog log_;
  FaultTable faults_;
  ScriptTable scripts_;
  StopSignal stop_;
  Market market_;
  MatchingEngine matching_;
  AlertBook alerts_;
  MessageBoard messages_;
  std::unique_ptr<ServerContext> context_;
  SSL_CTX* sslContext_ = nullptr;
  int plainListener_ = -1;
  int tlsListener_ = -1;
  int wakePipe_[2] = {-1, -1};
  uint16_t plainPort_ = 0;
  uint16_t tlsPort_ = 0;
  std::atomic<int> connections_{0};  // numbers the accepted connections
  bool started_ = false;
  bool stopped_ = false;
  std::thread acceptThread_;
  std::list<Worker> workers_;  // touched by the accept thread, then by stop()
  std::mutex liveMutex_;
  std::set<Connection*> live_;
};

}  // namespace kexsim
