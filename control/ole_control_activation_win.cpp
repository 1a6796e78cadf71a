// In-place activation, the control's own window and drawing for the
// container: IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject,
// IOleControl and IViewObject2 of the OLE control object.
#include "control/ole_control_impl_win.h"

#include "common/trace.h"
#include "control/com_module_win.h"

namespace parvex {

namespace {

const wchar_t kWindowClass[] = L"ParvexControlWindow";
// Activate when visible, set client site first, inside-out, can't link
// inside, recompose on resize.
const DWORD kMiscStatus = 0x20191;

LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* control = reinterpret_cast<OleControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE: {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        control = static_cast<OleControl*>(create->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
        control->window = window;
        break;
    }
    case WM_CREATE:
        if (DefWindowProcW(window, message, wParam, lParam) == -1) return -1;
        return control->behaviour->OnCreateWindow(window, control->site) ? 0 : -1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT bounds;
        GetClientRect(window, &bounds);
        control->behaviour->Draw(dc, bounds);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        if (control) control->behaviour->OnDestroyWindow();
        break;
    case WM_NCDESTROY:
        if (control) control->window = nullptr;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The class survives an unload of the module, so a class left by an earlier
// load (with a stale procedure) is replaced.
bool RegisterControlWindowClass() {
    HINSTANCE instance = ModuleHandle();
    WNDCLASSEXW found = {};
    found.cbSize = sizeof found;
    if (GetClassInfoExW(instance, kWindowClass, &found)) {
        if (found.lpfnWndProc == ControlWindowProc) return true;
        UnregisterClassW(kWindowClass, instance);
    }
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    // A change of size repaints all, which is how the list window follows.
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = ControlWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc) != 0;
}

// The frame and the document hold the control as their active object, with
// a reference, until told otherwise: without this the control outlives its page.
void TakeBackActiveObject(IOleInPlaceSite* site) {
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT position = {0, 0, 0, 0}, clip = {0, 0, 0, 0};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof frameInfo;
    if (FAILED(IOleInPlaceSite_GetWindowContext(site, &frame, &document, &position, &clip, &frameInfo))) return;
    if (frame) {
        IOleInPlaceFrame_SetActiveObject(frame, nullptr, nullptr);
        IOleInPlaceFrame_Release(frame);
    }
    if (document) {
        IOleInPlaceUIWindow_SetActiveObject(document, nullptr, nullptr);
        IOleInPlaceUIWindow_Release(document);
    }
}

void UIDeactivate(OleControl* control) {
    if (!control->uiActive) return;
    control->uiActive = false;
    if (!control->inPlaceSite) return;
    TakeBackActiveObject(control->inPlaceSite);
    IOleInPlaceSite_OnUIDeactivate(control->inPlaceSite, FALSE);
}

HRESULT InPlaceActivate(OleControl* control, LONG verb) {
    if (!control->site) return E_UNEXPECTED;
    if (!control->inPlaceSite) {
        HRESULT hr = IOleClientSite_QueryInterface(control->site, IID_IOleInPlaceSite,
                                                   reinterpret_cast<void**>(&control->inPlaceSite));
        if (FAILED(hr)) {
            TraceFailure(L"QueryInterface(IOleInPlaceSite)", L"of the control's site", hr);
            return OLEOBJ_S_CANNOT_DOVERB_NOW;
        }
    }
    IOleInPlaceSite* site = control->inPlaceSite;
    if (!control->inPlaceActive) {
        if (IOleInPlaceSite_CanInPlaceActivate(site) != S_OK) return E_FAIL;
        control->inPlaceActive = true;
        IOleInPlaceSite_OnInPlaceActivate(site);
    }

    HWND parent = nullptr;
    IOleInPlaceSite_GetWindow(site, &parent);
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT position = {0, 0, 0, 0}, clip = {0, 0, 0, 0};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof frameInfo;
    HRESULT hr = IOleInPlaceSite_GetWindowContext(site, &frame, &document, &position, &clip, &frameInfo);
    if (SUCCEEDED(hr)) control->position = position;

    if (!control->window) {
        if (!RegisterControlWindowClass()) {
            hr = E_FAIL;
        } else {
            CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS, control->position.left,
                            control->position.top, control->position.right - control->position.left,
                            control->position.bottom - control->position.top, parent, nullptr, ModuleHandle(),
                            control);
            hr = control->window ? S_OK : E_FAIL;
        }
    } else {
        if (GetParent(control->window) != parent) SetParent(control->window, parent);
        MoveWindow(control->window, control->position.left, control->position.top,
                   control->position.right - control->position.left,
                   control->position.bottom - control->position.top, TRUE);
        hr = S_OK;
    }
    if (SUCCEEDED(hr)) ShowWindow(control->window, SW_SHOW);

    if (SUCCEEDED(hr) && !control->uiActive && (verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY)) {
        control->uiActive = true;
        IOleInPlaceSite_OnUIActivate(site);
        if (frame)
            IOleInPlaceFrame_SetActiveObject(frame, &control->IOleInPlaceActiveObject_iface, nullptr);
        if (document)
            IOleInPlaceUIWindow_SetActiveObject(document, &control->IOleInPlaceActiveObject_iface, nullptr);
    }
    if (frame) IOleInPlaceFrame_Release(frame);
    if (document) IOleInPlaceUIWindow_Release(document);
    if (SUCCEEDED(hr)) IOleClientSite_ShowObject(control->site);
    return hr;
}

void ShowPropertyFrame(OleControl* control, HWND owner) {
    IUnknown* self = reinterpret_cast<IUnknown*>(&control->IDispatch_iface);
    CLSID page = control->behaviour->PropertyPageId();
    // The frame is captioned with the control's name, as design tools do.
    LPOLESTR name = nullptr;
    OleRegGetUserType(control->behaviour->ClassId(), USERCLASSTYPE_SHORT, &name);
    OleCreatePropertyFrame(owner, 0, 0, name, 1, &self, 1, &page, LOCALE_USER_DEFAULT, 0, nullptr);
    CoTaskMemFree(name);
}

}  // namespace

void OleControl_Deactivate(OleControl* control) {
    UIDeactivate(control);
    if (control->window) DestroyWindow(control->window);
    if (control->inPlaceActive) {
        control->inPlaceActive = false;
        if (control->inPlaceSite) IOleInPlaceSite_OnInPlaceDeactivate(control->inPlaceSite);
    }
    if (control->inPlaceSite) {
        IOleInPlaceSite_Release(control->inPlaceSite);
        control->inPlaceSite = nullptr;
    }
}

// --- IOleObject ---------------------------------------------------------------
PARVEX_UNKNOWN_THUNKS(IOleObject)

static HRESULT STDMETHODCALLTYPE OleObject_SetClientSite(IOleObject* iface, IOleClientSite* site) {
    OleControl* control = impl_from_IOleObject(iface);
    if (site) IOleClientSite_AddRef(site);
    if (control->site) IOleClientSite_Release(control->site);
    control->site = site;
    control->gate.Forget();
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE OleObject_GetClientSite(IOleObject* iface, IOleClientSite** site) {
    OleControl* control = impl_from_IOleObject(iface);
    if (!site) return E_POINTER;
    *site = control->site;
    if (*site) IOleClientSite_AddRef(*site);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE OleObject_SetHostNames(IOleObject*, LPCOLESTR, LPCOLESTR) { return S_OK; }

static HRESULT STDMETHODCALLTYPE OleObject_Close(IOleObject* iface, DWORD) {
    OleControl_Deactivate(impl_from_IOleObject(iface));
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE OleObject_SetMoniker(IOleObject*, DWORD, IMoniker*) { return E_NOTIMPL; }

static HRESULT STDMETHODCALLTYPE OleObject_GetMoniker(IOleObject*, DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE OleObject_InitFromData(IOleObject*, IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

static HRESULT STDMETHODCALLTYPE OleObject_GetClipboardData(IOleObject*, DWORD, IDataObject** data) {
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE OleObject_DoVerb(IOleObject* iface, LONG verb, LPMSG, IOleClientSite* activeSite,
                                                  LONG, HWND parent, LPCRECT) {
    OleControl* control = impl_from_IOleObject(iface);
    if (!control->site && activeSite) OleObject_SetClientSite(iface, activeSite);
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_INPLACEACTIVATE:
        return InPlaceActivate(control, verb);
    case OLEIVERB_HIDE:
        UIDeactivate(control);
        if (control->window) ShowWindow(control->window, SW_HIDE);
        return S_OK;
    case OLEIVERB_PROPERTIES:
        ShowPropertyFrame(control, parent ? parent : control->window);
        return S_OK;
    default:
        return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
}

static HRESULT STDMETHODCALLTYPE OleObject_EnumVerbs(IOleObject* iface, IEnumOLEVERB** verbs) {
    return OleRegEnumVerbs(impl_from_IOleObject(iface)->behaviour->ClassId(), verbs);
}

static HRESULT STDMETHODCALLTYPE OleObject_Update(IOleObject*) { return S_OK; }
static HRESULT STDMETHODCALLTYPE OleObject_IsUpToDate(IOleObject*) { return S_OK; }

static HRESULT STDMETHODCALLTYPE OleObject_GetUserClassID(IOleObject* iface, CLSID* id) {
    if (!id) return E_POINTER;
    *id = impl_from_IOleObject(iface)->behaviour->ClassId();
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE OleObject_GetUserType(IOleObject* iface, DWORD form, LPOLESTR* type) {
    return OleRegGetUserType(impl_from_IOleObject(iface)->behaviour->ClassId(), form, type);
}

static HRESULT STDMETHODCALLTYPE OleObject_SetExtent(IOleObject* iface, DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    impl_from_IOleObject(iface)->extent = *size;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE OleObject_GetExtent(IOleObject* iface, DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = impl_from_IOleObject(iface)->extent;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE OleObject_Advise(IOleObject* iface, IAdviseSink* sink, DWORD* connection) {
    OleControl* control = impl_from_IOleObject(iface);
    if (!control->adviseHolder) {
        HRESULT hr = CreateOleAdviseHolder(&control->adviseHolder);
        if (FAILED(hr)) return hr;
    }
    return IOleAdviseHolder_Advise(control->adviseHolder, sink, connection);
}

static HRESULT STDMETHODCALLTYPE OleObject_Unadvise(IOleObject* iface, DWORD connection) {
    OleControl* control = impl_from_IOleObject(iface);
    if (!control->adviseHolder) return OLE_E_NOCONNECTION;
    return IOleAdviseHolder_Unadvise(control->adviseHolder, connection);
}

static HRESULT STDMETHODCALLTYPE OleObject_EnumAdvise(IOleObject* iface, IEnumSTATDATA** advise) {
    OleControl* control = impl_from_IOleObject(iface);
    if (!advise) return E_POINTER;
    *advise = nullptr;
    if (!control->adviseHolder) return S_OK;
    return IOleAdviseHolder_EnumAdvise(control->adviseHolder, advise);
}

static HRESULT STDMETHODCALLTYPE OleObject_GetMiscStatus(IOleObject*, DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = kMiscStatus;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE OleObject_SetColorScheme(IOleObject*, LOGPALETTE*) { return E_NOTIMPL; }

const IOleObjectVtbl OleControl_OleObjectVtbl = {
    PARVEX_UNKNOWN_ENTRIES(IOleObject), OleObject_SetClientSite, OleObject_GetClientSite, OleObject_SetHostNames,
    OleObject_Close, OleObject_SetMoniker, OleObject_GetMoniker, OleObject_InitFromData, OleObject_GetClipboardData,
    OleObject_DoVerb, OleObject_EnumVerbs, OleObject_Update, OleObject_IsUpToDate, OleObject_GetUserClassID,
    OleObject_GetUserType, OleObject_SetExtent, OleObject_GetExtent, OleObject_Advise, OleObject_Unadvise,
    OleObject_EnumAdvise, OleObject_GetMiscStatus, OleObject_SetColorScheme,
};

// --- IOleInPlaceObject ------------------------------------------------------
PARVEX_UNKNOWN_THUNKS(IOleInPlaceObject)

static HRESULT STDMETHODCALLTYPE InPlace_GetWindow(IOleInPlaceObject* iface, HWND* window) {
    if (!window) return E_POINTER;
    *window = impl_from_IOleInPlaceObject(iface)->window;
    return *window ? S_OK : E_FAIL;
}

static HRESULT STDMETHODCALLTYPE InPlace_ContextSensitiveHelp(IOleInPlaceObject*, BOOL) { return E_NOTIMPL; }

static HRESULT STDMETHODCALLTYPE InPlace_InPlaceDeactivate(IOleInPlaceObject* iface) {
    OleControl_Deactivate(impl_from_IOleInPlaceObject(iface));
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE InPlace_UIDeactivate(IOleInPlaceObject* iface) {
    UIDeactivate(impl_from_IOleInPlaceObject(iface));
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE InPlace_SetObjectRects(IOleInPlaceObject* iface, LPCRECT position, LPCRECT) {
    OleControl* control = impl_from_IOleInPlaceObject(iface);
    if (!position) return E_POINTER;
    control->position = *position;
    if (control->window)
        MoveWindow(control->window, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE InPlace_ReactivateAndUndo(IOleInPlaceObject*) { return E_NOTIMPL; }

const IOleInPlaceObjectVtbl OleControl_InPlaceObjectVtbl = {
    PARVEX_UNKNOWN_ENTRIES(IOleInPlaceObject), InPlace_GetWindow, InPlace_ContextSensitiveHelp,
    InPlace_InPlaceDeactivate, InPlace_UIDeactivate, InPlace_SetObjectRects, InPlace_ReactivateAndUndo,
};

// --- IOleInPlaceActiveObject ------------------------------------------------
PARVEX_UNKNOWN_THUNKS(IOleInPlaceActiveObject)

static HRESULT STDMETHODCALLTYPE Active_GetWindow(IOleInPlaceActiveObject* iface, HWND* window) {
    if (!window) return E_POINTER;
    *window = impl_from_IOleInPlaceActiveObject(iface)->window;
    return *window ? S_OK : E_FAIL;
}

static HRESULT STDMETHODCALLTYPE Active_ContextSensitiveHelp(IOleInPlaceActiveObject*, BOOL) { return E_NOTIMPL; }
static HRESULT STDMETHODCALLTYPE Active_TranslateAccelerator(IOleInPlaceActiveObject*, LPMSG) { return S_FALSE; }
static HRESULT STDMETHODCALLTYPE Active_OnFrameWindowActivate(IOleInPlaceActiveObject*, BOOL) { return S_OK; }
static HRESULT STDMETHODCALLTYPE Active_OnDocWindowActivate(IOleInPlaceActiveObject*, BOOL) { return S_OK; }
static HRESULT STDMETHODCALLTYPE Active_ResizeBorder(IOleInPlaceActiveObject*, LPCRECT, IOleInPlaceUIWindow*, BOOL) {
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE Active_EnableModeless(IOleInPlaceActiveObject*, BOOL) { return S_OK; }

const IOleInPlaceActiveObjectVtbl OleControl_InPlaceActiveObjectVtbl = {
    PARVEX_UNKNOWN_ENTRIES(IOleInPlaceActiveObject), Active_GetWindow, Active_ContextSensitiveHelp,
    Active_TranslateAccelerator, Active_OnFrameWindowActivate, Active_OnDocWindowActivate, Active_ResizeBorder,
    Active_EnableModeless,
};

// --- IOleControl: no mnemonics, no ambient properties of interest -------------
PARVEX_UNKNOWN_THUNKS(IOleControl)

static HRESULT STDMETHODCALLTYPE Control_GetControlInfo(IOleControl*, CONTROLINFO* info) {
    if (!info) return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE Control_OnMnemonic(IOleControl*, MSG*) { return E_NOTIMPL; }
static HRESULT STDMETHODCALLTYPE Control_OnAmbientPropertyChange(IOleControl*, DISPID) { return S_OK; }
static HRESULT STDMETHODCALLTYPE Control_FreezeEvents(IOleControl*, BOOL) { return S_OK; }

const IOleControlVtbl OleControl_OleControlVtbl = {
    PARVEX_UNKNOWN_ENTRIES(IOleControl), Control_GetControlInfo, Control_OnMnemonic, Control_OnAmbientPropertyChange,
    Control_FreezeEvents,
};

// --- IViewObject2 -----------------------------------------------------------
PARVEX_UNKNOWN_THUNKS(IViewObject2)

static HRESULT STDMETHODCALLTYPE View_Draw(IViewObject2* iface, DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC,
                                           HDC dc, LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                           ULONG_PTR) {
    OleControl* control = impl_from_IViewObject2(iface);
    if (!dc || !bounds) return E_INVALIDARG;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    RECT rect = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    control->behaviour->Draw(dc, rect);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE View_GetColorSet(IViewObject2*, DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                                  LOGPALETTE** colours) {
    if (colours) *colours = nullptr;
    return S_FALSE;
}

static HRESULT STDMETHODCALLTYPE View_Freeze(IViewObject2*, DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
static HRESULT STDMETHODCALLTYPE View_Unfreeze(IViewObject2*, DWORD) { return E_NOTIMPL; }

static HRESULT STDMETHODCALLTYPE View_SetAdvise(IViewObject2* iface, DWORD aspects, DWORD flags, IAdviseSink* sink) {
    OleControl* control = impl_from_IViewObject2(iface);
    if (sink) IAdviseSink_AddRef(sink);
    if (control->viewSink) IAdviseSink_Release(control->viewSink);
    control->viewSink = sink;
    control->viewAspects = aspects;
    control->viewAdviseFlags = flags;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE View_GetAdvise(IViewObject2* iface, DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    OleControl* control = impl_from_IViewObject2(iface);
    if (aspects) *aspects = control->viewAspects;
    if (flags) *flags = control->viewAdviseFlags;
    if (sink) {
        *sink = control->viewSink;
        if (*sink) IAdviseSink_AddRef(*sink);
    }
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE View_GetExtent(IViewObject2* iface, DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = impl_from_IViewObject2(iface)->extent;
    return S_OK;
}

const IViewObject2Vtbl OleControl_ViewObjectVtbl = {
    PARVEX_UNKNOWN_ENTRIES(IViewObject2), View_Draw, View_GetColorSet, View_Freeze, View_Unfreeze, View_SetAdvise,
    View_GetAdvise, View_GetExtent,
};

}  // namespace parvex
