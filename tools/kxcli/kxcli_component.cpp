#include "kxcli_component.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include "kxcli_arguments.h"
#include "q3_codepage.h"
#include "q3_hresult.h"

#ifndef KXCLI_MODULE_NAME
#define KXCLI_MODULE_NAME "libquarnel3.so"
#endif
#ifndef KXCLI_LIBDIR_FROM_BINDIR
#define KXCLI_LIBDIR_FROM_BINDIR "../lib"
#endif

namespace kxcli {
namespace {

// How long release() waits for the library's threads to unwind; far beyond
// what a teardown takes, it only keeps a wedged module from hanging kxcli.
constexpr auto kUnloadLimit = std::chrono::seconds(30);

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool sameName(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (folded(a[i]) != folded(b[i])) return false;
  }
  return true;
}

struct Target {
  const KxMemberInfo* member = nullptr;
  bool version = false;  // a method of IQuarnelVersion
};

Target findMember(const std::string& name) {
  for (const KxMemberInfo& m : kKxServerMethods) {
    if (sameName(name, m.name)) return {&m, false};
  }
  for (const KxMemberInfo& m : kQuarnelVersionMethods) {
    if (sameName(name, m.name)) return {&m, true};
  }
  return {};
}

std::string utf8(BSTR text, const quarnel3::host::Runtime& runtime) {
  return q3::toUtf8(std::u16string_view(text, runtime.SysStringLen(text)));
}

Value textValue(BSTR text, const quarnel3::host::Runtime& runtime) {
  return text ? Value::text(utf8(text, runtime)) : Value::null();
}

Value readVariant(const VARIANT& v, const quarnel3::host::Runtime& runtime) {
  switch (v.vt) {
    case VT_BSTR: return textValue(v.bstrVal, runtime);
    case VT_DATE: return Value::date(v.date);
    case VT_R8: return Value::number(v.dblVal);
    case VT_R4: return Value::number(v.fltVal);
    case VT_I1: return Value::integer(static_cast<signed char>(v.cVal));
    case VT_UI1: return Value::integer(v.bVal);
    case VT_I2: return Value::integer(v.iVal);
    case VT_UI2: return Value::integer(v.uiVal);
    case VT_I4: return Value::integer(v.lVal);
    case VT_INT: return Value::integer(v.intVal);
    case VT_UI4: return Value::integer(v.ulVal);
    case VT_UINT: return Value::integer(v.uintVal);
    case VT_I8: return Value::integer(v.llVal);
    case VT_BOOL: return Value::boolean(v.boolVal != VARIANT_FALSE);
    default: return Value::null();
  }
}

// ---- the sink --------------------------------------------------------------------

// An event as its output line: the parameters named by the type library, or
// arg0, arg1... when the event or its argument count is not the declared one.
Line eventLine(const std::string& name, const KxMemberInfo* event, const DISPPARAMS& params,
               const quarnel3::host::Runtime& runtime) {
  Line line;
  const UINT count = params.cArgs;
  line.reserve(count + 1);
  line.emplace_back("event", Value::text(name));
  const bool named = event && static_cast<UINT>(event->paramCount) == count;
  for (UINT i = 0; i < count; ++i) {
    const std::string param = named ? event->params[i].name : "arg" + std::to_string(i);
    line.emplace_back(param, readVariant(params.rgvarg[count - 1 - i], runtime));
  }
  return line;
}

// ---- one late-bound call -----------------------------------------------------------

// The argument array of one call in declaration order, with the storage the
// out parameters point at, cleared with the module's runtime.
class CallArguments {
 public:
  explicit CallArguments(const quarnel3::host::Runtime& runtime) : runtime_(runtime) {}
  ~CallArguments() {
    for (VARIANT& v : values_) {
      if (!(v.vt & VT_BYREF)) runtime_.VariantClear(&v);
    }
    for (Out& out : outs_) runtime_.SysFreeString(out.text);
  }

  // Converts the words by the member's parameter types; the out parameters
  // are passed by reference. Words beyond the declared ones go as texts, and
  // the object answers for their count.
  HRESULT build(const KxMemberInfo* member, const std::vector<Word>& words, std::string* reason) {
    size_t next = 0;
    const int params = member ? member->paramCount : 0;
    outs_.reserve(static_cast<size_t>(params));
    for (int i = 0; i < params; ++i) {
      const KxParamInfo& param = member->params[i];
      if (param.flow == KxParamFlow::RetVal) continue;
      if (param.flow == KxParamFlow::Out) {
        addOut(param);
        continue;
      }
      if (next >= words.size()) break;
      const HRESULT hr = add(words[next], param.type, reason);
      if (FAILED(hr)) {
        *reason = "argument " + std::to_string(next + 1) + " (" + param.name + "): " + *reason;
        return hr;
      }
      ++next;
    }
    for (; next < words.size(); ++next) {
      const HRESULT hr = add(words[next], VT_BSTR, reason);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

  DISPPARAMS params() {
    reversed_.assign(values_.rbegin(), values_.rend());
    return {reversed_.empty() ? nullptr : reversed_.data(), nullptr, static_cast<UINT>(reversed_.size()), 0};
  }

  // The out values in declaration order.
  std::vector<Value> outValues() const {
    std::vector<Value> out;
    for (const Out& o : outs_) {
      switch (o.type) {
        case VT_BSTR: out.push_back(textValue(o.text, runtime_)); break;
        case VT_BOOL: out.push_back(Value::boolean(o.flag != VARIANT_FALSE)); break;
        default: out.push_back(Value::integer(o.number)); break;
      }
    }
    return out;
  }

 private:
  struct Out {
    VARTYPE type = VT_EMPTY;
    BSTR text = nullptr;
    INT number = 0;
    VARIANT_BOOL flag = VARIANT_FALSE;
  };

  HRESULT add(const Word& word, VARTYPE type, std::string* reason) {
    VARIANT v;
    runtime_.VariantInit(&v);
    const HRESULT hr = toArgument(word, type, runtime_, &v, reason);
    values_.push_back(v);
    return hr;
  }

  void addOut(const KxParamInfo& param) {
    outs_.push_back(Out{param.type});
    Out& out = outs_.back();  // reserved: the address holds
    VARIANT v;
    runtime_.VariantInit(&v);
    v.vt = static_cast<VARTYPE>(VT_BYREF | param.type);
    switch (param.type) {
      case VT_BSTR: v.pbstrVal = &out.text; break;
      case VT_BOOL: v.pboolVal = &out.flag; break;
      default: v.pintVal = &out.number; break;
    }
    values_.push_back(v);
  }

  const quarnel3::host::Runtime& runtime_;
  std::vector<VARIANT> values_;
  std::vector<VARIANT> reversed_;
  std::vector<Out> outs_;
};

void addResult(Line* line, std::vector<Value> values) {
  if (values.empty()) return;
  if (values.size() == 1) {
    line->emplace_back("result", std::move(values.front()));
    return;
  }
  std::vector<int64_t> numbers;
  for (const Value& v : values) numbers.push_back(v.asInteger());
  line->emplace_back("result", Value::integers(std::move(numbers)));
}

struct ErrorText {
  Value description;
  Value source;
};

// Description and source the component left in the thread's error
// information; nullopt when it left none.
std::optional<ErrorText> takeErrorInfo(const quarnel3::host::Runtime& runtime) {
  IErrorInfo* info = nullptr;
  if (runtime.GetErrorInfo(0, &info) != S_OK || !info) return std::nullopt;
  BSTR description = nullptr;
  BSTR source = nullptr;
  info->GetDescription(&description);
  info->GetSource(&source);
  ErrorText text{textValue(description, runtime), textValue(source, runtime)};
  runtime.SysFreeString(description);
  runtime.SysFreeString(source);
  info->Release();
  return text;
}

// Description and source from the thread's error information; without one,
// the system's text for the code.
void addError(Line* line, HRESULT hr, const quarnel3::host::Runtime& runtime) {
  if (auto text = takeErrorInfo(runtime)) {
    line->emplace_back("error", std::move(text->description));
    line->emplace_back("source", std::move(text->source));
    return;
  }
  line->emplace_back("error", Value::text(q3::hresultMessage(hr)));
  line->emplace_back("source", Value::null());
}

}  // namespace

Line Component::call(const std::string& method, const std::vector<Word>& words, HRESULT* result) {
  const Target target = findMember(method);
  Line line{{"call", Value::text(target.member ? target.member->name : method)}};
  auto finish = [&](HRESULT hr) {
    line.emplace_back("hresult", Value::integer(hr));
    if (result) *result = hr;
  };

  IDispatch* dispatch = server_;
  IQuarnelVersion* version = nullptr;
  if (target.version) {
    const HRESULT hr = server_->QueryInterface(IID_IQuarnelVersion, reinterpret_cast<void**>(&version));
    if (FAILED(hr)) {
      finish(hr);
      line.emplace_back("error", Value::text(q3::hresultMessage(hr)));
      line.emplace_back("source", Value::null());
      return line;
    }
    dispatch = version;
  }
  struct Releaser {
    IUnknown* p;
    ~Releaser() {
      if (p) p->Release();
    }
  } releaseVersion{version};

  std::u16string name = q3::fromUtf8(method);
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) {
    finish(hr);
    line.emplace_back("error", Value::text(q3::hresultMessage(hr)));
    line.emplace_back("source", Value::null());
    return line;
  }

  CallArguments arguments(runtime());
  std::string reason;
  hr = arguments.build(target.member, words, &reason);
  if (FAILED(hr)) {
    finish(hr);
    line.emplace_back("error", Value::text(reason));
    line.emplace_back("source", Value::text("kxcli"));
    return line;
  }

  bool hasReturn = false;
  for (int i = 0; target.member && i < target.member->paramCount; ++i) {
    hasReturn |= target.member->params[i].flow == KxParamFlow::RetVal;
  }
  VARIANT returned;
  runtime().VariantInit(&returned);
  DISPPARAMS params = arguments.params();
  runtime().SetErrorInfo(0, nullptr);  // what a failure leaves must be this call's
  UINT argError = 0;
  hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, hasReturn ? &returned : nullptr,
                        nullptr, &argError);
  finish(hr);
  if (FAILED(hr)) {
    addError(&line, hr, runtime());
  } else {
    std::vector<Value> values = arguments.outValues();
    if (hasReturn) values.push_back(readVariant(returned, runtime()));
    addResult(&line, std::move(values));
  }
  runtime().VariantClear(&returned);
  return line;
}

// ---- life --------------------------------------------------------------------------

std::vector<std::string> modulesNextToProgram() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  const std::filesystem::path folder = program.parent_path();
  return {(folder / KXCLI_MODULE_NAME).string(),
          (folder / KXCLI_LIBDIR_FROM_BINDIR / KXCLI_MODULE_NAME).lexically_normal().string()};
}

namespace {

// The component's own description first, then the code and its system text:
// "Failed to create directory for profile (HRESULT 0x80004005: Unspecified error)".
std::string failureText(HRESULT hr, const quarnel3::host::Runtime& runtime) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  const std::string status = std::string("HRESULT ") + code + ": " + q3::hresultMessage(hr);
  const auto text = takeErrorInfo(runtime);
  if (!text || text->description.kind() != Value::Kind::kText) return status;
  return text->description.asText() + " (" + status + ")";
}

std::shared_ptr<quarnel3::host::Module> loadModule(const std::string& modulePath, std::string* error) {
  if (!modulePath.empty()) return quarnel3::host::Module::load(modulePath, error);
  if (auto clsid = quarnel3::host::clsidFromProgId(kKxServerProgId)) {
    if (auto registered = quarnel3::host::inprocServerPath(*clsid)) {
      return quarnel3::host::Module::load(*registered, error);
    }
  }
  for (const std::string& candidate : modulesNextToProgram()) {
    if (::access(candidate.c_str(), F_OK) == 0) return quarnel3::host::Module::load(candidate, error);
  }
  *error = std::string(kKxServerProgId) + " is not registered and no " + KXCLI_MODULE_NAME +
           " lies next to kxcli; give --module PATH";
  return nullptr;
}

}  // namespace

std::unique_ptr<Component> Component::open(const std::string& modulePath, EventHandler onEvent,
                                           std::string* error, RowsDoneHandler onRowsDone) {
  std::unique_ptr<Component> component(new Component());
  component->module_ = loadModule(modulePath, error);
  if (!component->module_) return nullptr;
  const CLSID clsid = quarnel3::host::clsidFromProgId(kKxServerProgId).value_or(CLSID_KxServer);
  component->runtime().SetErrorInfo(0, nullptr);  // what a failure leaves must be the creation's
  HRESULT hr =
      component->module_->createInstance(clsid, IID_IKxServer, reinterpret_cast<void**>(&component->server_));
  if (FAILED(hr)) {
    *error = "KxServer was not created: " + failureText(hr, component->runtime());
    return nullptr;
  }
  const quarnel3::host::Runtime& runtime = component->runtime();
  component->sink_ = quarnel3::host::newEventSink([handler = std::move(onEvent), &runtime](const auto& call) {
    const KxMemberInfo* event = kxFindMember(kKxClientEvents, call.id);
    const std::string name = event ? event->name : "DISPID " + std::to_string(call.id);
    handler(name, eventLine(name, event, call.params, runtime));
    return S_OK;
  });
  hr = quarnel3::host::adviseEvents(component->server_, component->sink_, &component->cookie_);
  if (FAILED(hr)) {
    *error = "the sink was not advised: " + failureText(hr, component->runtime());
    return nullptr;
  }
  if (onRowsDone) component->watchRows(std::move(onRowsDone));
  return component;
}

// The notice's arguments in dispatch order: the number of rows, then the row event.
void Component::watchRows(RowsDoneHandler onRowsDone) {
  if (FAILED(server_->QueryInterface(IID_IKxRowsDone, reinterpret_cast<void**>(&rowsDone_)))) return;
  rowsWatcher_ = quarnel3::host::newEventSink([handler = std::move(onRowsDone)](const auto& call) {
    const DISPPARAMS& p = call.params;
    if (call.id != DISPID_RowsDone || p.cArgs != 2 || p.rgvarg[0].vt != VT_I4 || p.rgvarg[1].vt != VT_I4) {
      return DISP_E_MEMBERNOTFOUND;
    }
    const KxMemberInfo* event = kxFindMember(kKxClientEvents, p.rgvarg[1].lVal);
    handler(event ? event->name : "DISPID " + std::to_string(p.rgvarg[1].lVal), p.rgvarg[0].lVal);
    return S_OK;
  });
  rowsDone_->WatchRows(rowsWatcher_);
}

void Component::release() {
  if (!server_) return;
  if (rowsDone_) {
    rowsDone_->WatchRows(nullptr);
    rowsDone_->Release();
    rowsDone_ = nullptr;
  }
  quarnel3::host::unadviseEvents(server_, cookie_);
  server_->Release();
  server_ = nullptr;
  const auto limit = std::chrono::steady_clock::now() + kUnloadLimit;
  while (module_->canUnloadNow() != S_OK && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

Component::~Component() {
  release();
  if (sink_) sink_->Release();
  if (rowsWatcher_) rowsWatcher_->Release();
}

}  // namespace kxcli
