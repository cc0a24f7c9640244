// The automation runtime the module exports with C linkage: BSTR allocation,
// variant clearing and the per-thread error-information slot.
#include <cstdlib>
#include <cstring>

#include "quarnel3/automation.h"

namespace {

// Layout: [uint32 byte length][UTF-16 text][zero unit]; the BSTR points at the text.
constexpr size_t kPrefix = sizeof(uint32_t);

uint32_t* prefixOf(BSTR text) { return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - kPrefix); }

// Holds the thread's error object; releases it when the thread ends.
struct ErrorSlot {
  IErrorInfo* info = nullptr;
  ~ErrorSlot() {
    if (info) info->Release();
  }
};

thread_local ErrorSlot errorSlot;

}  // namespace

extern "C" {

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  const size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
  if (bytes > UINT32_MAX - kPrefix - sizeof(OLECHAR)) return nullptr;
  char* block = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  const uint32_t byteLength = static_cast<uint32_t>(bytes);
  std::memcpy(block, &byteLength, kPrefix);
  BSTR result = reinterpret_cast<BSTR>(block + kPrefix);
  if (text) {
    std::memcpy(result, text, bytes);
  } else {
    std::memset(result, 0, bytes);
  }
  result[length] = 0;
  return result;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  UINT length = 0;
  while (text[length]) ++length;
  return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text) {
  if (text) std::free(prefixOf(text));
}

UINT SysStringLen(BSTR text) { return text ? *prefixOf(text) / sizeof(OLECHAR) : 0; }

void VariantInit(VARIANTARG* value) {
  if (!value) return;
  std::memset(value, 0, sizeof(VARIANT));
  value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* value) {
  if (!value) return E_INVALIDARG;
  if (!(value->vt & VT_BYREF)) {
    switch (value->vt) {
      case VT_BSTR: SysFreeString(value->bstrVal); break;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        if (value->punkVal) value->punkVal->Release();
        break;
      default: break;
    }
  }
  VariantInit(value);
  return S_OK;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
  if (info) info->AddRef();
  IErrorInfo* previous = errorSlot.info;
  errorSlot.info = info;
  if (previous) previous->Release();
  return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = errorSlot.info;
  errorSlot.info = nullptr;
  return *info ? S_OK : S_FALSE;
}

}  // extern "C"
