// Quarnel3Lib 1.0, the component's type library in header form: enumerations,
// the dual interfaces IKxServer and IQuarnelVersion in vtable order, the
// _IKxClient events, the DISPIDs and parameter lists of every member, and the
// identifiers of the class, the interfaces and the library.
#pragma once

#include "quarnel3/automation.h"

// {4D6935F3-EF91-4317-977F-41763329E0F4}
inline constexpr CLSID CLSID_KxServer = {0x4D6935F3, 0xEF91, 0x4317, {0x97, 0x7F, 0x41, 0x76, 0x33, 0x29, 0xE0, 0xF4}};
// {66E23986-6149-4D40-A86A-6F0AA425EDAB}
inline constexpr IID IID_IKxServer = {0x66E23986, 0x6149, 0x4D40, {0xA8, 0x6A, 0x6F, 0x0A, 0xA4, 0x25, 0xED, 0xAB}};
// {F51F3FF5-2270-4296-925F-B640DB7D6C40}
inline constexpr IID IID__IKxClient = {0xF51F3FF5, 0x2270, 0x4296, {0x92, 0x5F, 0xB6, 0x40, 0xDB, 0x7D, 0x6C, 0x40}};
// {2227303F-B869-4692-8A07-B0CB65100BAD}
inline constexpr IID IID_IQuarnelVersion = {0x2227303F, 0xB869, 0x4692, {0x8A, 0x07, 0xB0, 0xCB, 0x65, 0x10, 0x0B, 0xAD}};
// {41EE1F7B-8851-49AF-871F-59940EEBFBBC}
inline constexpr GUID LIBID_Quarnel3Lib = {0x41EE1F7B, 0x8851, 0x49AF, {0x87, 0x1F, 0x59, 0x94, 0x0E, 0xEB, 0xFB, 0xBC}};

inline constexpr const char* kKxServerProgId = "Quarnel3.KxServer";
inline constexpr const char* kKxServerProgIdVersioned = "Quarnel3.KxServer.1";

enum KxOrder_State : int32_t {
  KxOrder_State_ContragentReject = -1,
  KxOrder_State_Submited = 0,
  KxOrder_State_Pending = 1,
  KxOrder_State_Open = 2,
  KxOrder_State_Expired = 3,
  KxOrder_State_Cancel = 4,
  KxOrder_State_Filled = 5,
  KxOrder_State_Partial = 6,
  KxOrder_State_ContragentCancel = 7,
  KxOrder_State_SystemReject = 8,
  KxOrder_State_SystemCancel = 9,
};

enum KxOrder_Action : int32_t {
  KxOrder_Action_Buy = 1,
  KxOrder_Action_Sell = 2,
  KxOrder_Action_Short = 3,
  KxOrder_Action_Cover = 4,
};

enum KxOrder_Type : int32_t {
  KxOrder_Type_Market = 1,
  KxOrder_Type_Limit = 2,
  KxOrder_Type_Stop = 3,
  KxOrder_Type_StopLimit = 4,
};

enum KxOrder_Validity : int32_t {
  KxOrder_Validity_Day = 1,
  KxOrder_Validity_Gtc = 2,
};

enum KxBarInterval : int32_t {
  KxBarInterval_Tick = 0,
  KxBarInterval_1Min = 1,
  KxBarInterval_5Min = 2,
  KxBarInterval_10Min = 3,
  KxBarInterval_15Min = 4,
  KxBarInterval_30Min = 5,
  KxBarInterval_60Min = 6,
  KxBarInterval_2Hour = 7,
  KxBarInterval_4Hour = 8,
  KxBarInterval_Day = 9,
  KxBarInterval_Week = 10,
  KxBarInterval_Month = 11,
  KxBarInterval_Quarter = 12,
  KxBarInterval_Year = 13,
};

enum KxPortfolioStatus : int32_t {
  KxPortfolioStatus_Broker = 0,
  KxPortfolioStatus_TrustedManagement = 1,
  KxPortfolioStatus_ReadOnly = 2,
  KxPortfolioStatus_Blocked = 3,
  KxPortfolioStatus_Restricted = 4,
  KxPortfolioStatus_AutoRestricted = 5,
  KxPortfolioStatus_OrderNotSigned = 6,
};

// "Kexora server connection"
struct IKxServer : IDispatch {
  virtual HRESULT ListenQuotes(BSTR symbol) = 0;
  virtual HRESULT CancelQuotes(BSTR symbol) = 0;
  virtual HRESULT ListenBidAsks(BSTR symbol) = 0;
  virtual HRESULT CancelBidAsks(BSTR symbol) = 0;
  virtual HRESULT ListenTicks(BSTR symbol) = 0;
  virtual HRESULT CancelTicks(BSTR symbol) = 0;
  virtual HRESULT GetBars(BSTR symbol, KxBarInterval interval, DATE since, LONG count) = 0;
  virtual HRESULT ListenPortfolio(BSTR portfolio) = 0;
  virtual HRESULT CancelPortfolio(BSTR portfolio) = 0;
  virtual HRESULT PlaceOrder(BSTR portfolio, BSTR symbol, KxOrder_Action action, KxOrder_Type type,
                             KxOrder_Validity validity, DOUBLE price, DOUBLE amount, DOUBLE stop, LONG cookie) = 0;
  virtual HRESULT CancelOrder(BSTR portfolio, BSTR symbol, BSTR orderid) = 0;
  virtual HRESULT MoveOrder(BSTR portfolio, BSTR orderid, DOUBLE targetPrice) = 0;
  virtual HRESULT GetSymbols() = 0;
  virtual HRESULT IsConnected(VARIANT_BOOL* connected) = 0;
  virtual HRESULT connect(BSTR ip, USHORT port, BSTR login, BSTR password) = 0;
  virtual HRESULT disconnect() = 0;
  virtual HRESULT GetPrortfolioList() = 0;
  virtual HRESULT GetMyOrders(INT onlyActive, BSTR portfolio) = 0;
  virtual HRESULT GetMyTrades(BSTR portfolio) = 0;
  virtual HRESULT GetMyClosePos(BSTR portfolio) = 0;
  virtual HRESULT GetTrades(BSTR symbol, DATE from, INT count) = 0;
  virtual HRESULT ConfigureClient(BSTR paramsSet) = 0;
  virtual HRESULT ConfigureServer(BSTR paramsSet) = 0;
  virtual HRESULT GetMoneyAccount(BSTR portfolioID, BSTR* moneyAccount) = 0;
};

// "Quarnel3 version interface"
struct IQuarnelVersion : IDispatch {
  virtual HRESULT GetServerVersionString(BSTR* stversion) = 0;
  virtual HRESULT GetServerVersion(INT* major, INT* minor, INT* build, INT* rev) = 0;
  virtual HRESULT GetKxClientVersionString(BSTR* stversion) = 0;
  virtual HRESULT GetKxClientVersion(INT* major, INT* minor, INT* build, INT* rev) = 0;
};

enum KxServerDispId : DISPID {
  DISPID_ListenQuotes = 1,
  DISPID_CancelQuotes = 2,
  DISPID_ListenBidAsks = 3,
  DISPID_CancelBidAsks = 4,
  DISPID_ListenTicks = 5,
  DISPID_CancelTicks = 6,
  DISPID_GetBars = 7,
  DISPID_ListenPortfolio = 9,
  DISPID_CancelPortfolio = 10,
  DISPID_PlaceOrder = 11,
  DISPID_CancelOrder = 12,
  DISPID_MoveOrder = 14,
  DISPID_GetSymbols = 20,
  DISPID_IsConnected = 100,
  DISPID_connect = 110,
  DISPID_disconnect = 111,
  DISPID_GetPrortfolioList = 112,
  DISPID_GetMyOrders = 116,
  DISPID_GetMyTrades = 117,
  DISPID_GetMyClosePos = 119,
  DISPID_GetTrades = 120,
  DISPID_ConfigureClient = 121,
  DISPID_ConfigureServer = 122,
  DISPID_GetMoneyAccount = 123,
};

enum QuarnelVersionDispId : DISPID {
  DISPID_GetServerVersionString = 1,
  DISPID_GetServerVersion = 2,
  DISPID_GetKxClientVersionString = 3,
  DISPID_GetKxClientVersion = 4,
};

enum KxClientDispId : DISPID {
  DISPID_Connected = 1,
  DISPID_Disconnected = 2,
  DISPID_UpdateQuote = 3,
  DISPID_UpdateBidAsk = 4,
  DISPID_AddTick = 5,
  DISPID_AddBar = 6,
  DISPID_SetPortfolio = 7,
  DISPID_AddTrade = 8,
  DISPID_UpdateOrder = 9,
  DISPID_UpdatePosition = 10,
  DISPID_AddTickHistory = 15,
  DISPID_AddSymbol = 20,
  DISPID_OrderSucceeded = 30,
  DISPID_OrderFailed = 31,
  DISPID_AddPortfolio = 32,
  DISPID_SetSubscribtionCheckReult = 33,
  DISPID_SetMyTrade = 34,
  DISPID_SetMyOrder = 35,
  DISPID_SetMyClosePos = 37,
  DISPID_OrderCancelSucceeded = 38,
  DISPID_OrderCancelFailed = 39,
  DISPID_OrderMoveSucceeded = 40,
  DISPID_OrderMoveFailed = 41,
};

// How a parameter travels: in by value, out by reference, or as the call's
// return value (pVarResult of Invoke).
enum class KxParamFlow : uint8_t { In, Out, RetVal };

struct KxParamInfo {
  const char* name;
  VARTYPE type;  // for events: the variant type actually put into the argument array
  KxParamFlow flow;
};

struct KxMemberInfo {
  const char* name;
  DISPID dispid;
  const KxParamInfo* params;
  int paramCount;
};

namespace quarnel3_typelib {

constexpr KxParamFlow In = KxParamFlow::In;
constexpr KxParamFlow Out = KxParamFlow::Out;
constexpr KxParamFlow Ret = KxParamFlow::RetVal;

inline constexpr KxParamInfo kSymbol[] = {{"symbol", VT_BSTR, In}};
inline constexpr KxParamInfo kPortfolio[] = {{"portfolio", VT_BSTR, In}};
inline constexpr KxParamInfo kParamsSet[] = {{"paramsSet", VT_BSTR, In}};
inline constexpr KxParamInfo kGetBars[] = {
    {"symbol", VT_BSTR, In}, {"interval", VT_I4, In}, {"since", VT_DATE, In}, {"count", VT_I4, In}};
inline constexpr KxParamInfo kPlaceOrder[] = {
    {"portfolio", VT_BSTR, In}, {"symbol", VT_BSTR, In}, {"action", VT_I4, In},
    {"type", VT_I4, In},        {"validity", VT_I4, In}, {"price", VT_R8, In},
    {"amount", VT_R8, In},      {"stop", VT_R8, In},     {"cookie", VT_I4, In}};
inline constexpr KxParamInfo kCancelOrder[] = {
    {"portfolio", VT_BSTR, In}, {"symbol", VT_BSTR, In}, {"orderid", VT_BSTR, In}};
inline constexpr KxParamInfo kMoveOrder[] = {
    {"portfolio", VT_BSTR, In}, {"orderid", VT_BSTR, In}, {"targetPrice", VT_R8, In}};
inline constexpr KxParamInfo kIsConnected[] = {{"connected", VT_BOOL, Out}};
inline constexpr KxParamInfo kConnect[] = {
    {"ip", VT_BSTR, In}, {"port", VT_UI2, In}, {"login", VT_BSTR, In}, {"password", VT_BSTR, In}};
inline constexpr KxParamInfo kGetMyOrders[] = {{"onlyActive", VT_INT, In}, {"portfolio", VT_BSTR, In}};
inline constexpr KxParamInfo kGetTrades[] = {{"symbol", VT_BSTR, In}, {"from", VT_DATE, In}, {"count", VT_INT, In}};
inline constexpr KxParamInfo kGetMoneyAccount[] = {{"portfolioID", VT_BSTR, In}, {"moneyAccount", VT_BSTR, Out}};

inline constexpr KxParamInfo kVersionString[] = {{"stversion", VT_BSTR, Ret}};
inline constexpr KxParamInfo kVersionNumbers[] = {
    {"major", VT_INT, Out}, {"minor", VT_INT, Out}, {"build", VT_INT, Out}, {"rev", VT_INT, Out}};

inline constexpr KxParamInfo kReason[] = {{"reason", VT_BSTR, In}};
inline constexpr KxParamInfo kUpdateQuote[] = {
    {"symbol", VT_BSTR, In},     {"datetime", VT_DATE, In},     {"open", VT_R8, In},
    {"high", VT_R8, In},         {"low", VT_R8, In},            {"close", VT_R8, In},
    {"last", VT_R8, In},         {"volume", VT_R8, In},         {"size", VT_R8, In},
    {"bid", VT_R8, In},          {"ask", VT_R8, In},            {"bidsize", VT_R8, In},
    {"asksize", VT_R8, In},      {"open_int", VT_R8, In},       {"go_buy", VT_R8, In},
    {"go_sell", VT_R8, In},      {"go_base", VT_R8, In},        {"go_base_backed", VT_R8, In},
    {"high_limit", VT_R8, In},   {"low_limit", VT_R8, In},      {"trading_status", VT_I4, In},
    {"volat", VT_R8, In},        {"theor_price", VT_R8, In}};
inline constexpr KxParamInfo kUpdateBidAsk[] = {
    {"symbol", VT_BSTR, In}, {"row", VT_I4, In}, {"nrows", VT_I4, In}, {"bid", VT_R8, In},
    {"bidsize", VT_R8, In},  {"ask", VT_R8, In}, {"asksize", VT_R8, In}};
inline constexpr KxParamInfo kAddTick[] = {
    {"symbol", VT_BSTR, In}, {"datetime", VT_DATE, In}, {"price", VT_R8, In},
    {"volume", VT_R8, In},   {"tradeno", VT_BSTR, In},  {"action", VT_I4, In}};
inline constexpr KxParamInfo kAddTickHistory[] = {
    {"row", VT_I4, In},    {"nrows", VT_I4, In},  {"symbol", VT_BSTR, In},  {"datetime", VT_DATE, In},
    {"price", VT_R8, In},  {"volume", VT_R8, In}, {"tradeno", VT_BSTR, In}, {"action", VT_I4, In}};
inline constexpr KxParamInfo kAddBar[] = {
    {"row", VT_I4, In},  {"nrows", VT_I4, In},  {"symbol", VT_BSTR, In}, {"interval", VT_I4, In},
    {"datetime", VT_DATE, In}, {"open", VT_R8, In}, {"high", VT_R8, In}, {"low", VT_R8, In},
    {"close", VT_R8, In}, {"volume", VT_R8, In}, {"open_int", VT_R8, In}};
inline constexpr KxParamInfo kSetPortfolio[] = {
    {"portfolio", VT_BSTR, In}, {"cash", VT_R8, In}, {"leverage", VT_R8, In},
    {"comission", VT_R8, In},   {"saldo", VT_R8, In}};
inline constexpr KxParamInfo kAddTrade[] = {
    {"portfolio", VT_BSTR, In}, {"symbol", VT_BSTR, In},   {"orderid", VT_BSTR, In}, {"price", VT_R8, In},
    {"amount", VT_R8, In},      {"datetime", VT_DATE, In}, {"tradeno", VT_BSTR, In}};
inline constexpr KxParamInfo kUpdateOrder[] = {
    {"portfolio", VT_BSTR, In}, {"symbol", VT_BSTR, In},   {"state", VT_I4, In},      {"action", VT_I4, In},
    {"type", VT_I4, In},        {"validity", VT_I4, In},   {"price", VT_R8, In},      {"amount", VT_R8, In},
    {"stop", VT_R8, In},        {"filled", VT_R8, In},     {"datetime", VT_DATE, In}, {"orderid", VT_BSTR, In},
    {"orderno", VT_BSTR, In},   {"status_mask", VT_I4, In}, {"cookie", VT_I4, In}};
inline constexpr KxParamInfo kUpdatePosition[] = {
    {"portfolio", VT_BSTR, In}, {"symbol", VT_BSTR, In}, {"avprice", VT_R8, In},
    {"amount", VT_R8, In},      {"planned", VT_R8, In}};
inline constexpr KxParamInfo kAddSymbol[] = {
    {"row", VT_I4, In},           {"nrows", VT_I4, In},          {"symbol", VT_BSTR, In},
    {"short_name", VT_BSTR, In},  {"long_name", VT_BSTR, In},    {"type", VT_BSTR, In},
    {"decimals", VT_I4, In},      {"lot_size", VT_I4, In},       {"punkt", VT_R8, In},
    {"step", VT_R8, In},          {"sec_ext_id", VT_BSTR, In},   {"sec_exch_name", VT_BSTR, In},
    {"expiry_date", VT_DATE, In}, {"days_before_expiry", VT_R8, In}, {"strike", VT_R8, In}};
inline constexpr KxParamInfo kOrderSucceeded[] = {{"cookie", VT_I4, In}, {"orderid", VT_BSTR, In}};
inline constexpr KxParamInfo kOrderFailed[] = {
    {"cookie", VT_I4, In}, {"orderid", VT_BSTR, In}, {"reason", VT_BSTR, In}};
inline constexpr KxParamInfo kAddPortfolio[] = {
    {"row", VT_I4, In}, {"nrows", VT_I4, In}, {"portfolioName", VT_BSTR, In},
    {"portfolioExch", VT_BSTR, In}, {"portfolioStatus", VT_I1, In}};
inline constexpr KxParamInfo kSubscriptionCheck[] = {{"result", VT_INT, In}};
inline constexpr KxParamInfo kSetMyTrade[] = {
    {"row", VT_I4, In},     {"nrows", VT_I4, In},  {"portfolio", VT_BSTR, In}, {"symbol", VT_BSTR, In},
    {"datetime", VT_DATE, In}, {"price", VT_R8, In}, {"volume", VT_R8, In},   {"tradeno", VT_BSTR, In},
    {"buysell", VT_I4, In}, {"orderno", VT_BSTR, In}};
inline constexpr KxParamInfo kSetMyOrder[] = {
    {"row", VT_I4, In},       {"nrows", VT_I4, In},     {"portfolio", VT_BSTR, In}, {"symbol", VT_BSTR, In},
    {"state", VT_I4, In},     {"action", VT_I4, In},    {"type", VT_I4, In},        {"validity", VT_I4, In},
    {"price", VT_R8, In},     {"amount", VT_R8, In},    {"stop", VT_R8, In},        {"filled", VT_R8, In},
    {"datetime", VT_DATE, In}, {"id", VT_BSTR, In},     {"no", VT_BSTR, In},        {"cookie", VT_I4, In}};
inline constexpr KxParamInfo kSetMyClosePos[] = {
    {"row", VT_I4, In},        {"nrows", VT_I4, In},      {"portfolio", VT_BSTR, In}, {"symbol", VT_BSTR, In},
    {"amount", VT_R8, In},     {"price_buy", VT_R8, In},  {"price_sell", VT_R8, In},  {"postime", VT_DATE, In},
    {"order_open", VT_BSTR, In}, {"order_close", VT_BSTR, In}};
inline constexpr KxParamInfo kOrderId[] = {{"orderid", VT_BSTR, In}};

template <size_t N>
constexpr KxMemberInfo member(const char* name, DISPID id, const KxParamInfo (&params)[N]) {
  return {name, id, params, static_cast<int>(N)};
}
constexpr KxMemberInfo member(const char* name, DISPID id) { return {name, id, nullptr, 0}; }

}  // namespace quarnel3_typelib

// IKxServer's methods in interface order.
inline constexpr KxMemberInfo kKxServerMethods[] = {
    quarnel3_typelib::member("ListenQuotes", DISPID_ListenQuotes, quarnel3_typelib::kSymbol),
    quarnel3_typelib::member("CancelQuotes", DISPID_CancelQuotes, quarnel3_typelib::kSymbol),
    quarnel3_typelib::member("ListenBidAsks", DISPID_ListenBidAsks, quarnel3_typelib::kSymbol),
    quarnel3_typelib::member("CancelBidAsks", DISPID_CancelBidAsks, quarnel3_typelib::kSymbol),
    quarnel3_typelib::member("ListenTicks", DISPID_ListenTicks, quarnel3_typelib::kSymbol),
    quarnel3_typelib::member("CancelTicks", DISPID_CancelTicks, quarnel3_typelib::kSymbol),
    quarnel3_typelib::member("GetBars", DISPID_GetBars, quarnel3_typelib::kGetBars),
    quarnel3_typelib::member("ListenPortfolio", DISPID_ListenPortfolio, quarnel3_typelib::kPortfolio),
    quarnel3_typelib::member("CancelPortfolio", DISPID_CancelPortfolio, quarnel3_typelib::kPortfolio),
    quarnel3_typelib::member("PlaceOrder", DISPID_PlaceOrder, quarnel3_typelib::kPlaceOrder),
    quarnel3_typelib::member("CancelOrder", DISPID_CancelOrder, quarnel3_typelib::kCancelOrder),
    quarnel3_typelib::member("MoveOrder", DISPID_MoveOrder, quarnel3_typelib::kMoveOrder),
    quarnel3_typelib::member("GetSymbols", DISPID_GetSymbols),
    quarnel3_typelib::member("IsConnected", DISPID_IsConnected, quarnel3_typelib::kIsConnected),
    quarnel3_typelib::member("connect", DISPID_connect, quarnel3_typelib::kConnect),
    quarnel3_typelib::member("disconnect", DISPID_disconnect),
    quarnel3_typelib::member("GetPrortfolioList", DISPID_GetPrortfolioList),
    quarnel3_typelib::member("GetMyOrders", DISPID_GetMyOrders, quarnel3_typelib::kGetMyOrders),
    quarnel3_typelib::member("GetMyTrades", DISPID_GetMyTrades, quarnel3_typelib::kPortfolio),
    quarnel3_typelib::member("GetMyClosePos", DISPID_GetMyClosePos, quarnel3_typelib::kPortfolio),
    quarnel3_typelib::member("GetTrades", DISPID_GetTrades, quarnel3_typelib::kGetTrades),
    quarnel3_typelib::member("ConfigureClient", DISPID_ConfigureClient, quarnel3_typelib::kParamsSet),
    quarnel3_typelib::member("ConfigureServer", DISPID_ConfigureServer, quarnel3_typelib::kParamsSet),
    quarnel3_typelib::member("GetMoneyAccount", DISPID_GetMoneyAccount, quarnel3_typelib::kGetMoneyAccount),
};

// IQuarnelVersion's methods in interface order.
inline constexpr KxMemberInfo kQuarnelVersionMethods[] = {
    quarnel3_typelib::member("GetServerVersionString", DISPID_GetServerVersionString,
                             quarnel3_typelib::kVersionString),
    quarnel3_typelib::member("GetServerVersion", DISPID_GetServerVersion, quarnel3_typelib::kVersionNumbers),
    quarnel3_typelib::member("GetKxClientVersionString", DISPID_GetKxClientVersionString,
                             quarnel3_typelib::kVersionString),
    quarnel3_typelib::member("GetKxClientVersion", DISPID_GetKxClientVersion, quarnel3_typelib::kVersionNumbers),
};

// _IKxClient ("Kexora client sink"), events in declaration order.
inline constexpr KxMemberInfo kKxClientEvents[] = {
    quarnel3_typelib::member("Connected", DISPID_Connected),
    quarnel3_typelib::member("Disconnected", DISPID_Disconnected, quarnel3_typelib::kReason),
    quarnel3_typelib::member("UpdateQuote", DISPID_UpdateQuote, quarnel3_typelib::kUpdateQuote),
    quarnel3_typelib::member("UpdateBidAsk", DISPID_UpdateBidAsk, quarnel3_typelib::kUpdateBidAsk),
    quarnel3_typelib::member("AddTick", DISPID_AddTick, quarnel3_typelib::kAddTick),
    quarnel3_typelib::member("AddTickHistory", DISPID_AddTickHistory, quarnel3_typelib::kAddTickHistory),
    quarnel3_typelib::member("AddBar", DISPID_AddBar, quarnel3_typelib::kAddBar),
    quarnel3_typelib::member("SetPortfolio", DISPID_SetPortfolio, quarnel3_typelib::kSetPortfolio),
    quarnel3_typelib::member("AddTrade", DISPID_AddTrade, quarnel3_typelib::kAddTrade),
    quarnel3_typelib::member("UpdateOrder", DISPID_UpdateOrder, quarnel3_typelib::kUpdateOrder),
    quarnel3_typelib::member("UpdatePosition", DISPID_UpdatePosition, quarnel3_typelib::kUpdatePosition),
    quarnel3_typelib::member("AddSymbol", DISPID_AddSymbol, quarnel3_typelib::kAddSymbol),
    quarnel3_typelib::member("OrderSucceeded", DISPID_OrderSucceeded, quarnel3_typelib::kOrderSucceeded),
    quarnel3_typelib::member("OrderFailed", DISPID_OrderFailed, quarnel3_typelib::kOrderFailed),
    quarnel3_typelib::member("AddPortfolio", DISPID_AddPortfolio, quarnel3_typelib::kAddPortfolio),
    quarnel3_typelib::member("SetSubscribtionCheckReult", DISPID_SetSubscribtionCheckReult,
                             quarnel3_typelib::kSubscriptionCheck),
    quarnel3_typelib::member("SetMyTrade", DISPID_SetMyTrade, quarnel3_typelib::kSetMyTrade),
    quarnel3_typelib::member("SetMyOrder", DISPID_SetMyOrder, quarnel3_typelib::kSetMyOrder),
    quarnel3_typelib::member("SetMyClosePos", DISPID_SetMyClosePos, quarnel3_typelib::kSetMyClosePos),
    quarnel3_typelib::member("OrderCancelSucceeded", DISPID_OrderCancelSucceeded, quarnel3_typelib::kOrderId),
    quarnel3_typelib::member("OrderCancelFailed", DISPID_OrderCancelFailed, quarnel3_typelib::kOrderId),
    quarnel3_typelib::member("OrderMoveSucceeded", DISPID_OrderMoveSucceeded, quarnel3_typelib::kOrderId),
    quarnel3_typelib::member("OrderMoveFailed", DISPID_OrderMoveFailed, quarnel3_typelib::kOrderId),
};

// The member of `table` with that DISPID, or null.
template <size_t N>
constexpr const KxMemberInfo* kxFindMember(const KxMemberInfo (&table)[N], DISPID id) {
  for (const KxMemberInfo& m : table) {
    if (m.dispid == id) return &m;
  }
  return nullptr;
}
