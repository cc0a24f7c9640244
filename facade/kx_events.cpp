#include "kx_events.h"

#include "kx_logger.h"
#include "q3_codepage.h"
#include "q3_hresult.h"

namespace kx {
namespace {

// Builds the argument array in dispatch order (last argument at index 0).
class EventArguments {
 public:
  ~EventArguments() {
    for (VARIANT& v : values_) VariantClear(&v);
  }

  HRESULT build(const KxMemberInfo& event, std::span<const EventValue> values) {
    values_.assign(values.size(), VARIANT{});
    for (size_t i = 0; i < values.size(); ++i) {
      VARIANT& v = values_[values.size() - 1 - i];
      VariantInit(&v);
      if (!put(&v, event.params[i].type, values[i])) return E_OUTOFMEMORY;
    }
    return S_OK;
  }

  DISPPARAMS params() { return {values_.data(), nullptr, static_cast<UINT>(values_.size()), 0}; }

 private:
  static bool put(VARIANT* v, VARTYPE type, const EventValue& value) {
    v->vt = type;
    switch (type) {
      case VT_BSTR:
        v->bstrVal = q3::ansiToBstr(value.text);
        return v->bstrVal || !value.text;
      case VT_I1: v->cVal = static_cast<CHAR>(static_cast<int32_t>(value.number)); return true;
      case VT_I4: v->lVal = static_cast<LONG>(value.number); return true;
      case VT_INT: v->intVal = static_cast<INT>(value.number); return true;
      case VT_DATE: v->date = value.number; return true;
      default: v->dblVal = value.number; return true;
    }
  }

  std::vector<VARIANT> values_;
};

void logSinkFailure(HRESULT hr, const char* failureLine) {
  if (failureLine) Utils::logError("%s", failureLine);
  // The sink leaves no error information here, so description and source stay empty.
  Utils::logError("COM: %s, %s, source %s", "", q3::hresultMessage(hr).c_str(), "");
}

}  // namespace

KxClientEvents::~KxClientEvents() {
  for (IDispatch* sink : sinks_) {
    if (sink) sink->Release();
  }
  if (rowsWatcher_) rowsWatcher_->Release();
}

HRESULT KxClientEvents::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = IID__IKxClient;
  return S_OK;
}

HRESULT KxClientEvents::GetConnectionPointContainer(IConnectionPointContainer** result) {
  if (!result) return E_POINTER;
  *result = container();
  (*result)->AddRef();
  return S_OK;
}

HRESULT KxClientEvents::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  IDispatch* dispatch = nullptr;
  if (FAILED(sink->QueryInterface(IID__IKxClient, reinterpret_cast<void**>(&dispatch))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  boost::lock_guard<boost::mutex> hold(objectLock_);
  size_t index = 0;
  while (index < sinks_.size() && sinks_[index]) ++index;
  if (index == sinks_.size()) sinks_.push_back(nullptr);
  sinks_[index] = dispatch;
  *cookie = static_cast<DWORD>(index + 1);
  return S_OK;
}

HRESULT KxClientEvents::Unadvise(DWORD cookie) {
  IDispatch* sink = nullptr;
  {
    boost::lock_guard<boost::mutex> hold(objectLock_);
    if (cookie == 0 || cookie > sinks_.size() || !sinks_[cookie - 1]) return CONNECT_E_NOCONNECTION;
    std::swap(sink, sinks_[cookie - 1]);
  }
  sink->Release();  // outside the lock: the sink may call back
  return S_OK;
}

HRESULT KxClientEvents::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

IDispatch* KxClientEvents::takeSink(size_t index) {
  boost::lock_guard<boost::mutex> hold(objectLock_);
  IDispatch* sink = index < sinks_.size() ? sinks_[index] : nullptr;
  if (sink) sink->AddRef();
  return sink;
}

bool KxClientEvents::hasSinks() {
  boost::lock_guard<boost::mutex> hold(objectLock_);
  for (IDispatch* sink : sinks_) {
    if (sink) return true;
  }
  return false;
}

HRESULT KxClientEvents::fireToSinks(DISPID id, std::span<const EventValue> values, const Rules& rules,
                                    const std::function<void(HRESULT)>& onSinkResult) {
  const KxMemberInfo* event = kxFindMember(kKxClientEvents, id);
  if (!event || static_cast<size_t>(event->paramCount) != values.size()) return E_INVALIDARG;
  size_t count = 0;
  {
    boost::lock_guard<boost::mutex> hold(objectLock_);
    count = sinks_.size();  // sinks advised during the firing are not called
  }
  if (rules.noListenersLine && !hasSinks()) Utils::logError("%s", rules.noListenersLine);
  for (size_t i = 0; i < count; ++i) {
    IDispatch* sink = takeSink(i);
    if (!sink) continue;
    EventArguments arguments;
    if (FAILED(arguments.build(*event, values))) {
      sink->Release();
      return E_OUTOFMEMORY;
    }
    DISPPARAMS params = arguments.params();
    const HRESULT hr = sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                    nullptr, nullptr);
    if (FAILED(hr)) logSinkFailure(hr, rules.failureLine);
    if (onSinkResult) onSinkResult(hr);
    sink->Release();
  }
  return S_OK;
}

HRESULT KxClientEvents::fire(DISPID id, std::initializer_list<EventValue> values) {
  return fireToSinks(id, values, Rules{});
}

void KxClientEvents::fireAddTick(const char* symbol, DATE datetime, double price, double volume,
                                 const char* tradeno, int32_t action) {
  const EventValue values[] = {symbol, datetime, price, volume, tradeno, action};
  fireToSinks(DISPID_AddTick, values, Rules{}, [&](HRESULT hr) {
    if (hr == S_OK) return;
    Utils::logError("clientside code failed to process trade: [%s, %s , %f, %f]", symbol ? symbol : "",
                    tradeno ? tradeno : "", price, volume);
  });
}

void KxClientEvents::watchRows(IDispatch* watcher) {
  if (watcher) watcher->AddRef();
  IDispatch* old = nullptr;
  {
    boost::lock_guard<boost::mutex> hold(objectLock_);
    old = std::exchange(rowsWatcher_, watcher);
  }
  if (old) old->Release();  // outside the lock: the watcher may call back
}

void KxClientEvents::fireRowsDone(DISPID rowEvent, int32_t rows) {
  IDispatch* watcher = nullptr;
  {
    boost::lock_guard<boost::mutex> hold(objectLock_);
    watcher = rowsWatcher_;
    if (watcher) watcher->AddRef();
  }
  if (!watcher) return;
  // Dispatch order: the last argument first.
  VARIANT values[2];
  for (VARIANT& v : values) {
    VariantInit(&v);
    v.vt = VT_I4;
  }
  values[0].lVal = rows;
  values[1].lVal = rowEvent;
  DISPPARAMS params{values, nullptr, 2, 0};
  watcher->Invoke(DISPID_RowsDone, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                  nullptr);
  watcher->Release();
}

void KxClientEvents::fireConnected() {
  sessionOpen_.exchange(1);
  fireToSinks(DISPID_Connected, {}, Rules{"Error while firing Connected event ", "No listeners for connect event"});
}

void KxClientEvents::fireDisconnected(const char* reason) {
  if (claimDisconnected()) fireClaimedDisconnected(reason);
}

bool KxClientEvents::claimDisconnected() {
  int32_t open = 1;
  return sessionOpen_.compare_exchange_strong(open, 0);
}

void KxClientEvents::fireClaimedDisconnected(const char* reason) {
  const EventValue values[] = {reason};
  fireToSinks(DISPID_Disconnected, values,
              Rules{"Error while firing Disconnected event ", "No listeners for disconnect event"});
}

}  // namespace kx
