// Keys under HKEY_CLASSES_ROOT as the registration writes and removes them.
// HKEY_CLASSES_ROOT is whatever the process has it point at: the machine's
// classes, or the user's during a per-user registration (UserClassesRoot).
#pragma once
#include <windows.h>

#include <string>

namespace parvex {

std::wstring GuidText(REFGUID guid);
// Sets a text value (name null: the key's default value), creating the key.
bool SetClassesText(const std::wstring& key, const wchar_t* name, const std::wstring& value);
bool CreateClassesKey(const std::wstring& key);
// The key and everything below it; true when it is gone (or never was).
bool DeleteClassesTree(const std::wstring& key);
bool ClassesKeyHasSubkeys(const std::wstring& key);
// Removes the key's default value, keeping the key.
void DeleteClassesDefaultValue(const std::wstring& key);

// Points HKEY_CLASSES_ROOT at HKEY_CURRENT_USER\Software\Classes for the
// object's life, so that the registration's own writes and the type
// library's land in the user's hive. The component-categories manager does
// not follow the redirection everywhere, so the per-user registration
// writes the categories as plain keys.
class UserClassesRoot {
public:
    UserClassesRoot();
    ~UserClassesRoot();
    UserClassesRoot(const UserClassesRoot&) = delete;
    UserClassesRoot& operator=(const UserClassesRoot&) = delete;
    bool ok() const { return ok_; }
    // Removes the key, and each parent up to the user's classes, when nothing
    // is left in it: a per-user removal leaves no empty key behind.
    void DeleteIfEmpty(const std::wstring& key);

private:
    HKEY classes_ = nullptr;
    bool ok_ = false;
};

}  // namespace parvex
