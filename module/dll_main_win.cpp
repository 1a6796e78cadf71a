// The module's entry point and its five exports.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include "control/com_module_win.h"
#include "download/download_bridge.h"
#include "module/class_factory_win.h"
#include "module/module_start_win.h"
#include "module/registration_win.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        return parvex::ModuleStart(instance) ? TRUE : FALSE;
    }
    return TRUE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return parvex::GetClassFactory(clsid, iid, object);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
    // A download session's last thread lets go of the module only once it
    // has been joined, here on the host's thread.
    parvex::DownloadReapEndedSessions();
    return parvex::LiveObjectCount() == 0 && parvex::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT __stdcall DllRegisterServer() { return parvex::RegisterModule(); }
extern "C" HRESULT __stdcall DllUnregisterServer() { return parvex::UnregisterModule(); }
extern "C" HRESULT __stdcall DllInstall(BOOL install, LPCWSTR commandLine) {
    return parvex::InstallModule(install != FALSE, commandLine);
}
