// quarnel3._quarnel3: the extension behind the quarnel3 package. The Python
// side (quarnel3/__init__.py) converts arguments, raises errors and spreads
// the events to callbacks and asyncio queues.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "q3py_client.h"
#include "q3py_simulator.h"
#include "q3py_values.h"
#include "quarnel3/quarnel3.h"

namespace py = pybind11;

namespace {

template <size_t N>
py::list memberNames(const KxMemberInfo (&table)[N]) {
  py::list names;
  for (const KxMemberInfo& m : table) names.append(m.name);
  return names;
}

void bindClient(py::module_& m) {
  py::class_<q3py::Client>(m, "Client")
      .def(py::init<const std::string&, py::object>(), py::arg("module_path"), py::arg("on_event"))
      .def("call", &q3py::Client::call, py::arg("method"), py::arg("arguments"))
      .def("close", &q3py::Client::close);
}

void bindSimulator(py::module_& m) {
  py::class_<q3py::Simulator>(m, "Simulator")
      .def(py::init<>())
      .def("start", &q3py::Simulator::start, py::call_guard<py::gil_scoped_release>())
      .def("stop", &q3py::Simulator::stop, py::call_guard<py::gil_scoped_release>())
      .def_property_readonly("running", &q3py::Simulator::running)
      .def_property_readonly("tls_port", &q3py::Simulator::tlsPort)
      .def_property_readonly("plain_port", &q3py::Simulator::plainPort);
}

}  // namespace

PYBIND11_MODULE(_quarnel3, m) {
  q3py::prepareValues();
  py::register_exception<q3py::OpenError>(m, "OpenError", PyExc_RuntimeError);
  bindClient(m);
  bindSimulator(m);
  m.def("registered_module", &q3py::registeredModule);
  m.attr("SERVER_METHODS") = memberNames(kKxServerMethods);
  m.attr("VERSION_METHODS") = memberNames(kQuarnelVersionMethods);
  m.attr("EVENTS") = memberNames(kKxClientEvents);
  m.attr("PROG_ID") = kKxServerProgId;
}
