#include <windows.h>
#include <shlobj.h>

#include "folders.h"

namespace parvex {

bool PlatformDocumentsFolder(std::wstring& folder) {
    wchar_t path[256] = {0};
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE)) return false;
    folder = path;
    return true;
}

}  // namespace parvex
