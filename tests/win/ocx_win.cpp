#include "tests/win/ocx_win.h"

namespace parvex::testing {

std::wstring OcxPath() {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"PARVEX.OCX";
}

HRESULT CallOcxExport(const char* name) {
    OcxModule ocx;
    auto entry = reinterpret_cast<HRESULT(__stdcall*)()>(GetProcAddress(ocx.get(), name));
    return entry ? entry() : E_NOTIMPL;
}

void EnsureRegistered() {
    std::wstring value;
    if (!ClassesText(L"PARVEX.ParvexUpCtrl.1\\CLSID", nullptr, value)) {
        OleInitialize(nullptr);
        CallOcxExport("DllRegisterServer");
        OleUninitialize();
    }
}

IDispatch* CreateByProgId(const wchar_t* progId) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId, &clsid))) return nullptr;
    IDispatch* object = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&object))))
        return nullptr;
    return object;
}

bool ClassesText(const std::wstring& key, const wchar_t* name, std::wstring& value) {
    return RegistryText(HKEY_CLASSES_ROOT, key, name, value);
}

bool RegistryText(HKEY root, const std::wstring& key, const wchar_t* name, std::wstring& value) {
    HKEY handle;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    wchar_t buffer[2048] = {0};
    DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
    LONG result = RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS || type != REG_SZ) return false;
    value = buffer;
    return true;
}

bool ClassesKeyExists(const std::wstring& key) {
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

}  // namespace parvex::testing
