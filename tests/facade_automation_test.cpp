// Late binding of the dual interfaces and the automation runtime the module
// exports, through the real module.
#include <span>
#include <thread>

#include "facade_test_support.h"

namespace {

using namespace facade_testing;

// ---- runtime exports ----------------------------------------------------------

TEST(AutomationRuntime, BstrKeepsItsByteLengthBeforeTheTextAndAZeroAfter) {
  const auto& rt = ModuleEnvironment::get().runtime();
  BSTR text = rt.SysAllocString(u"Kexora");
  ASSERT_NE(text, nullptr);
  uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<char*>(text) - 4, 4);
  EXPECT_EQ(bytes, 12u);
  EXPECT_EQ(rt.SysStringLen(text), 6u);
  EXPECT_EQ(text[6], u'\0');
  rt.SysFreeString(text);

  BSTR blank = rt.SysAllocStringLen(nullptr, 3);
  EXPECT_EQ(rt.SysStringLen(blank), 3u);
  EXPECT_EQ(std::u16string(blank, 3), std::u16string(3, u'\0'));
  rt.SysFreeString(blank);
  EXPECT_EQ(rt.SysAllocString(nullptr), nullptr);
  EXPECT_EQ(rt.SysStringLen(nullptr), 0u);
  rt.SysFreeString(nullptr);
}

TEST(AutomationRuntime, VariantClearFreesTheTextAndEmptiesTheVariant) {
  const auto& rt = ModuleEnvironment::get().runtime();
  VARIANT v;
  rt.VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_BSTR;
  v.bstrVal = rt.SysAllocString(u"x");
  EXPECT_EQ(rt.VariantClear(&v), S_OK);  // ASan reports a leak if the text stays
  EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(AutomationRuntime, ErrorInformationBelongsToTheThreadThatSetIt) {
  Client client;
  EXPECT_EQ(call(client.server.get(), "ListenQuotes", args(Arg::text(u"SBER"))), E_FAIL);
  std::thread([] { EXPECT_FALSE(takeErrorInfo().present); }).join();
  const ErrorInfo info = takeErrorInfo();
  EXPECT_TRUE(info.present);
  EXPECT_FALSE(takeErrorInfo().present);  // taking it clears the thread's slot
}

// ---- GetIDsOfNames ----------------------------------------------------------------

struct InterfaceCase {
  const char* name;
  const IID* iid;
  std::span<const KxMemberInfo> members;
};

const InterfaceCase kDualInterfaces[] = {
    {"IKxServer", &IID_IKxServer, kKxServerMethods},
    {"IQuarnelVersion", &IID_IQuarnelVersion, kQuarnelVersionMethods},
};

std::u16string withCase(const char* name, bool upper) {
  std::u16string out;
  for (const char* c = name; *c; ++c) out += static_cast<char16_t>(upper ? std::toupper(*c) : std::tolower(*c));
  return out;
}

TEST(LateBinding, EveryMethodNameGivesItsDispidInAnyLetterCase) {
  Client client;
  for (const InterfaceCase& face : kDualInterfaces) {
    Ref<IDispatch> dispatch;
    ASSERT_EQ(client.server->QueryInterface(*face.iid, dispatch.outVoid()), S_OK);
    for (const KxMemberInfo& method : face.members) {
      for (bool upper : {false, true}) {
        HRESULT hr = E_FAIL;
        EXPECT_EQ(dispidOf(dispatch.get(), withCase(method.name, upper), &hr), method.dispid) << method.name;
        EXPECT_EQ(hr, S_OK) << face.name << "::" << method.name;
      }
    }
  }
}

TEST(LateBinding, ParameterNamesGiveTheirPositionsAndUnknownNamesAreReported) {
  Client client;
  std::u16string names[] = {u"CONNECT", u"login", u"Port", u"nosuch"};
  LPOLESTR pointers[] = {names[0].data(), names[1].data(), names[2].data(), names[3].data()};
  DISPID ids[4] = {};
  EXPECT_EQ(client.server->GetIDsOfNames(IID_NULL, pointers, 4, LOCALE_USER_DEFAULT, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_connect);
  EXPECT_EQ(ids[1], 2);
  EXPECT_EQ(ids[2], 1);
  EXPECT_EQ(ids[3], DISPID_UNKNOWN);

  HRESULT hr = S_OK;
  EXPECT_EQ(dispidOf(client.server.get(), u"GetServerVersion", &hr), DISPID_UNKNOWN);  // IQuarnelVersion's, not IKxServer's
  EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
}

// ---- Invoke ----------------------------------------------------------------------

// Well-typed arguments for a member: "x" for texts, 1 for numbers, and
// references for out parameters (which the Args keep alive).
struct WellTyped {
  std::vector<std::unique_ptr<VARIANT>> outs;
  Args list;

  explicit WellTyped(const KxMemberInfo& method) {
    for (int i = 0; i < method.paramCount; ++i) {
      const KxParamInfo& p = method.params[i];
      if (p.flow == KxParamFlow::RetVal) continue;
      if (p.flow == KxParamFlow::Out) {
        outs.push_back(std::make_unique<VARIANT>());
        ModuleEnvironment::get().runtime().VariantInit(outs.back().get());
        VARIANT ref{};
        ref.vt = VT_BYREF | VT_VARIANT;
        ref.pvarVal = outs.back().get();
        list.emplace_back(Arg::raw(ref));
      } else if (p.type == VT_BSTR) {
        list.emplace_back(Arg::text(u"x"));
      } else {
        list.emplace_back(Arg::i4(1));
      }
    }
  }
  ~WellTyped() {
    list.clear();
    for (auto& v : outs) ModuleEnvironment::get().runtime().VariantClear(v.get());
  }
};

TEST(LateBinding, EveryMethodIsReachedWithItsArgumentsAndRefusesAWrongCount) {
  Client client;
  for (const InterfaceCase& face : kDualInterfaces) {
    Ref<IDispatch> dispatch;
    ASSERT_EQ(client.server->QueryInterface(*face.iid, dispatch.outVoid()), S_OK);
    for (const KxMemberInfo& method : face.members) {
      if (method.dispid == DISPID_connect && face.iid == &IID_IKxServer) continue;  // connects: see the session tests
      WellTyped typed(method);
      Arg result;
      const HRESULT hr = invoke(dispatch.get(), method.dispid, typed.list, &result.v);
      EXPECT_TRUE(hr == S_OK || hr == E_FAIL) << method.name << " answered " << std::hex << hr;
      if (hr == E_FAIL) {
        EXPECT_TRUE(takeErrorInfo().present) << method.name;
      }

      typed.list.emplace_back(Arg::i4(0));
      EXPECT_EQ(invoke(dispatch.get(), method.dispid, typed.list), DISP_E_BADPARAMCOUNT) << method.name;
    }
  }
}

TEST(LateBinding, MalformedCallsAreAnsweredNotCrashedOn) {
  Client client;
  IDispatch* d = client.server.get();
  DISPID named = 0;
  VARIANT one{};
  one.vt = VT_I4;
  struct Case {
    const char* what;
    DISPID id;
    const IID* iid;
    WORD flags;
    DISPPARAMS params;
    HRESULT expected;
  } cases[] = {
      {"unknown DISPID", 999, &IID_NULL, DISPATCH_METHOD, {nullptr, nullptr, 0, 0}, DISP_E_MEMBERNOTFOUND},
      {"interface id not null", DISPID_disconnect, &IID_IKxServer, DISPATCH_METHOD, {nullptr, nullptr, 0, 0},
       DISP_E_UNKNOWNINTERFACE},
      {"property put", DISPID_disconnect, &IID_NULL, DISPATCH_PROPERTYPUT, {nullptr, nullptr, 0, 0},
       DISP_E_MEMBERNOTFOUND},
      {"named argument", DISPID_ConfigureClient, &IID_NULL, DISPATCH_METHOD, {&one, &named, 1, 1},
       DISP_E_NONAMEDARGS},
      {"count without arguments", DISPID_ConfigureClient, &IID_NULL, DISPATCH_METHOD, {nullptr, nullptr, 1, 0},
       E_INVALIDARG},
      {"too few", DISPID_ConfigureClient, &IID_NULL, DISPATCH_METHOD, {nullptr, nullptr, 0, 0}, DISP_E_BADPARAMCOUNT},
  };
  for (Case& c : cases) {
    EXPECT_EQ(d->Invoke(c.id, *c.iid, LOCALE_USER_DEFAULT, c.flags, &c.params, nullptr, nullptr, nullptr), c.expected)
        << c.what;
  }
  EXPECT_EQ(d->Invoke(DISPID_IsConnected, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
}

// The port of connect is an unsigned 16-bit number; the log line of the logon
// attempt shows what it became. An unresolvable host keeps the network out.
TEST(LateBinding, ArgumentsAreConvertedToTheDeclaredTypes) {
  Client client;
  struct Case {
    const char* what;
    VARIANT port;
    HRESULT expected;
    int shown;
  };
  VARIANT text{};
  text.vt = VT_BSTR;
  text.bstrVal = ModuleEnvironment::get().runtime().SysAllocString(u" 8081 ");
  VARIANT wide{};
  wide.vt = VT_I8;
  wide.llVal = 8082;
  VARIANT tiny{};
  tiny.vt = VT_I1;
  tiny.cVal = 83;
  VARIANT real{};
  real.vt = VT_R8;
  real.dblVal = 8084.5;  // rounds half to even
  VARIANT unsignedByte{};
  unsignedByte.vt = VT_UI1;
  unsignedByte.bVal = 85;
  int32_t target = 8086;
  VARIANT reference{};
  reference.vt = VT_BYREF | VT_I4;
  reference.plVal = &target;
  VARIANT inner{};
  inner.vt = VT_I2;
  inner.iVal = 8087;
  VARIANT byVariant{};
  byVariant.vt = VT_BYREF | VT_VARIANT;
  byVariant.pvarVal = &inner;
  VARIANT tooBig{};
  tooBig.vt = VT_I4;
  tooBig.lVal = 70000;
  VARIANT negative{};
  negative.vt = VT_I4;
  negative.lVal = -1;
  VARIANT word{};
  word.vt = VT_BSTR;
  word.bstrVal = ModuleEnvironment::get().runtime().SysAllocString(u"port");
  VARIANT nothing{};
  nothing.vt = VT_NULL;
  VARIANT object{};
  object.vt = VT_DISPATCH;

  Case cases[] = {
      {"text", text, S_OK, 8081},           {"64-bit", wide, S_OK, 8082},
      {"8-bit", tiny, S_OK, 83},            {"double", real, S_OK, 8084},
      {"unsigned byte", unsignedByte, S_OK, 85}, {"reference", reference, S_OK, 8086},
      {"variant reference", byVariant, S_OK, 8087}, {"too big", tooBig, DISP_E_OVERFLOW, 0},
      {"negative", negative, DISP_E_OVERFLOW, 0},   {"word", word, DISP_E_TYPEMISMATCH, 0},
      {"null", nothing, DISP_E_TYPEMISMATCH, 0},    {"object", object, DISP_E_TYPEMISMATCH, 0},
  };
  for (Case& c : cases) {
    LogTail log;
    Args list = args(Arg::text(u"256.256.256.256"), Arg::raw(c.port), Arg::text(u"demo"), Arg::text(u"demo"));
    UINT argError = 99;
    const HRESULT hr = invoke(client.server.get(), DISPID_connect, list, nullptr, &argError);
    EXPECT_EQ(hr, c.expected) << c.what;
    if (FAILED(hr)) {
      EXPECT_EQ(argError, 2u) << c.what;  // the port's position in dispatch order
      continue;
    }
    const std::string shown = "Trying to authenticate in 256.256.256.256:" + std::to_string(c.shown) + " ";
    EXPECT_EQ(log.count(shown), 1u) << c.what;
  }
  word.vt = VT_EMPTY;  // freed by the Arg that carried it
  text.vt = VT_EMPTY;
}

TEST(LateBinding, OutAndReturnValuesAreWrittenWhereTheCallerAsks) {
  Client client;
  Ref<IDispatch> version;
  ASSERT_EQ(client.server->QueryInterface(IID_IQuarnelVersion, version.outVoid()), S_OK);

  Arg result;
  ASSERT_EQ(invoke(version.get(), DISPID_GetKxClientVersionString, {}, &result.v), S_OK);
  ASSERT_EQ(result.v.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(result.v.bstrVal), u"3,0,137,4293");

  INT major = -1, build = -1;
  LONG minor = -1;
  VARIANT rev;
  ModuleEnvironment::get().runtime().VariantInit(&rev);
  VARIANT refs[4] = {};
  refs[0].vt = VT_BYREF | VT_INT, refs[0].pintVal = &major;
  refs[1].vt = VT_BYREF | VT_I4, refs[1].plVal = &minor;
  refs[2].vt = VT_BYREF | VT_INT, refs[2].pintVal = &build;
  refs[3].vt = VT_BYREF | VT_VARIANT, refs[3].pvarVal = &rev;
  std::vector<VARIANT> reversed(std::rbegin(refs), std::rend(refs));
  DISPPARAMS params{reversed.data(), nullptr, 4, 0};
  ASSERT_EQ(version->Invoke(DISPID_GetKxClientVersion, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(major, 3);
  EXPECT_EQ(minor, 0);
  EXPECT_EQ(build, 137);
  EXPECT_EQ(rev.vt, VT_INT);
  EXPECT_EQ(rev.intVal, 4293);

  VARIANT_BOOL connected = VARIANT_TRUE;
  VARIANT byValue{};
  byValue.vt = VT_BOOL;
  VARIANT byRef{};
  byRef.vt = VT_BYREF | VT_BOOL;
  byRef.pboolVal = &connected;
  DISPPARAMS wrong{&byValue, nullptr, 1, 0};
  UINT argError = 99;
  EXPECT_EQ(client.server->Invoke(DISPID_IsConnected, IID_NULL, 0, DISPATCH_METHOD, &wrong, nullptr, nullptr, &argError),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argError, 0u);
  DISPPARAMS right{&byRef, nullptr, 1, 0};
  EXPECT_EQ(client.server->Invoke(DISPID_IsConnected, IID_NULL, 0, DISPATCH_METHOD, &right, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(connected, VARIANT_FALSE);
}

}  // namespace
