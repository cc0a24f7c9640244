// KxServer's identity, life, error information and class information.
#include "kx_server.h"

#include <cstdarg>
#include <new>

#include "kx_logger.h"
#include "kx_module.h"
#include "kx_session.h"
#include "q3_codepage.h"

namespace {

constexpr OLECHAR kErrorSource[] = u"IKxServer";

// Where QueryInterface finds each interface on the object.
struct InterfaceEntry {
  const IID* iid;
  void* (*cast)(KxServer*);
};

template <typename Interface>
void* as(KxServer* server) {
  return static_cast<Interface*>(server);
}

constexpr InterfaceEntry kInterfaces[] = {
    {&IID_IDispatch, [](KxServer* s) -> void* { return static_cast<IKxServer*>(s); }},
    {&IID_IKxServer, as<IKxServer>},
    {&IID_IQuarnelVersion, as<IQuarnelVersion>},
    {&IID_ISupportErrorInfo, as<ISupportErrorInfo>},
    {&IID_IErrorInfo, as<IErrorInfo>},
    {&IID_IConnectionPointContainer, as<IConnectionPointContainer>},
    {&IID_IConnectionPoint, as<IConnectionPoint>},
    {&IID_IProvideClassInfo, as<IProvideClassInfo2>},
    {&IID_IProvideClassInfo2, as<IProvideClassInfo2>},
    {&IID_IKxRowsDone, as<IKxRowsDone>},
};

HRESULT copyText(const OLECHAR* text, size_t length, BSTR* out) {
  *out = SysAllocStringLen(text, static_cast<UINT>(length));
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

// ---- creation and life ---------------------------------------------------

// The controlling unknown is set only once creation has succeeded, so that the
// error information of a failed creation holds the object itself, never an
// aggregating object that is about to go away.
kx::ModuleLockHolder::ModuleLockHolder() { CQuarnel3Module::instance().lock(); }
kx::ModuleLockHolder::~ModuleLockHolder() { CQuarnel3Module::instance().unlock(); }

KxServer::KxServer() : inner_(*this), outer_(&inner_) {}

KxServer::~KxServer() { replaceSession(nullptr); }

HRESULT KxServer::create(IUnknown* outer, REFIID iid, void** object) {
  KxServer* server = new (std::nothrow) KxServer();
  if (!server) return E_OUTOFMEMORY;
  server->inner_.AddRef();
  HRESULT hr = server->loadDefaults();
  if (SUCCEEDED(hr)) {
    if (outer) server->outer_ = outer;
    hr = server->inner_.QueryInterface(iid, object);
  }
  server->inner_.Release();
  return hr;
}

HRESULT KxServer::loadDefaults() {
  try {
    switch (settings_.loadDefaults()) {
      case kx::DefaultsFailure::kNoProfilePath: return refuse("Failed to get profile path");
      case kx::DefaultsFailure::kNoProfileDirectory: return refuse("Failed to create directory for profile");
      case kx::DefaultsFailure::kNone: return S_OK;
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return E_FAIL;
}

HRESULT KxServer::InnerUnknown::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualGUID(iid, IID_IUnknown)) {
    *object = static_cast<IUnknown*>(this);
  } else {
    for (const InterfaceEntry& entry : kInterfaces) {
      if (IsEqualGUID(iid, *entry.iid)) *object = entry.cast(&owner_);
    }
  }
  if (!*object) return E_NOINTERFACE;
  static_cast<IUnknown*>(*object)->AddRef();
  return S_OK;
}

ULONG KxServer::InnerUnknown::AddRef() { return owner_.refs_.fetch_add(1) + 1; }

ULONG KxServer::InnerUnknown::Release() {
  const ULONG left = owner_.refs_.fetch_sub(1) - 1;
  if (left == 0) delete &owner_;
  return left;
}

HRESULT KxServer::QueryInterface(REFIID iid, void** object) { return outer_->QueryInterface(iid, object); }
ULONG KxServer::AddRef() { return outer_->AddRef(); }
ULONG KxServer::Release() { return outer_->Release(); }

bool KxServer::addRefIfAlive() {
  ULONG count = refs_.load();
  while (count != 0) {
    if (refs_.compare_exchange_weak(count, count + 1)) return true;
  }
  return false;
}

void KxServer::releaseInternal() { inner_.Release(); }

// ---- error information -----------------------------------------------------

HRESULT KxServer::refuse(const char* format, ...) {
  char message[Utils::kLogMessageSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  {
    boost::lock_guard<boost::mutex> hold(errorLock_);
    errorDescription_ = q3::fromAnsi(message);
    hasErrorDescription_ = true;
  }
  Utils::logError("%s", message);
  SetErrorInfo(0, static_cast<IErrorInfo*>(this));
  return E_FAIL;
}

HRESULT KxServer::InterfaceSupportsErrorInfo(REFIID iid) { return IsEqualGUID(iid, IID_IKxServer) ? S_OK : S_FALSE; }

HRESULT KxServer::GetGUID(GUID* guid) {
  if (!guid) return E_POINTER;
  *guid = CLSID_KxServer;
  return S_OK;
}

HRESULT KxServer::GetSource(BSTR* source) {
  if (!source) return E_POINTER;
  return copyText(kErrorSource, std::size(kErrorSource) - 1, source);
}

HRESULT KxServer::GetDescription(BSTR* description) {
  if (!description) return E_POINTER;
  boost::lock_guard<boost::mutex> hold(errorLock_);
  *description = nullptr;
  if (!hasErrorDescription_) return S_OK;
  return copyText(errorDescription_.data(), errorDescription_.size(), description);
}

HRESULT KxServer::GetHelpFile(BSTR* helpFile) {
  if (!helpFile) return E_POINTER;
  *helpFile = nullptr;
  return S_OK;
}

HRESULT KxServer::GetHelpContext(DWORD* helpContext) {
  if (!helpContext) return E_POINTER;
  *helpContext = 0;
  return S_OK;
}

// ---- connection point container and class information ---------------------

HRESULT KxServer::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT KxServer::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (!IsEqualGUID(iid, IID__IKxClient)) return CONNECT_E_NOCONNECTION;
  *point = this;
  AddRef();
  return S_OK;
}

HRESULT KxServer::GetClassInfo(ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT KxServer::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = IID__IKxClient;
  return S_OK;
}

// ---- rows-done watcher -----------------------------------------------------------

HRESULT KxServer::WatchRows(IDispatch* watcher) {
  watchRows(watcher);
  return S_OK;
}
