#include <windows.h>
#include <shlobj.h>

#include "folders.h"

namespace parvex {

bool PlatformDocumentsFolder(std::wstring& folder) {
    // The call writes up to MAX_PATH characters whatever the buffer.
    wchar_t path[MAX_PATH] = {0};
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE)) return false;
    folder = path;
    return true;
}

}  // namespace parvex
