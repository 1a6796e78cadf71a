// Self-registration of the module: the type library, the four classes and
// the two safety categories with the upload control's marks; per machine
// (HKEY_CLASSES_ROOT, as DllRegisterServer) or per user
// (HKEY_CURRENT_USER\Software\Classes, as DllInstall with "user").
#pragma once
#include <windows.h>

namespace parvex {

enum class RegistrationScope { Machine, User };

HRESULT RegisterModule(RegistrationScope scope = RegistrationScope::Machine);
HRESULT UnregisterModule(RegistrationScope scope = RegistrationScope::Machine);
// DllInstall: command line "user" (any case) per user, none or empty per
// machine; E_INVALIDARG for any other.
HRESULT InstallModule(bool install, const wchar_t* commandLine);

}  // namespace parvex
