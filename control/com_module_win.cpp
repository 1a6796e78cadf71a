#include "com_module_win.h"

#include <oleauto.h>

#include "common/trace.h"

namespace parvex {

// {80B34D39-8281-498B-9E2E-5CF9B488D150}
const CLSID CLSID_ParvexUpPropPage = {0x80b34d39, 0x8281, 0x498b, {0x9e, 0x2e, 0x5c, 0xf9, 0xb4, 0x88, 0xd1, 0x50}};
// {3294300A-FD20-47D7-A20D-0D37F3014A34}
const CLSID CLSID_ParvexDnPropPage = {0x3294300a, 0xfd20, 0x47d7, {0xa2, 0x0d, 0x0d, 0x37, 0xf3, 0x01, 0x4a, 0x34}};

namespace {
volatile LONG objects = 0;
volatile LONG locks = 0;
}  // namespace

void ObjectCreated() { InterlockedIncrement(&objects); }
void ObjectDestroyed() { InterlockedDecrement(&objects); }
long LiveObjectCount() { return objects; }
void LockModule(bool lock) {
    if (lock)
        InterlockedIncrement(&locks);
    else
        InterlockedDecrement(&locks);
}
long ModuleLockCount() { return locks; }

namespace {
// What the core's threads and windows hold the module by: a lock like a
// class factory's, counted by DllCanUnloadNow.
class LockCountLifetime : public ModuleLifetime {
public:
    void Hold() override { LockModule(true); }
    void Release() override { LockModule(false); }
};
}  // namespace

ModuleLifetime& ComModuleLifetime() {
    static LockCountLifetime lifetime;
    return lifetime;
}

namespace {
HINSTANCE resourceModule = nullptr;
}

void UseResourceModule(HINSTANCE module) { resourceModule = module; }

HINSTANCE ModuleHandle() {
    if (resourceModule) return resourceModule;
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleHandle), &module);
    return module;
}

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {0};
    GetModuleFileNameW(ModuleHandle(), path, MAX_PATH);
    return path;
}

HRESULT LoadModuleTypeInfo(REFGUID guid, ITypeInfo** info) {
    *info = nullptr;
    ITypeLib* library = nullptr;
    // Loading from the module reads its TYPELIB 1 and needs no registration.
    HRESULT hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) {
        TraceFailure(L"load the type library of", ModulePath(), hr);
        return hr;
    }
    hr = library->GetTypeInfoOfGuid(guid, info);
    library->Release();
    if (FAILED(hr)) TraceFailure(L"find the type information in", ModulePath(), hr);
    return hr;
}

}  // namespace parvex
