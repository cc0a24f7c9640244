// The component as a Python object: KxServer created through the host code
// kxcli uses, every event handed to one Python callable, methods called by
// their type-library names. Calls into the component run without the GIL;
// events take it on the component's threads.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "kxcli_component.h"

namespace q3py {

// Where a failed load or creation of the component is reported.
class OpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Client {
 public:
  // `onEvent(name, fields)` receives every event. Throws OpenError.
  Client(const std::string& modulePath, pybind11::object onEvent);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // One argument per declared in-parameter, in order: None for a null text,
  // else the value's text, read by the declared type. Answers the result line
  // as a dict ({"call", "hresult", then "error" and "source" or "result"}).
  pybind11::dict call(const std::string& method, const std::vector<std::optional<std::string>>& arguments);

  // Releases the object; no event arrives after it. Idempotent.
  void close();

 private:
  struct EventTarget;

  std::unique_ptr<kxcli::Component> component_;
  std::shared_ptr<EventTarget> target_;
  // Calls hold it shared, close() exclusively: the object is never released
  // under a call that another thread is making.
  std::shared_mutex inUse_;
};

// The component module registered for Quarnel3.KxServer, if any.
std::optional<std::string> registeredModule();

}  // namespace q3py
