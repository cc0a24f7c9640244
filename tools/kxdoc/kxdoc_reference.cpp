#include "kxdoc_reference.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <sstream>

#include "kxdoc_purposes.h"
#include "quarnel3/quarnel3.h"

namespace kxdoc {
namespace {

struct TypeName {
  VARTYPE type;
  const char* cpp;
  const char* variant;
};

constexpr TypeName kTypeNames[] = {
    {VT_BSTR, "BSTR", "VT_BSTR"}, {VT_I4, "LONG", "VT_I4"},   {VT_INT, "INT", "VT_INT"},
    {VT_R8, "DOUBLE", "VT_R8"},   {VT_DATE, "DATE", "VT_DATE"}, {VT_BOOL, "VARIANT_BOOL", "VT_BOOL"},
    {VT_UI2, "USHORT", "VT_UI2"}, {VT_I1, "CHAR", "VT_I1"},
};

struct FlowName {
  KxParamFlow flow;
  const char* attribute;
  const char* direction;
};

constexpr FlowName kFlowNames[] = {
    {KxParamFlow::In, "[in]", "in"},
    {KxParamFlow::Out, "[out]", "out"},
    {KxParamFlow::RetVal, "[out, retval]", "return value"},
};

struct Interface {
  const char* name;
  const char* heading;
  std::span<const KxMemberInfo> members;
  bool events;
};

const Interface kInterfaces[] = {
    {"IKxServer", "Methods of IKxServer (\"Kexora server connection\")", kKxServerMethods, false},
    {"IQuarnelVersion", "Methods of IQuarnelVersion (\"Quarnel3 version interface\")", kQuarnelVersionMethods, false},
    {"_IKxClient", "Events of _IKxClient (\"Kexora client sink\")", kKxClientEvents, true},
};

const TypeName& typeName(VARTYPE type) {
  static const TypeName unknown{0, "?", "?"};
  for (const TypeName& entry : kTypeNames) {
    if (entry.type == type) return entry;
  }
  return unknown;
}

const FlowName& flowName(KxParamFlow flow) {
  for (const FlowName& entry : kFlowNames) {
    if (entry.flow == flow) return entry;
  }
  return kFlowNames[0];
}

const char* purposeOf(const char* member) {
  for (const Purpose& p : purposes()) {
    if (std::strcmp(p.member, member) == 0) return p.text;
  }
  return nullptr;
}

const char* enumerationOf(const char* member, const char* param) {
  for (const EnumeratedParam& e : enumeratedParams()) {
    if (std::strcmp(e.member, member) == 0 && std::strcmp(e.param, param) == 0) return e.enumeration;
  }
  return nullptr;
}

// The declared type: the enumeration where the parameter takes one.
std::string declaredType(const KxMemberInfo& member, const KxParamInfo& param) {
  const char* enumeration = enumerationOf(member.name, param.name);
  std::string type = enumeration ? enumeration : typeName(param.type).cpp;
  return param.flow == KxParamFlow::In ? type : type + "*";
}

std::string signature(const KxMemberInfo& member, bool event) {
  std::string text = std::string(event ? "void " : "HRESULT ") + member.name + "(";
  for (int i = 0; i < member.paramCount; ++i) {
    const KxParamInfo& param = member.params[i];
    if (i) text += ", ";
    if (!event) text += std::string(flowName(param.flow).attribute) + " ";
    text += declaredType(member, param) + " " + param.name;
  }
  return text + ")";
}

void writeParams(std::ostream& out, const KxMemberInfo& member) {
  if (member.paramCount == 0) return;
  out << "| Parameter | Type | Variant | Direction |\n|---|---|---|---|\n";
  for (int i = 0; i < member.paramCount; ++i) {
    const KxParamInfo& param = member.params[i];
    out << "| `" << param.name << "` | `" << declaredType(member, param) << "` | " << typeName(param.type).variant
        << " | " << flowName(param.flow).direction << " |\n";
  }
  out << "\n";
}

void writeInterface(std::ostream& out, const Interface& interface) {
  out << "## " << interface.heading << "\n\n| " << (interface.events ? "Event" : "Method")
      << " | DISPID | Purpose |\n|---|---|---|\n";
  for (const KxMemberInfo& member : interface.members) {
    out << "| `" << member.name << "` | " << member.dispid << " | " << purposeOf(member.name) << " |\n";
  }
  out << "\n";
  for (const KxMemberInfo& member : interface.members) {
    out << "### " << member.name << "\n\n```cpp\n" << signature(member, interface.events) << "\n```\n\n"
        << purposeOf(member.name) << "\n\n";
    writeParams(out, member);
  }
}

void writeEnumerations(std::ostream& out, const std::vector<Enumeration>& enumerations) {
  out << "## Enumerations\n\nPassed and fired as their numbers (`VT_I4`; `portfolioStatus` of `AddPortfolio` as "
         "`VT_I1`).\n\n";
  for (const Enumeration& enumeration : enumerations) {
    out << "### " << enumeration.name << "\n\n| Name | Value |\n|---|---|\n";
    for (const Enumerator& value : enumeration.values) out << "| `" << value.name << "` | " << value.value << " |\n";
    out << "\n";
  }
}

bool fail(std::string* error, const std::string& reason) {
  *error = reason;
  return false;
}

bool isMember(const char* name) {
  for (const Interface& interface : kInterfaces) {
    for (const KxMemberInfo& member : interface.members) {
      if (std::strcmp(member.name, name) == 0) return true;
    }
  }
  return false;
}

bool checkTables(const std::vector<Enumeration>& enumerations, std::string* error) {
  for (const Interface& interface : kInterfaces) {
    for (const KxMemberInfo& member : interface.members) {
      if (!purposeOf(member.name)) return fail(error, std::string("no purpose line for ") + member.name);
    }
  }
  for (const Purpose& p : purposes()) {
    if (!isMember(p.member)) return fail(error, std::string("a purpose line names no member: ") + p.member);
  }
  for (const EnumeratedParam& e : enumeratedParams()) {
    const bool known = std::any_of(enumerations.begin(), enumerations.end(),
                                   [&](const Enumeration& en) { return en.name == e.enumeration; });
    if (!known) return fail(error, std::string("unknown enumeration ") + e.enumeration);
  }
  return true;
}

}  // namespace

bool writeReference(const std::vector<Enumeration>& enumerations, std::string* text, std::string* error) {
  if (!checkTables(enumerations, error)) return false;
  std::ostringstream out;
  out << "# Method and event reference\n\n"
         "The automation interfaces of `KxServer` (ProgID \"" << kKxServerProgId << "\"), as the component's type "
         "library declares them. Names are matched without regard to case by `GetIDsOfNames`. Every event "
         "parameter is passed by value; kxcli and the Python package name the fields of an event exactly as its "
         "parameters here.\n\n"
         "This file is generated by `kxdoc` from the type-library tables in `include/quarnel3/quarnel3.h`: "
         "regenerate it with `cmake --build build --target kxdoc_reference`.\n\n";
  for (const Interface& interface : kInterfaces) writeInterface(out, interface);
  writeEnumerations(out, enumerations);
  *text = out.str();
  return true;
}

}  // namespace kxdoc
