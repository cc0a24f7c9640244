// Registration of the component: the registry script of KxServer (ProgIDs and
// class key) and the type library, under the machine's classes or, per user,
// under HKEY_CURRENT_USER\Software\Classes.
#pragma once

#include "quarnel3/automation.h"

namespace kx {

HRESULT registerServer(bool perUser);
HRESULT unregisterServer(bool perUser);

}  // namespace kx
