#include "control/system_image_list_win.h"

#include <shellapi.h>

#include "control/com_module_win.h"
#include "resources/resource.h"

namespace parvex {

namespace {
HIMAGELIST systemImageList = nullptr;
}

void TakeSystemImageList() {
    SHFILEINFOW info = {};
    auto list = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(L"", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_ICON));
    if (info.hIcon) DestroyIcon(info.hIcon);
    if (systemImageList || !list) return;
    systemImageList = list;
    HICON icon = static_cast<HICON>(
        LoadImageW(ModuleHandle(), MAKEINTRESOURCEW(IDI_SERVER_FILE), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    if (icon) {
        ImageList_ReplaceIcon(systemImageList, -1, icon);
        DestroyIcon(icon);
    }
}

HIMAGELIST SystemImageList() { return systemImageList; }

void ReleaseSystemImageList() { systemImageList = nullptr; }

}  // namespace parvex
