#include "control/com_module_win.h"
#include "control/controls_win.h"

namespace parvex {

namespace {
INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
}  // namespace

void ShowAboutBox(int dialogId, HWND owner) {
    DialogBoxParamW(ModuleHandle(), MAKEINTRESOURCEW(dialogId), owner, AboutProc, 0);
}

}  // namespace parvex
