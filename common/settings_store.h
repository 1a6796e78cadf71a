// The store of remembered values: on Windows the machine hive key
// "SOFTWARE\Orvanta Component"; elsewhere a file of the implementer's choice.
#pragma once
#include <memory>
#include <string>

namespace parvex {

enum class StoreResult { Ok, NotFound, Error };

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Opens the existing key with full access; false when it is missing or not
    // accessible.
    virtual bool Open() = 0;
    // Creates the key for writing and leaves it open; false on failure.
    virtual bool Create() = 0;
    // Reads a text value of the open key. Values are returned whole; the
    // callers apply their own buffer limits.
    virtual StoreResult Read(const std::wstring& name, std::wstring& value) = 0;
    virtual bool Write(const std::wstring& name, const std::wstring& value) = 0;
    virtual void Close() = 0;
};

// The platform's store: the registry on Windows, a file elsewhere.
std::unique_ptr<SettingsStore> MakePlatformSettingsStore();

// Key and value names.
extern const wchar_t* const kSettingsKey;       // SOFTWARE\Orvanta Component
extern const wchar_t* const kSelectPathValue;   // SelectPath
extern const wchar_t* const kDownSavePathValue; // DownSavePath

}  // namespace parvex
