// Host helper: loads the component module, resolves its exports, and creates
// objects from a ProgID through the registry (ProgID -> CLSID ->
// InprocServer32 -> dlopen -> DllGetClassObject), the user's classes first,
// then the machine's; and a sink for the component's events. Link
// quarnel3_platform to use it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "quarnel3/automation.h"

namespace quarnel3::host {

// The automation runtime as the module exports it. Hosts use these, not their
// own copies, so that BSTRs and the thread's error information are shared.
struct Runtime {
  BSTR (*SysAllocString)(const OLECHAR*) = nullptr;
  BSTR (*SysAllocStringLen)(const OLECHAR*, UINT) = nullptr;
  void (*SysFreeString)(BSTR) = nullptr;
  UINT (*SysStringLen)(BSTR) = nullptr;
  void (*VariantInit)(VARIANTARG*) = nullptr;
  HRESULT (*VariantClear)(VARIANTARG*) = nullptr;
  HRESULT (*SetErrorInfo)(ULONG, IErrorInfo*) = nullptr;
  HRESULT (*GetErrorInfo)(ULONG, IErrorInfo**) = nullptr;
};

class Module {
 public:
  // Null (and a reason in *error) when the file does not load or lacks an export.
  static std::shared_ptr<Module> load(const std::string& path, std::string* error = nullptr);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  const std::string& path() const { return path_; }
  const Runtime& runtime() const { return runtime_; }

  HRESULT canUnloadNow() const;
  HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** object) const;
  HRESULT registerServer() const;
  HRESULT unregisterServer() const;
  HRESULT install(BOOL install, const OLECHAR* commandLine) const;
  // Class factory, then CreateInstance (not aggregated).
  HRESULT createInstance(REFCLSID clsid, REFIID iid, void** object) const;

 private:
  Module() = default;
  bool resolve(std::string* error);

  std::string path_;
  void* handle_ = nullptr;
  Runtime runtime_;
  HRESULT (*canUnloadNow_)() = nullptr;
  HRESULT (*getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT (*registerServer_)() = nullptr;
  HRESULT (*unregisterServer_)() = nullptr;
  HRESULT (*install_)(BOOL, const OLECHAR*) = nullptr;
};

// The class of a ProgID; nullopt when it is not registered.
std::optional<CLSID> clsidFromProgId(const std::string& progId);
// The registered InprocServer32 module path of a class.
std::optional<std::string> inprocServerPath(REFCLSID clsid);

// Creates an object from its ProgID. *module receives the loaded module, which
// must outlive the object. REGDB_E_CLASSNOTREG when the ProgID or its module
// is not registered, E_FAIL when the module does not load.
HRESULT createObject(const std::string& progId, REFIID iid, void** object, std::shared_ptr<Module>* module);

// One event as the sink's Invoke received it.
struct SinkCall {
  DISPID id;
  const DISPPARAMS& params;  // last argument first; an empty list when the caller passed none
  LCID lcid;
  WORD flags;
};

// Runs on the thread that fires the event; Invoke answers what it returns.
using SinkHandler = std::function<HRESULT(const SinkCall&)>;

// A new _IKxClient sink: a reference-counted IDispatch that answers
// QueryInterface for IUnknown, IDispatch and _IKxClient and hands every Invoke
// to `handler` (a handler that throws makes Invoke answer E_FAIL). The caller
// holds the one reference it comes with.
IDispatch* newEventSink(SinkHandler handler);

// Connects `sink` to the _IKxClient connection point of `source`, the cookie
// in *cookie; and disconnects it again. The first failing step's HRESULT.
HRESULT adviseEvents(IUnknown* source, IUnknown* sink, DWORD* cookie);
HRESULT unadviseEvents(IUnknown* source, DWORD cookie);

}  // namespace quarnel3::host
