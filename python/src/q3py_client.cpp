#include "q3py_client.h"

#include <mutex>

#include "q3py_values.h"
#include "quarnel3/host.h"
#include "quarnel3/quarnel3.h"

namespace py = pybind11;

namespace q3py {

// The Python callable that events go to. It is read and cleared only with
// the GIL held; a raw reference, so that whichever thread drops the last
// owner of this struct needs no GIL. A delivery holds a reference of its own:
// a handler that lets go of the GIL may see close() clear the member.
struct Client::EventTarget {
  PyObject* callable = nullptr;

  void deliver(const std::string& name, const kxcli::Line& line) {
    if (!Py_IsInitialized()) return;
    py::gil_scoped_acquire gil;
    if (!callable) return;
    try {
      const auto dispatch = py::reinterpret_borrow<py::object>(callable);
      dispatch(name, toDict(line));
    } catch (py::error_already_set& error) {
      // Nowhere to raise it on the component's thread: reported like an
      // exception in a finalizer.
      error.discard_as_unraisable("quarnel3 event handler");
    }
  }
};

Client::Client(const std::string& modulePath, py::object onEvent) : target_(std::make_shared<EventTarget>()) {
  target_->callable = onEvent.release().ptr();
  std::string error;
  {
    py::gil_scoped_release released;
    component_ = kxcli::Component::open(
        modulePath, [target = target_](const std::string& name, const kxcli::Line& line) { target->deliver(name, line); },
        &error);
  }
  if (!component_) {
    Py_CLEAR(target_->callable);
    throw OpenError(error);
  }
}

Client::~Client() { close(); }

py::dict Client::call(const std::string& method, const std::vector<std::optional<std::string>>& arguments) {
  std::vector<kxcli::Word> words;
  words.reserve(arguments.size());
  for (const auto& argument : arguments) {
    words.push_back(argument ? kxcli::Word{*argument, false} : kxcli::Word{"null", true});
  }
  kxcli::Line line;
  {
    py::gil_scoped_release released;
    std::shared_lock<std::shared_mutex> hold(inUse_);
    if (!component_) {
      line = {{"call", kxcli::Value::text(method)}, {"hresult", kxcli::Value::integer(E_UNEXPECTED)},
              {"error", kxcli::Value::text("the client is closed")}, {"source", kxcli::Value::text("quarnel3")}};
    } else {
      line = component_->call(method, words);
    }
  }
  return toDict(line);
}

void Client::close() {
  {
    py::gil_scoped_release released;
    std::unique_lock<std::shared_mutex> hold(inUse_);
    if (component_) component_->release();
    component_.reset();
  }
  Py_CLEAR(target_->callable);
}

std::optional<std::string> registeredModule() {
  const auto clsid = quarnel3::host::clsidFromProgId(kKxServerProgId);
  if (!clsid) return std::nullopt;
  return quarnel3::host::inprocServerPath(*clsid);
}

}  // namespace q3py
