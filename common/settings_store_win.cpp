// The remembered values under SOFTWARE\Orvanta Component of the machine's
// hive, with the user's key of the same name over it.
#include "settings_store_win.h"

#include <vector>

#include "settings_store_layered.h"
#include "trace.h"

namespace parvex {
namespace {

class RegistrySettingsStore : public SettingsStore {
public:
    RegistrySettingsStore(HKEY root, const wchar_t* rootName, std::wstring key)
        : root_(root), rootName_(rootName), keyName_(std::move(key)) {}
    ~RegistrySettingsStore() override { Close(); }
    bool Open() override {
        Close();
        LONG result = RegOpenKeyExW(root_, keyName_.c_str(), 0, KEY_ALL_ACCESS, &key_);
        // A key the user may only read still gives its values; writes to it
        // then fail, and the layered store takes them to the user's key.
        if (result == ERROR_ACCESS_DENIED) result = RegOpenKeyExW(root_, keyName_.c_str(), 0, KEY_READ, &key_);
        return Succeeded(result, L"open key", L"");
    }
    bool Create() override {
        Close();
        DWORD disposition = 0;
        return Succeeded(RegCreateKeyExW(root_, keyName_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                         nullptr, &key_, &disposition),
                         L"create key", L"");
    }
    StoreResult Read(const std::wstring& name, std::wstring& value) override {
        std::vector<wchar_t> data;
        StoreResult result = ReadData(name, false, data);
        // The data may or may not carry its terminator.
        if (result == StoreResult::Ok) value.assign(data.data());
        return result;
    }
    // A multi-string's strings, or a text value as one; the empty string
    // that ends a multi-string ends nothing here, blanks between are skipped.
    StoreResult ReadList(const std::wstring& name, std::vector<std::wstring>& values) override {
        std::vector<wchar_t> data;
        StoreResult result = ReadData(name, true, data);
        values.clear();
        for (size_t at = 0; result == StoreResult::Ok && at < data.size();) {
            std::wstring one(data.data() + at);
            at += one.size() + 1;
            if (!one.empty()) values.push_back(one);
        }
        return result;
    }
    bool Write(const std::wstring& name, const std::wstring& value) override {
        if (!key_) return false;
        // With the terminating zero, as every reader of a REG_SZ expects;
        // values stored earlier without it are still read above.
        return Succeeded(RegSetValueExW(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                         L"write value", L"\\" + name);
    }
    bool Remove(const std::wstring& name) override {
        if (!key_) return false;
        LONG result = RegDeleteValueW(key_, name.c_str());
        return result == ERROR_FILE_NOT_FOUND || Succeeded(result, L"delete value", L"\\" + name);
    }
    void Close() override {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    // The data of a text value (a multi-string too when multi), with a zero
    // after it whether or not it was stored with its terminator.
    StoreResult ReadData(const std::wstring& name, bool multi, std::vector<wchar_t>& data) {
        if (!key_) return StoreResult::Error;
        DWORD type = 0, bytes = 0;
        LONG r = RegQueryValueExW(key_, name.c_str(), nullptr, &type, nullptr, &bytes);
        if (r == ERROR_FILE_NOT_FOUND) return StoreResult::NotFound;
        if (!Succeeded(r, L"read value", L"\\" + name)) return StoreResult::Error;
        if (type != REG_SZ && type != REG_EXPAND_SZ && !(multi && type == REG_MULTI_SZ)) {
            Succeeded(ERROR_INVALID_DATATYPE, L"read value", L"\\" + name);
            return StoreResult::Error;
        }
        data.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = bytes;
        r = RegQueryValueExW(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (!Succeeded(r, L"read value", L"\\" + name)) return StoreResult::Error;
        data.resize(size / sizeof(wchar_t) + 1);
        data.back() = L'\0';
        return StoreResult::Ok;
    }
    // Traces a registry call that did not succeed; true when it did.
    bool Succeeded(LONG result, const wchar_t* operation, const std::wstring& name) const {
        if (result == ERROR_SUCCESS) return true;
        TraceFailure(operation, rootName_ + (L"\\" + keyName_) + name, result);
        return false;
    }
    HKEY root_;
    std::wstring rootName_, keyName_;
    HKEY key_ = nullptr;
};

}  // namespace

std::unique_ptr<SettingsStore> MakeRegistrySettingsStore(HKEY root, const wchar_t* rootName, const std::wstring& key) {
    return std::make_unique<RegistrySettingsStore>(root, rootName, key);
}

std::unique_ptr<SettingsStore> MakePlatformSettingsStore() {
    return std::make_unique<LayeredSettingsStore>(
        MakeRegistrySettingsStore(HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", kSettingsKey),
        MakeRegistrySettingsStore(HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", kSettingsKey));
}

}  // namespace parvex
