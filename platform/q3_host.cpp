// The host helper: module loading, creation from a ProgID, the event sink.
#include <dlfcn.h>

#include <atomic>

#include "q3_dispatch.h"
#include "q3_guid.h"
#include "q3_registry.h"
#include "quarnel3/host.h"
#include "quarnel3/quarnel3.h"

namespace quarnel3::host {
namespace {

using q3::registry::Hive;

// The merged classes view: the user's classes first, then the machine's.
std::optional<std::string> classesString(const std::string& path, const std::string& name) {
  if (auto user = q3::registry::getString(Hive::CurrentUser, "Software\\Classes\\" + path, name)) return user;
  return q3::registry::getString(Hive::ClassesRoot, path, name);
}

template <typename F>
bool bind(void* handle, const char* name, F* slot, std::string* error) {
  *slot = reinterpret_cast<F>(::dlsym(handle, name));
  if (!*slot && error) *error = std::string("missing export ") + name;
  return *slot != nullptr;
}

}  // namespace

std::shared_ptr<Module> Module::load(const std::string& path, std::string* error) {
  std::shared_ptr<Module> module(new Module());
  module->path_ = path;
  module->handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module->handle_) {
    if (error) *error = ::dlerror();
    return nullptr;
  }
  return module->resolve(error) ? module : nullptr;
}

bool Module::resolve(std::string* error) {
  return bind(handle_, "DllCanUnloadNow", &canUnloadNow_, error) &&
         bind(handle_, "DllGetClassObject", &getClassObject_, error) &&
         bind(handle_, "DllRegisterServer", &registerServer_, error) &&
         bind(handle_, "DllUnregisterServer", &unregisterServer_, error) &&
         bind(handle_, "DllInstall", &install_, error) &&
         bind(handle_, "SysAllocString", &runtime_.SysAllocString, error) &&
         bind(handle_, "SysAllocStringLen", &runtime_.SysAllocStringLen, error) &&
         bind(handle_, "SysFreeString", &runtime_.SysFreeString, error) &&
         bind(handle_, "SysStringLen", &runtime_.SysStringLen, error) &&
         bind(handle_, "VariantInit", &runtime_.VariantInit, error) &&
         bind(handle_, "VariantClear", &runtime_.VariantClear, error) &&
         bind(handle_, "SetErrorInfo", &runtime_.SetErrorInfo, error) &&
         bind(handle_, "GetErrorInfo", &runtime_.GetErrorInfo, error);
}

// The module is unloaded only when it says nothing of it is still in use.
Module::~Module() {
  if (handle_ && (!canUnloadNow_ || canUnloadNow_() == S_OK)) ::dlclose(handle_);
}

HRESULT Module::canUnloadNow() const { return canUnloadNow_(); }
HRESULT Module::getClassObject(REFCLSID clsid, REFIID iid, void** object) const {
  return getClassObject_(clsid, iid, object);
}
HRESULT Module::registerServer() const { return registerServer_(); }
HRESULT Module::unregisterServer() const { return unregisterServer_(); }
HRESULT Module::install(BOOL install, const OLECHAR* commandLine) const { return install_(install, commandLine); }

HRESULT Module::createInstance(REFCLSID clsid, REFIID iid, void** object) const {
  IClassFactory* factory = nullptr;
  HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(nullptr, iid, object);
  factory->Release();
  return hr;
}

std::optional<CLSID> clsidFromProgId(const std::string& progId) {
  auto text = classesString(progId + "\\CLSID", "");
  return text ? q3::guidFromString(*text) : std::nullopt;
}

std::optional<std::string> inprocServerPath(REFCLSID clsid) {
  return classesString("CLSID\\" + q3::guidToString(clsid) + "\\InprocServer32", "");
}

HRESULT createObject(const std::string& progId, REFIID iid, void** object, std::shared_ptr<Module>* module) {
  if (!object || !module) return E_POINTER;
  *object = nullptr;
  auto clsid = clsidFromProgId(progId);
  auto path = clsid ? inprocServerPath(*clsid) : std::nullopt;
  if (!path) return REGDB_E_CLASSNOTREG;
  auto loaded = Module::load(*path);
  if (!loaded) return E_FAIL;
  HRESULT hr = loaded->createInstance(*clsid, iid, object);
  if (SUCCEEDED(hr)) *module = loaded;
  return hr;
}

// ---- the event sink ----------------------------------------------------------------

namespace {

class EventSink final : public q3::WithoutTypeInfo<IDispatch> {
 public:
  explicit EventSink(SinkHandler handler) : handler_(std::move(handler)) {}

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IDispatch) && !IsEqualGUID(iid, IID__IKxClient)) {
      return E_NOINTERFACE;
    }
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

  // No exception may unwind into the component that fires.
  HRESULT Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 UINT*) override {
    static const DISPPARAMS kNone{nullptr, nullptr, 0, 0};
    try {
      return handler_(SinkCall{id, params ? *params : kNone, lcid, flags});
    } catch (...) {
      return E_FAIL;
    }
  }

 private:
  ~EventSink() = default;

  std::atomic<ULONG> refs_{1};
  const SinkHandler handler_;
};

// The _IKxClient connection point of an object, with one reference.
HRESULT clientConnectionPoint(IUnknown* source, IConnectionPoint** point) {
  if (!source || !point) return E_POINTER;
  *point = nullptr;
  IConnectionPointContainer* container = nullptr;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
  if (FAILED(hr)) return hr;
  hr = container->FindConnectionPoint(IID__IKxClient, point);
  container->Release();
  return hr;
}

}  // namespace

IDispatch* newEventSink(SinkHandler handler) { return new EventSink(std::move(handler)); }

HRESULT adviseEvents(IUnknown* source, IUnknown* sink, DWORD* cookie) {
  IConnectionPoint* point = nullptr;
  HRESULT hr = clientConnectionPoint(source, &point);
  if (FAILED(hr)) return hr;
  hr = point->Advise(sink, cookie);
  point->Release();
  return hr;
}

HRESULT unadviseEvents(IUnknown* source, DWORD cookie) {
  IConnectionPoint* point = nullptr;
  HRESULT hr = clientConnectionPoint(source, &point);
  if (FAILED(hr)) return hr;
  hr = point->Unadvise(cookie);
  point->Release();
  return hr;
}

}  // namespace quarnel3::host
