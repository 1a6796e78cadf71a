// The remembered values under HKEY_LOCAL_MACHINE\SOFTWARE\Orvanta Component.
#include <windows.h>

#include <vector>

#include "settings_store.h"

namespace parvex {
namespace {

class RegistrySettingsStore : public SettingsStore {
public:
    ~RegistrySettingsStore() override { Close(); }
    bool Open() override {
        Close();
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_ALL_ACCESS, &key_) == ERROR_SUCCESS;
    }
    bool Create() override {
        Close();
        DWORD disposition = 0;
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_WRITE, nullptr, &key_, &disposition) == ERROR_SUCCESS;
    }
    StoreResult Read(const std::wstring& name, std::wstring& value) override {
        if (!key_) return StoreResult::Error;
        DWORD type = 0, bytes = 0;
        LONG r = RegQueryValueExW(key_, name.c_str(), nullptr, &type, nullptr, &bytes);
        if (r == ERROR_FILE_NOT_FOUND) return StoreResult::NotFound;
        if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return StoreResult::Error;
        std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = bytes;
        r = RegQueryValueExW(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (r != ERROR_SUCCESS) return StoreResult::Error;
        // The data may or may not carry its terminator.
        size_t n = 0;
        while (n < size / sizeof(wchar_t) && buffer[n] != L'\0') ++n;
        value.assign(buffer.data(), n);
        return StoreResult::Ok;
    }
    bool Write(const std::wstring& name, const std::wstring& value) override {
        if (!key_) return false;
        // With the terminating zero, as every reader of a REG_SZ expects;
        // values stored earlier without it are still read above.
        return RegSetValueExW(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    void Close() override {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

}  // namespace

std::unique_ptr<SettingsStore> MakePlatformSettingsStore() { return std::make_unique<RegistrySettingsStore>(); }

}  // namespace parvex
