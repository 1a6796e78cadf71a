// The OLE control object shared by both control classes, written on the C
// form of the interfaces: one struct holds every interface of the object, and
// each interface method finds the object from its interface pointer.
// Include this header first, before any other Windows header.
#pragma once
#define CINTERFACE
#define COBJMACROS
#include <windows.h>
#include <ole2.h>
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>

#include "control/control_behaviour_win.h"
#include "control/site_gate_win.h"
#include "control/type_lib_dispatch_win.h"

namespace parvex {

struct OleControl {
    IDispatch IDispatch_iface;
    IOleObject IOleObject_iface;
    IOleInPlaceObject IOleInPlaceObject_iface;
    IOleInPlaceActiveObject IOleInPlaceActiveObject_iface;
    IOleControl IOleControl_iface;
    IViewObject2 IViewObject2_iface;
    IPersistStreamInit IPersistStreamInit_iface;
    IPersistPropertyBag IPersistPropertyBag_iface;
    IProvideClassInfo2 IProvideClassInfo2_iface;
    IConnectionPointContainer IConnectionPointContainer_iface;
    ISpecifyPropertyPages ISpecifyPropertyPages_iface;
    IObjectSafety IObjectSafety_iface;

    LONG refs;
    ControlBehaviour* behaviour;
    TypeLibDispatch* dispatch;

    IOleClientSite* site;
    IOleInPlaceSite* inPlaceSite;
    IOleAdviseHolder* adviseHolder;
    IAdviseSink* viewSink;
    DWORD viewAspects;
    DWORD viewAdviseFlags;
    HWND window;
    RECT position;
    SIZEL extent;  // HIMETRIC
    bool inPlaceActive;
    bool uiActive;
    DWORD safetyEnabled;
    SiteGate gate;  // whether the page in site may script us
};

// The page in the control's site may have what done; refused calls are traced.
inline bool OleControl_PageAdmits(OleControl* control, const std::wstring& what) {
    return control->gate.Admits(control->site, what);
}

// The object behind any of its interfaces.
#define PARVEX_IMPL_FROM(Interface)                                                      \
    inline OleControl* impl_from_##Interface(Interface* iface) {                         \
        return CONTAINING_RECORD(iface, OleControl, Interface##_iface);                  \
    }
PARVEX_IMPL_FROM(IDispatch)
PARVEX_IMPL_FROM(IOleObject)
PARVEX_IMPL_FROM(IOleInPlaceObject)
PARVEX_IMPL_FROM(IOleInPlaceActiveObject)
PARVEX_IMPL_FROM(IOleControl)
PARVEX_IMPL_FROM(IViewObject2)
PARVEX_IMPL_FROM(IPersistStreamInit)
PARVEX_IMPL_FROM(IPersistPropertyBag)
PARVEX_IMPL_FROM(IProvideClassInfo2)
PARVEX_IMPL_FROM(IConnectionPointContainer)
PARVEX_IMPL_FROM(ISpecifyPropertyPages)
PARVEX_IMPL_FROM(IObjectSafety)
#undef PARVEX_IMPL_FROM

// QueryInterface, AddRef and Release of one interface go to the object's own.
#define PARVEX_UNKNOWN_THUNKS(Interface)                                                             \
    static HRESULT STDMETHODCALLTYPE Unknown_QueryInterface_##Interface(Interface* iface, REFIID iid, void** out) { \
        return OleControl_QueryInterface(impl_from_##Interface(iface), iid, out);                    \
    }                                                                                                \
    static ULONG STDMETHODCALLTYPE Unknown_AddRef_##Interface(Interface* iface) {                            \
        return OleControl_AddRef(impl_from_##Interface(iface));                                      \
    }                                                                                                \
    static ULONG STDMETHODCALLTYPE Unknown_Release_##Interface(Interface* iface) {                           \
        return OleControl_Release(impl_from_##Interface(iface));                                     \
    }
#define PARVEX_UNKNOWN_ENTRIES(Interface) Unknown_QueryInterface_##Interface, Unknown_AddRef_##Interface, Unknown_Release_##Interface

HRESULT OleControl_QueryInterface(OleControl* control, REFIID iid, void** out);
ULONG OleControl_AddRef(OleControl* control);
ULONG OleControl_Release(OleControl* control);

// Activation, view and window (ole_control_activation_win.cpp).
extern const IOleObjectVtbl OleControl_OleObjectVtbl;
extern const IOleInPlaceObjectVtbl OleControl_InPlaceObjectVtbl;
extern const IOleInPlaceActiveObjectVtbl OleControl_InPlaceActiveObjectVtbl;
extern const IOleControlVtbl OleControl_OleControlVtbl;
extern const IViewObject2Vtbl OleControl_ViewObjectVtbl;
// Leaves the container: window gone, sites released.
void OleControl_Deactivate(OleControl* control);

}  // namespace parvex
