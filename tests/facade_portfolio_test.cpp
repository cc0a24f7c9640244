// The portfolio methods through the real module, where a host's own storage
// shows: GetMoneyAccount writes its out parameter only when it answers S_OK,
// and the rows-done watcher of IKxRowsDone hears where query answers end.
#include "facade_test_support.h"
#include "kexsim_server.h"
#include "quarnel3/rows_done.h"

namespace {

using namespace facade_testing;

// A by-reference BSTR argument whose storage holds the host's own text. An
// out parameter is written without freeing what it held (the callee owns no
// incoming value), so the host's own text is freed here as well.
struct OutText {
  BSTR value;
  BSTR own;
  explicit OutText(const std::u16string& initial)
      : value(ModuleEnvironment::get().runtime().SysAllocStringLen(initial.data(),
                                                                   static_cast<UINT>(initial.size()))),
        own(value) {}
  ~OutText() {
    if (value != own) ModuleEnvironment::get().runtime().SysFreeString(value);
    ModuleEnvironment::get().runtime().SysFreeString(own);
  }
  OutText(const OutText&) = delete;
  OutText& operator=(const OutText&) = delete;

  Arg* reference() {
    VARIANT v;
    ModuleEnvironment::get().runtime().VariantInit(&v);
    v.vt = VT_BYREF | VT_BSTR;
    v.pbstrVal = &value;
    return Arg::raw(v);
  }
  std::u16string text() const { return Text(ModuleEnvironment::get().runtime().SysAllocString(value)).str(); }
};

Arg* r8(double value) {
  Arg* a = new Arg();
  a->v.vt = VT_R8;
  a->v.dblVal = value;
  return a;
}

HRESULT getMoneyAccount(Client& client, Arg* portfolio, OutText& out) {
  return call(client.server.get(), "GetMoneyAccount", args(portfolio, out.reference()));
}

struct MoneyAccountCase {
  bool connected;
  const char16_t* portfolio;  // null: a null BSTR
  HRESULT result;
  const char16_t* text;  // what the out parameter holds afterwards
};

const MoneyAccountCase kMoneyAccountCases[] = {
    {false, u"D-10001", E_FAIL, u"host's own"},
    {false, nullptr, E_FAIL, u"host's own"},
    {true, nullptr, E_FAIL, u"host's own"},
    {true, u"nosuch", E_FAIL, u"host's own"},
    {true, u"D-10001", S_OK, u"MA-10001"},
    {true, u"D-10001F", S_OK, u"MA-10001F"},
};

TEST(Portfolio, GetMoneyAccountWritesItsOutParameterOnlyOnSuccess) {
  kexsim::Server kexsim;
  ASSERT_TRUE(kexsim.start());
  Client client;
  for (bool connected : {false, true}) {
    if (connected) {
      ASSERT_EQ(client.connect("127.0.0.1", kexsim.tlsPort(), "demo", "demo"), S_OK);
      ASSERT_TRUE(client.sink->waitFor(DISPID_Connected));
    }
    for (const MoneyAccountCase& c : kMoneyAccountCases) {
      if (c.connected != connected) continue;
      OutText out(u"host's own");
      Arg* portfolio = c.portfolio ? Arg::text(c.portfolio) : Arg::nullText();
      EXPECT_EQ(getMoneyAccount(client, portfolio, out), c.result) << connected;
      EXPECT_EQ(out.text(), c.text) << connected;
    }
  }
  EXPECT_EQ(client.disconnect(), S_OK);
}

// The rows-done watcher hears of every query answer after its rows, also of
// an empty one, which fires no row; the advised sinks receive the rows only.
TEST(Portfolio, TheRowsDoneWatcherHearsOfEveryAnswerAfterItsRows) {
  kexsim::Server kexsim;
  ASSERT_TRUE(kexsim.start());
  Client client;
  Ref<IKxRowsDone> rowsDone;
  ASSERT_EQ(client.server->QueryInterface(IID_IKxRowsDone, rowsDone.outVoid()), S_OK);
  std::shared_ptr<TestSink> watcher = TestSink::create();
  ASSERT_EQ(rowsDone->WatchRows(watcher->dispatch()), S_OK);
  // What the sink had received when each notice came, on the firing thread.
  std::mutex seenLock;
  std::vector<size_t> rowsSeen;
  watcher->onEvent([&](const Event&) {
    std::lock_guard<std::mutex> hold(seenLock);
    rowsSeen.push_back(client.sink->count(DISPID_SetMyOrder));
    return S_OK;
  });
  ASSERT_EQ(client.connect("127.0.0.1", kexsim.tlsPort(), "demo", "demo"), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_Connected));

  ASSERT_EQ(call(client.server.get(), "PlaceOrder",
                 args(Arg::text(u"D-10001"), Arg::text(u"SBER"), Arg::i4(1), Arg::i4(1), Arg::i4(1),
                      r8(0), r8(2), r8(0), Arg::i4(5))),
            S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_OrderSucceeded));
  ASSERT_EQ(call(client.server.get(), "GetMyOrders", args(Arg::i4(0), Arg::text(u"D-10001"))), S_OK);
  ASSERT_TRUE(watcher->waitFor(DISPID_RowsDone, 1));
  ASSERT_EQ(call(client.server.get(), "GetMyTrades", args(Arg::text(u"D-10001F"))), S_OK);
  ASSERT_TRUE(watcher->waitFor(DISPID_RowsDone, 2));

  const std::vector<Event> notices = watcher->events();
  ASSERT_EQ(notices.size(), 2u);
  for (const Event& e : notices) {
    ASSERT_EQ(e.args.size(), 2u);
    EXPECT_EQ(e.args[0].vt, VT_I4);
    EXPECT_EQ(e.args[1].vt, VT_I4);
  }
  EXPECT_EQ(notices[0].args[0].integer, DISPID_SetMyOrder);
  EXPECT_EQ(notices[0].args[1].integer, 1);
  EXPECT_EQ(notices[1].args[0].integer, DISPID_SetMyTrade);
  EXPECT_EQ(notices[1].args[1].integer, 0);
  {
    std::lock_guard<std::mutex> hold(seenLock);
    EXPECT_EQ(rowsSeen, (std::vector<size_t>{1, 1}));  // the row came before its notice
  }
  // The sink saw no notice and no row of the empty answer.
  EXPECT_EQ(client.sink->count(DISPID_SetMyOrder), 1u);
  EXPECT_EQ(client.sink->count(DISPID_SetMyTrade), 0u);
  EXPECT_EQ(client.sink->count(DISPID_RowsDone), 0u);

  // Once the watcher is withdrawn it hears nothing more.
  ASSERT_EQ(rowsDone->WatchRows(nullptr), S_OK);
  ASSERT_EQ(call(client.server.get(), "GetMyOrders", args(Arg::i4(0), Arg::text(u"D-10001"))), S_OK);
  ASSERT_TRUE(client.sink->waitFor(DISPID_SetMyOrder, 2));
  EXPECT_EQ(watcher->events().size(), 2u);
  EXPECT_EQ(client.disconnect(), S_OK);
}

}  // namespace
