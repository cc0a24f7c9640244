#include "q3_hresult.h"

#include <cstdio>

namespace q3 {
namespace {

struct Message {
  HRESULT hr;
  const char* text;
};

constexpr Message kMessages[] = {
    {S_OK, "The operation completed successfully."},
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_ABORT, "Operation aborted"},
    {E_FAIL, "Unspecified error"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_ACCESSDENIED, "Access is denied."},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {DISP_E_UNKNOWNINTERFACE, "Unknown interface."},
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_PARAMNOTFOUND, "Parameter not found."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_UNKNOWNNAME, "Unknown name."},
    {DISP_E_NONAMEDARGS, "No named arguments."},
    {DISP_E_BADVARTYPE, "Bad variable type."},
    {DISP_E_EXCEPTION, "Exception occurred."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {DISP_E_BADPARAMCOUNT, "Invalid number of parameters."},
    {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional."},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {CONNECT_E_NOCONNECTION, "There is no connection for this connection ID"},
    {CONNECT_E_CANNOTCONNECT, "Cannot connect"},
};

}  // namespace

std::string hresultMessage(HRESULT hr) {
  for (const Message& message : kMessages) {
    if (message.hr == hr) return message.text;
  }
  char text[40];
  std::snprintf(text, sizeof text, "Unknown error 0x%08X", static_cast<uint32_t>(hr));
  return text;
}

}  // namespace q3
