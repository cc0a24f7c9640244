// IKxRowsDone: an optional interface of KxServer beside the type library, for
// hosts that must know where the answer to a query ends. A query's rows come
// as row events numbered 0 to nrows - 1, and an answer without rows fires no
// row event at all, so a host that waits for the last row cannot tell an
// empty answer from a late one. A watcher given here is told about every
// answer once its row events have been fired, on the same thread: an Invoke
// with DISPID_RowsDone and two VT_I4 arguments, the DISPID of the answer's row
// event (AddBar, AddTickHistory, SetMyOrder, SetMyTrade, SetMyClosePos) and
// its number of rows, 0 for an empty answer. The sinks advised on _IKxClient
// see nothing of it.
#pragma once

#include "quarnel3/quarnel3.h"

// {FC2FFD99-302C-49A3-8AB0-B247BE8F3929}
inline constexpr IID IID_IKxRowsDone = {0xFC2FFD99, 0x302C, 0x49A3, {0x8A, 0xB0, 0xB2, 0x47, 0xBE, 0x8F, 0x39, 0x29}};

// Outside the DISPIDs of _IKxClient, so that a host may hand its own event
// sink as the watcher and still tell the notice from every event.
inline constexpr DISPID DISPID_RowsDone = 1000;

struct IKxRowsDone : IUnknown {
  // Replaces the watcher (the object holds a reference to it); null stops the notices.
  virtual HRESULT WatchRows(IDispatch* watcher) = 0;
};
