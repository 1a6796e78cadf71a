// The registry's side of the settings store, for the platform's store and
// for tests that need a key of their own.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "settings_store.h"

namespace parvex {

// One key of one hive; rootName names the hive in trace lines.
std::unique_ptr<SettingsStore> MakeRegistrySettingsStore(HKEY root, const wchar_t* rootName, const std::wstring& key);

}  // namespace parvex
