#include "module/classes_keys_win.h"

#include <objbase.h>

#include "common/trace.h"

namespace parvex {

namespace {

const wchar_t kUserClasses[] = L"Software\\Classes";

// Traces a registry call under HKEY_CLASSES_ROOT that did not succeed; true
// when it did.
bool Succeeded(LONG result, const wchar_t* operation, const std::wstring& key) {
    if (result == ERROR_SUCCESS) return true;
    TraceFailure(operation, L"HKEY_CLASSES_ROOT\\" + key, result);
    return false;
}

bool IsEmpty(HKEY root, const std::wstring& key) {
    HKEY handle;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0, values = 0;
    LONG result = RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                   nullptr, nullptr, nullptr);
    RegCloseKey(handle);
    return result == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

}  // namespace

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {0};
    StringFromGUID2(guid, text, 40);
    return text;
}

bool SetClassesText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle;
    if (!Succeeded(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
                   L"create key", key))
        return false;
    LONG result = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return Succeeded(result, L"write a value of", key);
}

bool CreateClassesKey(const std::wstring& key) {
    HKEY handle;
    if (!Succeeded(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
                   L"create key", key))
        return false;
    RegCloseKey(handle);
    return true;
}

bool DeleteClassesTree(const std::wstring& key) {
    LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || Succeeded(result, L"delete key", key);
}

bool ClassesKeyHasSubkeys(const std::wstring& key) {
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0;
    RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(handle);
    return subkeys > 0;
}

void DeleteClassesDefaultValue(const std::wstring& key) {
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_WRITE, &handle) != ERROR_SUCCESS) return;
    RegDeleteValueW(handle, nullptr);
    RegCloseKey(handle);
}

UserClassesRoot::UserClassesRoot() {
    if (!Succeeded(RegCreateKeyExW(HKEY_CURRENT_USER, kUserClasses, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes_,
                                   nullptr),
                   L"create key", L"(HKEY_CURRENT_USER\\Software\\Classes)"))
        return;
    ok_ = Succeeded(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_), L"redirect to the user's classes", L"");
}

UserClassesRoot::~UserClassesRoot() {
    if (ok_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    if (classes_) RegCloseKey(classes_);
    // Windows always has the user's classes key; a fresh profile elsewhere may
    // not, and the registration made it.
    if (classes_ && IsEmpty(HKEY_CURRENT_USER, kUserClasses)) RegDeleteKeyW(HKEY_CURRENT_USER, kUserClasses);
}

void UserClassesRoot::DeleteIfEmpty(const std::wstring& key) {
    std::wstring path = key;
    while (!path.empty() && IsEmpty(classes_, path)) {
        RegDeleteKeyW(classes_, path.c_str());
        size_t cut = path.rfind(L'\\');
        path = cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
    }
}

}  // namespace parvex
