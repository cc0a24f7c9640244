#include "kxdoc_purposes.h"

namespace kxdoc {
namespace {

constexpr Purpose kPurposes[] = {
    // IKxServer
    {"ListenQuotes", "Subscribes to the quotes of a security: `UpdateQuote` on every change."},
    {"CancelQuotes", "Ends a quotes subscription."},
    {"ListenBidAsks", "Subscribes to the order book of a security: `UpdateBidAsk` rows per snapshot."},
    {"CancelBidAsks", "Ends an order-book subscription."},
    {"ListenTicks", "Subscribes to the trades of a security: `AddTick` per trade."},
    {"CancelTicks", "Ends a trades subscription."},
    {"GetBars", "Asks for `count` bars of an interval up to `since`: `AddBar` rows."},
    {"ListenPortfolio",
     "Subscribes to a portfolio: `SetPortfolio`, `UpdatePosition`, `UpdateOrder` and `AddTrade`."},
    {"CancelPortfolio", "Ends a portfolio subscription."},
    {"PlaceOrder", "Places an order; `OrderSucceeded` or `OrderFailed` brings back its `cookie`."},
    {"CancelOrder", "Cancels an order: `OrderCancelSucceeded` or `OrderCancelFailed`."},
    {"MoveOrder", "Moves an order to a new price: `OrderMoveSucceeded` or `OrderMoveFailed`."},
    {"GetSymbols", "Lists the securities of the session as `AddSymbol` rows, fired before the call returns."},
    {"IsConnected", "Whether the session is logged on and its securities list has come."},
    {"connect", "Logs on to a server (TLS first, then plain): `Connected` once ready, else `Disconnected`."},
    {"disconnect", "Ends the session: `Disconnected` with \"Disconnected by user\"."},
    {"GetPrortfolioList", "Lists the portfolios of the logon as `AddPortfolio` rows, fired before the call returns."},
    {"GetMyOrders", "Asks for the orders of a portfolio: `SetMyOrder` rows."},
    {"GetMyTrades", "Asks for the trades of a portfolio: `SetMyTrade` rows."},
    {"GetMyClosePos", "Asks for the closed positions of a portfolio: `SetMyClosePos` rows."},
    {"GetTrades", "Asks for `count` trades of a security up to `from`: `AddTickHistory` rows."},
    {"ConfigureClient", "Sets client settings from `key=value; key=value` text (see configuration.md)."},
    {"ConfigureServer", "Accepted for compatibility; does nothing."},
    {"GetMoneyAccount", "The money-account code of a portfolio of the logon."},
    // IQuarnelVersion
    {"GetServerVersionString", "The version text the server sent at logon."},
    {"GetServerVersion", "The server's version as four numbers (0 where the text has none)."},
    {"GetKxClientVersionString", "The version text of this component."},
    {"GetKxClientVersion", "The version of this component as four numbers."},
    // _IKxClient
    {"Connected", "The logon succeeded and the securities list has come: the session is usable."},
    {"Disconnected", "The session ended or never started; `reason` tells why."},
    {"UpdateQuote", "A quote of a listened security."},
    {"UpdateBidAsk", "One row of an order-book snapshot, rows 0 to `nrows` - 1."},
    {"AddTick", "A trade of a listened security."},
    {"AddTickHistory", "One row of the answer to `GetTrades`."},
    {"AddBar", "One row of the answer to `GetBars`."},
    {"SetPortfolio", "The money of a listened portfolio."},
    {"AddTrade", "A trade of a listened portfolio."},
    {"UpdateOrder", "The state of an order of a listened portfolio."},
    {"UpdatePosition", "A position of a listened portfolio (negative amounts for a short position)."},
    {"AddSymbol", "One row of the answer to `GetSymbols`."},
    {"OrderSucceeded", "The server accepted a `PlaceOrder`."},
    {"OrderFailed", "A `PlaceOrder` failed; `reason` is the server's or the library's text."},
    {"AddPortfolio", "One row of the answer to `GetPrortfolioList`, rows numbered from 1."},
    {"SetSubscribtionCheckReult", "Declared for compatibility; never fired."},
    {"SetMyTrade", "One row of the answer to `GetMyTrades`."},
    {"SetMyOrder", "One row of the answer to `GetMyOrders`."},
    {"SetMyClosePos", "One row of the answer to `GetMyClosePos`."},
    {"OrderCancelSucceeded", "A `CancelOrder` took effect."},
    {"OrderCancelFailed", "A `CancelOrder` was refused."},
    {"OrderMoveSucceeded", "A `MoveOrder` took effect."},
    {"OrderMoveFailed", "A `MoveOrder` was refused."},
};

constexpr EnumeratedParam kEnumeratedParams[] = {
    {"GetBars", "interval", "KxBarInterval"},
    {"PlaceOrder", "action", "KxOrder_Action"},
    {"PlaceOrder", "type", "KxOrder_Type"},
    {"PlaceOrder", "validity", "KxOrder_Validity"},
    {"AddTick", "action", "KxOrder_Action"},
    {"AddTickHistory", "action", "KxOrder_Action"},
    {"AddBar", "interval", "KxBarInterval"},
    {"UpdateOrder", "state", "KxOrder_State"},
    {"UpdateOrder", "action", "KxOrder_Action"},
    {"UpdateOrder", "type", "KxOrder_Type"},
    {"UpdateOrder", "validity", "KxOrder_Validity"},
    {"AddPortfolio", "portfolioStatus", "KxPortfolioStatus"},
    {"SetMyTrade", "buysell", "KxOrder_Action"},
    {"SetMyOrder", "state", "KxOrder_State"},
    {"SetMyOrder", "action", "KxOrder_Action"},
    {"SetMyOrder", "type", "KxOrder_Type"},
    {"SetMyOrder", "validity", "KxOrder_Validity"},
};

}  // namespace

std::span<const Purpose> purposes() { return kPurposes; }
std::span<const EnumeratedParam> enumeratedParams() { return kEnumeratedParams; }

}  // namespace kxdoc
