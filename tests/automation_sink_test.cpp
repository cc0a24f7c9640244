// The host helper's event sink: the interfaces it answers for, its reference
// count, what each Invoke hands the host, and advising on an object that has
// no connection points.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "quarnel3/host.h"
#include "quarnel3/quarnel3.h"

namespace {

using quarnel3::host::SinkCall;

// Every call a sink handed over, its arguments in declaration order.
struct Received {
  DISPID id = 0;
  std::vector<double> args;
  LCID lcid = 0;
  WORD flags = 0;
};
using Log = std::vector<Received>;

IDispatch* recordingSink(const std::shared_ptr<Log>& into, HRESULT answer = S_OK) {
  return quarnel3::host::newEventSink([into, answer](const SinkCall& call) {
    std::vector<double> args;
    for (UINT i = call.params.cArgs; i-- > 0;) args.push_back(call.params.rgvarg[i].dblVal);
    into->push_back({call.id, args, call.lcid, call.flags});
    return answer;
  });
}

TEST(AutomationSink, AnswersForUnknownDispatchAndTheClientEventsOnly) {
  IDispatch* sink = recordingSink(std::make_shared<Log>());
  struct Case {
    const IID* iid;
    HRESULT expected;
  } cases[] = {
      {&IID_IUnknown, S_OK},
      {&IID_IDispatch, S_OK},
      {&IID__IKxClient, S_OK},
      {&IID_IKxServer, E_NOINTERFACE},
      {&IID_IConnectionPoint, E_NOINTERFACE},
      {&IID_IClassFactory, E_NOINTERFACE},
  };
  for (const Case& c : cases) {
    void* face = reinterpret_cast<void*>(1);
    EXPECT_EQ(sink->QueryInterface(*c.iid, &face), c.expected);
    EXPECT_EQ(face, c.expected == S_OK ? static_cast<void*>(sink) : nullptr);
    if (face) sink->Release();
  }
  EXPECT_EQ(sink->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  UINT infos = 7;
  EXPECT_EQ(sink->GetTypeInfoCount(&infos), S_OK);
  EXPECT_EQ(infos, 0u);
  EXPECT_EQ(sink->Release(), 0u);
}

TEST(AutomationSink, TheHandlerGoesWithTheLastReference) {
  auto received = std::make_shared<Log>();
  IDispatch* sink = recordingSink(received);
  EXPECT_EQ(received.use_count(), 2);
  EXPECT_EQ(sink->AddRef(), 2u);
  EXPECT_EQ(sink->Release(), 1u);
  EXPECT_EQ(received.use_count(), 2);
  EXPECT_EQ(sink->Release(), 0u);
  EXPECT_EQ(received.use_count(), 1);
}

TEST(AutomationSink, EachInvokeReachesTheHandlerWhoseAnswerItGives) {
  auto received = std::make_shared<Log>();
  IDispatch* sink = recordingSink(received, S_FALSE);
  VARIANT args[2] = {};
  args[0].vt = VT_R8;
  args[0].dblVal = 4;
  args[1].vt = VT_R8;
  args[1].dblVal = 2.5;  // the first declared argument comes last
  DISPPARAMS params{args, nullptr, 2, 0};
  EXPECT_EQ(sink->Invoke(DISPID_UpdateQuote, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                         nullptr, nullptr),
            S_FALSE);
  // No argument list reads as an empty one.
  EXPECT_EQ(sink->Invoke(DISPID_Connected, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, nullptr, nullptr, nullptr),
            S_FALSE);
  ASSERT_EQ(received->size(), 2u);
  const Received& quote = (*received)[0];
  EXPECT_EQ(quote.id, DISPID_UpdateQuote);
  EXPECT_EQ(quote.args, (std::vector<double>{2.5, 4}));
  EXPECT_EQ(quote.lcid, static_cast<LCID>(LOCALE_USER_DEFAULT));
  EXPECT_EQ(quote.flags, DISPATCH_METHOD);
  const Received& connected = (*received)[1];
  EXPECT_EQ(connected.id, DISPID_Connected);
  EXPECT_TRUE(connected.args.empty());
  EXPECT_EQ(connected.lcid, 0u);
  EXPECT_EQ(connected.flags, DISPATCH_PROPERTYGET);
  sink->Release();
}

TEST(AutomationSink, AHandlerThatThrowsFailsTheInvokeInstead) {
  IDispatch* sink = quarnel3::host::newEventSink([](const SinkCall&) -> HRESULT { throw std::runtime_error("no"); });
  EXPECT_EQ(sink->Invoke(DISPID_Connected, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_FAIL);
  sink->Release();
}

TEST(AutomationSink, AdvisingNeedsAnObjectWithConnectionPoints) {
  IDispatch* sink = recordingSink(std::make_shared<Log>());
  DWORD cookie = 0;
  EXPECT_EQ(quarnel3::host::adviseEvents(sink, sink, &cookie), E_NOINTERFACE);
  EXPECT_EQ(quarnel3::host::unadviseEvents(sink, 1), E_NOINTERFACE);
  EXPECT_EQ(quarnel3::host::adviseEvents(nullptr, sink, &cookie), E_POINTER);
  EXPECT_EQ(sink->Release(), 0u);
}

}  // namespace
