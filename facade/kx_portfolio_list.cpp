// GetPrortfolioList: the portfolios granted at logon, fired as AddPortfolio
// rows on the caller's thread.
#include "kx_logger.h"
#include "kx_server.h"

HRESULT KxServer::GetPrortfolioList() {
  try {
    kx::ServerRef self = kx::ServerRef::hold(this);
    Utils::logInfo("KxServer::GetPrortfolioList method");
    if (!sessionUsable()) return refuse("Connection not established.. try to connect first!");
    const auto portfolios = tables_.portfolios();
    const int32_t count = static_cast<int32_t>(portfolios.size());
    int32_t row = 1;  // this event numbers its rows from 1
    for (const auto& [code, entry] : portfolios) {
      const std::string exchange = kx::fieldText(entry.exchange);
      fire(DISPID_AddPortfolio, {row++, count, code.c_str(), exchange.c_str(), static_cast<int32_t>(entry.status)});
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
