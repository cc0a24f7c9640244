// The records the library hands to its listeners. Text fields are
// zero-terminated byte arrays in the server's code page (CP1251), copied
// unchanged; every record is all zero before it is filled.
#pragma once

#include <cstdint>
#include <string>

#include "wexel/wexel_packed_time.h"

namespace wexel {

// ---- market feeds --------------------------------------------------------

struct WQuote {
  double open;
  double high;
  double low;
  double close;
  double last;
  double size;
  double volume;
  PackedTime time;
  double bid;
  double ask;
  double bidSize;
  double askSize;
  double extra13;
  double extra14;
  double extra15;
  double openInterest;
  double extra17;
  double extra18;
  int32_t extra19;
  PackedTime extraTime20;
  double volatility;
  PackedTime extraTime22;
  double theoreticalPrice;
  double buyMargin;
  double sellMargin;
  double baseMargin;
  double backedBaseMargin;
  int32_t extra28;
  double lowLimit;
  double highLimit;
  int32_t extra31;
  double extra32;
  int32_t tradingStatus;
};

struct WTradeTick {
  PackedTime time;
  double price;
  double volume;
  int64_t tradeNumber;
  double openInterest;
  int32_t action;  // 1 buy, 2 sell
};

// A trade of the tick history has the layout of a feed trade.
using WTick = WTradeTick;

struct WBidAskRow {
  char side;  // 'B' bid, 'A' ask
  double price;
  double volume;
};

struct WFeedMessage {
  int64_t messageNumber;
  int32_t extra;
};

// ---- securities guide ----------------------------------------------------

struct WSecurity {
  char exchangeCode[64];
  char extraText2[64];
  char type[64];
  char symbol[64];
  char shortName[64];
  char longName[256];
  char extraText15[256];
  int32_t extra7;
  int32_t extra11;
  int32_t decimals;
  int32_t lotSize;
  int32_t extra10;
  PackedTime expiry;  // 0 when the security has none
  double strike;
  double pointValue;
  double priceStep;
  double extra17;
  double extra18;
  char extraText19[2];
  int32_t extra20;
  int32_t extra21;
  int32_t extra22;
  int32_t extra23;
  double extra24;
  double extra25;
  double extra26;
  int32_t extra27;
  int32_t extra28;
  int32_t extra29;
};

struct WGuidePair {
  char first[64];
  char second[256];
};

// ---- logon ---------------------------------------------------------------

// One portfolio line of the logon reply. A text of exactly its field's width
// has no terminating zero inside the field.
struct WPortfolioEntry {
  char name1[35];
  char name2[35];
  char name3[35];  // the copy hosts key their portfolio tables on
  char exchange[64];
  unsigned char status;
  char moneyAccount[35];
};

// ---- portfolio stream and queries ----------------------------------------

struct WPortfolioMoney {
  double leverage;
  double cash;
  double commission;
  double saldo;
  double extra5;
  double extra6;
  double extra7;
  double extra11;
  double extra8;
  double extra9;
  double extra10;
  PackedTime time;  // mode 1 only
};

struct WPortfolioOrder {
  char firstText[64];
  char symbol[64];
  int64_t orderId;
  int32_t action;
  int32_t type;
  int32_t state;
  double price;
  double stop;
  double amount;
  double filled;
  int32_t extra11;
  char extraText12[64];
  int32_t extra12;
  double extra13;
  PackedTime time;
  int64_t orderNumber;
  int32_t validity;
  int32_t statusMask;
  int32_t flag;
  int64_t cookie;
  char extraText19[40];
};
using WMyOrder = WPortfolioOrder;

struct WPortfolioTrade {
  char firstText[64];
  char symbol[64];
  int32_t action;
  double price;
  double volume;
  PackedTime time;
  int64_t orderNumber;
  int64_t tradeNumber;
  char extraText9[40];
  char extraText10[40];
  PackedTime secondTime;
};
using WMyTrade = WPortfolioTrade;

struct WPortfolioPosition {
  char firstText[64];
  char symbol[64];
  int32_t side;  // 1 long, 2 short
  double amount;
  double plannedAmount;
  double averagePrice;
  PackedTime time;  // mode 1 only
};

struct WMyClosePos {
  char firstText[64];
  char symbol[64];
  double amount;
  double buyPrice;
  double sellPrice;
  PackedTime time;
  int64_t openingOrderNumber;
  int64_t closingOrderNumber;
};

struct WPortfolioRecord6 {
  char text1[64];
  char text2[64];
  int64_t number3;
  PackedTime time4;
  int32_t int8;
  int32_t int5;
  int32_t kind;  // wire field 6
  int32_t int7;
  double value9;
  int32_t int10;
  int32_t int11;
  int32_t int12;
  double value13;
  PackedTime time14;
  int32_t int15;
  double value16;
  int32_t a;
  int32_t b;
  union {
    double asDouble;  // kinds 7 and 9
    int32_t asInt;    // kinds 8 and 11
  } c;
  int32_t d;
  double e;
  double f;
};

struct WPortfolioRecord8 {
  char text1[64];
  char text2[64];
  char text3[64];
  int64_t number;
  int32_t int1;
  int32_t int2;
  int32_t int3;
  int32_t int4;
  double value1;
  double value2;
  double value3;
  PackedTime time;
};

struct WPortfolioRecord9 {
  char text1[64];
  char text2[64];
  int64_t number1;
  int32_t int1;
  double value;
  PackedTime time;
  int64_t number2;
};

struct WRealPosition {
  char firstText[64];
  char secondText[64];
  double value;
};

// ---- history -------------------------------------------------------------

struct WHistoryBar {
  PackedTime time;
  double open;
  double high;
  double low;
  double close;
  double volume;
  double openInterest;
};

// ---- orders, alerts, messages --------------------------------------------

struct WOrderErrorInfo {
  int64_t orderNo;
  PackedTime time;
  char text[2048];
};

struct WAlert {
  char text1[64];
  char text2[64];
  int64_t number3;
  PackedTime time4;
  int32_t int5;
  PackedTime time6;
  int32_t int7;
  int32_t int8;
  int32_t int9;
  double value10;
  PackedTime time11;
  double value12;
  int32_t int13;
  int32_t int14;
  char text15[256];
  char text16[256];
  char text17[256];
  char text18[64];
};

struct WChannelMessage {
  int64_t messageNumber;
  PackedTime time;
  std::string text1;
  std::string text2;
  std::string text3;
};

}  // namespace wexel
