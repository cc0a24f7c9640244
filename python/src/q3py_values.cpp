#include "q3py_values.h"

// The datetime C API: a capsule looked up once, no Python objects held at exit.
#include <datetime.h>

#include "quarnel3/date.h"

namespace py = pybind11;

namespace q3py {

void prepareValues() {
  PyDateTime_IMPORT;
  if (!PyDateTimeAPI) throw py::error_already_set();
}

namespace {

py::object dateValue(DATE value) {
  const auto t = quarnel3::dateToCivil(value);
  if (!t) return py::none();
  PyObject* date = PyDateTime_FromDateAndTime(t->year, t->month, t->day, t->hour, t->minute, t->second, 0);
  if (!date) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(date);
}

// Texts come from UTF-16; a lone surrogate must not make an event unreadable.
py::object text(const std::string& utf8) {
  PyObject* out = PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace");
  if (!out) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(out);
}

py::object integerList(const std::vector<int64_t>& values) {
  py::list out;
  for (const int64_t v : values) out.append(py::int_(v));
  return out;
}

}  // namespace

py::object toPython(const kxcli::Value& value) {
  using Kind = kxcli::Value::Kind;
  switch (value.kind()) {
    case Kind::kNull: return py::none();
    case Kind::kBool: return py::bool_(value.asBool());
    case Kind::kInteger: return py::int_(value.asInteger());
    case Kind::kNumber: return py::float_(value.asNumber());
    case Kind::kText: return text(value.asText());
    case Kind::kDate: return dateValue(value.asNumber());
    case Kind::kIntegers: return integerList(value.asIntegers());
  }
  return py::none();
}

py::dict toDict(const kxcli::Line& line) {
  py::dict out;
  for (const auto& [name, value] : line) out[text(name)] = toPython(value);
  return out;
}

}  // namespace q3py
