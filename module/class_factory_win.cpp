#define CINTERFACE
#define COBJMACROS
#include "module/class_factory_win.h"

#include <ole2.h>

#include "control/com_module_win.h"
#include "control/controls_win.h"
#include "control/property_page_win.h"
#include "parvex_h.h"

namespace parvex {

namespace {

using CreateFunction = HRESULT (*)(REFIID, void**);

// One static factory per class: created with the module, never freed, and so
// not counted as a live object; LockServer counts instead.
struct ClassFactory {
    IClassFactory IClassFactory_iface;
    const CLSID* clsid;
    CreateFunction create;
};

inline ClassFactory* impl_from_IClassFactory(IClassFactory* iface) {
    return CONTAINING_RECORD(iface, ClassFactory, IClassFactory_iface);
}

HRESULT STDMETHODCALLTYPE Factory_QueryInterface(IClassFactory* iface, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *out = iface;
    return S_OK;
}

ULONG STDMETHODCALLTYPE Factory_AddRef(IClassFactory*) { return 2; }
ULONG STDMETHODCALLTYPE Factory_Release(IClassFactory*) { return 1; }

HRESULT STDMETHODCALLTYPE Factory_CreateInstance(IClassFactory* iface, IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return impl_from_IClassFactory(iface)->create(iid, out);
}

HRESULT STDMETHODCALLTYPE Factory_LockServer(IClassFactory*, BOOL lock) {
    LockModule(lock != FALSE);
    return S_OK;
}

const IClassFactoryVtbl FactoryVtbl = {
    Factory_QueryInterface, Factory_AddRef, Factory_Release, Factory_CreateInstance, Factory_LockServer,
};

ClassFactory factories[] = {
    {{const_cast<IClassFactoryVtbl*>(&FactoryVtbl)}, &CLSID_Parvex_Up, CreateUploadControl},
    {{const_cast<IClassFactoryVtbl*>(&FactoryVtbl)}, &CLSID_Parvex_Dn, CreateDownloadControl},
    {{const_cast<IClassFactoryVtbl*>(&FactoryVtbl)}, &CLSID_ParvexUpPropPage, CreateUpPropertyPage},
    {{const_cast<IClassFactoryVtbl*>(&FactoryVtbl)}, &CLSID_ParvexDnPropPage, CreateDnPropertyPage},
};

}  // namespace

HRESULT GetClassFactory(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (ClassFactory& factory : factories)
        if (IsEqualCLSID(clsid, *factory.clsid))
            return Factory_QueryInterface(&factory.IClassFactory_iface, iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace parvex
