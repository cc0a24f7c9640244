// The portfolio methods through the real module, where a host's own storage
// shows: GetMoneyAccount writes its out parameter only when it answers S_OK.
#include "facade_test_support.h"
#include "kexsim_server.h"
#include "quarnel3/rows_done.h"

namespace {

using namespace facade_testing;

// A by-reference BSTR argument whose storage holds the host's own text.
struct OutText {
  BSTR value;
  explicit OutText(const std::u16string& initial)
      : value(ModuleEnvironment::get().runtime().SysAllocStringLen(initial.data(),
                                                                   static_cast<UINT>(initial.size()))) {}
  ~OutText() { ModuleEnvironment::get().runtime().SysFreeString(value); }
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

// The rows-done watcher is an interface of the object beside the type
// library: asking for it does not change what the advised sinks receive.
TEST(Portfolio, TheRowsDoneWatcherIsOfferedBesideTheTypeLibrary) {
  Client client;
  Ref<IKxRowsDone> rows;
  ASSERT_EQ(client.server->QueryInterface(IID_IKxRowsDone, rows.outVoid()), S_OK);
  std::shared_ptr<TestSink> watcher = TestSink::create();
  EXPECT_EQ(rows->WatchRows(watcher->dispatch()), S_OK);
  EXPECT_EQ(rows->WatchRows(nullptr), S_OK);
  Ref<IKxServer> back;
  EXPECT_EQ(rows->QueryInterface(IID_IKxServer, back.outVoid()), S_OK);
  EXPECT_EQ(back.get(), client.server.get());
}

}  // namespace
