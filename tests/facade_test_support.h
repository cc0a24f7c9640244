// Helpers for the tests of the component module: the module loaded with
// dlopen and registered into a temporary registry, KxServer objects created
// from the ProgID, a recording _IKxClient sink, late-bound calls, and reading
// the facade's log file.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "quarnel3/host.h"
#include "quarnel3/quarnel3.h"

namespace facade_testing {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "quarnel3-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// One process-wide set-up: a temporary home for the profile folder, the
// registry and the user's configuration, a registry log level of 5 (so TRACE
// lines are written), and the module loaded and registered.
class ModuleEnvironment {
 public:
  static ModuleEnvironment& get() {
    static ModuleEnvironment* environment = new ModuleEnvironment();  // lives until exit, as the module does
    return *environment;
  }

  quarnel3::host::Module& module() { return *module_; }
  const quarnel3::host::Runtime& runtime() { return module_->runtime(); }
  const std::string& root() const { return rootPath_; }
  std::string profileDir() const { return rootPath_ + "/data/Pellum"; }
  std::string logFile() const { return profileDir() + "/quarnel3-cli.log"; }

 private:
  ModuleEnvironment() {
    // A parent test may choose the folder, so that it can read what a child
    // process left there.
    if (const char* chosen = std::getenv("FACADE_TEST_ROOT")) {
      rootPath_ = chosen;
    } else {
      own_ = std::make_unique<TempDir>();
      rootPath_ = own_->path();
    }
    ::setenv("XDG_DATA_HOME", (rootPath_ + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (rootPath_ + "/config").c_str(), 1);
    ::setenv("QUARNEL3_REGISTRY_ROOT", (rootPath_ + "/registry").c_str(), 1);
    // The data home is left to the component to create, as on a new account.
    fs::create_directories(rootPath_ + "/registry");
    std::ofstream(rootPath_ + "/registry/HKEY_LOCAL_MACHINE.reg")
        << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pellum\\quarnel]\n"
           "\"logLevel\"=dword:00000005\n";
    std::string error;
    module_ = quarnel3::host::Module::load(QUARNEL3_MODULE_PATH, &error);
    if (!module_) {
      ADD_FAILURE() << "module did not load: " << error;
      std::abort();
    }
    if (module_->registerServer() != S_OK) ADD_FAILURE() << "registration failed";
    // The environment lives until exit; its folder goes then.
    std::atexit([] { get().own_.reset(); });
  }

  std::unique_ptr<TempDir> own_;
  std::string rootPath_;
  std::shared_ptr<quarnel3::host::Module> module_;
};

// UTF-16 text in a BSTR allocated by the module.
class Text {
 public:
  explicit Text(const std::u16string& text)
      : text_(ModuleEnvironment::get().runtime().SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  explicit Text(BSTR owned) : text_(owned) {}
  ~Text() { ModuleEnvironment::get().runtime().SysFreeString(text_); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  BSTR get() const { return text_; }
  std::u16string str() const {
    return text_ ? std::u16string(text_, ModuleEnvironment::get().runtime().SysStringLen(text_)) : u"";
  }

 private:
  BSTR text_;
};

inline std::u16string u16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A VARIANT argument or result, cleared by the module's runtime.
struct Arg {
  VARIANT v;
  Arg() { ModuleEnvironment::get().runtime().VariantInit(&v); }
  ~Arg() { ModuleEnvironment::get().runtime().VariantClear(&v); }
  Arg(const Arg&) = delete;
  Arg& operator=(const Arg&) = delete;

  static Arg* text(const std::u16string& value) {
    Arg* a = new Arg();
    a->v.vt = VT_BSTR;
    a->v.bstrVal = ModuleEnvironment::get().runtime().SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return a;
  }
  static Arg* nullText() {
    Arg* a = new Arg();
    a->v.vt = VT_BSTR;
    return a;
  }
  static Arg* i4(int32_t value) {
    Arg* a = new Arg();
    a->v.vt = VT_I4;
    a->v.lVal = value;
    return a;
  }
  static Arg* raw(const VARIANT& value) {
    Arg* a = new Arg();
    a->v = value;
    return a;
  }
};

using Args = std::vector<std::unique_ptr<Arg>>;

template <typename... A>
Args args(A*... values) {
  Args list;
  (list.emplace_back(values), ...);
  return list;
}

// DISPID of a member name through GetIDsOfNames.
inline DISPID dispidOf(IDispatch* object, const std::u16string& name, HRESULT* hr = nullptr) {
  std::u16string copy = name;
  LPOLESTR names[] = {copy.data()};
  DISPID id = 0;
  HRESULT result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hr) *hr = result;
  return id;
}

// A late-bound call with the arguments in declaration order.
inline HRESULT invoke(IDispatch* object, DISPID id, const Args& arguments, VARIANT* result = nullptr,
                      UINT* argError = nullptr) {
  std::vector<VARIANT> reversed;
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) reversed.push_back((*it)->v);
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, argError);
  // Out arguments written through references stay with the caller's Args.
  return hr;
}

inline HRESULT call(IDispatch* object, const std::string& name, const Args& arguments = {}, VARIANT* result = nullptr) {
  return invoke(object, dispidOf(object, u16(name)), arguments, result);
}

// The thread's error information: description and source, taken from the module.
struct ErrorInfo {
  bool present = false;
  std::u16string description;
  std::u16string source;
  GUID guid{};
};

inline ErrorInfo takeErrorInfo() {
  ErrorInfo info;
  IErrorInfo* error = nullptr;
  if (ModuleEnvironment::get().runtime().GetErrorInfo(0, &error) != S_OK || !error) return info;
  info.present = true;
  BSTR text = nullptr;
  error->GetDescription(&text);
  info.description = Text(text).str();
  error->GetSource(&text);
  info.source = Text(text).str();
  error->GetGUID(&info.guid);
  error->Release();
  return info;
}

// One received argument, read as the sink got it.
struct Value {
  VARTYPE vt = VT_EMPTY;
  double number = 0;
  int64_t integer = 0;
  std::u16string text;
  bool nullText = false;
};

struct Event {
  DISPID id = 0;
  std::vector<Value> args;  // declaration order
};

// A recording _IKxClient sink over the host helper's. A handler, when set, runs
// inside Invoke on the firing thread and gives the HRESULT the sink answers.
// The component may hold the sink past the recorder; what it fires then is
// dropped.
class TestSink {
 public:
  using Handler = std::function<HRESULT(const Event&)>;

  static std::shared_ptr<TestSink> create() {
    std::shared_ptr<TestSink> sink(new TestSink());
    sink->dispatch_ = quarnel3::host::newEventSink([weak = std::weak_ptr<TestSink>(sink)](const auto& call) {
      const std::shared_ptr<TestSink> self = weak.lock();
      return self ? self->record(call) : S_OK;
    });
    return sink;
  }
  ~TestSink() { dispatch_->Release(); }
  TestSink(const TestSink&) = delete;
  TestSink& operator=(const TestSink&) = delete;

  IDispatch* dispatch() const { return dispatch_; }

  void onEvent(Handler handler) {
    std::lock_guard<std::mutex> hold(mutex_);
    handler_ = std::move(handler);
  }
  std::vector<Event> events() {
    std::lock_guard<std::mutex> hold(mutex_);
    return events_;
  }
  size_t count(DISPID id) {
    std::lock_guard<std::mutex> hold(mutex_);
    size_t n = 0;
    for (const Event& e : events_) n += e.id == id;
    return n;
  }
  // Waits for `n` events of that DISPID in all. The limit only keeps a broken
  // build from hanging the suite.
  bool waitFor(DISPID id, size_t n = 1) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, std::chrono::seconds(60), [&] {
      size_t seen = 0;
      for (const Event& e : events_) seen += e.id == id;
      return seen >= n;
    });
  }
  LCID lastLcid() {
    std::lock_guard<std::mutex> hold(mutex_);
    return lastLcid_;
  }
  WORD lastFlags() {
    std::lock_guard<std::mutex> hold(mutex_);
    return lastFlags_;
  }

 private:
  TestSink() = default;

  HRESULT record(const quarnel3::host::SinkCall& call) {
    Event event{call.id, {}};
    for (UINT i = call.params.cArgs; i-- > 0;) event.args.push_back(read(call.params.rgvarg[i]));
    Handler handler;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      lastLcid_ = call.lcid;
      lastFlags_ = call.flags;
      handler = handler_;
    }
    const HRESULT hr = handler ? handler(event) : S_OK;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      events_.push_back(event);
    }
    changed_.notify_all();
    return hr;
  }

  static Value read(const VARIANT& v) {
    Value value;
    value.vt = v.vt;
    switch (v.vt) {
      case VT_BSTR:
        value.nullText = v.bstrVal == nullptr;
        if (v.bstrVal) value.text.assign(v.bstrVal, ModuleEnvironment::get().runtime().SysStringLen(v.bstrVal));
        break;
      case VT_R8: value.number = v.dblVal; break;
      case VT_DATE: value.number = v.date; break;
      case VT_I1: value.integer = static_cast<signed char>(v.cVal); break;
      case VT_I4: value.integer = v.lVal; break;
      case VT_INT: value.integer = v.intVal; break;
      default: break;
    }
    return value;
  }

  IDispatch* dispatch_ = nullptr;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
  Handler handler_;
  LCID lastLcid_ = 0;
  WORD lastFlags_ = 0;
};

// Holds one interface reference.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* adopted) : p_(adopted) {}
  ~Ref() { reset(); }
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** out() {
    reset();
    return &p_;
  }
  void** outVoid() { return reinterpret_cast<void**>(out()); }
  T* release() { return std::exchange(p_, nullptr); }

 private:
  T* p_ = nullptr;
};

// A KxServer created from the ProgID, with a sink advised on _IKxClient.
struct Client {
  Ref<IKxServer> server;
  std::shared_ptr<TestSink> sink{TestSink::create()};
  DWORD cookie = 0;

  Client() {
    ModuleEnvironment::get();
    std::shared_ptr<quarnel3::host::Module> module;
    HRESULT hr = quarnel3::host::createObject(kKxServerProgId, IID_IKxServer, server.outVoid(), &module);
    EXPECT_EQ(hr, S_OK);
    if (server.get()) cookie = advise(sink.get());
  }

  DWORD advise(TestSink* s) {
    DWORD c = 0;
    EXPECT_EQ(quarnel3::host::adviseEvents(server.get(), s->dispatch(), &c), S_OK);
    return c;
  }
  HRESULT unadvise(DWORD c) { return quarnel3::host::unadviseEvents(server.get(), c); }

  HRESULT configure(const std::string& params) { return call(server.get(), "ConfigureClient", args(Arg::text(u16(params)))); }
  HRESULT connect(const std::string& host, int port, const std::string& login, const std::string& password) {
    return call(server.get(), "connect",
                args(Arg::text(u16(host)), Arg::i4(port), Arg::text(u16(login)), Arg::text(u16(password))));
  }
  HRESULT disconnect() { return call(server.get(), "disconnect"); }
  bool isConnected() {
    VARIANT_BOOL connected = VARIANT_FALSE;
    EXPECT_EQ(server->IsConnected(&connected), S_OK);
    return connected == VARIANT_TRUE;
  }
};

// The lines the facade's log file gained since the object was made.
class LogTail {
 public:
  LogTail() : path_(ModuleEnvironment::get().logFile()), start_(sizeOf(path_)) {}
  explicit LogTail(std::string path) : path_(std::move(path)), start_(0) {}

  std::vector<std::string> lines() const {
    std::ifstream in(path_);
    in.seekg(static_cast<std::streamoff>(start_));
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }
  size_t count(const std::string& text) const {
    size_t n = 0;
    for (const std::string& line : lines()) n += line.find(text) != std::string::npos;
    return n;
  }

 private:
  static size_t sizeOf(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : static_cast<size_t>(size);
  }
  std::string path_;
  size_t start_;
};

}  // namespace facade_testing
