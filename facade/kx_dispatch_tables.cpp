// One invoker per member of the dual interfaces: the late-bound call becomes
// the vtable call with the converted arguments, by parameter position.
#include "kx_dispatch.h"

namespace kx {
namespace {

using Server = IKxServer;
using Args = DispatchArgs;

constexpr DispatchEntry<IKxServer> kServerEntries[] = {
    {DISPID_ListenQuotes, [](Server& s, Args& a) { return s.ListenQuotes(a.bstr(0)); }},
    {DISPID_CancelQuotes, [](Server& s, Args& a) { return s.CancelQuotes(a.bstr(0)); }},
    {DISPID_ListenBidAsks, [](Server& s, Args& a) { return s.ListenBidAsks(a.bstr(0)); }},
    {DISPID_CancelBidAsks, [](Server& s, Args& a) { return s.CancelBidAsks(a.bstr(0)); }},
    {DISPID_ListenTicks, [](Server& s, Args& a) { return s.ListenTicks(a.bstr(0)); }},
    {DISPID_CancelTicks, [](Server& s, Args& a) { return s.CancelTicks(a.bstr(0)); }},
    {DISPID_GetBars,
     [](Server& s, Args& a) {
       return s.GetBars(a.bstr(0), static_cast<KxBarInterval>(a.i4(1)), a.date(2), a.i4(3));
     }},
    {DISPID_ListenPortfolio, [](Server& s, Args& a) { return s.ListenPortfolio(a.bstr(0)); }},
    {DISPID_CancelPortfolio, [](Server& s, Args& a) { return s.CancelPortfolio(a.bstr(0)); }},
    {DISPID_PlaceOrder,
     [](Server& s, Args& a) {
       return s.PlaceOrder(a.bstr(0), a.bstr(1), static_cast<KxOrder_Action>(a.i4(2)),
                           static_cast<KxOrder_Type>(a.i4(3)), static_cast<KxOrder_Validity>(a.i4(4)), a.r8(5),
                           a.r8(6), a.r8(7), a.i4(8));
     }},
    {DISPID_CancelOrder, [](Server& s, Args& a) { return s.CancelOrder(a.bstr(0), a.bstr(1), a.bstr(2)); }},
    {DISPID_MoveOrder, [](Server& s, Args& a) { return s.MoveOrder(a.bstr(0), a.bstr(1), a.r8(2)); }},
    {DISPID_GetSymbols, [](Server& s, Args&) { return s.GetSymbols(); }},
    {DISPID_IsConnected, [](Server& s, Args& a) { return s.IsConnected(a.boolOut(0)); }},
    {DISPID_connect, [](Server& s, Args& a) { return s.connect(a.bstr(0), a.ui2(1), a.bstr(2), a.bstr(3)); }},
    {DISPID_disconnect, [](Server& s, Args&) { return s.disconnect(); }},
    {DISPID_GetPrortfolioList, [](Server& s, Args&) { return s.GetPrortfolioList(); }},
    {DISPID_GetMyOrders, [](Server& s, Args& a) { return s.GetMyOrders(a.integer(0), a.bstr(1)); }},
    {DISPID_GetMyTrades, [](Server& s, Args& a) { return s.GetMyTrades(a.bstr(0)); }},
    {DISPID_GetMyClosePos, [](Server& s, Args& a) { return s.GetMyClosePos(a.bstr(0)); }},
    {DISPID_GetTrades, [](Server& s, Args& a) { return s.GetTrades(a.bstr(0), a.date(1), a.integer(2)); }},
    {DISPID_ConfigureClient, [](Server& s, Args& a) { return s.ConfigureClient(a.bstr(0)); }},
    {DISPID_ConfigureServer, [](Server& s, Args& a) { return s.ConfigureServer(a.bstr(0)); }},
    {DISPID_GetMoneyAccount, [](Server& s, Args& a) { return s.GetMoneyAccount(a.bstr(0), a.bstrOut(1)); }},
};

using Version = IQuarnelVersion;

constexpr DispatchEntry<IQuarnelVersion> kVersionEntries[] = {
    {DISPID_GetServerVersionString, [](Version& v, Args& a) { return v.GetServerVersionString(a.bstrOut(0)); }},
    {DISPID_GetServerVersion,
     [](Version& v, Args& a) { return v.GetServerVersion(a.intOut(0), a.intOut(1), a.intOut(2), a.intOut(3)); }},
    {DISPID_GetKxClientVersionString, [](Version& v, Args& a) { return v.GetKxClientVersionString(a.bstrOut(0)); }},
    {DISPID_GetKxClientVersion,
     [](Version& v, Args& a) { return v.GetKxClientVersion(a.intOut(0), a.intOut(1), a.intOut(2), a.intOut(3)); }},
};

static_assert(std::size(kServerEntries) == std::size(kKxServerMethods), "one invoker per IKxServer method");
static_assert(std::size(kVersionEntries) == std::size(kQuarnelVersionMethods), "one invoker per IQuarnelVersion method");

}  // namespace

template <>
std::span<const KxMemberInfo> DispatchTable<IKxServer>::members() { return kKxServerMethods; }
template <>
std::span<const DispatchEntry<IKxServer>> DispatchTable<IKxServer>::entries() { return kServerEntries; }
template <>
std::span<const KxMemberInfo> DispatchTable<IQuarnelVersion>::members() { return kQuarnelVersionMethods; }
template <>
std::span<const DispatchEntry<IQuarnelVersion>> DispatchTable<IQuarnelVersion>::entries() { return kVersionEntries; }

}  // namespace kx
