// kxcli as a host of the component: loads the module, creates KxServer
// through its class factory, advises a sink on _IKxClient, and calls methods
// of IKxServer and IQuarnelVersion late-bound (GetIDsOfNames, then Invoke), as
// a scripting host does, reading the parameter types from the type library.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kxcli_output.h"
#include "kxcli_words.h"
#include "quarnel3/host.h"
#include "quarnel3/quarnel3.h"
#include "quarnel3/rows_done.h"

namespace kxcli {

class Component {
 public:
  // Receives every event as its output line, on the thread that fires it.
  using EventHandler = std::function<void(const std::string& event, const Line& line)>;
  // Receives the end of every query answer (IKxRowsDone): the name of its row
  // event and its number of rows, on the thread that fired the rows.
  using RowsDoneHandler = std::function<void(const std::string& rowEvent, int32_t rows)>;

  // `modulePath` empty: the registered InprocServer32 of Quarnel3.KxServer,
  // else the module installed next to kxcli. Null with a reason on failure.
  // `onRowsDone` is left uncalled by a module without IKxRowsDone.
  static std::unique_ptr<Component> open(const std::string& modulePath, EventHandler onEvent, std::string* error,
                                         RowsDoneHandler onRowsDone = nullptr);
  ~Component();

  // Calls a method by its type-library name with words converted to the
  // declared types; answers the result line ({"call":...,"hresult":...}).
  Line call(const std::string& method, const std::vector<Word>& words, HRESULT* result = nullptr);

  // Unadvises the sink, releases the object and waits (bounded) until the
  // module reports that nothing of it is in use any more.
  void release();

  const quarnel3::host::Runtime& runtime() const { return module_->runtime(); }

 private:
  Component() = default;
  void watchRows(RowsDoneHandler onRowsDone);

  std::shared_ptr<quarnel3::host::Module> module_;
  IKxServer* server_ = nullptr;
  IDispatch* sink_ = nullptr;  // the _IKxClient sink
  DWORD cookie_ = 0;
  IKxRowsDone* rowsDone_ = nullptr;
  IDispatch* rowsWatcher_ = nullptr;
};

// Where the module is looked for when no path is given and none is registered.
std::vector<std::string> modulesNextToProgram();

}  // namespace kxcli
