// The default folder, the remembered "SelectPath" folder and folder creation.
#pragma once
#include <functional>
#include <string>

#include "file_system.h"
#include "settings_store.h"

namespace parvex {

// The user's documents folder, or "c:\" when the platform cannot name it.
// Process-wide, owned by the module: written once by the thread that loads
// the module (module start), before any control exists; read-only after.
const std::wstring& DefaultSaveFolder();
// documentsFolder asks the platform; false when it cannot name the folder.
void InitDefaultFolder(const std::function<bool(std::wstring&)>& documentsFolder);
// The platform's documents folder (SHGetSpecialFolderPathW on Windows, $HOME
// elsewhere).
bool PlatformDocumentsFolder(std::wstring& folder);

// write set: stores folder as "SelectPath" and returns the empty text.
// write clear: returns the remembered folder, or the default one.
std::wstring LoadSelectPath(SettingsStore& store, bool write, const std::wstring& folder);

// Creates every missing folder on the way to a file path; the last component
// (the file) is not created. Both "\" and "/" separate.
int CreateFolderChain(FileSystem& fs, const std::wstring& path);
bool IsDirectoryPath(FileSystem& fs, const std::wstring& path);

}  // namespace parvex
