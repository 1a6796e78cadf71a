// The remembered save folder of the download dialog ("DownSavePath").
#pragma once
#include <string>

#include "common/file_system.h"
#include "common/settings_store.h"

namespace parvex {

// A non-empty request is stored and returned. An empty one returns the stored
// folder, or the default folder (stored again) when the value is missing,
// empty, too long or names no existing path.
std::wstring LoadSavePath(SettingsStore& store, FileSystem& fs, const std::wstring& request);

}  // namespace parvex
