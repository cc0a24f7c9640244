// IQuarnelVersion: the component's own version and the server's, from the
// version line of the logon reply.
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/lexical_cast.hpp>
#include <new>
#include <vector>

#include "kx_library.h"
#include "kx_session.h"
#include "q3_codepage.h"

namespace {

constexpr size_t kServerVersionChars = 30;

// The four numbers after the first "-": "Kexora-2.5.11" gives 2, 5, 11, 0.
void parseServerVersion(const std::string& text, INT* numbers[4]) {
  std::vector<std::string> parts;
  boost::split(parts, text, boost::is_any_of("-"));
  if (parts.size() < 2) return;
  std::vector<std::string> pieces;
  boost::split(pieces, parts[1], boost::is_any_of("."));
  for (size_t i = 0; i < pieces.size() && i < 4; ++i) {
    try {
      *numbers[i] = boost::lexical_cast<INT>(pieces[i]);
    } catch (const boost::bad_lexical_cast&) {
    }
  }
}

}  // namespace

HRESULT KxServer::GetServerVersionString(BSTR* stversion) {
  if (!stversion) return E_POINTER;
  const std::shared_ptr<kx::Session> session = currentSession();
  if (!session) return refuse("Try to connect first..");
  wexel::WTransportStatistics statistics{};
  session->instance().getStatistics(statistics);
  const std::string text(statistics.serverText, strnlen(statistics.serverText, kServerVersionChars));
  *stversion = q3::ansiToBstr(text.c_str());
  return *stversion ? S_OK : E_OUTOFMEMORY;
}

HRESULT KxServer::GetServerVersion(INT* major, INT* minor, INT* build, INT* rev) {
  if (!major || !minor || !build || !rev) return E_POINTER;
  INT* numbers[4] = {major, minor, build, rev};
  for (INT* number : numbers) *number = 0;
  const std::shared_ptr<kx::Session> session = currentSession();
  if (!session) return refuse("Try to connect first..");
  wexel::WTransportStatistics statistics{};
  session->instance().getStatistics(statistics);
  try {
    parseServerVersion(std::string(statistics.serverText, strnlen(statistics.serverText, sizeof statistics.serverText)),
                       numbers);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT KxServer::GetKxClientVersionString(BSTR* stversion) {
  if (!stversion) return E_POINTER;
  *stversion = q3::ansiToBstr(kx::kVersionText);
  return *stversion ? S_OK : E_OUTOFMEMORY;
}

HRESULT KxServer::GetKxClientVersion(INT* major, INT* minor, INT* build, INT* rev) {
  if (!major || !minor || !build || !rev) return E_POINTER;
  *major = kx::kVersion[0];
  *minor = kx::kVersion[1];
  *build = kx::kVersion[2];
  *rev = kx::kVersion[3];
  return S_OK;
}
