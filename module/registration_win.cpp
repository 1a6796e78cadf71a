#include "module/registration_win.h"

#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "common/trace.h"
#include "control/com_module_win.h"
#include "module/classes_keys_win.h"
#include "module/safety_categories_win.h"
#include "parvex_h.h"
#include "resources/resource.h"

namespace parvex {

namespace {

// Activate when visible, set client site first, inside-out, can't link
// inside, recompose on resize.
const wchar_t kMiscStatus[] = L"131473";

struct ClassEntry {
    const CLSID* clsid;
    const wchar_t* progId;
    int typeNameId;
    int toolboxBitmap;  // 0 for the property pages, which are no controls
};

const ClassEntry kClasses[] = {
    {&CLSID_Parvex_Up, L"PARVEX.ParvexUpCtrl.1", IDS_PARVEX_UP, IDB_PARVEX_UP},
    {&CLSID_Parvex_Dn, L"PARVEX.ParvexDnCtrl.1", IDS_PARVEX_DN, IDB_PARVEX_DN},
    {&CLSID_ParvexUpPropPage, L"PARVEX.ParvexUpPropPage.1", IDS_PARVEX_UP_PPG, 0},
    {&CLSID_ParvexDnPropPage, L"PARVEX.ParvexDnPropPage.1", IDS_PARVEX_DN_PPG, 0},
};

std::wstring LoadText(int id) {
    wchar_t text[256] = {0};
    LoadStringW(ModuleHandle(), id, text, 256);
    return text;
}

bool RegisterClassEntry(const ClassEntry& entry) {
    const std::wstring path = ModulePath();
    const std::wstring typeName = LoadText(entry.typeNameId);
    const std::wstring key = L"CLSID\\" + GuidText(*entry.clsid);
    bool ok = SetClassesText(key, nullptr, typeName) && SetClassesText(key + L"\\InprocServer32", nullptr, path) &&
              SetClassesText(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    ok = ok && SetClassesText(key + L"\\ProgID", nullptr, entry.progId) &&
         SetClassesText(entry.progId, nullptr, typeName) &&
         SetClassesText(std::wstring(entry.progId) + L"\\CLSID", nullptr, GuidText(*entry.clsid));
    if (!ok || entry.toolboxBitmap == 0) return ok;
    return CreateClassesKey(key + L"\\Control") &&
           SetClassesText(key + L"\\ToolboxBitmap32", nullptr, path + L", " + std::to_wstring(entry.toolboxBitmap)) &&
           SetClassesText(key + L"\\MiscStatus", nullptr, L"0") &&
           SetClassesText(key + L"\\MiscStatus\\1", nullptr, kMiscStatus) &&
           SetClassesText(key + L"\\TypeLib", nullptr, GuidText(LIBID_PARVEXLib)) &&
           SetClassesText(key + L"\\Version", nullptr, L"1.0");
}

// Removes what RegisterClassEntry wrote. The class key itself goes only when
// nothing else lives under it: the category marks stay in place.
bool UnregisterClassEntry(const ClassEntry& entry) {
    const std::wstring key = L"CLSID\\" + GuidText(*entry.clsid);
    const wchar_t* subkeys[] = {L"InprocServer32", L"ProgID",  L"Control", L"ToolboxBitmap32",
                                L"MiscStatus",     L"TypeLib", L"Version"};
    for (const wchar_t* sub : subkeys)
        if (!DeleteClassesTree(key + L"\\" + sub)) return false;
    if (!DeleteClassesTree(entry.progId)) return false;
    if (ClassesKeyHasSubkeys(key)) {
        DeleteClassesDefaultValue(key);
        return true;
    }
    return DeleteClassesTree(key);
}

HRESULT RegisterTypeLibrary() {
    ITypeLib* library = nullptr;
    const std::wstring path = ModulePath();
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) {
        TraceFailure(L"load the type library of", path, hr);
        return hr;
    }
    hr = RegisterTypeLib(library, const_cast<LPOLESTR>(path.c_str()), nullptr);
    library->Release();
    if (FAILED(hr)) TraceFailure(L"register the type library of", path, hr);
    return hr;
}

HRESULT UnregisterTypeLibrary() {
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
    return hr;
}

// Everything in the order and with the results of DllRegisterServer, into
// whatever HKEY_CLASSES_ROOT points at.
HRESULT RegisterAll(bool perUser) {
    if (FAILED(RegisterTypeLibrary())) return SELFREG_E_TYPELIB;
    for (const ClassEntry& entry : kClasses)
        if (!RegisterClassEntry(entry)) return SELFREG_E_CLASS;
    return FAILED(RegisterSafetyCategories(perUser)) ? SELFREG_E_CLASS : S_OK;
}

HRESULT UnregisterAll(bool perUser) {
    // The user's marks go first, so that the upload control's class key goes
    // with the rest.
    if (perUser) RemoveUserSafetyCategories();
    if (FAILED(UnregisterTypeLibrary())) return SELFREG_E_TYPELIB;
    for (const ClassEntry& entry : kClasses)
        if (!UnregisterClassEntry(entry)) return SELFREG_E_CLASS;
    return S_OK;
}

}  // namespace

HRESULT RegisterModule(RegistrationScope scope) {
    if (scope == RegistrationScope::Machine) return RegisterAll(false);
    UserClassesRoot classes;
    return classes.ok() ? RegisterAll(true) : SELFREG_E_CLASS;
}

HRESULT UnregisterModule(RegistrationScope scope) {
    if (scope == RegistrationScope::Machine) return UnregisterAll(false);
    UserClassesRoot classes;
    if (!classes.ok()) return SELFREG_E_CLASS;
    HRESULT hr = UnregisterAll(true);
    const std::wstring shared[] = {L"CLSID", L"Interface", L"TypeLib\\" + GuidText(LIBID_PARVEXLib), L"TypeLib",
                                   L"Component Categories"};
    for (const std::wstring& key : shared) classes.DeleteIfEmpty(key);
    return hr;
}

HRESULT InstallModule(bool install, const wchar_t* commandLine) {
    RegistrationScope scope = RegistrationScope::Machine;
    if (commandLine && lstrcmpiW(commandLine, L"user") == 0)
        scope = RegistrationScope::User;
    else if (commandLine && *commandLine)
        return E_INVALIDARG;
    return install ? RegisterModule(scope) : UnregisterModule(scope);
}

}  // namespace parvex
