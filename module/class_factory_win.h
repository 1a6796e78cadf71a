// The class factories of the module's four creatable classes.
#pragma once
#include <windows.h>

namespace parvex {

// The factory of clsid answering iid, or CLASS_E_CLASSNOTAVAILABLE.
HRESULT GetClassFactory(REFCLSID clsid, REFIID iid, void** out);

}  // namespace parvex
