#include "module/registration_win.h"

#include <comcat.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "common/trace.h"
#include "control/com_module_win.h"
#include "parvex_h.h"
#include "resources/resource.h"

namespace parvex {

namespace {

// Platform-defined identities of the two safety categories.
const CATID kSafeForScripting = {0x7dd95801, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}};
const CATID kSafeForInitializing = {0x7dd95802, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}};

// Activate when visible, set client site first, inside-out, can't link
// inside, recompose on resize.
const wchar_t kMiscStatus[] = L"131473";

struct ClassEntry {
    const CLSID* clsid;
    const wchar_t* progId;
    int typeNameId;
    int toolboxBitmap;      // 0 for the property pages, which are no controls
};

const ClassEntry kClasses[] = {
    {&CLSID_Parvex_Up, L"PARVEX.ParvexUpCtrl.1", IDS_PARVEX_UP, IDB_PARVEX_UP},
    {&CLSID_Parvex_Dn, L"PARVEX.ParvexDnCtrl.1", IDS_PARVEX_DN, IDB_PARVEX_DN},
    {&CLSID_ParvexUpPropPage, L"PARVEX.ParvexUpPropPage.1", IDS_PARVEX_UP_PPG, 0},
    {&CLSID_ParvexDnPropPage, L"PARVEX.ParvexDnPropPage.1", IDS_PARVEX_DN_PPG, 0},
};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {0};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring LoadText(int id) {
    wchar_t text[256] = {0};
    LoadStringW(ModuleHandle(), id, text, 256);
    return text;
}

// Sets a text value (name null: the key's default value) of a key under
// HKEY_CLASSES_ROOT, creating the key.
// Traces a registry call under HKEY_CLASSES_ROOT that did not succeed; true when it did.
bool Succeeded(LONG result, const wchar_t* operation, const std::wstring& key) {
    if (result == ERROR_SUCCESS) return true;
    TraceFailure(operation, L"HKEY_CLASSES_ROOT\\" + key, result);
    return false;
}

bool SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle;
    if (!Succeeded(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
                   L"create key", key))
        return false;
    LONG result = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return Succeeded(result, L"write a value of", key);
}

bool CreateKey(const std::wstring& key) {
    HKEY handle;
    if (!Succeeded(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
                   L"create key", key))
        return false;
    RegCloseKey(handle);
    return true;
}

bool RegisterClassEntry(const ClassEntry& entry) {
    const std::wstring path = ModulePath();
    const std::wstring typeName = LoadText(entry.typeNameId);
    const std::wstring key = L"CLSID\\" + GuidText(*entry.clsid);
    bool ok = SetText(key, nullptr, typeName) && SetText(key + L"\\InprocServer32", nullptr, path) &&
              SetText(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    ok = ok && SetText(key + L"\\ProgID", nullptr, entry.progId) && SetText(entry.progId, nullptr, typeName) &&
         SetText(std::wstring(entry.progId) + L"\\CLSID", nullptr, GuidText(*entry.clsid));
    if (!ok || entry.toolboxBitmap == 0) return ok;
    return CreateKey(key + L"\\Control") &&
           SetText(key + L"\\ToolboxBitmap32", nullptr, path + L", " + std::to_wstring(entry.toolboxBitmap)) &&
           SetText(key + L"\\MiscStatus", nullptr, L"0") && SetText(key + L"\\MiscStatus\\1", nullptr, kMiscStatus) &&
           SetText(key + L"\\TypeLib", nullptr, GuidText(LIBID_PARVEXLib)) &&
           SetText(key + L"\\Version", nullptr, L"1.0");
}

bool DeleteKeyIfPresent(const std::wstring& key) {
    LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool HasSubkeys(const std::wstring& key) {
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0;
    RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(handle);
    return subkeys > 0;
}

// Removes what RegisterClassEntry wrote. The class key itself goes only when
// nothing else lives under it: the category marks stay in place.
bool UnregisterClassEntry(const ClassEntry& entry) {
    const std::wstring key = L"CLSID\\" + GuidText(*entry.clsid);
    const wchar_t* subkeys[] = {L"InprocServer32", L"ProgID", L"Control", L"ToolboxBitmap32",
                                L"MiscStatus",     L"TypeLib", L"Version"};
    for (const wchar_t* sub : subkeys)
        if (!DeleteKeyIfPresent(key + L"\\" + sub)) return false;
    if (!DeleteKeyIfPresent(entry.progId)) return false;
    if (HasSubkeys(key)) {
        HKEY handle;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_WRITE, &handle) == ERROR_SUCCESS) {
            RegDeleteValueW(handle, nullptr);
            RegCloseKey(handle);
        }
        return true;
    }
    return DeleteKeyIfPresent(key);
}

ICatRegister* CategoryManager() {
    ICatRegister* manager = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                  reinterpret_cast<void**>(&manager));
    if (FAILED(hr)) {
        TraceFailure(L"CoCreateInstance", L"of the component categories manager", hr);
        return nullptr;
    }
    return manager;
}

HRESULT CreateComponentCategory(const CATID& category, const wchar_t* description) {
    ICatRegister* manager = CategoryManager();
    if (!manager) return E_FAIL;
    CATEGORYINFO info = {};
    info.catid = category;
    info.lcid = 0x0409;
    // The record holds at most 127 characters and the terminator.
    lstrcpynW(info.szDescription, description, 128);
    HRESULT hr = manager->RegisterCategories(1, &info);
    manager->Release();
    if (FAILED(hr)) TraceFailure(L"register the category", description, hr);
    return hr;
}

HRESULT MarkClassImplements(const CLSID& clsid, const CATID& category) {
    ICatRegister* manager = CategoryManager();
    if (!manager) return E_FAIL;
    CATID categories[1] = {category};
    HRESULT hr = manager->RegisterClassImplCategories(clsid, 1, categories);
    manager->Release();
    if (FAILED(hr)) TraceFailure(L"mark the upload control with a category", L"in the registry", hr);
    return hr;
}

}  // namespace

HRESULT RegisterModule() {
    ITypeLib* library = nullptr;
    const std::wstring path = ModulePath();
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) {
        TraceFailure(L"load the type library of", path, hr);
        return SELFREG_E_TYPELIB;
    }
    hr = RegisterTypeLib(library, const_cast<LPOLESTR>(path.c_str()), nullptr);
    library->Release();
    if (FAILED(hr)) {
        TraceFailure(L"register the type library of", path, hr);
        return SELFREG_E_TYPELIB;
    }

    for (const ClassEntry& entry : kClasses)
        if (!RegisterClassEntry(entry)) return SELFREG_E_CLASS;

    if (FAILED(CreateComponentCategory(kSafeForScripting, L"Controls that are safely scriptable")))
        return SELFREG_E_CLASS;
    if (FAILED(CreateComponentCategory(kSafeForInitializing, L"Controls safely initializable from persistent data")))
        return SELFREG_E_CLASS;
    if (FAILED(MarkClassImplements(CLSID_Parvex_Up, kSafeForScripting))) return SELFREG_E_CLASS;
    if (FAILED(MarkClassImplements(CLSID_Parvex_Up, kSafeForInitializing))) return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT UnregisterModule() {
    // Version 1.0 under locale 0 first; the library registered itself under
    // its own locale, which the module's copy tells.
    HRESULT hr = UnRegisterTypeLib(LIBID_PARVEXLib, 1, 0, 0, SYS_WIN32);
    ITypeLib* library = nullptr;
    if (FAILED(hr) && SUCCEEDED(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &library))) {
        TLIBATTR* attributes = nullptr;
        if (SUCCEEDED(library->GetLibAttr(&attributes))) {
            hr = UnRegisterTypeLib(LIBID_PARVEXLib, 1, 0, attributes->lcid, attributes->syskind);
            library->ReleaseTLibAttr(attributes);
        }
        library->Release();
    }
    if (FAILED(hr)) return SELFREG_E_TYPELIB;
    for (const ClassEntry& entry : kClasses)
        if (!UnregisterClassEntry(entry)) return SELFREG_E_CLASS;
    return S_OK;
}

}  // namespace parvex
