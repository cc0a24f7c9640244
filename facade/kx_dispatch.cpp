#include "kx_dispatch.h"

#include <new>

namespace kx {
namespace {

char16_t folded(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// Automation names compare without regard to (ASCII) letter case.
bool sameName(const OLECHAR* name, const char* tableName) {
  if (!name) return false;
  size_t i = 0;
  for (; name[i] && tableName[i]; ++i) {
    if (folded(name[i]) != folded(static_cast<char16_t>(tableName[i]))) return false;
  }
  return name[i] == 0 && tableName[i] == 0;
}

DISPID paramId(const KxMemberInfo& member, const OLECHAR* name) {
  for (int i = 0; i < member.paramCount; ++i) {
    if (sameName(name, member.params[i].name)) return i;
  }
  return DISPID_UNKNOWN;
}

UINT passedCount(const KxMemberInfo& member) {
  UINT count = 0;
  for (int i = 0; i < member.paramCount; ++i) count += member.params[i].flow != KxParamFlow::RetVal;
  return count;
}

// Out parameters arrive by reference: to the declared type (INT also as a
// 32-bit LONG) or to a VARIANT.
bool acceptsOut(const VARIANT& target, VARTYPE type) {
  if (!(target.vt & VT_BYREF) || !target.byref) return false;
  const VARTYPE base = target.vt & VT_TYPEMASK;
  return base == VT_VARIANT || base == type || (type == VT_INT && base == VT_I4);
}

// Moves the method's result from its slot into the caller's reference.
void writeOut(VARIANT& target, VARIANT* slot) {
  if ((target.vt & VT_TYPEMASK) == VT_VARIANT) {
    VariantClear(target.pvarVal);
    *target.pvarVal = *slot;
    VariantInit(slot);
    return;
  }
  switch (slot->vt) {
    case VT_BSTR: *target.pbstrVal = slot->bstrVal; VariantInit(slot); break;
    case VT_BOOL: *target.pboolVal = slot->boolVal; break;
    default: *target.pintVal = slot->intVal; break;
  }
}

void prepareResultSlot(VARIANT* slot, VARTYPE type) {
  VariantInit(slot);
  slot->vt = type;
}

HRESULT guardedCall(const std::function<HRESULT(DispatchArgs&)>& call, DispatchArgs& args) {
  try {
    return call(args);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace

HRESULT dispatchIdsOfNames(std::span<const KxMemberInfo> members, REFIID riid, LPOLESTR* names, UINT count,
                           DISPID* ids) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!names || !ids || count == 0) return E_INVALIDARG;
  const KxMemberInfo* member = nullptr;
  for (const KxMemberInfo& candidate : members) {
    if (sameName(names[0], candidate.name)) member = &candidate;
  }
  HRESULT hr = member ? S_OK : DISP_E_UNKNOWNNAME;
  ids[0] = member ? member->dispid : DISPID_UNKNOWN;
  for (UINT i = 1; i < count; ++i) {
    ids[i] = member ? paramId(*member, names[i]) : DISPID_UNKNOWN;
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT dispatchInvoke(const KxMemberInfo* member, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                       UINT* argError, const std::function<HRESULT(DispatchArgs&)>& call) {
  if (!member) return DISP_E_MEMBERNOTFOUND;
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (!params) params = &none;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != passedCount(*member)) return DISP_E_BADPARAMCOUNT;
  if (params->cArgs != 0 && !params->rgvarg) return E_INVALIDARG;

  DispatchArgs args(static_cast<size_t>(member->paramCount));
  int retval = -1;
  for (int i = 0; i < member->paramCount; ++i) {
    const KxParamInfo& param = member->params[i];
    if (param.flow == KxParamFlow::RetVal) {
      prepareResultSlot(args.slot(i), param.type);
      retval = i;
      continue;
    }
    const UINT position = params->cArgs - 1 - static_cast<UINT>(i);
    const VARIANT& source = params->rgvarg[position];
    HRESULT hr = S_OK;
    if (param.flow == KxParamFlow::In) {
      hr = q3::changeType(args.slot(i), source, param.type);
    } else if (acceptsOut(source, param.type)) {
      prepareResultSlot(args.slot(i), param.type);
    } else {
      hr = DISP_E_TYPEMISMATCH;
    }
    if (FAILED(hr)) {
      if (argError) *argError = position;
      return hr;
    }
  }

  const HRESULT hr = guardedCall(call, args);
  if (result) VariantInit(result);
  if (FAILED(hr)) return hr;
  for (int i = 0; i < member->paramCount; ++i) {
    if (member->params[i].flow == KxParamFlow::Out) {
      writeOut(params->rgvarg[params->cArgs - 1 - static_cast<UINT>(i)], args.slot(i));
    }
  }
  if (retval >= 0 && result) {
    *result = *args.slot(retval);
    VariantInit(args.slot(retval));
  }
  return hr;
}

}  // namespace kx
