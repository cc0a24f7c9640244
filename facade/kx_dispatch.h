// Late binding for the dual interfaces: GetIDsOfNames by the type library's
// names (case-insensitive) and Invoke in dispatch order, converting each
// argument to its declared type. Each interface supplies its member table
// (quarnel3.h) and one invoker per member that makes the vtable call.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "q3_dispatch.h"
#include "q3_variant.h"
#include "quarnel3/quarnel3.h"

namespace kx {

// The converted arguments of one call, by parameter position.
class DispatchArgs {
 public:
  explicit DispatchArgs(size_t count) : slots_(count) {}

  BSTR bstr(size_t i) { return slots_[i]->bstrVal; }
  LONG i4(size_t i) { return slots_[i]->lVal; }
  INT integer(size_t i) { return slots_[i]->intVal; }
  USHORT ui2(size_t i) { return slots_[i]->uiVal; }
  DOUBLE r8(size_t i) { return slots_[i]->dblVal; }
  DATE date(size_t i) { return slots_[i]->date; }
  // Out and return-value parameters: where the method writes its result.
  BSTR* bstrOut(size_t i) { return &slots_[i].get()->bstrVal; }
  INT* intOut(size_t i) { return &slots_[i].get()->intVal; }
  VARIANT_BOOL* boolOut(size_t i) { return &slots_[i].get()->boolVal; }

  VARIANT* slot(size_t i) { return slots_[i].get(); }

 private:
  std::vector<q3::Variant> slots_;
};

template <typename Interface>
using Invoker = HRESULT (*)(Interface& object, DispatchArgs& args);

template <typename Interface>
struct DispatchEntry {
  DISPID id;
  Invoker<Interface> invoke;
};

// The member and invoker tables of one interface (kx_dispatch_tables.cpp).
template <typename Interface>
struct DispatchTable {
  static std::span<const KxMemberInfo> members();
  static std::span<const DispatchEntry<Interface>> entries();
};

template <>
std::span<const KxMemberInfo> DispatchTable<IKxServer>::members();
template <>
std::span<const DispatchEntry<IKxServer>> DispatchTable<IKxServer>::entries();
template <>
std::span<const KxMemberInfo> DispatchTable<IQuarnelVersion>::members();
template <>
std::span<const DispatchEntry<IQuarnelVersion>> DispatchTable<IQuarnelVersion>::entries();

HRESULT dispatchIdsOfNames(std::span<const KxMemberInfo> members, REFIID riid, LPOLESTR* names, UINT count,
                           DISPID* ids);

// Checks and converts the arguments, runs `call` and writes back out and
// return values. Never throws.
HRESULT dispatchInvoke(const KxMemberInfo* member, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                       UINT* argError, const std::function<HRESULT(DispatchArgs&)>& call);

// IDispatch of one dual interface, implemented from its tables.
template <typename Interface>
class DualDispatch : public q3::WithoutTypeInfo<Interface> {
 public:
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return dispatchIdsOfNames(DispatchTable<Interface>::members(), riid, names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 UINT* argError) override {
    for (const DispatchEntry<Interface>& entry : DispatchTable<Interface>::entries()) {
      if (entry.id != id) continue;
      const KxMemberInfo* member = findMember(id);
      return dispatchInvoke(member, riid, flags, params, result, argError,
                            [&](DispatchArgs& args) { return entry.invoke(*this, args); });
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  static const KxMemberInfo* findMember(DISPID id) {
    for (const KxMemberInfo& member : DispatchTable<Interface>::members()) {
      if (member.dispid == id) return &member;
    }
    return nullptr;
  }
};

}  // namespace kx
