// Module object, class factory and the module's C exports.
#include "kx_module.h"

#include <cctype>

#include "kx_registration.h"
#include "kx_server.h"

namespace {

class KxServerFactory : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  // The factory lives as long as the module; only LockServer keeps it loaded.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && !IsEqualGUID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return KxServer::create(outer, iid, object);
  }
  HRESULT LockServer(BOOL lock) override {
    if (lock) {
      CQuarnel3Module::instance().lock();
    } else {
      CQuarnel3Module::instance().unlock();
    }
    return S_OK;
  }
};

bool isUserCommand(const OLECHAR* commandLine) {
  static constexpr char kUser[] = "user";
  if (!commandLine) return false;
  for (size_t i = 0; i < sizeof kUser - 1; ++i) {
    const OLECHAR c = commandLine[i];
    if (c > 0x7F || std::tolower(static_cast<int>(c)) != kUser[i]) return false;
  }
  return commandLine[sizeof kUser - 1] == 0;
}

}  // namespace

CQuarnel3Module& CQuarnel3Module::instance() {
  static CQuarnel3Module module;
  return module;
}

IClassFactory& CQuarnel3Module::classFactory() {
  static KxServerFactory factory;
  return factory;
}

#define Q3_EXPORT extern "C" __attribute__((visibility("default")))

Q3_EXPORT HRESULT DllCanUnloadNow() { return CQuarnel3Module::instance().lockCount() == 0 ? S_OK : S_FALSE; }

Q3_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualGUID(clsid, CLSID_KxServer)) return CLASS_E_CLASSNOTAVAILABLE;
  return CQuarnel3Module::instance().classFactory().QueryInterface(iid, object);
}

Q3_EXPORT HRESULT DllRegisterServer() { return kx::registerServer(CQuarnel3Module::instance().perUser()); }

Q3_EXPORT HRESULT DllUnregisterServer() { return kx::unregisterServer(CQuarnel3Module::instance().perUser()); }

Q3_EXPORT HRESULT DllInstall(BOOL install, const OLECHAR* commandLine) {
  if (isUserCommand(commandLine)) CQuarnel3Module::instance().setPerUser(true);
  if (!install) return DllUnregisterServer();
  const HRESULT hr = DllRegisterServer();
  if (FAILED(hr)) DllUnregisterServer();
  return hr;
}
