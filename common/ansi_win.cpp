#include <windows.h>

#include <vector>

#include "cookies.h"

namespace parvex {

std::wstring AnsiToWide(const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::vector<wchar_t> out(n);
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return std::wstring(out.data(), n);
}

}  // namespace parvex
