// The module as an in-process server: registration into the registry hives,
// DllInstall's per-user switch, the class factory (stand-alone and
// aggregated), the unload rule, and the object's interfaces.
#include "facade_test_support.h"
#include "q3_guid.h"
#include "q3_registry.h"

namespace {

using namespace facade_testing;
using q3::registry::Hive;

const std::string kClsid = q3::guidToString(CLSID_KxServer);
const std::string kClassKey = "CLSID\\" + kClsid;

std::string moduleRealPath() { return fs::canonical(QUARNEL3_MODULE_PATH).string(); }

struct Expected {
  std::string key;
  std::string name;
  std::string value;
};

std::vector<Expected> registryScript() {
  return {
      {"Quarnel3.KxServer", "", "KxServer Class"},
      {"Quarnel3.KxServer\\CLSID", "", kClsid},
      {"Quarnel3.KxServer\\CurVer", "", "Quarnel3.KxServer.1"},
      {"Quarnel3.KxServer.1", "", "KxServer Class"},
      {"Quarnel3.KxServer.1\\CLSID", "", kClsid},
      {kClassKey, "", "KxServer Class"},
      {kClassKey + "\\ProgID", "", "Quarnel3.KxServer.1"},
      {kClassKey + "\\VersionIndependentProgID", "", "Quarnel3.KxServer"},
      {kClassKey + "\\InprocServer32", "", moduleRealPath()},
      {kClassKey + "\\InprocServer32", "ThreadingModel", "Free"},
      {kClassKey + "\\TypeLib", "", q3::guidToString(LIBID_Quarnel3Lib)},
      {kClassKey + "\\Version", "", "1.0"},
      {"TypeLib\\" + q3::guidToString(LIBID_Quarnel3Lib) + "\\1.0", "", "Quarnel3(wexel) Type Library"},
      {"Interface\\" + q3::guidToString(IID_IKxServer), "", "IKxServer"},
  };
}

void expectRegistered(Hive hive, const std::string& prefix) {
  for (const Expected& e : registryScript()) {
    EXPECT_EQ(q3::registry::getString(hive, prefix + e.key, e.name), e.value) << e.key << " " << e.name;
  }
  EXPECT_TRUE(q3::registry::keyExists(hive, prefix + kClassKey + "\\Programmable"));
}

void expectUnregistered(Hive hive, const std::string& prefix) {
  for (const Expected& e : registryScript()) EXPECT_FALSE(q3::registry::keyExists(hive, prefix + e.key)) << e.key;
  EXPECT_TRUE(q3::registry::keyExists(hive, prefix + "CLSID"));  // the CLSID key itself stays
}

TEST(Registration, RegisterWritesTheScriptAndTheTypeLibraryAndUnregisterRemovesThem) {
  auto& module = ModuleEnvironment::get().module();
  expectRegistered(Hive::ClassesRoot, "");
  std::ifstream hive(q3::registry::hiveFile(Hive::ClassesRoot));
  std::string first;
  std::getline(hive, first);
  EXPECT_EQ(first, "Windows Registry Editor Version 5.00");

  EXPECT_EQ(module.unregisterServer(), S_OK);
  expectUnregistered(Hive::ClassesRoot, "");
  EXPECT_EQ(module.registerServer(), S_OK);
  expectRegistered(Hive::ClassesRoot, "");
}

// The per-user switch stays on for the module once set, so the machine case
// comes first.
TEST(Registration, DllInstallRegistersPerUserOnlyForExactlyUser) {
  auto& module = ModuleEnvironment::get().module();
  const std::string user = "Software\\Classes\\";
  EXPECT_EQ(module.unregisterServer(), S_OK);
  EXPECT_EQ(module.install(TRUE, u"username"), S_OK);
  expectRegistered(Hive::ClassesRoot, "");
  EXPECT_FALSE(q3::registry::keyExists(Hive::CurrentUser, user + "Quarnel3.KxServer"));

  EXPECT_EQ(module.install(TRUE, u"USER"), S_OK);
  expectRegistered(Hive::CurrentUser, user);
  EXPECT_EQ(module.install(FALSE, u"user"), S_OK);
  expectUnregistered(Hive::CurrentUser, user);
  EXPECT_EQ(module.install(TRUE, nullptr), S_OK);  // still per user
  expectRegistered(Hive::CurrentUser, user);
}

TEST(Registration, TheHostHelperCreatesFromTheProgIdAndRefusesAnUnknownOne) {
  Client client;
  EXPECT_NE(client.server.get(), nullptr);
  void* object = nullptr;
  std::shared_ptr<quarnel3::host::Module> module;
  EXPECT_EQ(quarnel3::host::createObject("Quarnel3.Nothing", IID_IKxServer, &object, &module), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(quarnel3::host::clsidFromProgId("Quarnel3.KxServer.1"), CLSID_KxServer);
}

TEST(ClassFactory, TheModuleCanUnloadOnlyWithoutObjectsAndLocks) {
  auto& module = ModuleEnvironment::get().module();
  Ref<IClassFactory> factory;
  ASSERT_EQ(module.getClassObject(CLSID_KxServer, IID_IClassFactory, factory.outVoid()), S_OK);
  EXPECT_EQ(module.canUnloadNow(), S_OK);
  {
    Ref<IKxServer> server;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IKxServer, server.outVoid()), S_OK);
    EXPECT_EQ(module.canUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(module.canUnloadNow(), S_OK);
  factory->LockServer(TRUE);
  EXPECT_EQ(module.canUnloadNow(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(module.canUnloadNow(), S_OK);

  void* other = nullptr;
  EXPECT_EQ(module.getClassObject(IID_IKxServer, IID_IClassFactory, &other), CLASS_E_CLASSNOTAVAILABLE);
}

// An outer object that hands every call of its unknown to the inner one.
class Outer final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (IsEqualGUID(iid, IID_IUnknown)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return inner_->QueryInterface(iid, object);
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override { return --refs_; }
  IUnknown** inner() { return &inner_; }
  ULONG refs() const { return refs_; }
  ~Outer() {
    if (inner_) inner_->Release();
  }

 private:
  IUnknown* inner_ = nullptr;
  ULONG refs_ = 1;
};

TEST(ClassFactory, AggregationHandsTheInnerUnknownAndDelegatesToTheOuter) {
  auto& module = ModuleEnvironment::get().module();
  Ref<IClassFactory> factory;
  ASSERT_EQ(module.getClassObject(CLSID_KxServer, IID_IClassFactory, factory.outVoid()), S_OK);
  Outer outer;
  void* refused = nullptr;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IKxServer, &refused), CLASS_E_NOAGGREGATION);
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(outer.inner())), S_OK);

  IKxServer* server = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_IKxServer, reinterpret_cast<void**>(&server)), S_OK);
  EXPECT_EQ(outer.refs(), 2u);  // the inner object's interfaces count on the outer
  IUnknown* identity = nullptr;
  ASSERT_EQ(server->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();
  server->Release();
  EXPECT_EQ(outer.refs(), 1u);
}

TEST(Interfaces, QueryInterfaceAnswersTheObjectsInterfacesWithOneIdentity) {
  Client client;
  IUnknown* identity = nullptr;
  ASSERT_EQ(client.server->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  const IID* answered[] = {&IID_IDispatch,          &IID_IKxServer,       &IID_IQuarnelVersion,
                           &IID_ISupportErrorInfo,  &IID_IErrorInfo,      &IID_IConnectionPointContainer,
                           &IID_IProvideClassInfo,  &IID_IProvideClassInfo2};
  for (const IID* iid : answered) {
    Ref<IUnknown> face;
    ASSERT_EQ(client.server->QueryInterface(*iid, face.outVoid()), S_OK) << q3::guidToString(*iid);
    IUnknown* again = nullptr;
    ASSERT_EQ(face->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, identity);
    again->Release();
  }
  Ref<IUnknown> none;
  EXPECT_EQ(client.server->QueryInterface(IID_IClassFactory, none.outVoid()), E_NOINTERFACE);
  identity->Release();

  Ref<IProvideClassInfo2> info;
  ASSERT_EQ(client.server->QueryInterface(IID_IProvideClassInfo2, info.outVoid()), S_OK);
  GUID source{};
  EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  EXPECT_EQ(source, IID__IKxClient);

  Ref<IConnectionPointContainer> container;
  Ref<IConnectionPoint> point;
  ASSERT_EQ(client.server->QueryInterface(IID_IConnectionPointContainer, container.outVoid()), S_OK);
  EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, point.out()), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(container->FindConnectionPoint(IID__IKxClient, point.out()), S_OK);
  IID outgoing{};
  EXPECT_EQ(point->GetConnectionInterface(&outgoing), S_OK);
  EXPECT_EQ(outgoing, IID__IKxClient);
}

}  // namespace
