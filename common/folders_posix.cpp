#include <cstdlib>

#include "folders.h"
#include "utf8.h"

namespace parvex {

bool PlatformDocumentsFolder(std::wstring& folder) {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return false;
    folder = FromUtf8(home);
    return true;
}

}  // namespace parvex
