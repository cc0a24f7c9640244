#include "kx_registration.h"

#include <string>

#include "q3_guid.h"
#include "q3_registry.h"
#include "q3_shell.h"
#include "quarnel3/quarnel3.h"

namespace kx {
namespace {

using q3::registry::Editor;
using q3::registry::Hive;

// One line of a registry script; a null name creates the key alone.
struct ScriptLine {
  const char* key;
  const char* name;
  const char* value;
};

// The class's registry script. %CLSID%, %LIBID% and %MODULE% are replaced.
constexpr ScriptLine kClassScript[] = {
    {"Quarnel3.KxServer", "", "KxServer Class"},
    {"Quarnel3.KxServer\\CLSID", "", "%CLSID%"},
    {"Quarnel3.KxServer\\CurVer", "", "Quarnel3.KxServer.1"},
    {"Quarnel3.KxServer.1", "", "KxServer Class"},
    {"Quarnel3.KxServer.1\\CLSID", "", "%CLSID%"},
    {"CLSID\\%CLSID%", "", "KxServer Class"},
    {"CLSID\\%CLSID%\\ProgID", "", "Quarnel3.KxServer.1"},
    {"CLSID\\%CLSID%\\VersionIndependentProgID", "", "Quarnel3.KxServer"},
    {"CLSID\\%CLSID%\\Programmable", nullptr, nullptr},
    {"CLSID\\%CLSID%\\InprocServer32", "", "%MODULE%"},
    {"CLSID\\%CLSID%\\InprocServer32", "ThreadingModel", "Free"},
    {"CLSID\\%CLSID%\\TypeLib", "", "%LIBID%"},
    {"CLSID\\%CLSID%\\Version", "", "1.0"},
};

// Keys the script removes whole; the CLSID key itself stays.
constexpr const char* kClassRemovals[] = {"Quarnel3.KxServer", "Quarnel3.KxServer.1", "CLSID\\%CLSID%"};

// The type library's keys: the library and its three interfaces.
constexpr ScriptLine kTypeLibScript[] = {
    {"TypeLib\\%LIBID%\\1.0", "", "Quarnel3(wexel) Type Library"},
    {"TypeLib\\%LIBID%\\1.0\\FLAGS", "", "0"},
    {"TypeLib\\%LIBID%\\1.0\\HELPDIR", "", "%MODULEDIR%"},
    {"TypeLib\\%LIBID%\\1.0\\0\\win64", "", "%MODULE%"},
};

struct InterfaceEntry {
  const IID* iid;
  const char* name;
};

constexpr InterfaceEntry kInterfaces[] = {
    {&IID_IKxServer, "IKxServer"}, {&IID__IKxClient, "_IKxClient"}, {&IID_IQuarnelVersion, "IQuarnelVersion"}};

// The automation marshaler serves every interface of the library.
constexpr const char* kAutomationProxy = "{00020424-0000-0000-C000-000000000046}";

std::string replaced(std::string text, const std::string& token, const std::string& value) {
  for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + value.size())) {
    text.replace(at, token.size(), value);
  }
  return text;
}

class Script {
 public:
  explicit Script(bool perUser) : prefix_(perUser ? "Software\\Classes\\" : "") {
    const std::string module = q3::modulePath(reinterpret_cast<const void*>(&registerServer));
    module_ = module;
    moduleDir_ = module.substr(0, module.rfind('/'));
  }

  std::string expand(const char* text) const {
    std::string out = replaced(text, "%CLSID%", q3::guidToString(CLSID_KxServer));
    out = replaced(out, "%LIBID%", q3::guidToString(LIBID_Quarnel3Lib));
    out = replaced(out, "%MODULEDIR%", moduleDir_);
    return replaced(out, "%MODULE%", module_);
  }
  std::string key(const char* path) const { return prefix_ + expand(path); }

  void apply(Editor& editor, const ScriptLine& line) const {
    if (!line.name) {
      editor.createKey(key(line.key));
    } else {
      editor.setString(key(line.key), line.name, expand(line.value));
    }
  }

 private:
  std::string prefix_;
  std::string module_;
  std::string moduleDir_;
};

void registerInterfaces(Editor& editor, const Script& script) {
  for (const InterfaceEntry& entry : kInterfaces) {
    const std::string key = script.key("Interface\\") + q3::guidToString(*entry.iid);
    editor.setString(key, "", entry.name);
    editor.setString(key + "\\ProxyStubClsid32", "", kAutomationProxy);
    editor.setString(key + "\\TypeLib", "", script.expand("%LIBID%"));
    editor.setString(key + "\\TypeLib", "Version", "1.0");
  }
}

Hive classesHive(bool perUser) { return perUser ? Hive::CurrentUser : Hive::ClassesRoot; }

}  // namespace

HRESULT registerServer(bool perUser) {
  const Script script(perUser);
  const bool written = q3::registry::edit(classesHive(perUser), [&](Editor& editor) {
    for (const ScriptLine& line : kClassScript) script.apply(editor, line);
    for (const ScriptLine& line : kTypeLibScript) script.apply(editor, line);
    registerInterfaces(editor, script);
  });
  return written ? S_OK : SELFREG_E_CLASS;
}

HRESULT unregisterServer(bool perUser) {
  const Script script(perUser);
  const bool written = q3::registry::edit(classesHive(perUser), [&](Editor& editor) {
    for (const char* key : kClassRemovals) editor.removeKey(script.key(key));
    editor.removeKey(script.key("TypeLib\\%LIBID%"));
    for (const InterfaceEntry& entry : kInterfaces) {
      editor.removeKey(script.key("Interface\\") + q3::guidToString(*entry.iid));
    }
  });
  return written ? S_OK : SELFREG_E_CLASS;
}

}  // namespace kx
