// KxServer's session through the real module: connect, disconnect and
// IsConnected, the events they lead to, error information, sinks that fail or
// unadvise, and hosts that call back from inside their event handlers.
#include <atomic>
#include <thread>

#include "facade_forwarder.h"
#include "facade_test_support.h"
#include "kexsim_server.h"
#include "q3_codepage.h"

namespace {

using namespace facade_testing;

constexpr const char* kUnresolvable = "256.256.256.256";

std::vector<Event> eventsOf(TestSink& sink, DISPID id) {
  std::vector<Event> out;
  for (const Event& e : sink.events()) {
    if (e.id == id) out.push_back(e);
  }
  return out;
}

class Simulator {
 public:
  Simulator() { EXPECT_TRUE(server_.start()); }
  uint16_t tlsPort() const { return server_.tlsPort(); }
  uint16_t plainPort() const { return server_.plainPort(); }

 private:
  kexsim::Server server_;
};

TEST(Session, DisconnectWithoutConnectFiresDisconnectedByUser) {
  Client client;
  EXPECT_EQ(client.disconnect(), S_OK);
  EXPECT_EQ(client.disconnect(), S_OK);
  const auto fired = eventsOf(*client.sink.get(), DISPID_Disconnected);
  ASSERT_EQ(fired.size(), 2u);  // on the caller's thread, before disconnect returned
  ASSERT_EQ(fired[0].args.size(), 1u);
  EXPECT_EQ(fired[0].args[0].vt, VT_BSTR);
  EXPECT_EQ(fired[0].args[0].text, u"Disconnected by user");
  EXPECT_EQ(client.sink->lastLcid(), LOCALE_USER_DEFAULT);
  EXPECT_EQ(client.sink->lastFlags(), DISPATCH_METHOD);
  EXPECT_FALSE(client.isConnected());
}

TEST(Session, ARefusedMethodSetsTheErrorInformationAndAnswersEFail) {
  Client client;
  struct Case {
    const char* method;
    Args (*arguments)();
    const char16_t* message;
  } cases[] = {
      {"ConfigureClient", [] { return args(Arg::nullText()); }, u"paramsSet is null ptr, use emply string like no params"},
      {"GetPrortfolioList", [] { return Args(); }, u"Connection not established.. try to connect first!"},
      {"ListenQuotes", [] { return args(Arg::text(u"SBER")); }, u"Connection not established.. try to connect first!"},
      {"ListenPortfolio", [] { return args(Arg::text(u"D-10001")); }, u"Connection not established.. try to connect first!"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(call(client.server.get(), c.method, c.arguments()), E_FAIL) << c.method;
    const ErrorInfo info = takeErrorInfo();
    EXPECT_TRUE(info.present) << c.method;
    EXPECT_EQ(info.description, c.message) << c.method;
    EXPECT_EQ(info.source, u"IKxServer");
    EXPECT_TRUE(info.guid == CLSID_KxServer);
  }
  Ref<ISupportErrorInfo> support;
  ASSERT_EQ(client.server->QueryInterface(IID_ISupportErrorInfo, support.outVoid()), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IKxServer), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IQuarnelVersion), S_FALSE);
}

TEST(Session, AFailingSinkIsLoggedAndTheOthersStillReceiveTheEvent) {
  Client client;
  client.connect(kUnresolvable, 443, "demo", "demo");  // starts the log
  auto failing = TestSink::create();
  auto last = TestSink::create();
  failing->onEvent([](const Event&) { return E_FAIL; });
  client.advise(failing.get());
  client.advise(last.get());
  LogTail log;
  client.disconnect();
  EXPECT_EQ(failing->count(DISPID_Disconnected), 1u);
  EXPECT_EQ(last->count(DISPID_Disconnected), 1u);
  EXPECT_EQ(client.sink->count(DISPID_Disconnected), 2u);  // the unresolvable host's, then this one
  EXPECT_EQ(log.count("ERROR : Error while firing Disconnected event  "), 1u);
  EXPECT_EQ(log.count("ERROR : COM: , Unspecified error, source  "), 1u);
}

TEST(Session, ASinkThatUnadvisesItselfInsideAnEventDoesNotStopTheFiring) {
  Client client;
  auto leaving = TestSink::create();
  auto staying = TestSink::create();
  DWORD cookie = client.advise(leaving.get());
  client.advise(staying.get());
  leaving->onEvent([&](const Event&) {
    EXPECT_EQ(client.unadvise(cookie), S_OK);
    return S_OK;
  });
  client.disconnect();
  client.disconnect();
  EXPECT_EQ(leaving->count(DISPID_Disconnected), 1u);
  EXPECT_EQ(staying->count(DISPID_Disconnected), 2u);
  EXPECT_EQ(client.unadvise(cookie), CONNECT_E_NOCONNECTION);
}

// An unresolvable host fails both the TLS and the plain logon on the caller's
// thread; only the first failure reaches the host.
TEST(Session, TwoErrorsAfterOneConnectGiveOneDisconnected) {
  Client client;
  LogTail log;
  EXPECT_EQ(client.connect(kUnresolvable, 443, "demo", "demo"), S_OK);
  const auto fired = eventsOf(*client.sink.get(), DISPID_Disconnected);
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_EQ(fired[0].args[0].text, u"DNS lookup error");
  EXPECT_FALSE(client.isConnected());
  EXPECT_EQ(log.count("WARN : SSL connection failed, no problem, trying to connect without SSL"), 1u);
  EXPECT_EQ(log.count("ERROR : Login failed: DNS lookup error:1000"), 2u);
}

TEST(Session, ConnectReachesConnectedOnceTheGuideHasArrived) {
  Simulator kexsim;
  Client client;
  LogTail log;
  ASSERT_EQ(client.connect("127.0.0.1", kexsim.tlsPort(), "trader", "p@ss w&rd+1"), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Connected));
  EXPECT_TRUE(client.isConnected());
  EXPECT_EQ(client.sink->count(DISPID_Disconnected), 0u);
  EXPECT_EQ(log.count("INFO : Trying to authenticate in 127.0.0.1:" + std::to_string(kexsim.tlsPort()) +
                      " using SSL connection (login trader)"),
            1u);
  EXPECT_EQ(log.count("INFO : Login OK, loading securities.."), 1u);
  EXPECT_EQ(log.count("INFO : Securities table loaded OK"), 1u);
  EXPECT_EQ(log.count("WARN : "), 0u);

  ASSERT_EQ(call(client.server.get(), "GetPrortfolioList"), S_OK);
  const auto rows = eventsOf(*client.sink.get(), DISPID_AddPortfolio);
  ASSERT_EQ(rows.size(), 2u);
  const std::u16string names[] = {u"T-20002", u"T-20002R"};
  for (size_t r = 0; r < rows.size(); ++r) {
    const auto& a = rows[r].args;
    ASSERT_EQ(a.size(), 5u);
    EXPECT_EQ(a[0].integer, static_cast<int64_t>(r + 1));  // rows count from 1
    EXPECT_EQ(a[1].integer, 2);
    EXPECT_EQ(a[2].text, names[r]);
    EXPECT_EQ(a[3].text, u"MB");
    EXPECT_EQ(a[4].vt, VT_I1);
    EXPECT_EQ(a[4].integer, static_cast<int64_t>(r + 1));  // statuses 1 and 2
  }

  EXPECT_EQ(client.disconnect(), S_OK);
  EXPECT_FALSE(client.isConnected());
  EXPECT_EQ(eventsOf(*client.sink.get(), DISPID_Disconnected).back().args[0].text, u"Disconnected by user");
}

TEST(Session, ConnectTwiceReplacesTheSessionWithoutDisconnected) {
  Simulator kexsim;
  Client client;
  ASSERT_EQ(client.connect("127.0.0.1", kexsim.tlsPort(), "demo", "demo"), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Connected));
  ASSERT_EQ(client.connect("127.0.0.1", kexsim.tlsPort(), "trader", "p@ss w&rd+1"), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Connected, 2));
  EXPECT_EQ(client.sink->count(DISPID_Disconnected), 0u);
  ASSERT_EQ(call(client.server.get(), "GetPrortfolioList"), S_OK);
  const auto rows = eventsOf(*client.sink.get(), DISPID_AddPortfolio);
  ASSERT_EQ(rows.size(), 2u);  // the second logon's portfolios replace the first's
  EXPECT_EQ(rows[0].args[2].text, u"T-20002");
}

// The server's texts are Windows-1251 bytes; the host receives them as UTF-16.
TEST(Session, AServerRefusalReachesTheHostThroughTheAnsiCodePage) {
  kexsim::ServerOptions options;
  kexsim::User refused;
  refused.login = "ru";
  refused.password = "ru";
  refused.refusal = q3::toAnsi(std::u16string_view(u"Доступ запрещён.."));
  options.scenario.users.push_back(refused);
  kexsim::Server kexsim(options);
  ASSERT_TRUE(kexsim.start());
  Client client;
  ASSERT_EQ(client.connect("127.0.0.1", kexsim.tlsPort(), "ru", "ru"), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Disconnected));
  EXPECT_EQ(eventsOf(*client.sink.get(), DISPID_Disconnected)[0].args[0].text, u"Доступ запрещён..");
  EXPECT_FALSE(client.isConnected());
}

TEST(Session, WithoutATlsListenerConnectFallsBackToPlainWithOneWarning) {
  Simulator kexsim;
  PlainOnlyPort plainOnly(kexsim.plainPort());
  Client client;
  LogTail log;
  ASSERT_EQ(client.connect("127.0.0.1", plainOnly.port(), "demo", "demo"), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Connected));
  EXPECT_EQ(log.count("WARN : SSL connection failed, no problem, trying to connect without SSL"), 1u);
  EXPECT_EQ(client.sink->count(DISPID_Disconnected), 0u);
  EXPECT_TRUE(client.isConnected());
}

// A market that stands still from `start`, so that the quote's time is known.
kexsim::ServerOptions stillMarket(const char* start) {
  kexsim::ServerOptions options;
  options.scenario.tickMs = 3600 * 1000;
  options.scenario.marketStart = start;
  return options;
}

TEST(Quotes, UpdateQuoteCarriesTheDeclaredVariantTypesAndTheQuoteTime) {
  const struct {
    const char* start;
    double date;
  } cases[] = {{"20240105100000", 45296.0 + 10.0 / 24.0}, {"20120229103015", 40968.43767361}};
  for (const auto& c : cases) {
    kexsim::Server kexsim(stillMarket(c.start));
    ASSERT_TRUE(kexsim.start());
    Client client;
    ASSERT_EQ(client.connect("127.0.0.1", kexsim.tlsPort(), "demo", "demo"), S_OK);
    ASSERT_TRUE(client.sink->waitFor(DISPID_Connected));
    EXPECT_EQ(call(client.server.get(), "ListenQuotes", args(Arg::text(u"sber"))), E_FAIL);
    EXPECT_EQ(takeErrorInfo().description, u"Symbol not found sber");
    ASSERT_EQ(call(client.server.get(), "ListenQuotes", args(Arg::text(u"SBER"))), S_OK);
    ASSERT_TRUE(client.sink->waitFor(DISPID_UpdateQuote));

    const Event quote = eventsOf(*client.sink.get(), DISPID_UpdateQuote)[0];
    const KxMemberInfo* declared = kxFindMember(kKxClientEvents, DISPID_UpdateQuote);
    ASSERT_EQ(quote.args.size(), static_cast<size_t>(declared->paramCount));
    for (size_t i = 0; i < quote.args.size(); ++i) EXPECT_EQ(quote.args[i].vt, declared->params[i].type) << i;
    EXPECT_EQ(quote.args[0].text, u"SBER");
    EXPECT_NEAR(quote.args[1].number, c.date, 1e-8) << c.start;
  }
}

// ---- hosts calling back from inside their handlers --------------------------------

TEST(Reentrancy, ConnectInsideADisconnectedFiredOnALibraryThreadReachesConnected) {
  Simulator kexsim;
  Client client;
  const auto host = std::this_thread::get_id();
  std::atomic<bool> onLibraryThread{false};
  std::atomic<int> handled{0};
  IKxServer* server = client.server.get();
  client.sink->onEvent([&](const Event& e) {
    if (e.id != DISPID_Disconnected || handled++ > 0) return S_OK;
    onLibraryThread = std::this_thread::get_id() != host;
    return call(server, "connect",
                args(Arg::text(u"127.0.0.1"), Arg::i4(kexsim.tlsPort()), Arg::text(u"demo"), Arg::text(u"demo")));
  });
  ASSERT_EQ(client.connect("127.0.0.1", kexsim.tlsPort(), "blocked", "blocked"), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Connected));
  EXPECT_TRUE(onLibraryThread.load());
  EXPECT_EQ(eventsOf(*client.sink.get(), DISPID_Disconnected).front().args[0].text, u"Account is blocked..");
  EXPECT_TRUE(client.isConnected());
}

TEST(Reentrancy, ConnectInsideTheDisconnectedOfDisconnectReachesConnected) {
  Simulator kexsim;
  Client client;
  IKxServer* server = client.server.get();
  std::atomic<int> handled{0};
  client.sink->onEvent([&](const Event& e) {
    if (e.id != DISPID_Disconnected || handled++ > 0) return S_OK;
    EXPECT_EQ(call(server, "ConfigureClient", args(Arg::text(u"maxWorkerThreads=2"))), S_OK);
    return call(server, "connect",
                args(Arg::text(u"127.0.0.1"), Arg::i4(kexsim.tlsPort()), Arg::text(u"demo"), Arg::text(u"demo")));
  });
  EXPECT_EQ(client.disconnect(), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Connected));
  EXPECT_EQ(client.sink->count(DISPID_Disconnected), 1u);
  EXPECT_TRUE(client.isConnected());
}

TEST(Reentrancy, DisconnectInsideAnEventOnALibraryThreadFiresDisconnectedByUser) {
  Simulator kexsim;
  Client client;
  IKxServer* server = client.server.get();
  client.sink->onEvent([&](const Event& e) { return e.id == DISPID_Connected ? call(server, "disconnect") : S_OK; });
  ASSERT_EQ(client.connect("127.0.0.1", kexsim.tlsPort(), "demo", "demo"), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Disconnected));
  EXPECT_EQ(eventsOf(*client.sink.get(), DISPID_Disconnected)[0].args[0].text, u"Disconnected by user");
  EXPECT_FALSE(client.isConnected());
}

TEST(Reentrancy, DisconnectInsideUpdateQuoteFiresDisconnectedByUser) {
  Simulator kexsim;
  Client client;
  IKxServer* server = client.server.get();
  client.sink->onEvent([&](const Event& e) { return e.id == DISPID_UpdateQuote ? call(server, "disconnect") : S_OK; });
  ASSERT_EQ(client.connect("127.0.0.1", kexsim.tlsPort(), "demo", "demo"), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Connected));
  ASSERT_EQ(call(server, "ListenQuotes", args(Arg::text(u"SBER"))), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Disconnected));
  EXPECT_EQ(eventsOf(*client.sink.get(), DISPID_Disconnected)[0].args[0].text, u"Disconnected by user");
  EXPECT_FALSE(client.isConnected());
  EXPECT_EQ(call(server, "ListenQuotes", args(Arg::text(u"SBER"))), E_FAIL);
  takeErrorInfo();
}

TEST(Reentrancy, ReleasingTheLastReferenceInsideAnEventIsSafe) {
  Simulator kexsim;
  Client client;
  IKxServer* server = client.server.release();  // the handler gives this reference back
  client.sink->onEvent([server](const Event& e) {
    if (e.id == DISPID_Connected) server->Release();
    return S_OK;
  });
  ASSERT_EQ(call(server, "connect",
                 args(Arg::text(u"127.0.0.1"), Arg::i4(kexsim.tlsPort()), Arg::text(u"demo"), Arg::text(u"demo"))),
            S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Connected));
}

}  // namespace
