// The module's entry point and its four exports.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include "module_start_win.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        return parvex::ModuleStart(instance) ? TRUE : FALSE;
    }
    return TRUE;
}

// The class factories and the registration arrive with the controls.
extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID, void** object) {
    if (object) *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
extern "C" HRESULT __stdcall DllCanUnloadNow() { return S_OK; }
extern "C" HRESULT __stdcall DllRegisterServer() { return SELFREG_E_CLASS; }
extern "C" HRESULT __stdcall DllUnregisterServer() { return SELFREG_E_CLASS; }
