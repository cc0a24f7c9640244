// Output lines of the host (events and call results) as Python dicts with the
// same field names: texts as str, a null text as None, dates as naive
// datetime.datetime rounded to the second, doubles as float (NaN kept),
// integers as int, VARIANT_BOOL as bool, version numbers as a list of int.
#pragma once

#include <pybind11/pybind11.h>

#include "kxcli_output.h"

namespace q3py {

// Makes the datetime C API usable; called once when the module loads.
void prepareValues();

pybind11::object toPython(const kxcli::Value& value);
pybind11::dict toDict(const kxcli::Line& line);

}  // namespace q3py
