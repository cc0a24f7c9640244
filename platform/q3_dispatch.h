// IDispatch without type information: the component's objects and the host's
// sinks are bound late, by name or by DISPID, so neither hands out an
// ITypeInfo.
#pragma once

#include "quarnel3/automation.h"

namespace q3 {

template <typename Interface>
class WithoutTypeInfo : public Interface {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
};

}  // namespace q3
