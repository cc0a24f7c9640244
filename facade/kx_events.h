// The connection point of the outgoing interface _IKxClient: the advised
// sinks, the session-open flag, and the firing of events to every sink in
// turn on the calling thread.
#pragma once

#include <atomic>
#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <functional>
#include <initializer_list>
#include <span>
#include <vector>

#include "quarnel3/quarnel3.h"
#include "quarnel3/rows_done.h"

namespace kx {

// One event argument: a number (of whichever numeric type the event declares)
// or a narrow text in the ANSI code page, where null becomes a null BSTR.
struct EventValue {
  EventValue(double value) : number(value) {}
  EventValue(int32_t value) : number(value) {}
  EventValue(const char* value) : text(value), isText(true) {}

  double number = 0;
  const char* text = nullptr;
  bool isText = false;
};

// Connection point of _IKxClient with its sink array: KxServer's
// KxClientDispInterfaceImpl<KxServer> part.
class KxClientEvents : public IConnectionPoint {
 public:
  HRESULT GetConnectionInterface(IID* iid) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT Unadvise(DWORD cookie) override;
  HRESULT EnumConnections(IEnumConnections** connections) override;

  // Sets the session-open flag and fires Connected.
  void fireConnected();
  // Fires Disconnected only when the flag goes from 1 to 0 now.
  void fireDisconnected(const char* reason);
  // fireDisconnected in two steps, for a caller that must decide under a lock
  // but fire outside it: the flag goes from 1 to 0 (true) or was 0 already.
  bool claimDisconnected();
  // Fires the Disconnected that claimDisconnected answered true for.
  void fireClaimedDisconnected(const char* reason);
  // AddTick, with the client-side line for a sink that answers other than S_OK.
  void fireAddTick(const char* symbol, DATE datetime, double price, double volume, const char* tradeno,
                   int32_t action);
  // Any event, its values in declaration order. E_OUTOFMEMORY when a text
  // could not be copied (the firing stops there).
  HRESULT fire(DISPID id, std::initializer_list<EventValue> values);

  // The rows-done watcher (IKxRowsDone): replaced by `watcher`, null for none.
  void watchRows(IDispatch* watcher);
  // Tells the watcher that an answer's row events, `rows` of them, have been
  // fired; row events are those of `rowEvent`.
  void fireRowsDone(DISPID rowEvent, int32_t rows);

  // Makes room for one Disconnected.
  void openSession() { sessionOpen_.store(1); }
  bool sessionOpen() const { return sessionOpen_.load() != 0; }

 protected:
  KxClientEvents() = default;
  ~KxClientEvents();
  virtual IConnectionPointContainer* container() = 0;

 private:
  // Extra log lines of the events that have them.
  struct Rules {
    const char* failureLine = nullptr;  // before the COM line of a failing sink
    const char* noListenersLine = nullptr;
  };

  HRESULT fireToSinks(DISPID id, std::span<const EventValue> values, const Rules& rules,
                      const std::function<void(HRESULT)>& onSinkResult = nullptr);
  // The sink of that entry with a reference added, or null.
  IDispatch* takeSink(size_t index);
  bool hasSinks();

  // The sink array and the rows-done watcher; never held while an event is fired.
  boost::mutex objectLock_;
  std::vector<IDispatch*> sinks_;
  IDispatch* rowsWatcher_ = nullptr;
  std::atomic<int32_t> sessionOpen_{0};
};

}  // namespace kx
