// Argument conversion as automation performs it for late-bound calls: any
// integer width, floating values, booleans, texts and by-reference variants
// become the type a parameter declares.
#pragma once

#include <string>

#include "quarnel3/automation.h"

namespace q3 {

// Converts `source` (dereferencing VT_BYREF) into a fresh variant of type
// `target` in `*dest`, which must be empty. DISP_E_TYPEMISMATCH when the value
// cannot become that type, DISP_E_OVERFLOW when it does not fit,
// DISP_E_BADVARTYPE for a target this layer does not handle.
HRESULT changeType(VARIANT* dest, const VARIANT& source, VARTYPE target);

// Owns one variant and clears it on destruction.
class Variant {
 public:
  Variant() { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* get() { return &value_; }
  const VARIANT& operator*() const { return value_; }
  const VARIANT* operator->() const { return &value_; }

 private:
  VARIANT value_;
};

// Owns one BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(BSTR owned) : text_(owned) {}
  explicit Bstr(const std::u16string& text) : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return text_; }
  BSTR* out() {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }
  BSTR release() {
    BSTR text = text_;
    text_ = nullptr;
    return text;
  }
  std::u16string text() const { return text_ ? std::u16string(text_, SysStringLen(text_)) : std::u16string(); }

 private:
  BSTR text_ = nullptr;
};

}  // namespace q3
