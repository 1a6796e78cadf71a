#include "tools/page/file_actions_win.h"

#include <windows.h>

#include <vector>

namespace parvex::page {

bool RewriteInPlace(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    std::vector<char> bytes;
    DWORD moved = 0;
    bool done = GetFileSizeEx(h, &size) && size.QuadPart < 0x40000000;
    if (done) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        done = ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &moved, nullptr) && moved == bytes.size();
    }
    for (char& b : bytes) b = static_cast<char>(~b);
    done = done && SetFilePointer(h, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(h) &&
           WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &moved, nullptr) && moved == bytes.size();
    CloseHandle(h);
    return done;
}

}  // namespace parvex::page
