#include "tools/page/control_site_win.h"

#include <olectl.h>

namespace parvex::page {

ControlSite::ControlSite(HWND page, const RECT& place, IWebBrowser2* browser)
    : page(page), place(place), browser(browser) {
    if (browser) browser->AddRef();
}

ULONG ControlSite::Release() {
    ULONG left = --refs;
    if (left == 0) {
        if (browser) browser->Release();
        delete this;
    }
    return left;
}

HRESULT ControlSite::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
        *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite || iid == IID_IOleInPlaceSiteEx)
        *out = static_cast<IOleInPlaceSiteEx*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
        *out = static_cast<IOleInPlaceFrame*>(this);
    else if (iid == IID_IParseDisplayName || iid == IID_IOleContainer)
        *out = static_cast<IOleContainer*>(this);
    else if (iid == IID_IServiceProvider)
        *out = static_cast<IServiceProvider*>(this);
    else if (iid == IID_IDispatch)
        *out = static_cast<IDispatch*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

IDispatch* ControlSite::Activate(IUnknown* control) {
    if (FAILED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)))) return nullptr;
    object->SetClientSite(this);
    if (FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, page, &place))) {
        Close();
        return nullptr;
    }
    IDispatch* dispatch = nullptr;
    if (FAILED(control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
        Close();
        return nullptr;
    }
    return dispatch;
}

void ControlSite::Close() {
    if (!object) return;
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
        inPlace->InPlaceDeactivate();
        inPlace->Release();
    }
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
    object->Release();
    object = nullptr;
}

HRESULT ControlSite::GetContainer(IOleContainer** out) {
    *out = this;
    AddRef();
    return S_OK;
}

HRESULT ControlSite::GetWindow(HWND* out) {
    *out = page;
    return S_OK;
}

HRESULT ControlSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                      LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    *frame = this;
    AddRef();
    *document = nullptr;
    *position = place;
    GetClientRect(page, clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = page;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

HRESULT ControlSite::OnPosRectChange(LPCRECT moved) {
    place = *moved;
    IOleInPlaceObject* inPlace = nullptr;
    if (object && SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
        inPlace->SetObjectRects(&place, &place);
        inPlace->Release();
    }
    return S_OK;
}

HRESULT ControlSite::OnInPlaceActivateEx(BOOL* noRedraw, DWORD) {
    if (noRedraw) *noRedraw = FALSE;
    return S_OK;
}

HRESULT ControlSite::QueryService(REFGUID service, REFIID iid, void** out) {
    *out = nullptr;
    // The web-browser application service is the identity of IWebBrowserApp.
    if (browser && service == IID_IWebBrowserApp) return browser->QueryInterface(iid, out);
    return E_NOINTERFACE;
}

HRESULT ControlSite::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

HRESULT ControlSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
    // A page in a browser runs its controls in user mode, without hatching
    // or grab handles.
    bool value;
    switch (id) {
    case DISPID_AMBIENT_USERMODE:
        value = true;
        break;
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_DISPLAYASDEFAULT:
        value = false;
        break;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
    if (result) {
        VariantInit(result);
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

}  // namespace parvex::page
