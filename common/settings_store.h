// The store of remembered values: on Windows the key "SOFTWARE\Orvanta
// Component" of the machine's hive, with the same key of the user's hive for
// users whom the machine's refuses writes (LayeredSettingsStore); elsewhere a
// file of the implementer's choice.
#pragma once
#include <memory>
#include <string>
#include <vector>

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
    // Reads a list value of the open key (the registry's multi-string) into
    // values, one string an element. A store without lists of its own takes
    // a text value as a list of one.
    virtual StoreResult ReadList(const std::wstring& name, std::vector<std::wstring>& values) {
        std::wstring text;
        StoreResult result = Read(name, text);
        if (result == StoreResult::Ok) values.assign(1, text);
        return result;
    }
    virtual bool Write(const std::wstring& name, const std::wstring& value) = 0;
    // Removes a value of the open key; true when it is gone or never was.
    virtual bool Remove(const std::wstring& name) = 0;
    virtual void Close() = 0;
};

// The platform's store: the machine's and the user's registry keys on
// Windows, a file elsewhere.
std::unique_ptr<SettingsStore> MakePlatformSettingsStore();

// Key and value names.
extern const wchar_t* const kSettingsKey;       // SOFTWARE\Orvanta Component
extern const wchar_t* const kSelectPathValue;   // SelectPath
extern const wchar_t* const kDownSavePathValue; // DownSavePath

}  // namespace parvex
