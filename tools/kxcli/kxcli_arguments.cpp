#include "kxcli_arguments.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "q3_codepage.h"
#include "quarnel3/date.h"

namespace kxcli {
namespace {

struct IntegerRange {
  VARTYPE type;
  int64_t low;
  int64_t high;
};

constexpr IntegerRange kIntegerRanges[] = {
    {VT_I1, -128, 127},
    {VT_UI1, 0, 255},
    {VT_I2, -32768, 32767},
    {VT_UI2, 0, 65535},
    {VT_I4, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()},
    {VT_INT, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()},
    {VT_UI4, 0, std::numeric_limits<uint32_t>::max()},
    {VT_UINT, 0, std::numeric_limits<uint32_t>::max()},
};

const IntegerRange* integerRange(VARTYPE type) {
  for (const IntegerRange& range : kIntegerRanges) {
    if (range.type == type) return &range;
  }
  return nullptr;
}

std::optional<int64_t> parseInteger(const std::string& text) {
  int64_t value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto result = std::from_chars(first, last, value);
  if (result.ec != std::errc() || result.ptr != last || first == last) return std::nullopt;
  return value;
}

void putInteger(VARIANT* out, VARTYPE type, int64_t value) {
  out->vt = type;
  switch (type) {
    case VT_I1: out->cVal = static_cast<CHAR>(value); break;
    case VT_UI1: out->bVal = static_cast<BYTE>(value); break;
    case VT_I2: out->iVal = static_cast<SHORT>(value); break;
    case VT_UI2: out->uiVal = static_cast<USHORT>(value); break;
    case VT_I4: out->lVal = static_cast<LONG>(value); break;
    case VT_INT: out->intVal = static_cast<INT>(value); break;
    case VT_UI4: out->ulVal = static_cast<ULONG>(value); break;
    default: out->uintVal = static_cast<UINT>(value); break;
  }
}

HRESULT refuse(std::string* reason, const Word& word, VARTYPE type, HRESULT hr) {
  if (reason) *reason = "cannot read \"" + word.text + "\" as " + typeName(type);
  return hr;
}

// Reads exactly `count` digits at `pos`.
bool digits(const std::string& text, size_t pos, size_t count, int* value) {
  if (pos + count > text.size()) return false;
  *value = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::optional<DATE> parseCalendarDate(const std::string& text) {
  quarnel3::CivilTime t;
  if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':') {
    return std::nullopt;
  }
  if (!digits(text, 0, 4, &t.year) || !digits(text, 5, 2, &t.month) || !digits(text, 8, 2, &t.day) ||
      !digits(text, 11, 2, &t.hour) || !digits(text, 14, 2, &t.minute) || !digits(text, 17, 2, &t.second)) {
    return std::nullopt;
  }
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > daysInMonth(t.year, t.month) || t.hour > 23 ||
      t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  double fraction = 0;
  if (text.size() > 19) {
    if (text[19] != '.' || text.size() == 20) return std::nullopt;
    double scale = 0.1;
    for (size_t i = 20; i < text.size(); ++i, scale /= 10) {
      if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
      fraction += (text[i] - '0') * scale;
    }
  }
  return quarnel3::civilToDate(t, fraction);
}

}  // namespace

const char* typeName(VARTYPE type) {
  switch (type) {
    case VT_BSTR: return "BSTR";
    case VT_I1: return "CHAR";
    case VT_UI1: return "BYTE";
    case VT_I2: return "SHORT";
    case VT_UI2: return "USHORT";
    case VT_I4: return "LONG";
    case VT_INT: return "INT";
    case VT_UI4: return "ULONG";
    case VT_UINT: return "UINT";
    case VT_R8: return "DOUBLE";
    case VT_DATE: return "DATE";
    case VT_BOOL: return "VARIANT_BOOL";
    default: return "an unsupported type";
  }
}

std::optional<double> parseDouble(const std::string& text) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

std::optional<DATE> parseDate(const std::string& text) {
  if (auto calendar = parseCalendarDate(text)) return calendar;
  return parseDouble(text);
}

HRESULT toArgument(const Word& word, VARTYPE type, const quarnel3::host::Runtime& runtime, VARIANT* out,
                   std::string* reason) {
  if (type == VT_BSTR) {
    out->vt = VT_BSTR;
    if (word.bare && word.text == "null") return S_OK;
    const std::u16string text = q3::fromUtf8(word.text);
    out->bstrVal = runtime.SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return out->bstrVal ? S_OK : E_OUTOFMEMORY;
  }
  if (const IntegerRange* range = integerRange(type)) {
    const auto value = parseInteger(word.text);
    if (!value) return refuse(reason, word, type, DISP_E_TYPEMISMATCH);
    if (*value < range->low || *value > range->high) return refuse(reason, word, type, DISP_E_OVERFLOW);
    putInteger(out, type, *value);
    return S_OK;
  }
  if (type == VT_R8 || type == VT_DATE) {
    const auto value = type == VT_R8 ? parseDouble(word.text) : parseDate(word.text);
    if (!value) return refuse(reason, word, type, DISP_E_TYPEMISMATCH);
    out->vt = type;
    out->dblVal = *value;
    return S_OK;
  }
  if (type == VT_BOOL) {
    const std::string& t = word.text;
    const bool yes = t == "true" || t == "-1" || t == "1";
    if (!yes && t != "false" && t != "0") return refuse(reason, word, type, DISP_E_TYPEMISMATCH);
    out->vt = VT_BOOL;
    out->boolVal = yes ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  return refuse(reason, word, type, DISP_E_BADVARTYPE);
}

}  // namespace kxcli
