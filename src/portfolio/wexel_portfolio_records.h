// The record layouts of the portfolio stream and the portfolio queries, as
// tables, and the readers that fill one record of each kind. An order, a
// trade and a closed position have one layout each, read in a few forms: the
// stream's, the single-portfolio queries' and the several-portfolio reply's
// differ in which trailing fields are required, optional or tolerant.
#pragma once

#include "codec/wexel_lz77_parser.h"
#include "codec/wexel_record_layout.h"
#include "wexel/wexel_records.h"

namespace wexel {

// Which reply an order, a trade or a closed position comes in.
enum class WPortfolioForm {
  kStream,  // the portfolio stream: an order's cookie and flag value optional
  kQuery,   // my orders, my trades, closed positions: an order's cookie required
  kMass,    // the several-portfolio reply: an order's every field required, trades all tolerant
};

// Each reader answers the record's verdict as a layout read: the nibbles
// consumed, 0 when the data ended inside it, -1 on a wrong marker; the cursor
// has moved past the record only when it read. `source` names the parser in
// parse-error texts.
WLayoutRead readOrderRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioOrder& order, WPortfolioForm form,
                            const char* source);
// The stream's type 5 order: no cookie, flag or trailing text; extra 12 instead of extra text 12.
WLayoutRead readOrderRecordType5(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioOrder& order,
                                 const char* source);
WLayoutRead readTradeRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioTrade& trade, WPortfolioForm form,
                            const char* source);
WLayoutRead readClosePosRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WMyClosePos& closed, const char* source);
WLayoutRead readRealPositionRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WRealPosition& position,
                                   const char* source);

// Stream records: `withTime` is mode 1, whose money and positions carry a time.
WLayoutRead readMoneyRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioMoney& money, bool withTime,
                            const char* source);
// A position with the side rule applied: a negative amount is a short (side 2) of its magnitude.
WLayoutRead readPositionRecord(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioPosition& position,
                               bool withTime, const char* source);
WLayoutRead readRecord6(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioRecord6& record, const char* source);
WLayoutRead readRecord8(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioRecord8& record, const char* source);
WLayoutRead readRecord9(WLZ77Parser& parser, WNibbleCursor& cursor, WPortfolioRecord9& record, const char* source);
// Type 7: read and dropped.
WLayoutRead skipRecord7(WLZ77Parser& parser, WNibbleCursor& cursor, const char* source);
// Type 0 as this connection's keep-alive reply: a number, a time, end.
WLayoutRead readKeepAliveReply(WLZ77Parser& parser, WNibbleCursor& cursor, const char* source);

// A kind or type nibble pair (readSmall) at the start of a record.
WLayoutRead readKind(WLZ77Parser& parser, WNibbleCursor& cursor, int32_t& kind, const char* source);
// An end nibble alone.
WLayoutRead readEndRecord(WLZ77Parser& parser, WNibbleCursor& cursor, const char* source);

}  // namespace wexel
