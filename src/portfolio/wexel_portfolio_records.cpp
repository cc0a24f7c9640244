#include "portfolio/wexel_portfolio_records.h"

#include <algorithm>
#include <cstring>

namespace wexel {

namespace {

constexpr auto kOptional = WPresence::kOptional;
constexpr auto kTolerant = WPresence::kTolerant;

// ---- orders -------------------------------------------------------------------
// The order layouts read into the record plus the value that sets its flag.

struct WOrderWire : WPortfolioOrder {
  int32_t flagValue;
};

// The fields every order layout starts with, up to extra 11.
#define WEXEL_ORDER_HEAD                                                                                   \
  {&WOrderWire::firstText}, {&WOrderWire::symbol}, {&WOrderWire::orderId}, {&WOrderWire::action},         \
      {&WOrderWire::type}, {&WOrderWire::state}, {&WOrderWire::price}, {&WOrderWire::stop},               \
      {&WOrderWire::amount}, {&WOrderWire::filled}, {&WOrderWire::extra11}

// Type 1 of the stream: the cookie and the flag value may be missing; the
// trailing text may be left out without ending the record.
constexpr int kStreamOrderAt = 100;
constexpr WField<WOrderWire> kStreamOrder[] = {
    WEXEL_ORDER_HEAD,
    {&WOrderWire::extraText12},
    {&WOrderWire::extra13},
    {&WOrderWire::time},
    {&WOrderWire::orderNumber},
    {&WOrderWire::validity},
    {&WOrderWire::cookie, kOptional},
    {&WOrderWire::flagValue, kOptional},
    {&WOrderWire::extraText19, kTolerant},
    {WRecordRest{}},
};

// My orders: the cookie is required.
constexpr int kQueryOrderAt = 130;
constexpr WField<WOrderWire> kQueryOrder[] = {
    WEXEL_ORDER_HEAD,
    {&WOrderWire::extraText12},
    {&WOrderWire::extra13},
    {&WOrderWire::time},
    {&WOrderWire::orderNumber},
    {&WOrderWire::validity},
    {&WOrderWire::cookie},
    {&WOrderWire::flagValue, kOptional},
    {&WOrderWire::extraText19, kTolerant},
    {WRecordRest{}},
};

// The several-portfolio reply: every field required.
constexpr int kMassOrderAt = 160;
constexpr WField<WOrderWire> kMassOrder[] = {
    WEXEL_ORDER_HEAD,
    {&WOrderWire::extraText12},
    {&WOrderWire::extra13},
    {&WOrderWire::time},
    {&WOrderWire::orderNumber},
    {&WOrderWire::validity},
    {&WOrderWire::cookie},
    {&WOrderWire::flagValue},
    {&WOrderWire::extraText19},
    {WRecordRest{}},
};

// Type 5 of the stream: extra 12 where the text was, and nothing after the validity.
constexpr int kType5OrderAt = 200;
constexpr WField<WOrderWire> kType5Order[] = {
    WEXEL_ORDER_HEAD,
    {&WOrderWire::extra12},
    {&WOrderWire::extra13},
    {&WOrderWire::time},
    {&WOrderWire::orderNumber},
    {&WOrderWire::validity},
    {WRecordRest{}},
};

#undef WEXEL_ORDER_HEAD

// ---- trades and positions ---------------------------------------------------------

// The stream and the queries: three trailing fields some servers leave out.
constexpr int kTradeAt = 300;
constexpr WField<WPortfolioTrade> kTrade[] = {
    {&WPortfolioTrade::firstText},   {&WPortfolioTrade::symbol},
    {&WPortfolioTrade::action},      {&WPortfolioTrade::price},
    {&WPortfolioTrade::volume},      {&WPortfolioTrade::time},
    {&WPortfolioTrade::orderNumber}, {&WPortfolioTrade::tradeNumber},
    {&WPortfolioTrade::extraText9, kTolerant},
    {&WPortfolioTrade::extraText10, kTolerant},
    {&WPortfolioTrade::secondTime, kTolerant},
    {WRecordRest{}},
};

// The several-portfolio reply: every field tolerant, only the rest required.
constexpr int kMassTradeAt = 330;
constexpr WField<WPortfolioTrade> kMassTrade[] = {
    {&WPortfolioTrade::firstText, kTolerant},   {&WPortfolioTrade::symbol, kTolerant},
    {&WPortfolioTrade::action, kTolerant},      {&WPortfolioTrade::price, kTolerant},
    {&WPortfolioTrade::volume, kTolerant},      {&WPortfolioTrade::time, kTolerant},
    {&WPortfolioTrade::orderNumber, kTolerant}, {&WPortfolioTrade::tradeNumber, kTolerant},
    {&WPortfolioTrade::extraText9, kTolerant},  {&WPortfolioTrade::extraText10, kTolerant},
    {&WPortfolioTrade::secondTime, kTolerant},  {WRecordRest{}},
};

constexpr int kClosePosAt = 400;
constexpr WField<WMyClosePos> kClosePos[] = {
    {&WMyClosePos::firstText}, {&WMyClosePos::symbol},
    {&WMyClosePos::amount},    {&WMyClosePos::buyPrice},
    {&WMyClosePos::sellPrice}, {&WMyClosePos::time},
    {&WMyClosePos::openingOrderNumber}, {&WMyClosePos::closingOrderNumber},
    {WRecordRest{}},
};

constexpr int kRealPositionAt = 500;
constexpr WField<WRealPosition> kRealPosition[] = {
    {&WRealPosition::firstText},
    {&WRealPosition::secondText},
    {&WRealPosition::value},
    {WRecordRest{}},
};

// Money: four required values, then a run of extras that ends at the first
// one missing (their wire order is 5, 6, 7, 8, 9, 10, 11); mode 1 adds a time.
constexpr int kMoneyAt = 600;
constexpr WField<WPortfolioMoney> kMoney[] = {
    {&WPortfolioMoney::leverage},         {&WPortfolioMoney::cash},
    {&WPortfolioMoney::commission},       {&WPortfolioMoney::saldo},
    {&WPortfolioMoney::extra5, kOptional},  {&WPortfolioMoney::extra6, kOptional},
    {&WPortfolioMoney::extra7, kOptional},  {&WPortfolioMoney::extra8, kOptional},
    {&WPortfolioMoney::extra9, kOptional},  {&WPortfolioMoney::extra10, kOptional},
    {&WPortfolioMoney::extra11, kOptional}, {WRecordRest{}},
};
constexpr int kTimedMoneyAt = 630;
constexpr WField<WPortfolioMoney> kTimedMoney[] = {
    {&WPortfolioMoney::leverage},         {&WPortfolioMoney::cash},
    {&WPortfolioMoney::commission},       {&WPortfolioMoney::saldo},
    {&WPortfolioMoney::extra5, kOptional},  {&WPortfolioMoney::extra6, kOptional},
    {&WPortfolioMoney::extra7, kOptional},  {&WPortfolioMoney::extra8, kOptional},
    {&WPortfolioMoney::extra9, kOptional},  {&WPortfolioMoney::extra10, kOptional},
    {&WPortfolioMoney::extra11, kOptional}, {&WPortfolioMoney::time, kTolerant},
    {WRecordRest{}},
};

constexpr int kPositionAt = 700;
constexpr WField<WPortfolioPosition> kPosition[] = {
    {&WPortfolioPosition::firstText}, {&WPortfolioPosition::symbol},       {&WPortfolioPosition::amount},
    {&WPortfolioPosition::plannedAmount}, {&WPortfolioPosition::averagePrice}, {WRecordRest{}},
};
constexpr int kTimedPositionAt = 730;
constexpr WField<WPortfolioPosition> kTimedPosition[] = {
    {&WPortfolioPosition::firstText},     {&WPortfolioPosition::symbol},
    {&WPortfolioPosition::amount},        {&WPortfolioPosition::plannedAmount},
    {&WPortfolioPosition::averagePrice},  {&WPortfolioPosition::time, kTolerant},
    {WRecordRest{}},
};

// ---- records 6 to 9 ------------------------------------------------------------------
// Type 6 reads a common part, a part that depends on its kind, then a tail.
// The 8-byte value c is a double for kinds 7 and 9 and an int32 for 8 and 11;
// both are read here and the one of the kind is stored.

struct WRecord6Wire : WPortfolioRecord6 {
  double cDouble;
  int32_t cInt;
};

constexpr int kRecord6At = 800;
constexpr WField<WRecord6Wire> kRecord6Head[] = {
    {&WRecord6Wire::text1}, {&WRecord6Wire::text2}, {&WRecord6Wire::number3}, {&WRecord6Wire::time4},
    {&WRecord6Wire::int5},  {&WRecord6Wire::kind},  {&WRecord6Wire::int7},    {&WRecord6Wire::int8},
    {&WRecord6Wire::value9}, {&WRecord6Wire::int10}, {&WRecord6Wire::int11},  {&WRecord6Wire::int12},
    {&WRecord6Wire::value13}, {&WRecord6Wire::time14},
};
constexpr int kRecord6Kind7At = 820;
constexpr WField<WRecord6Wire> kRecord6Kind7[] = {{&WRecord6Wire::a}, {&WRecord6Wire::b}, {&WRecord6Wire::cDouble}};
constexpr int kRecord6Kind8At = 830;
constexpr WField<WRecord6Wire> kRecord6Kind8[] = {
    {&WRecord6Wire::a}, {&WRecord6Wire::b}, {&WRecord6Wire::e}, {&WRecord6Wire::f}, {&WRecord6Wire::cInt}};
constexpr int kRecord6Kind9At = 840;
constexpr WField<WRecord6Wire> kRecord6Kind9[] = {{WUnusedInt32{}}, {&WRecord6Wire::a}, {&WRecord6Wire::cDouble}};
// Kind 11: a, a number not kept, c as an int32, d; b is int 12 again.
constexpr int kRecord6Kind11At = 850;
constexpr WField<WRecord6Wire> kRecord6Kind11[] = {
    {&WRecord6Wire::a}, {WUnusedInt32{}}, {&WRecord6Wire::cInt}, {&WRecord6Wire::d}};
constexpr int kRecord6TailAt = 860;
constexpr WField<WRecord6Wire> kRecord6Tail[] = {{&WRecord6Wire::int15}, {&WRecord6Wire::value16}, {WRecordRest{}}};

constexpr int kRecord8At = 900;
constexpr WField<WPortfolioRecord8> kRecord8[] = {
    {&WPortfolioRecord8::text1},  {&WPortfolioRecord8::text2},  {&WPortfolioRecord8::text3},
    {&WPortfolioRecord8::number}, {&WPortfolioRecord8::int1},   {&WPortfolioRecord8::int2},
    {&WPortfolioRecord8::int3},   {&WPortfolioRecord8::int4},   {&WPortfolioRecord8::value1},
    {&WPortfolioRecord8::value2}, {&WPortfolioRecord8::value3}, {&WPortfolioRecord8::time},
    {WRecordRest{}},
};

constexpr int kRecord9At = 1000;
constexpr WField<WPortfolioRecord9> kRecord9[] = {
    {&WPortfolioRecord9::text1}, {&WPortfolioRecord9::text2}, {&WPortfolioRecord9::number1},
    {&WPortfolioRecord9::int1},  {&WPortfolioRecord9::value}, {&WPortfolioRecord9::time},
    {&WPortfolioRecord9::number2}, {WRecordRest{}},
};

struct WRecord7 {
  int64_t number;
  double value;
  PackedTime time;
};
constexpr int kRecord7At = 1100;
constexpr WField<WRecord7> kRecord7[] = {
    {&WRecord7::number}, {&WRecord7::value}, {&WRecord7::time}, {WRecordRest{}}};

struct WKeepAliveReply {
  int32_t number;
  PackedTime time;
};
constexpr int kKeepAliveAt = 1200;
constexpr WField<WKeepAliveReply> kKeepAlive[] = {
    {&WKeepAliveReply::number}, {&WKeepAliveReply::time}, {WRecordEnd{}}};

struct WKindField {
  int32_t kind;
};
constexpr int kKindAt = 1300;
constexpr WField<WKindField> kKind[] = {{WSmallInto<WKindField>{&WKindField::kind}}};
constexpr int kEndAt = 1400;
constexpr WField<WKindField> kEndRecord[] = {{WRecordEnd{}}};

// The order's flag: 2 when the value after the cookie is there and not 0, else 1.
void settleFlag(WOrderWire& wire, WPortfolioOrder& order) {
  wire.flag = wire.flagValue != 0 ? 2 : 1;
  order = wire;
}

}  // namespace

WLayoutRead readOrderRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioOrder& order, WPortfolioForm form,
                            const char* source) {
  WOrderWire wire{};
  WLayoutRead read{};
  switch (form) {
    case WPortfolioForm::kStream: read = readLayout(parser, cursor, wire, kStreamOrder, source, kStreamOrderAt); break;
    case WPortfolioForm::kQuery: read = readLayout(parser, cursor, wire, kQueryOrder, source, kQueryOrderAt); break;
    case WPortfolioForm::kMass: read = readLayout(parser, cursor, wire, kMassOrder, source, kMassOrderAt); break;
  }
  if (read.ok()) settleFlag(wire, order);
  if (read.ok() && form == WPortfolioForm::kMass) order.extra12 = 2;
  return read;
}

WLayoutRead readOrderRecordType5(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioOrder& order,
                                 const char* source) {
  WOrderWire wire{};
  const WLayoutRead read = readLayout(parser, cursor, wire, kType5Order, source, kType5OrderAt);
  if (read.ok()) order = wire;  // cookie, flag and the trailing text stay 0
  return read;
}

WLayoutRead readTradeRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioTrade& trade, WPortfolioForm form,
                            const char* source) {
  if (form == WPortfolioForm::kMass) return readLayout(parser, cursor, trade, kMassTrade, source, kMassTradeAt);
  return readLayout(parser, cursor, trade, kTrade, source, kTradeAt);
}

WLayoutRead readClosePosRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WMyClosePos& closed, const char* source) {
  return readLayout(parser, cursor, closed, kClosePos, source, kClosePosAt);
}

WLayoutRead readRealPositionRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WRealPosition& position,
                                   const char* source) {
  return readLayout(parser, cursor, position, kRealPosition, source, kRealPositionAt);
}

WLayoutRead readMoneyRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioMoney& money, bool withTime,
                            const char* source) {
  if (withTime) return readLayout(parser, cursor, money, kTimedMoney, source, kTimedMoneyAt);
  return readLayout(parser, cursor, money, kMoney, source, kMoneyAt);
}

WLayoutRead readPositionRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioPosition& position,
                               bool withTime, const char* source) {
  const WLayoutRead read = withTime ? readLayout(parser, cursor, position, kTimedPosition, source, kTimedPositionAt)
                                    : readLayout(parser, cursor, position, kPosition, source, kPositionAt);
  if (!read.ok()) return read;
  position.side = 1;
  if (position.amount < 0) {
    position.amount = -position.amount;
    position.plannedAmount = -position.plannedAmount;
    position.side = 2;
  }
  return read;
}

WLayoutRead readRecord6(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioRecord6& record, const char* source) {
  WRecord6Wire wire{};
  WNibbleCursor probe = cursor;
  const int start = probe.nibbles;
  WLayoutRead read = readLayout(parser, probe, wire, kRecord6Head, source, kRecord6At);
  if (!read.ok()) return read;
  switch (wire.kind) {
    case 7: read = readLayout(parser, probe, wire, kRecord6Kind7, source, kRecord6Kind7At); break;
    case 8: read = readLayout(parser, probe, wire, kRecord6Kind8, source, kRecord6Kind8At); break;
    case 9: read = readLayout(parser, probe, wire, kRecord6Kind9, source, kRecord6Kind9At); break;
    case 11:
      read = readLayout(parser, probe, wire, kRecord6Kind11, source, kRecord6Kind11At);
      wire.b = wire.int12;
      break;
    default: break;
  }
  if (!read.ok()) return read;
  read = readLayout(parser, probe, wire, kRecord6Tail, source, kRecord6TailAt);
  if (!read.ok()) return read;
  if (wire.kind == 7 || wire.kind == 9) wire.c.asDouble = wire.cDouble;
  if (wire.kind == 8 || wire.kind == 11) wire.c.asInt = wire.cInt;
  record = wire;
  cursor = probe;
  return {start - probe.nibbles, 0};
}

WLayoutRead readRecord8(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioRecord8& record, const char* source) {
  return readLayout(parser, cursor, record, kRecord8, source, kRecord8At);
}

WLayoutRead readRecord9(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioRecord9& record, const char* source) {
  return readLayout(parser, cursor, record, kRecord9, source, kRecord9At);
}

WLayoutRead skipRecord7(WLZ77Parser& parser, WNibbleCursor& cursor, const char* source) {
  WRecord7 record{};
  return readLayout(parser, cursor, record, kRecord7, source, kRecord7At);
}

WLayoutRead readKeepAliveReply(WLZ77Parser& parser, WNibbleCursor& cursor, const char* source) {
  WKeepAliveReply reply{};
  return readLayout(parser, cursor, reply, kKeepAlive, source, kKeepAliveAt);
}

WLayoutRead readKind(WLZ77Parser& parser, WNibbleCursor& cursor, int32_t& kind, const char* source) {
  WKindField field{};
  const WLayoutRead read = readLayout(parser, cursor, field, kKind, source, kKindAt);
  if (read.ok()) kind = field.kind;
  return read;
}

WLayoutRead readEndRecord(WLZ77Parser& parser, WNibbleCursor& cursor, const char* source) {
  WKindField unused{};
  return readLayout(parser, cursor, unused, kEndRecord, source, kEndAt);
}

}  // namespace wexel
