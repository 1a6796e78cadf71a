#include "module_start_win.h"

#include <winsock2.h>
#include <commctrl.h>
#include <objbase.h>

#include "../common/folders.h"
#include "common/module_hold.h"
#include "control/com_module_win.h"
#include "control/download_platform_win.h"

namespace parvex {

HINSTANCE moduleInstance = nullptr;

namespace {
// Lets the test program check the refusal to load without breaking WinSock:
// a version of 0.0 is one that WSAStartup never supports.
WORD RequestedSocketVersion() {
    char fail[4] = {0};
    DWORD n = GetEnvironmentVariableA("PARVEX_TEST_FAIL_SOCKET_START", fail, sizeof fail);
    return (n == 1 && fail[0] == '1') ? MAKEWORD(0, 0) : MAKEWORD(2, 2);
}
}  // namespace

bool ModuleStart(HINSTANCE instance) {
    moduleInstance = instance;
    CoInitialize(nullptr);  // the result does not matter: the host may have done it
    WSADATA data;
    if (WSAStartup(RequestedSocketVersion(), &data) != 0) {
        MessageBoxW(nullptr, L"소켓 초기화 실패", nullptr, MB_OK);
        return false;
    }
    InitCommonControls();
    InitDefaultFolder(PlatformDocumentsFolder);
    SetModuleLifetime(&ComModuleLifetime());
    ConfigureWindowsDownloads();
    return true;
}

}  // namespace parvex
