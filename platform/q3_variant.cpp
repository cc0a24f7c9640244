// Argument conversion for late-bound calls (the subset of VariantChangeType
// that the component's parameters need).
#include "q3_variant.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace q3 {
namespace {

// A source value reduced to one of four shapes.
struct Scalar {
  enum Kind { kInvalid, kEmpty, kSigned, kUnsigned, kReal, kText } kind = kInvalid;
  int64_t s = 0;
  uint64_t u = 0;
  double real = 0;
  BSTR text = nullptr;
};

Scalar signedScalar(int64_t v) { return {Scalar::kSigned, v, 0, 0, nullptr}; }
Scalar unsignedScalar(uint64_t v) { return {Scalar::kUnsigned, 0, v, 0, nullptr}; }
Scalar realScalar(double v) { return {Scalar::kReal, 0, 0, v, nullptr}; }

Scalar readByValue(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY: return {Scalar::kEmpty, 0, 0, 0, nullptr};
    case VT_I1: return signedScalar(static_cast<signed char>(v.cVal));
    case VT_I2: return signedScalar(v.iVal);
    case VT_I4: return signedScalar(v.lVal);
    case VT_INT: return signedScalar(v.intVal);
    case VT_I8: return signedScalar(v.llVal);
    case VT_BOOL: return signedScalar(v.boolVal);
    case VT_UI1: return unsignedScalar(v.bVal);
    case VT_UI2: return unsignedScalar(v.uiVal);
    case VT_UI4: return unsignedScalar(v.ulVal);
    case VT_UINT: return unsignedScalar(v.uintVal);
    case VT_UI8: return unsignedScalar(v.ullVal);
    case VT_R4: return realScalar(v.fltVal);
    case VT_R8: return realScalar(v.dblVal);
    case VT_DATE: return realScalar(v.date);
    case VT_BSTR: return {Scalar::kText, 0, 0, 0, v.bstrVal};
    default: return {};
  }
}

// Copies the pointed-to value into a by-value variant of the same base type.
bool dereference(const VARIANT& source, VARIANT* plain) {
  if (!source.byref) return false;
  const VARTYPE base = source.vt & VT_TYPEMASK;
  VariantInit(plain);
  plain->vt = base;
  switch (base) {
    case VT_I1: case VT_UI1: std::memcpy(&plain->llVal, source.byref, 1); return true;
    case VT_I2: case VT_UI2: case VT_BOOL: std::memcpy(&plain->llVal, source.byref, 2); return true;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: std::memcpy(&plain->llVal, source.byref, 4); return true;
    case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: case VT_BSTR: std::memcpy(&plain->llVal, source.byref, 8); return true;
    default: return false;
  }
}

Scalar readScalar(const VARIANT& source, int depth = 0) {
  if (!(source.vt & VT_BYREF)) return readByValue(source);
  if (depth > 0) return {};
  if (source.vt == (VT_BYREF | VT_VARIANT)) return source.pvarVal ? readScalar(*source.pvarVal, depth + 1) : Scalar{};
  VARIANT plain;
  if (!dereference(source, &plain)) return {};
  return readByValue(plain);  // a BSTR stays owned by the pointed-to slot
}

std::string asciiOf(BSTR text) {
  std::string out;
  for (UINT i = 0, n = SysStringLen(text); i < n; ++i) {
    if (text[i] > 0x7F) return {};
    out += static_cast<char>(text[i]);
  }
  return out;
}

// Decimal text to a number; the whole text (blanks around it aside) must be used.
bool parseNumber(BSTR text, Scalar* out) {
  std::string ascii = asciiOf(text);
  const char* begin = ascii.c_str();
  char* end = nullptr;
  errno = 0;
  long long whole = std::strtoll(begin, &end, 10);
  while (end && *end == ' ') ++end;
  if (end != begin && *end == 0 && errno == 0) {
    *out = signedScalar(whole);
    return true;
  }
  double real = std::strtod(begin, &end);
  while (end && *end == ' ') ++end;
  if (end == begin || *end != 0) return false;
  *out = realScalar(real);
  return true;
}

struct IntegerTarget {
  VARTYPE vt;
  int64_t min;
  uint64_t max;
  int bytes;
};

constexpr IntegerTarget kIntegerTargets[] = {
    {VT_I1, INT8_MIN, INT8_MAX, 1},    {VT_UI1, 0, UINT8_MAX, 1},   {VT_I2, INT16_MIN, INT16_MAX, 2},
    {VT_UI2, 0, UINT16_MAX, 2},        {VT_I4, INT32_MIN, INT32_MAX, 4}, {VT_INT, INT32_MIN, INT32_MAX, 4},
    {VT_UI4, 0, UINT32_MAX, 4},        {VT_UINT, 0, UINT32_MAX, 4}, {VT_I8, INT64_MIN, INT64_MAX, 8},
    {VT_UI8, 0, UINT64_MAX, 8}};

const IntegerTarget* integerTarget(VARTYPE vt) {
  for (const IntegerTarget& t : kIntegerTargets) {
    if (t.vt == vt) return &t;
  }
  return nullptr;
}

// Rounds a real half to even, as automation does, into the signed or unsigned shape.
bool roundReal(double real, Scalar* out) {
  if (!std::isfinite(real)) return false;
  const double r = std::nearbyint(real);
  if (r >= -9223372036854775808.0 && r < 9223372036854775808.0) {
    *out = signedScalar(static_cast<int64_t>(r));
    return true;
  }
  if (r >= 0 && r < 18446744073709551616.0) {
    *out = unsignedScalar(static_cast<uint64_t>(r));
    return true;
  }
  return false;
}

HRESULT toInteger(VARIANT* dest, Scalar value, const IntegerTarget& target) {
  if (value.kind == Scalar::kText && !parseNumber(value.text, &value)) return DISP_E_TYPEMISMATCH;
  if (value.kind == Scalar::kEmpty) value = signedScalar(0);
  if (value.kind == Scalar::kReal && !roundReal(value.real, &value)) return DISP_E_OVERFLOW;
  bool fits = false;
  uint64_t bits = 0;
  if (value.kind == Scalar::kSigned) {
    fits = value.s >= target.min && (value.s < 0 || static_cast<uint64_t>(value.s) <= target.max);
    bits = static_cast<uint64_t>(value.s);
  } else if (value.kind == Scalar::kUnsigned) {
    fits = value.u <= target.max;
    bits = value.u;
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  if (!fits) return DISP_E_OVERFLOW;
  dest->vt = target.vt;
  std::memcpy(&dest->llVal, &bits, static_cast<size_t>(target.bytes));  // little-endian: low bytes first
  return S_OK;
}

HRESULT toReal(VARIANT* dest, Scalar value, VARTYPE target) {
  if (value.kind == Scalar::kText && !parseNumber(value.text, &value)) return DISP_E_TYPEMISMATCH;
  double real = 0;
  switch (value.kind) {
    case Scalar::kEmpty: break;
    case Scalar::kSigned: real = static_cast<double>(value.s); break;
    case Scalar::kUnsigned: real = static_cast<double>(value.u); break;
    case Scalar::kReal: real = value.real; break;
    default: return DISP_E_TYPEMISMATCH;
  }
  dest->vt = target;
  if (target == VT_R4) {
    dest->fltVal = static_cast<float>(real);
  } else {
    dest->dblVal = real;
  }
  return S_OK;
}

HRESULT toBool(VARIANT* dest, Scalar value) {
  VARIANT wide;
  VariantInit(&wide);
  HRESULT hr = toReal(&wide, value, VT_R8);
  if (FAILED(hr)) return hr;
  dest->vt = VT_BOOL;
  dest->boolVal = wide.dblVal != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

std::u16string decimalText(const Scalar& value) {
  std::string text;
  if (value.kind == Scalar::kSigned) text = std::to_string(value.s);
  if (value.kind == Scalar::kUnsigned) text = std::to_string(value.u);
  if (value.kind == Scalar::kReal) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value.real);
    text = buffer;
  }
  return std::u16string(text.begin(), text.end());
}

HRESULT toText(VARIANT* dest, const Scalar& value) {
  BSTR text = nullptr;
  if (value.kind == Scalar::kText) {
    if (value.text) text = SysAllocStringLen(value.text, SysStringLen(value.text));
    if (value.text && !text) return E_OUTOFMEMORY;
  } else if (value.kind == Scalar::kInvalid) {
    return DISP_E_TYPEMISMATCH;
  } else {
    const std::u16string digits = value.kind == Scalar::kEmpty ? std::u16string() : decimalText(value);
    text = SysAllocStringLen(digits.data(), static_cast<UINT>(digits.size()));
    if (!text) return E_OUTOFMEMORY;
  }
  dest->vt = VT_BSTR;
  dest->bstrVal = text;
  return S_OK;
}

}  // namespace

HRESULT changeType(VARIANT* dest, const VARIANT& source, VARTYPE target) {
  VariantInit(dest);
  const Scalar value = readScalar(source);
  if (value.kind == Scalar::kInvalid) return DISP_E_TYPEMISMATCH;
  if (const IntegerTarget* integer = integerTarget(target)) return toInteger(dest, value, *integer);
  switch (target) {
    case VT_R4:
    case VT_R8:
    case VT_DATE: return toReal(dest, value, target);
    case VT_BOOL: return toBool(dest, value);
    case VT_BSTR: return toText(dest, value);
    default: return DISP_E_BADVARTYPE;
  }
}

}  // namespace q3
