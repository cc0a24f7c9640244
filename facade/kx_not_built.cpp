// Methods of IKxServer whose behaviour is not part of this build yet: each
// refuses with E_FAIL and error information.
#include "kx_server.h"

HRESULT KxServer::notBuilt() { return refuse("Not implemented yet.."); }

HRESULT KxServer::ListenPortfolio(BSTR) { return notBuilt(); }
HRESULT KxServer::CancelPortfolio(BSTR) { return notBuilt(); }
HRESULT KxServer::GetMyOrders(INT, BSTR) { return notBuilt(); }
HRESULT KxServer::GetMyTrades(BSTR) { return notBuilt(); }
HRESULT KxServer::GetMyClosePos(BSTR) { return notBuilt(); }
HRESULT KxServer::GetMoneyAccount(BSTR, BSTR*) { return notBuilt(); }
