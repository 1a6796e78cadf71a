// Identity, dispatch, persistence and the descriptive interfaces of the OLE
// control object; activation and drawing are in ole_control_activation_win.cpp.
#include "control/ole_control_impl_win.h"

#include <new>

#include "control/com_module_win.h"

namespace parvex {

namespace {

// The version that the control saves and loads, as its persistence keeps it:
// major in the high word.
const DWORD kPersistedVersion = 0x00010000;

}  // namespace

HRESULT OleControl_QueryInterface(OleControl* control, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, control->behaviour->DispatchId()))
        *out = &control->IDispatch_iface;
    else if (IsEqualIID(iid, IID_IOleObject))
        *out = &control->IOleObject_iface;
    else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject))
        *out = &control->IOleInPlaceObject_iface;
    else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject))
        *out = &control->IOleInPlaceActiveObject_iface;
    else if (IsEqualIID(iid, IID_IOleControl))
        *out = &control->IOleControl_iface;
    else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2))
        *out = &control->IViewObject2_iface;
    else if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistStreamInit))
        *out = &control->IPersistStreamInit_iface;
    else if (IsEqualIID(iid, IID_IPersistPropertyBag))
        *out = &control->IPersistPropertyBag_iface;
    else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2))
        *out = &control->IProvideClassInfo2_iface;
    else if (IsEqualIID(iid, IID_IConnectionPointContainer))
        *out = &control->IConnectionPointContainer_iface;
    else if (IsEqualIID(iid, IID_ISpecifyPropertyPages))
        *out = &control->ISpecifyPropertyPages_iface;
    else if (IsEqualIID(iid, IID_IObjectSafety) && control->behaviour->SafeForScripting())
        *out = &control->IObjectSafety_iface;
    if (!*out) return E_NOINTERFACE;
    OleControl_AddRef(control);
    return S_OK;
}

ULONG OleControl_AddRef(OleControl* control) { return InterlockedIncrement(&control->refs); }

ULONG OleControl_Release(OleControl* control) {
    ULONG refs = InterlockedDecrement(&control->refs);
    if (refs) return refs;
    // A container that forgot to close us still must not leave a window
    // whose procedure points at freed memory.
    control->refs = 1;
    OleControl_Deactivate(control);
    if (control->site) IOleClientSite_Release(control->site);
    if (control->adviseHolder) IOleAdviseHolder_Release(control->adviseHolder);
    if (control->viewSink) IAdviseSink_Release(control->viewSink);
    delete control->behaviour;
    delete control->dispatch;
    delete control;
    ObjectDestroyed();
    return 0;
}

// --- IDispatch ---------------------------------------------------------------
PARVEX_UNKNOWN_THUNKS(IDispatch)

static HRESULT STDMETHODCALLTYPE Dispatch_GetTypeInfoCount(IDispatch*, UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Dispatch_GetTypeInfo(IDispatch* iface, UINT index, LCID, ITypeInfo** info) {
    OleControl* control = impl_from_IDispatch(iface);
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeInfo* typeInfo = control->dispatch->TypeInfo();
    if (!typeInfo) return E_UNEXPECTED;
    ITypeInfo_AddRef(typeInfo);
    *info = typeInfo;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Dispatch_GetIDsOfNames(IDispatch* iface, REFIID, LPOLESTR* names, UINT count, LCID,
                                                        DISPID* ids) {
    return impl_from_IDispatch(iface)->dispatch->GetIDsOfNames(names, count, ids);
}

static HRESULT STDMETHODCALLTYPE Dispatch_Invoke(IDispatch* iface, DISPID id, REFIID, LCID, WORD flags,
                                                 DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT* argError) {
    OleControl* control = impl_from_IDispatch(iface);
    // A page the site lock keeps out gets nothing done, whatever it calls.
    if (!OleControl_PageAdmits(control, control->dispatch->MethodName(id))) return E_ACCESSDENIED;
    // A method may run a modal loop in which the page releases the control.
    OleControl_AddRef(control);
    HRESULT hr = control->dispatch->Invoke(id, flags, params, result, argError,
                                           [control](DISPID which, DispatchArgs& args) {
                                               return control->behaviour->Call(which, args);
                                           });
    OleControl_Release(control);
    return hr;
}

static const IDispatchVtbl DispatchVtbl = {
    PARVEX_UNKNOWN_ENTRIES(IDispatch), Dispatch_GetTypeInfoCount, Dispatch_GetTypeInfo, Dispatch_GetIDsOfNames,
    Dispatch_Invoke,
};

// --- IPersistStreamInit: the version and nothing else ------------------------
PARVEX_UNKNOWN_THUNKS(IPersistStreamInit)

static HRESULT STDMETHODCALLTYPE PersistStream_GetClassID(IPersistStreamInit* iface, CLSID* id) {
    if (!id) return E_POINTER;
    *id = impl_from_IPersistStreamInit(iface)->behaviour->ClassId();
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE PersistStream_IsDirty(IPersistStreamInit*) { return S_FALSE; }

static HRESULT STDMETHODCALLTYPE PersistStream_Load(IPersistStreamInit*, IStream* stream) {
    if (!stream) return E_POINTER;
    DWORD version = 0;
    ULONG read = 0;
    HRESULT hr = IStream_Read(stream, &version, sizeof version, &read);
    if (FAILED(hr)) return hr;
    return read == sizeof version ? S_OK : STG_E_READFAULT;
}

static HRESULT STDMETHODCALLTYPE PersistStream_Save(IPersistStreamInit*, IStream* stream, BOOL) {
    if (!stream) return E_POINTER;
    return IStream_Write(stream, &kPersistedVersion, sizeof kPersistedVersion, nullptr);
}

static HRESULT STDMETHODCALLTYPE PersistStream_GetSizeMax(IPersistStreamInit*, ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = sizeof kPersistedVersion;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE PersistStream_InitNew(IPersistStreamInit*) { return S_OK; }

static const IPersistStreamInitVtbl PersistStreamInitVtbl = {
    PARVEX_UNKNOWN_ENTRIES(IPersistStreamInit), PersistStream_GetClassID, PersistStream_IsDirty, PersistStream_Load,
    PersistStream_Save, PersistStream_GetSizeMax, PersistStream_InitNew,
};

// --- IPersistPropertyBag: the page's parameters set nothing -------------------
PARVEX_UNKNOWN_THUNKS(IPersistPropertyBag)

static HRESULT STDMETHODCALLTYPE PersistBag_GetClassID(IPersistPropertyBag* iface, CLSID* id) {
    if (!id) return E_POINTER;
    *id = impl_from_IPersistPropertyBag(iface)->behaviour->ClassId();
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE PersistBag_InitNew(IPersistPropertyBag*) { return S_OK; }

static HRESULT STDMETHODCALLTYPE PersistBag_Load(IPersistPropertyBag*, IPropertyBag* bag, IErrorLog*) {
    return bag ? S_OK : E_POINTER;
}

static HRESULT STDMETHODCALLTYPE PersistBag_Save(IPersistPropertyBag*, IPropertyBag* bag, BOOL, BOOL) {
    if (!bag) return E_POINTER;
    VARIANT version;
    VariantInit(&version);
    V_VT(&version) = VT_I4;
    V_I4(&version) = static_cast<LONG>(kPersistedVersion);
    return IPropertyBag_Write(bag, L"_Version", &version);
}

static const IPersistPropertyBagVtbl PersistPropertyBagVtbl = {
    PARVEX_UNKNOWN_ENTRIES(IPersistPropertyBag), PersistBag_GetClassID, PersistBag_InitNew, PersistBag_Load,
    PersistBag_Save,
};

// --- IProvideClassInfo2 -------------------------------------------------------
PARVEX_UNKNOWN_THUNKS(IProvideClassInfo2)

static HRESULT STDMETHODCALLTYPE ClassInfo_GetClassInfo(IProvideClassInfo2* iface, ITypeInfo** info) {
    if (!info) return E_POINTER;
    return LoadModuleTypeInfo(impl_from_IProvideClassInfo2(iface)->behaviour->ClassId(), info);
}

static HRESULT STDMETHODCALLTYPE ClassInfo_GetGUID(IProvideClassInfo2* iface, DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = impl_from_IProvideClassInfo2(iface)->behaviour->EventsId();
    return S_OK;
}

static const IProvideClassInfo2Vtbl ProvideClassInfo2Vtbl = {
    PARVEX_UNKNOWN_ENTRIES(IProvideClassInfo2), ClassInfo_GetClassInfo, ClassInfo_GetGUID,
};

// --- IConnectionPointContainer: the event interface has no members, so
// nobody can listen to anything -------------------------------------------------
PARVEX_UNKNOWN_THUNKS(IConnectionPointContainer)

static HRESULT STDMETHODCALLTYPE Points_EnumConnectionPoints(IConnectionPointContainer*, IEnumConnectionPoints** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE Points_FindConnectionPoint(IConnectionPointContainer*, REFIID, IConnectionPoint** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CONNECT_E_NOCONNECTION;
}

static const IConnectionPointContainerVtbl ConnectionPointContainerVtbl = {
    PARVEX_UNKNOWN_ENTRIES(IConnectionPointContainer), Points_EnumConnectionPoints, Points_FindConnectionPoint,
};

// --- ISpecifyPropertyPages ------------------------------------------------------
PARVEX_UNKNOWN_THUNKS(ISpecifyPropertyPages)

static HRESULT STDMETHODCALLTYPE Pages_GetPages(ISpecifyPropertyPages* iface, CAUUID* pages) {
    if (!pages) return E_POINTER;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems) {
        pages->cElems = 0;
        return E_OUTOFMEMORY;
    }
    pages->cElems = 1;
    pages->pElems[0] = impl_from_ISpecifyPropertyPages(iface)->behaviour->PropertyPageId();
    return S_OK;
}

static const ISpecifyPropertyPagesVtbl SpecifyPropertyPagesVtbl = {
    PARVEX_UNKNOWN_ENTRIES(ISpecifyPropertyPages), Pages_GetPages,
};

// --- IObjectSafety: safe for scripting and for initialising, scripting on
// the pages the site lock allows ---------------------------------------------
PARVEX_UNKNOWN_THUNKS(IObjectSafety)

static const DWORD kSafeOptions = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

static bool IsSafetyInterface(OleControl* control, REFIID iid) {
    return IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, control->behaviour->DispatchId()) ||
           IsEqualIID(iid, IID_IPersistPropertyBag) || IsEqualIID(iid, IID_IPersistStreamInit) ||
           IsEqualIID(iid, IID_IPersistStream) || IsEqualIID(iid, IID_IUnknown);
}

static HRESULT STDMETHODCALLTYPE Safety_GetOptions(IObjectSafety* iface, REFIID iid, DWORD* supported, DWORD* enabled) {
    OleControl* control = impl_from_IObjectSafety(iface);
    if (!supported || !enabled) return E_POINTER;
    if (!IsSafetyInterface(control, iid)) {
        *supported = *enabled = 0;
        return E_NOINTERFACE;
    }
    *supported = kSafeOptions;
    *enabled = control->safetyEnabled;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Safety_SetOptions(IObjectSafety* iface, REFIID iid, DWORD mask, DWORD enabled) {
    OleControl* control = impl_from_IObjectSafety(iface);
    if (!IsSafetyInterface(control, iid)) return E_NOINTERFACE;
    if (mask & ~kSafeOptions) return E_FAIL;
    // Safe for an untrusted caller only on a page the site lock allows; the
    // browser then does not script us at all.
    if ((mask & enabled & INTERFACESAFE_FOR_UNTRUSTED_CALLER) &&
        !OleControl_PageAdmits(control, L"safety for untrusted callers"))
        return E_FAIL;
    control->safetyEnabled = (control->safetyEnabled & ~mask) | (enabled & mask);
    return S_OK;
}

static const IObjectSafetyVtbl ObjectSafetyVtbl = {
    PARVEX_UNKNOWN_ENTRIES(IObjectSafety), Safety_GetOptions, Safety_SetOptions,
};

HRESULT CreateOleControl(ControlBehaviour* behaviour, REFIID iid, void** out) {
    if (!out) {
        delete behaviour;
        return E_POINTER;
    }
    *out = nullptr;
    OleControl* control = new (std::nothrow) OleControl();
    if (!control) {
        delete behaviour;
        return E_OUTOFMEMORY;
    }
    control->IDispatch_iface.lpVtbl = const_cast<IDispatchVtbl*>(&DispatchVtbl);
    control->IOleObject_iface.lpVtbl = const_cast<IOleObjectVtbl*>(&OleControl_OleObjectVtbl);
    control->IOleInPlaceObject_iface.lpVtbl = const_cast<IOleInPlaceObjectVtbl*>(&OleControl_InPlaceObjectVtbl);
    control->IOleInPlaceActiveObject_iface.lpVtbl =
        const_cast<IOleInPlaceActiveObjectVtbl*>(&OleControl_InPlaceActiveObjectVtbl);
    control->IOleControl_iface.lpVtbl = const_cast<IOleControlVtbl*>(&OleControl_OleControlVtbl);
    control->IViewObject2_iface.lpVtbl = const_cast<IViewObject2Vtbl*>(&OleControl_ViewObjectVtbl);
    control->IPersistStreamInit_iface.lpVtbl = const_cast<IPersistStreamInitVtbl*>(&PersistStreamInitVtbl);
    control->IPersistPropertyBag_iface.lpVtbl = const_cast<IPersistPropertyBagVtbl*>(&PersistPropertyBagVtbl);
    control->IProvideClassInfo2_iface.lpVtbl = const_cast<IProvideClassInfo2Vtbl*>(&ProvideClassInfo2Vtbl);
    control->IConnectionPointContainer_iface.lpVtbl =
        const_cast<IConnectionPointContainerVtbl*>(&ConnectionPointContainerVtbl);
    control->ISpecifyPropertyPages_iface.lpVtbl = const_cast<ISpecifyPropertyPagesVtbl*>(&SpecifyPropertyPagesVtbl);
    control->IObjectSafety_iface.lpVtbl = const_cast<IObjectSafetyVtbl*>(&ObjectSafetyVtbl);
    control->refs = 1;
    control->behaviour = behaviour;
    control->dispatch = new (std::nothrow) TypeLibDispatch(behaviour->DispatchId());
    // A first extent of 100 x 50 pixels at 96 dots per inch, in HIMETRIC.
    control->extent.cx = 2646;
    control->extent.cy = 1323;
    ObjectCreated();
    behaviour->OnObjectCreated(reinterpret_cast<IUnknown*>(&control->IDispatch_iface));
    if (!control->dispatch) {
        OleControl_Release(control);
        return E_OUTOFMEMORY;
    }
    HRESULT hr = OleControl_QueryInterface(control, iid, out);
    OleControl_Release(control);
    return hr;
}

}  // namespace parvex
