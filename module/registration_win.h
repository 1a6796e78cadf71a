// Self-registration of the module: the type library, the four classes and
// the two safety categories with the upload control's marks.
#pragma once
#include <windows.h>

namespace parvex {

HRESULT RegisterModule();
HRESULT UnregisterModule();

}  // namespace parvex
